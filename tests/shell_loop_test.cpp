// Start-up, the main-loop pass, the view layout and the ends of the program,
// run against the scripted window layer (OpenGL calls go to no context).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"

namespace {

// Runs passes until the scripted events are used up and one idle pass drew what was left.
void settleLoop(FakeWindowLayer& windows, AppState& state)
{
    while (!windows.events.empty()) mainLoopPass(state);
    mainLoopPass(state);
}

struct Loop : ::testing::Test {
    FakeWindowLayer windows;
    AppState state;
    std::filesystem::path startDirectory = std::filesystem::current_path();
    // Each test starts in a fresh folder that is both the working directory
    // and the program's folder (pref.txt is read and written there).
    std::string folder = makeTestFolder("shell_loop") + "/";

    void SetUp() override
    {
        state.windows = &windows;
        std::filesystem::current_path(folder);
    }
    void TearDown() override { std::filesystem::current_path(startDirectory); }

    void start(const std::vector<std::string>& arguments = {}) { startUp(state, folder, arguments); }

    std::string prefFile() const
    {
        std::ifstream in(folder + "pref.txt", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return in ? text.str() : std::string("(none)");
    }

    void settle() { settleLoop(windows, state); }
};

}  // namespace

TEST_F(Loop, StartUpOpensTheMainWindowAndFourViewsAndShowsThem)
{
    start();
    const auto& main = windows.windows.at(windowMain);
    EXPECT_EQ(main.spec.title, "Polyquill - Editor v. 1.1");
    EXPECT_EQ(main.spec.style, WindowStyle::Main);
    EXPECT_EQ(main.spec.placement, WindowPlacement::CentreOnScreen);
    EXPECT_EQ(main.spec.width, 500);
    EXPECT_EQ(main.spec.height, 425);

    struct Expected {
        int32_t number;
        const char* title;
        int32_t x, y, width, height;
    };
    for (const Expected& e : {Expected{1, "Front", 0, 25, 248, 198}, Expected{2, "Side", 250, 25, 250, 198},
                              Expected{3, "Top", 0, 225, 248, 198}, Expected{4, "3D", 250, 225, 250, 198}}) {
        const auto& view = windows.windows.at(e.number);
        EXPECT_EQ(view.spec.style, WindowStyle::View);
        EXPECT_EQ(view.spec.title, e.title);
        EXPECT_EQ(view.spec.x, e.x);
        EXPECT_EQ(view.spec.y, e.y);
        EXPECT_EQ(view.spec.width, e.width);
        EXPECT_EQ(view.spec.height, e.height);
        EXPECT_TRUE(view.shown);
    }
    EXPECT_TRUE(main.shown);
    EXPECT_EQ(windows.activeWindow(), windowMain);
    EXPECT_EQ(state.versionText, "1.1");
    EXPECT_EQ(state.programDirectory, folder);
    EXPECT_TRUE(windows.resizeHandler != nullptr);
    EXPECT_TRUE(windows.menuBarExists);
    EXPECT_FALSE(windows.toolbarEnabled[cmdToolCreateVertex]);
    EXPECT_EQ(state.toolMode, CreateVertex);
    EXPECT_EQ(state.uiText.entries[0], "Datei");
    EXPECT_TRUE(windows.swaps.empty()) << "nothing is drawn before the first redraw";
}

TEST_F(Loop, ViewMouseStartsAtTheCursorInPixels)
{
    windows.cursor[windowSide] = {30, 40};
    start();
    EXPECT_EQ(state.viewMouse[1].x, 30.0f);
    EXPECT_EQ(state.viewMouse[1].y, 40.0f);
    EXPECT_EQ(state.viewMouse[1].dx, 0.0f);
}

TEST_F(Loop, OldOpenGLWarnsTwiceOnceAndRemembersIt)
{
    windows.glVersion = "1.4.0 - Build 7.14.10.4906";
    windows.glRenderer = "Old Card";
    windows.glVendor = "Old Vendor";
    start();
    ASSERT_EQ(windows.messages.size(), 2u);
    EXPECT_EQ(windows.messages[0].title, "Slow GFX-Card");
    EXPECT_EQ(windows.messages[0].text,
              "Your GFX-Card driver has a old OpenGL-Version\nPlease update your card-driver.");
    EXPECT_EQ(windows.messages[1].title, "GFX-Card Info");
    EXPECT_EQ(windows.messages[1].text,
              "Hardware: Old Card\nDeveloper: Old Vendor\nOpenGL-Version: 1.4.0 - Build 7.14.10.4906");
    EXPECT_EQ(state.prefs.oldGlWarned, 1);
    EXPECT_EQ(windows.current, window3D) << "the version is read in the 3D view's context";
    EXPECT_EQ(prefFile(), "0\r\n0.000000\r\n1\r\n") << "the warning is remembered at once";

    FakeWindowLayer again;
    again.glVersion = windows.glVersion;
    AppState next;
    next.windows = &again;
    startUp(next, folder, {});
    EXPECT_TRUE(again.messages.empty()) << "the next start reads pref.txt and stays quiet";
}

TEST_F(Loop, VersionCheckQuietFor15AndUpOrWhenWarnedBefore)
{
    for (const char* version : {"1.5", "2.0", "4.5 (Compatibility Profile) Mesa 22.3.6", "1.5.0"}) {
        FakeWindowLayer quiet;
        AppState s;
        s.windows = &quiet;
        quiet.glVersion = version;
        startUp(s, folder, {});
        EXPECT_TRUE(quiet.messages.empty()) << version;
        EXPECT_EQ(s.prefs.oldGlWarned, 0) << version;
    }
    windows.glVersion = "1.1.0";
    state.prefs.oldGlWarned = 1;
    start();
    EXPECT_TRUE(windows.messages.empty());
}

TEST_F(Loop, CommandLineArgumentsAreJoinedIntoTheCurrentFileName)
{
    start({"/tmp/my", "meshes/a", "b.pq"});
    EXPECT_EQ(state.currentFileName, "/tmp/my meshes/a b.pq");
}

TEST_F(Loop, SaveIsGreyedExactlyWhileThereIsNoCurrentFileName)
{
    start();
    mainLoopPass(state);
    EXPECT_FALSE(windows.menuEnabled[cmdSave]);
    EXPECT_FALSE(windows.toolbarEnabled[cmdSave]);
    EXPECT_TRUE(state.prefs.dialogStartText.empty());

    state.currentFileName = "/data/ship.pq";
    mainLoopPass(state);
    EXPECT_TRUE(windows.menuEnabled[cmdSave]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdSave]);
    EXPECT_EQ(state.prefs.dialogStartText, "/data/ship.pq");
}

