// tools.cpp: the mouse tools of the Front, Side and Top views: creating,
// picking, painting into the selection and dragging vertices. Each reads the
// cursor from the window layer when it runs; the group drag keeps its
// reference point and grid remainder in the state record.
#include <cmath>
#include <limits>

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

// The unselected vertex nearest the cursor on screen within picking reach,
// the first in list order among equally near ones; -1 when none is in reach.
int32_t nearestUnselectedVertexAt(const AppState& state, ViewKind view)
{
    const int32_t window = windowOfView(view);
    const auto width = static_cast<float>(state.windows->clientWidth(window));
    const auto height = static_cast<float>(state.windows->clientHeight(window));
    const ViewPoint p = cursorInView(state, view);
    int32_t nearest = -1;
    float best = std::numeric_limits<float>::infinity();
    const LargeList<Vertex>& vertices = state.mesh.vertices;
    for (size_t i = 0; i < vertices.size(); ++i) {
        if (vertices[i].selected != 0) continue;
        const float d = pickDistance(p, viewCoordinates(view, vertices[i]), width, height, state.camera);
        if (d < best) {
            best = d;
            nearest = static_cast<int32_t>(i);
        }
    }
    return nearest;
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
        markMeshChanged(state, allViews);
    }
    state.windows->sleepMs(10);
}

int32_t pickVertexAt(AppState& state)
{
    LargeList<Vertex>& vertices = state.mesh.vertices;
    const std::optional<ViewKind> view = activeView(state);
    // An already selected vertex is never picked: clicking it alone is a miss.
    const int32_t hit = view ? nearestUnselectedVertexAt(state, *view) : -1;
    bool changed = false;
    for (size_t i = 0; i < vertices.size(); ++i) {
        const bool isHit = static_cast<int32_t>(i) == hit;
        // A miss clears the selection; a hit without Shift keeps only itself.
        const int32_t selected = isHit ? 1 : hit >= 0 && state.shiftHeld != 0 ? vertices[i].selected : 0;
        changed = changed || vertices[i].selected != selected;
        vertices[i].selected = selected;
    }
    if (changed) markMeshChanged(state, allViews);
    return hit;
}

int32_t extendSelectionAt(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    if (!view) return -1;
    const int32_t nearest = nearestUnselectedVertexAt(state, *view);
    if (nearest < 0) return -1;
    state.mesh.vertices[static_cast<size_t>(nearest)].selected = 1;
    markMeshChanged(state, allViews);
    return nearest;
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
    for (Vertex& v : state.mesh.vertices) {
        if (v.selected != 1) continue;
        setViewCoordinates(*view, v, snapped);
        markSelectionMoved(state);
    }
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
    const double halfWidth = state.windows->clientWidth(window) / 2.0 * state.camera.orthoZoom;
    const double halfHeight = state.windows->clientHeight(window) / 2.0 * state.camera.orthoZoom;
    if (halfWidth <= 0.0 || halfHeight <= 0.0) return;
    // Pixels to model units with the view's size and zoom now, so a pan
    // between two events does not count as motion.
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
    markSelectionMoved(state);
}
