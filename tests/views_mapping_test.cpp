// View mapping, arrow keys, zoom, snap grid and the hit test.
#include <gtest/gtest.h>

#include <limits>

#include "app/window_layer.h"
#include "views/views.h"

namespace {

// Where a model point's view coordinates land in pixels (the forward mapping).
ViewPoint pixelOf(float cx, float cy, float w, float h) { return {(cx + 1) * w / 2, (1 - cy) * h / 2}; }
}  // namespace

TEST(ScreenToModel, PixelExamples)
{
    const ViewCamera none;
    ViewPoint p = screenToModel(ViewKind::Front, 186, 74.25f, 248, 198, none);
    EXPECT_NEAR(p.a, 0.5f, 1e-6);
    EXPECT_NEAR(p.b, 0.25f, 1e-6);
    p = screenToModel(ViewKind::Top, 186, 99, 248, 198, none);
    EXPECT_NEAR(p.a, 0.5f, 1e-6);
    EXPECT_NEAR(p.b, 0.0f, 1e-6);
    p = screenToModel(ViewKind::Side, 125, 74.25f, 250, 198, none);
    EXPECT_NEAR(p.a, 0.0f, 1e-6);
    EXPECT_NEAR(p.b, 0.25f, 1e-6);
    p = screenToModel(ViewKind::Side, 250, 99, 250, 198, none);
    EXPECT_NEAR(p.a, 1.0f, 1e-6) << "right edge of Side is z = 1";
    for (ViewKind v : {ViewKind::Front, ViewKind::Side, ViewKind::Top}) {
        p = screenToModel(v, 124, 99, 248, 198, none);
        EXPECT_EQ(p.a, 0.0f);
        EXPECT_EQ(p.b, 0.0f);
    }
}

TEST(ScreenToModel, InvertsTheForwardMappingWithPan)
{
    ViewCamera c;
    c.panX = 0.125f;
    c.panY = -0.25f;
    c.panZ = 0.375f;
    const float x = 0.3f, y = -0.2f, z = 0.45f;
    // Front: cx = x + panX, cy = y + panY.
    ViewPoint px = pixelOf(x + c.panX, y + c.panY, 248, 198);
    ViewPoint m = screenToModel(ViewKind::Front, px.a, px.b, 248, 198, c);
    EXPECT_NEAR(m.a, x, 1e-6);
    EXPECT_NEAR(m.b, y, 1e-6);
    // Side: cx = z + panZ, cy = y + panY.
    px = pixelOf(z + c.panZ, y + c.panY, 250, 198);
    m = screenToModel(ViewKind::Side, px.a, px.b, 250, 198, c);
    EXPECT_NEAR(m.a, z, 1e-6);
    EXPECT_NEAR(m.b, y, 1e-6);
    // Top: cx = x + panX, cy = -(z + panZ).
    px = pixelOf(x + c.panX, -(z + c.panZ), 248, 198);
    m = screenToModel(ViewKind::Top, px.a, px.b, 248, 198, c);
    EXPECT_NEAR(m.a, x, 1e-6);
    EXPECT_NEAR(m.b, z, 1e-6);

    ViewCamera front;
    front.panX = 0.125f;
    EXPECT_NEAR(screenToModel(ViewKind::Front, 124, 99, 248, 198, front).a, -0.125f, 1e-6);
}

TEST(ScreenToModel, ZeroSizedViewGivesFiniteValues)
{
    const ViewPoint p = screenToModel(ViewKind::Front, 10, 10, 0, 0, ViewCamera{});
    EXPECT_EQ(p.a, 0.0f);
    EXPECT_EQ(p.b, 0.0f);
}

TEST(ViewCoordinates, EachViewWorksOnItsTwoAxes)
{
    Vertex v{1, 2, 3, 0, 0};
    EXPECT_EQ(viewCoordinates(ViewKind::Side, v).a, 3.0f);
    EXPECT_EQ(viewCoordinates(ViewKind::Top, v).b, 3.0f);
    setViewCoordinates(ViewKind::Top, v, {7, 8});
    EXPECT_EQ(v.x, 7.0f);
    EXPECT_EQ(v.y, 2.0f) << "the third coordinate stays";
    EXPECT_EQ(v.z, 8.0f);
    setViewCoordinates(ViewKind::ThreeD, v, {0, 0});
    EXPECT_EQ(v.x, 7.0f);
}

TEST(CursorChange, ModelDeltaPerView)
{
    EXPECT_EQ(cursorChangeToModel(ViewKind::Front, 0.1f, 0.2f).b, -0.2f);
    EXPECT_EQ(cursorChangeToModel(ViewKind::Side, 0.1f, 0.2f).a, 0.1f);
    EXPECT_EQ(cursorChangeToModel(ViewKind::Top, 0.1f, 0.2f).b, 0.2f);
}