TEST_F(Loop, IdleEditorDrawsOnceThenWaitsForEvents)
{
    start();
    mainLoopPass(state);
    EXPECT_EQ(windows.swaps, (std::vector<int32_t>{1, 2, 3, 4})) << "the first pass draws all four in order";
    for (int i = 0; i < 5; ++i) mainLoopPass(state);
    EXPECT_EQ(windows.swaps.size(), 4u) << "nothing changed, nothing drawn";
    EXPECT_EQ(windows.waits, 6) << "every idle pass waits for the next event";
    EXPECT_EQ(windows.sleptMs, 0);
}

TEST_F(Loop, EventsThatChangeNothingDrawNothing)
{
    start();
    settle();
    windows.swaps.clear();
    windows.push(eventMouseMove, windowFront, 0).push(eventMouseMove, window3D, mkRButton);
    windows.push(eventKeyDown, windowFront, 0x41).push(eventRightDown, windowTop, mkRButton);
    windows.push(eventLeftDown, windowMain, mkLButton).push(eventCommand, windowMain, cmdSave);
    windows.push(eventMouseWheel, windowMain, wheelNotch);
    settle();
    EXPECT_TRUE(windows.swaps.empty());
}

TEST_F(Loop, EachKindOfChangeRedrawsTheViewsShowingItOnce)
{
    struct Change {
        const char* name;
        std::function<void(FakeWindowLayer&, AppState&)> make;
        std::vector<int32_t> drawn;
        bool meshChanged = false;  // moves the revision the cached arrays are kept by
    };
    const std::vector<Change> changes{
        {"arrow in Front pans", [](FakeWindowLayer& w, AppState&) { w.push(eventKeyDown, windowFront, vkLeft); }, {1, 2, 3}},
        {"arrow in 3D turns", [](FakeWindowLayer& w, AppState&) { w.push(eventKeyDown, window3D, vkUp); }, {4}},
        {"wheel over Top", [](FakeWindowLayer& w, AppState&) { w.push(eventMouseWheel, windowTop, -wheelNotch); }, {1, 2, 3}},
        {"wheel over 3D", [](FakeWindowLayer& w, AppState&) { w.push(eventMouseWheel, window3D, wheelNotch); }, {4}},
        {"zoom button", [](FakeWindowLayer& w, AppState&) { w.push(eventCommand, windowMain, cmdZoomOut); }, {4}},
        {"new vertex", [](FakeWindowLayer& w, AppState&) { w.push(eventLeftDown, windowFront, mkLButton); }, {1, 2, 3, 4}, true},
        {"selection cleared",
         [](FakeWindowLayer& w, AppState& s) {
             appendVertex(s.mesh).selected = 1;
             w.push(eventRightDown, windowSide, mkRButton);
         },
         {1, 2, 3, 4},
         true},
        {"undo", [](FakeWindowLayer& w, AppState&) { w.push(eventCommand, windowMain, cmdUndo); }, {1, 2, 3, 4}, true},
        {"window size", [](FakeWindowLayer& w, AppState&) { w.resizeHandler(); }, {1, 2, 3, 4}},
        {"Home frames the mesh",
         [](FakeWindowLayer& w, AppState& s) {
             appendVertex(s.mesh).x = 30.0f;
             w.push(eventKeyDown, window3D, vkHome);
         },
         {1, 2, 3}},
    };
    for (const Change& change : changes) {
        FakeWindowLayer fresh;
        AppState s;
        s.windows = &fresh;
        startUp(s, folder, {});
        settleLoop(fresh, s);
        fresh.swaps.clear();
        const uint64_t revision = s.renderBuffers.meshRevision;
        change.make(fresh, s);
        settleLoop(fresh, s);
        EXPECT_EQ(fresh.swaps, change.drawn) << change.name;
        EXPECT_EQ(s.renderBuffers.meshRevision != revision, change.meshChanged) << change.name;
    }
    // An uncovered view is drawn at once, without waiting for the loop.
    start();
    settle();
    windows.swaps.clear();
    windows.exposeHandler({windowTop, windowSide});
    EXPECT_EQ(windows.swaps, (std::vector<int32_t>{2, 3}));
}

