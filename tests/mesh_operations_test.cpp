// The modelling operations on small meshes: selection sets, duplicate, mirror,
// extrude, weld and the primitives, their facing, sharing and texture coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "mesh/mesh.h"
#include "tests/test_mesh.h"

namespace {

struct D3 {
    double x, y, z;
};

D3 at(const Mesh& m, int32_t p)
{
    const Vertex& v = m.vertices.at(static_cast<size_t>(p));
    return {v.x, v.y, v.z};
}

// The right-hand normal (b - a) x (c - a) of triangle i, unnormalised.
D3 normal(const Mesh& m, size_t i)
{
    const auto& c = m.triangles.at(i).vertexIndex;
    const D3 a = at(m, c[0]), b = at(m, c[1]), d = at(m, c[2]);
    const D3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{d.x - a.x, d.y - a.y, d.z - a.z};
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

D3 centroid(const Mesh& m, size_t i)
{
    const auto& c = m.triangles.at(i).vertexIndex;
    const D3 a = at(m, c[0]), b = at(m, c[1]), d = at(m, c[2]);
    return {(a.x + b.x + d.x) / 3, (a.y + b.y + d.y) / 3, (a.z + b.z + d.z) / 3};
}

double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Triangle i faces away from point p.
bool facesAwayFrom(const Mesh& m, size_t i, D3 p)
{
    const D3 c = centroid(m, i);
    return dot(normal(m, i), {c.x - p.x, c.y - p.y, c.z - p.z}) > 0;
}

std::string selection(const Mesh& m)
{
    std::string out;
    for (const Vertex& v : m.vertices) out += v.selected ? '1' : '0';
    return out;
}

std::string corners(const Triangle& t)
{
    return std::to_string(t.vertexIndex[0]) + std::to_string(t.vertexIndex[1]) + std::to_string(t.vertexIndex[2]);
}

// A unit square at z = 0 facing +z, textured 0..1, all four corners selected.
Mesh square()
{
    Mesh m;
    addVertex(m, 0, 0, 0, 1), addVertex(m, 1, 0, 0, 1), addVertex(m, 1, 1, 0, 1), addVertex(m, 0, 1, 0, 1);
    addTriangle(m, 0, 1, 2, {0, 1, 1}, {1, 1, 0});
    addTriangle(m, 0, 2, 3, {0, 1, 0}, {1, 0, 0});
    return m;
}

// Every directed edge once and its reverse once: closed, and facing one way.
bool closedAndOriented(const Mesh& m)
{
    std::map<std::pair<int32_t, int32_t>, int> directed;
    for (const Triangle& t : m.triangles)
        for (size_t k = 0; k < 3; ++k) ++directed[{t.vertexIndex[k], t.vertexIndex[(k + 1) % 3]}];
    for (const auto& [edge, uses] : directed)
        if (uses != 1 || directed.count({edge.second, edge.first}) == 0) return false;
    return true;
}

}  // namespace

TEST(MeshOperations, DuplicateCopiesTheSelectionAndItsTrianglesInPlace)
{
    Mesh m = square();
    m.vertices[3].selected = 0;
    m.triangles[0].selected = 1;
    EXPECT_TRUE(duplicateSelection(m));
    EXPECT_EQ(selection(m), "0000111");
    ASSERT_EQ(m.triangles.size(), 3u);
    EXPECT_EQ(corners(m.triangles[2]), "456");
    EXPECT_EQ(m.triangles[2].u, m.triangles[0].u);
    EXPECT_EQ(m.triangles[2].selected, 0) << "one triangle at most is selected";
    EXPECT_EQ(at(m, 6).x, 1.0);
    addTriangle(m, 4, 5, 6);
    m.pendingCorner = 1;  // a half-built triangle is no part of the region, and goes
    EXPECT_TRUE(duplicateSelection(m));
    EXPECT_EQ(m.triangles.size(), 4u);
}

TEST(MeshOperations, MirrorCopiesFacingOutwardAndSharesThePlane)
{
    for (int32_t axis = 0; axis < 3; ++axis) {
        // A triangle on the plane axis = 1 with corner 0 a hair off it, and one lying in it.
        Mesh m;
        const auto point = [axis](float a, float b, float c) {
            return axis == 0 ? D3{a, b, c} : axis == 1 ? D3{c, a, b} : D3{b, c, a};
        };
        for (const D3& p : {point(1.0000005f, 0, 0), point(2, 1, 0), point(2, 0, 1), point(1, 1, 1), point(1, 2, 2)})
            addVertex(m, static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z), 1);
        addTriangle(m, 0, 1, 2, {0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f});
        addTriangle(m, 0, 3, 4);
        ASSERT_TRUE(mirrorSelection(m, axis, 1.0f, true));
        ASSERT_EQ(m.vertices.size(), 7u) << "the plane's vertices are shared";
        ASSERT_EQ(m.triangles.size(), 3u) << "a triangle in the plane is not doubled";
        EXPECT_EQ(corners(m.triangles[2]), "650");
        EXPECT_EQ(m.triangles[2].u, (std::array<float, 3>{0.3f, 0.2f, 0.1f}));
        EXPECT_EQ(selection(m), "1111111");
        const D3 source = normal(m, 0), image = normal(m, 2), mirrorAxis = point(1, 0, 0);
        EXPECT_NEAR(dot(source, mirrorAxis), -dot(image, mirrorAxis), 1e-6) << axis;
        const double across = dot(source, mirrorAxis);
        EXPECT_NEAR(dot(image, source), dot(source, source) - 2 * across * across, 1e-5) << "the rest stays";
        EXPECT_NEAR(dot(at(m, 5), mirrorAxis), 0.0, 1e-6);

        ASSERT_TRUE(mirrorSelection(m, axis, 1.0f, false));
        EXPECT_EQ(corners(m.triangles[0]), "210");
        EXPECT_NEAR(dot(normal(m, 0), mirrorAxis), -across, 1e-6) << "in place faces as its image does";
    }
}

