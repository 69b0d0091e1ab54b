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

bool keywordIs(std::string_view keyword, std::string_view lowerCase)
{
    if (keyword.size() != lowerCase.size()) return false;
    for (size_t i = 0; i < keyword.size(); ++i) {
        char c = keyword[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerCase[i]) return false;
    }
    return true;
}

// Fields 2, 3 and 4 of a line; empty where the rest has fewer pieces.
std::array<std::string_view, 3> fieldsOf(std::string_view line)
{
    std::array<std::string_view, 3> fields{};
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return fields;
    std::string_view rest = line.substr(colon + 1);
    colon = rest.find(':');  // end of piece 1
    for (std::string_view& field : fields) {
        if (colon == std::string_view::npos) break;
        rest = rest.substr(colon + 1);
        colon = rest.find(':');
        field = rest.substr(0, colon);
    }
    return fields;
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
    const float divisor = static_cast<float>(factor);
    int64_t objectStart = static_cast<int64_t>(mesh.vertices.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const std::string_view line = nextTextLine(text, pos);
        const std::string_view keyword = line.substr(0, line.find(' '));
        if (keywordIs(keyword, "named")) {
            objectStart = static_cast<int64_t>(mesh.vertices.size());
        } else if (keywordIs(keyword, "vertex")) {
            const auto fields = fieldsOf(line);
            Vertex& v = appendVertex(mesh);
            v.x = readDecimalFloat(fields[0]) / divisor;
            v.y = readDecimalFloat(fields[1]) / divisor;
            v.z = readDecimalFloat(fields[2]) / divisor;
            v.selected = 1;
        } else if (keywordIs(keyword, "face")) {
            const auto fields = fieldsOf(line);
            Triangle& t = appendTriangle(mesh);
            for (size_t k = 0; k < 3; ++k) t.vertexIndex[k] = cornerPosition(fields[k], objectStart);
        }
    }
}

bool importAsc(Mesh& mesh, const std::string& path, int32_t factor)
{
    const auto bytes = readFileBytes(path);
    if (!bytes) return false;
    importAscText(mesh, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), factor);
    return true;
}
