// weld.cpp: selected vertices closer than a distance merged into one per
// cluster. A spatial hash of cubes as wide as the distance finds the close
// pairs: two such vertices lie in the same or in neighbouring cubes.
#include "mesh/mesh.h"
#include "mesh/key_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

// Clusters over the selected vertices, by their index in the selection.
struct Clusters {
    std::vector<uint32_t> parent;

    explicit Clusters(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }

    uint32_t root(uint32_t i)
    {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    }
    // Joins two clusters under the lower index; false when they were one.
    bool join(uint32_t a, uint32_t b)
    {
        a = root(a);
        b = root(b);
        if (a == b) return false;
        parent[std::max(a, b)] = std::min(a, b);
        return true;
    }
};

struct Point {
    double x, y, z;
};

// A cube's coordinates in 21 bits each. Far cubes may share a key: they then
// share a bucket, which costs time, never a missed pair.
constexpr int64_t cellBits = 21;
constexpr int64_t cellMask = (int64_t{1} << cellBits) - 1;

int64_t cellOf(double coordinate, double width)
{
    const double cell = std::floor(coordinate / width);
    return static_cast<int64_t>(std::clamp(cell, -4e18, 4e18));
}

uint64_t cellKey(int64_t cx, int64_t cy, int64_t cz)
{
    return static_cast<uint64_t>(cx & cellMask) | static_cast<uint64_t>(cy & cellMask) << cellBits |
           static_cast<uint64_t>(cz & cellMask) << (2 * cellBits);
}

// The 13 neighbours of a cube that come after it in (z, y, x) order.
constexpr std::array<std::array<int64_t, 3>, 13> forwardNeighbours{{
    {1, 0, 0}, {-1, 1, 0}, {0, 1, 0}, {1, 1, 0}, {-1, -1, 1}, {0, -1, 1}, {1, -1, 1},
    {-1, 0, 1}, {0, 0, 1}, {1, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1},
}};

double squaredDistance(const Point& a, const Point& b)
{
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Buckets of the spatial hash: bucket b holds points order[first[b] .. first[b + 1]).
struct Buckets {
    std::vector<uint32_t> first;
    std::vector<uint32_t> order;
    std::vector<uint8_t> tight;  // all its points are closer than the distance to each other
};

Buckets bucketPoints(const std::vector<Point>& points, const std::vector<uint64_t>& keys, const KeyTable& table,
                     size_t bucketCount, double limit)
{
    Buckets b;
    b.first.assign(bucketCount + 1, 0);
    for (uint64_t key : keys) ++b.first[*table.find(key) + 1];
    std::partial_sum(b.first.begin(), b.first.end(), b.first.begin());
    b.order.resize(points.size());
    std::vector<uint32_t> next(b.first.begin(), b.first.end() - 1);
    for (size_t i = 0; i < points.size(); ++i) b.order[next[*table.find(keys[i])]++] = static_cast<uint32_t>(i);
    b.tight.assign(bucketCount, 0);
    for (size_t k = 0; k < bucketCount; ++k) {
        Point low = points[b.order[b.first[k]]], high = low;
        for (uint32_t j = b.first[k]; j < b.first[k + 1]; ++j) {
            const Point& p = points[b.order[j]];
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        }
        b.tight[k] = squaredDistance(low, high) < limit ? 1 : 0;
    }
    return b;
}

// Joins every pair closer than the limit between buckets a and b (a == b: within one).
void joinClosePairs(const std::vector<Point>& points, const Buckets& b, uint32_t a, uint32_t c, double limit,
                    Clusters& clusters)
{
    const bool bothTight = b.tight[a] && b.tight[c];
    const uint32_t firstA = b.order[b.first[a]], firstC = b.order[b.first[c]];
    // Tight buckets are one cluster each: one close pair joins them whole.
    if (bothTight && clusters.root(firstA) == clusters.root(firstC)) return;
    for (uint32_t i = b.first[a]; i < b.first[a + 1]; ++i) {
        const uint32_t p = b.order[i];
        for (uint32_t j = a == c ? i + 1 : b.first[c]; j < b.first[c + 1]; ++j) {
            const uint32_t q = b.order[j];
            if (!(squaredDistance(points[p], points[q]) < limit) || !clusters.join(p, q)) continue;
            if (bothTight) return;
        }
    }
}

// Moves each cluster's first vertex to the cluster's centre and removes the
// others; triangles follow, and those a merge left with two equal corners go.
size_t mergeClusters(Mesh& mesh, const std::vector<uint32_t>& selected, const std::vector<Point>& points,
                     Clusters& clusters)
{
    const size_t n = selected.size();
    std::vector<uint32_t> members(n, 0);
    std::vector<Point> sum(n, Point{0.0, 0.0, 0.0});
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t r = clusters.root(i);
        ++members[r];
        sum[r] = {sum[r].x + points[i].x, sum[r].y + points[i].y, sum[r].z + points[i].z};
    }
    const size_t removed = n - static_cast<size_t>(std::count_if(members.begin(), members.end(),
                                                                  [](uint32_t m) { return m > 0; }));
    if (removed == 0) return 0;
    abandonPendingTriangle(mesh);

    const size_t count = mesh.vertices.size();
    std::vector<int32_t> keeper(count);  // the vertex that stands for each one
    std::iota(keeper.begin(), keeper.end(), 0);
    std::vector<uint8_t> merged(count, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t r = clusters.root(i);
        if (members[r] < 2) continue;
        merged[selected[i]] = 1;
        keeper[selected[i]] = static_cast<int32_t>(selected[r]);
        if (r != i) continue;
        const double m = members[r];
        Vertex& v = mesh.vertices[selected[i]];
        v.x = static_cast<float>(sum[r].x / m);
        v.y = static_cast<float>(sum[r].y / m);
        v.z = static_cast<float>(sum[r].z / m);
    }
    std::vector<int32_t> newPosition(count, -1);
    int32_t kept = 0;
    for (size_t p = 0; p < count; ++p)
        if (keeper[p] == static_cast<int32_t>(p)) newPosition[p] = kept++;

    const auto last = static_cast<int32_t>(count) - 1;
    size_t out = 0;
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        Triangle t = mesh.triangles[i];
        bool touched = false;
        for (int32_t& corner : t.vertexIndex) {
            const auto p = static_cast<size_t>(std::clamp(corner, 0, last));
            touched = touched || merged[p];
            corner = newPosition[static_cast<size_t>(keeper[p])];
        }
        const auto& c = t.vertexIndex;
        if (touched && (c[0] == c[1] || c[1] == c[2] || c[0] == c[2])) continue;
        mesh.triangles[out++] = t;
    }
    mesh.triangles.resize(out);
    out = 0;
    for (size_t p = 0; p < count; ++p)
        if (newPosition[p] >= 0) mesh.vertices[out++] = mesh.vertices[p];
    mesh.vertices.resize(out);
    return removed;
}

}  // namespace

