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
        for (int32_t n = windowFront; n <= window3D; ++n)
            fake.openWindow(n, WindowSpec{.width = 200, .height = 200, .title = {}});
    }

    // A left click of the current tool on a view's model point (a, b), 100 pixels a unit.
    void click(ViewKind view, float a, float b)
    {
        const float down = view == ViewKind::Top ? b : -b;
        fake.cursor[windowOfView(view)] = {static_cast<int32_t>(std::lround((a + 1) * 100)),
                                           static_cast<int32_t>(std::lround((down + 1) * 100))};
        fake.push(eventLeftDown, windowOfView(view), mkLButton);
        WindowEvent event;
        fake.fetchEvent(event);
        state.event = event, state.eventKind = event.kind, state.eventWindow = event.window;
        state.shiftHeld = fake.shift ? 1 : 0;
        dispatchEvent(state);
    }

    // Triangles as "abc" corner lists with the number of corners still to come.
    std::string triangles() const
    {
        std::string out;
        for (const Triangle& t : state.mesh.triangles)
            out += std::to_string(t.vertexIndex[0]) + std::to_string(t.vertexIndex[1]) + std::to_string(t.vertexIndex[2]) + ' ';
        return out + "pending " + std::to_string(state.mesh.pendingCorner);
    }

    std::string selected() const
    {
        std::string out;
        for (const Vertex& v : state.mesh.vertices) out += std::to_string(v.selected);
        return out;
    }

    // When the modal window first waits: types the texts given (empty ones left) and sends the answer.
    void answer(int32_t number, std::vector<std::string> texts, WindowEvent reply)
    {
        fake.onIdle = [number, texts, reply, done = false](FakeWindowLayer& f) mutable {
            if (done || !f.isWindowOpen(number)) return;
            done = true;
            for (size_t i = 0; i < texts.size(); ++i)
                if (!texts[i].empty()) f.setGadgetText(number, static_cast<int32_t>(i) + 1, texts[i]);
            f.events.push_back(reply);
        };
    }

    std::string uv(size_t triangle) const
    {
        const Triangle& t = state.mesh.triangles[triangle];
        std::string out;
        for (size_t k = 0; k < 3; ++k) out += formatDecimal(t.u[k]) + ',' + formatDecimal(t.v[k]) + ' ';
        return out;
    }
};

const WindowEvent ok{eventControl, windowPosition, 0, 7, notifyClicked};

}  // namespace

TEST_F(Modelling, TheTriangleToolTakesOnlyVerticesClickedAndNeverOneTwice)
{
    for (const auto& [x, y] : {std::pair{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 0.5f}, {0.0f, 0.5f}})
        addVertex(state.mesh, x, y, 0.0f);
    setToolMode(state, CreateTriangle);
    click(ViewKind::Front, -0.5f, -0.5f);
    EXPECT_EQ(triangles(), "pending 0") << "empty space adds nothing";
    EXPECT_EQ(state.mesh.vertices.size(), 4u);
    click(ViewKind::Front, 0.0f, 0.0f);
    click(ViewKind::Front, 0.01f, 0.0f);
    EXPECT_EQ(triangles(), "000 pending 1") << "the same vertex again is no second corner";
    click(ViewKind::Front, 0.5f, 0.0f);
    click(ViewKind::Front, 0.5f, 0.5f);
    EXPECT_EQ(triangles(), "012 pending 0");
    EXPECT_EQ(selected(), "0010");
    click(ViewKind::Front, 0.5f, 0.5f);  // the selected last corner begins the next one
    click(ViewKind::Front, 0.0f, 0.5f);
    click(ViewKind::Front, 0.5f, 0.5f);
    EXPECT_EQ(triangles(), "012 230 pending 2") << "a corner already given is not taken";
    click(ViewKind::Front, 0.0f, 0.0f);
    EXPECT_EQ(triangles(), "012 230 pending 0");
    fake.push(eventLeftDown, window3D, mkLButton);
    click(ViewKind::Front, 2.0f, 2.0f);
    EXPECT_EQ(triangles(), "012 230 pending 0");
}

