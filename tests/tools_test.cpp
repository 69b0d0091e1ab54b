// The mouse tools in the Front, Side and Top views over the scripted window layer: the active
// view, creating, picking with and without Shift, and the two drags.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

struct Tools : ::testing::Test {
    FakeWindowLayer fake;
    AppState state;

    void SetUp() override
    {
        fake.attach(state);
        WindowSpec view;
        view.width = view.height = 200;
        for (int32_t n = windowFront; n <= window3D; ++n) fake.openWindow(n, view);
    }

    // Puts the cursor over a view's model point (a, b), 100 pixels a unit, and makes that view active.
    void pointAt(ViewKind view, float a, float b)
    {
        const float down = view == ViewKind::Top ? b : -b;  // Top's second coordinate grows downwards
        fake.active = windowOfView(view);
        fake.cursor[fake.active] = {static_cast<int32_t>(std::lround((a + 1) * 100)),
                                    static_cast<int32_t>(std::lround((down + 1) * 100))};
    }

    std::string selection() const
    {
        std::string out;
        for (const Vertex& v : state.mesh.vertices) out += std::to_string(v.selected);
        return out;
    }

    void expectVertex(size_t i, float x, float y, float z)
    {
        const Vec3 v = vertexPosition(state.mesh, static_cast<int32_t>(i));
        EXPECT_LT(std::fabs(v.x - x) + std::fabs(v.y - y) + std::fabs(v.z - z), 3e-5f) << i << ": " << v.x << ' ' << v.y << ' ' << v.z;
    }
};

}  // namespace

TEST_F(Tools, CreateAndMoveVertexPutTheSnappedCursorInTheActiveViewsCoordinates)
{
    for (int32_t other : {window3D, windowMain, windowTexture, windowNone}) {
        fake.active = other;
        createVertexAt(state);
    }
    pointAt(ViewKind::Side, 1.0f, 0.0f);  // Side shows (z, y)
    createVertexAt(state);
    state.prefs.snapGrid = 0.25f;
    pointAt(ViewKind::Top, -0.4f, 0.3f);  // Top shows (x, z)
    createVertexAt(state);
    EXPECT_EQ(std::pair(selection(), fake.sleptMs), std::pair(std::string("00"), 60)) << "each click pauses 10 ms";
    expectVertex(0, 0.0f, 0.0f, 1.0f);
    expectVertex(1, -0.5f, 0.0f, 0.25f);
    state.mesh.vertices[0].selected = 1;
    pointAt(ViewKind::Front, 0.41f, 0.14f);
    dragSelectedVertex(state);
    fake.active = window3D;
    dragSelectedVertex(state);
    dragSelectedVertices(state);
    expectVertex(0, 0.5f, 0.25f, 1.0f);
    expectVertex(1, -0.5f, 0.0f, 0.25f);
}

TEST_F(Tools, PickTakesTheNearestUnselectedVertexWithinReachAndShiftCollects)
{
    addVertex(state.mesh, 0.05f, 0.0f, 0.0f);
    addVertex(state.mesh, 0.08f, 0.0f, 0.5f);  // same place as the third in Side
    addVertex(state.mesh, 0.07f, 0.0f, 0.5f);
    pointAt(ViewKind::Front, 0.06f, 0.0f);  // 1 pixel from the first and the third
    EXPECT_EQ(pickVertexAt(state), 0);
    EXPECT_EQ(pickVertexAt(state), 2) << "the selected one is skipped; the other as near wins";
    EXPECT_EQ(selection(), "001") << "a plain click keeps only the hit";
    pointAt(ViewKind::Front, 0.0f, 0.0f);
    state.camera.orthoZoom = 2.0f;  // the first is 10 pixels away: out of reach
    EXPECT_EQ(pickVertexAt(state), -1);
    EXPECT_EQ(selection(), "000");
    state.camera.orthoZoom = 1.0f;  // 5 pixels: within 6
    EXPECT_EQ(pickVertexAt(state), 0);
    state.shiftHeld = 1;
    pointAt(ViewKind::Side, 0.5f, 0.0f);
    EXPECT_EQ(extendSelectionAt(state), 1);
    EXPECT_EQ(extendSelectionAt(state), 2);
    EXPECT_EQ(extendSelectionAt(state), -1) << "painting a miss deselects nothing";
    EXPECT_EQ(selection(), "111");
    EXPECT_EQ(pickVertexAt(state), -1) << "with Shift an already selected vertex is a miss";
    EXPECT_EQ(selection(), "000");
    pointAt(ViewKind::Front, 0.05f, 0.0f);
    EXPECT_EQ(extendSelectionAt(state), 0);
    pickVertexAt(state);
    EXPECT_EQ(selection(), "101");
    fake.active = window3D;
    EXPECT_EQ(extendSelectionAt(state), -1);
    EXPECT_EQ(pickVertexAt(state), -1);
    EXPECT_EQ(selection(), "000") << "outside the views a click clears";
}

