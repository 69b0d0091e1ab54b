// import_words.cpp: the import helper's words on a file it could not read,
// sorted into the reasons the editor words itself, so that a user reads what
// is wrong with the file rather than the parsing library's internals. No state.
#include "files/files.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace {

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return lower;
}

// At most maxQuotedBytes of the text, not cut inside a UTF-8 sequence, with
// control characters as blanks.
std::string quoted(std::string_view text)
{
    size_t cut = std::min(text.size(), maxQuotedBytes);
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    std::string result(text.substr(0, cut));
    std::replace_if(result.begin(), result.end(), [](unsigned char c) { return c < ' ' || c == 0x7F; }, ' ');
    return result;
}

// The text between the first two double quotes after `after`; nothing when there are none.
std::optional<std::string_view> quotedAfter(std::string_view words, size_t after)
{
    const size_t open = words.find('"', after);
    const size_t close = open == std::string_view::npos ? open : words.find('"', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return words.substr(open + 1, close - open - 1);
}

// A name of the library's own records: "aiMesh::mFaces[0]", "mNumMeshes", "aiScene".
bool isInternalName(std::string_view word)
{
    const auto upperAt = [&word](size_t i) { return i < word.size() && word[i] >= 'A' && word[i] <= 'Z'; };
    return word.find("::") != std::string_view::npos || word.find('[') != std::string_view::npos ||
           (word.starts_with("ai") && upperAt(2)) || (word.starts_with('m') && upperAt(1));
}

// The words without the library's internal names, cut short.
std::string cleaned(std::string_view words)
{
    std::string kept;
    size_t start = 0;
    while (start < words.size()) {
        size_t end = words.find(' ', start);
        if (end == std::string_view::npos) end = words.size();
        if (const std::string_view word = words.substr(start, end - start); !word.empty() && !isInternalName(word))
            kept.append(kept.empty() ? "" : " ").append(word);
        start = end + 1;
    }
    return quoted(kept);
}

// The two numbers of "a face names vertex N of M", the helper's own words.
std::optional<std::pair<std::string, std::string>> faceVertexNumbers(std::string_view words)
{
    constexpr std::string_view lead = "a face names vertex ", middle = " of ";
    if (!words.starts_with(lead)) return std::nullopt;
    const std::string_view rest = words.substr(lead.size());
    const size_t at = rest.find(middle);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view first = rest.substr(0, at), second = rest.substr(at + middle.size());
    const auto whole = [](std::string_view digits) {
        uint64_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
    };
    if (!whole(first) || !whole(second)) return std::nullopt;
    return std::pair(std::string(first), std::string(second));
}

}  // namespace

ImportProblem importerWordsProblem(std::string_view words)
{
    const auto problem = [](ImportReason reason, std::vector<std::string> values = {}) {
        return ImportProblem{ImportFailure::NotValid, reason, std::move(values)};
    };
    if (const auto numbers = faceVertexNumbers(words))
        return problem(ImportReason::FaceVertex, {numbers->first, numbers->second});
    const std::string lower = lowerCase(words);
    const auto has = [&lower](std::string_view part) { return lower.find(part) != std::string::npos; };
    if (const size_t at = lower.find("could not open referenced file"); at != std::string::npos)
        if (const auto name = quotedAfter(words, at)) return problem(ImportReason::MissingFile, {quoted(*name)});
    if (const size_t at = lower.find("parse string"); at != std::string::npos && has("number"))
        if (const auto text = quotedAfter(words, at)) {
            const std::string_view first = text->substr(0, text->find_first_of(" \t\r\n"));
            if (first.empty()) return problem(ImportReason::NumberMissing);
            return problem(ImportReason::BadNumber, {quoted(first)});
        }
    if (has("index out of range") || has("invalid face index") || (has("mindices[") && has("out of range")))
        return problem(ImportReason::FaceVertexMissing);
    if (has("mnumindices is 0")) return problem(ImportReason::FaceWithoutCorners);
    if (has("mnummeshes is 0") || has("contains no faces") || has("holds no scene") || has("holds no triangles"))
        return problem(ImportReason::NoTriangles);
    if (has("chunk is too large")) return problem(ImportReason::LongChunk);
    if (has("malformed xml")) return problem(ImportReason::BadXml);
    if (has("no suitable reader") || has("failed to determine stl storage") || has("unable to read"))
        return problem(ImportReason::NotRecognised);
    if (has("validation failed")) return problem(ImportReason::Inconsistent);
    for (const std::string_view end : {"empty", "eof", "end of file", "too small", "truncated"})
        if (has(end)) return problem(ImportReason::EndsEarly);
    return problem(ImportReason::Other, {cleaned(words)});
}

std::string importFormatName(std::string_view extension)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 8> names{{
        {"obj", "OBJ"}, {"stl", "STL"}, {"ply", "PLY"}, {"glb", "glTF"},
        {"gltf", "glTF"}, {"dae", "COLLADA"}, {"3ds", "3DS"}, {"fbx", "FBX"},
    }};
    for (const auto& [known, name] : names)
        if (extension == known) return std::string(name);
    return lowerCase(extension);
}
