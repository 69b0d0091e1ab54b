// The menus, toolbar and texts, the tool selection and the routing of events
// and commands, run against the scripted window layer.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/app.h"
#include "files/files.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

struct Shell : ::testing::Test {
    FakeWindowLayer windows;
    AppState state;
    void SetUp() override { windows.attach(state); }
    void rebuild(int32_t language)
    {
        windows.destroyMenuBar(), windows.destroyToolbar(), state.prefs.language = language, buildMenuAndToolbar(state);
    }
    // Menus as "text=id" ("---" for separators), toolbar as "id" + s(tandard) or i(con) + image ("|" for separators).
    std::string bars() const
    {
        std::string all;
        for (const auto& e : windows.menu) all += e.kind == "separator" ? "---," : e.text + "=" + std::to_string(e.id) + ",";
        for (const auto& e : windows.toolbar)
            all += e.kind == "separator" ? "|," : std::to_string(e.id) + e.kind[0] + std::to_string(e.image) + ",";
        return all;
    }
    void dispatch(int32_t kind, int32_t window, int32_t param = 0)
    {
        state.event = WindowEvent{kind, window, param, 0, 0, 0}, state.eventKind = kind, state.eventWindow = window;
        dispatchEvent(state);
    }
};

}  // namespace

TEST_F(Shell, MenusToolbarAndTooltipsInEachLanguage)
{
    state.programDirectory = "/opt/pq/";
    for (const char* icon : {"toolbar_15", "toolbar_13", "toolbar_09", "toolbar_19"})
        windows.imageFiles["/opt/pq/Images/" + std::string(icon) + ".ico"] = {16, 16};
    rebuild(0);
    EXPECT_EQ(bars(), "Datei=-1,Neu=0,Öffnen...=1,Speichern=2,Speichern unter...=3,Einfügen...=4,---,ASC einfügen=5,"
                      "Importieren...=28,Exportieren...=29,---,Einstellungen=6,---,Beenden=7,Bearbeiten=-1,Rückgängig=26,"
                      "Wiederherstellen=27,Alles zeigen=30,---,Position festlegen...=40,---,Textur aus Front projizieren=41,"
                      "Textur aus Side projizieren=42,Textur aus Top projizieren=43,---,Proportionen beibehalten=54,"
                      "Netz=-1,Alles auswählen=70,Nichts auswählen=71,Auswahl umkehren=72,---,Duplizieren=73,Spiegeln...=74,"
                      "Extrudieren...=75,Verschweißen...=76,---,Quader einfügen...=77,Ebene einfügen...=78,"
                      "Zylinder einfügen...=79,Kegel einfügen...=80,Kugel einfügen...=81,Hilfe=-1,Über=8,0s6,1s7,2s8,|,3i3,|,"
                      "9s5,10i10,11i11,12i12,13i13,14i14,|,15i15,|,16i16,17i17,|,18i18,19i19,20i20,21s5,22i22,23i23,24i24,"
                      "25i25,|,8s11,");
    EXPECT_EQ(windows.tooltips.size(), 22u);
    EXPECT_EQ(std::pair(windows.tooltips[cmdScale], windows.tooltips[cmdRotate]), std::pair(std::string("redimensionieren"), std::string("rotieren")));
    // Icons come from the program folder into their commands' slots; a missing one leaves the button bare.
    // A drawn icon missing for a command with a standard image gives that image.
    EXPECT_EQ(windows.images, (std::map<int32_t, std::pair<int32_t, int32_t>>{{cmdSaveAs, {16, 16}},
                                  {cmdScale, {16, 16}}, {cmdTriangleList, {16, 16}}, {cmdFlipTriangle, {16, 16}}}));
    for (const auto& [language, text] : {std::pair{2, "Tout afficher"}, std::pair{7, "Alles zeigen"}}) {
        rebuild(language);
        EXPECT_EQ(windows.menu[17].text, text);
        EXPECT_EQ(windows.menu[25].text, textOf(language, Text::KeepProportions));
    }
    EXPECT_EQ(windows.tooltips[cmdAutoTextureCoords], "automatische Texturekoordinatensetzung");
    EXPECT_TRUE(uiTextOf(state.uiText, 1, uiMessageCount).empty() && uiTextOf(state.uiText, 1, -1).empty());
    EXPECT_EQ(textOf(9, Text::CannotRead, {"a.pq"}), "Die Datei a.pq kann nicht gelesen werden");
    EXPECT_EQ(textOf(1, Text::NoMemoryToRead, {"a.pq"}), "not enough memory to read a.pq");

    windows.menuBarFails = windows.toolbarFails = true;
    rebuild(0);
    EXPECT_EQ(bars(), "") << "a missing menu bar or toolbar is left out";
}

// Every added text exists in all three languages, with the same placeholders in each.
TEST(Texts, EveryAddedTextInEachLanguageWithTheSamePlaceholders)
{
    const std::initializer_list<std::string_view> arguments{"<1>", "<2>", "<3>", "<4>", "<5>"};
    for (int32_t t = 0; t < static_cast<int32_t>(Text::count); ++t) {
        const std::string english = textOf(1, static_cast<Text>(t), arguments);
        for (int32_t language : {0, 2}) {
            const std::string other = textOf(language, static_cast<Text>(t), arguments);
            EXPECT_NE(other, english) << "text " << t << " in language " << language;
            for (const std::string_view argument : arguments)
                EXPECT_EQ(other.find(argument) == std::string::npos, english.find(argument) == std::string::npos) << t;
            EXPECT_EQ(other.find('%'), std::string::npos) << t;
        }
    }
    EXPECT_EQ(textOf(1, Text::WriteFailed, {"a%2"}), "The file could not be written:\na%2\n%2");
}

