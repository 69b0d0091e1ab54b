// Start-up, the main-loop pass, redrawing, the view layout, the main window's
// title, status line, recent files, drops, remembered place and toggle, and the
// ends of the program, run against the scripted window layer.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace {

std::array<float, 4> fields(ViewMouse m) { return {m.x, m.y, m.dx, m.dy}; }

// Each test starts in a fresh folder, the working directory and the program's
// folder (pref.txt is there), with a fresh state folder of its own (recovery
// copies, remembered settings): nothing remembered from an earlier test.
struct Loop : ::testing::Test {
    FakeWindowLayer windows, again;
    AppState state, next;
    std::filesystem::path startDirectory = std::filesystem::current_path();
    std::string folder = makeTestFolder("shell_loop") + "/", stateFolder = makeTestFolder("shell_loop_state");

    void SetUp() override { std::filesystem::current_path(folder), ::setenv("XDG_STATE_HOME", stateFolder.c_str(), 1); }
    void TearDown() override { std::filesystem::current_path(startDirectory), ::unsetenv("XDG_STATE_HOME"); }
    void start(FakeWindowLayer& layer, AppState& s, const std::vector<std::string>& arguments = {})
    { s.windows = &layer, startUp(s, folder, arguments); }
    // Runs passes until the scripted events are used up and one idle pass drew what was left.
    static void settle(FakeWindowLayer& layer, AppState& s)
    { while (!layer.events.empty()) mainLoopPass(s); mainLoopPass(s); }
    std::string prefFile() const
    {
        std::ostringstream text;
        return (text << std::ifstream(folder + "pref.txt", std::ios::binary).rdbuf()) ? text.str() : "(none)";
    }
    std::string title() const { return windows.windows.at(windowMain).spec.title; }
    // A file of one triangle whose first corner is at (x, 0, 0).
    std::string meshFile(const std::string& name, float x = 0.0f)
    {
        Mesh mesh;
        addVertex(mesh, x, 0, 0), addVertex(mesh, 0.5f, 0, 0), addVertex(mesh, 0, 0.5f, 0), addTriangle(mesh, 0, 1, 2);
        EXPECT_EQ(saveMeshFile(mesh, folder + name), "");
        return folder + name;
    }
    std::vector<int32_t> viewPlaces() const  // x, y, width and height of each view
    {
        std::vector<int32_t> places;
        for (int32_t n = windowFront; n <= window3D; ++n)
            if (const WindowSpec& s = windows.windows.at(n).spec; true) places.insert(places.end(), {s.x, s.y, s.width, s.height});
        return places;
    }
};

}  // namespace

TEST_F(Loop, StartUpOpensTheWindowsReadsPrefsAndLoadsTheCommandLineFile)
{
    std::ofstream(folder + "pref.txt", std::ios::binary) << "1\r\n0.25\r\n1\r\n/x/y.pq";
    Mesh far;
    addVertex(far, 40, 0, 0), addVertex(far, 44, 0, 0), addTriangle(far, 0, 1, 1);
    ASSERT_EQ(saveMeshFile(far, folder + "far away.pq"), "");
    windows.cursor[windowSide] = {30, 40};
    start(windows, state, {folder + "far", "away.pq"});

    const WindowSpec& main = windows.windows.at(windowMain).spec;
    EXPECT_EQ(std::tie(main.title, main.style, main.placement, main.width, main.height),
              std::make_tuple("Polyquill - Editor v. 1.1 - far away.pq", WindowStyle::Main, WindowPlacement::CentreOnScreen,
                              500, 425));
    EXPECT_EQ(viewPlaces(), (std::vector<int32_t>{0, 25, 248, 198, 250, 25, 250, 198, 0, 225, 248, 198, 250, 225, 250, 198}));
    for (const auto& [number, window] : windows.windows) EXPECT_TRUE(window.shown) << number;
    EXPECT_EQ(windows.activeWindow(), windowMain);
    EXPECT_EQ(fields(state.viewMouse[1]), (std::array<float, 4>{30, 40, 0, 0})) << "in pixels until the first redraw";
    EXPECT_EQ(std::tie(state.prefs.language, state.prefs.snapGrid, state.prefs.oldGlWarned), std::make_tuple(1, 0.25f, 1));
    EXPECT_EQ(state.currentFileName, folder + "far away.pq") << "the arguments are joined";
    EXPECT_EQ(state.camera.panX, -42.0f) << "a file outside the views is framed";
    EXPECT_TRUE(executableDirectory().ends_with("/"));
    EXPECT_TRUE(std::filesystem::exists(executableDirectory() + "pq_tests"));

    // The layout fills the area below the toolbar strip.
    layoutViews(state);
    EXPECT_EQ(viewPlaces(), (std::vector<int32_t>{0, 25, 248, 198, 250, 25, 248, 198, 0, 225, 248, 198, 250, 225, 248, 198}));
    windows.setWindowGeometry(windowMain, 0, 0, 601, 436);
    windows.resizeHandler();
    EXPECT_EQ(viewPlaces(), (std::vector<int32_t>{0, 25, 298, 203, 300, 25, 298, 203, 0, 230, 298, 203, 300, 230, 298, 203}));
    windows.setWindowGeometry(windowMain, 0, 0, 3, 20);
    layoutViews(state);
    EXPECT_EQ(viewPlaces().back(), 0) << "no view has a negative size";
}

