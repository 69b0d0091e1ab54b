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
#include <optional>
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
int32_t cornerPosition(std::string_view field, int64_t objectStart)
{
    const int64_t position = int64_t{readWhole(field)} + objectStart + 1;
    return static_cast<int32_t>(std::clamp<int64_t>(position, std::numeric_limits<int32_t>::min(),
                                                     std::numeric_limits<int32_t>::max()));
}

// The lines of each kind in a run of whole lines.
struct LineCounts {
    size_t vertices = 0;
    size_t faces = 0;
    std::optional<size_t> verticesBeforeLastNamed;  // when a "named" line is among them
    bool operator==(const LineCounts&) const = default;

    void count(AscLine kind)
    {
        if (kind == AscLine::Named) verticesBeforeLastNamed = vertices;
        vertices += kind == AscLine::Vertex ? 1 : 0;
        faces += kind == AscLine::Face ? 1 : 0;
    }
};

enum class RunsRead { Done, Failed, Changed };

// Reads the text as two runs of whole lines, side by side when `together`:
// lines(run, visit) calls visit(kind, line) for each line of run 0 or 1 and
// returns false when they cannot be read. A first pass counts each run, then
// both lists are sized once and each run fills its own stretch of them. When a
// run reads otherwise the second time, its text changed: the lists are taken
// back and Changed returned; on Failed too.
template <typename Lines>
RunsRead readRuns(Mesh& mesh, const Lines& lines, bool together, int32_t factor)
{
    const auto both = [together](const std::function<void()>& first, const std::function<void()>& second) {
        if (together) {
            runSideBySide(first, second);
        } else {
            first();
            second();
        }
    };
    std::array<LineCounts, 2> counted{}, filled{};
    std::array<bool, 2> read{};
    const auto countRun = [&](size_t run) {
        read[run] = lines(run, [&counts = counted[run]](AscLine kind, std::string_view) { counts.count(kind); });
    };
    both([&] { countRun(0); }, [&] { countRun(1); });
    if (!read[0] || !read[1]) return RunsRead::Failed;

    const size_t vertex = mesh.vertices.size(), triangle = mesh.triangles.size();
    const size_t vertices = counted[0].vertices + counted[1].vertices, faces = counted[0].faces + counted[1].faces;
    mesh.vertices.reserve(vertex + vertices);
    mesh.triangles.reserve(triangle + faces);
    mesh.vertices.resize(vertex + vertices);
    mesh.triangles.resize(triangle + faces);

    const float divisor = static_cast<float>(factor);
    const auto start = static_cast<int64_t>(vertex);
    const auto fillRun = [&](size_t run) {
        // Positions where the run's lines go; past its stretch nothing is written.
        size_t v = vertex + (run == 0 ? 0 : counted[0].vertices), t = triangle + (run == 0 ? 0 : counted[0].faces);
        const size_t vEnd = v + counted[run].vertices, tEnd = t + counted[run].faces;
        int64_t objectStart = start;
        if (run == 1) objectStart += static_cast<int64_t>(counted[0].verticesBeforeLastNamed.value_or(0));
        read[run] = lines(run, [&](AscLine kind, std::string_view line) {
            filled[run].count(kind);
            if (kind == AscLine::Named) {
                objectStart = static_cast<int64_t>(v);
            } else if (kind == AscLine::Vertex && v < vEnd) {
                const auto fields = fieldsOf(line);
                mesh.vertices[v] = {readDecimalFloat(fields[0]) / divisor, readDecimalFloat(fields[1]) / divisor,
                                    readDecimalFloat(fields[2]) / divisor, 1, 0};
            } else if (kind == AscLine::Face && t < tEnd) {
                const auto fields = fieldsOf(line);
                for (size_t k = 0; k < 3; ++k)
                    mesh.triangles[t].vertexIndex[k] = cornerPosition(fields[k], objectStart);
            }
            v += kind == AscLine::Vertex ? 1 : 0;
            t += kind == AscLine::Face ? 1 : 0;
        });
    };
    both([&] { fillRun(0); }, [&] { fillRun(1); });
    if (read[0] && read[1] && filled == counted) return RunsRead::Done;
    mesh.vertices.resize(vertex);
    mesh.triangles.resize(triangle);
    return read[0] && read[1] ? RunsRead::Changed : RunsRead::Failed;
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
    const RunsRead read = readRuns(
        mesh,
        [&](size_t run, const auto& visit) {
            return forEachFileText(file.fd, runs[run].first, runs[run].second, buffers[run],
                                   [&visit](std::string_view lines) { forEachLine(lines, visit); });
        },
        together && split != std::string_view::npos, factor);
    if (read != RunsRead::Changed) return read == RunsRead::Done;
    // Changed while it was read: read once more, whole.
    const auto bytes = readFileBytes(path);
    if (!bytes) return false;
    importAscText(mesh, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), factor);
    return true;
}
