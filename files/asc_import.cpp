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

// One run of whole lines read into lists of its own. A face keeps the corner
// numbers as read: the object start they count from may lie in an earlier run.
struct RunRead {
    LargeList<Vertex> vertices;
    LargeList<Triangle> triangles;
    // For each "named" line: the faces and the vertices the run has before it.
    std::vector<std::pair<size_t, size_t>> objects;
    bool read = false;
};

// Reads the text as two runs of whole lines, side by side when `together`:
// lines(run, visit) calls visit(kind, line) for each line of run 0 or 1 and
// returns false when they cannot be read. Each run is read once into lists of
// its own; then both are put in place after the mesh's own records, each by
// its own thread, the corners counted from their objects' starts. False, with
// the mesh unchanged, when a run cannot be read.
template <typename Lines>
bool readRuns(Mesh& mesh, const Lines& lines, bool together, int32_t factor)
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
    std::array<RunRead, 2> runs;
    const auto readRun = [&](size_t r) {
        RunRead& run = runs[r];
        run.read = lines(r, [&run, divisor](AscLine kind, std::string_view line) {
            if (kind == AscLine::Named) {
                run.objects.emplace_back(run.triangles.size(), run.vertices.size());
            } else if (kind == AscLine::Vertex) {
                const auto fields = fieldsOf(line);
                run.vertices.push_back({readDecimalFloat(fields[0]) / divisor, readDecimalFloat(fields[1]) / divisor,
                                        readDecimalFloat(fields[2]) / divisor, 1, 0});
            } else if (kind == AscLine::Face) {
                const auto fields = fieldsOf(line);
                Triangle& t = run.triangles.emplace_back();
                for (size_t k = 0; k < 3; ++k) t.vertexIndex[k] = readWhole(fields[k]);
            }
        });
    };
    both([&] { readRun(0); }, [&] { readRun(1); });
    if (!runs[0].read || !runs[1].read) return false;

    const size_t vertex = mesh.vertices.size(), triangle = mesh.triangles.size();
    const size_t vertices0 = runs[0].vertices.size(), triangles0 = runs[0].triangles.size();
    mesh.vertices.resize(vertex + vertices0 + runs[1].vertices.size());
    mesh.triangles.resize(triangle + triangles0 + runs[1].triangles.size());
    const auto place = [&](size_t r) {
        const RunRead& run = runs[r];
        const size_t vertexAt = vertex + (r == 0 ? 0 : vertices0);
        std::copy(run.vertices.begin(), run.vertices.end(), mesh.vertices.begin() + static_cast<ptrdiff_t>(vertexAt));
        // Until the run names an object, its faces count from the last object
        // the runs before it named, or from the mesh's end when none did.
        auto objectStart = static_cast<int64_t>(vertex);
        if (r == 1 && !runs[0].objects.empty()) objectStart += static_cast<int64_t>(runs[0].objects.back().second);
        size_t object = 0;
        for (size_t i = 0; i < run.triangles.size(); ++i) {
            for (; object < run.objects.size() && run.objects[object].first == i; ++object)
                objectStart = static_cast<int64_t>(vertexAt + run.objects[object].second);
            Triangle& t = mesh.triangles[triangle + (r == 0 ? 0 : triangles0) + i];
            for (size_t k = 0; k < 3; ++k) t.vertexIndex[k] = cornerPosition(run.triangles[i].vertexIndex[k], objectStart);
        }
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

}  // namespace

void importAscText(Mesh& mesh, std::string_view text, int32_t factor)
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
        together, factor);
}

bool importAsc(Mesh& mesh, const std::string& path, int32_t factor)
{
    size_t length = 0;
    FileDescriptor file(openRegularFile(path, length));
    if (file.fd < 0) return false;
    // Refused before reading: a sparse or huge file must not end the program.
    if (length >= memoryAvailable()) throw std::bad_alloc();
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
        together && split != std::string_view::npos, factor);
}
