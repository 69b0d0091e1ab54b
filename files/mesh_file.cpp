// mesh_file.cpp: the native mesh file (.pq), its reader and writer.
//
// Format: no header, one 60-byte record per triangle in triangle-list order.
// A record is three 20-byte corner records, corners 0, 1, 2 (the winding).
// A corner record is five IEEE-754 32-bit floats, little-endian:
//   U, V    the texture coordinate the triangle holds for this corner,
//   X, Y, Z the position of the vertex the corner uses.
// The file holds no vertex table: on reading, corners at exactly equal
// positions share one vertex again (first match in list order, +0 equals -0,
// NaN matches nothing), including vertices already in the mesh. A file whose
// length is not a multiple of 60 ends in one more triangle whose missing bytes
// read as zero; an empty file is an empty triangle list. A triangle still under
// construction (Mesh::pendingCorner) is not written, nor are triangles while
// the vertex list is empty.
#include "files/files.h"

#include <bit>
#include <cmath>
#include <new>

namespace {

constexpr size_t cornerBytes = 20;
constexpr size_t triangleBytes = 3 * cornerBytes;

// Finds vertices by exact position in O(1), returning what findVertexAt would:
// open addressing over positions in the mesh's vertex list, where each distinct
// position is held once, by its earliest vertex. NaN positions are never held.
class VertexIndex {
public:
    explicit VertexIndex(const Mesh& mesh) : mesh_(mesh)
    {
        grow(mesh.vertices.size() + 1024);
        for (size_t i = 0; i < mesh.vertices.size(); ++i) {
            const Vertex& v = mesh.vertices[i];
            if (find(v.x, v.y, v.z) < 0) insert(static_cast<int32_t>(i));
        }
    }

    // Position of the first vertex at (x, y, z), or -1.
    int32_t find(float x, float y, float z) const
    {
        if (std::isnan(x) || std::isnan(y) || std::isnan(z)) return -1;
        for (size_t slot = hash(x, y, z) & mask_;; slot = (slot + 1) & mask_) {
            const int32_t p = slots_[slot];
            if (p < 0) return -1;
            const Vertex& v = mesh_.vertices[static_cast<size_t>(p)];
            if (v.x == x && v.y == y && v.z == z) return p;
        }
    }

    // Adds the vertex at this position of the list; find() must have missed it.
    void insert(int32_t position)
    {
        const Vertex& v = mesh_.vertices[static_cast<size_t>(position)];
        if (std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z)) return;
        if (2 * (used_ + 1) > slots_.size()) grow(slots_.size());
        place(position);
        ++used_;
    }

private:
    // Equal floats hash equally: -0 is folded into +0 first.
    static size_t hash(float x, float y, float z)
    {
        const auto bits = [](float f) { return static_cast<uint64_t>(std::bit_cast<uint32_t>(f == 0.0f ? 0.0f : f)); };
        uint64_t h = (bits(x) * 0x9E3779B97F4A7C15ull) ^ (bits(y) * 0xC2B2AE3D27D4EB4Full) ^
                     (bits(z) * 0x165667B19E3779F9ull);
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 32;
        return static_cast<size_t>(h);
    }

    void place(int32_t position)
    {
        const Vertex& v = mesh_.vertices[static_cast<size_t>(position)];
        size_t slot = hash(v.x, v.y, v.z) & mask_;
        while (slots_[slot] >= 0) slot = (slot + 1) & mask_;
        slots_[slot] = position;
    }

    // At least twice `wanted` slots, a power of two; re-places what is held.
    void grow(size_t wanted)
    {
        std::vector<int32_t> old = std::move(slots_);
        slots_.assign(std::bit_ceil(2 * wanted), -1);
        mask_ = slots_.size() - 1;
        for (int32_t p : old)
            if (p >= 0) place(p);
    }

    const Mesh& mesh_;
    std::vector<int32_t> slots_;
    size_t mask_ = 0;
    size_t used_ = 0;
};

// Reads the float at `offset`; bytes past the end read as zero.
float floatAt(std::span<const std::byte> bytes, size_t offset)
{
    uint32_t bits = 0;
    for (size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
        bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return std::bit_cast<float>(bits);
}

void putFloat(std::byte* out, float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::byte>(bits >> (8 * i));
}

}  // namespace

size_t writtenTriangleCount(const Mesh& mesh)
{
    // A triangle under construction is not part of the document yet, and
    // triangles without any vertex to stand on (an ASC file of faces only)
    // have no positions to write.
    const size_t pending = mesh.pendingCorner != 0 && !mesh.triangles.empty() ? 1 : 0;
    return mesh.vertices.empty() ? 0 : mesh.triangles.size() - pending;
}

std::vector<std::byte> writeMeshBytes(const Mesh& mesh)
{
    const size_t count = writtenTriangleCount(mesh);
    std::vector<std::byte> bytes(count * triangleBytes);
    std::byte* out = bytes.data();
    for (const Triangle& t : std::span(mesh.triangles).first(count)) {
        for (size_t k = 0; k < 3; ++k) {
            const Vec3 p = vertexPosition(mesh, t.vertexIndex[k]);
            putFloat(out, t.u[k]);
            putFloat(out + 4, t.v[k]);
            putFloat(out + 8, p.x);
            putFloat(out + 12, p.y);
            putFloat(out + 16, p.z);
            out += cornerBytes;
        }
    }
    return bytes;
}

void readMeshBytes(Mesh& mesh, std::span<const std::byte> bytes, int32_t factor)
{
    if (factor == 0) return;
    const float divisor = static_cast<float>(factor);
    const auto scaled = [&](float value) { return factor == 1 ? value : value / divisor; };

    // The most it can take: every corner a new vertex, and the index at four
    // slots per vertex.
    const uint64_t triangles = (bytes.size() + triangleBytes - 1) / triangleBytes;
    const uint64_t needed = triangles * (sizeof(Triangle) + 3 * (sizeof(Vertex) + 4 * sizeof(int32_t)));
    if (needed >= memoryAvailable()) throw std::bad_alloc();

    VertexIndex index(mesh);
    mesh.triangles.reserve(mesh.triangles.size() + (bytes.size() + triangleBytes - 1) / triangleBytes);
    for (size_t record = 0; record < bytes.size(); record += triangleBytes) {
        Triangle t;
        for (size_t k = 0; k < 3; ++k) {
            const size_t at = record + k * cornerBytes;
            t.u[k] = floatAt(bytes, at);
            t.v[k] = floatAt(bytes, at + 4);
            const float x = scaled(floatAt(bytes, at + 8));
            const float y = scaled(floatAt(bytes, at + 12));
            const float z = scaled(floatAt(bytes, at + 16));
            int32_t position = index.find(x, y, z);
            if (position < 0) {
                position = static_cast<int32_t>(mesh.vertices.size());
                Vertex& v = appendVertex(mesh);
                v.x = x;
                v.y = y;
                v.z = z;
                v.selected = 1;
                index.insert(position);
            }
            t.vertexIndex[k] = position;
        }
        appendTriangle(mesh) = t;
    }
}

std::string saveMeshFile(const Mesh& mesh, const std::string& path)
{
    return writeFileReplacing(path, writeMeshBytes(mesh));
}

bool loadMeshFile(Mesh& mesh, const std::string& path)
{
    return mergeMeshFile(mesh, path, 1);
}

bool mergeMeshFile(Mesh& mesh, const std::string& path, int32_t factor)
{
    const auto bytes = readFileBytes(path);
    if (!bytes) return false;
    readMeshBytes(mesh, *bytes, factor);
    return true;
}
