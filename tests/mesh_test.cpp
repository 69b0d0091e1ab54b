// Mesh records, editing commands, scale/rotate arithmetic and automatic
// texture coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mesh/mesh.h"
#include "tests/test_mesh.h"

namespace {

Mesh meshWithVertices(std::initializer_list<Vec3> points)
{
    Mesh m;
    for (const Vec3& p : points) {
        Vertex& v = appendVertex(m);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
    }
    return m;
}

// The three points a triangle is drawn between.
std::array<Vec3, 3> cornersOf(const Mesh& m, size_t t)
{
    const Triangle& tri = m.triangles[t];
    return {vertexPosition(m, tri.vertexIndex[0]), vertexPosition(m, tri.vertexIndex[1]),
            vertexPosition(m, tri.vertexIndex[2])};
}

bool samePoint(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

void expectNear(Vec3 actual, Vec3 expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-6);
    EXPECT_NEAR(actual.y, expected.y, 1e-6);
    EXPECT_NEAR(actual.z, expected.z, 1e-6);
}

}  // namespace

TEST(MeshModel, NewRecordsAreAllZeroAndEmptyMeshCountsNothing)
{
    Mesh m;
    EXPECT_EQ(countSelectedVertices(m), 0);
    EXPECT_EQ(findVertexAt(m, 0, 0, 0), -1);
    const Triangle& t = appendTriangle(m);
    EXPECT_EQ(t.vertexIndex, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(t.u, (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(t.selected, 0);
    const Vertex& v = appendVertex(m);
    EXPECT_EQ(v.x + v.y + v.z, 0.0f);
    EXPECT_EQ(v.selected + v.marked, 0);
}

TEST(MeshModel, FindVertexAtTakesFirstExactMatch)
{
    Mesh m = meshWithVertices({{1, 2, 3}, {0, -0.0f, 0}, {1, 2, 3}});
    EXPECT_EQ(findVertexAt(m, 1, 2, 3), 0);
    EXPECT_EQ(findVertexAt(m, 0, 0, 0), 1) << "+0 equals -0";
    EXPECT_EQ(findVertexAt(m, 1, 2, 3.0000002f), -1) << "no tolerance";
    const float nan = std::numeric_limits<float>::quiet_NaN();
    m.vertices[1].x = nan;
    EXPECT_EQ(findVertexAt(m, nan, 0, 0), -1) << "NaN matches nothing";
}

TEST(MeshModel, PositionsOutsideTheListReadTheNearestEnd)
{
    Mesh m = meshWithVertices({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(vertexX(m, 7), 4.0f);
    EXPECT_EQ(vertexY(m, std::numeric_limits<int32_t>::max()), 5.0f);
    EXPECT_EQ(vertexZ(m, -5), 3.0f);
    setVertexMarked(m, 99, 1);
    EXPECT_EQ(m.vertices[1].marked, 1);

    Mesh empty;
    EXPECT_EQ(clampVertexPosition(empty, 0), -1);
    EXPECT_EQ(vertexX(empty, 0), 0.0f);
    setVertexMarked(empty, 0, 1);  // must not touch anything
}

TEST(MeshModel, ClearMeshAbandonsTheTriangleUnderConstruction)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}});
    m.vertices[1].selected = 1;
    addCorner(m);
    ASSERT_EQ(m.pendingCorner, 1);
    clearMesh(m);
    EXPECT_TRUE(m.vertices.empty());
    EXPECT_TRUE(m.triangles.empty());
    EXPECT_EQ(m.pendingCorner, 0);
}

TEST(DeleteVertices, RemainingTrianglesKeepTheirPoints)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}});
    addTriangle(m, 0, 1, 2);
    addTriangle(m, 1, 3, 2);
    addTriangle(m, 3, 4, 5);
    addTriangle(m, 5, 4, 2);
    const auto before2 = cornersOf(m, 2);
    const auto before3 = cornersOf(m, 3);
    m.vertices[0].selected = 1;
    m.vertices[1].selected = 1;

    deleteSelectedVertices(m);

    ASSERT_EQ(m.vertices.size(), 4u);
    ASSERT_EQ(m.triangles.size(), 2u);  // both users of 0 or 1 are gone
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_TRUE(samePoint(cornersOf(m, 0)[k], before2[k]));
        EXPECT_TRUE(samePoint(cornersOf(m, 1)[k], before3[k]));
    }
}

