// primitives.cpp: box, plane, cylinder, cone and sphere, built into the mesh
// with shared vertices, outward-facing corners and texture coordinates.
// Every quad is two triangles (p00, p10, p11) and (p00, p11, p01), where U
// runs from p00 to p10 and V from p00 to p01: the face's outward normal is
// U x V, and with V pointing down the picture stands upright.
#include "mesh/mesh.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Corner {
    int32_t vertex = 0;
    float u = 0.0f;
    float v = 0.0f;
};

// Appends selected vertices and unselected triangles to the mesh.
struct Builder {
    Mesh& mesh;
    Vec3 centre;

    int32_t vertex(double x, double y, double z)
    {
        mesh.vertices.push_back({static_cast<float>(centre.x + x), static_cast<float>(centre.y + y),
                                 static_cast<float>(centre.z + z), 1, 0});
        return static_cast<int32_t>(mesh.vertices.size() - 1);
    }
    void triangle(Corner a, Corner b, Corner c)
    {
        mesh.triangles.push_back({{a.vertex, b.vertex, c.vertex}, {a.u, b.u, c.u}, {a.v, b.v, c.v}, 0});
    }
    void quad(Corner p00, Corner p10, Corner p11, Corner p01)
    {
        triangle(p00, p10, p11);
        triangle(p00, p11, p01);
    }
};

// A face of the box: grid point (i, j) of s x s is corner + i U + j V, in
// whole steps of the cube's lattice (0..s on each axis).
struct BoxFace {
    std::array<int32_t, 3> corner, u, v;
};

// Outward normal U x V: front -z, back +z, right +x, left -x, top +y, bottom -y.
BoxFace boxFace(int32_t face, int32_t s)
{
    switch (face) {
    case 0: return {{0, s, 0}, {1, 0, 0}, {0, -1, 0}};
    case 1: return {{s, s, s}, {-1, 0, 0}, {0, -1, 0}};
    case 2: return {{s, s, 0}, {0, 0, 1}, {0, -1, 0}};
    case 3: return {{0, s, s}, {0, 0, -1}, {0, -1, 0}};
    case 4: return {{0, s, s}, {1, 0, 0}, {0, 0, -1}};
    default: return {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    }
}

void buildBox(Builder& b, double size, int32_t s)
{
    const auto side = static_cast<size_t>(s + 1);
    // The lattice point's vertex, made on first use, so faces share their edges.
    std::vector<int32_t> lattice(side * side * side, -1);
    const auto at = [&](const std::array<int32_t, 3>& g) {
        int32_t& slot = lattice[(static_cast<size_t>(g[0]) * side + static_cast<size_t>(g[1])) * side +
                                static_cast<size_t>(g[2])];
        const auto place = [&](size_t k) { return (static_cast<double>(g[k]) / s - 0.5) * size; };
        if (slot < 0) slot = b.vertex(place(0), place(1), place(2));
        return slot;
    };
    for (int32_t face = 0; face < 6; ++face) {
        const BoxFace f = boxFace(face, s);
        const auto corner = [&](int32_t i, int32_t j) {
            std::array<int32_t, 3> g{};
            for (size_t k = 0; k < 3; ++k) g[k] = f.corner[k] + i * f.u[k] + j * f.v[k];
            return Corner{at(g), static_cast<float>(i) / static_cast<float>(s),
                          static_cast<float>(j) / static_cast<float>(s)};
        };
        for (int32_t j = 0; j < s; ++j)
            for (int32_t i = 0; i < s; ++i)
                b.quad(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j + 1));
    }
}

// Facing the 3D view as it starts (-z), in the xy plane.
void buildPlane(Builder& b, double size, int32_t s)
{
    const auto side = static_cast<size_t>(s + 1);
    std::vector<int32_t> grid(side * side);
    for (int32_t j = 0; j <= s; ++j)
        for (int32_t i = 0; i <= s; ++i)
            grid[static_cast<size_t>(j) * side + static_cast<size_t>(i)] =
                b.vertex((static_cast<double>(i) / s - 0.5) * size, (0.5 - static_cast<double>(j) / s) * size, 0.0);
    const auto corner = [&](int32_t i, int32_t j) {
        return Corner{grid[static_cast<size_t>(j) * side + static_cast<size_t>(i)],
                      static_cast<float>(i) / static_cast<float>(s), static_cast<float>(j) / static_cast<float>(s)};
    };
    for (int32_t j = 0; j < s; ++j)
        for (int32_t i = 0; i < s; ++i) b.quad(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j + 1));
}

// Around the y axis: step i of n at angle 2 pi i / n from the back (+z), so
// the texture's seam (U 0 and 1) is behind and its middle faces the 3D view.
struct Ring {
    std::vector<double> x, z;  // unit circle, n points

    explicit Ring(int32_t n)
    {
        const double pi = std::acos(-1.0);
        for (int32_t i = 0; i < n; ++i) {
            const double angle = pi + 2.0 * pi * i / n;
            x.push_back(std::sin(angle));
            z.push_back(-std::cos(angle));
        }
    }
};

float fraction(int32_t i, int32_t n) { return static_cast<float>(i) / static_cast<float>(n); }

// The ring of radius r at height y as vertices.
std::vector<int32_t> ringVertices(Builder& b, const Ring& ring, double r, double y)
{
    std::vector<int32_t> out;
    for (size_t i = 0; i < ring.x.size(); ++i) out.push_back(b.vertex(ring.x[i] * r, y, ring.z[i] * r));
    return out;
}