size_t weldSelectedVertices(Mesh& mesh, float distance)
{
    if (!(distance > 0.0f) || !std::isfinite(distance)) return 0;
    std::vector<uint32_t> selected;  // vertex positions, in list order
    for (size_t p = 0; p < mesh.vertices.size(); ++p) {
        const Vertex& v = mesh.vertices[p];
        // A vertex without a place is close to nothing.
        if (v.selected == 1 && std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z))
            selected.push_back(static_cast<uint32_t>(p));
    }
    if (selected.size() < 2) return 0;

    const double width = distance;
    const double limit = width * width;
    std::vector<Point> points(selected.size());
    std::vector<uint64_t> keys(selected.size());
    std::vector<std::array<int64_t, 3>> cells(selected.size());
    KeyTable table(selected.size());
    uint32_t bucketCount = 0;
    for (size_t i = 0; i < selected.size(); ++i) {
        const Vertex& v = mesh.vertices[selected[i]];
        points[i] = {v.x, v.y, v.z};
        cells[i] = {cellOf(v.x, width), cellOf(v.y, width), cellOf(v.z, width)};
        keys[i] = cellKey(cells[i][0], cells[i][1], cells[i][2]);
        bool inserted = false;
        table.findOrInsert(keys[i], bucketCount, inserted);
        bucketCount += inserted ? 1 : 0;
    }
    const Buckets buckets = bucketPoints(points, keys, table, bucketCount, limit);

    Clusters clusters(selected.size());
    for (uint32_t k = 0; k < bucketCount; ++k) {
        const uint32_t first = buckets.order[buckets.first[k]];
        if (buckets.tight[k])
            for (uint32_t j = buckets.first[k] + 1; j < buckets.first[k + 1]; ++j)
                clusters.join(first, buckets.order[j]);
        if (!buckets.tight[k]) joinClosePairs(points, buckets, k, k, limit, clusters);
        // Each pair of neighbouring cubes once: from the one the other lies after.
        const auto& c = cells[first];
        for (const auto& [dx, dy, dz] : forwardNeighbours) {
            const uint32_t* other = table.find(cellKey(c[0] + dx, c[1] + dy, c[2] + dz));
            if (other && *other != k) joinClosePairs(points, buckets, k, *other, limit, clusters);
        }
    }
    return mergeClusters(mesh, selected, points, clusters);
}
