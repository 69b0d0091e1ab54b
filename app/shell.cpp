// shell.cpp: start-up, the main loop pass, the view redraw, the view layout
// and the two ways the program ends. Touches AppState and, through the window
// layer, every window; no Qt and no OpenGL here.
#include <filesystem>
#include <system_error>

#include "app/app.h"

namespace {

constexpr uint32_t glVendor = 0x1F00;
constexpr uint32_t glRenderer = 0x1F01;
constexpr uint32_t glVersion = 0x1F02;

struct ViewWindowSpec {
    ViewKind view;
    const char* title;
    const char* label;  // below programDirectory
    int32_t x, y, width, height;
};

constexpr std::array<ViewWindowSpec, 4> viewWindows{{
    {ViewKind::Front, "Front", "Images/Front.bmp", 0, 25, 248, 198},
    {ViewKind::Side, "Side", "Images/Side.bmp", 250, 25, 250, 198},
    {ViewKind::Top, "Top", "Images/Top.bmp", 0, 225, 248, 198},
    {ViewKind::ThreeD, "3D", "Images/3D.bmp", 250, 225, 250, 198},
}};

}  // namespace

std::string executableDirectory()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path()) return {};
    std::string dir = exe.parent_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

PlatformImageReader platformReader(const AppState& state)
{
    return [&windows = *state.windows](const std::string& path, RgbImage& out) {
        return windows.readPlatformImage(path, out);
    };
}

namespace {

void createView(AppState& state, const ViewWindowSpec& spec)
{
    WindowLayer& windows = *state.windows;
    const int32_t number = windowOfView(spec.view);
    const auto index = static_cast<size_t>(spec.view);
    WindowSpec ws;
    ws.style = WindowStyle::View;
    ws.placement = WindowPlacement::At;
    ws.x = spec.x;
    ws.y = spec.y;
    ws.width = spec.width;
    ws.height = spec.height;
    ws.title = spec.title;
    if (!windows.openWindow(number, ws)) return;
    // A view without a context stays undrawn; the rest of the program goes on.
    if (!windows.createGlContext(number)) return;
    prepareViewContext(spec.view);
    state.labelTexture[index].reset(
        loadTexture(state.engine, state.programDirectory + spec.label, 0, platformReader(state)));
    // Until the first redraw the record holds plain pixels, as the view was made.
    const CursorPos cursor = windows.cursorPos(number);
    state.viewMouse[index] = ViewMouse{static_cast<float>(cursor.x), static_cast<float>(cursor.y), 0.0f, 0.0f};
    finishViewContext(spec.view);
}

}  // namespace

void startUp(AppState& state, const std::string& programDirectory, const std::vector<std::string>& arguments)
{
    WindowLayer& windows = *state.windows;
    // A save past the file-size limit fails with a message; the work stays.
    ignoreFileSizeLimitSignal();
    state.programDirectory = programDirectory;
    state.versionText = "1.1";
    readPreferences(state);
    loadUserState(state);
    fillUiText(state.uiText);
    loadRememberedToggles(state);
    state.mesh = Mesh{};

    WindowSpec main;
    main.style = WindowStyle::Main;
    main.placement = WindowPlacement::CentreOnScreen;
    main.width = 500;
    main.height = 425;
    main.title = windowTitleFor(state.versionText, "", false);
    placeMainWindow(state, main);
    windows.openWindow(windowMain, main);
    state.shownTitle = main.title;

    buildMenuAndToolbar(state);
    for (const ViewWindowSpec& spec : viewWindows) createView(state, spec);

    windows.makeCurrent(window3D);
    checkGlVersion(state);

    // Before: a file read as Merge ASC or Import reads it is a step of the
    // history; after: the document as loaded is where the history starts.
    resetDocumentHistory(state);
    loadCommandLineFile(state, arguments);
    markMeshChanged(state, allViews);
    resetDocumentHistory(state);
    if (std::error_code error; std::filesystem::is_regular_file(state.currentFileName, error))
        rememberRecentFile(state, state.currentFileName);
    startRecovery(state);
    windows.setTerminationHandler([&state](int32_t) { writeRecoveryCopyNow(state); });
    offerLeftRecoveryCopies(state);
    updateWindowTitle(state);
    updateStatusLine(state);

    for (int32_t number = windowMain; number <= window3D; ++number) windows.showWindow(number);
    windows.activateWindow(windowMain);
    windows.setResizeHandler([&state] { layoutViews(state); });
    // Drawn at once: while a dialog or menu runs its own loop, the main loop
    // is not there to do it.
    windows.setExposeHandler([&state](const std::vector<int32_t>& numbers) {
        for (const int32_t number : numbers)
            if (const int32_t view = viewOfWindow(number); view >= 0)
                markViewsDirty(state, viewBit(static_cast<ViewKind>(view)));
        redrawDirtyViews(state);
    });
    windows.setSessionEndHandler([&state] {
        if (!confirmDiscardChanges(state)) return false;
        state.closeRequested = true;
        return true;
    });
}

