// View mapping, arrow keys, zoom, snap grid and the hit test.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/window_layer.h"
#include "mesh/mesh.h"
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

TEST(PickDistance, ReachIsTheLargerOfTheRadiusAndSixPixels)
{
    // 248 x 198 view: one model unit is 124 pixels across and 99 down at zoom 1.
    const ViewCamera start;
    EXPECT_FLOAT_EQ(pickDistance({0, 0}, {5.9f / 124, 0}, 248, 198, start), 5.9f);
    EXPECT_TRUE(std::isinf(pickDistance({0, 0}, {6.1f / 124, 0}, 248, 198, start)));
    EXPECT_FLOAT_EQ(pickDistance({0, 0}, {0, 5.9f / 99}, 248, 198, start), 5.9f);
    EXPECT_TRUE(std::isinf(pickDistance({0, 0}, {0.0f, 6.1f / 99}, 248, 198, start)));
    ViewCamera near;
    near.orthoZoom = 100.0f;  // 0.0125 units are now 155 pixels: the radius reaches further
    EXPECT_FALSE(std::isinf(pickDistance({0, 0}, {0.0125f, 0}, 248, 198, near)));
    EXPECT_TRUE(std::isinf(pickDistance({0, 0}, {0.013f, 0}, 248, 198, near)));
    ViewCamera far;
    far.orthoZoom = 0.01f;  // six pixels are 4.8 units
    EXPECT_FALSE(std::isinf(pickDistance({0, 0}, {4.7f, 0}, 248, 198, far)));
    EXPECT_TRUE(std::isinf(pickDistance({0, 0}, {4.9f, 0}, 248, 198, far)));
}

TEST(ZoomedMapping, PixelToModelAndBackInEveryViewAtAnyZoom)
{
    for (const float zoom : {0.001f, 0.37f, 1.0f, 8.0f, 1000.0f}) {
        ViewCamera c;
        c.orthoZoom = zoom;
        c.panX = 0.125f;
        c.panY = -0.5f;
        c.panZ = 0.75f;
        for (ViewKind v : {ViewKind::Front, ViewKind::Side, ViewKind::Top}) {
            const ViewPoint m = screenToModel(v, 31, 170, 248, 198, c);
            const ViewPoint px = modelToScreen(v, m, 248, 198, c);
            EXPECT_NEAR(px.a, 31.0f, 1e-2) << zoom;
            EXPECT_NEAR(px.b, 170.0f, 1e-2) << zoom;
            // One pixel right is 1 / (124 zoom) units further along the first coordinate.
            const ViewPoint next = screenToModel(v, 32, 170, 248, 198, c);
            EXPECT_NEAR((next.a - m.a) * 124.0f * zoom, 1.0f, 1e-2) << zoom;
        }
    }
}

TEST(ZoomedMapping, WheelZoomKeepsThePointUnderTheCursorWithinItsRange)
{
    for (ViewKind v : {ViewKind::Front, ViewKind::Side, ViewKind::Top}) {
        ViewCamera c;
        c.panY = 0.5f;
        const ViewPoint under = screenToModel(v, 200, 40, 248, 198, c);
        zoomOrthoAt(c, v, 200, 40, 248, 198, wheelZoomFactor);
        EXPECT_FLOAT_EQ(c.orthoZoom, wheelZoomFactor);
        const ViewPoint after = screenToModel(v, 200, 40, 248, 198, c);
        EXPECT_NEAR(after.a, under.a, 1e-6);
        EXPECT_NEAR(after.b, under.b, 1e-6);
    }
    ViewCamera c;
    for (int i = 0; i < 100; ++i) zoomOrthoAt(c, ViewKind::Front, 10, 10, 248, 198, 2.0f);
    EXPECT_EQ(c.orthoZoom, maxOrthoZoom);
    for (int i = 0; i < 100; ++i) zoomOrthoAt(c, ViewKind::Top, 10, 10, 248, 198, 0.5f);
    EXPECT_EQ(c.orthoZoom, minOrthoZoom);
    EXPECT_TRUE(std::isfinite(c.panX) && std::isfinite(c.panZ));
    EXPECT_EQ(orthoProjectionScale(c).z, minOrthoZoom) << "zoomed out, the depth slab widens";
    c.orthoZoom = 4.0f;
    EXPECT_EQ(orthoProjectionScale(c).z, 1.0f) << "zoomed in, it stays";
}

TEST(ZoomedMapping, MiddleDragKeepsTheGrabbedPointUnderTheCursor)
{
    ViewCamera c;
    c.orthoZoom = 3.0f;
    const ViewPoint grabbed = screenToModel(ViewKind::Top, 50, 60, 248, 198, c);
    dragOrthoPan(c, ViewKind::Top, 50, 60, 90, 20, 248, 198);
    const ViewPoint now = screenToModel(ViewKind::Top, 90, 20, 248, 198, c);
    EXPECT_NEAR(now.a, grabbed.a, 1e-6);
    EXPECT_NEAR(now.b, grabbed.b, 1e-6);
    EXPECT_EQ(c.panY, 0.0f) << "Top pans x and z only";
}

TEST(FrameAll, FitsTheWholeMeshIntoAllThreeViews)
{
    Mesh mesh;
    for (const Vec3 p : {Vec3{100, 40, -7}, Vec3{130, 52, -1}, Vec3{110, 45, -30}}) {
        Vertex& v = appendVertex(mesh);
        v.x = p.x, v.y = p.y, v.z = p.z;
    }
    ViewCamera c;
    EXPECT_FALSE(isMeshInOrthoViews(c, mesh));
    frameMesh(c, mesh);
    EXPECT_TRUE(isMeshInOrthoViews(c, mesh));
    EXPECT_EQ(c.panX, -115.0f);
    EXPECT_FLOAT_EQ(c.orthoZoom, frameFill / 15.0f) << "the largest half size (x) fills nine tenths";
    // A tiny mesh is zoomed into; one point keeps the start scale; none resets.
    mesh.vertices.resize(2);
    mesh.vertices[1] = mesh.vertices[0];
    mesh.vertices[1].x += 0.001f;
    frameMesh(c, mesh);
    EXPECT_GT(c.orthoZoom, 100.0f);
    mesh.vertices.resize(1);
    frameMesh(c, mesh);
    EXPECT_EQ(c.orthoZoom, 1.0f);
    EXPECT_EQ(c.panY, -40.0f);
    frameMesh(c, Mesh{});
    EXPECT_EQ(c, ViewCamera{});
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

    c.orthoZoom = 4.0f;  // a step is still 1/16 of the view
    applyArrowKey(c, 1, vkLeft);
    EXPECT_EQ(c.panX, 0.03125f);

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
