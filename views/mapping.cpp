// mapping.cpp: the arithmetic between cursor, view and model. Pure functions.
#include "views/views.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/window_layer.h"

int32_t viewOfWindow(int32_t window)
{
    return window >= 1 && window <= 4 ? window - 1 : -1;
}

CameraArgs viewCameraArgs(ViewKind view, const ViewCamera& c)
{
    switch (view) {
    case ViewKind::Front: return {c.panX, c.panY, c.panZ, 0.0f, 0.0f, 0.0f};
    case ViewKind::Side: return {c.panX, c.panY, c.panZ, 0.0f, 90.0f, 0.0f};
    case ViewKind::Top: return {c.panX, c.panY, c.panZ, 90.0f, 0.0f, 0.0f};
    case ViewKind::ThreeD: return {0.0f, 0.0f, 0.0f, c.orbitX, c.orbitY, 0.0f};
    }
    return {};
}

namespace {

// Clip units across (u) and down (w) of a pixel; w grows downwards.
ViewPoint pixelToClip(float mx, float my, float width, float height)
{
    const float halfW = width / 2.0f, halfH = height / 2.0f;
    return {halfW != 0.0f ? (mx - halfW) / halfW : 0.0f, halfH != 0.0f ? (my - halfH) / halfH : 0.0f};
}

// The pan that puts model point p of a view under clip point (u, w) at the view's scale.
void panToShow(ViewCamera& c, ViewKind view, ViewPoint clip, ViewPoint p, ViewPoint scale)
{
    const float u = clip.a / scale.a, w = clip.b / scale.b;
    switch (view) {
    case ViewKind::Front: c.panX = u - p.a; c.panY = -w - p.b; break;
    case ViewKind::Side: c.panZ = u - p.a; c.panY = -w - p.b; break;
    case ViewKind::Top: c.panX = u - p.a; c.panZ = w - p.b; break;
    case ViewKind::ThreeD: break;
    }
}

}  // namespace

ViewPoint screenToModel(ViewKind view, float mx, float my, float width, float height,
                        const ViewCamera& c)
{
    const ViewPoint clip = pixelToClip(mx, my, width, height);
    const ViewPoint scale = orthoScale(c, width, height);
    const float u = clip.a / scale.a, w = clip.b / scale.b;
    switch (view) {
    case ViewKind::Front: return {u - c.panX, -w - c.panY};
    case ViewKind::Side: return {u - c.panZ, -w - c.panY};
    case ViewKind::Top: return {u - c.panX, w - c.panZ};
    case ViewKind::ThreeD: break;
    }
    return {};
}

Vec3 orthoViewsCentre(const ViewCamera& c) { return {-c.panX, -c.panY, -c.panZ}; }

ViewPoint modelToScreen(ViewKind view, ViewPoint p, float width, float height, const ViewCamera& c)
{
    float u = 0.0f, w = 0.0f;
    switch (view) {
    case ViewKind::Front: u = p.a + c.panX; w = -(p.b + c.panY); break;
    case ViewKind::Side: u = p.a + c.panZ; w = -(p.b + c.panY); break;
    case ViewKind::Top: u = p.a + c.panX; w = p.b + c.panZ; break;
    case ViewKind::ThreeD: break;
    }
    const ViewPoint scale = orthoScale(c, width, height);
    return {(1.0f + scale.a * u) * width / 2.0f, (1.0f + scale.b * w) * height / 2.0f};
}

ViewPoint orthoScale(const ViewCamera& c, float width, float height)
{
    if (!c.keepProportions || !(width > 0.0f) || !(height > 0.0f)) return {c.orthoZoom, c.orthoZoom};
    const float shorter = std::min(width, height);
    return {c.orthoZoom * (shorter / width), c.orthoZoom * (shorter / height)};
}

Vec3 orthoProjectionScale(const ViewCamera& c, float aspect)
{
    const ViewPoint scale = orthoScale(c, aspect, 1.0f);
    return {scale.a, scale.b, std::min(c.orthoZoom, 1.0f)};
}

void zoomOrthoAt(ViewCamera& c, ViewKind view, float mx, float my, float width, float height, float factor)
{
    if (view == ViewKind::ThreeD || !std::isfinite(factor) || factor <= 0.0f) return;
    const ViewPoint under = screenToModel(view, mx, my, width, height, c);
    c.orthoZoom = std::clamp(c.orthoZoom * factor, minOrthoZoom, maxOrthoZoom);
    panToShow(c, view, pixelToClip(mx, my, width, height), under, orthoScale(c, width, height));
}

