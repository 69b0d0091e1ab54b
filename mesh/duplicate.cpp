// duplicate.cpp: copies of the selected vertices and of the triangles among
// them, in place, for the user to drag away.
#include "mesh/mesh.h"

#include <algorithm>

bool duplicateSelection(Mesh& mesh)
{
    if (countSelectedVertices(mesh) == 0) return false;
    const std::vector<size_t> region = selectedRegion(mesh);
    abandonPendingTriangle(mesh);
    const size_t count = mesh.vertices.size();
    // copyOf[p]: the position of vertex p's copy, for selected p.
    std::vector<int32_t> copyOf(count, -1);
    mesh.vertices.reserve(count + static_cast<size_t>(countSelectedVertices(mesh)));
    for (size_t p = 0; p < count; ++p) {
        Vertex& original = mesh.vertices[p];
        if (original.selected != 1) continue;
        original.selected = 0;
        copyOf[p] = static_cast<int32_t>(mesh.vertices.size());
        mesh.vertices.push_back({original.x, original.y, original.z, 1, 0});
    }
    mesh.triangles.reserve(mesh.triangles.size() + region.size());
    for (size_t i : region) {
        Triangle copy = mesh.triangles[i];
        for (int32_t& corner : copy.vertexIndex)
            corner = copyOf[static_cast<size_t>(std::clamp(corner, 0, static_cast<int32_t>(count) - 1))];
        copy.selected = 0;
        mesh.triangles.push_back(copy);
    }
    return true;
}