TEST(MeshOperations, ExtrudeLiftsTheRegionAndWallsItsBoundaryFacingOutward)
{
    Mesh m = square();
    addVertex(m, 5, 5, 5, 1);  // selected, but in no region triangle
    ASSERT_TRUE(extrudeSelection(m, 0.5f));
    ASSERT_EQ(m.vertices.size(), 9u);
    EXPECT_EQ(selection(m), "000001111");
    EXPECT_EQ(corners(m.triangles[0]), "567");
    EXPECT_EQ(at(m, 7).z, 0.5);
    ASSERT_EQ(m.triangles.size(), 10u);
    for (size_t i = 2; i < 10; ++i) {
        EXPECT_TRUE(facesAwayFrom(m, i, {0.5, 0.5, 0.25})) << i;
        EXPECT_NEAR(normal(m, i).z, 0.0, 1e-9) << i;
    }
    // The wall on edge 0-1 of the first triangle: texture coordinates of corners 0 and 1.
    EXPECT_EQ(corners(m.triangles[2]), "016");
    EXPECT_EQ(m.triangles[2].u, (std::array<float, 3>{0, 1, 1}));
    EXPECT_EQ(m.triangles[3].v, (std::array<float, 3>{1, 1, 1}));

    // A 2 x 2 grid: its middle vertex moves itself unless a triangle outside uses it.
    // Pushed in, the walls face into the hole.
    for (const bool usedOutside : {false, true}) {
        Mesh grid;
        for (int32_t j = 0; j < 3; ++j)
            for (int32_t i = 0; i < 3; ++i) addVertex(grid, static_cast<float>(i), static_cast<float>(j), 0, 1);
        for (int32_t q : {0, 1, 3, 4}) addTriangle(grid, q, q + 1, q + 4), addTriangle(grid, q, q + 4, q + 3);
        if (usedOutside) addVertex(grid, 9, 9, 9), addTriangle(grid, 0, 4, 9);
        ASSERT_TRUE(extrudeSelection(grid, -1.0f));
        EXPECT_EQ(grid.vertices.size(), usedOutside ? 19u : 17u);
        EXPECT_EQ(at(grid, 4).z, usedOutside ? 0.0 : -1.0);
        EXPECT_EQ(corners(grid.triangles[8]), usedOutside ? "049" : "0110");
        for (size_t i = grid.triangles.size() - 16; i < grid.triangles.size(); ++i)
            EXPECT_FALSE(facesAwayFrom(grid, i, {1, 1, -0.5})) << i;
    }

    // A triangle without area has no normal to add to the mean.
    Mesh flat = square();
    for (int i = 0; i < 3; ++i) addVertex(flat, 2, 2, 0, 1);
    addTriangle(flat, 4, 5, 6);
    ASSERT_TRUE(extrudeSelection(flat, 1.0f));
    EXPECT_EQ(at(flat, 7).z, 1.0);
    // A region away from the origin moves along its own normal.
    Mesh lifted = square();
    for (size_t i = 0; i < 4; ++i) lifted.vertices[i].x += 2.0f, lifted.vertices[i].z = 1.0f;
    ASSERT_TRUE(extrudeSelection(lifted, 0.5f));
    EXPECT_EQ(std::pair(at(lifted, 4).x, at(lifted, 4).z), std::pair(2.0, 1.5));
}

