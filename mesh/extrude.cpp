// extrude.cpp: the region (triangles whose three corners are selected) lifted
// off the mesh along its mean normal, joined to where it was by side walls.
#include "mesh/mesh.h"
#include "mesh/key_table.h"

#include <algorithm>
#include <cmath>

namespace {

// Roles of a vertex, as bits.
constexpr uint8_t inRegion = 1;
constexpr uint8_t onBoundary = 2;
constexpr uint8_t usedOutside = 4;

uint64_t edgeKey(int32_t a, int32_t b)
{
    const auto low = static_cast<uint64_t>(std::min(a, b)), high = static_cast<uint64_t>(std::max(a, b));
    return low << 32 | high;
}

// The unit normals of the region's triangles added up, as a unit vector (or zero).
Vec3 meanNormal(const Mesh& mesh, const std::vector<size_t>& region)
{
    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (size_t i : region) {
        const auto& c = mesh.triangles[i].vertexIndex;
        const Vertex& a = mesh.vertices[static_cast<size_t>(c[0])];
        const Vertex& b = mesh.vertices[static_cast<size_t>(c[1])];
        const Vertex& d = mesh.vertices[static_cast<size_t>(c[2])];
        const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const double vx = d.x - a.x, vy = d.y - a.y, vz = d.z - a.z;
        const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (!(length > 0.0) || !std::isfinite(length)) continue;
        sx += nx / length;
        sy += ny / length;
        sz += nz / length;
    }
    const double length = std::sqrt(sx * sx + sy * sy + sz * sz);
    if (!(length > 1e-9 * static_cast<double>(region.size()))) return {};
    return {static_cast<float>(sx / length), static_cast<float>(sy / length), static_cast<float>(sz / length)};
}

}  // namespace

bool extrudeSelection(Mesh& mesh, float distance)
{
    const std::vector<size_t> region = selectedRegion(mesh);
    if (region.empty()) return false;
    abandonPendingTriangle(mesh);
    const size_t count = mesh.vertices.size();
    for (Triangle& t : mesh.triangles)
        for (int32_t& corner : t.vertexIndex) corner = clampVertexPosition(mesh, corner);

    std::vector<uint8_t> triangleInRegion(mesh.triangles.size(), 0);
    for (size_t i : region) triangleInRegion[i] = 1;
    std::vector<uint8_t> role(count, 0);
    KeyTable edgeUse(region.size() * 3);
    for (size_t i : region) {
        const auto& c = mesh.triangles[i].vertexIndex;
        for (size_t k = 0; k < 3; ++k) {
            role[static_cast<size_t>(c[k])] |= inRegion;
            bool inserted = false;
            uint32_t& uses = edgeUse.findOrInsert(edgeKey(c[k], c[(k + 1) % 3]), 0, inserted);
            ++uses;
        }
    }
    for (size_t i = 0; i < mesh.triangles.size(); ++i)
        if (!triangleInRegion[i])
            for (int32_t corner : mesh.triangles[i].vertexIndex) role[static_cast<size_t>(corner)] |= usedOutside;
    // Boundary edges, as the region triangle and corner they start at.
    std::vector<std::pair<size_t, size_t>> boundary;
    for (size_t i : region) {
        const auto& c = mesh.triangles[i].vertexIndex;
        for (size_t k = 0; k < 3; ++k) {
            if (*edgeUse.find(edgeKey(c[k], c[(k + 1) % 3])) != 1) continue;
            boundary.emplace_back(i, k);
            role[static_cast<size_t>(c[k])] |= onBoundary;
            role[static_cast<size_t>(c[(k + 1) % 3])] |= onBoundary;
        }
    }

    const Vec3 n = meanNormal(mesh, region);
    const Vec3 offset{n.x * distance, n.y * distance, n.z * distance};
    // movedTo[p]: where region vertex p's lifted self is: a copy, or p moved.
    std::vector<int32_t> movedTo(count, -1);
    const auto copies = std::count_if(role.begin(), role.end(), [](uint8_t r) {
        return (r & inRegion) != 0 && (r & (onBoundary | usedOutside)) != 0;
    });
    mesh.vertices.reserve(count + static_cast<size_t>(copies));
    for (size_t p = 0; p < count; ++p) {
        Vertex& v = mesh.vertices[p];
        v.selected = 0;
        if (!(role[p] & inRegion)) continue;
        Vertex lifted{v.x + offset.x, v.y + offset.y, v.z + offset.z, 1, 0};
        if (role[p] & (onBoundary | usedOutside)) {
            movedTo[p] = static_cast<int32_t>(mesh.vertices.size());
            mesh.vertices.push_back(lifted);
        } else {
            lifted.marked = v.marked;
            v = lifted;
            movedTo[p] = static_cast<int32_t>(p);
        }
    }

    mesh.triangles.reserve(mesh.triangles.size() + 2 * boundary.size());
    // Walls first, while the region's triangles still name the vertices they leave.
    for (const auto& [i, k] : boundary) {
        const Triangle t = mesh.triangles[i];
        const size_t l = (k + 1) % 3;
        const int32_t a = t.vertexIndex[k], b = t.vertexIndex[l];
        const int32_t liftedA = movedTo[static_cast<size_t>(a)], liftedB = movedTo[static_cast<size_t>(b)];
        // The wall runs along the edge as its triangle does, so it faces the same side.
        mesh.triangles.push_back({{a, b, liftedB}, {t.u[k], t.u[l], t.u[l]}, {t.v[k], t.v[l], t.v[l]}, 0});
        mesh.triangles.push_back({{a, liftedB, liftedA}, {t.u[k], t.u[l], t.u[k]}, {t.v[k], t.v[l], t.v[k]}, 0});
    }
    for (size_t i : region)
        for (int32_t& corner : mesh.triangles[i].vertexIndex) corner = movedTo[static_cast<size_t>(corner)];
    return true;
}
