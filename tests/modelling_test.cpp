// Modelling by hand against the scripted window layer: the create-triangle
// tool, stacked vertices, the Position window, projected texture coordinates,
// the selection messages and the tool windows' place and keys.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace {

struct Modelling : ::testing::Test {
    FakeWindowLayer fake;
    AppState state;

    void SetUp() override
    {
        fake.attach(state);
        state.prefs.language = 1;
        for (int32_t n = windowFront; n <= window3D; ++n) fake.openWindow(n, {.width = 200, .height = 200, .title = {}});
    }

    // A left click of the current tool on Front's model point (x, y), 100 pixels a unit.
    void click(float x, float y)
    {
        fake.cursor[windowFront] = {static_cast<int32_t>(std::lround((x + 1) * 100)),
                                    static_cast<int32_t>(std::lround((1 - y) * 100))};
        fake.active = windowFront;
        state.event = WindowEvent{eventLeftDown, windowFront, mkLButton};
        state.eventKind = eventLeftDown, state.eventWindow = windowFront, state.shiftHeld = fake.shift;
        dispatchEvent(state);
    }

    // Triangles as their corners, and how many corners the last one still lacks.
    std::string triangles() const
    {
        std::string out;
        for (const Triangle& t : state.mesh.triangles)
            for (int32_t k : {0, 1, 2, -1}) out += k < 0 ? " " : std::to_string(t.vertexIndex[static_cast<size_t>(k)]);
        return out + "pending " + std::to_string(state.mesh.pendingCorner);
    }

    std::string selected() const
    {
        std::string out;
        for (const Vertex& v : state.mesh.vertices) out += std::to_string(v.selected);
        return out;
    }

    // Once the modal window waits, its three fields get the texts given; then the reply comes.
    void answer(std::array<std::string, 3> texts, WindowEvent reply)
    {
        fake.onIdle = [texts, reply](FakeWindowLayer& f) {
            if (!f.isWindowOpen(reply.window) || !f.events.empty()) return;
            for (int32_t i = 0; i < 3; ++i) f.setGadgetText(reply.window, i + 1, texts[static_cast<size_t>(i)]);
            f.events.push_back(reply);
        };
    }

    std::string uv(size_t triangle) const
    {
        const Triangle& t = state.mesh.triangles[triangle];
        std::string out;
        for (size_t k = 0; k < 3; ++k) out += formatDecimal(t.u[k]).substr(0, 4) + ',' + formatDecimal(t.v[k]).substr(0, 4) + ' ';
        return out;
    }
};

}  // namespace

TEST_F(Modelling, TheTriangleToolTakesOnlyVerticesClickedNeverOneTwiceAndStackedOnesInListOrder)
{
    for (const auto& [x, y] : {std::pair{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 0.5f}, {0.0f, 0.5f}}) addVertex(state.mesh, x, y, 0);
    setToolMode(state, CreateTriangle);
    click(-0.5f, -0.5f);
    EXPECT_EQ(triangles(), "pending 0") << "empty space adds nothing";
    click(0.0f, 0.0f);
    click(0.01f, 0.0f);
    EXPECT_EQ(triangles(), "000 pending 1") << "the same vertex again is no second corner";
    click(0.5f, 0.0f);
    click(0.5f, 0.5f);
    EXPECT_EQ(selected(), "0010");
    click(0.5f, 0.5f);  // the selected last corner begins the next one
    click(0.0f, 0.5f);
    click(0.5f, 0.5f);
    EXPECT_EQ(triangles(), "012 230 pending 2") << "a corner already given is not taken";
    click(0.0f, 0.0f);
    EXPECT_EQ(triangles(), "012 230 pending 0");
    EXPECT_EQ(state.mesh.vertices.size(), 4u);

    // Stacked on one spot (gui.box builds a box on such spots, with Shift too).
    state.mesh = Mesh{};
    for (float z : {0.0f, 1.0f, 2.0f}) addVertex(state.mesh, 0.25f, 0.25f, z);
    addVertex(state.mesh, 0.27f, 0.25f, 0.0f);  // two pixels off: not in the stack
    setToolMode(state, SelectVertex);
    std::string seen;
    for (int i = 0; i < 5; ++i) click(0.25f, 0.25f), seen += selected() + ' ';
    EXPECT_EQ(seen, "1000 0100 0010 0000 1000 ") << "after the last, none";

    // A second click on the spot of the corner just given moves it on, unless onto another corner.
    state.mesh = Mesh{};
    for (float x : {0.0f, 0.0f, 0.5f}) addVertex(state.mesh, x, 0.0f, x);
    setToolMode(state, CreateTriangle);
    for (float x : {0.0f, 0.5f, 0.0f, 0.0f}) click(x, 0.0f);
    EXPECT_EQ(triangles(), "021 100 pending 1") << "the corner stays; the click begins a triangle";
}