TEST(DeleteVertices, SharedVertexTakesAllItsTrianglesAndNothingElse)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}});
    addTriangle(m, 0, 1, 2);
    addTriangle(m, 0, 2, 3);
    addTriangle(m, 4, 3, 0);
    Mesh untouched = m;
    deleteSelectedVertices(untouched);
    EXPECT_EQ(untouched.triangles.size(), 3u) << "nothing selected changes nothing";

    m.vertices[0].selected = 1;
    deleteSelectedVertices(m);
    EXPECT_EQ(m.vertices.size(), 4u) << "the other corners remain";
    EXPECT_TRUE(m.triangles.empty());
}

TEST(DeleteVertices, HalfBuiltTriangleOnARemovedVertexIsAbandoned)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    addTriangle(m, 0, 1, 2);
    m.vertices[2].selected = 1;
    addCorner(m);  // corner 0 = vertex 2
    ASSERT_EQ(m.pendingCorner, 1);
    deleteSelectedVertices(m);
    EXPECT_EQ(m.pendingCorner, 0);
    EXPECT_TRUE(m.triangles.empty()) << "the complete triangle used vertex 2 as well";

    // A half-built triangle on a surviving vertex keeps building on it.
    Mesh n = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    n.vertices[2].selected = 1;
    addCorner(n);
    n.vertices[2].selected = 0;
    n.vertices[0].selected = 1;
    deleteSelectedVertices(n);
    ASSERT_EQ(n.pendingCorner, 1);
    ASSERT_EQ(n.triangles.size(), 1u);
    EXPECT_EQ(n.triangles[0].vertexIndex[0], 1) << "vertex 2 moved down to 1";
}

TEST(DeleteTriangles, RemovesSelectedKeepsVertices)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    addTriangle(m, 0, 1, 2);
    addTriangle(m, 2, 1, 0);
    m.triangles[1].selected = 1;
    deleteSelectedTriangles(m);
    ASSERT_EQ(m.triangles.size(), 1u);
    EXPECT_EQ(m.triangles[0].vertexIndex[0], 0);
    EXPECT_EQ(m.vertices.size(), 3u);
    EXPECT_EQ(firstSelectedTriangle(m), -1);
}

TEST(FlipTriangle, SwapsCornersZeroAndTwoButNotTextureCoordinates)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    addTriangle(m, 0, 1, 2);
    m.triangles[0].u = {0.1f, 0.2f, 0.3f};
    flipSelectedTriangle(m);
    EXPECT_EQ(m.triangles[0].vertexIndex[0], 0) << "nothing selected, nothing flipped";
    m.triangles[0].selected = 1;
    flipSelectedTriangle(m);
    EXPECT_EQ(m.triangles[0].vertexIndex, (std::array<int32_t, 3>{2, 1, 0}));
    EXPECT_EQ(m.triangles[0].u, (std::array<float, 3>{0.1f, 0.2f, 0.3f}));
    flipSelectedTriangle(m);
    EXPECT_EQ(m.triangles[0].vertexIndex, (std::array<int32_t, 3>{0, 1, 2}));
}

TEST(FlipTriangle, LeavesATriangleUnderConstructionAlone)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m.vertices[2].selected = 1;
    addCorner(m);  // corner 0 is vertex 2; slots 1 and 2 are unset
    selectNextTriangle(m);
    flipSelectedTriangle(m);
    EXPECT_EQ(m.triangles[0].vertexIndex, (std::array<int32_t, 3>{2, 0, 0}));
    EXPECT_EQ(m.pendingCorner, 1);
    deleteSelectedVertices(m);  // vertex 2 goes, and the half-built triangle with it
    for (const Triangle& t : m.triangles)
        for (int32_t corner : t.vertexIndex) EXPECT_LT(corner, static_cast<int32_t>(m.vertices.size()));
}

