// commands.cpp: the menu bar and toolbar of the main window, the tool
// selection, and the routing of events and commands. Touches AppState's
// mesh, camera and tool; menus and buttons through the window layer.
#include <cmath>

#include "app/app.h"

namespace {

// Icon slot (the command it belongs to) and file, in loading order.
struct ToolbarIcon {
    int32_t slot;
    const char* file;
};

constexpr std::array<ToolbarIcon, 22> toolbarIcons{{
    {cmdToolCreateVertex, "Images/toolbar_01.ico"},
    {cmdToolMoveVertex, "Images/toolbar_02.ico"},
    {cmdToolSelectVertex, "Images/toolbar_03.ico"},
    {cmdToolCreateTriangle, "Images/toolbar_04.ico"},
    {cmdZoomIn, "Images/toolbar_05.ico"},
    {cmdZoomOut, "Images/toolbar_06.ico"},
    {cmdTriangleSelectionUp, "Images/toolbar_07.ico"},
    {cmdTriangleSelectionDown, "Images/toolbar_08.ico"},
    {cmdTriangleList, "Images/toolbar_13.ico"},
    {cmdFlipTriangle, "Images/toolbar_09.ico"},
    {cmdSetTextureCoords, "Images/toolbar_10.ico"},
    {cmdChooseTexture, "Images/toolbar_11.ico"},
    {cmdAutoTextureCoords, "Images/toolbar_12.ico"},
    {cmdScale, "Images/toolbar_15.ico"},
    {cmdRotate, "Images/toolbar_14.ico"},
    {cmdNew, "Images/toolbar_16.ico"},
    {cmdOpen, "Images/toolbar_17.ico"},
    {cmdSave, "Images/toolbar_18.ico"},
    {cmdSaveAs, "Images/toolbar_19.ico"},
    {cmdDeleteVertex, "Images/toolbar_20.ico"},
    {cmdDeleteTriangle, "Images/toolbar_21.ico"},
    {cmdAbout, "Images/toolbar_22.ico"},
}};

// A toolbar entry: a separator, or a button showing the icon in its command's
// slot, or the standard image when that icon is missing (-1: none).
struct ToolbarEntry {
    enum Kind { Separator, Button } kind;
    int32_t id;
    int32_t standardImage;
};

constexpr ToolbarEntry separator{ToolbarEntry::Separator, -1, -1};
constexpr ToolbarEntry button(int32_t id, int32_t standardImage = -1) { return {ToolbarEntry::Button, id, standardImage}; }

constexpr std::array<ToolbarEntry, 28> toolbarLayout{{
    button(cmdNew, stdImageFileNew), button(cmdOpen, stdImageFileOpen), button(cmdSave, stdImageFileSave),
    separator, button(cmdSaveAs, stdImageFileSave), separator,
    button(cmdDeleteVertex, stdImageDelete), button(cmdToolCreateVertex), button(cmdToolMoveVertex),
    button(cmdToolSelectVertex), button(cmdScale), button(cmdRotate), separator,
    button(cmdToolCreateTriangle), separator,
    button(cmdZoomIn), button(cmdZoomOut), separator,
    button(cmdTriangleSelectionUp), button(cmdTriangleSelectionDown), button(cmdTriangleList),
    button(cmdDeleteTriangle, stdImageDelete), button(cmdFlipTriangle), button(cmdSetTextureCoords),
    button(cmdChooseTexture), button(cmdAutoTextureCoords), separator,
    button(cmdAbout, stdImageHelp),
}};

// Command id and UiText message of each tooltip, in the order they are set.
constexpr std::array<std::pair<int32_t, int32_t>, 22> toolbarTooltips{{
    {cmdNew, 1}, {cmdOpen, 2}, {cmdSave, 3}, {cmdSaveAs, 4}, {cmdAbout, 8},
    {cmdDeleteVertex, 14}, {cmdToolCreateVertex, 11}, {cmdToolMoveVertex, 12},
    {cmdToolSelectVertex, 13}, {cmdToolCreateTriangle, 15}, {cmdZoomIn, 16}, {cmdZoomOut, 17},
    {cmdTriangleSelectionUp, 18}, {cmdTriangleSelectionDown, 19}, {cmdDeleteTriangle, 20},
    {cmdFlipTriangle, 21}, {cmdSetTextureCoords, 22}, {cmdChooseTexture, 23},
    {cmdAutoTextureCoords, 25}, {cmdTriangleList, 26}, {cmdScale, 27}, {cmdRotate, 28},
}};

// Keyboard accelerators of the main window and the views.
enum class ShiftRule { Without, With, Either };

struct Accelerator {
    int32_t key;  // virtual-key code
    bool control;
    ShiftRule shift;
    int32_t command;
    bool inMenu;  // the one shown beside the command's menu item
};

constexpr std::array<Accelerator, 26> accelerators{{
    {'N', true, ShiftRule::Without, cmdNew, true},
    {'O', true, ShiftRule::Without, cmdOpen, true},
    {'S', true, ShiftRule::Without, cmdSave, true},
    {'S', true, ShiftRule::With, cmdSaveAs, true},
    {'Q', true, ShiftRule::Without, cmdQuit, true},
    {'Z', true, ShiftRule::Without, cmdUndo, true},
    {'Z', true, ShiftRule::With, cmdRedo, true},
    {'Y', true, ShiftRule::Without, cmdRedo, false},
    {'P', true, ShiftRule::Without, cmdPosition, true},
    {vkDelete, false, ShiftRule::Without, cmdDeleteVertex, false},
    {'1', false, ShiftRule::Without, cmdToolCreateVertex, false},
    {'2', false, ShiftRule::Without, cmdToolMoveVertex, false},
    {'3', false, ShiftRule::Without, cmdToolSelectVertex, false},
    {'4', false, ShiftRule::Without, cmdToolCreateTriangle, false},
    // Shift makes the + of many keyboards, so it does not matter for zoom.
    {vkOemPlus, false, ShiftRule::Either, cmdZoomIn, false},
    {vkAdd, false, ShiftRule::Either, cmdZoomIn, false},
    {vkOemMinus, false, ShiftRule::Either, cmdZoomOut, false},
    {vkSubtract, false, ShiftRule::Either, cmdZoomOut, false},
    {vkHome, false, ShiftRule::Without, cmdFrameAll, false},
    {'A', true, ShiftRule::Without, cmdSelectAll, true},
    {'A', true, ShiftRule::With, cmdSelectNone, true},
    {'I', true, ShiftRule::Without, cmdInvertSelection, true},
    {'D', true, ShiftRule::Without, cmdDuplicate, true},
    {'M', true, ShiftRule::Without, cmdMirror, true},
    {'E', true, ShiftRule::Without, cmdExtrude, true},
    {'J', true, ShiftRule::Without, cmdWeld, true},
}};

constexpr int32_t controlKeyName = 39;
constexpr int32_t shiftKeyName = 40;

// The Edit menu's items and their UiText messages, in menu order; then the
// modelling items with their added texts, each group after a separator, and
// after another the Keep proportions toggle.
constexpr std::array<std::pair<int32_t, int32_t>, 3> editMenuItems{{{cmdUndo, 30}, {cmdRedo, 31}, {cmdFrameAll, 43}}};
constexpr std::array<std::pair<int32_t, Text>, 4> modellingMenuItems{{{cmdPosition, Text::PositionMenu},
                                                                      {cmdProjectFront, Text::ProjectFront},
                                                                      {cmdProjectSide, Text::ProjectSide},
                                                                      {cmdProjectTop, Text::ProjectTop}}};
constexpr int32_t editMenuTitle = 29;

// The Mesh menu's items in menu order; cmdNone stands for a separator.
constexpr int32_t cmdNone = -1;
constexpr std::array<std::pair<int32_t, Text>, 14> meshMenuItems{{
    {cmdSelectAll, Text::SelectAll},
    {cmdSelectNone, Text::SelectNone},
    {cmdInvertSelection, Text::InvertSelection},
    {cmdNone, Text::count},
    {cmdDuplicate, Text::Duplicate},
    {cmdMirror, Text::MirrorItem},
    {cmdExtrude, Text::ExtrudeItem},
    {cmdWeld, Text::WeldItem},
    {cmdNone, Text::count},
    {cmdInsertBox, Text::InsertBox},
    {cmdInsertPlane, Text::InsertPlane},
    {cmdInsertCylinder, Text::InsertCylinder},
    {cmdInsertCone, Text::InsertCone},
    {cmdInsertSphere, Text::InsertSphere},
}};

// Tool commands and the modes they choose, by ToolMode value.
constexpr std::array<int32_t, 4> toolCommands{cmdToolCreateVertex, cmdToolMoveVertex, cmdToolSelectVertex,
                                              cmdToolCreateTriangle};

// "Ctrl+Shift+S" in the interface's language.
std::string shortcutText(const AppState& state, const Accelerator& a)
{
    std::string keys;
    if (a.control) keys += std::string(uiTextOf(state.uiText, state.prefs.language, controlKeyName)) + "+";
    if (a.shift == ShiftRule::With) keys += std::string(uiTextOf(state.uiText, state.prefs.language, shiftKeyName)) + "+";
    keys += static_cast<char>(a.key);
    return keys;
}

void showMenuShortcuts(AppState& state)
{
    for (const Accelerator& a : accelerators)
        if (a.inMenu) state.windows->setMenuItemShortcut(a.command, shortcutText(state, a));
}

void buildMenuBar(AppState& state)
{
    WindowLayer& windows = *state.windows;
    if (!windows.createMenuBar()) return;
    auto text = [&state](int32_t message) { return uiTextOf(state.uiText, state.prefs.language, message); };
    const std::vector<std::string> recent = recentFiles(state);
    windows.addMenu(text(0));
    windows.addMenuItem(text(1), cmdNew);
    windows.addMenuItem(text(2), cmdOpen);
    windows.addMenuItem(text(3), cmdSave);
    windows.addMenuItem(text(4), cmdSaveAs);
    windows.addMenuItem(text(9), cmdMerge);
    windows.addMenuSeparator();
    windows.addMenuItem(text(24), cmdMergeAsc);
    windows.addMenuItem(text(41), cmdImport);
    windows.addMenuItem(text(42), cmdExport);
    if (!recent.empty()) windows.addMenuSeparator();
    for (size_t i = 0; i < recent.size(); ++i)
        windows.addMenuItem(std::to_string(i + 1) + " " + recent[i], cmdRecentFile1 + static_cast<int32_t>(i));
    windows.addMenuSeparator();
    windows.addMenuItem(text(5), cmdPreferences);
    windows.addMenuSeparator();
    windows.addMenuItem(text(6), cmdQuit);
    windows.addMenu(text(editMenuTitle));
    for (const auto& [id, message] : editMenuItems) windows.addMenuItem(text(message), id);
    for (const auto& [id, added] : modellingMenuItems) {
        if (id == cmdPosition || id == cmdProjectFront) windows.addMenuSeparator();
        windows.addMenuItem(textOf(state.prefs.language, added), id);
    }
    windows.addMenuSeparator();
    windows.addMenuItem(textOf(state.prefs.language, Text::KeepProportions), cmdKeepProportions);
    windows.setMenuItemChecked(cmdKeepProportions, state.camera.keepProportions);
    windows.addMenu(textOf(state.prefs.language, Text::MeshMenu));
    for (const auto& [id, item] : meshMenuItems) {
        if (id == cmdNone)
            windows.addMenuSeparator();
        else
            windows.addMenuItem(textOf(state.prefs.language, item), id);
    }
    windows.addMenu(text(7));
    windows.addMenuItem(text(8), cmdAbout);
    showMenuShortcuts(state);
}

// Loads the icons not loaded yet; a rebuild reuses the slots.
void loadToolbarIcons(AppState& state)
{
    WindowLayer& windows = *state.windows;
    for (const ToolbarIcon& icon : toolbarIcons)
        if (!windows.hasImage(icon.slot)) windows.loadImage(icon.slot, state.programDirectory + icon.file);
}

void buildToolbar(AppState& state)
{
    WindowLayer& windows = *state.windows;
    if (!windows.createToolbar()) return;
    for (const ToolbarEntry& e : toolbarLayout) {
        if (e.kind == ToolbarEntry::Separator)
            windows.addToolbarSeparator();
        else if (e.standardImage >= 0 && !windows.hasImage(e.id))
            windows.addToolbarStandardButton(e.standardImage, e.id);
        else
            windows.addToolbarIconButton(e.id, e.id);
    }
    for (const auto& [id, message] : toolbarTooltips)
        windows.setToolbarTooltip(id, uiTextOf(state.uiText, state.prefs.language, message));
}

}  // namespace