TEST_F(Shell, ChoosingAToolChecksOnlyItsButtonAndRebuildingResetsIt)
{
    buildMenuAndToolbar(state);
    const std::array<int32_t, 4> tools{cmdToolCreateVertex, cmdToolMoveVertex, cmdToolSelectVertex, cmdToolCreateTriangle};
    state.mesh.pendingCorner = 2;
    for (const int32_t mode : {MoveVertex, CreateTriangle, SelectVertex, CreateVertex, MoveVertex}) {
        runCommand(state, tools[static_cast<size_t>(mode)]);
        EXPECT_EQ(state.toolMode, mode);
        for (int32_t m = 0; m < 4; ++m) EXPECT_EQ(windows.toolbarChecked[tools[static_cast<size_t>(m)]], m == mode) << mode;
        for (const int32_t tool : tools) EXPECT_TRUE(windows.toolbarEnabled[tool]) << "never greyed";
    }
    EXPECT_EQ(state.mesh.pendingCorner, 2) << "a triangle under construction is kept";
    rebuild(0);
    EXPECT_EQ(state.toolMode, CreateVertex);
    EXPECT_TRUE(windows.toolbarChecked[cmdToolCreateVertex]);
    for (const bool enabled : {false, true}) {
        setSaveEnabled(state, enabled);
        EXPECT_EQ(windows.menuEnabled[cmdSave], enabled);
        EXPECT_EQ(windows.toolbarEnabled[cmdSave], enabled);
        EXPECT_TRUE(windows.menuEnabled[cmdSaveAs] && windows.toolbarEnabled[cmdSaveAs]);
    }
}

TEST_F(Shell, CommandsReachTheMeshCameraAndWindowsAndMergeAscAsksForTheFactor)
{
    addVertex(state.mesh, 0, 0, 0), addVertex(state.mesh, 1, 0, 0), addVertex(state.mesh, 0, 1, 0), addVertex(state.mesh, 5, 5, 5, 1);
    addTriangle(state.mesh, 0, 1, 2), addTriangle(state.mesh, 2, 1, 0);
    resetDocumentHistory(state);
    for (const int32_t unknown : {-1, 1000}) runCommand(state, unknown);
    runCommand(state, cmdDeleteVertex);
    EXPECT_EQ(state.mesh.vertices.size(), 3u);
    for (int i = 0; i < 2; ++i) runCommand(state, cmdTriangleSelectionUp);
    EXPECT_EQ(firstSelectedTriangle(state.mesh), 1);
    runCommand(state, cmdTriangleSelectionDown);
    EXPECT_EQ(firstSelectedTriangle(state.mesh), 0);
    runCommand(state, cmdDeleteTriangle);
    EXPECT_EQ(state.mesh.triangles.size(), 1u);
    for (int i = 0; i < 5; ++i) runCommand(state, cmdZoomOut);
    runCommand(state, cmdZoomIn);
    EXPECT_EQ(state.camera.zoom, -0.5f);
    runCommand(state, cmdFrameAll);
    EXPECT_EQ(state.camera.panX, -0.5f);
    EXPECT_EQ(state.camera.zoom, 0.0f) << "Home sets the 3D zoom back";
    runCommand(state, cmdAbout);
    EXPECT_EQ(windows.messages.at(0).title, "Information");
    windows.choiceAnswers = {1};  // discard the changes
    runCommand(state, cmdNew);
    EXPECT_TRUE(state.mesh.vertices.empty() && state.mesh.triangles.empty());
    runCommand(state, cmdQuit);
    EXPECT_TRUE(state.quitRequested);

    // A cancelled factor changes nothing.
    const std::string file = PQ_TEST_DATA_DIR "/asc/TESTI.ASC";
    std::ostringstream text;
    Mesh expected;
    importAscText(expected, (text << std::ifstream(file, std::ios::binary).rdbuf(), text.str()), 1);
    windows.fileAnswers = {file, file};
    windows.promptAnswers = {"", "1"};
    runCommand(state, cmdMergeAsc);
    EXPECT_TRUE(state.mesh.vertices.empty());
    runCommand(state, cmdMergeAsc);
    EXPECT_EQ(writeMeshBytes(state.mesh), writeMeshBytes(expected));
    EXPECT_GT(expected.triangles.size(), 0u);
}

TEST_F(Shell, EventsAreRoutedByKindAndWindow)
{
    addVertex(state.mesh, 0, 0, 0, 1);
    for (const int32_t window : {windowMain, windowNone}) dispatch(eventRightDown, window, mkRButton);
    for (const auto& [kind, window, param] : {std::tuple{eventClose, windowFront, 0}, {eventControl, windowFront, cmdZoomIn},
                                              {eventMouseMove, windowFront, mkLButton}, {eventKeyDown, windowMain, vkLeft},
                                              {eventKeyDown, windowFront, vkReturn}})
        dispatch(kind, window, param);
    EXPECT_EQ(countSelectedVertices(state.mesh), 1);
    EXPECT_EQ(state.camera, ViewCamera{});
    dispatch(eventRightDown, window3D, mkRButton);
    EXPECT_EQ(countSelectedVertices(state.mesh), 0);
    dispatch(eventCommand, windowMain, cmdZoomIn);
    dispatch(eventKeyDown, windowTop, vkUp);
    dispatch(eventKeyDown, window3D, vkUp);
    EXPECT_EQ(state.camera, (ViewCamera{.panZ = 0.125f, .orbitX = 1, .zoom = 0.25f}));
}