TEST(TriangleSelection, BothDirectionsCycleThroughNone)
{
    Mesh m = meshWithVertices({{0, 0, 0}});
    for (int i = 0; i < 3; ++i) addTriangle(m, 0, 0, 0);

    std::vector<int32_t> up;
    for (int i = 0; i < 5; ++i) {
        selectNextTriangle(m);
        up.push_back(firstSelectedTriangle(m));
    }
    EXPECT_EQ(up, (std::vector<int32_t>{0, 1, 2, -1, 0}));

    deselectAllTriangles(m);
    std::vector<int32_t> down;
    for (int i = 0; i < 5; ++i) {
        selectPreviousTriangle(m);
        down.push_back(firstSelectedTriangle(m));
    }
    EXPECT_EQ(down, (std::vector<int32_t>{2, 1, 0, -1, 2}));

    Mesh empty;
    selectNextTriangle(empty);
    selectPreviousTriangle(empty);
    EXPECT_TRUE(empty.triangles.empty());
}

TEST(TriangleSelection, ByNumberSelectsOneOrNone)
{
    Mesh m = meshWithVertices({{0, 0, 0}});
    for (int i = 0; i < 4; ++i) addTriangle(m, 0, 0, 0);
    selectTriangleNumber(m, 3);
    EXPECT_EQ(firstSelectedTriangle(m), 2);
    selectTriangleNumber(m, 4);
    EXPECT_EQ(firstSelectedTriangle(m), 3);
    EXPECT_EQ(m.triangles[2].selected, 0);
    selectTriangleNumber(m, 9);
    EXPECT_EQ(firstSelectedTriangle(m), -1);
    selectTriangleNumber(m, 2);
    selectTriangleNumber(m, 0);
    EXPECT_EQ(firstSelectedTriangle(m), -1);
}

TEST(AddCorner, ThreeClicksBuildOneTriangleInClickOrder)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    for (int32_t picked : {3, 1, 2}) {
        deselectAllVertices(m);
        m.vertices[static_cast<size_t>(picked)].selected = 1;
        addCorner(m);
    }
    ASSERT_EQ(m.triangles.size(), 1u);
    EXPECT_EQ(m.triangles[0].vertexIndex, (std::array<int32_t, 3>{3, 1, 2}));
    EXPECT_EQ(m.pendingCorner, 0);
}

TEST(AddCorner, EmptyVertexListGetsAnOriginVertexAndAFinishedTriangle)
{
    Mesh m;
    addCorner(m);
    ASSERT_EQ(m.vertices.size(), 1u);
    EXPECT_EQ(m.vertices[0].selected, 0);
    ASSERT_EQ(m.triangles.size(), 1u);
    EXPECT_EQ(m.triangles[0].vertexIndex, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(m.pendingCorner, 0);
    addCorner(m);
    EXPECT_EQ(m.triangles.size(), 2u) << "each click on nothing appends one more";
}

TEST(AddCorner, SeveralSelectedGivesTheLowestPosition)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m.vertices[2].selected = 1;
    m.vertices[1].selected = 1;
    addCorner(m);
    EXPECT_EQ(m.triangles[0].vertexIndex[0], 1);
    EXPECT_EQ(m.pendingCorner, 1);
}

