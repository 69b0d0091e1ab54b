// asc_import.cpp: the 3D-Studio ASCII export reader, a line-by-line keyword
// scanner. Per line: the keyword is the text before the first blank, compared
// without regard to case; the rest is the text after the first ":"; field n is
// the n-th piece of the rest cut at every ":". "named" starts an object,
// "vertex" adds the vertex (field 2, field 3, field 4) / factor, "face" adds a
// triangle on corners (field 2, 3, 4) + object start + 1. Appends to the mesh.
#include "files/files.h"
#include "files/process_io.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <utility>

namespace {

// True when the line's keyword (the text before its first blank) is
// `lowerCase`, compared without regard to case.
bool keywordIs(std::string_view line, std::string_view lowerCase)
{
    if (line.size() < lowerCase.size()) return false;
    if (line.size() > lowerCase.size() && line[lowerCase.size()] != ' ') return false;
    for (size_t i = 0; i < lowerCase.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerCase[i]) return false;
    }
    return true;
}

// Fields 2, 3 and 4 of a line; empty where the rest has fewer pieces.
std::array<std::string_view, 3> fieldsOf(std::string_view line)
{
    // The first five colons end the keyword part, pieces 1 to 3 and field 4.
    std::array<size_t, 5> colons{};
    size_t found = 0, i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time, compared at once.
    for (; i + 16 <= line.size() && found < colons.size(); i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8(':'))));
             mask != 0 && found < colons.size(); mask &= mask - 1)
            colons[found++] = i + static_cast<size_t>(std::countr_zero(mask));
    }
#endif
    for (; i < line.size() && found < colons.size(); ++i)
        if (line[i] == ':') colons[found++] = i;
    if (found < colons.size()) colons[found] = line.size();
    std::array<std::string_view, 3> fields{};
    for (size_t n = 0; n < fields.size() && n + 2 <= found; ++n)
        fields[n] = line.substr(colons[n + 1] + 1, colons[n + 2] - colons[n + 1] - 1);
    return fields;
}

enum class AscLine { Other, Named, Vertex, Face };

// What a line does, by its keyword: the text before its first blank.
AscLine kindOf(std::string_view line)
{
    if (keywordIs(line, "vertex")) return AscLine::Vertex;
    if (keywordIs(line, "face")) return AscLine::Face;
    if (keywordIs(line, "named")) return AscLine::Named;
    return AscLine::Other;
}

// Calls visit(kind, line) for every line of the text, in order.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const std::string_view line = nextTextLine(text, pos);
        visit(kindOf(line), line);
    }
}

// A corner number plus the object start and one, saturated to 32 bits; reading
// it as a position clamps it into the vertex list.
int32_t cornerPosition(int32_t number, int64_t objectStart)
{
    const int64_t position = int64_t{number} + objectStart + 1;
    return static_cast<int32_t>(std::clamp<int64_t>(position, std::numeric_limits<int32_t>::min(),
                                                     std::numeric_limits<int32_t>::max()));
}

// Records that a run reads, in blocks that never move: growing never copies
// or holds twice what is there. Blocks double from a small one up to a cap,
// each allowed by the memory check before it is taken.
template <typename T>
class BlockList {
public:
    explicit BlockList(const MemoryCheck& mayTake) : mayTake_(mayTake) {}

    void push_back(const T& record)
    {
        if (count_ == capacity_) grow();
        blocks_.back()[count_ - blockStart_] = record;
        ++count_;
    }
    T& back() { return blocks_.back()[count_ - 1 - blockStart_]; }
    bool empty() const { return count_ == 0; }
    size_t size() const { return count_; }
    const T& operator[](size_t i) const
    {
        // Blocks 0 to `doublings` double in size and end together at `doubled`; the rest are all of the largest size.
        constexpr size_t doubled = firstBlock * ((size_t{2} << doublings) - 1);
        if (i >= doubled) return blocks_[doublings + 1 + (i - doubled) / largest][(i - doubled) % largest];
        const auto b = static_cast<size_t>(std::bit_width(i / firstBlock + 1) - 1);
        return blocks_[b][i - firstBlock * ((size_t{1} << b) - 1)];
    }
    // Calls visit(record) for every record in order.
    template <typename Visit>
    void forEach(Visit visit) const
    {
        size_t left = count_;
        for (size_t b = 0; b < blocks_.size() && left > 0; ++b) {
            const size_t n = std::min(left, firstBlock << std::min(b, doublings));
            std::for_each(blocks_[b].get(), blocks_[b].get() + n, visit);
            left -= n;
        }
    }

private:
    static constexpr size_t firstBlock = 1024;
    static constexpr size_t doublings = 10;
    static constexpr size_t largest = firstBlock << doublings;  // a million records

