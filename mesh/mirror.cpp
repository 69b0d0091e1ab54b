// mirror.cpp: the selection reflected about a plane across one axis, as a
// copy that shares the vertices on the plane, or in place.
#include "mesh/mesh.h"

#include <algorithm>
#include <cmath>

namespace {

float& coordinate(Vertex& v, int32_t axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// A reflection turns a triangle inside out; reversing its corners, texture
// coordinates with them, turns it back.
void reverseCorners(Triangle& t)
{
    std::swap(t.vertexIndex[0], t.vertexIndex[2]);
    std::swap(t.u[0], t.u[2]);
    std::swap(t.v[0], t.v[2]);
}

}  // namespace

bool mirrorSelection(Mesh& mesh, int32_t axis, float position, bool copy)
{
    if (axis < 0 || axis > 2 || countSelectedVertices(mesh) == 0) return false;
    const std::vector<size_t> region = selectedRegion(mesh);
    abandonPendingTriangle(mesh);
    // In double, so a vertex far from the plane lands where a float can hold it.
    const auto reflect = [position](float value) { return static_cast<float>(2.0 * position - value); };
    if (!copy) {
        for (Vertex& v : mesh.vertices)
            if (v.selected == 1) coordinate(v, axis) = reflect(coordinate(v, axis));
        for (size_t i : region) reverseCorners(mesh.triangles[i]);
        return true;
    }
    const size_t count = mesh.vertices.size();
    // imageOf[p]: where selected vertex p's mirror image is (p itself on the plane).
    std::vector<int32_t> imageOf(count, -1);
    for (size_t p = 0; p < count; ++p) {
        Vertex v = mesh.vertices[p];
        if (v.selected != 1) continue;
        float& c = coordinate(v, axis);
        if (std::fabs(static_cast<double>(c) - position) <= mirrorPlaneTolerance) {
            imageOf[p] = static_cast<int32_t>(p);
            continue;
        }
        c = reflect(c);
        v.marked = 0;
        imageOf[p] = static_cast<int32_t>(mesh.vertices.size());
        mesh.vertices.push_back(v);
    }
    mesh.triangles.reserve(mesh.triangles.size() + region.size());
    for (size_t i : region) {
        Triangle t = mesh.triangles[i];
        bool inPlane = true;
        for (int32_t& corner : t.vertexIndex) {
            const int32_t original = std::clamp(corner, 0, static_cast<int32_t>(count) - 1);
            corner = imageOf[static_cast<size_t>(original)];
            inPlane = inPlane && corner == original;
        }
        if (inPlane) continue;
        reverseCorners(t);
        t.selected = 0;
        mesh.triangles.push_back(t);
    }
    return true;
}