TEST(MeshOperations, WeldMergesChainsToTheirCentreAndRemovesCollapsedTriangles)
{
    Mesh m;
    for (float x : {0.0f, 0.0008f, 0.0016f, 0.5f}) addVertex(m, x, 0, 0, 1);
    addVertex(m, 0.5004f, 0.0003f, 0.0002f, 1);
    addVertex(m, 0.0002f, 0, 0);  // close, but not selected
    addVertex(m, 0, 1, 0, 1);
    addTriangle(m, 0, 2, 6);  // collapses
    addTriangle(m, 1, 3, 6);
    addTriangle(m, 3, 4, 5);  // collapses
    addTriangle(m, 5, 5, 6);  // was degenerate before: no merge touched it
    EXPECT_EQ(weldSelectedVertices(m, 0.001f), 3u);
    ASSERT_EQ(m.vertices.size(), 4u);
    EXPECT_NEAR(at(m, 0).x, 0.0008, 1e-9);
    EXPECT_NEAR(at(m, 1).x, 0.5002, 1e-7);
    EXPECT_NEAR(at(m, 1).y, 0.00015, 1e-9);
    EXPECT_NEAR(at(m, 1).z, 0.0001, 1e-9);
    EXPECT_EQ(at(m, 2).x, 0.0002f);
    ASSERT_EQ(m.triangles.size(), 2u);
    EXPECT_EQ(corners(m.triangles[0]), "013");
    EXPECT_EQ(corners(m.triangles[1]), "223");
    for (float bad : {0.0f, -1.0f, NAN, INFINITY}) EXPECT_EQ(weldSelectedVertices(m, bad), 0u) << bad;

    Mesh odd;
    addVertex(odd, NAN, 0, 0, 1), addVertex(odd, 0, 0, 0, 1), addVertex(odd, 1e38f, 0, 0, 1);
    EXPECT_EQ(weldSelectedVertices(odd, 1e-30f), 0u);
    EXPECT_EQ(weldSelectedVertices(odd, 1e38f), 0u) << "closer than: not as far";
    EXPECT_EQ(weldSelectedVertices(odd, 2e38f), 1u) << "a distance past the spread joins all it reaches";
}