// A flat disc fanned from its centre: facing up (+y) or down, its picture
// seen from outside as the box's top and bottom faces show theirs.
void buildCap(Builder& b, const Ring& ring, const std::vector<int32_t>& rim, double y, bool up)
{
    const auto n = static_cast<int32_t>(rim.size());
    const Corner centre{b.vertex(0.0, y, 0.0), 0.5f, 0.5f};
    const auto corner = [&](int32_t i) {
        const auto k = static_cast<size_t>(i % n);
        const double v = up ? 0.5 - 0.5 * ring.z[k] : 0.5 + 0.5 * ring.z[k];
        return Corner{rim[k], static_cast<float>(0.5 + 0.5 * ring.x[k]), static_cast<float>(v)};
    };
    for (int32_t i = 0; i < n; ++i) {
        if (up)
            b.triangle(centre, corner(i + 1), corner(i));
        else
            b.triangle(centre, corner(i), corner(i + 1));
    }
}

void buildCylinder(Builder& b, double size, int32_t n)
{
    const Ring ring(n);
    const double r = size / 2.0;
    const std::vector<int32_t> top = ringVertices(b, ring, r, r);
    const std::vector<int32_t> bottom = ringVertices(b, ring, r, -r);
    for (int32_t i = 0; i < n; ++i) {
        const auto k = static_cast<size_t>(i), l = static_cast<size_t>((i + 1) % n);
        const float u0 = fraction(i, n), u1 = fraction(i + 1, n);
        b.quad({top[k], u0, 0.0f}, {top[l], u1, 0.0f}, {bottom[l], u1, 1.0f}, {bottom[k], u0, 1.0f});
    }
    buildCap(b, ring, top, r, true);
    buildCap(b, ring, bottom, -r, false);
}

void buildCone(Builder& b, double size, int32_t n)
{
    const Ring ring(n);
    const double r = size / 2.0;
    const int32_t apex = b.vertex(0.0, r, 0.0);
    const std::vector<int32_t> base = ringVertices(b, ring, r, -r);
    for (int32_t i = 0; i < n; ++i) {
        const auto k = static_cast<size_t>(i), l = static_cast<size_t>((i + 1) % n);
        const float u0 = fraction(i, n), u1 = fraction(i + 1, n);
        b.triangle({apex, (u0 + u1) / 2.0f, 0.0f}, {base[l], u1, 1.0f}, {base[k], u0, 1.0f});
    }
    buildCap(b, ring, base, -r, false);
}

// Rings of latitude from the north pole (V 0) to the south pole (V 1).
void buildSphere(Builder& b, double size, int32_t n)
{
    const Ring ring(n);
    const double r = size / 2.0, pi = std::acos(-1.0);
    const int32_t rings = std::max(2, n / 2);
    const int32_t north = b.vertex(0.0, r, 0.0);
    std::vector<std::vector<int32_t>> latitude;
    for (int32_t j = 1; j < rings; ++j) {
        const double angle = pi * j / rings;
        latitude.push_back(ringVertices(b, ring, r * std::sin(angle), r * std::cos(angle)));
    }
    const int32_t south = b.vertex(0.0, -r, 0.0);
    for (int32_t i = 0; i < n; ++i) {
        const auto k = static_cast<size_t>(i), l = static_cast<size_t>((i + 1) % n);
        const float u0 = fraction(i, n), u1 = fraction(i + 1, n), middle = (u0 + u1) / 2.0f;
        b.triangle({north, middle, 0.0f}, {latitude.front()[l], u1, fraction(1, rings)},
                   {latitude.front()[k], u0, fraction(1, rings)});
        for (size_t j = 0; j + 1 < latitude.size(); ++j) {
            const auto row = static_cast<int32_t>(j);
            const float v0 = fraction(row + 1, rings), v1 = fraction(row + 2, rings);
            b.quad({latitude[j][k], u0, v0}, {latitude[j][l], u1, v0}, {latitude[j + 1][l], u1, v1},
                   {latitude[j + 1][k], u0, v1});
        }
        const float v = fraction(rings - 1, rings);
        b.triangle({latitude.back()[k], u0, v}, {latitude.back()[l], u1, v}, {south, middle, 1.0f});
    }
}

}  // namespace

SegmentLimits segmentLimits(Primitive kind)
{
    switch (kind) {
    case Primitive::Box:
    case Primitive::Plane: return {1, 64, 1};
    case Primitive::Cylinder:
    case Primitive::Cone: return {3, 256, 8};
    case Primitive::Sphere: return {3, 256, 12};
    }
    return {};
}

void insertPrimitive(Mesh& mesh, Primitive kind, Vec3 centre, float size, int32_t segments)
{
    const SegmentLimits limits = segmentLimits(kind);
    const int32_t s = std::clamp(segments, limits.minimum, limits.maximum);
    abandonPendingTriangle(mesh);
    deselectAllVertices(mesh);
    Builder b{mesh, centre};
    switch (kind) {
    case Primitive::Box: buildBox(b, size, s); break;
    case Primitive::Plane: buildPlane(b, size, s); break;
    case Primitive::Cylinder: buildCylinder(b, size, s); break;
    case Primitive::Cone: buildCone(b, size, s); break;
    case Primitive::Sphere: buildSphere(b, size, s); break;
    }
}