void dragOrthoPan(ViewCamera& c, ViewKind view, float fromX, float fromY, float toX, float toY,
                  float width, float height)
{
    if (view == ViewKind::ThreeD) return;
    const ViewPoint grabbed = screenToModel(view, fromX, fromY, width, height, c);
    panToShow(c, view, pixelToClip(toX, toY, width, height), grabbed, orthoScale(c, width, height));
}

namespace {

// Bounding box of the mesh's finite positions; empty when there are none.
struct Bounds {
    Vec3 low{std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
             std::numeric_limits<float>::infinity()};
    Vec3 high{-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
              -std::numeric_limits<float>::infinity()};
    bool empty = true;
};

Bounds meshBounds(const Mesh& mesh)
{
    Bounds b;
    for (const Vertex& v : mesh.vertices) {
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) continue;
        b.low = {std::min(b.low.x, v.x), std::min(b.low.y, v.y), std::min(b.low.z, v.z)};
        b.high = {std::max(b.high.x, v.x), std::max(b.high.y, v.y), std::max(b.high.z, v.z)};
        b.empty = false;
    }
    return b;
}

}  // namespace

void frameMesh(ViewCamera& c, const Mesh& mesh)
{
    const Bounds b = meshBounds(mesh);
    if (b.empty) {
        c.panX = c.panY = c.panZ = 0.0f;
        c.orthoZoom = 1.0f;
        return;
    }
    // In double: a box from -FLT_MAX to FLT_MAX has a finite centre and half size.
    const double cx = (static_cast<double>(b.low.x) + b.high.x) / 2.0;
    const double cy = (static_cast<double>(b.low.y) + b.high.y) / 2.0;
    const double cz = (static_cast<double>(b.low.z) + b.high.z) / 2.0;
    const double half = std::max({static_cast<double>(b.high.x) - cx, static_cast<double>(b.high.y) - cy,
                                  static_cast<double>(b.high.z) - cz});
    c.panX = static_cast<float>(-cx);
    c.panY = static_cast<float>(-cy);
    c.panZ = static_cast<float>(-cz);
    // Every view shows one model unit as at least one half view at zoom 1,
    // across and up alike; a single point keeps the start scale.
    const double zoom = half > 0.0 ? frameFill / half : 1.0;
    c.orthoZoom = static_cast<float>(std::clamp(zoom, static_cast<double>(minOrthoZoom),
                                                static_cast<double>(maxOrthoZoom)));
}

bool isMeshInOrthoViews(const ViewCamera& c, const Mesh& mesh)
{
    // Across and up each view reaches 1 / zoom from its centre; in depth at
    // least as far, so a vertex within that cube is drawn in all three.
    const double reach = 1.0 / c.orthoZoom;
    const auto inside = [reach](float value, float pan) {
        return !(std::fabs(static_cast<double>(value) + pan) > reach);  // NaN is drawn nowhere
    };
    for (const Vertex& v : mesh.vertices)
        if (!inside(v.x, c.panX) || !inside(v.y, c.panY) || !inside(v.z, c.panZ)) return false;
    return true;
}

ThreeDFrame frameThreeDPicture(const Mesh& mesh, int32_t width, int32_t height)
{
    ThreeDFrame f;
    const Bounds b = meshBounds(mesh);
    if (b.empty || width <= 0 || height <= 0) return f;
    const double hx = (static_cast<double>(b.high.x) - b.low.x) / 2.0;
    const double hy = (static_cast<double>(b.high.y) - b.low.y) / 2.0;
    const double hz = (static_cast<double>(b.high.z) - b.low.z) / 2.0;
    f.centre = {static_cast<float>(b.low.x + hx), static_cast<float>(b.low.y + hy), static_cast<float>(b.low.z + hz)};
    // Pixels per model unit: the box's width fills the view's, or its height
    // the view's; a single point keeps a clip unit per model unit across.
    const double w = width, h = height;
    double pixels = w / 2.0;
    if (hx > 0.0 || hy > 0.0)
        pixels = std::min(hx > 0.0 ? frameFill * w / 2.0 / hx : HUGE_VAL,
                          hy > 0.0 ? frameFill * h / 2.0 / hy : HUGE_VAL);
    f.scale = {static_cast<float>(2.0 * pixels / w), static_cast<float>(2.0 * pixels / h),
               static_cast<float>(hz > 0.0 ? frameFill / hz : 1.0)};
    return f;
}