// Past the file-size limit a save says "File too large" and the editor goes on with the work (in a child,
// whose limit ends no other test); the old file stays whole and no other file is left.
TEST_F(Loop, ASaveOverTheFileSizeLimitIsAMessage)
{
    Mesh big;
    addVertex(big, 1, 2, 3), addVertex(big, 4, 5, 6);
    for (int i = 0; i < 100; ++i) addTriangle(big, 0, 1, 0);
    std::ofstream(folder + "big.pq") << "old";
    const pid_t child = ::fork();
    if (child == 0) {
        start(windows, state, {folder + "big.pq"});
        state.mesh = big;
        state.prefs.language = 1;
        const rlimit small{1000, 1000};
        const bool said = ::setrlimit(RLIMIT_FSIZE, &small) == 0 && !files::cmdSave(state) &&
                          windows.messages.size() == 1 && windows.messages[0].text.ends_with("\nFile too large") &&
                          state.mesh.triangles.size() == 100;
        ::_exit(said ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "exit status 0, not ended by a signal";
    EXPECT_EQ(std::filesystem::file_size(folder + "big.pq"), 3u) << "the old file whole";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(Loop, OldOpenGLWarnsOnceAndTheWarningIsRemembered)
{
    std::tie(windows.glVersion, windows.glRenderer, windows.glVendor) = std::tuple("1.4.0 - Build 7.14.10.4906", "Old Card", "Old Vendor");
    start(windows, state);
    ASSERT_EQ(windows.messages.size(), 2u);
    EXPECT_EQ(windows.messages[1].title + ": " + windows.messages[1].text,
              "GFX-Card Info: Hardware: Old Card\nDeveloper: Old Vendor\nOpenGL-Version: 1.4.0 - Build 7.14.10.4906");
    EXPECT_EQ(prefFile(), "0\r\n0.000000\r\n1\r\n") << "the warning is remembered at once";
    EXPECT_EQ(state.renderPath, RenderPath::ClientArrays) << "no buffer objects before OpenGL 1.5";
    again.glVersion = windows.glVersion;
    start(again, next);
    EXPECT_TRUE(again.messages.empty());
}

TEST_F(Loop, EachChangeRedrawsTheViewsShowingItOnceWhenTheQueueIsEmpty)
{
    // meshChanged: moves the revision the cached arrays are kept by.
    struct Change { const char* name; std::function<void(FakeWindowLayer&, AppState&)> make; std::vector<int32_t> drawn; bool meshChanged = false; };
    const auto event = [](int32_t kind, int32_t window, int32_t param) {
        return [=](FakeWindowLayer& w, AppState&) { w.push(kind, window, param); };
    };
    const std::vector<Change> changes{
        {"nothing", [](FakeWindowLayer& w, AppState&) {
             w.push(eventMouseMove, windowFront).push(eventMouseMove, window3D, mkRButton).push(eventKeyDown, windowFront, 0x41);
             w.push(eventRightDown, windowTop, mkRButton).push(eventLeftDown, windowMain, mkLButton);
             w.push(eventCommand, windowMain, cmdSave).push(eventMouseWheel, windowMain, wheelNotch);
         }, {}},
        {"arrow in Front", event(eventKeyDown, windowFront, vkLeft), {1, 2, 3}},
        {"arrow in 3D", event(eventKeyDown, window3D, vkUp), {4}},
        {"wheel over Top", event(eventMouseWheel, windowTop, -wheelNotch), {1, 2, 3}},
        {"wheel over Front", event(eventMouseWheel, windowFront, wheelNotch), {1, 2, 3}},
        {"wheel over 3D", event(eventMouseWheel, window3D, wheelNotch), {4}},
        {"zoom button", event(eventCommand, windowMain, cmdZoomOut), {4}},
        {"new vertex", event(eventLeftDown, windowFront, mkLButton), {1, 2, 3, 4}, true},
        {"undo", event(eventCommand, windowMain, cmdUndo), {1, 2, 3, 4}, true},
        {"vertex picked", [](FakeWindowLayer& w, AppState& s) {
             addVertex(s.mesh, 0, 0, 0), setToolMode(s, SelectVertex), w.cursor[windowFront] = {124, 99}, w.push(eventLeftDown, windowFront, mkLButton);
         }, {1, 2, 3, 4}, true},
        {"vertex added by a drag", [](FakeWindowLayer& w, AppState& s) {
             addVertex(s.mesh, 0, 0, 0), setToolMode(s, SelectVertex), w.active = windowFront, w.cursor[windowFront] = {124, 99}, w.push(eventMouseMove, windowFront, mkLButton);
         }, {1, 2, 3, 4}, true},
        {"selection cleared", [](FakeWindowLayer& w, AppState& s) { addVertex(s.mesh, 0, 0, 0, 1), w.push(eventRightDown, windowSide, mkRButton); },
         {1, 2, 3, 4}, true},
        {"window size", [](FakeWindowLayer& w, AppState&) { w.resizeHandler(); }, {1, 2, 3, 4}},
        {"Home frames the mesh", [](FakeWindowLayer& w, AppState& s) { addVertex(s.mesh, 30, 0, 0), w.push(eventKeyDown, window3D, vkHome); },
         {1, 2, 3, 4}},
        {"20 keys", [](FakeWindowLayer& w, AppState&) { for (int i = 0; i < 20; ++i) w.push(eventKeyDown, window3D, vkLeft); }, {4}},
        {"import inside the views", [](FakeWindowLayer& w, AppState&) {
             const std::string obj = makeTestFolder("loop") + "/tri.obj";
             std::ofstream(obj) << "v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nf 1 2 3\n";
             w.fileAnswers = {obj}, w.promptAnswers = {"1"}, w.push(eventCommand, windowMain, cmdImport);
         }, {1, 2, 3, 4}, true},
        {"uncovered", [](FakeWindowLayer& w, AppState&) { w.exposeHandler({windowTop, windowSide}); }, {2, 3}},
    };
    for (const Change& change : changes) {
        FakeWindowLayer w;
        AppState s;
        start(w, s);
        mainLoopPass(s);
        EXPECT_EQ(w.swaps, (std::vector<int32_t>{1, 2, 3, 4})) << "the first pass draws all four in order";
        w.swaps.clear(), w.waits = 0;
        const uint64_t revision = s.renderBuffers.meshRevision;
        change.make(w, s);
        settle(w, s);
        mainLoopPass(s);
        EXPECT_EQ(w.swaps, change.drawn) << change.name;
        EXPECT_EQ(s.renderBuffers.meshRevision != revision, change.meshChanged) << change.name;
        EXPECT_EQ(w.waits, 2) << change.name << ": an idle pass waits for the next event";
    }
}

TEST_F(Loop, ThePassTracksTheCursorAndShiftAndRoutesMouseEventsOfViewsOnly)
{
    start(windows, state);
    windows.shift = true;
    windows.cursor[windowFront] = windows.cursor[windowMain] = {128, 129};  // the centre of Front
    windows.push(eventLeftDown, windowMain, mkLButton).push(eventMouseMove, windowFront);
    mainLoopPass(state);
    mainLoopPass(state);
    EXPECT_EQ(fields(state.viewMouse[0]), (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(state.mesh.vertices.empty());
    EXPECT_EQ(state.shiftHeld, 1);
    // Shift is down again for a later click: this one was made without it.
    windows.cursor[windowFront] = {190, 30};  // tracked from the window's corner, the click from the client area's
    windows.push(eventLeftDown, windowFront, mkLButton);
    mainLoopPass(state);
    EXPECT_EQ(fields(state.viewMouse[0]), (std::array<float, 4>{0.5f, -1.0f, 0.5f, -1.0f}));
    EXPECT_EQ(state.shiftHeld, 0);
    ASSERT_EQ(state.mesh.vertices.size(), 1u);
    EXPECT_TRUE(std::abs(state.mesh.vertices[0].x - 66.0f / 124) < 1e-6 && std::abs(state.mesh.vertices[0].y - 69.0f / 99) < 1e-6);

    // Dragging moves the vertex with exactly the left button held.
    runCommand(state, cmdToolMoveVertex);
    state.mesh.vertices[0].selected = 1;
    windows.cursor[windowFront] = {248, 198};
    windows.push(eventMouseMove, windowFront, mkLButton | mkShift).push(eventMouseMove, windowFront, mkLButton | mkRButton);
    settle(windows, state);
    EXPECT_NEAR(state.mesh.vertices[0].x, 66.0f / 124, 1e-6);
    windows.push(eventMouseMove, windowFront, mkLButton);
    mainLoopPass(state);
    EXPECT_EQ(std::tie(state.mesh.vertices[0].x, state.mesh.vertices[0].y), std::make_tuple(1.0f, -1.0f));

    // A middle-button drag begun in a view keeps the point grabbed under the cursor.
    const auto w = static_cast<float>(windows.clientWidth(windowFront)), h = static_cast<float>(windows.clientHeight(windowFront));
    const ViewPoint grabbed = screenToModel(ViewKind::Front, 100, 100, w, h, state.camera);
    windows.cursor[windowFront] = {100, 100};
    windows.push(eventMiddleDown, windowFront, mkMButton);
    mainLoopPass(state);
    windows.cursor[windowFront] = {162, 80};
    windows.push(eventMouseMove, windowFront, mkMButton);
    mainLoopPass(state);
    const ViewPoint held = screenToModel(ViewKind::Front, 162, 80, w, h, state.camera);
    EXPECT_TRUE(std::abs(held.a - grabbed.a) < 1e-6 && std::abs(held.b - grabbed.b) < 1e-6);
    windows.push(eventMouseWheel, window3D, wheelNotch / 2).push(eventMouseWheel, window3D, wheelNotch / 2);
    settle(windows, state);
    EXPECT_EQ(state.camera.zoom, 0.25f) << "two half notches over 3D make one step in";
}

// A tool window at rest sleeps until its next event instead of polling.
TEST_F(Loop, AToolWindowAtRestWaitsForItsNextEvent)
{
    windows.openWindow(windowScale, {});
    int idle = 0;
    windows.onIdle = [&idle](FakeWindowLayer& layer) {
        if (++idle == 3) layer.push(eventClose, windowScale);
    };
    EXPECT_TRUE(runWindowUntilClosed(windows, windowScale, {}));
    EXPECT_EQ(std::pair(windows.waits, windows.lastWaitTimeout), std::pair(1, -1)) << "once, with no time limit";
}

TEST_F(Loop, TheLoopEndsOnClosingTheMainWindowOrAViewOrOnQuit)
{
    start(windows, state);
    for (const int32_t tool : {windowPreferences, windowTexture, windowTriangles, windowScale, windowRotate}) {
        windows.push(eventClose, tool).push(eventCommand, tool, cmdZoomIn);
        EXPECT_FALSE(mainLoopPass(state) || mainLoopPass(state)) << tool;
    }
    EXPECT_EQ(state.camera.zoom, 0.0f) << "only events of the main window and the views are dispatched";
    windows.push(eventClose, windowSide);
    EXPECT_TRUE(mainLoopPass(state));
    windows.push(eventCommand, windowMain, cmdZoomIn).push(eventClose, windowMain).push(eventCommand, windowMain, cmdQuit);
    runMainLoop(state);
    EXPECT_EQ(state.camera.zoom, 0.25f);
    EXPECT_EQ(windows.events.size(), 1u) << "the event after the close request is not taken";
    EXPECT_FALSE(state.quitRequested);
    EXPECT_TRUE(mainLoopPass(state));
    EXPECT_TRUE(state.quitRequested);
    FakeWindowLayer ending;
    AppState s;
    start(ending, s);
    EXPECT_TRUE(ending.sessionEndHandler());
    EXPECT_TRUE(mainLoopPass(s)) << "the session's end ends the loop";
}

TEST_F(Loop, RedrawDrawsEachViewAsDrawViewDoesWithItsAspect)
{
    OffscreenGl gl(250, 198);  // current for every view: the scripted layer has no contexts
    ASSERT_TRUE(gl.valid());
    start(windows, state);
    addVertex(state.mesh, -0.9f, 0.5f, 0), addVertex(state.mesh, 0.9f, 0.5f, 0), addVertex(state.mesh, 0, -0.6f, 0);
    addTriangle(state.mesh, 0, 1, 2);
    windows.exposeHandler({window3D});
    const RgbImage shown = gl.readPixels();
    Engine engine;
    RenderBuffers shared;
    ViewBuffers own;
    ViewFrame frame = viewFrame(ViewKind::ThreeD, 250, 198, 1.0f, RenderPath::BufferObjects);
    frame.labelTexture = state.labelTexture[3].name();
    for (int pass = 0; pass < 2; ++pass) drawView(engine, frame, state.mesh, {}, shared, own);
    EXPECT_TRUE(shown.rgb == gl.readPixels().rgb);
}

TEST_F(Loop, ShutDownClosesEveryWindowAndWritesPrefTxtOnlyWithAStartText)
{
    start(windows, state);
    mainLoopPass(state);
    shutDown(state);
    EXPECT_EQ(std::pair(prefFile(), windows.windows.size()), std::pair(std::string("(none)"), size_t{0}));

    start(windows, state);
    windows.openWindow(windowTriangles, WindowSpec{});
    state.currentFileName = "/data/ship.pq";
    mainLoopPass(state);
    EXPECT_TRUE(windows.menuEnabled[cmdSave]);
    releaseWindows(state);  // what Quit does
    EXPECT_EQ(std::pair(prefFile(), windows.windows.size()), std::pair(std::string("(none)"), size_t{0}));
    shutDown(state);
    EXPECT_EQ(prefFile(), "0\r\n0.000000\r\n0\r\n/data/ship.pq");
}

TEST_F(Loop, TheTitleNamesTheFileAndMarksUnsavedWork)
{
    const std::string editor = "Polyquill - Editor v. 1.1";
    windows.fileAnswers = {meshFile("cube.pq")};
    start(windows, state);
    EXPECT_EQ(title(), editor);
    windows.push(eventCommand, windowMain, cmdOpen).push(eventLeftDown, windowFront, mkLButton);
    settle(windows, state);
    EXPECT_EQ(title(), editor + " - cube.pq *");
    windows.choiceAnswers = {0};  // the clicked vertex is in no triangle: save anyway
    windows.pushKey(windowFront, 'S', mkControl);
    settle(windows, state);
    EXPECT_EQ(title(), editor + " - cube.pq");
    windows.choiceAnswers = {1};  // New discards and leaves a document without a file
    windows.push(eventLeftDown, windowFront, mkLButton).push(eventCommand, windowMain, cmdNew);
    settle(windows, state);
    EXPECT_EQ(title(), editor);
}

TEST_F(Loop, TheStatusLineCountsTheMeshAndShowsThePointUnderTheCursor)
{
    start(windows, state);
    addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 1, 0, 0), addVertex(state.mesh, 0, 1, 0);
    addTriangle(state.mesh, 0, 1, 2).selected = 1;
    addTriangle(state.mesh, 0, 1, 2);
    state.mesh.pendingCorner = 1;  // the second is under construction: not counted
    markMeshChanged(state, allViews);
    windows.cursor[windowFront] = {186, 74};
    windows.push(eventMouseMove, windowFront);
    settle(windows, state);
    EXPECT_EQ(windows.statusText, "3 Vertices (1 gewählt), 1 Triangles (1 gewählt)\tFront: x 0.500, y 0.253");
    runCommand(state, cmdDeleteVertex);
    windows.cursor[windowTop] = {124, 0};
    windows.push(eventMouseMove, windowTop);
    settle(windows, state);
    EXPECT_EQ(windows.statusText, "2 Vertices (0 gewählt), 0 Triangles (0 gewählt)\tTop: x 0.000, z -1.000");
    windows.cursor[windowSide] = {125, 99};
    windows.push(eventMouseWheel, windowSide, -wheelNotch).push(eventMouseWheel, windowSide, -wheelNotch);
    settle(windows, state);
    EXPECT_TRUE(windows.statusText.ends_with("\tSide: z 0.00, y 0.00")) << "fewer decimals zoomed out";
    windows.push(eventMouseLeave, windowSide);
    settle(windows, state);
    EXPECT_TRUE(windows.statusText.ends_with("\t")) << "no point once the cursor left";
    EXPECT_EQ(coordinateText(-0.0001f, 0.01f), "0.00");
    EXPECT_EQ(coordinateText(0.25f, 1e-12f), "0.250000000");
}

TEST_F(Loop, RecentFilesAreRememberedNewestFirstAndOpenAsTheCommandLineDoes)
{
    start(windows, state);
    std::vector<std::string> files;
    for (const char* name : {"a.pq", "b.pq", "c.pq", "d.pq", "e.pq"})
        windows.fileAnswers.push_back(files.emplace_back(meshFile(name, static_cast<float>(files.size()))));
    windows.fileAnswers.push_back(files[2]);
    for (size_t i = 0; i < 6; ++i) runCommand(state, cmdOpen);
    EXPECT_EQ(recentFiles(state), (std::vector{files[2], files[4], files[3], files[1]}));
    EXPECT_EQ(windows.menu[14].text, "4 " + files[1]) << "after Export... and a separator";
    loadUserState(next);
    EXPECT_EQ(recentFiles(next), recentFiles(state)) << "remembered for the next run";
    runCommand(state, cmdRecentFile1 + 2);
    EXPECT_EQ(state.mesh.vertices[0].x, 3.0f);
    EXPECT_EQ(recentFiles(state).front(), files[3]);
    std::filesystem::remove(files[1]);
    runCommand(state, cmdRecentFile4);
    EXPECT_EQ(windows.messages.back().text, "Die Datei " + files[1] + " kann nicht gelesen werden");
    EXPECT_EQ(state.currentFileName, files[3]) << "the document is kept";
    windows.fileAnswers = {folder + "f.pq"};
    runCommand(state, cmdSaveAs);
    EXPECT_EQ(recentFiles(state).front(), folder + "f.pq");
}

TEST_F(Loop, ADroppedFileOpensAsTheCommandLineDoesAfterTheQuestion)
{
    start(windows, state);
    const std::string file = meshFile("dropped.pq", 0.25f);
    addVertex(state.mesh, 9, 9, 9);
    windows.choiceAnswers = {2, 1};  // Cancel, then Discard
    windows.pushDrop(windowFront, file);
    settle(windows, state);
    EXPECT_EQ(state.mesh.vertices.size(), 1u);
    windows.pushDrop(windowMain, file).pushDrop(windowMain, folder);
    settle(windows, state);
    EXPECT_EQ(state.mesh.vertices[0].x, 0.25f);
    EXPECT_EQ(windows.messages.size(), 1u) << "a folder is no file to open";
    const std::string huge = folder + "huge.pq";
    std::ofstream(huge).put('x');
    std::filesystem::resize_file(huge, 1ull << 40);
    windows.pushDrop(windowMain, huge);
    settle(windows, state);
    EXPECT_EQ(state.currentFileName, file) << "a file too large to read leaves the document and its name";
    EXPECT_EQ(state.mesh.vertices.size(), 3u);
}

TEST_F(Loop, KeepProportionsThePlaceAndWithoutPrefTxtTheLocaleAreTakenAtStart)
{
    for (const std::string& junk : std::vector<std::string>{"", "10 20 640", "10 20 640 480 1", "10  20 640 480",
             "10 20 99 480", "10 20 640 4800000000", "10 -200000 640 480", "10 20 640 480\n", {"\0\xff 2 3 4", 8}})
        EXPECT_FALSE(readWindowPlace(junk)) << junk;
    EXPECT_EQ(languageFromLocale("", "fr", "en_GB.UTF-8"), 2);
    EXPECT_EQ(languageFromLocale("de_AT@euro", "fr", "en"), 0);
    EXPECT_EQ(languageFromLocale("english", "", ""), 0);
    ::setenv("LANG", "en_GB.UTF-8", 1);
    start(windows, state);
    EXPECT_EQ(windows.menu[0].text, "File");
    windows.push(eventCommand, windowMain, cmdKeepProportions);
    settle(windows, state);
    EXPECT_TRUE(windows.menuChecked[cmdKeepProportions]);
    windows.setWindowGeometry(windowMain, 30, -40, 640, 480);
    releaseWindows(state);
    std::ofstream(folder + "pref.txt") << "2";
    start(again, next);
    ::setenv("LANG", "C", 1);
    EXPECT_TRUE(next.camera.keepProportions);
    EXPECT_TRUE(again.menuChecked[cmdKeepProportions]);
    EXPECT_EQ(again.menu[0].text, "Fichier") << "pref.txt's language wins";
    const WindowSpec& main = again.windows.at(windowMain).spec;
    EXPECT_EQ(main.placement, WindowPlacement::At);
    EXPECT_EQ(windowPlaceText({main.x, main.y, main.width, main.height}), "30 -40 640 480");
}