TEST_F(Loop, ABurstOfKeysIsDrawnOnceAndEveryKeyCounts)
{
    start();
    settle();
    windows.swaps.clear();
    for (int i = 0; i < 20; ++i) windows.push(eventKeyDown, window3D, vkLeft);
    settle();
    EXPECT_EQ(state.camera.orbitY, 20.0f);
    EXPECT_EQ(windows.swaps, std::vector<int32_t>{4});
}

TEST_F(Loop, OpeningAMeshOutsideTheViewsFramesThem)
{
    Mesh far;
    for (const float x : {40.0f, 44.0f}) appendVertex(far).x = x;
    appendTriangle(far).vertexIndex = {0, 1, 1};
    ASSERT_EQ(saveMeshFile(far, folder + "far.pq"), "");
    Mesh near;
    appendVertex(near).x = 0.5f;
    appendTriangle(near);
    ASSERT_EQ(saveMeshFile(near, folder + "near.pq"), "");

    start({folder + "far.pq"});
    EXPECT_EQ(state.camera.panX, -42.0f) << "the command-line file is framed too";
    state.camera = ViewCamera{};
    windows.fileAnswers = {folder + "near.pq", folder + "far.pq"};
    runCommand(state, cmdOpen);
    EXPECT_EQ(state.camera, ViewCamera{}) << "a mesh the views show keeps the view";
    runCommand(state, cmdOpen);
    EXPECT_TRUE(isMeshInOrthoViews(state.camera, state.mesh));
    EXPECT_EQ(state.camera.panX, -42.0f);
}

