// mapping.cpp: the arithmetic between cursor, view and model. Pure functions.
#include "views/views.h"

#include <cmath>

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

ViewPoint screenToModel(ViewKind view, float mx, float my, float width, float height,
                        const ViewCamera& c)
{
    const float halfW = width / 2.0f, halfH = height / 2.0f;
    const float u = halfW != 0.0f ? (mx - halfW) / halfW : 0.0f;
    const float w = halfH != 0.0f ? (my - halfH) / halfH : 0.0f;  // grows downwards
    switch (view) {
    case ViewKind::Front: return {u - c.panX, -w - c.panY};
    case ViewKind::Side: return {u - c.panZ, -w - c.panY};
    case ViewKind::Top: return {u - c.panX, w - c.panZ};
    case ViewKind::ThreeD: break;
    }
    return {};
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

bool isWithinPickRadius(ViewPoint cursor, ViewPoint vertex)
{
    const double da = static_cast<double>(cursor.a) - vertex.a;
    const double db = static_cast<double>(cursor.b) - vertex.b;
    return std::sqrt(da * da + db * db) <= pickRadius;
}

void applyArrowKey(ViewCamera& c, int32_t window, int32_t key)
{
    const int32_t view = viewOfWindow(window);
    if (view < 0) return;
    const bool left = key == vkLeft, right = key == vkRight, up = key == vkUp, down = key == vkDown;
    if (!left && !right && !up && !down) return;
    switch (static_cast<ViewKind>(view)) {
    case ViewKind::Front:
    case ViewKind::Side: {
        float& horizontal = view == 0 ? c.panX : c.panZ;
        if (left) horizontal += panStep;
        if (right) horizontal -= panStep;
        if (up) c.panY -= panStep;
        if (down) c.panY += panStep;
        break;
    }
    case ViewKind::Top:
        if (left) c.panX -= panStep;
        if (right) c.panX += panStep;
        if (up) c.panZ += panStep;
        if (down) c.panZ -= panStep;
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
    if (c.zoom + 1.0f > 0.0f) c.zoom -= zoomStep;
}
