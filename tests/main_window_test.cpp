// The main window's title, status line, recent files, dropped files, the keep
// proportions toggle, its remembered place and the first language, run
// through start-up and main-loop passes against the scripted window layer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace {

const std::string editor = "Polyquill - Editor v. 1.1";

// Each test runs in a fresh folder, the program's and the working one, with
// nothing remembered from an earlier test.
struct MainWindow : ::testing::Test {
    FakeWindowLayer windows, again;
    AppState state, next;
    std::filesystem::path startDirectory = std::filesystem::current_path();
    std::string folder = makeTestFolder("main_window") + "/";

    void SetUp() override { std::filesystem::current_path(folder), std::filesystem::remove(userStatePath()); }
    void TearDown() override { std::filesystem::current_path(startDirectory); }
    void start() { state.windows = &windows, startUp(state, folder, {}); }
    void startNext() { next.windows = &again, startUp(next, folder, {}); }
    void settle()
    {
        while (!windows.events.empty()) mainLoopPass(state);
        mainLoopPass(state);
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
};

}  // namespace

TEST_F(MainWindow, TitleNamesTheFileAndMarksUnsavedWork)
{
    EXPECT_EQ(windowTitleFor("1.1", "/m/ship one.pq", true), editor + " - ship one.pq *");
    windows.fileAnswers = {meshFile("cube.pq")};
    start();
    EXPECT_EQ(title(), editor);
    windows.push(eventCommand, windowMain, cmdOpen);
    settle();
    EXPECT_EQ(title(), editor + " - cube.pq");
    windows.active = windowFront;
    windows.push(eventLeftDown, windowFront, mkLButton);
    settle();
    EXPECT_EQ(title(), editor + " - cube.pq *");
    windows.pushKey(windowFront, 'S', mkControl);
    settle();
    EXPECT_EQ(title(), editor + " - cube.pq");
    windows.push(eventLeftDown, windowFront, mkLButton).push(eventCommand, windowMain, cmdNew);
    windows.choiceAnswers = {1};  // New discards; an empty mesh holds no work
    settle();
    EXPECT_EQ(title(), editor + " - cube.pq");
}

TEST_F(MainWindow, StatusLineCountsTheMeshAndShowsThePointUnderTheCursor)
{
    start();
    addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 1, 0, 0), addVertex(state.mesh, 0, 1, 0);
    addTriangle(state.mesh, 0, 1, 2).selected = 1;
    addTriangle(state.mesh, 0, 1, 2);
    state.mesh.pendingCorner = 1;  // the second is under construction: not counted
    markMeshChanged(state, allViews);
    windows.cursor[windowFront] = {186, 74};
    windows.push(eventMouseMove, windowFront);
    settle();
    EXPECT_EQ(windows.statusText, "3 Vertices (1 gewählt), 1 Triangles (1 gewählt)\tFront: x 0.500, y 0.253");
    runCommand(state, cmdDeleteVertex);
    windows.cursor[windowTop] = {124, 0};
    windows.push(eventMouseMove, windowTop);
    settle();
    EXPECT_EQ(windows.statusText, "2 Vertices (0 gewählt), 0 Triangles (0 gewählt)\tTop: x 0.000, z -1.000");
    windows.cursor[windowSide] = {125, 99};
    windows.push(eventMouseWheel, windowSide, -wheelNotch).push(eventMouseWheel, windowSide, -wheelNotch);
    settle();
    EXPECT_TRUE(windows.statusText.ends_with("\tSide: z 0.00, y 0.00")) << "fewer decimals zoomed out";
    windows.push(eventMouseLeave, windowSide);
    settle();
    EXPECT_TRUE(windows.statusText.ends_with("\t")) << "no point once the cursor left";
    EXPECT_EQ(coordinateText(-0.0001f, 0.01f), "0.00");
    EXPECT_EQ(coordinateText(0.25f, 1e-12f), "0.250000000");
    EXPECT_EQ(coordinateText(NAN, 0.01f), "nan");
}