    void grow()
    {
        const size_t records = firstBlock << std::min(blocks_.size(), doublings);
        if (!mayTake_(records * sizeof(T))) throw std::bad_alloc();
        blocks_.push_back(std::make_unique_for_overwrite<T[]>(records));
        blockStart_ = capacity_;
        capacity_ += records;
    }

    const MemoryCheck& mayTake_;
    std::vector<std::unique_ptr<T[]>> blocks_;
    size_t count_ = 0, capacity_ = 0, blockStart_ = 0;
};

struct AscVertex {
    float x, y, z;
};
using AscFace = std::array<int32_t, 3>;  // corner numbers as read
// Where a "named" line starts an object: the faces and the vertices the run has before it.
struct AscObject {
    size_t faces, vertices;
};

// One run of whole lines read into lists of its own, a record a line of 12 or
// 16 bytes. A face keeps the corner numbers as read: the object start they
// count from may lie in an earlier run.
struct RunRead {
    explicit RunRead(const MemoryCheck& mayTake) : vertices(mayTake), faces(mayTake), objects(mayTake) {}
    BlockList<AscVertex> vertices;
    BlockList<AscFace> faces;
    // Objects with no face between them keep only the last: no face counts from the others.
    BlockList<AscObject> objects;
    bool read = false;
};

// Reads the text as two runs of whole lines, side by side when `together`:
// lines(run, visit) calls visit(kind, line) for each line of run 0 or 1 and
// returns false when they cannot be read. Each run is read once into lists of
// its own; then both are put in place after the mesh's own records, each by
// its own thread, the corners counted from their objects' starts. False, with
// the mesh unchanged, when a run cannot be read; std::bad_alloc, with the mesh
// unchanged, when the memory check refuses.
template <typename Lines>
bool readRuns(Mesh& mesh, const Lines& lines, bool together, int32_t factor, const MemoryCheck& mayTake)
{
    const auto both = [together](const std::function<void()>& first, const std::function<void()>& second) {
        if (together) {
            runSideBySide(first, second);
        } else {
            first();
            second();
        }
    };
    const float divisor = static_cast<float>(factor);
    std::array<RunRead, 2> runs{RunRead(mayTake), RunRead(mayTake)};
    const auto readRun = [&](size_t r) {
        RunRead& run = runs[r];
        run.read = lines(r, [&run, divisor](AscLine kind, std::string_view line) {
            if (kind == AscLine::Named) {
                const AscObject object{run.faces.size(), run.vertices.size()};
                if (!run.objects.empty() && run.objects.back().faces == object.faces)
                    run.objects.back() = object;
                else
                    run.objects.push_back(object);
            } else if (kind == AscLine::Vertex) {
                const auto fields = fieldsOf(line);
                run.vertices.push_back({readDecimalFloat(fields[0]) / divisor, readDecimalFloat(fields[1]) / divisor,
                                        readDecimalFloat(fields[2]) / divisor});
            } else if (kind == AscLine::Face) {
                const auto fields = fieldsOf(line);
                run.faces.push_back({readWhole(fields[0]), readWhole(fields[1]), readWhole(fields[2])});
            }
        });
    };
    both([&] { readRun(0); }, [&] { readRun(1); });
    if (!runs[0].read || !runs[1].read) return false;

    const size_t vertex = mesh.vertices.size(), triangle = mesh.triangles.size();
    const size_t vertices0 = runs[0].vertices.size(), triangles0 = runs[0].faces.size();
    const size_t vertexCount = vertex + vertices0 + runs[1].vertices.size();
    const size_t triangleCount = triangle + triangles0 + runs[1].faces.size();
    // The finished lists, asked for whole before either grows.
    const size_t newVertices = vertexCount > mesh.vertices.capacity() ? vertexCount : 0;
    const size_t newTriangles = triangleCount > mesh.triangles.capacity() ? triangleCount : 0;
    if (!mayTake(newVertices * sizeof(Vertex) + newTriangles * sizeof(Triangle))) throw std::bad_alloc();
    mesh.vertices.reserve(vertexCount);
    mesh.triangles.reserve(triangleCount);
    mesh.vertices.resize(vertexCount);
    mesh.triangles.resize(triangleCount);
    const auto place = [&](size_t r) {
        const RunRead& run = runs[r];
        const size_t vertexAt = vertex + (r == 0 ? 0 : vertices0);
        size_t at = vertexAt;
        run.vertices.forEach([&](const AscVertex& v) { mesh.vertices[at++] = {v.x, v.y, v.z, 1, 0}; });
        // Until the run names an object, its faces count from the last object
        // the runs before it named, or from the mesh's end when none did.
        auto objectStart = static_cast<int64_t>(vertex);
        if (const auto& before = runs[0].objects; r == 1 && !before.empty())
            objectStart += static_cast<int64_t>(before[before.size() - 1].vertices);
        const auto& objects = run.objects;
        size_t object = 0, face = 0;
        at = triangle + (r == 0 ? 0 : triangles0);
        run.faces.forEach([&](const AscFace& corners) {
            for (; object < objects.size() && objects[object].faces == face; ++object)
                objectStart = static_cast<int64_t>(vertexAt + objects[object].vertices);
            Triangle& t = mesh.triangles[at++];
            for (size_t k = 0; k < 3; ++k) t.vertexIndex[k] = cornerPosition(corners[k], objectStart);
            ++face;
        });
    };
    both([&] { place(0); }, [&] { place(1); });
    return true;
}