void buildMenuAndToolbar(AppState& state)
{
    buildMenuBar(state);
    loadToolbarIcons(state);
    buildToolbar(state);
    setToolMode(state, CreateVertex);
    updateEditMenu(state);
}

void rebuildMenuBar(AppState& state)
{
    state.windows->destroyMenuBar();
    buildMenuBar(state);
    updateEditMenu(state);
}

void rebuildMenuAndToolbar(AppState& state)
{
    state.windows->destroyMenuBar();
    state.windows->destroyToolbar();
    buildMenuAndToolbar(state);
    setSaveEnabled(state, !state.currentFileName.empty());
    updateStatusLine(state);
}

void setToolMode(AppState& state, int32_t mode)
{
    if (mode < CreateVertex || mode > CreateTriangle) return;
    for (int32_t m = CreateVertex; m <= CreateTriangle; ++m)
        state.windows->setToolbarButtonChecked(toolCommands[static_cast<size_t>(m)], m == mode);
    state.toolMode = mode;
}

void setSaveEnabled(AppState& state, bool enabled)
{
    state.windows->setMenuItemEnabled(cmdSave, enabled);
    state.windows->setToolbarButtonEnabled(cmdSave, enabled);
}

namespace {

void leftClickInView(AppState& state)
{
    beginDragAt(state);
    switch (state.toolMode) {
    case CreateVertex: createVertexAt(state); break;
    case SelectVertex: pickVertexAt(state); break;
    case CreateTriangle: addCornerAt(state); break;
    default: break;
    }
}

// Middle button down in a view: the start of a pan of Front, Side and Top.
void beginPanAt(AppState& state)
{
    const int32_t view = viewOfWindow(state.eventWindow);
    state.panView = view >= 0 && view != static_cast<int32_t>(ViewKind::ThreeD) ? view : -1;
    if (state.panView >= 0) state.panCursor = state.windows->cursorPos(state.eventWindow);
}

// Motion with the middle button: the model point grabbed stays under the cursor.
void panDrag(AppState& state)
{
    if (state.panView < 0) return;
    const auto view = static_cast<ViewKind>(state.panView);
    const int32_t window = windowOfView(view);
    const CursorPos to = state.windows->cursorPos(window);
    const CursorPos from = state.panCursor;
    state.panCursor = to;
    dragOrthoPan(state.camera, view, static_cast<float>(from.x), static_cast<float>(from.y),
                 static_cast<float>(to.x), static_cast<float>(to.y),
                 static_cast<float>(state.windows->clientWidth(window)),
                 static_cast<float>(state.windows->clientHeight(window)));
}

// The wheel zooms Front, Side and Top about the cursor, and the 3D view as
// its zoom buttons do, one step per notch.
void wheelInView(AppState& state)
{
    const int32_t window = state.eventWindow;
    const int32_t delta = state.event.param;
    if (window == window3D) {
        state.wheelRest += delta;
        for (; state.wheelRest >= wheelNotch; state.wheelRest -= wheelNotch) zoomIn(state.camera);
        for (; state.wheelRest <= -wheelNotch; state.wheelRest += wheelNotch) zoomOut(state.camera);
        return;
    }
    const int32_t view = viewOfWindow(window);
    if (view < 0) return;
    const CursorPos cursor = state.windows->cursorPos(window);
    const float notches = static_cast<float>(delta) / static_cast<float>(wheelNotch);
    zoomOrthoAt(state.camera, static_cast<ViewKind>(view), static_cast<float>(cursor.x),
                static_cast<float>(cursor.y), static_cast<float>(state.windows->clientWidth(window)),
                static_cast<float>(state.windows->clientHeight(window)), std::pow(wheelZoomFactor, notches));
}

// Which views a camera change shows in.
uint32_t viewsOfCameraChange(const ViewCamera& before, const ViewCamera& after)
{
    uint32_t views = 0;
    if (before.panX != after.panX || before.panY != after.panY || before.panZ != after.panZ ||
        before.orthoZoom != after.orthoZoom || before.keepProportions != after.keepProportions)
        views |= orthoViews;
    if (before.orbitX != after.orbitX || before.orbitY != after.orbitY || before.zoom != after.zoom)
        views |= viewBit(ViewKind::ThreeD);
    return views;
}

// Commands that never touch the mesh; any other may, so it moves the mesh's revision on.
bool keepsMesh(int32_t id)
{
    switch (id) {
    case cmdSave:
    case cmdSaveAs:
    case cmdExport:
    case cmdPreferences:
    case cmdQuit:
    case cmdAbout:
    case cmdToolCreateVertex:
    case cmdToolMoveVertex:
    case cmdToolSelectVertex:
    case cmdToolCreateTriangle:
    case cmdZoomIn:
    case cmdZoomOut:
    case cmdChooseTexture:
    case cmdFrameAll:
    case cmdKeepProportions: return true;
    default: return false;
    }
}

// Views a command may change besides the camera (which dispatch compares).
uint32_t viewsChangedBy(int32_t id)
{
    if (id >= cmdRecentFile1 && id <= cmdRecentFile4) return allViews;
    switch (id) {
    case cmdNew:
    case cmdOpen:
    case cmdMerge:
    case cmdMergeAsc:
    case cmdDeleteVertex:
    case cmdScale:
    case cmdRotate:
    case cmdTriangleSelectionUp:
    case cmdTriangleSelectionDown:
    case cmdDeleteTriangle:
    case cmdFlipTriangle:
    case cmdUndo:
    case cmdRedo:
    case cmdPosition:
    case cmdSelectAll:
    case cmdSelectNone:
    case cmdInvertSelection:
    case cmdDuplicate:
    case cmdMirror:
    case cmdExtrude:
    case cmdWeld:
    case cmdInsertBox:
    case cmdInsertPlane:
    case cmdInsertCylinder:
    case cmdInsertCone:
    case cmdInsertSphere: return allViews;
    case cmdZoomIn:
    case cmdZoomOut:
    case cmdChooseTexture:
    case cmdAutoTextureCoords:
    case cmdProjectFront:
    case cmdProjectSide:
    case cmdProjectTop: return viewBit(ViewKind::ThreeD);
    case cmdFrameAll: return orthoViews;  // the 3D zoom's change shows through the camera's
    default: return 0;
    }
}

void leftDrag(AppState& state)
{
    if (state.toolMode == MoveVertex) {
        if (countSelectedVertices(state.mesh) <= 1)
            dragSelectedVertex(state);
        else
            dragSelectedVertices(state);
    } else if (state.toolMode == SelectVertex) {
        extendSelectionAt(state);
    }
}

// Flip and delete triangle act on the selected triangle; without one they say so.
void triangleCommand(AppState& state, void (*operation)(Mesh&))
{
    if (firstSelectedTriangle(state.mesh) < 0)
        tellSelectFirst(state, Text::SelectTriangleFirst);
    else
        operation(state.mesh);
}

// Home: Front, Side and Top frame the mesh, and the 3D view is set back.
void frameAll(AppState& state)
{
    frameMesh(state.camera, state.mesh);
    frameThreeDView(state.camera);
}

// Preferences: a confirmed dialog may have changed the language, so the menus
// and toolbar are built again.
void preferences(AppState& state)
{
    if (!runPreferencesDialog(state)) return;
    writePreferences(state);
    rebuildMenuAndToolbar(state);
}

}  // namespace

