// editing.cpp: delete, flip, triangle selection stepping and the corner-by-corner
// building of triangles. Every command finishes at once; the commands in app/
// tell the user when there is nothing selected to work on.
#include "mesh/mesh.h"

#include <algorithm>
#include <cstdint>

namespace {

// True when the half-built triangle uses one of the vertices about to go.
bool pendingTriangleUsesRemoved(const Mesh& mesh, const std::vector<int32_t>& newPosition)
{
    if (mesh.pendingCorner == 0 || mesh.triangles.empty()) return false;
    const Triangle& t = mesh.triangles.back();
    for (int32_t k = 0; k < mesh.pendingCorner; ++k) {
        const int32_t p = clampVertexPosition(mesh, t.vertexIndex[static_cast<size_t>(k)]);
        if (p >= 0 && newPosition[static_cast<size_t>(p)] < 0) return true;
    }
    return false;
}

}  // namespace

void deleteSelectedVertices(Mesh& mesh)
{
    const size_t count = mesh.vertices.size();
    // newPosition[p] is the position vertex p will have, or -1 if it goes.
    std::vector<int32_t> newPosition(count, -1);
    int32_t kept = 0;
    for (size_t p = 0; p < count; ++p)
        if (mesh.vertices[p].selected != 1) newPosition[p] = kept++;
    if (static_cast<size_t>(kept) == count) return;

    if (pendingTriangleUsesRemoved(mesh, newPosition)) abandonPendingTriangle(mesh);

    // Corners are read as the views read them (clamped), so a triangle is
    // removed exactly when one of the points it is drawn between goes.
    const size_t pendingIndex = mesh.pendingCorner != 0 ? mesh.triangles.size() - 1 : SIZE_MAX;
    LargeList<Triangle> remaining;
    remaining.reserve(mesh.triangles.size());
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        Triangle t = mesh.triangles[i];
        const int32_t givenCorners = i == pendingIndex ? mesh.pendingCorner : 3;
        bool removed = false;
        for (int32_t k = 0; k < givenCorners && !removed; ++k) {
            int32_t& corner = t.vertexIndex[static_cast<size_t>(k)];
            const int32_t moved = newPosition[static_cast<size_t>(clampVertexPosition(mesh, corner))];
            removed = moved < 0;
            corner = moved;
        }
        if (!removed) remaining.push_back(t);
    }
    mesh.triangles = std::move(remaining);

    std::erase_if(mesh.vertices, [](const Vertex& v) { return v.selected == 1; });
    // A half-built triangle with unset corners needs position 0 to exist.
    if (mesh.pendingCorner != 0 && mesh.vertices.empty()) abandonPendingTriangle(mesh);
}

void deleteSelectedTriangles(Mesh& mesh)
{
    if (mesh.pendingCorner != 0 && !mesh.triangles.empty() && mesh.triangles.back().selected == 1)
        abandonPendingTriangle(mesh);
    std::erase_if(mesh.triangles, [](const Triangle& t) { return t.selected == 1; });
}

void flipSelectedTriangle(Mesh& mesh)
{
    const int32_t k = firstSelectedTriangle(mesh);
    // A half-built triangle has unset slots; swapping would move a given corner into one.
    const bool underConstruction = mesh.pendingCorner != 0 && static_cast<size_t>(k) + 1 == mesh.triangles.size();
    if (k < 0 || underConstruction) return;
    Triangle& t = mesh.triangles[static_cast<size_t>(k)];
    // Each corner keeps its own texture coordinates, so the picture stays on the triangle.
    std::swap(t.vertexIndex[0], t.vertexIndex[2]);
    std::swap(t.u[0], t.u[2]);
    std::swap(t.v[0], t.v[2]);
}

void selectNextTriangle(Mesh& mesh)
{
    const int32_t count = static_cast<int32_t>(mesh.triangles.size());
    if (count == 0) return;
    const int32_t k = firstSelectedTriangle(mesh);
    deselectAllTriangles(mesh);
    if (k < 0) mesh.triangles.front().selected = 1;
    else if (k < count - 1) mesh.triangles[static_cast<size_t>(k + 1)].selected = 1;
}

void selectPreviousTriangle(Mesh& mesh)
{
    const int32_t count = static_cast<int32_t>(mesh.triangles.size());
    if (count == 0) return;
    const int32_t k = firstSelectedTriangle(mesh);
    deselectAllTriangles(mesh);
    if (k < 0) mesh.triangles.back().selected = 1;
    else if (k > 0) mesh.triangles[static_cast<size_t>(k - 1)].selected = 1;
}

void selectTriangleNumber(Mesh& mesh, int32_t number)
{
    deselectAllTriangles(mesh);
    if (number > 0 && static_cast<size_t>(number) <= mesh.triangles.size())
        mesh.triangles[static_cast<size_t>(number - 1)].selected = 1;
}

bool isGivenCorner(const Mesh& mesh, int32_t vertex)
{
    if (mesh.pendingCorner == 0 || mesh.triangles.empty()) return false;
    const Triangle& t = mesh.triangles.back();
    for (int32_t k = 0; k < mesh.pendingCorner; ++k)
        if (t.vertexIndex[static_cast<size_t>(k)] == vertex) return true;
    return false;
}

bool addCorner(Mesh& mesh, int32_t vertex)
{
    if (vertex < 0 || static_cast<size_t>(vertex) >= mesh.vertices.size() || isGivenCorner(mesh, vertex))
        return false;
    if (mesh.pendingCorner == 0) appendTriangle(mesh);
    Triangle& t = mesh.triangles.back();
    t.vertexIndex[static_cast<size_t>(mesh.pendingCorner)] = vertex;
    mesh.pendingCorner = mesh.pendingCorner == 2 ? 0 : mesh.pendingCorner + 1;
    return true;
}
