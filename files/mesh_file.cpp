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

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>
#include <optional>
#include <utility>

namespace {

constexpr size_t cornerBytes = 20;
constexpr size_t triangleBytes = 3 * cornerBytes;

// Finds vertices by exact position in O(1), returning what findVertexAt would:
// open addressing over positions in a vertex list, where each distinct
// position is held once, by its earliest vertex. NaN positions are never held.
// Sized once, for `distinct` positions at most, in a list that never grows
// past `longest` vertices.
// A slot holds the vertex's position in the list and, in the bits that
// position never needs, more bits of its hash: most slots of other positions
// are passed over without reading their vertex.
class VertexIndex {
public:
    // Holds no position yet.
    VertexIndex(const LargeList<Vertex>& vertices, size_t distinct, size_t longest) : vertices_(vertices)
    {
        const size_t slots = std::bit_ceil(2 * distinct + 2);
        slots_.assign(slots, empty);
        mask_ = slots_.size() - 1;
        // Below the tag, a position's bits are never all ones: no entry reads as empty.
        const int positionBits = std::bit_width(longest);
        tagMask_ = positionBits >= 32 ? 0 : ~uint32_t{0} << positionBits;
    }

    // Holds the mesh's vertices, with room for `added` more distinct positions.
    VertexIndex(const Mesh& mesh, size_t added, size_t longest)
        : VertexIndex(mesh.vertices, mesh.vertices.size() + added, longest)
    {
        for (size_t i = 0; i < mesh.vertices.size(); ++i) {
            const Vertex& v = mesh.vertices[i];
            findOrClaim(hash(v.x, v.y, v.z), v.x, v.y, v.z, static_cast<int32_t>(i));
        }
    }

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

    // Starts fetching the slot a later lookup of this hash reads first.
    void prefetch(size_t h) const { __builtin_prefetch(&slots_[h & mask_]); }

