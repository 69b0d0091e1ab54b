// Mesh records, editing commands, angles, and the number readers every field, prompt and file uses.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "mesh/mesh.h"
#include "tests/test_mesh.h"

namespace {

using Corners = std::array<int32_t, 3>;

// Vertices at x = 0, 1, 2, ... (the x tells which one it was) and the given triangles.
Mesh numbered(int32_t vertices, const std::vector<Corners>& triangles = {})
{
    Mesh m;
    for (int32_t i = 0; i < vertices; ++i) addVertex(m, static_cast<float>(i), 0, 0);
    for (const Corners& t : triangles) addTriangle(m, t[0], t[1], t[2]);
    return m;
}

// The whole mesh in one line: vertex x, triangle corners (* when selected), the pending corner.
std::string describe(const Mesh& m)
{
    std::string out;
    for (const Vertex& v : m.vertices) out += std::to_string(static_cast<int>(v.x)) + (v.selected ? "* " : " ");
    out += "|";
    for (const Triangle& t : m.triangles)
        out += ' ' + std::to_string(t.vertexIndex[0]) + std::to_string(t.vertexIndex[1]) + std::to_string(t.vertexIndex[2]) +
               (t.selected ? "*" : "");
    return out + " pending " + std::to_string(m.pendingCorner);
}

// One click of the create-triangle tool on vertex p.
void cornerAt(Mesh& m, int32_t p)
{
    deselectAllVertices(m), m.vertices[static_cast<size_t>(p)].selected = 1, addCorner(m, p);
}

}  // namespace

TEST(MeshEditing, DeletingFlippingAndSteppingTheSelectionKeepTheTriangleUnderConstructionAndRoundAngles)
{
    // Vertex count, triangles, the first corner of a triangle under construction (-1: none), deleted vertices.
    const std::tuple<int32_t, std::vector<Corners>, int32_t, std::vector<int32_t>, const char*> cases[] = {
        {6, {{0, 1, 2}, {1, 3, 2}, {3, 4, 5}, {5, 4, 2}}, -1, {0, 1}, "2 3 4 5 | 123 320 pending 0"},
        {5, {{0, 1, 2}, {0, 2, 3}, {4, 3, 0}}, -1, {0}, "1 2 3 4 | pending 0"},
        {3, {{1, 2, 0}}, 0, {0}, "1 2 | pending 0"},
        {3, {{1, 2, 1}}, 2, {0}, "1 2 | 010 100 pending 1"},
        {1, {}, 0, {0}, "| pending 0"},
    };
    for (const auto& [vertices, triangles, halfBuiltOn, deleted, want] : cases) {
        Mesh m = numbered(vertices, triangles);
        if (halfBuiltOn >= 0) cornerAt(m, halfBuiltOn);
        deselectAllVertices(m);
        for (int32_t p : deleted) m.vertices[static_cast<size_t>(p)].selected = 1;
        deleteSelectedVertices(m);
        EXPECT_EQ(describe(m), want);
    }

    Mesh m = numbered(3, {{0, 1, 2}, {2, 1, 0}});
    m.triangles[0].u = {0.1f, 0.2f, 0.3f};
    m.triangles[0].v = {0.4f, 0.5f, 0.6f};
    flipSelectedTriangle(m);
    EXPECT_EQ(describe(m), "0 1 2 | 012 210 pending 0") << "nothing selected, nothing flipped";
    m.triangles[0].selected = 1;
    flipSelectedTriangle(m);
    EXPECT_EQ(describe(m), "0 1 2 | 210* 210 pending 0");
    EXPECT_EQ(m.triangles[0].u, (std::array<float, 3>{0.3f, 0.2f, 0.1f})) << "each corner keeps its u";
    EXPECT_EQ(m.triangles[0].v, (std::array<float, 3>{0.6f, 0.5f, 0.4f})) << "and its v";

    cornerAt(m, 1);
    deleteSelectedTriangles(m);
    EXPECT_EQ(describe(m), "0 1* 2 | 210 100 pending 1");
    selectPreviousTriangle(m);
    flipSelectedTriangle(m);
    EXPECT_EQ(describe(m), "0 1* 2 | 210 100* pending 1");
    deleteSelectedTriangles(m);
    EXPECT_EQ(describe(m), "0 1* 2 | 210 pending 0");

    m = numbered(1, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    std::vector<int32_t> seen;
    const auto step = [&](auto command, auto... n) { command(m, n...); seen.push_back(firstSelectedTriangle(m)); };
    for (int i = 0; i < 10; ++i) step(i < 5 ? selectNextTriangle : selectPreviousTriangle);
    for (int32_t n : {3, 1, 4, 0, 2, -1}) step(selectTriangleNumber, n);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2, -1, 0, -1, 2, 1, 0, -1, 2, 0, -1, -1, 1, -1}));

    const std::pair<float, int32_t> angles[] = {{0.5f, 0}, {1.5f, 2}, {2.5f, 2}, {-2.5f, -2}, {44.5f, 44}, {45.5f, 46}, {0.4f, 0},
                                                {450.0f, 90}, {-450.0f, -90}, {std::nanf(""), 0}, {INFINITY, 0}};
    for (const auto& [degrees, want] : angles) EXPECT_EQ(roundAngle(degrees), want) << degrees;
    EXPECT_EQ(roundAngle(1e30f) % 360, roundAngle(1e30f)) << "huge angles stay in range";
    EXPECT_EQ(degCos(90), std::cos(static_cast<float>(4.0 * std::atan(1.0)) / 2.0)) << "float pi: not quite 0";
    EXPECT_NEAR(rotateVector(1, 0, 0, 90, 0, 90).z, 1.0f, 1e-6) << "Z first, then X";
}

