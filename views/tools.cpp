// tools.cpp: the mouse tools of the Front, Side and Top views: creating,
// picking, painting into the selection and dragging vertices. Each reads the
// cursor from the window layer when it runs; the group drag keeps its
// reference point and grid remainder in the state record.
#include <cmath>

#include "app/app.h"

namespace {

// Model point under the cursor in a view, not snapped.
ViewPoint cursorInView(const AppState& state, ViewKind view)
{
    const int32_t window = windowOfView(view);
    const CursorPos cursor = state.windows->cursorPos(window);
    return screenToModel(view, static_cast<float>(cursor.x), static_cast<float>(cursor.y),
                         static_cast<float>(state.windows->clientWidth(window)),
                         static_cast<float>(state.windows->clientHeight(window)), state.camera);
}

// The part of a motion that makes whole grid steps, toward zero; all of it
// without a grid.
double wholeGridSteps(double motion, double grid)
{
    if (grid == 0.0) return motion;
    return std::trunc(motion / grid) * grid;
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
        // The first unselected vertex under the cursor wins, not the nearest;
        // an already selected one is never picked.
        for (size_t i = 0; i < vertices.size(); ++i) {
            Vertex& v = vertices[i];
            if (v.selected == 0 && isWithinPickRadius(p, viewCoordinates(*view, v))) {
                v.selected = 1;
                hit = static_cast<int32_t>(i);
                break;
            }
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
        Vertex& v = vertices[i];
        if (v.selected == 0 && isWithinPickRadius(p, viewCoordinates(*view, v))) {
            v.selected = 1;
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
    state.dragRestA = 0.0;
    state.dragRestB = 0.0;
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
    const int32_t window = windowOfView(*view);
    const CursorPos cursor = state.windows->cursorPos(window);
    if (state.dragView != static_cast<int32_t>(*view)) {
        // No click in this view started the drag: this event only sets the reference.
        beginDragAt(state);
        return;
    }
    const CursorPos from = state.dragCursor;
    state.dragCursor = cursor;
    const double halfWidth = state.windows->clientWidth(window) / 2.0;
    const double halfHeight = state.windows->clientHeight(window) / 2.0;
    if (halfWidth <= 0.0 || halfHeight <= 0.0) return;
    // Pixels to model units with the view's size now, so a pan between two
    // events does not count as motion.
    const auto dx = static_cast<float>((cursor.x - from.x) / halfWidth);
    const auto dy = static_cast<float>((cursor.y - from.y) / halfHeight);
    const ViewPoint motion = cursorChangeToModel(*view, dx, dy);
    state.dragRestA += motion.a;
    state.dragRestB += motion.b;
    const double grid = gridStep(state.prefs.snapGrid);
    const double moveA = wholeGridSteps(state.dragRestA, grid);
    const double moveB = wholeGridSteps(state.dragRestB, grid);
    state.dragRestA -= moveA;
    state.dragRestB -= moveB;
    if (moveA == 0.0 && moveB == 0.0) return;
    for (Vertex& v : state.mesh.vertices) {
        if (v.selected != 1) continue;
        const ViewPoint p = viewCoordinates(*view, v);
        setViewCoordinates(*view, v,
                           {static_cast<float>(p.a + moveA), static_cast<float>(p.b + moveB)});
    }
}