void dispatchEvent(AppState& state)
{
    const int32_t window = state.eventWindow;
    const bool inView = window >= windowFront && window <= window3D;
    const ViewCamera camera = state.camera;
    switch (state.eventKind) {
    case eventRightDown:
        if (inView && countSelectedVertices(state.mesh) > 0) {
            deselectAllVertices(state.mesh);
            markMeshChanged(state, allViews);
        }
        break;
    case eventLeftDown:
        // Ctrl with the select tool draws a box instead of picking.
        if (inView && state.toolMode == SelectVertex && (state.event.param & mkControl) != 0)
            beginBoxSelect(state);
        else if (inView)
            leftClickInView(state);
        break;
    case eventLeftUp: endBoxSelect(state); break;
    case eventMiddleDown:
        if (inView) beginPanAt(state);
        break;
    case eventMouseMove:
        // Exactly the left button: a drag with Shift, Ctrl or another button does nothing.
        if (state.boxView >= 0 && (state.event.param & mkLButton) != 0) dragBoxSelect(state);
        else if (window >= windowMain && window <= window3D && state.event.param == mkLButton) leftDrag(state);
        else if ((state.event.param & mkMButton) != 0) panDrag(state);
        break;
    case eventMouseWheel:
        if (inView) wheelInView(state);
        break;
    case eventCommand: runCommand(state, state.event.param); break;
    case eventDropFiles: openFileByName(state, state.event.text); break;
    case eventKeyDown:
        if (const int32_t command = acceleratorCommand(state.event.param, state.event.modifiers); command >= 0)
            runCommand(state, command);
        else
            applyArrowKey(state.camera, window, state.event.param);
        break;
    default: break;
    }
    markViewsDirty(state, viewsOfCameraChange(camera, state.camera));
}

