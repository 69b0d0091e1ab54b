// The menu bar and toolbar, the tool selection and the routing of events and
// commands, run against the scripted window layer.
#include <gtest/gtest.h>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

struct Shell : ::testing::Test {
    FakeWindowLayer windows;
    AppState state;

    void SetUp() override
    {
        windows.attach(state);
    }

    void dispatch(int32_t kind, int32_t window, int32_t param = 0)
    {
        state.event = WindowEvent{kind, window, param, 0, 0};
        state.eventKind = kind;
        state.eventWindow = window;
        dispatchEvent(state);
    }

    std::vector<std::string> menuTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& e : windows.menu) texts.push_back(e.kind == "separator" ? "---" : e.text);
        return texts;
    }
};

}  // namespace

TEST_F(Shell, GermanMenusInTheirOrderWithTheirIds)
{
    buildMenuAndToolbar(state);
    const std::vector<std::string> expected{"Datei", "Neu", "Öffnen...", "Speichern", "Speichern unter...",
                                            "Einfügen...", "---", "ASC einfügen", "Importieren...",
                                            "Exportieren...", "---", "Einstellungen", "---", "Beenden",
                                            "Bearbeiten", "Rückgängig", "Wiederherstellen",
                                            "Hilfe", "Über"};
    EXPECT_EQ(menuTexts(), expected);
    std::vector<int32_t> ids;
    for (const auto& e : windows.menu)
        if (e.kind == "item") ids.push_back(e.id);
    EXPECT_EQ(ids, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 28, 29, 6, 7, 26, 27, 8}));
}

TEST_F(Shell, MenusFollowTheLanguageAndAnUnknownOneReadsAsGerman)
{
    state.prefs.language = 1;
    buildMenuAndToolbar(state);
    EXPECT_EQ(windows.menu.front().text, "File");
    EXPECT_EQ(windows.menu[13].text, "Quit");
    EXPECT_EQ(windows.tooltips[cmdDeleteVertex], "delete vertex");

    windows.destroyMenuBar();
    windows.destroyToolbar();
    state.prefs.language = 2;
    buildMenuAndToolbar(state);
    EXPECT_EQ(windows.menu[14].text, "Édition");
    EXPECT_EQ(windows.menu[15].text, "Annuler");
    EXPECT_EQ(windows.menu[16].text, "Rétablir");
    EXPECT_EQ(windows.menu[17].text, "Aide");
    EXPECT_EQ(windows.menu[18].text, "A propos");
    EXPECT_EQ(windows.tooltips[cmdAutoTextureCoords], "établissement de coordonnée de texture automatique");

    windows.destroyMenuBar();
    windows.destroyToolbar();
    state.prefs.language = 7;
    buildMenuAndToolbar(state);
    EXPECT_EQ(windows.menu.front().text, "Datei");
}

TEST_F(Shell, ToolbarHas22ButtonsAnd6SeparatorsInOrder)
{
    buildMenuAndToolbar(state);
    std::vector<std::string> layout;
    for (const auto& e : windows.toolbar) {
        if (e.kind == "separator")
            layout.push_back("|");
        else
            layout.push_back(std::to_string(e.id) + (e.kind == "standard" ? "s" + std::to_string(e.image) : "i" + std::to_string(e.image)));
    }
    const std::vector<std::string> expected{
        "0s6", "1s7", "2s8", "|", "3s8", "|", "9s5", "10i10", "11i11", "12i12", "13i13", "14i14", "|",
        "15i15", "|", "16i16", "17i17", "|", "18i18", "19i19", "20i20", "21s5", "22i22", "23i23",
        "24i24", "25i25", "|", "8s11"};
    EXPECT_EQ(layout, expected);
}

TEST_F(Shell, TooltipsAndTheGreyedCreateVertexButton)
{
    buildMenuAndToolbar(state);
    EXPECT_EQ(windows.tooltips.size(), 22u);
    EXPECT_EQ(windows.tooltips[cmdZoomIn], "Vergrößern");
    EXPECT_EQ(windows.tooltips[cmdToolCreateVertex], "Vertex erstellen");
    EXPECT_EQ(windows.tooltips[cmdDeleteTriangle], "Triangle löschen");
    EXPECT_EQ(windows.tooltips[cmdTriangleList], "Triangleliste");
    EXPECT_EQ(windows.tooltips[cmdScale], "redimensionieren");
    EXPECT_EQ(windows.tooltips[cmdRotate], "rotieren");
    EXPECT_EQ(windows.tooltips.count(cmdMerge), 0u);
    for (const auto& [id, enabled] : windows.toolbarEnabled) EXPECT_EQ(enabled, id != cmdToolCreateVertex) << id;
    EXPECT_EQ(state.toolMode, CreateVertex);
}