TEST(ViewMouseUpdate, DeltaIsMotionInHalfWidths)
{
    ViewMouse m = updateViewMouse(ViewMouse{}, 124, 99, 248, 198);
    m = updateViewMouse(m, 124 + 31, 99 - 99, 248, 198);
    EXPECT_NEAR(m.dx, 0.25f, 1e-6);
    EXPECT_NEAR(m.dy, -1.0f, 1e-6);
}

TEST(CameraArgs, PerView)
{
    ViewCamera c;
    c.panX = 1;
    c.orbitX = 30;
    c.orbitY = 40;
    EXPECT_EQ(viewCameraArgs(ViewKind::Side, c).angleY, 90.0f);
    EXPECT_EQ(viewCameraArgs(ViewKind::Top, c).angleX, 90.0f);
    EXPECT_EQ(viewCameraArgs(ViewKind::Front, c).x, 1.0f);
    const CameraArgs d = viewCameraArgs(ViewKind::ThreeD, c);
    EXPECT_EQ(d.x, 0.0f);
    EXPECT_EQ(d.angleX, 30.0f);
    EXPECT_EQ(d.angleY, 40.0f);
}

TEST(SnapToGrid, NearestLineOnBothSidesOfZero)
{
    EXPECT_FLOAT_EQ(snapToGrid(0.3f, 0.25f), 0.25f);
    EXPECT_FLOAT_EQ(snapToGrid(0.4f, 0.25f), 0.5f);
    EXPECT_FLOAT_EQ(snapToGrid(0.375f, 0.25f), 0.5f);
    EXPECT_FLOAT_EQ(snapToGrid(-0.3f, 0.25f), -0.25f);
    EXPECT_FLOAT_EQ(snapToGrid(-0.4f, 0.25f), -0.5f);
    EXPECT_FLOAT_EQ(snapToGrid(-0.7f, 0.25f), -0.75f);
    EXPECT_FLOAT_EQ(snapToGrid(-0.1f, 0.25f), 0.0f);
    EXPECT_EQ(snapToGrid(0.123f, 0.0f), 0.123f);
    EXPECT_FLOAT_EQ(snapToGrid(1.2f, 0.5f), 1.0f);
    EXPECT_EQ(snapToGrid(0.3f, std::numeric_limits<float>::infinity()), 0.3f);
    EXPECT_EQ(snapToGrid(0.3f, std::numeric_limits<float>::quiet_NaN()), 0.3f);
    EXPECT_EQ(snapToGrid(0.3f, -0.25f), 0.3f);
}

TEST(PickRadius, InclusiveEuclideanDistance)
{
    EXPECT_TRUE(isWithinPickRadius({0, 0}, {0.0125f, 0}));
    EXPECT_TRUE(isWithinPickRadius({0, 0}, {0.008f, 0.008f}));
    EXPECT_FALSE(isWithinPickRadius({0, 0}, {0.009f, 0.009f}));
    EXPECT_FALSE(isWithinPickRadius({0, 0}, {0.013f, 0}));
}

TEST(ArrowKeys, TableByWindow)
{
    ViewCamera c;
    applyArrowKey(c, 1, vkLeft);
    EXPECT_EQ(c.panX, 0.125f);
    applyArrowKey(c, 1, vkUp);
    EXPECT_EQ(c.panY, -0.125f);
    applyArrowKey(c, 2, vkRight);
    EXPECT_EQ(c.panZ, -0.125f);
    applyArrowKey(c, 2, vkDown);
    EXPECT_EQ(c.panY, 0.0f);
    applyArrowKey(c, 3, vkLeft);
    EXPECT_EQ(c.panX, 0.0f);
    applyArrowKey(c, 3, vkUp);
    EXPECT_EQ(c.panZ, 0.0f);
    applyArrowKey(c, 4, vkLeft);
    applyArrowKey(c, 4, vkDown);
    EXPECT_EQ(c.orbitY, 1.0f);
    EXPECT_EQ(c.orbitX, -1.0f);

    const ViewCamera before = c;
    applyArrowKey(c, 0, vkLeft);
    applyArrowKey(c, 1, 0x41);
    applyArrowKey(c, 11, vkLeft);
    EXPECT_EQ(c.panX, before.panX);
    EXPECT_EQ(c.orbitY, before.orbitY);
}

TEST(Zoom, OutStopsAtMinusOneInHasNoLimit)
{
    ViewCamera c;
    std::vector<float> seen;
    for (int i = 0; i < 6; ++i) {
        zoomOut(c);
        seen.push_back(c.zoom);
    }
    EXPECT_EQ(seen, (std::vector<float>{-0.25f, -0.5f, -0.75f, -1.0f, -1.0f, -1.0f}));
    zoomIn(c);
    EXPECT_EQ(c.zoom, -0.75f);
    for (int i = 0; i < 100; ++i) zoomIn(c);
    EXPECT_EQ(c.zoom, 24.25f);
}
