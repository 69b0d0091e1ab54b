// fuzz_mesh_file.cpp: the native mesh reader on any bytes. Checks that every
// record becomes a triangle, every corner names a vertex of the list, and that
// sharing agrees with findVertexAt, also when the mesh already has vertices.
#include <bit>
#include <cstdlib>

#include "files/files.h"
#include "mesh/mesh.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

// Reads the bytes corner by corner with the linear findVertexAt.
void readSlowly(Mesh& mesh, std::span<const std::byte> bytes, int32_t factor)
{
    const auto at = [&](size_t offset) {
        uint32_t bits = 0;
        for (size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
            bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
        const float f = std::bit_cast<float>(bits);
        return factor == 1 ? f : f / static_cast<float>(factor);
    };
    for (size_t r = 0; r < bytes.size(); r += 60) {
        Triangle t;
        for (size_t k = 0; k < 3; ++k) {
            const size_t o = r + 20 * k;
            const float x = at(o + 8), y = at(o + 12), z = at(o + 16);
            int32_t p = findVertexAt(mesh, x, y, z);
            if (p < 0) {
                p = static_cast<int32_t>(mesh.vertices.size());
                Vertex& v = appendVertex(mesh);
                v.x = x;
                v.y = y;
                v.z = z;
            }
            t.vertexIndex[k] = p;
        }
        mesh.triangles.push_back(t);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    Mesh mesh;
    readMeshBytes(mesh, bytes, 1);
    check(mesh.triangles.size() == (size + 59) / 60);
    check(mesh.vertices.size() <= 3 * mesh.triangles.size());
    for (const Triangle& t : mesh.triangles)
        for (int32_t p : t.vertexIndex) check(p >= 0 && static_cast<size_t>(p) < mesh.vertices.size());

    // A second read of the same bytes, divided, into the mesh that is already there.
    const int32_t factor = size > 0 ? static_cast<int8_t>(data[0]) : 3;
    Mesh slow = mesh;
    readMeshBytes(mesh, bytes, factor);
    if (size <= 60 * 64) {
        if (factor != 0) readSlowly(slow, bytes, factor);
        check(mesh.vertices.size() == slow.vertices.size() && mesh.triangles.size() == slow.triangles.size());
        for (size_t i = 0; i < mesh.triangles.size(); ++i)
            check(mesh.triangles[i].vertexIndex == slow.triangles[i].vertexIndex);
    }
    check(writeMeshBytes(mesh).size() == 60 * mesh.triangles.size());
    return 0;
}