TEST_F(Shell, IconsAreLoadedFromTheProgramFolderIntoTheirCommandSlots)
{
    state.programDirectory = "/opt/pq/";
    windows.imageFiles["/opt/pq/Images/toolbar_15.ico"] = {16, 16};
    windows.imageFiles["/opt/pq/Images/toolbar_13.ico"] = {16, 16};
    windows.imageFiles["/opt/pq/Images/toolbar_09.ico"] = {16, 16};
    buildMenuAndToolbar(state);
    EXPECT_TRUE(windows.hasImage(cmdScale));
    EXPECT_TRUE(windows.hasImage(cmdTriangleList));
    EXPECT_TRUE(windows.hasImage(cmdFlipTriangle));
    // A missing icon leaves its button without an image; the button is still there.
    EXPECT_FALSE(windows.hasImage(cmdRotate));
    EXPECT_EQ(windows.toolbarEnabled.count(cmdRotate), 1u);
}

TEST_F(Shell, MissingMenuBarOrToolbarIsLeftOut)
{
    windows.menuBarFails = true;
    windows.toolbarFails = true;
    buildMenuAndToolbar(state);
    EXPECT_TRUE(windows.menu.empty());
    EXPECT_TRUE(windows.toolbar.empty());
    EXPECT_TRUE(windows.tooltips.empty());
    runCommand(state, cmdToolMoveVertex);
    EXPECT_EQ(state.toolMode, MoveVertex);
}

TEST_F(Shell, ToolSelectionGreysOnlyTheChosenTool)
{
    buildMenuAndToolbar(state);
    runCommand(state, cmdToolMoveVertex);
    EXPECT_EQ(state.toolMode, MoveVertex);
    EXPECT_FALSE(windows.toolbarEnabled[cmdToolMoveVertex]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdToolCreateVertex]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdToolSelectVertex]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdToolCreateTriangle]);

    state.mesh.pendingCorner = 2;
    runCommand(state, cmdToolCreateTriangle);
    runCommand(state, cmdToolCreateTriangle);
    EXPECT_EQ(state.toolMode, CreateTriangle);
    EXPECT_FALSE(windows.toolbarEnabled[cmdToolCreateTriangle]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdToolMoveVertex]);
    EXPECT_EQ(state.mesh.pendingCorner, 2) << "a triangle under construction is kept";

    runCommand(state, cmdToolSelectVertex);
    EXPECT_EQ(state.toolMode, SelectVertex);
    runCommand(state, cmdToolCreateVertex);
    EXPECT_EQ(state.toolMode, CreateVertex);
    EXPECT_FALSE(windows.toolbarEnabled[cmdToolCreateVertex]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdToolSelectVertex]);
}

TEST_F(Shell, RebuildingResetsTheTool)
{
    buildMenuAndToolbar(state);
    runCommand(state, cmdToolSelectVertex);
    windows.destroyMenuBar();
    windows.destroyToolbar();
    buildMenuAndToolbar(state);
    EXPECT_EQ(state.toolMode, CreateVertex);
    EXPECT_FALSE(windows.toolbarEnabled[cmdToolCreateVertex]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdToolSelectVertex]);
}

TEST_F(Shell, SaveIsGreyedAndEnabledInMenuAndToolbar)
{
    buildMenuAndToolbar(state);
    setSaveEnabled(state, false);
    EXPECT_FALSE(windows.menuEnabled[cmdSave]);
    EXPECT_FALSE(windows.toolbarEnabled[cmdSave]);
    EXPECT_TRUE(windows.menuEnabled[cmdSaveAs]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdSaveAs]);
    setSaveEnabled(state, true);
    EXPECT_TRUE(windows.menuEnabled[cmdSave]);
    EXPECT_TRUE(windows.toolbarEnabled[cmdSave]);
}

TEST_F(Shell, ZoomOutStopsAtMinusOneZoomInHasNoLimit)
{
    for (int i = 0; i < 4; ++i) runCommand(state, cmdZoomOut);
    EXPECT_EQ(state.camera.zoom, -1.0f);
    runCommand(state, cmdZoomOut);
    EXPECT_EQ(state.camera.zoom, -1.0f);
    runCommand(state, cmdZoomIn);
    EXPECT_EQ(state.camera.zoom, -0.75f);
    for (int i = 0; i < 20; ++i) runCommand(state, cmdZoomIn);
    EXPECT_EQ(state.camera.zoom, 4.25f);
}

TEST_F(Shell, NewEmptiesTheMeshAndKeepsTheRest)
{
    addVertex(state.mesh, 0, 0, 0, 1);
    addVertex(state.mesh, 1, 0, 0, 0);
    addVertex(state.mesh, 0, 1, 0, 0);
    addTriangle(state.mesh, 0, 1, 2);
    state.currentFileName = "/tmp/a.pq";
    resetDocumentHistory(state);
    state.camera.zoom = 0.5f;
    runCommand(state, cmdNew);
    EXPECT_TRUE(state.mesh.vertices.empty());
    EXPECT_TRUE(state.mesh.triangles.empty());
    EXPECT_EQ(state.currentFileName, "/tmp/a.pq");
    EXPECT_EQ(state.camera.zoom, 0.5f);
}

