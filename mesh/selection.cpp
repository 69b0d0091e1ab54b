// selection.cpp: whole-mesh vertex selection sets, and the region the
// modelling commands act on: the triangles whose three corners are selected.
#include "mesh/mesh.h"

void selectAllVertices(Mesh& mesh)
{
    for (Vertex& v : mesh.vertices) v.selected = 1;
}

void invertVertexSelection(Mesh& mesh)
{
    for (Vertex& v : mesh.vertices) v.selected = v.selected == 1 ? 0 : 1;
}

std::vector<size_t> selectedRegion(const Mesh& mesh)
{
    std::vector<size_t> region;
    if (mesh.vertices.empty()) return region;
    const size_t finished = mesh.triangles.size() - (mesh.pendingCorner != 0 && !mesh.triangles.empty() ? 1 : 0);
    for (size_t i = 0; i < finished; ++i) {
        bool all = true;
        // Corners are read as the views read them, so a stray index counts as the vertex it is drawn at.
        for (int32_t corner : mesh.triangles[i].vertexIndex)
            all = all && mesh.vertices[static_cast<size_t>(clampVertexPosition(mesh, corner))].selected == 1;
        if (all) region.push_back(i);
    }
    return region;
}