TEST_F(Loop, CursorIsTrackedAtEveryEventInHalfViewUnits)
{
    start();
    windows.cursor[windowFront] = {128, 129};  // (mx - 124 - 4) / 124, (my - 99 - 30) / 99
    windows.push(eventMouseMove, windowFront, 0);
    mainLoopPass(state);
    EXPECT_FLOAT_EQ(state.viewMouse[0].x, 0.0f);
    EXPECT_FLOAT_EQ(state.viewMouse[0].y, 0.0f);
    windows.cursor[windowFront] = {252, 228};
    windows.push(eventMouseMove, windowFront, 0);
    mainLoopPass(state);
    EXPECT_FLOAT_EQ(state.viewMouse[0].x, 1.0f);
    EXPECT_FLOAT_EQ(state.viewMouse[0].y, 1.0f);
    EXPECT_FLOAT_EQ(state.viewMouse[0].dx, 1.0f);
    EXPECT_FLOAT_EQ(state.viewMouse[0].dy, 1.0f);
}

TEST_F(Loop, CloseOfMainOrViewEndsTheLoopToolWindowsDoNot)
{
    start();
    for (int32_t tool : {windowPreferences, windowTexture, windowTriangles, windowScale, windowRotate}) {
        windows.push(eventClose, tool);
        EXPECT_FALSE(mainLoopPass(state)) << tool;
    }
    windows.push(eventClose, windowSide);
    EXPECT_TRUE(mainLoopPass(state));

    state.eventWindow = windowMain;
    windows.push(eventClose, windowMain);
    EXPECT_TRUE(mainLoopPass(state));
}

TEST_F(Loop, RunMainLoopEndsAfterTheClosingPass)
{
    start();
    windows.push(eventCommand, windowMain, cmdZoomIn).push(eventClose, windowMain).push(eventCommand, windowMain, cmdZoomIn);
    runMainLoop(state);
    EXPECT_EQ(state.camera.zoom, 0.25f) << "the event after the close request is not taken";
    EXPECT_EQ(windows.events.size(), 1u);
}

TEST_F(Loop, QuitEndsTheLoopAfterItsPass)
{
    start();
    windows.push(eventCommand, windowMain, cmdQuit);
    EXPECT_TRUE(mainLoopPass(state));
    EXPECT_TRUE(state.quitRequested);
}

TEST_F(Loop, OnlyEventsOfWindowsUpToFourAreDispatched)
{
    start();
    windows.push(eventCommand, windowScale, cmdZoomIn);
    mainLoopPass(state);
    EXPECT_EQ(state.camera.zoom, 0.0f);
    windows.push(eventCommand, windowMain, cmdZoomIn);
    mainLoopPass(state);
    EXPECT_EQ(state.camera.zoom, 0.25f);
    // A pass without an event keeps the window of the last one and dispatches nothing.
    mainLoopPass(state);
    EXPECT_EQ(state.eventKind, eventNone);
    EXPECT_EQ(state.eventWindow, windowMain);
    EXPECT_EQ(state.camera.zoom, 0.25f);
}

TEST_F(Loop, ShiftIsReadOncePerPass)
{
    start();
    windows.shift = true;
    mainLoopPass(state);
    EXPECT_EQ(state.shiftHeld, 1);
    windows.shift = false;
    mainLoopPass(state);
    EXPECT_EQ(state.shiftHeld, 0);
}

TEST_F(Loop, ClicksCreateVerticesOnlyInViews)
{
    start();
    windows.cursor[windowFront] = {186, 74};
    windows.cursor[windowMain] = {186, 74};
    windows.push(eventLeftDown, windowMain, mkLButton);
    mainLoopPass(state);
    EXPECT_TRUE(state.mesh.vertices.empty());
    windows.push(eventLeftDown, windowFront, mkLButton);
    mainLoopPass(state);
    ASSERT_EQ(state.mesh.vertices.size(), 1u);
    EXPECT_NEAR(state.mesh.vertices[0].x, 0.5f, 1e-6);
    EXPECT_NEAR(state.mesh.vertices[0].y, 0.2525f, 1e-3);
}