TEST_F(Shell, MeshCommandsReachTheMesh)
{
    addVertex(state.mesh, 0, 0, 0, 0);
    addVertex(state.mesh, 1, 0, 0, 0);
    addVertex(state.mesh, 0, 1, 0, 0);
    addVertex(state.mesh, 5, 5, 5, 1);
    addTriangle(state.mesh, 0, 1, 2);
    addTriangle(state.mesh, 2, 1, 0);

    runCommand(state, cmdDeleteVertex);
    EXPECT_EQ(state.mesh.vertices.size(), 3u);

    runCommand(state, cmdTriangleSelectionUp);
    ASSERT_EQ(firstSelectedTriangle(state.mesh), 0);
    runCommand(state, cmdTriangleSelectionUp);
    EXPECT_EQ(firstSelectedTriangle(state.mesh), 1);
    runCommand(state, cmdTriangleSelectionDown);
    EXPECT_EQ(firstSelectedTriangle(state.mesh), 0);

    runCommand(state, cmdFlipTriangle);
    EXPECT_NE(state.mesh.triangles[0].vertexIndex, (std::array<int32_t, 3>{0, 1, 2}));

    runCommand(state, cmdDeleteTriangle);
    EXPECT_EQ(state.mesh.triangles.size(), 1u);
}

TEST_F(Shell, AboutShowsTheInformationBoxWithTwoLines)
{
    runCommand(state, cmdAbout);
    ASSERT_EQ(windows.messages.size(), 1u);
    EXPECT_EQ(windows.messages[0].title, "Information");
    const std::string& text = windows.messages[0].text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("http"), std::string::npos);
}

TEST_F(Shell, QuitEndsWithoutShutDownAndUnknownIdsDoNothing)
{
    addVertex(state.mesh, 1, 2, 3, 0);
    resetDocumentHistory(state);
    runCommand(state, -1);
    runCommand(state, 1000);
    EXPECT_EQ(state.mesh.vertices.size(), 1u);
    EXPECT_FALSE(state.quitRequested);
    EXPECT_TRUE(windows.messages.empty());
    runCommand(state, cmdQuit);
    EXPECT_TRUE(state.quitRequested);
}

TEST_F(Shell, RightClickClearsTheSelectionOnlyInViews)
{
    addVertex(state.mesh, 0, 0, 0, 1);
    addVertex(state.mesh, 1, 1, 1, 1);
    dispatch(eventRightDown, windowMain, mkRButton);
    EXPECT_EQ(countSelectedVertices(state.mesh), 2);
    dispatch(eventRightDown, windowNone, mkRButton);
    EXPECT_EQ(countSelectedVertices(state.mesh), 2);
    dispatch(eventRightDown, window3D, mkRButton);
    EXPECT_EQ(countSelectedVertices(state.mesh), 0);
}

TEST_F(Shell, CommandEventsRunTheirCommandFromAnyWindow)
{
    dispatch(eventCommand, windowMain, cmdZoomIn);
    EXPECT_EQ(state.camera.zoom, 0.25f);
    dispatch(eventCommand, windowMain, cmdToolMoveVertex);
    EXPECT_EQ(state.toolMode, MoveVertex);
}

TEST_F(Shell, ArrowKeysPanTheViewTheyArriveIn)
{
    dispatch(eventKeyDown, windowFront, vkLeft);
    EXPECT_EQ(state.camera.panX, 0.125f);
    dispatch(eventKeyDown, windowSide, vkRight);
    EXPECT_EQ(state.camera.panZ, -0.125f);
    dispatch(eventKeyDown, window3D, vkUp);
    EXPECT_EQ(state.camera.orbitX, 1.0f);
    // The main window and other keys change nothing.
    const ViewCamera before = state.camera;
    dispatch(eventKeyDown, windowMain, vkLeft);
    dispatch(eventKeyDown, windowFront, vkReturn);
    EXPECT_EQ(state.camera.panX, before.panX);
    EXPECT_EQ(state.camera.panY, before.panY);
    EXPECT_EQ(state.camera.orbitY, before.orbitY);
}

TEST_F(Shell, EventsOfOtherKindsAreIgnored)
{
    addVertex(state.mesh, 0, 0, 0, 1);
    dispatch(eventClose, windowFront);
    dispatch(eventControl, windowFront, cmdZoomIn);
    dispatch(eventMouseMove, windowFront, mkLButton);
    EXPECT_EQ(countSelectedVertices(state.mesh), 1);
    EXPECT_EQ(state.camera.zoom, 0.0f);
}