std::pair<int32_t, int32_t> frontPictureSize(const Mesh& mesh, int32_t longer)
{
    const Bounds b = meshBounds(mesh);
    const double across = b.empty ? 1.0 : static_cast<double>(b.high.x) - b.low.x;
    const double up = b.empty ? 1.0 : static_cast<double>(b.high.y) - b.low.y;
    const auto shorter = [longer](double ratio) {
        const double side = std::round(longer * std::clamp(ratio, 0.25, 1.0));
        return std::max<int32_t>(1, static_cast<int32_t>(side));
    };
    if (across >= up) return {longer, shorter(across > 0.0 ? up / across : 1.0)};
    return {shorter(across / up), longer};
}

ViewPoint viewCoordinates(ViewKind view, const Vertex& v)
{
    switch (view) {
    case ViewKind::Front: return {v.x, v.y};
    case ViewKind::Side: return {v.z, v.y};
    case ViewKind::Top: return {v.x, v.z};
    case ViewKind::ThreeD: break;
    }
    return {};
}

void setViewCoordinates(ViewKind view, Vertex& v, ViewPoint p)
{
    switch (view) {
    case ViewKind::Front: v.x = p.a; v.y = p.b; break;
    case ViewKind::Side: v.z = p.a; v.y = p.b; break;
    case ViewKind::Top: v.x = p.a; v.z = p.b; break;
    case ViewKind::ThreeD: break;
    }
}

ViewPoint cursorChangeToModel(ViewKind view, float dx, float dy)
{
    switch (view) {
    case ViewKind::Front:
    case ViewKind::Side: return {dx, -dy};
    case ViewKind::Top: return {dx, dy};
    case ViewKind::ThreeD: break;
    }
    return {};
}

ViewMouse updateViewMouse(const ViewMouse& previous, float mx, float my, float width, float height)
{
    // The offsets 4 and 30 are the frame of the window the views once had;
    // they cancel out of dx and dy, which is all the tools read.
    const float halfW = width / 2.0f, halfH = height / 2.0f;
    const float px = halfW != 0.0f ? (mx - halfW - 4.0f) / halfW : 0.0f;
    const float py = halfH != 0.0f ? (my - halfH - 30.0f) / halfH : 0.0f;
    return {px, py, px - previous.x, py - previous.y};
}

float gridStep(float grid) { return std::isfinite(grid) && grid > 0.0f ? grid : 0.0f; }

float snapToGrid(float value, float grid)
{
    grid = gridStep(grid);
    if (grid == 0.0f) return value;
    const double n = std::floor(static_cast<double>(value) / grid + 0.5);
    return static_cast<float>(n * grid);
}

int32_t devicePixels(int32_t length, float pixelRatio)
{
    return static_cast<int32_t>(std::lround(length * static_cast<double>(pixelRatio)));
}

float pickDistance(ViewPoint cursor, ViewPoint vertex, float width, float height, const ViewCamera& c)
{
    const double da = static_cast<double>(cursor.a) - vertex.a;
    const double db = static_cast<double>(cursor.b) - vertex.b;
    const ViewPoint scale = orthoScale(c, width, height);
    const double pixels = std::hypot(da * scale.a * width / 2.0, db * scale.b * height / 2.0);
    const bool reached = std::hypot(da, db) <= pickRadius || pixels <= pickPixels;
    return reached ? static_cast<float>(pixels) : std::numeric_limits<float>::infinity();
}

void applyArrowKey(ViewCamera& c, int32_t window, int32_t key)
{
    const int32_t view = viewOfWindow(window);
    if (view < 0) return;
    const bool left = key == vkLeft, right = key == vkRight, up = key == vkUp, down = key == vkDown;
    if (!left && !right && !up && !down) return;
    // A step moves the drawing by the same part of the view at every zoom.
    const float step = panStep / c.orthoZoom;
    switch (static_cast<ViewKind>(view)) {
    case ViewKind::Front:
    case ViewKind::Side: {
        float& horizontal = view == 0 ? c.panX : c.panZ;
        if (left) horizontal += step;
        if (right) horizontal -= step;
        if (up) c.panY -= step;
        if (down) c.panY += step;
        break;
    }
    case ViewKind::Top:
        if (left) c.panX -= step;
        if (right) c.panX += step;
        if (up) c.panZ += step;
        if (down) c.panZ -= step;
        break;
    case ViewKind::ThreeD:
        if (left) c.orbitY += 1.0f;
        if (right) c.orbitY -= 1.0f;
        if (up) c.orbitX += 1.0f;
        if (down) c.orbitX -= 1.0f;
        break;
    }
}

void zoomIn(ViewCamera& c) { c.zoom += zoomStep; }

void zoomOut(ViewCamera& c)
{
    if (c.zoom + 1.0f - zoomStep >= minZoomScale) c.zoom -= zoomStep;
}

void frameThreeDView(ViewCamera& c) { c.zoom = 0.0f; }