// The spatial hash against every pair: points on and near the cube walls of the distance.
TEST(MeshOperations, WeldFindsTheSameClustersAsComparingEveryPair)
{
    std::mt19937 random(2601);
    for (float distance : {0.25f, 0.1f, 3.0f}) {
        Mesh m;
        std::uniform_int_distribution<int> step(-12, 12);
        for (int i = 0; i < 400; ++i)
            addVertex(m, step(random) * 0.125f, step(random) * 0.125f, step(random) * 0.0625f, i % 7 != 0);
        // Clusters by every pair, as the lowest position of each.
        std::vector<size_t> cluster(m.vertices.size());
        std::iota(cluster.begin(), cluster.end(), 0);
        for (bool changed = true; changed;) {
            changed = false;
            for (size_t a = 0; a < m.vertices.size(); ++a)
                for (size_t b = 0; b < m.vertices.size(); ++b) {
                    const D3 p = at(m, int32_t(a)), q = at(m, int32_t(b));
                    const D3 d{p.x - q.x, p.y - q.y, p.z - q.z};
                    const bool both = m.vertices[a].selected && m.vertices[b].selected;
                    if (!both || !(dot(d, d) < double(distance) * distance)) continue;
                    if (cluster[b] > cluster[a]) cluster[b] = cluster[a], changed = true;
                }
        }
        const size_t expected = m.vertices.size() - std::set<size_t>(cluster.begin(), cluster.end()).size();
        EXPECT_EQ(weldSelectedVertices(m, distance), expected) << distance;
    }
}

TEST(MeshOperations, PrimitivesAreClosedFaceOutwardAndAreTextured)
{
    // Kind, segments asked, vertices, triangles.
    const std::tuple<Primitive, int32_t, size_t, size_t> cases[] = {
        {Primitive::Box, 1, 8, 12},      {Primitive::Box, 3, 56, 108},    {Primitive::Box, 0, 8, 12},
        {Primitive::Plane, 2, 9, 8},     {Primitive::Cylinder, 5, 12, 20}, {Primitive::Cylinder, 2, 8, 12},
        {Primitive::Cone, 4, 6, 8},      {Primitive::Sphere, 6, 14, 24},  {Primitive::Cone, 1, 5, 6},
    };
    const D3 centre{1, -2, 3};
    for (const auto& [kind, segments, vertices, triangles] : cases) {
        Mesh m;
        addVertex(m, 9, 9, 9, 1);
        insertPrimitive(m, kind, {1, -2, 3}, 2.0f, segments);
        EXPECT_EQ(m.vertices.size() - 1, vertices) << int(kind) << ' ' << segments;
        ASSERT_EQ(m.triangles.size(), triangles) << int(kind) << ' ' << segments;
        EXPECT_EQ(selection(m).find('1'), 1u) << "the new vertices alone are selected";
        EXPECT_EQ(selection(m).rfind('0'), 0u);
        EXPECT_EQ(closedAndOriented(m), kind != Primitive::Plane);
        for (size_t i = 0; i < triangles; ++i) {
            const Triangle& t = m.triangles[i];
            if (kind == Primitive::Plane)
                EXPECT_LT(normal(m, i).z, 0) << "facing the 3D view at its start";
            else
                EXPECT_TRUE(facesAwayFrom(m, i, centre)) << int(kind) << ' ' << i;
            for (size_t k = 0; k < 3; ++k) {
                EXPECT_TRUE(t.u[k] >= 0 && t.u[k] <= 1 && t.v[k] >= 0 && t.v[k] <= 1) << int(kind) << ' ' << i;
                const D3 p = at(m, t.vertexIndex[k]);
                EXPECT_LE(std::max({std::fabs(p.x - 1), std::fabs(p.y + 2), std::fabs(p.z - 3)}), 1.0 + 1e-6);
            }
        }
    }
    // The box's front face (-z) shows its picture upright: U along +x, V down.
    Mesh box;
    insertPrimitive(box, Primitive::Box, {}, 1.0f, 1);
    EXPECT_EQ(box.triangles[0].u, (std::array<float, 3>{0, 1, 1}));
    EXPECT_EQ(at(box, box.triangles[0].vertexIndex[1]).x, 0.5);
}