void checkGlVersion(AppState& state)
{
    WindowLayer& windows = *state.windows;
    const std::string version = windows.glString(glVersion);
    state.renderPath = renderPathFor(version);
    const float number = readDecimalFloat(version);
    if (number >= 1.5f || state.prefs.oldGlWarned != 0) return;
    windows.showMessage("Slow GFX-Card",
                        "Your GFX-Card driver has a old OpenGL-Version\nPlease update your card-driver.");
    windows.showMessage("GFX-Card Info", "Hardware: " + windows.glString(glRenderer) + "\nDeveloper: " +
                                             windows.glString(glVendor) + "\nOpenGL-Version: " + version);
    state.prefs.oldGlWarned = 1;
    writePreferences(state);
}

void runMainLoop(AppState& state)
{
    while (!mainLoopPass(state)) {
    }
}

namespace {

// The cursor in every view as of the event just fetched, in the units of ViewMouse.
void trackViewMouse(AppState& state)
{
    WindowLayer& windows = *state.windows;
    for (const ViewWindowSpec& spec : viewWindows) {
        const int32_t number = windowOfView(spec.view);
        const auto index = static_cast<size_t>(spec.view);
        const CursorPos cursor = windows.cursorPos(number);
        state.viewMouse[index] = updateViewMouse(state.viewMouse[index], static_cast<float>(cursor.x),
                                                 static_cast<float>(cursor.y),
                                                 static_cast<float>(windows.clientWidth(number)),
                                                 static_cast<float>(windows.clientHeight(number)));
    }
}

}  // namespace

bool mainLoopPass(AppState& state)
{
    WindowLayer& windows = *state.windows;
    WindowEvent event;
    const bool fetched = windows.fetchEvent(event);
    if (fetched) {
        state.event = event;
        state.eventKind = event.kind;
        state.eventWindow = event.window;
        trackViewMouse(state);
    } else {
        state.event = WindowEvent{};
        state.eventKind = eventNone;
    }

    rememberDialogStart(state);
    setSaveEnabled(state, !state.currentFileName.empty());
    recordBeforeEvent(state);

    state.frameCounter += 1;
    // eventWindow outlives passes without an event, so the Triangles window's
    // step runs until another window's event arrives.
    if (windows.isWindowOpen(windowTriangles) && state.eventWindow == windowTriangles) triangleListStep(state);
    if (windows.isWindowOpen(windowTexture)) textureWindowStep(state);
    // Views are drawn once the queue is empty, so a burst of events (a held
    // arrow key, a fast drag) is handled whole and then drawn once.
    if (!fetched && state.dirtyViews != 0) {
        redrawDirtyViews(state);
        state.frameCounter = 0;
    }

    // A click counts with the Shift it was made with, however late it is handled:
    // the key's state now may belong to a later click already queued.
    const bool click = state.eventKind == eventLeftDown || state.eventKind == eventRightDown;
    state.shiftHeld = (click ? (state.event.param & mkShift) != 0 : windows.isShiftDown()) ? 1 : 0;
    if (state.eventWindow <= window3D)
        dispatchEvent(state);
    else if (state.eventKind == eventKeyDown)
        runToolWindowKey(state, state.event);
    recordAfterEvent(state);
    keepRecoveryCopy(state);
    updateWindowTitle(state);
    updateStatusLine(state);
    // Nothing to do until the next event or the next recovery copy: sleep in the window layer.
    if (!fetched && state.dirtyViews == 0) windows.waitForEvent(recoveryWaitMs(state));

    // Closing asks first when there are unsaved changes; Cancel keeps the editor.
    const bool closed =
        state.eventKind == eventClose && state.eventWindow <= window3D && confirmDiscardChanges(state);
    return closed || state.quitRequested || state.closeRequested;
}

void redrawViews(AppState& state)
{
    markViewsDirty(state, allViews);
    redrawDirtyViews(state);
}

