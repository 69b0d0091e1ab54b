// The mouse tools in the Front, Side and Top views, driven through the
// scripted window layer: the active view, cursor-to-model, hit test, Shift
// rules and the two drags.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

constexpr int32_t viewSize = 200;  // one pixel is 0.01 model units

class Tools : public ::testing::Test {
protected:
    FakeWindowLayer fake;
    AppState state;

    void SetUp() override
    {
        fake.attach(state);
        for (int32_t n = windowFront; n <= window3D; ++n) {
            WindowSpec view;
            view.style = WindowStyle::View;
            view.width = viewSize;
            view.height = viewSize;
            fake.openWindow(n, view);
        }
    }

    // Puts the cursor over a view's model point (a, b) and makes that view active.
    void pointAt(ViewKind view, float a, float b)
    {
        const int32_t window = windowOfView(view);
        const float down = view == ViewKind::Top ? b : -b;  // Top's second coordinate grows downwards
        fake.cursor[window] = {static_cast<int32_t>(std::lround((a + 1.0f) * viewSize / 2)),
                               static_cast<int32_t>(std::lround((down + 1.0f) * viewSize / 2))};
        fake.active = window;
    }

    std::vector<int32_t> selection() const
    {
        std::vector<int32_t> out;
        for (size_t i = 0; i < state.mesh.vertices.size(); ++i)
            if (state.mesh.vertices[i].selected == 1) out.push_back(static_cast<int32_t>(i));
        return out;
    }

    void expectVertex(size_t i, float x, float y, float z)
    {
        const Vertex& v = state.mesh.vertices.at(i);
        EXPECT_NEAR(v.x, x, 1e-5) << "vertex " << i;
        EXPECT_NEAR(v.y, y, 1e-5) << "vertex " << i;
        EXPECT_NEAR(v.z, z, 1e-5) << "vertex " << i;
    }
};

}  // namespace

TEST_F(Tools, ActiveViewIsTheActiveOrthographicWindowOnly)
{
    fake.active = windowFront;
    EXPECT_EQ(activeView(state), ViewKind::Front);
    fake.active = windowSide;
    EXPECT_EQ(activeView(state), ViewKind::Side);
    fake.active = windowTop;
    EXPECT_EQ(activeView(state), ViewKind::Top);
    for (int32_t other : {window3D, windowMain, windowTexture, windowNone}) {
        fake.active = other;
        EXPECT_FALSE(activeView(state).has_value()) << "window " << other;
    }
}

TEST_F(Tools, CreateVertexPlacesTheCursorInTheViewsTwoCoordinates)
{
    pointAt(ViewKind::Front, 0.0f, 0.0f);
    createVertexAt(state);
    fake.cursor[windowSide] = {viewSize, viewSize / 2};  // right edge of Side
    fake.active = windowSide;
    createVertexAt(state);
    pointAt(ViewKind::Top, 0.5f, -0.3f);
    createVertexAt(state);
    ASSERT_EQ(state.mesh.vertices.size(), 3u);
    expectVertex(0, 0.0f, 0.0f, 0.0f);
    expectVertex(1, 0.0f, 0.0f, 1.0f);
    expectVertex(2, 0.5f, 0.0f, -0.3f);
    EXPECT_EQ(state.mesh.vertices[2].selected, 0);
    EXPECT_EQ(fake.sleptMs, 30) << "each click pauses 10 ms";
}

TEST_F(Tools, CreateVertexSnapsToTheNearestGridLineOnBothSidesOfZero)
{
    state.prefs.snapGrid = 0.25f;
    pointAt(ViewKind::Front, 0.3f, -0.3f);
    createVertexAt(state);
    pointAt(ViewKind::Front, -0.4f, 0.4f);
    createVertexAt(state);
    expectVertex(0, 0.25f, -0.25f, 0.0f);
    expectVertex(1, -0.5f, 0.5f, 0.0f);
}