void quitNow(AppState& state) { state.quitRequested = true; }

int32_t acceleratorCommand(int32_t virtualKey, int32_t modifiers)
{
    const bool control = (modifiers & mkControl) != 0;
    const bool shift = (modifiers & mkShift) != 0;
    for (const Accelerator& a : accelerators) {
        if (a.key != virtualKey || a.control != control) continue;
        if (a.shift == ShiftRule::Either || (a.shift == ShiftRule::With) == shift) return a.command;
    }
    return -1;
}

bool runToolWindowKey(AppState& state, const WindowEvent& event)
{
    if ((event.modifiers & mkControl) == 0) return false;
    const int32_t command = acceleratorCommand(event.param, event.modifiers);
    // Ctrl+A in a field selects its text.
    if (command < 0 || command == cmdSelectAll) return false;
    runCommand(state, command);
    // Undo and redo are steps of their own; any other command is one here,
    // where no event boundary of the main window follows to record it.
    if (command != cmdUndo && command != cmdRedo) recordChange(state);
    return true;
}

void closeDocumentWindows(AppState& state)
{
    state.windows->closeWindow(windowTexture);
    state.windows->closeWindow(windowTriangles);
    for (Vertex& v : state.mesh.vertices) v.marked = 0;
}

void tellSelectFirst(AppState& state, Text what)
{
    state.windows->showMessage("Polyquill", textOf(state.prefs.language, what));
}