TEST_F(Tools, GroupDragMovesByTheCursorMotionSinceTheLastEventInItsView)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.5f, 1);
    addVertex(state.mesh, 0.2f, 0.1f, 0.0f, 1);
    addVertex(state.mesh, 0.9f, 0.9f, 0.9f);
    pointAt(ViewKind::Front, -0.5f, 0.0f);
    beginDragAt(state);
    pointAt(ViewKind::Front, -0.4f, 0.0f);
    dragSelectedVertices(state);
    dragSelectedVertices(state);  // no motion since: no move
    expectVertex(0, 0.1f, 0.0f, 0.5f);
    pointAt(ViewKind::Front, -0.3f, -0.25f);
    dragSelectedVertices(state);
    expectVertex(0, 0.2f, -0.25f, 0.5f);
    expectVertex(1, 0.4f, -0.15f, 0.0f);
    applyArrowKey(state.camera, windowFront, vkLeft);  // a pan between events is no motion
    dragSelectedVertices(state);
    pointAt(ViewKind::Top, -0.8f, -0.8f);  // in Top without a click: this event takes the reference
    dragSelectedVertices(state);
    pointAt(ViewKind::Top, -0.7f, -0.6f);
    dragSelectedVertices(state);
    expectVertex(0, 0.3f, -0.25f, 0.7f);
    pointAt(ViewKind::Top, 0.5f, 0.5f);  // a new click elsewhere is a new start
    beginDragAt(state);
    dragSelectedVertices(state);
    expectVertex(1, 0.5f, -0.15f, 0.2f);
    expectVertex(2, 0.9f, 0.9f, 0.9f);
}

TEST_F(Tools, GroupDragOnAGridMovesInWholeStepsAndLosesNothing)
{
    const float inf = std::numeric_limits<float>::infinity();
    // Events of 0.1 to the right; without a usable grid every one moves.
    const std::pair<float, std::vector<float>> cases[] = {
        {0.5f, {0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1, 1, 1}},
        {inf, {0.1f, 0.2f, 0.3f}}, {std::nanf(""), {0.1f}}, {-0.5f, {0.1f}}};
    for (const auto& [grid, moved] : cases) {
        state.mesh = Mesh{};
        state.prefs.snapGrid = grid;
        addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
        addVertex(state.mesh, 0.25f, 0.0f, 0.0f, 1);
        pointAt(ViewKind::Front, 0.0f, 0.0f);
        beginDragAt(state);
        for (size_t i = 0; i < moved.size(); ++i) {
            fake.cursor[windowFront].x += 10;
            dragSelectedVertices(state);
            expectVertex(1, 0.25f + moved[i], 0.0f, 0.0f);
        }
        if (grid != 0.5f) continue;
        for (int32_t i = 0; i < 8; ++i) {
            fake.cursor[windowFront].x -= 10;
            dragSelectedVertices(state);
        }
        expectVertex(1, 0.75f, 0.0f, 0.0f);  // the 0.2 left over counts against the 0.8 back: one step
    }
    pointAt(ViewKind::Front, -0.9f, 0.0f);
    beginDragAt(state);
    state.prefs.snapGrid = 0.5f;
    pointAt(ViewKind::Front, 0.4f, -0.7f);  // 1.3 right, 0.7 down in one event
    dragSelectedVertices(state);
    expectVertex(0, 1.1f, -0.5f, 0.0f);
}
