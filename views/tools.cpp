// tools.cpp: the mouse tools of the Front, Side and Top views: creating,
// picking, painting into the selection and dragging vertices. Each reads the
// cursor from the window layer when it runs; the group drag keeps its
// reference point and grid remainder in the state record.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

// How far a vertex is from a model point of a view for picking, in pixels;
// infinity out of reach (views.h, pickDistance).
float distanceInView(const AppState& state, ViewKind view, ViewPoint p, const Vertex& v)
{
    const int32_t window = windowOfView(view);
    return pickDistance(p, viewCoordinates(view, v), static_cast<float>(state.windows->clientWidth(window)),
                        static_cast<float>(state.windows->clientHeight(window)), state.camera);
}

// The vertex nearest the cursor on screen within picking reach, the first in
// list order among equally near ones; unselected ones only when asked; -1 when
// none is in reach.
int32_t nearestVertexAt(const AppState& state, ViewKind view, bool unselectedOnly)
{
    const ViewPoint p = cursorInView(state, view);
    int32_t nearest = -1;
    float best = std::numeric_limits<float>::infinity();
    const LargeList<Vertex>& vertices = state.mesh.vertices;
    for (size_t i = 0; i < vertices.size(); ++i) {
        if (unselectedOnly && vertices[i].selected != 0) continue;
        const float d = distanceInView(state, view, p, vertices[i]);
        if (d < best) {
            best = d;
            nearest = static_cast<int32_t>(i);
        }
    }
    return nearest;
}

// The vertices stacked on the spot nearest the cursor: the nearest vertex in
// reach and every vertex less than a pixel from it on screen, in list order.
// Empty when no vertex is in reach.
std::vector<int32_t> stackAt(const AppState& state, ViewKind view)
{
    const int32_t nearest = nearestVertexAt(state, view, false);
    if (nearest < 0) return {};
    const LargeList<Vertex>& vertices = state.mesh.vertices;
    const ViewPoint spot = viewCoordinates(view, vertices[static_cast<size_t>(nearest)]);
    std::vector<int32_t> stack;
    for (size_t i = 0; i < vertices.size(); ++i)
        if (distanceInView(state, view, spot, vertices[i]) < 1.0f) stack.push_back(static_cast<int32_t>(i));
    return stack;
}

// Selects the vertex; without Shift it becomes the only selected one.
void selectPicked(AppState& state, int32_t picked)
{
    LargeList<Vertex>& vertices = state.mesh.vertices;
    for (size_t i = 0; i < vertices.size(); ++i)
        if (static_cast<int32_t>(i) == picked) vertices[i].selected = 1;
        else if (state.shiftHeld == 0) vertices[i].selected = 0;
}

bool isInStack(const std::vector<int32_t>& stack, int32_t vertex)
{
    return std::find(stack.begin(), stack.end(), vertex) != stack.end();
}

