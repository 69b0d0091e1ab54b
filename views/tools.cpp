// tools.cpp: the mouse tools of the Front, Side and Top views: creating,
// picking, painting into the selection and dragging vertices. Each reads the
// cursor from the window layer when it runs; the group drag keeps its
// reference point and grid remainder in the state record.
#include <cmath>

#include "app/app.h"

namespace {

// Model point under the cursor in a view, not snapped.
ViewPoint cursorInView(const AppState& state, ViewKind view, CursorPos cursor)
{
    const int32_t window = windowOfView(view);
    return screenToModel(view, static_cast<float>(cursor.x), static_cast<float>(cursor.y),
                         static_cast<float>(state.windows->clientWidth(window)),
                         static_cast<float>(state.windows->clientHeight(window)), state.camera);
}

ViewPoint cursorInView(const AppState& state, ViewKind view)
{
    return cursorInView(state, view, state.windows->cursorPos(windowOfView(view)));
}

// The part of a motion that makes whole grid steps, toward zero; all of it
// without a grid.
float wholeGridSteps(float motion, float grid)
{
    if (grid == 0.0f) return motion;
    return static_cast<float>(std::trunc(static_cast<double>(motion) / grid) * grid);
}

}  // namespace

std::optional<ViewKind> activeView(const AppState& state)
{
    switch (state.windows->activeWindow()) {
    case windowFront: return ViewKind::Front;
    case windowSide: return ViewKind::Side;
    case windowTop: return ViewKind::Top;
    default: return std::nullopt;
    }
}

void createVertexAt(AppState& state)
{
    if (const std::optional<ViewKind> view = activeView(state)) {
        const ViewPoint p = cursorInView(state, *view);
        const float grid = state.prefs.snapGrid;
        Vertex& v = appendVertex(state.mesh);
        setViewCoordinates(*view, v, {snapToGrid(p.a, grid), snapToGrid(p.b, grid)});
    }
    state.windows->sleepMs(10);
}

int32_t pickVertexAt(AppState& state)
{
    int32_t hit = -1;
    std::vector<Vertex>& vertices = state.mesh.vertices;
    if (const std::optional<ViewKind> view = activeView(state)) {
        const ViewPoint p = cursorInView(state, *view);
        // Walking on, a plain click drops the selected vertices it passes; the
        // first unselected one under the cursor wins, not the nearest.
        for (size_t i = 0; i < vertices.size(); ++i) {
            Vertex& v = vertices[i];
            if (v.selected == 0 && isWithinPickRadius(p, viewCoordinates(*view, v))) {
                v.selected = 1;
                hit = static_cast<int32_t>(i);
                break;
            }
            if (v.selected == 1 && state.shiftHeld == 0) v.selected = 0;
        }
    }
    if (hit < 0) {
        deselectAllVertices(state.mesh);
    } else if (state.shiftHeld == 0) {
        for (size_t i = 0; i < vertices.size(); ++i)
            if (static_cast<int32_t>(i) != hit) vertices[i].selected = 0;
    }
    return hit;
}

int32_t extendSelectionAt(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    if (!view) return -1;
    const ViewPoint p = cursorInView(state, *view);
    std::vector<Vertex>& vertices = state.mesh.vertices;
    for (size_t i = 0; i < vertices.size(); ++i) {
        if (vertices[i].selected == 0 && isWithinPickRadius(p, viewCoordinates(*view, vertices[i]))) {
            vertices[i].selected = 1;
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

void beginDragAt(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    state.dragView = view ? static_cast<int32_t>(*view) : -1;
    if (view) state.dragCursor = state.windows->cursorPos(windowOfView(*view));
    state.dragRemainder = {};
}

void dragSelectedVertex(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    if (!view) return;
    const ViewPoint p = cursorInView(state, *view);
    const float grid = state.prefs.snapGrid;
    const ViewPoint snapped{snapToGrid(p.a, grid), snapToGrid(p.b, grid)};
    for (Vertex& v : state.mesh.vertices)
        if (v.selected == 1) setViewCoordinates(*view, v, snapped);
}

void dragSelectedVertices(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    if (!view) return;
    const CursorPos cursor = state.windows->cursorPos(windowOfView(*view));
    if (state.dragView != static_cast<int32_t>(*view)) {
        // No click in this view started the drag: this event only sets the reference.
        state.dragView = static_cast<int32_t>(*view);
        state.dragCursor = cursor;
        state.dragRemainder = {};
        return;
    }
    // Both ends mapped with today's size and pan, so a pan or resize between
    // two events does not count as motion.
    const ViewPoint from = cursorInView(state, *view, state.dragCursor);
    const ViewPoint to = cursorInView(state, *view, cursor);
    state.dragCursor = cursor;
    ViewPoint& rest = state.dragRemainder;
    rest.a += to.a - from.a;
    rest.b += to.b - from.b;
    const float grid = state.prefs.snapGrid;
    const ViewPoint move{wholeGridSteps(rest.a, grid), wholeGridSteps(rest.b, grid)};
    rest.a -= move.a;
    rest.b -= move.b;
    if (move.a == 0.0f && move.b == 0.0f) return;
    for (Vertex& v : state.mesh.vertices) {
        if (v.selected != 1) continue;
        const ViewPoint p = viewCoordinates(*view, v);
        setViewCoordinates(*view, v, {p.a + move.a, p.b + move.b});
    }
}