    // Position of the first vertex at (x, y, z), whose hash is h. When there is
    // none, the position becomes `position`'s (unless it holds a NaN) and -1 is
    // returned: the caller puts that vertex there before the next lookup.
    int32_t findOrClaim(size_t h, float x, float y, float z, int32_t position)
    {
        if (std::isnan(x) || std::isnan(y) || std::isnan(z)) return -1;
        const uint32_t tag = static_cast<uint32_t>(h >> 32) & tagMask_;
        for (size_t slot = h & mask_;; slot = (slot + 1) & mask_) {
            const uint32_t held = slots_[slot];
            if (held == empty) {
                slots_[slot] = tag | static_cast<uint32_t>(position);
                return -1;
            }
            if ((held & tagMask_) != tag) continue;
            const auto p = static_cast<int32_t>(held & ~tagMask_);
            const Vertex& v = vertices_[static_cast<size_t>(p)];
            if (v.x == x && v.y == y && v.z == z) return p;
        }
    }

private:
    static constexpr uint32_t empty = ~uint32_t{0};
    const LargeList<Vertex>& vertices_;
    LargeList<uint32_t> slots_;
    size_t mask_ = 0;
    uint32_t tagMask_ = 0;
};

// The little-endian float at p.
float floatAt(const std::byte* p)
{
    const auto byte = [p](int i) { return static_cast<uint32_t>(p[i]) << (8 * i); };
    return std::bit_cast<float>(byte(0) | byte(1) | byte(2) | byte(3));
}

// Appends the triangles of whole records, and the vertices they need.
void appendRecords(Mesh& mesh, VertexIndex& index, std::span<const std::byte> records, int32_t factor)
{
    const float divisor = static_cast<float>(factor);
    const auto positionAt = [&](size_t corner) {
        const std::byte* p = records.data() + corner * cornerBytes + 8;
        const Vec3 v{floatAt(p), floatAt(p + 4), floatAt(p + 8)};
        return factor == 1 ? v : Vec3{v.x / divisor, v.y / divisor, v.z / divisor};
    };
    const auto hashOf = [](Vec3 v) { return VertexIndex::hash(v.x, v.y, v.z); };

    // The slots of the next few corners are fetched while this one is looked up.
    constexpr size_t ahead = 16;
    const size_t corners = records.size() / cornerBytes;
    std::array<size_t, ahead> hashes{};
    for (size_t c = 0; c < std::min(ahead, corners); ++c) {
        hashes[c] = hashOf(positionAt(c));
        index.prefetch(hashes[c]);
    }
    Triangle t;
    for (size_t c = 0; c < corners; ++c) {
        const Vec3 p = positionAt(c);
        const size_t h = hashes[c % ahead];
        if (c + ahead < corners) {
            hashes[c % ahead] = hashOf(positionAt(c + ahead));
            index.prefetch(hashes[c % ahead]);
        }
        const auto next = static_cast<int32_t>(mesh.vertices.size());
        int32_t position = index.findOrClaim(h, p.x, p.y, p.z, next);
        if (position < 0) {
            mesh.vertices.push_back({p.x, p.y, p.z, 1, 0});
            position = next;
        }
        const size_t k = c % 3;
        const std::byte* corner = records.data() + c * cornerBytes;
        t.u[k] = floatAt(corner);
        t.v[k] = floatAt(corner + 4);
        t.vertexIndex[k] = position;
        if (k == 2) mesh.triangles.push_back(t);
    }
}

// Makes room in both lists for all a file of `length` bytes can add, once,
// and returns how many vertices that is. Throws std::bad_alloc, with the mesh
// unchanged, when that and the index would not fit in memory.
size_t roomForRead(Mesh& mesh, size_t length)
{
    const size_t records = (length + triangleBytes - 1) / triangleBytes;
    // Every corner a new vertex, and the index at four slots per vertex.
    const uint64_t needed = records * (sizeof(Triangle) + 3 * (sizeof(Vertex) + 4 * sizeof(int32_t)));
    if (needed >= memoryAvailable()) throw std::bad_alloc();
    mesh.triangles.reserve(mesh.triangles.size() + records);
    mesh.vertices.reserve(mesh.vertices.size() + 3 * records);
    return 3 * records;
}

// Appends the triangles of whole records, perhaps followed by the start of
// one more, whose missing bytes read as zero.
void appendBytes(Mesh& mesh, VertexIndex& index, std::span<const std::byte> bytes, int32_t factor)
{
    const size_t whole = bytes.size() / triangleBytes;
    appendRecords(mesh, index, bytes.first(whole * triangleBytes), factor);
    if (bytes.size() > whole * triangleBytes) {
        std::array<std::byte, triangleBytes> last{};
        std::copy(bytes.begin() + static_cast<ptrdiff_t>(whole * triangleBytes), bytes.end(), last.begin());
        appendRecords(mesh, index, last, factor);
    }
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

size_t verticesInNoTriangle(const Mesh& mesh)
{
    std::vector<bool> used(mesh.vertices.size());
    for (const Triangle& t : std::span(mesh.triangles).first(writtenTriangleCount(mesh)))
        for (const int32_t corner : t.vertexIndex) used[static_cast<size_t>(clampVertexPosition(mesh, corner))] = true;
    return static_cast<size_t>(std::count(used.begin(), used.end(), false));
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

void shareCornerPositions(Mesh& mesh)
{
    mesh.triangles.resize(writtenTriangleCount(mesh));
    mesh.pendingCorner = 0;
    const LargeList<Vertex> listed = std::exchange(mesh.vertices, {});
    const auto last = static_cast<int32_t>(listed.size()) - 1;
    // First the earliest listed vertex at each listed vertex's position, -1
    // for NaN positions, which are never shared: a pass in list order, with
    // the slots of the vertices a little ahead fetched meanwhile.
    LargeList<int32_t> firstListed(listed.size());
    {
        VertexIndex index(listed, listed.size(), listed.size());
        const auto hashOf = [](const Vertex& v) { return VertexIndex::hash(v.x, v.y, v.z); };
        constexpr size_t ahead = 16;
        for (size_t i = 0; i < listed.size(); ++i) {
            if (i + ahead < listed.size()) index.prefetch(hashOf(listed[i + ahead]));
            const Vertex& v = listed[i];
            const auto position = static_cast<int32_t>(i);
            const int32_t found = index.findOrClaim(hashOf(v), v.x, v.y, v.z, position);
            const bool nan = std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z);
            firstListed[i] = found >= 0 ? found : nan ? -1 : position;
        }
    }
    // Then the vertices in the order the corners first use their positions,
    // each as the listed vertex of that first corner.
    mesh.vertices.reserve(std::min(listed.size(), 3 * mesh.triangles.size()));
    LargeList<int32_t> sharedAs(listed.size(), -1);  // by first listed vertex
    for (Triangle& t : mesh.triangles) {
        t.selected = 0;
        for (int32_t& corner : t.vertexIndex) {
            const auto i = static_cast<size_t>(std::clamp(corner, 0, last));
            const int32_t first = firstListed[i];
            if (first >= 0 && sharedAs[static_cast<size_t>(first)] >= 0) {
                corner = sharedAs[static_cast<size_t>(first)];
                continue;
            }
            corner = static_cast<int32_t>(mesh.vertices.size());
            mesh.vertices.push_back({listed[i].x, listed[i].y, listed[i].z, 1, 0});
            if (first >= 0) sharedAs[static_cast<size_t>(first)] = corner;
        }
    }
}

void readMeshBytes(Mesh& mesh, std::span<const std::byte> bytes, int32_t factor)
{
    if (factor == 0) return;
    const size_t added = roomForRead(mesh, bytes.size());
    VertexIndex index(mesh, added, mesh.vertices.size() + added);
    appendBytes(mesh, index, bytes, factor);
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
    // Read in pieces of whole records, so the file is never held in memory.
    std::vector<std::byte> buffer(16384 * triangleBytes);
    std::optional<VertexIndex> index;
    const size_t vertices = mesh.vertices.size(), triangles = mesh.triangles.size();
    const auto start = [&](size_t length) {
        if (factor == 0) return;
        const size_t added = roomForRead(mesh, length);
        index.emplace(mesh, added, mesh.vertices.size() + added);
    };
    const bool read = readFileInPieces(path, buffer, start, [&](std::span<const std::byte> piece) {
        if (index) appendBytes(mesh, *index, piece, factor);
    });
    if (!read) {  // a file that cannot be read changes nothing
        mesh.vertices.resize(vertices);
        mesh.triangles.resize(triangles);
    }
    return read;
}
