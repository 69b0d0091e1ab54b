// View mapping, arrow keys, zoom, snap grid, the hit test and framing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/window_layer.h"
#include "tests/test_mesh.h"
#include "views/views.h"

namespace {
constexpr std::array<ViewKind, 3> orthoKinds{ViewKind::Front, ViewKind::Side, ViewKind::Top};
constexpr float inf = std::numeric_limits<float>::infinity();
std::array<float, 2> ab(ViewPoint p) { return {p.a, p.b}; }
std::array<float, 6> args(CameraArgs c) { return {c.x, c.y, c.z, c.angleX, c.angleY, c.angleZ}; }
}  // namespace

TEST(Mapping, ScreenToModelAndBackPerViewAtAnyZoomAndPan)
{
    struct Case { ViewKind view; float mx, my, width, a, b; };  // at the start camera
    for (const Case c : {Case{ViewKind::Front, 186, 74.25f, 248, 0.5f, 0.25f}, Case{ViewKind::Top, 186, 99, 248, 0.5f, 0},
                         Case{ViewKind::Side, 125, 74.25f, 250, 0, 0.25f}, Case{ViewKind::Side, 250, 99, 250, 1, 0},
                         Case{ViewKind::Front, 10, 10, 0, 0, 0}}) {
        const ViewPoint p = screenToModel(c.view, c.mx, c.my, c.width, c.width == 0 ? 0 : 198, {});
        EXPECT_TRUE(std::abs(p.a - c.a) < 1e-6 && std::abs(p.b - c.b) < 1e-6) << c.mx;
    }
    // Pan shifts each view along its own axes: Front x and y, Side z and y, Top x and z (z downwards).
    const ViewCamera pan{.panX = 0.125f, .panY = -0.25f, .panZ = 0.375f};
    EXPECT_EQ(ab(screenToModel(ViewKind::Front, 124, 99, 248, 198, pan)), (std::array{-0.125f, 0.25f}));
    EXPECT_EQ(ab(screenToModel(ViewKind::Side, 124, 99, 248, 198, pan)), (std::array{-0.375f, 0.25f}));
    EXPECT_EQ(ab(screenToModel(ViewKind::Top, 124, 0, 248, 198, pan)), (std::array{-0.125f, -1.375f}));
    for (ViewKind v : orthoKinds) {
        const ViewCamera c{.panX = 0.125f, .panY = -0.5f, .panZ = 0.75f, .orthoZoom = 0.37f};
        const ViewPoint px = modelToScreen(v, screenToModel(v, 31, 170, 248, 198, c), 248, 198, c);
        EXPECT_TRUE(std::abs(px.a - 31) < 1e-3 && std::abs(px.b - 170) < 1e-3) << static_cast<int>(v);
    }
}

TEST(Mapping, ViewAxesCursorChangeCameraSnapToGridAndPickDistance)
{
    Vertex v{1, 2, 3, 0, 0};
    EXPECT_EQ(ab(viewCoordinates(ViewKind::Side, v)), (std::array{3.0f, 2.0f}));
    EXPECT_EQ(ab(viewCoordinates(ViewKind::Top, v)), (std::array{1.0f, 3.0f}));
    setViewCoordinates(ViewKind::Top, v, {7, 8});
    setViewCoordinates(ViewKind::ThreeD, v, {0, 0});
    EXPECT_EQ((std::array{v.x, v.y, v.z}), (std::array{7.0f, 2.0f, 8.0f}));
    EXPECT_EQ(ab(cursorChangeToModel(ViewKind::Side, 0.1f, 0.2f)), (std::array{0.1f, -0.2f}));
    EXPECT_EQ(ab(cursorChangeToModel(ViewKind::Top, 0.1f, 0.2f)), (std::array{0.1f, 0.2f}));
    // The cursor in half-sizes of the view, whose client area starts 4 pixels in and 30 down.
    const ViewMouse m = updateViewMouse(updateViewMouse(ViewMouse{}, 128, 129, 248, 198), 159, 30, 248, 198);
    EXPECT_EQ((std::array{m.x, m.y, m.dx, m.dy}), (std::array{0.25f, -1.0f, 0.25f, -1.0f}));
    const ViewCamera c{.panX = 1, .panY = 2, .panZ = 3, .orbitX = 30, .orbitY = 40};
    std::vector<std::array<float, 6>> all;
    for (const ViewKind view : {ViewKind::Front, ViewKind::Side, ViewKind::Top, ViewKind::ThreeD}) all.push_back(args(viewCameraArgs(view, c)));
    EXPECT_EQ(all, (std::vector<std::array<float, 6>>{{1, 2, 3, 0, 0, 0}, {1, 2, 3, 0, 90, 0}, {1, 2, 3, 90, 0, 0}, {0, 0, 0, 30, 40, 0}}));
    struct Snap { float value, grid, snapped; };
    for (const Snap s : {Snap{0.3f, 0.25f, 0.25f}, Snap{0.375f, 0.25f, 0.5f}, Snap{-0.4f, 0.25f, -0.5f}, Snap{-0.1f, 0.25f, 0},
                         Snap{0.123f, 0, 0.123f}, Snap{0.3f, inf, 0.3f}, Snap{0.3f, NAN, 0.3f}, Snap{0.3f, -0.25f, 0.3f}})
        EXPECT_FLOAT_EQ(snapToGrid(s.value, s.grid), s.snapped) << s.value << " " << s.grid;
    // A click reaches the larger of pickRadius model units and six pixels (256 wide: 128 pixels a unit).
    struct Pick { float da, db, zoom, distance; };
    for (const Pick p : {Pick{0, 6.0f / 128, 1, 6}, Pick{6.1f / 128, 0, 1, inf}, Pick{0.0125f, 0, 100, 160},
                         Pick{0.013f, 0, 100, inf}, Pick{4.6875f, 0, 0.01f, 6}, Pick{4.8f, 0, 0.01f, inf}})
        EXPECT_FLOAT_EQ(pickDistance({p.da, p.db}, {0, 0}, 256, 256, {.orthoZoom = p.zoom}), p.distance) << p.da << " " << p.zoom;
}