TEST_F(Modelling, ClicksOnStackedVerticesReachEachInListOrder)
{
    for (float z : {0.0f, 1.0f, 2.0f}) addVertex(state.mesh, 0.25f, 0.25f, z);
    addVertex(state.mesh, 0.27f, 0.25f, 0.0f);  // two pixels off: not in the stack
    setToolMode(state, SelectVertex);
    std::vector<std::string> seen;
    for (int i = 0; i < 5; ++i) click(ViewKind::Front, 0.25f, 0.25f), seen.push_back(selected());
    EXPECT_EQ(seen, (std::vector<std::string>{"1000", "0100", "0010", "0000", "1000"}));
    fake.shift = true;
    seen.clear();
    for (int i = 0; i < 3; ++i) click(ViewKind::Front, 0.25f, 0.25f), seen.push_back(selected());
    EXPECT_EQ(seen, (std::vector<std::string>{"1100", "1110", "0000"})) << "Shift adds the next; past the last a miss";
    fake.shift = false;
    click(ViewKind::Side, 1.0f, 0.25f);
    EXPECT_EQ(selected(), "0100") << "in Side only one is there";

    // The create-triangle tool: a second click on the spot moves the corner just given on.
    state.mesh = Mesh{};
    for (float z : {0.0f, 1.0f})
        for (const auto& [x, y] : {std::pair{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 0.5f}}) addVertex(state.mesh, x, y, z);
    setToolMode(state, CreateTriangle);
    for (const auto& [x, y] : {std::pair{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 0.5f}})
        click(ViewKind::Front, x, y), click(ViewKind::Front, x, y);
    EXPECT_EQ(triangles(), "345 pending 0");
    EXPECT_EQ(selected(), "000001");
    click(ViewKind::Front, 0.5f, 0.5f);
    EXPECT_EQ(triangles(), "342 pending 0") << "after the last the first again";
    click(ViewKind::Front, 0.0f, 0.0f);
    click(ViewKind::Front, 0.0f, 0.0f);
    click(ViewKind::Front, 0.0f, 0.0f);
    EXPECT_EQ(triangles(), "342 000 pending 1");
    click(ViewKind::Front, 0.5f, 0.0f);
    click(ViewKind::Front, 0.0f, 0.0f);
    EXPECT_EQ(triangles(), "342 013 pending 0") << "not the corner given first, the one stacked with it";
}

TEST_F(Modelling, ThePositionWindowMovesTheSelectionToTheTypedPlaceInOneStep)
{
    addVertex(state.mesh, 0.25f, 0.5f, 0.0f, 1);
    answer(windowPosition, {"", "", "1.5"}, ok);
    std::string seen;
    const auto shown = fake.onIdle;
    fake.onIdle = [&](FakeWindowLayer& f) {
        if (f.isWindowOpen(windowPosition) && seen.empty())
            for (int32_t id = 1; id <= 8; ++id) seen += f.gadgetText(windowPosition, id) + '|';
        shown(f);
    };
    resetDocumentHistory(state);
    runCommand(state, cmdPosition);
    EXPECT_EQ(seen, "0.25|0.5|0|x|y|z|OK|Cancel|");
    EXPECT_EQ(fake.windows.count(windowPosition), 0u);
    EXPECT_EQ(vertexZ(state.mesh, 0), 1.5f);
    EXPECT_EQ(std::pair(vertexX(state.mesh, 0), vertexY(state.mesh, 0)), std::pair(0.25f, 0.5f));
    recordChange(state);
    undoCommand(state);
    EXPECT_EQ(vertexZ(state.mesh, 0), 0.0f) << "one undo step";
    EXPECT_FALSE(canUndo(state.history));

    addVertex(state.mesh, 1.25f, 2.5f, 3.0f, 1);
    addVertex(state.mesh, 9.0f, 9.0f, 9.0f);
    answer(windowPosition, {"-1", "", "1e999"}, WindowEvent{eventKeyDown, windowPosition, vkReturn});
    runCommand(state, cmdPosition);
    for (const auto& [vertex, want] : {std::pair{0, Vec3{-1.5f, 0.5f, 0.0f}}, {1, {-0.5f, 2.5f, 3.0f}}, {2, {9, 9, 9}}}) {
        const Vec3 at = vertexPosition(state.mesh, vertex);
        EXPECT_EQ(std::tuple(at.x, at.y, at.z), std::tuple(want.x, want.y, want.z)) << vertex << ": shape kept";
    }
    answer(windowPosition, {"5", "5", "5"}, WindowEvent{eventControl, windowPosition, 0, 8, notifyClicked});
    runCommand(state, cmdPosition);
    EXPECT_EQ(vertexX(state.mesh, 0), -1.5f) << "Cancel moves nothing";
    deselectAllVertices(state.mesh);
    runCommand(state, cmdPosition);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Select one or more vertices first (select vertex, key 3).");
}