TEST_F(Tools, CreateVertexFollowsThePanAndTwoClicksMakeTwoVertices)
{
    state.camera.panX = 0.125f;
    pointAt(ViewKind::Front, 0.5f, 0.0f);
    createVertexAt(state);
    createVertexAt(state);
    ASSERT_EQ(state.mesh.vertices.size(), 2u);
    expectVertex(0, 0.375f, 0.0f, 0.0f);
    expectVertex(1, 0.375f, 0.0f, 0.0f);
}

TEST_F(Tools, CreateVertexOutsideTheOrthographicViewsCreatesNothingButStillPauses)
{
    for (int32_t window : {window3D, windowMain, windowNone}) {
        fake.active = window;
        createVertexAt(state);
    }
    EXPECT_TRUE(state.mesh.vertices.empty());
    EXPECT_EQ(fake.sleptMs, 30);
}

TEST_F(Tools, PickTakesTheFirstUnselectedVertexInListOrderNotTheNearest)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f);
    addVertex(state.mesh, 0.01f, 0.0f, 0.0f);
    pointAt(ViewKind::Front, 0.01f, 0.0f);
    EXPECT_EQ(pickVertexAt(state), 0);
    EXPECT_EQ(selection(), std::vector<int32_t>{0});
    // Now the first is selected and is skipped: the second under the cursor wins.
    EXPECT_EQ(pickVertexAt(state), 1);
    EXPECT_EQ(selection(), std::vector<int32_t>{1});
}

TEST_F(Tools, PickUsesTheActiveViewsCoordinatesAndTheRadius)
{
    addVertex(state.mesh, 0.9f, 0.5f, -0.5f);
    pointAt(ViewKind::Side, -0.5f, 0.5f);  // Side shows (z, y)
    EXPECT_EQ(pickVertexAt(state), 0);
    deselectAllVertices(state.mesh);
    pointAt(ViewKind::Top, 0.9f, -0.5f);  // Top shows (x, z)
    EXPECT_EQ(pickVertexAt(state), 0);
    deselectAllVertices(state.mesh);
    pointAt(ViewKind::Front, 0.92f, 0.5f);  // 0.02 away: outside 0.0125
    EXPECT_EQ(pickVertexAt(state), -1);
}

TEST_F(Tools, ClickOnTheOnlySelectedVertexDeselectsIt)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    pointAt(ViewKind::Front, 0.0f, 0.0f);
    EXPECT_EQ(pickVertexAt(state), -1);
    EXPECT_TRUE(selection().empty());
    state.shiftHeld = 1;
    state.mesh.vertices[0].selected = 1;
    EXPECT_EQ(pickVertexAt(state), -1) << "with Shift an already selected vertex is a miss too";
    EXPECT_TRUE(selection().empty());
}

TEST_F(Tools, ShiftClicksCollectAndAShiftMissClearsAll)
{
    addVertex(state.mesh, -0.5f, 0.0f, 0.0f);
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f);
    addVertex(state.mesh, 0.5f, 0.0f, 0.0f);
    state.shiftHeld = 1;
    for (float a : {0.5f, -0.5f, 0.0f}) {
        pointAt(ViewKind::Front, a, 0.0f);
        pickVertexAt(state);
    }
    EXPECT_EQ(selection(), (std::vector<int32_t>{0, 1, 2}));
    pointAt(ViewKind::Front, 0.25f, 0.75f);
    EXPECT_EQ(pickVertexAt(state), -1);
    EXPECT_TRUE(selection().empty());
}

TEST_F(Tools, PlainClickMakesTheHitTheOnlySelectedVertex)
{
    addVertex(state.mesh, -0.5f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f);
    addVertex(state.mesh, 0.5f, 0.0f, 0.0f, 1);
    pointAt(ViewKind::Front, 0.0f, 0.0f);
    EXPECT_EQ(pickVertexAt(state), 1);
    EXPECT_EQ(selection(), std::vector<int32_t>{1});
    // A selected and an unselected vertex at the same place: the unselected one is picked.
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(pickVertexAt(state), 3);
    EXPECT_EQ(selection(), std::vector<int32_t>{3});
}

TEST_F(Tools, PickOutsideTheViewsClearsTheSelection)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    fake.active = window3D;
    state.shiftHeld = 1;
    EXPECT_EQ(pickVertexAt(state), -1);
    EXPECT_TRUE(selection().empty());
}