void runCommand(AppState& state, int32_t id)
{
    switch (id) {
    case cmdNew: files::cmdNew(state); break;
    case cmdOpen: files::cmdOpen(state); break;
    case cmdSave: files::cmdSave(state); break;
    case cmdSaveAs: files::cmdSaveAs(state); break;
    case cmdMerge: files::cmdMerge(state); break;
    case cmdMergeAsc: files::cmdMergeAsc(state); break;
    case cmdPreferences: preferences(state); break;
    case cmdQuit:
        if (confirmDiscardChanges(state)) quitNow(state);
        break;
    case cmdAbout:
        state.windows->showMessage("Information",
                                   textOf(state.prefs.language, Text::AboutCredit) + "\nhttps://polyquill.example");
        break;
    case cmdDeleteVertex: deleteSelectedVertices(state.mesh); break;
    case cmdToolCreateVertex: setToolMode(state, CreateVertex); break;
    case cmdToolMoveVertex: setToolMode(state, MoveVertex); break;
    case cmdToolSelectVertex: setToolMode(state, SelectVertex); break;
    case cmdScale: scaleSelection(state); break;
    case cmdRotate: rotateSelection(state); break;
    case cmdToolCreateTriangle: setToolMode(state, CreateTriangle); break;
    case cmdZoomIn: zoomIn(state.camera); break;
    case cmdZoomOut: zoomOut(state.camera); break;
    case cmdTriangleSelectionUp: selectNextTriangle(state.mesh); break;
    case cmdTriangleSelectionDown: selectPreviousTriangle(state.mesh); break;
    case cmdTriangleList: openTriangleList(state); break;
    case cmdDeleteTriangle: triangleCommand(state, deleteSelectedTriangles); break;
    case cmdFlipTriangle: triangleCommand(state, flipSelectedTriangle); break;
    case cmdSetTextureCoords: openTextureWindow(state); break;
    case cmdChooseTexture: chooseTexture(state); break;
    case cmdAutoTextureCoords: autoTexCoordsCommand(state); break;
    case cmdFrameAll: frameAll(state); break;
    case cmdPosition: positionSelection(state); break;
    case cmdProjectFront: projectTextureCommand(state, ProjectionView::Front); break;
    case cmdProjectSide: projectTextureCommand(state, ProjectionView::Side); break;
    case cmdProjectTop: projectTextureCommand(state, ProjectionView::Top); break;
    case cmdImport: files::cmdImport(state); break;
    case cmdExport: files::cmdExport(state); break;
    case cmdUndo: undoCommand(state); break;
    case cmdRedo: redoCommand(state); break;
    case cmdKeepProportions: toggleKeepProportions(state); break;
    case cmdSelectAll: selectAllVertices(state.mesh); break;
    case cmdSelectNone: deselectAllVertices(state.mesh); break;
    case cmdInvertSelection: invertVertexSelection(state.mesh); break;
    case cmdDuplicate:
        if (!duplicateSelection(state.mesh)) tellSelectFirst(state, Text::SelectVerticesFirst);
        break;
    case cmdMirror: mirrorCommand(state); break;
    case cmdExtrude: extrudeCommand(state); break;
    case cmdWeld: weldCommand(state); break;
    case cmdInsertBox: insertPrimitiveCommand(state, Primitive::Box); break;
    case cmdInsertPlane: insertPrimitiveCommand(state, Primitive::Plane); break;
    case cmdInsertCylinder: insertPrimitiveCommand(state, Primitive::Cylinder); break;
    case cmdInsertCone: insertPrimitiveCommand(state, Primitive::Cone); break;
    case cmdInsertSphere: insertPrimitiveCommand(state, Primitive::Sphere); break;
    default:
        if (id >= cmdRecentFile1 && id <= cmdRecentFile4) openRecentFile(state, id - cmdRecentFile1);
        break;
    }
    if (keepsMesh(id))
        markViewsDirty(state, viewsChangedBy(id));
    else
        markMeshChanged(state, viewsChangedBy(id));
}