TEST(Numbers, VerticesFoundExactlyDecimalsTakeTheLongestLeadingNumberWholesSaturateRoundedOnesHalveToEven)
{
    Mesh m = numbered(2), empty;
    addVertex(m, 1, 2, 3);
    addVertex(m, 1, 2, 3, 1);
    m.vertices[0].y = -0.0f;
    m.vertices[1].x = NAN;
    // First exact match, +0 equals -0, no tolerance, NaN matches nothing.
    EXPECT_EQ(std::tuple(findVertexAt(m, 1, 2, 3), findVertexAt(m, 0, 0, 0), findVertexAt(m, 1, 2, 3.0000002f),
                         findVertexAt(m, m.vertices[1].x, 0, 0), findVertexAt(Mesh{}, 0, 0, 0)),
              std::tuple(2, 0, -1, -1, -1));
    EXPECT_EQ(std::tuple(vertexZ(m, 7), vertexY(m, INT32_MAX), vertexX(m, -5)), std::tuple(3.0f, 2.0f, 0.0f));
    for (const int32_t i : {99, -1}) setVertexMarked(m, i, 1);
    setVertexMarked(empty, 0, 1);  // must not touch anything
    EXPECT_EQ(std::tuple(m.vertices[3].marked, m.vertices[0].marked, countSelectedVertices(m), clampVertexPosition(empty, 0),
                         vertexX(empty, 0), countSelectedVertices(empty)),
              std::tuple(1, 1, 1, -1, 0.0f, 0));
    const std::string manyNines(5000, '9');
    const std::pair<std::string_view, double> cases[] = {{"1.0X", 1.0}, {"  -2.5e1abc", -25.0}, {"1,5", 1.0}, {"X", 0.0},
        {"", 0.0}, {"   ", 0.0}, {"+.5", 0.5}, {"7.", 7.0}, {".", 0.0}, {"-", 0.0}, {"2e", 2.0}, {"2e+x", 2.0},
        {"\t3.25 y", 3.25}, {"0.1234567", 0.1234567}, {"inf", 0.0}, {"nan", 0.0}, {"0x10", 0.0}, {"1e999", HUGE_VAL},
        {"-1e999", -HUGE_VAL}, {"1e-999", 0.0}, {"0.000000000000000000001e-400", 0.0}, {"1e99999999999999999999", HUGE_VAL},
        {manyNines, HUGE_VAL}, {std::string_view("12345").substr(0, 2), 12.0},  // no terminator after the view
        {"1641727006757590.3", 1641727006757590.3}};  // past 2^53 the digits are not one exact double
    Mesh building;
    addVertex(building, 0, 0, 0), addCorner(building, 0), clearMesh(building);
    EXPECT_EQ(building.pendingCorner, 0) << "an empty mesh has no triangle under construction";
    for (const auto& [text, want] : cases) EXPECT_EQ(readDecimal(text), want) << text;
    EXPECT_EQ(readDecimal("9." + std::string(400, '0') + "e308"), HUGE_VAL) << "zeros after the 9 do not scale it";
    const std::pair<const char*, int32_t> whole[] = {{"42abc", 42}, {"  -7", -7}, {"+3", 3}, {"3.9", 3}, {"", 0}, {"x1", 0},
        {"- 1", 0}, {"2147483648", INT32_MAX}, {"-2147483648", INT32_MIN}, {"-99999999999999999999999", INT32_MIN}};
    for (const auto& [text, want] : whole) EXPECT_EQ(readWhole(text), want) << text;
    const std::pair<const char*, int32_t> rounded[] = {{"2", 2}, {"2.5", 2}, {"3.5", 4}, {"0.4", 0}, {"-1.5", -2},
        {"-7.6", -8}, {"", 0}, {"1e300", INT32_MAX}, {"-1e300", INT32_MIN}, {"-2147483648", INT32_MIN}};
    for (const auto& [text, want] : rounded) EXPECT_EQ(readRoundedWhole(text), want) << text;
}

// Lists of 1 MB and more start on a large page and own whole ones: neighbours
// stay intact when one is freed, and a list grown past them keeps its records.
TEST(Mesh, LargeListsOwnWholeAlignedLargePages)
{
    constexpr size_t largePage = size_t{2} << 20;
    LargeList<uint8_t> small(1000, 7), first(size_t{1} << 20, 1), second(largePage + 1, 2);
    for (const auto* list : {&first, &second}) EXPECT_EQ(reinterpret_cast<uintptr_t>(list->data()) % largePage, 0u);
    first = LargeList<uint8_t>(3 * largePage, 3);
    second.resize(3 * largePage, 4);
    const auto count = [&second](uint8_t value) { return static_cast<size_t>(std::count(second.begin(), second.end(), value)); };
    EXPECT_EQ(std::tuple(count(2), count(4), first.back(), small[999]), std::tuple(largePage + 1, 2 * largePage - 1, 3, 7));
    // Freed, a list leaves no address space behind: the large page of slack is given back at once.
    const auto mappedKb = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmSize:")) return std::stol(line.substr(7));
        return 0L;
    };
    const long before = mappedKb();
    for (int i = 0; i < 64; ++i) LargeList<uint8_t>().swap(first), first.reserve(largePage);
    EXPECT_LT(mappedKb() - before, 32 * 1024);
}
