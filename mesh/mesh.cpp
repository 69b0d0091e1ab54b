// mesh.cpp: records, lists and the elementary operations on them.
#include "mesh/mesh.h"

Vertex& appendVertex(Mesh& mesh)
{
    return mesh.vertices.emplace_back();
}

Triangle& appendTriangle(Mesh& mesh)
{
    return mesh.triangles.emplace_back();
}

int32_t clampVertexPosition(const Mesh& mesh, int32_t position)
{
    const auto count = static_cast<int64_t>(mesh.vertices.size());
    if (count == 0) return -1;
    if (position < 0) return 0;
    if (position >= count) return static_cast<int32_t>(count - 1);
    return position;
}

Vec3 vertexPosition(const Mesh& mesh, int32_t position)
{
    const int32_t p = clampVertexPosition(mesh, position);
    if (p < 0) return {};
    const Vertex& v = mesh.vertices[static_cast<size_t>(p)];
    return {v.x, v.y, v.z};
}

float vertexX(const Mesh& mesh, int32_t position) { return vertexPosition(mesh, position).x; }
float vertexY(const Mesh& mesh, int32_t position) { return vertexPosition(mesh, position).y; }
float vertexZ(const Mesh& mesh, int32_t position) { return vertexPosition(mesh, position).z; }

void setVertexMarked(Mesh& mesh, int32_t position, int32_t value)
{
    const int32_t p = clampVertexPosition(mesh, position);
    if (p >= 0) mesh.vertices[static_cast<size_t>(p)].marked = value;
}

int32_t countSelectedVertices(const Mesh& mesh)
{
    int32_t n = 0;
    for (const Vertex& v : mesh.vertices) n += v.selected == 1 ? 1 : 0;
    return n;
}

void deselectAllVertices(Mesh& mesh)
{
    for (Vertex& v : mesh.vertices) v.selected = 0;
}

void deselectAllTriangles(Mesh& mesh)
{
    for (Triangle& t : mesh.triangles) t.selected = 0;
}

int32_t findVertexAt(const Mesh& mesh, float x, float y, float z)
{
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Vertex& v = mesh.vertices[i];
        if (v.x == x && v.y == y && v.z == z) return static_cast<int32_t>(i);
    }
    return -1;
}

void clearMesh(Mesh& mesh)
{
    mesh.vertices.clear();
    mesh.triangles.clear();
    mesh.pendingCorner = 0;
}

void abandonPendingTriangle(Mesh& mesh)
{
    if (mesh.pendingCorner != 0 && !mesh.triangles.empty()) mesh.triangles.pop_back();
    mesh.pendingCorner = 0;
}

int32_t firstSelectedVertex(const Mesh& mesh)
{
    for (size_t i = 0; i < mesh.vertices.size(); ++i)
        if (mesh.vertices[i].selected == 1) return static_cast<int32_t>(i);
    return -1;
}

int32_t firstSelectedTriangle(const Mesh& mesh)
{
    for (size_t i = 0; i < mesh.triangles.size(); ++i)
        if (mesh.triangles[i].selected == 1) return static_cast<int32_t>(i);
    return -1;
}