// Where the line after the first line end at or past `middle` starts; the
// lines of text up to it and from it are the lines of the whole text.
size_t lineStartAfter(std::string_view text, size_t middle)
{
    if (middle >= text.size()) return text.size();
    nextTextLine(text, middle);
    return middle;
}

// Texts from this size on are read by both cores.
constexpr size_t twoRunsFrom = size_t{1} << 20;
// Smaller allocations are not worth asking the system about.
constexpr uint64_t checkedFrom = uint64_t{1} << 20;

}  // namespace

bool mayTakeMemory(uint64_t bytes)
{
    return bytes < checkedFrom || bytes < memoryAvailable();
}

void importAscText(Mesh& mesh, std::string_view text, int32_t factor, const MemoryCheck& mayTake)
{
    if (factor == 0) return;
    const bool together = text.size() >= twoRunsFrom;
    const size_t split = together ? lineStartAfter(text, text.size() / 2) : text.size();
    const std::array<std::string_view, 2> runs{text.substr(0, split), text.substr(split)};
    readRuns(
        mesh,
        [&runs](size_t run, const auto& visit) {
            forEachLine(runs[run], visit);
            return true;
        },
        together, factor, mayTake);
}

bool importAsc(Mesh& mesh, const std::string& path, int32_t factor, const MemoryCheck& mayTake)
{
    size_t length = 0;
    FileDescriptor file(openRegularFile(path, length));
    if (file.fd < 0) return false;
    // Refused before reading: a sparse or huge file must not end the program.
    if (!mayTake(length)) throw std::bad_alloc();
    if (factor == 0) return true;

    // The file is read in pieces, never whole: in two runs split at a line
    // start near its middle, the second to the file's end.
    const bool together = length >= twoRunsFrom;
    size_t split = std::string_view::npos;
    if (together) {
        std::array<char, 65536> window{};
        const auto n = readFileAt(file.fd, std::as_writable_bytes(std::span(window)), length / 2);
        if (!n) return false;
        // Not at the window's end: an LF read later might still end that line.
        const size_t found = lineStartAfter(std::string_view(window.data(), *n), 0);
        if (found < *n) split = length / 2 + found;
    }
    const std::array<std::pair<size_t, size_t>, 2> runs{std::pair{size_t{0}, split},
                                                        std::pair{split, std::string_view::npos}};
    std::array<std::vector<char>, 2> buffers{std::vector<char>(size_t{1} << 18), std::vector<char>(size_t{1} << 18)};
    return readRuns(
        mesh,
        [&](size_t run, const auto& visit) {
            return forEachFileText(file.fd, runs[run].first, runs[run].second, buffers[run],
                                   [&visit](std::string_view lines) { forEachLine(lines, visit); });
        },
        together && split != std::string_view::npos, factor, mayTake);
}