TEST(ScaleRotate, RoundAngleHalvesToEven)
{
    EXPECT_EQ(roundAngle(0.5f), 0);
    EXPECT_EQ(roundAngle(1.5f), 2);
    EXPECT_EQ(roundAngle(2.5f), 2);
    EXPECT_EQ(roundAngle(-2.5f), -2);
    EXPECT_EQ(roundAngle(44.5f), 44);
    EXPECT_EQ(roundAngle(45.5f), 46);
    EXPECT_EQ(roundAngle(0.4f), 0);
    EXPECT_EQ(roundAngle(450.0f), 90) << "whole turns drop out";
    EXPECT_EQ(roundAngle(1e30f) % 360, roundAngle(1e30f)) << "huge angles stay in range";
    EXPECT_EQ(roundAngle(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(roundAngle(std::numeric_limits<float>::infinity()), 0);
}

TEST(ScaleRotate, DegreesUseTheFloatPi)
{
    EXPECT_DOUBLE_EQ(degCos(0), 1.0);
    const double pi = static_cast<float>(4.0 * std::atan(1.0));
    EXPECT_DOUBLE_EQ(degCos(90), std::cos(pi / 2.0));
    EXPECT_NE(degCos(90), 0.0) << "float pi leaves a tiny cosine";
    EXPECT_NEAR(degSin(30), 0.5, 1e-7);
}

TEST(ScaleRotate, RotateVectorWorkedExamples)
{
    expectNear(rotateVector(0, 1, 0, 90, 0, 0), {0, 0, 1});
    expectNear(rotateVector(1, 0, 0, 0, 0, 90), {0, 1, 0});
    expectNear(rotateVector(1, 0, 0, 0, 90, 0), {0, 0, -1});
    // Z first, then X: (1,0,0) -> (0,1,0) -> (0,0,1).
    expectNear(rotateVector(1, 0, 0, 90, 0, 90), {0, 0, 1});
    expectNear(rotateVector(-1, 0, 0, 90, 0, 90), {0, 0, -1});
}

TEST(ScaleRotate, SelectionTransformsAboutTheCentre)
{
    Mesh m = meshWithVertices({{0, 0, 0}, {2, 0, 0}, {5, 5, 5}});
    EXPECT_FALSE(selectionCentre(m).has_value());
    m.vertices[0].selected = m.vertices[1].selected = 1;
    const auto c = selectionCentre(m);
    ASSERT_TRUE(c.has_value());
    expectNear(*c, {1, 0, 0});
    scaleSelectedVertices(m, *c, 2, 1, 1);
    expectNear(vertexPosition(m, 0), {-1, 0, 0});
    expectNear(vertexPosition(m, 1), {3, 0, 0});
    expectNear(vertexPosition(m, 2), {5, 5, 5});

    Mesh r = meshWithVertices({{0, 1, 0}, {0, -1, 0}});
    r.vertices[0].selected = r.vertices[1].selected = 1;
    rotateSelectedVertices(r, *selectionCentre(r), 90, 0, 0);
    expectNear(vertexPosition(r, 0), {0, 0, 1});
    expectNear(vertexPosition(r, 1), {0, 0, -1});

    Mesh one = meshWithVertices({{3, 4, 5}});
    one.vertices[0].selected = 1;
    const Vec3 oc = *selectionCentre(one);
    rotateSelectedVertices(one, oc, 33, 71, 12);
    scaleSelectedVertices(one, oc, 7, 7, 7);
    expectNear(vertexPosition(one, 0), {3, 4, 5});
}

TEST(AutoTexCoords, AlternatingHalvesOfTheSquare)
{
    Mesh m = meshWithVertices({{0, 0, 0}});
    for (int i = 0; i < 3; ++i) addTriangle(m, 0, 0, 0);
    m.triangles[1].selected = 1;
    autoTexCoords(m, 0.0f, 1.0f);
    EXPECT_EQ(m.triangles[0].u, (std::array<float, 3>{0, 1, 0}));
    EXPECT_EQ(m.triangles[0].v, (std::array<float, 3>{0, 1, 1}));
    EXPECT_EQ(m.triangles[1].u, (std::array<float, 3>{0, 1, 1}));
    EXPECT_EQ(m.triangles[1].v, (std::array<float, 3>{0, 0, 1}));
    EXPECT_EQ(m.triangles[2].u, m.triangles[0].u);
    EXPECT_EQ(m.triangles[2].v, m.triangles[0].v);
    EXPECT_EQ(m.triangles[1].selected, 1) << "selection untouched";

    autoTexCoords(m, 1.0f, 0.0f);
    EXPECT_EQ(m.triangles[0].u, (std::array<float, 3>{1, 0, 1})) << "mirrored, accepted";
}