TEST_F(Loop, DragMovesOnlyWithExactlyTheLeftButton)
{
    start();
    Vertex& v = appendVertex(state.mesh);
    v.selected = 1;
    runCommand(state, cmdToolMoveVertex);
    windows.active = windowFront;
    windows.cursor[windowFront] = {186, 99};
    windows.push(eventMouseMove, windowFront, mkLButton | mkShift);
    windows.push(eventMouseMove, windowFront, mkLButton | mkRButton);
    mainLoopPass(state);
    mainLoopPass(state);
    EXPECT_EQ(state.mesh.vertices[0].x, 0.0f);
    windows.push(eventMouseMove, windowFront, mkLButton);
    mainLoopPass(state);
    EXPECT_NEAR(state.mesh.vertices[0].x, 0.5f, 1e-6);
    EXPECT_NEAR(state.mesh.vertices[0].y, 0.0f, 1e-6);
}

TEST_F(Loop, LayoutFillsTheAreaBelowTheToolbarStrip)
{
    start();
    layoutViews(state);
    const std::array<std::array<int32_t, 4>, 4> atStart{
        {{0, 25, 248, 198}, {250, 25, 248, 198}, {0, 225, 248, 198}, {250, 225, 248, 198}}};
    for (int32_t n = 1; n <= 4; ++n) {
        const WindowSpec& s = windows.windows.at(n).spec;
        EXPECT_EQ((std::array<int32_t, 4>{s.x, s.y, s.width, s.height}), atStart[static_cast<size_t>(n - 1)]) << n;
    }

    windows.setWindowGeometry(windowMain, 0, 0, 600, 435);
    windows.resizeHandler();
    const std::array<std::array<int32_t, 4>, 4> larger{
        {{0, 25, 298, 203}, {300, 25, 298, 203}, {0, 230, 298, 203}, {300, 230, 298, 203}}};
    for (int32_t n = 1; n <= 4; ++n) {
        const WindowSpec& s = windows.windows.at(n).spec;
        EXPECT_EQ((std::array<int32_t, 4>{s.x, s.y, s.width, s.height}), larger[static_cast<size_t>(n - 1)]) << n;
        EXPECT_LE(s.y + s.height, 435) << "no view reaches below the client area";
    }

    windows.setWindowGeometry(windowMain, 0, 0, 3, 20);
    layoutViews(state);
    EXPECT_EQ(windows.windows.at(4).spec.width, 0);
    EXPECT_EQ(windows.windows.at(4).spec.height, 0);
}

TEST_F(Loop, ShutDownClosesEveryWindow)
{
    start();
    WindowSpec tool;
    windows.openWindow(windowTriangles, tool);
    shutDown(state);
    EXPECT_TRUE(windows.windows.empty());
}

TEST_F(Loop, PrefTxtIsWrittenAtTheEndOnlyWithADialogStartText)
{
    start();
    mainLoopPass(state);
    shutDown(state);
    EXPECT_EQ(prefFile(), "(none)") << "no file name and no start text: pref.txt untouched";

    state.currentFileName = "/data/ship.pq";
    mainLoopPass(state);
    releaseWindows(state);  // what Quit does
    EXPECT_EQ(prefFile(), "(none)") << "Quit writes nothing";

    shutDown(state);
    EXPECT_EQ(prefFile(), "0\r\n0.000000\r\n0\r\n/data/ship.pq");
}

TEST_F(Loop, StartUpReadsPrefTxtFromTheWorkingDirectoryAndLoadsTheCommandLineFile)
{
    {
        std::ofstream pref(folder + "pref.txt", std::ios::binary);
        pref << "1\r\n0.25\r\n1\r\n/x/y.pq";
    }
    Mesh triangle;
    appendVertex(triangle).x = 0.5f;
    appendTriangle(triangle);
    ASSERT_EQ(saveMeshFile(triangle, folder + "one.pq"), "");

    start({folder + "one.pq"});
    EXPECT_EQ(state.prefs.language, 1);
    EXPECT_EQ(state.prefs.snapGrid, 0.25f);
    EXPECT_EQ(windows.menu.front().text, "File");
    EXPECT_EQ(state.currentFileName, folder + "one.pq");
    EXPECT_EQ(state.mesh.triangles.size(), 1u);
    EXPECT_EQ(state.mesh.vertices.at(0).x, 0.5f);
}