void markViewsDirty(AppState& state, uint32_t views) { state.dirtyViews |= views & allViews; }

void markMeshChanged(AppState& state, uint32_t views)
{
    ++state.renderBuffers.meshRevision;
    state.renderBuffers.selectionMovedOnly = false;
    markViewsDirty(state, views);
}

void markSelectionMoved(AppState& state)
{
    RenderBuffers& buffers = state.renderBuffers;
    if (buffers.builtRevision == buffers.meshRevision) buffers.selectionMovedOnly = true;
    ++buffers.meshRevision;
    markViewsDirty(state, allViews);
}

void redrawDirtyViews(AppState& state)
{
    WindowLayer& windows = *state.windows;
    for (const ViewWindowSpec& spec : viewWindows) {
        const uint32_t bit = viewBit(spec.view);
        if ((state.dirtyViews & bit) == 0) continue;
        state.dirtyViews &= ~bit;
        const int32_t number = windowOfView(spec.view);
        const auto index = static_cast<size_t>(spec.view);
        const int32_t width = windows.clientWidth(number);
        const int32_t height = windows.clientHeight(number);
        if (!windows.isWindowOpen(number)) continue;
        windows.makeCurrent(number);
        // The pixel ratio anew each time: a view moved to a screen of another
        // ratio keeps its size but not its number of pixels.
        ViewFrame frame = viewFrame(spec.view, width, height, windows.pixelRatio(number), state.renderPath);
        frame.textureName = state.textureName.name();
        frame.labelTexture = state.labelTexture[index].name();
        drawView(state.engine, frame, state.mesh, state.camera, state.renderBuffers, state.viewBuffers[index]);
        if (state.boxView == static_cast<int32_t>(spec.view))
            drawSelectionBox(static_cast<float>(state.boxFrom.x), static_cast<float>(state.boxFrom.y),
                             static_cast<float>(state.boxTo.x), static_cast<float>(state.boxTo.y),
                             static_cast<float>(width), static_cast<float>(height));
        windows.swapBuffers(number);
    }
}

void layoutViews(AppState& state)
{
    WindowLayer& windows = *state.windows;
    const int32_t width = windows.clientWidth(windowMain);
    const int32_t viewsHeight = windows.clientHeight(windowMain) - toolbarStripHeight;
    const int32_t halfW = width / 2;
    const int32_t halfH = viewsHeight / 2;
    const int32_t viewW = std::max(0, halfW - 2);
    const int32_t viewH = std::max(0, halfH - 2);
    const std::array<CursorPos, 4> slots{{{0, toolbarStripHeight},
                                          {halfW, toolbarStripHeight},
                                          {0, toolbarStripHeight + halfH},
                                          {halfW, toolbarStripHeight + halfH}}};
    for (int32_t number = windowFront; number <= window3D; ++number) {
        if (!windows.isWindowOpen(number)) continue;
        const CursorPos slot = slots[static_cast<size_t>(number - 1)];
        windows.setWindowGeometry(number, slot.x, slot.y, viewW, viewH);
        windows.makeCurrent(number);
        const float ratio = windows.pixelRatio(number);
        resetViewViewport(devicePixels(viewW, ratio), devicePixels(viewH, ratio));
    }
    markViewsDirty(state, allViews);
}

void frameViewsIfOutside(AppState& state)
{
    if (isMeshInOrthoViews(state.camera, state.mesh)) return;
    frameMesh(state.camera, state.mesh);
    frameThreeDView(state.camera, state.mesh);
    markViewsDirty(state, allViews);
}

void releaseWindows(AppState& state)
{
    WindowLayer& windows = *state.windows;
    rememberWindowPlace(state);
    // Textures and buffer objects are names in their own contexts; free them there.
    for (int32_t number = windowFront; number <= window3D; ++number) {
        if (!windows.isWindowOpen(number)) continue;
        windows.makeCurrent(number);
        state.labelTexture[static_cast<size_t>(number - 1)].reset();
        state.viewBuffers[static_cast<size_t>(number - 1)] = ViewBuffers{};
        if (number == window3D) state.textureName.reset();
    }
    for (int32_t number : {windowMeshTool, windowPosition, windowRotate, windowScale, windowTriangles, windowTexture,
                           windowPreferences, window3D, windowTop, windowSide, windowFront, windowMain})
        windows.closeWindow(number);
}

void shutDown(AppState& state)
{
    releaseWindows(state);
    if (!state.prefs.dialogStartText.empty()) writePreferences(state);
}