TEST_F(Tools, ExtendSelectionAddsOneVertexPerEventAndDropsNone)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 0.3f, 0.0f, 0.0f);
    addVertex(state.mesh, 0.3f, 0.0f, 0.5f);  // same place in Front
    pointAt(ViewKind::Front, 0.3f, 0.0f);
    EXPECT_EQ(extendSelectionAt(state), 1);
    EXPECT_EQ(extendSelectionAt(state), 2);
    EXPECT_EQ(extendSelectionAt(state), -1);
    EXPECT_EQ(selection(), (std::vector<int32_t>{0, 1, 2}));
    pointAt(ViewKind::Front, -0.7f, 0.0f);
    EXPECT_EQ(extendSelectionAt(state), -1);
    EXPECT_EQ(selection().size(), 3u) << "a miss deselects nothing";
    state.mesh.vertices[1].selected = 0;
    fake.active = window3D;
    EXPECT_EQ(extendSelectionAt(state), -1);
}

TEST_F(Tools, DragOneVertexInTopFollowsTheCursorAndKeepsY)
{
    addVertex(state.mesh, 0.1f, 0.7f, 0.2f, 1);
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f);
    pointAt(ViewKind::Top, 0.5f, -0.3f);
    dragSelectedVertex(state);
    expectVertex(0, 0.5f, 0.7f, -0.3f);
    expectVertex(1, 0.0f, 0.0f, 0.0f);
    state.prefs.snapGrid = 0.25f;
    pointAt(ViewKind::Top, 0.41f, 0.14f);
    dragSelectedVertex(state);
    expectVertex(0, 0.5f, 0.7f, 0.25f);
}

TEST_F(Tools, DragWithoutSelectionOrViewMovesNothing)
{
    addVertex(state.mesh, 0.1f, 0.2f, 0.3f);
    pointAt(ViewKind::Front, 0.5f, 0.5f);
    dragSelectedVertex(state);
    expectVertex(0, 0.1f, 0.2f, 0.3f);
    state.mesh.vertices[0].selected = 1;
    fake.active = window3D;
    dragSelectedVertex(state);
    dragSelectedVertices(state);
    expectVertex(0, 0.1f, 0.2f, 0.3f);
}

TEST_F(Tools, GroupDragMovesByTheCursorMotionSinceTheLastEvent)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.5f, 1);
    addVertex(state.mesh, 0.2f, 0.1f, 0.0f, 1);
    addVertex(state.mesh, 0.9f, 0.9f, 0.9f);
    pointAt(ViewKind::Front, -0.5f, 0.0f);
    beginDragAt(state);
    pointAt(ViewKind::Front, -0.4f, 0.0f);
    dragSelectedVertices(state);
    expectVertex(0, 0.1f, 0.0f, 0.5f);
    expectVertex(1, 0.3f, 0.1f, 0.0f);
    // A second event without cursor motion must not move again.
    dragSelectedVertices(state);
    expectVertex(0, 0.1f, 0.0f, 0.5f);
    pointAt(ViewKind::Front, -0.3f, -0.25f);
    dragSelectedVertices(state);
    expectVertex(0, 0.2f, -0.25f, 0.5f);
    expectVertex(1, 0.4f, -0.15f, 0.0f);
    expectVertex(2, 0.9f, 0.9f, 0.9f);
}

TEST_F(Tools, GroupDragInTopMovesXAndZAndStartsFromTheClick)
{
    addVertex(state.mesh, 0.0f, 0.3f, 0.0f, 1);
    addVertex(state.mesh, 0.1f, 0.3f, 0.1f, 1);
    pointAt(ViewKind::Top, 0.0f, 0.0f);
    beginDragAt(state);
    pointAt(ViewKind::Top, 0.2f, 0.1f);
    dragSelectedVertices(state);
    expectVertex(0, 0.2f, 0.3f, 0.1f);
    // A new click elsewhere is a new start: the jump to it moves nothing.
    pointAt(ViewKind::Top, -0.8f, -0.8f);
    beginDragAt(state);
    dragSelectedVertices(state);
    expectVertex(0, 0.2f, 0.3f, 0.1f);
    expectVertex(1, 0.3f, 0.3f, 0.2f);
}