TEST(Mapping, EachArrowKeyMovesItsOwnViewByAStepAndThe3DZoomStopsAtAQuarter)
{
    struct Key { int32_t window, key; ViewCamera moved; };
    const float s = 0.125f;
    for (const Key k : {Key{1, vkLeft, {.panX = s}}, Key{1, vkRight, {.panX = -s}}, Key{1, vkUp, {.panY = -s}},
                        Key{1, vkDown, {.panY = s}}, Key{2, vkLeft, {.panZ = s}}, Key{2, vkRight, {.panZ = -s}},
                        Key{2, vkUp, {.panY = -s}}, Key{2, vkDown, {.panY = s}}, Key{3, vkLeft, {.panX = -s}},
                        Key{3, vkRight, {.panX = s}}, Key{3, vkUp, {.panZ = s}}, Key{3, vkDown, {.panZ = -s}},
                        Key{4, vkLeft, {.orbitY = 1}}, Key{4, vkRight, {.orbitY = -1}}, Key{4, vkUp, {.orbitX = 1}},
                        Key{4, vkDown, {.orbitX = -1}}, Key{0, vkLeft, {}}, Key{5, vkLeft, {}}, Key{1, 0x41, {}},
                        Key{1, vkLeft, {.panX = s / 4, .orthoZoom = 4}}}) {  // a step is 1/16 of the view at any zoom
        ViewCamera c{.orthoZoom = k.moved.orthoZoom};
        applyArrowKey(c, k.window, k.key);
        EXPECT_EQ(c, k.moved) << k.window << " " << k.key;
    }
    ViewCamera c;
    for (int i = 0; i < 6; ++i) zoomOut(c);
    EXPECT_EQ(c.zoom, -0.75f) << "the mesh never shrinks below a quarter";
    for (int i = 0; i < 100; ++i) zoomIn(c);
    EXPECT_EQ(c.zoom, 24.25f);
    frameThreeDView(c);
    EXPECT_EQ(c.zoom, 0.0f);
}

TEST(Mapping, WheelZoomAndDragKeepThePointUnderTheCursorAndFrameAllFitsTheMesh)
{
    for (ViewKind v : orthoKinds) {
        ViewCamera c{.panY = 0.5f};
        const ViewPoint under = screenToModel(v, 200, 40, 248, 198, c);
        zoomOrthoAt(c, v, 200, 40, 248, 198, wheelZoomFactor);
        EXPECT_FLOAT_EQ(c.orthoZoom, wheelZoomFactor);
        const ViewPoint after = screenToModel(v, 200, 40, 248, 198, c), grabbed = screenToModel(v, 50, 60, 248, 198, c);
        dragOrthoPan(c, v, 50, 60, 90, 20, 248, 198);
        const ViewPoint dragged = screenToModel(v, 90, 20, 248, 198, c);
        for (const auto& [p, q] : {std::pair{after, under}, std::pair{dragged, grabbed}})
            EXPECT_TRUE(std::abs(p.a - q.a) < 1e-6 && std::abs(p.b - q.b) < 1e-6) << static_cast<int>(v);
    }
    ViewCamera c;
    for (int i = 0; i < 100; ++i) zoomOrthoAt(c, ViewKind::Front, 10, 10, 248, 198, 2.0f);
    EXPECT_EQ(c.orthoZoom, maxOrthoZoom);
    for (int i = 0; i < 100; ++i) zoomOrthoAt(c, ViewKind::Top, 10, 10, 248, 198, 0.5f);
    EXPECT_EQ(c.orthoZoom, minOrthoZoom);
    EXPECT_TRUE(std::isfinite(c.panX) && std::isfinite(c.panZ));
    EXPECT_EQ(orthoProjectionScale(c, 1.0f).z, minOrthoZoom) << "zoomed out, the depth slab widens";
    EXPECT_EQ(orthoProjectionScale({.orthoZoom = 4}, 1.0f).z, 1.0f) << "zoomed in, it stays";

    Mesh mesh;
    for (const Vec3 p : {Vec3{100, 40, -7}, Vec3{130, 52, -1}, Vec3{110, 45, -30}}) addVertex(mesh, p.x, p.y, p.z);
    c = ViewCamera{};
    EXPECT_FALSE(isMeshInOrthoViews(c, mesh));
    frameMesh(c, mesh);
    EXPECT_TRUE(isMeshInOrthoViews(c, mesh));
    EXPECT_EQ(c, (ViewCamera{.panX = -115, .panY = -46, .panZ = 15.5f, .orthoZoom = frameFill / 15}));
    mesh.vertices.resize(1);
    addVertex(mesh, 100.001f, 40, -7);
    frameMesh(c, mesh);
    EXPECT_GT(c.orthoZoom, 100.0f) << "a tiny mesh is zoomed into";
    mesh.vertices.resize(1);
    frameMesh(c, mesh);
    EXPECT_EQ(c, (ViewCamera{.panX = -100, .panY = -40, .panZ = 7})) << "a single point keeps the start scale";
    frameMesh(c, Mesh{});
    EXPECT_EQ(c, ViewCamera{});
}