TEST_F(MainWindow, RecentFilesAreRememberedNewestFirstAndOpenAsTheCommandLineDoes)
{
    start();
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
    EXPECT_EQ(state.currentFileName, files[3]);
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

TEST_F(MainWindow, ADroppedFileOpensAsTheCommandLineDoesAfterTheQuestion)
{
    start();
    const std::string file = meshFile("dropped.pq", 0.25f);
    addVertex(state.mesh, 9, 9, 9);
    windows.choiceAnswers = {2, 1};  // Cancel, then Discard
    windows.pushDrop(windowFront, file);
    settle();
    EXPECT_EQ(state.mesh.vertices.size(), 1u);
    windows.pushDrop(windowMain, file).pushDrop(windowMain, folder);
    settle();
    EXPECT_EQ(state.currentFileName, file);
    EXPECT_EQ(state.mesh.vertices[0].x, 0.25f);
    EXPECT_EQ(windows.messages.size(), 1u) << "a folder is no file to open";
}

TEST_F(MainWindow, KeepProportionsIsAToggleRememberedBetweenRuns)
{
    start();
    settle();
    windows.swaps.clear();
    windows.push(eventCommand, windowMain, cmdKeepProportions);
    settle();
    EXPECT_TRUE(state.camera.keepProportions);
    EXPECT_TRUE(windows.menuChecked[cmdKeepProportions]);
    EXPECT_EQ(windows.swaps, (std::vector<int32_t>{1, 2, 3})) << "the orthographic views are drawn again";
    startNext();
    EXPECT_TRUE(next.camera.keepProportions);
    EXPECT_TRUE(again.menuChecked[cmdKeepProportions]);
    runCommand(next, cmdKeepProportions);
    loadUserState(state), loadKeepProportions(state);
    EXPECT_FALSE(state.camera.keepProportions);
}

TEST_F(MainWindow, ThePlaceIsRememberedAndAnyOtherTextIsIgnored)
{
    for (const std::string& junk :
         std::vector<std::string>{"", "10 20 640", "10 20 640 480 1", "10  20 640 480", " 10 20 640 480", "a b c d",
                                  "10 20 99 480", "10 20 640 4800000000", "10 -200000 640 480", "10 20 640 480\n",
                                  std::string("\0\xff 2 3 4", 8)})
        EXPECT_FALSE(readWindowPlace(junk)) << junk;
    start();
    windows.setWindowGeometry(windowMain, 30, -40, 640, 480);
    releaseWindows(state);
    EXPECT_EQ(userValue(state, "window.place"), "30 -40 640 480");
    startNext();
    const WindowSpec& main = again.windows.at(windowMain).spec;
    EXPECT_EQ(main.placement, WindowPlacement::At);
    EXPECT_EQ(windowPlaceText({main.x, main.y, main.width, main.height}), "30 -40 640 480");
    rememberUserValue(next, "window.place", "30 40 0 0");
    startNext();
    EXPECT_EQ(again.windows.at(windowMain).spec.placement, WindowPlacement::CentreOnScreen);
}

TEST_F(MainWindow, WithoutPrefTxtTheLanguageComesFromTheLocale)
{
    EXPECT_EQ(languageFromLocale("", "", "en_GB.UTF-8"), 1);
    EXPECT_EQ(languageFromLocale("", "fr", "en_GB.UTF-8"), 2);
    EXPECT_EQ(languageFromLocale("de_AT@euro", "fr", "en"), 0);
    EXPECT_EQ(languageFromLocale("C", "en_US", "en_US"), 0);
    EXPECT_EQ(languageFromLocale("english", "", ""), 0);
    ::setenv("LC_MESSAGES", "fr_FR.UTF-8", 1);
    start();
    EXPECT_EQ(windows.menu[0].text, "Fichier");
    std::ofstream(folder + "pref.txt") << "1";
    startNext();
    ::unsetenv("LC_MESSAGES");
    EXPECT_EQ(again.menu[0].text, "File") << "pref.txt's language wins";
}