TEST_F(Modelling, ProjectionStretchesTheSelectedTrianglesOverThePictureAsEachViewShowsThem)
{
    addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 2, 0, 1, 1), addVertex(state.mesh, 2, 1, 3, 1);
    addVertex(state.mesh, 6, 5, 5);
    addTriangle(state.mesh, 0, 1, 2), addTriangle(state.mesh, 0, 1, 3, {7, 7, 7}, {7, 7, 7});
    runCommand(state, cmdProjectFront);
    EXPECT_EQ(uv(0), "0.000000,1.000000 1.000000,1.000000 1.000000,0.000000 ");
    EXPECT_EQ(uv(1), "7.000000,7.000000 7.000000,7.000000 7.000000,7.000000 ") << "not all its corners selected";
    runCommand(state, cmdProjectSide);
    EXPECT_EQ(uv(0), "0.000000,1.000000 0.333333,1.000000 1.000000,0.000000 ");
    runCommand(state, cmdProjectTop);
    EXPECT_EQ(uv(0), "0.000000,0.000000 1.000000,0.333333 1.000000,1.000000 ");

    deselectAllVertices(state.mesh);
    state.mesh.triangles[1].selected = 1;
    runCommand(state, cmdProjectTop);
    EXPECT_EQ(uv(1), "0.000000,0.000000 0.333333,0.200000 1.000000,1.000000 ") << "the selected triangle alone";
    state.mesh.vertices[3].x = NAN;
    runCommand(state, cmdProjectFront);
    EXPECT_EQ(uv(1), "0.000000,0.500000 1.000000,0.500000 0.500000,0.500000 ") << "no height; a NaN corner";

    deselectAllTriangles(state.mesh);
    addCorner(state.mesh, 0);
    for (Vertex& v : state.mesh.vertices) v.selected = 1;
    EXPECT_EQ(trianglesToProject(state.mesh), (std::vector<int32_t>{0, 1})) << "not the one under construction";
    deselectAllVertices(state.mesh);
    const std::vector<std::byte> before = writeMeshBytes(state.mesh);
    for (const int32_t command : {cmdProjectSide, cmdFlipTriangle, cmdDeleteTriangle, cmdSetTextureCoords})
        runCommand(state, command);
    EXPECT_EQ(writeMeshBytes(state.mesh), before);
    ASSERT_EQ(fake.messages.size(), 4u);
    EXPECT_EQ(fake.messages[0].text, "Select the vertices of the triangles to texture first, or one triangle.");
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(fake.messages[i].text, "Select a triangle first (triangleselection up or down, Trianglelist).");
}

TEST_F(Modelling, ToolWindowsOpenBesideTheMainWindowTakeCtrlKeysAndCloseOnOpen)
{
    addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 1, 0, 0), addVertex(state.mesh, 0, 1, 0);
    addTriangle(state.mesh, 0, 1, 2).selected = 1;
    fake.images[imageTexture] = {64, 32};
    runCommand(state, cmdSetTextureCoords);
    runCommand(state, cmdTriangleList);
    WindowPlacement scalePlace = WindowPlacement::At;
    fake.onIdle = [&scalePlace](FakeWindowLayer& f) {
        if (f.isWindowOpen(windowScale)) scalePlace = f.windows[windowScale].spec.placement, f.push(eventKeyDown, windowScale, vkEscape);
    };
    runCommand(state, cmdScale);
    for (const WindowPlacement place : {fake.windows[windowTexture].spec.placement,
                                        fake.windows[windowTriangles].spec.placement, scalePlace})
        EXPECT_EQ(place, WindowPlacement::BesideMain);

    const std::string file = makeTestFolder("modelling") + "/keys.pq";
    std::filesystem::remove(file);
    state.currentFileName = file;
    EXPECT_FALSE(runToolWindowKey(state, {eventKeyDown, windowTexture, 'S', 0, 0, 0})) << "a plain key is typing";
    EXPECT_FALSE(runToolWindowKey(state, {eventKeyDown, windowTexture, 'A', 0, 0, mkControl}));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(runToolWindowKey(state, {eventKeyDown, windowTexture, 'S', 0, 0, mkControl}));
    EXPECT_TRUE(std::filesystem::exists(file));

    // Open replaces the mesh the windows were showing: they close without a word.
    state.mesh.vertices[0].marked = 1;
    fake.fileAnswers.push_back(file);
    runCommand(state, cmdOpen);
    EXPECT_FALSE(fake.isWindowOpen(windowTexture) || fake.isWindowOpen(windowTriangles));
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(state.mesh.vertices[0].marked, 0);
}