// A picture's 3D view: the box's centre in the middle, a model unit as many pixels across as up, filling the
// narrower fit; a thumbnail in the proportions of the box seen from the front, never thinner than a quarter.
TEST(ViewMapping, PicturesFrameTheMeshInItsProportions)
{
    Mesh mesh;
    for (const Vec3 p : {Vec3{100, 40, -7}, Vec3{130, 52, -1}, Vec3{110, 45, -30}}) addVertex(mesh, p.x, p.y, p.z);
    const ThreeDFrame f = frameThreeDPicture(mesh, 200, 100);
    EXPECT_EQ(std::tuple(f.centre.x, f.centre.y, f.centre.z), std::tuple(115.0f, 46.0f, -15.5f));
    EXPECT_FLOAT_EQ(f.scale.x, 0.06f) << "the width fits: 6 pixels a unit";
    EXPECT_FLOAT_EQ(f.scale.y, 0.12f);
    EXPECT_FLOAT_EQ(f.scale.z, frameFill / 14.5f);
    EXPECT_FLOAT_EQ(frameThreeDPicture(mesh, 400, 100).scale.x, 2 * frameFill * 50 / 6 / 400) << "the height fits";
    EXPECT_EQ(frontPictureSize(mesh, 256), std::pair(256, 102));
    mesh.vertices[1].y = 4000;
    EXPECT_EQ(frontPictureSize(mesh, 256), std::pair(64, 256));
    mesh.vertices.resize(1);
    EXPECT_EQ(frameThreeDPicture(mesh, 200, 100).scale.y, 2.0f) << "one point: a clip unit a model unit across";
    EXPECT_EQ(frontPictureSize(Mesh{}, 100), std::pair(100, 100));
}

TEST(Mapping, KeepingProportionsGivesAUnitAsManyPixelsAcrossAsDown)
{
    const ViewCamera kept{.orthoZoom = 2, .keepProportions = true};
    EXPECT_EQ(ab(orthoScale(kept, 248, 198)), (std::array{2 * (198.0f / 248), 2.0f}));
    EXPECT_EQ(ab(orthoScale(kept, 150, 198)), (std::array{2.0f, 2 * (150.0f / 198)}));
    EXPECT_FLOAT_EQ(orthoProjectionScale(kept, 248.0f / 198).x, orthoScale(kept, 248, 198).a);
    // 99 pixels a unit both ways in a 248 x 198 view at the start zoom.
    const ViewCamera start{.keepProportions = true};
    EXPECT_EQ(ab(modelToScreen(ViewKind::Front, {0.5f, 0.5f}, 248, 198, start)), (std::array{173.5f, 49.5f}));
    EXPECT_FLOAT_EQ(pickDistance({5.9f / 99, 0}, {0, 0}, 248, 198, start), 5.9f);
    for (ViewKind v : orthoKinds) {
        ViewCamera c{.panX = 0.125f, .panY = -0.5f, .panZ = 0.75f, .orthoZoom = 0.37f, .keepProportions = true};
        const ViewPoint px = modelToScreen(v, screenToModel(v, 31, 170, 248, 198, c), 248, 198, c);
        EXPECT_NEAR(px.a, 31, 1e-3);
        EXPECT_NEAR(px.b, 170, 1e-3);
        const ViewPoint under = screenToModel(v, 200, 40, 150, 198, c);
        zoomOrthoAt(c, v, 200, 40, 150, 198, wheelZoomFactor);
        EXPECT_NEAR(screenToModel(v, 200, 40, 150, 198, c).a, under.a, 1e-5);
        EXPECT_NEAR(screenToModel(v, 200, 40, 150, 198, c).b, under.b, 1e-5);
    }
}