TEST_F(Tools, GroupDragWithoutAClickInThatViewFirstTakesTheReference)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 0.5f, 0.0f, 0.0f, 1);
    pointAt(ViewKind::Front, 0.0f, 0.0f);
    beginDragAt(state);
    pointAt(ViewKind::Side, 0.5f, 0.5f);  // the user went to Side without a click there
    dragSelectedVertices(state);
    expectVertex(0, 0.0f, 0.0f, 0.0f);
    pointAt(ViewKind::Side, 0.6f, 0.5f);
    dragSelectedVertices(state);
    expectVertex(0, 0.0f, 0.0f, 0.1f);
}

TEST_F(Tools, GroupDragIgnoresAPanBetweenEvents)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 0.5f, 0.0f, 0.0f, 1);
    pointAt(ViewKind::Front, 0.0f, 0.0f);
    beginDragAt(state);
    applyArrowKey(state.camera, windowFront, vkLeft);
    dragSelectedVertices(state);
    expectVertex(0, 0.0f, 0.0f, 0.0f);
}

TEST_F(Tools, SlowGroupDragOnAGridMovesInWholeStepsAndLosesNothing)
{
    state.prefs.snapGrid = 0.5f;
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 0.25f, 0.0f, 0.0f, 1);
    fake.active = windowFront;
    fake.cursor[windowFront] = {100, 100};
    beginDragAt(state);
    for (int32_t step = 1; step <= 12; ++step) {
        fake.cursor[windowFront].x += 10;  // 0.1 per event: far below one step
        dragSelectedVertices(state);
        const float moved = step < 5 ? 0.0f : step < 10 ? 0.5f : 1.0f;
        EXPECT_NEAR(state.mesh.vertices[0].x, moved, 1e-6) << "after event " << step;
        EXPECT_NEAR(state.mesh.vertices[1].x, 0.25f + moved, 1e-6) << "after event " << step;
    }
    // Back to the left: the 0.2 still pending counts against the way back,
    // so 0.8 to the left makes one step.
    for (int32_t step = 1; step <= 8; ++step) {
        fake.cursor[windowFront].x -= 10;
        dragSelectedVertices(state);
    }
    EXPECT_NEAR(state.mesh.vertices[0].x, 0.5f, 1e-6);
    EXPECT_NEAR(state.mesh.vertices[0].y, 0.0f, 1e-6);
}

TEST_F(Tools, FastGroupDragOnAGridMovesByWholeMultiples)
{
    state.prefs.snapGrid = 0.5f;
    addVertex(state.mesh, 0.1f, 0.1f, 0.0f, 1);
    addVertex(state.mesh, 0.2f, 0.2f, 0.0f, 1);
    pointAt(ViewKind::Front, -0.9f, 0.0f);
    beginDragAt(state);
    pointAt(ViewKind::Front, 0.4f, -0.7f);  // 1.3 right, 0.7 down in one event
    dragSelectedVertices(state);
    expectVertex(0, 1.1f, -0.4f, 0.0f);
    expectVertex(1, 1.2f, -0.3f, 0.0f);
}

TEST_F(Tools, GroupDragTreatsAGridThatIsNotFiniteAndPositiveAsNone)
{
    for (const float grid : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), -0.5f}) {
        state.mesh = Mesh{};
        state.prefs.snapGrid = grid;
        addVertex(state.mesh, 0.1f, 0.2f, 0.3f, 1);
        addVertex(state.mesh, 0.5f, 0.0f, 0.0f, 1);
        fake.active = windowFront;
        fake.cursor[windowFront] = {100, 100};
        beginDragAt(state);
        fake.cursor[windowFront].x += 10;
        dragSelectedVertices(state);
        expectVertex(0, 0.2f, 0.2f, 0.3f);
        expectVertex(1, 0.6f, 0.0f, 0.0f);
    }
}
