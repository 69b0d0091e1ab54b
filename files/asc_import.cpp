// asc_import.cpp: the 3D-Studio ASCII export reader, a line-by-line keyword
// scanner. Per line: the keyword is the text before the first blank, compared
// without regard to case; the rest is the text after the first ":"; field n is
// the n-th piece of the rest cut at every ":". "named" starts an object,
// "vertex" adds the vertex (field 2, field 3, field 4) / factor, "face" adds a
// triangle on corners (field 2, 3, 4) + object start + 1. Appends to the mesh.
#include "files/files.h"

#include <algorithm>
#include <array>
#include <limits>

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
    size_t found = 0;
    for (size_t i = 0; i < line.size() && found < colons.size(); ++i)
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

}  // namespace

void importAscText(Mesh& mesh, std::string_view text, int32_t factor)
{
    if (factor == 0) return;
    // Both lists are sized once, from a first pass that only counts.
    size_t vertices = 0, faces = 0;
    forEachLine(text, [&](AscLine kind, std::string_view) {
        vertices += kind == AscLine::Vertex ? 1 : 0;
        faces += kind == AscLine::Face ? 1 : 0;
    });
    mesh.vertices.reserve(mesh.vertices.size() + vertices);
    mesh.triangles.reserve(mesh.triangles.size() + faces);
    adviseLargePages(mesh.vertices);
    adviseLargePages(mesh.triangles);

    const float divisor = static_cast<float>(factor);
    int64_t objectStart = static_cast<int64_t>(mesh.vertices.size());
    forEachLine(text, [&](AscLine kind, std::string_view line) {
        if (kind == AscLine::Named) {
            objectStart = static_cast<int64_t>(mesh.vertices.size());
        } else if (kind == AscLine::Vertex) {
            const auto fields = fieldsOf(line);
            mesh.vertices.push_back({readDecimalFloat(fields[0]) / divisor, readDecimalFloat(fields[1]) / divisor,
                                     readDecimalFloat(fields[2]) / divisor, 1, 0});
        } else if (kind == AscLine::Face) {
            const auto fields = fieldsOf(line);
            Triangle& t = mesh.triangles.emplace_back();
            for (size_t k = 0; k < 3; ++k) t.vertexIndex[k] = cornerPosition(fields[k], objectStart);
        }
    });
}

bool importAsc(Mesh& mesh, const std::string& path, int32_t factor)
{
    const auto bytes = readFileBytes(path);
    if (!bytes) return false;
    importAscText(mesh, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), factor);
    return true;
}