TEST_F(Modelling, ThePositionWindowMovesTheSelectionToTheTypedPlaceInOneStep)
{
    addVertex(state.mesh, 0.25f, 0.5f, 0.0f, 1);
    answer({"0.25", "0.5", "1.5"}, {eventControl, windowPosition, 0, 7, notifyClicked});  // x and y as shown
    resetDocumentHistory(state);
    runCommand(state, cmdPosition);
    EXPECT_EQ(std::tuple(vertexX(state.mesh, 0), vertexY(state.mesh, 0), vertexZ(state.mesh, 0)), std::tuple(0.25f, 0.5f, 1.5f));
    recordChange(state);
    undoCommand(state);
    EXPECT_EQ(vertexZ(state.mesh, 0), 0.0f) << "one undo step";
    EXPECT_FALSE(canUndo(state.history));

    addVertex(state.mesh, 1.25f, 2.5f, 3.0f, 1);
    answer({"-1", "1", "1e999"}, {eventKeyDown, windowPosition, vkReturn});
    runCommand(state, cmdPosition);
    EXPECT_EQ(std::tuple(vertexX(state.mesh, 0), vertexY(state.mesh, 1), vertexZ(state.mesh, 1)), std::tuple(-1.5f, 2.0f, 3.0f))
        << "the shape kept; a value past the float range moves nothing";
    answer({"5", "5", "5"}, {eventKeyDown, windowPosition, vkEscape});
    runCommand(state, cmdPosition);
    EXPECT_EQ(vertexX(state.mesh, 0), -1.5f) << "Escape moves nothing";
    deselectAllVertices(state.mesh);
    runCommand(state, cmdPosition);
    EXPECT_EQ(fake.messages.at(0).text, "Select one or more vertices first (select vertex, key 3).");
}

TEST_F(Modelling, ProjectionStretchesTheSelectedTrianglesOverThePictureAsEachViewShowsThem)
{
    addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 2, 0, 1, 1), addVertex(state.mesh, 2, 1, 3, 1);
    addVertex(state.mesh, 6, 5, 5);
    addTriangle(state.mesh, 0, 1, 2), addTriangle(state.mesh, 0, 1, 3, {7, 7, 7}, {7, 7, 7});
    runCommand(state, cmdProjectFront);
    EXPECT_EQ(uv(0), "0.00,1.00 1.00,1.00 1.00,0.00 ");
    EXPECT_EQ(uv(1), "7.00,7.00 7.00,7.00 7.00,7.00 ") << "not all its corners selected";
    runCommand(state, cmdProjectSide);
    EXPECT_EQ(uv(0), "0.00,1.00 0.33,1.00 1.00,0.00 ");
    runCommand(state, cmdProjectTop);
    EXPECT_EQ(uv(0), "0.00,0.00 1.00,0.33 1.00,1.00 ");

    deselectAllVertices(state.mesh);
    state.mesh.triangles[1].selected = 1;
    runCommand(state, cmdProjectTop);
    EXPECT_EQ(uv(1), "0.00,0.00 0.33,0.20 1.00,1.00 ") << "the selected triangle alone";
    state.mesh.vertices[3].x = NAN;
    runCommand(state, cmdProjectFront);
    EXPECT_EQ(uv(1), "0.00,0.50 1.00,0.50 0.50,0.50 ") << "no height; a NaN corner";

    deselectAllTriangles(state.mesh);
    const std::vector<std::byte> before = writeMeshBytes(state.mesh);
    for (const int32_t command : {cmdProjectSide, cmdFlipTriangle, cmdDeleteTriangle, cmdSetTextureCoords})
        runCommand(state, command);
    EXPECT_EQ(writeMeshBytes(state.mesh), before);
    ASSERT_EQ(fake.messages.size(), 4u);
    EXPECT_EQ(fake.messages[0].text, "Select the vertices of the triangles to texture first, or one triangle.");
    EXPECT_EQ(fake.messages[3].text, "Select a triangle first (triangleselection up or down, Trianglelist).");
}

TEST_F(Modelling, ToolWindowsOpenBesideTheMainWindowTakeCtrlKeysAndCloseOnOpen)
{
    addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 1, 0, 0), addVertex(state.mesh, 0, 1, 0);
    addTriangle(state.mesh, 0, 1, 2).selected = 1;
    fake.images[imageTexture] = {64, 32};
    runCommand(state, cmdSetTextureCoords);
    runCommand(state, cmdTriangleList);
    const std::string file = makeTestFolder("modelling") + "/keys.pq";
    std::filesystem::remove(file);
    state.currentFileName = file;
    WindowPlacement scalePlace = WindowPlacement::At;
    fake.onIdle = [&scalePlace](FakeWindowLayer& f) {
        if (!f.isWindowOpen(windowScale)) return;
        scalePlace = f.windows[windowScale].spec.placement;
        f.pushKey(windowScale, 'S', mkControl).pushKey(windowScale, vkEscape);
    };
    runCommand(state, cmdScale);
    EXPECT_TRUE(std::filesystem::exists(file)) << "Ctrl+S saved from the Scale window";
    for (const WindowPlacement place : {fake.windows[windowTexture].spec.placement, scalePlace})
        EXPECT_EQ(place, WindowPlacement::BesideMain);
    EXPECT_FALSE(runToolWindowKey(state, {eventKeyDown, windowTexture, 'S', 0, 0, 0})) << "typing";

    // Open replaces the mesh the windows were showing: they close without a word.
    state.mesh.vertices[0].marked = 1;
    fake.fileAnswers.push_back(file);
    runCommand(state, cmdOpen);
    EXPECT_FALSE(fake.isWindowOpen(windowTexture) || fake.isWindowOpen(windowTriangles));
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(state.mesh.vertices[0].marked, 0);
}