// A create-triangle click on the spot of the corner the previous click gave,
// with nothing changed since: that corner moves on to the next vertex stacked
// there in list order (after the last, the first again), skipping the
// triangle's other corners. False when the click is no such second click or
// nothing else is stacked there.
bool pickNextStackedCorner(AppState& state, const std::vector<int32_t>& stack)
{
    Mesh& mesh = state.mesh;
    const LastCorner& last = state.lastCorner;
    if (last.revision != state.renderBuffers.meshRevision || last.triangle < 0 ||
        static_cast<size_t>(last.triangle) >= mesh.triangles.size())
        return false;
    Triangle& t = mesh.triangles[static_cast<size_t>(last.triangle)];
    const auto slot = static_cast<size_t>(last.slot);
    if (t.vertexIndex[slot] != last.vertex || !isInStack(stack, last.vertex)) return false;
    const bool pending = mesh.pendingCorner != 0 && static_cast<size_t>(last.triangle) + 1 == mesh.triangles.size();
    const size_t given = pending ? static_cast<size_t>(mesh.pendingCorner) : 3;
    const auto at = std::find(stack.begin(), stack.end(), last.vertex) - stack.begin();
    for (size_t step = 1; step < stack.size(); ++step) {
        const int32_t next = stack[(static_cast<size_t>(at) + step) % stack.size()];
        bool otherCorner = false;
        for (size_t k = 0; k < given; ++k) otherCorner = otherCorner || (k != slot && t.vertexIndex[k] == next);
        if (otherCorner) continue;
        t.vertexIndex[slot] = next;
        selectPicked(state, next);
        markMeshChanged(state, allViews);
        state.lastCorner = {last.triangle, last.slot, next, state.renderBuffers.meshRevision};
        return true;
    }
    return false;
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
    const std::vector<int32_t> stack = view ? stackAt(state, *view) : std::vector<int32_t>();
    // Clicks on one spot step through the vertices stacked there in list
    // order; a click past the last selected one is a miss.
    int32_t hit = stack.empty() ? -1 : stack.front();
    for (size_t k = 0; k < stack.size(); ++k)
        if (vertices[static_cast<size_t>(stack[k])].selected != 0) hit = k + 1 < stack.size() ? stack[k + 1] : -1;
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

int32_t addCornerAt(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    const std::vector<int32_t> stack = view ? stackAt(state, *view) : std::vector<int32_t>();
    if (stack.empty()) return -1;
    if (pickNextStackedCorner(state, stack)) return state.lastCorner.vertex;
    Mesh& mesh = state.mesh;
    // A selected vertex first, so a triangle can begin on the corner the last one ended on.
    int32_t picked = -1;
    for (const bool selectedOnly : {true, false})
        for (int32_t i : stack)
            if (picked < 0 && !isGivenCorner(mesh, i) && (!selectedOnly || mesh.vertices[static_cast<size_t>(i)].selected))
                picked = i;
    const int32_t slot = mesh.pendingCorner;
    if (!addCorner(mesh, picked)) return -1;
    selectPicked(state, picked);
    markMeshChanged(state, allViews);
    state.lastCorner = {static_cast<int32_t>(mesh.triangles.size()) - 1, slot, picked, state.renderBuffers.meshRevision};
    return picked;
}

int32_t extendSelectionAt(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    if (!view) return -1;
    const int32_t nearest = nearestVertexAt(state, *view, true);
    if (nearest < 0) return -1;
    state.mesh.vertices[static_cast<size_t>(nearest)].selected = 1;
    markMeshChanged(state, allViews);
    return nearest;
}

void beginBoxSelect(AppState& state)
{
    const std::optional<ViewKind> view = activeView(state);
    state.boxView = view ? static_cast<int32_t>(*view) : -1;
    if (!view) return;
    state.boxFrom = state.boxTo = state.windows->cursorPos(windowOfView(*view));
    markViewsDirty(state, viewBit(*view));
}

void dragBoxSelect(AppState& state)
{
    if (state.boxView < 0) return;
    const auto view = static_cast<ViewKind>(state.boxView);
    state.boxTo = state.windows->cursorPos(windowOfView(view));
    markViewsDirty(state, viewBit(view));
}

int32_t endBoxSelect(AppState& state)
{
    if (state.boxView < 0) return 0;
    dragBoxSelect(state);
    const auto view = static_cast<ViewKind>(state.boxView);
    state.boxView = -1;
    const int32_t window = windowOfView(view);
    const auto width = static_cast<float>(state.windows->clientWidth(window));
    const auto height = static_cast<float>(state.windows->clientHeight(window));
    const ViewPoint a = screenToModel(view, static_cast<float>(state.boxFrom.x), static_cast<float>(state.boxFrom.y),
                                      width, height, state.camera);
    const ViewPoint b = screenToModel(view, static_cast<float>(state.boxTo.x), static_cast<float>(state.boxTo.y),
                                      width, height, state.camera);
    const ViewPoint low{std::min(a.a, b.a), std::min(a.b, b.b)}, high{std::max(a.a, b.a), std::max(a.b, b.b)};
    int32_t added = 0;
    for (Vertex& v : state.mesh.vertices) {
        const ViewPoint p = viewCoordinates(view, v);
        if (v.selected == 1 || !(p.a >= low.a && p.a <= high.a && p.b >= low.b && p.b <= high.b)) continue;
        v.selected = 1;
        ++added;
    }
    if (added == 0) return 0;
    markMeshChanged(state, allViews);
    // The release ends the action; it is recorded as the selection it made.
    state.changePending = true;
    return added;
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
    const auto width = static_cast<float>(state.windows->clientWidth(window));
    const auto height = static_cast<float>(state.windows->clientHeight(window));
    const ViewPoint scale = orthoScale(state.camera, width, height);
    const double halfWidth = width / 2.0 * scale.a;
    const double halfHeight = height / 2.0 * scale.b;
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
