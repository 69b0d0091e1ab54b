// projection.cpp: texture coordinates from the geometry: the chosen triangles'
// corners as one orthographic view shows them, stretched over the picture.
#include "mesh/mesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Extent {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
};

// The view's horizontal and vertical coordinate of a position, the vertical
// one counted downwards as V is: Front (x, -y), Side (z, -y), Top (x, z).
std::pair<double, double> inPicture(Vec3 p, ProjectionView view)
{
    switch (view) {
    case ProjectionView::Front: return {p.x, -static_cast<double>(p.y)};
    case ProjectionView::Side: return {p.z, -static_cast<double>(p.y)};
    case ProjectionView::Top: return {p.x, p.z};
    }
    return {0.0, 0.0};
}

// Where value lies between the extent's ends, 0 to 1; 0.5 when they give no
// span or the value is not finite.
float across(double value, const Extent& e)
{
    const double span = e.high - e.low;
    if (!(span > 0.0) || !std::isfinite(span) || !std::isfinite(value)) return 0.5f;
    return static_cast<float>((value - e.low) / span);
}

}  // namespace

std::vector<int32_t> trianglesToProject(const Mesh& mesh)
{
    std::vector<int32_t> chosen;
    const size_t finished = mesh.triangles.size() - (mesh.pendingCorner != 0 ? 1 : 0);
    for (size_t i = 0; i < finished; ++i) {
        const Triangle& t = mesh.triangles[i];
        bool allSelected = true;
        for (int32_t corner : t.vertexIndex) {
            const int32_t p = clampVertexPosition(mesh, corner);
            allSelected = allSelected && p >= 0 && mesh.vertices[static_cast<size_t>(p)].selected == 1;
        }
        if (allSelected || t.selected == 1) chosen.push_back(static_cast<int32_t>(i));
    }
    return chosen;
}

void projectTexCoords(Mesh& mesh, const std::vector<int32_t>& triangles, ProjectionView view)
{
    Extent across0, across1;
    for (int32_t i : triangles)
        for (int32_t corner : mesh.triangles[static_cast<size_t>(i)].vertexIndex) {
            const auto [a, b] = inPicture(vertexPosition(mesh, corner), view);
            // A corner at NaN or infinity widens nothing; it goes to the middle.
            if (!std::isfinite(a) || !std::isfinite(b)) continue;
            across0 = {std::min(across0.low, a), std::max(across0.high, a)};
            across1 = {std::min(across1.low, b), std::max(across1.high, b)};
        }
    for (int32_t i : triangles) {
        Triangle& t = mesh.triangles[static_cast<size_t>(i)];
        for (size_t k = 0; k < 3; ++k) {
            const auto [a, b] = inPicture(vertexPosition(mesh, t.vertexIndex[k]), view);
            t.u[k] = across(a, across0);
            t.v[k] = across(b, across1);
        }
    }
}
