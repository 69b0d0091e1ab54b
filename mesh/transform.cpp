// transform.cpp: moving, scaling and rotating the selected vertices about their centre,
// and the fixed pattern of automatic texture coordinates.
#include "mesh/mesh.h"

#include <cmath>

std::optional<Vec3> selectionCentre(const Mesh& mesh)
{
    double sx = 0.0, sy = 0.0, sz = 0.0;
    int64_t n = 0;
    for (const Vertex& v : mesh.vertices) {
        if (v.selected != 1) continue;
        sx += v.x;
        sy += v.y;
        sz += v.z;
        ++n;
    }
    if (n == 0) return std::nullopt;
    const auto count = static_cast<double>(n);
    return Vec3{static_cast<float>(sx / count), static_cast<float>(sy / count),
                static_cast<float>(sz / count)};
}

void translateSelectedVertices(Mesh& mesh, double dx, double dy, double dz)
{
    for (Vertex& v : mesh.vertices) {
        if (v.selected != 1) continue;
        v.x = static_cast<float>(v.x + dx);
        v.y = static_cast<float>(v.y + dy);
        v.z = static_cast<float>(v.z + dz);
    }
}

void scaleSelectedVertices(Mesh& mesh, Vec3 c, float sx, float sy, float sz)
{
    for (Vertex& v : mesh.vertices) {
        if (v.selected != 1) continue;
        v.x = (v.x - c.x) * sx + c.x;
        v.y = (v.y - c.y) * sy + c.y;
        v.z = (v.z - c.z) * sz + c.z;
    }
}

int32_t roundAngle(float degrees)
{
    if (!std::isfinite(degrees)) return 0;
    return static_cast<int32_t>(std::fmod(roundHalfEven(degrees), 360.0));
}

namespace {
// pi as the program has always had it: 4 atan 1 rounded to a 32-bit float.
const double kPi = static_cast<double>(static_cast<float>(4.0 * std::atan(1.0)));
}  // namespace

double degCos(int32_t degrees) { return std::cos(degrees * kPi / 180.0); }
double degSin(int32_t degrees) { return std::sin(degrees * kPi / 180.0); }

Vec3 rotateVector(float x, float y, float z, int32_t ax, int32_t ay, int32_t az)
{
    const double cX = degCos(ax), sX = degSin(ax);
    const double cY = degCos(ay), sY = degSin(ay);
    const double cZ = degCos(az), sZ = degSin(az);
    const double px = x, py = y, pz = z;
    const double rx = px * cY * cZ - py * cY * sZ + pz * sY;
    const double ry = px * (cX * sZ + sX * sY * cZ) + py * (cX * cZ - sX * sY * sZ) - pz * sX * cY;
    const double rz = px * (sX * sZ - cX * sY * cZ) + py * (sX * cZ + cX * sY * sZ) + pz * cX * cY;
    return {static_cast<float>(rx), static_cast<float>(ry), static_cast<float>(rz)};
}

void rotateSelectedVertices(Mesh& mesh, Vec3 c, int32_t ax, int32_t ay, int32_t az)
{
    for (Vertex& v : mesh.vertices) {
        if (v.selected != 1) continue;
        const Vec3 r = rotateVector(v.x - c.x, v.y - c.y, v.z - c.z, ax, ay, az);
        v.x = r.x + c.x;
        v.y = r.y + c.y;
        v.z = r.z + c.z;
    }
}

void autoTexCoords(Mesh& mesh, float min, float max)
{
    bool second = false;
    for (Triangle& t : mesh.triangles) {
        t.u = {min, max, second ? max : min};
        t.v = {min, second ? min : max, max};
        second = !second;
    }
}
