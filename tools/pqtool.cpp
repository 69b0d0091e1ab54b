// pqtool.cpp: the command-line companion. Reads native (.pq) and 3D-Studio
// ASCII (.asc) files with the editor's own readers, reports on them, writes
// native files, exchanges meshes with other tools' formats and draws the four
// views into a PNG without a display. Exit status 0 on success, 1 when a file
// cannot be read or written, 2 for bad arguments.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <string>
#include <variant>

#include "app/app.h"
#include "files/files.h"
#include "engine/engine.h"
#include "mesh/mesh.h"
#include "tools/exchange.h"
#include "views/views.h"

namespace {

constexpr int exitFileError = 1;
constexpr int32_t english = 1;  // pqtool speaks the interface's English
constexpr int exitBadArguments = 2;
constexpr int32_t englishLanguage = 1;  // pqtool speaks English, as its options do

enum class ToolAction { Info, Convert, Cube, Export, Import, Render };

struct ToolCommand {
    ToolAction action = ToolAction::Info;
    std::string input;
    std::string output;
    int32_t factor = 1;
    std::string texture;
    std::string labels;
    std::string size = "500x400";
};

// The editor's views area; pictures from 8 x 8 (views of 2 x 2) up.
constexpr int32_t minPictureSide = 8;
constexpr int32_t maxPictureSide = 8192;

// A side of the picture: decimal digits only, within the range.
std::optional<int32_t> parseSide(std::string_view text)
{
    int32_t side = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    const auto [last, error] = std::from_chars(text.data(), end, side);
    if (error != std::errc() || last != end || side < minPictureSide || side > maxPictureSide) return std::nullopt;
    return side;
}

// "WxH" as two numbers, or nothing when it is not exactly that or out of range.
std::optional<std::pair<int32_t, int32_t>> parseSize(std::string_view text)
{
    const size_t separator = text.find_first_of("xX");
    if (separator == std::string_view::npos) return std::nullopt;
    const std::optional<int32_t> width = parseSide(text.substr(0, separator));
    const std::optional<int32_t> height = parseSide(text.substr(separator + 1));
    if (!width || !height) return std::nullopt;
    return std::pair{*width, *height};
}

// The command line as a command, or the exit status when there is nothing to
// run (--help, or bad arguments, both already reported).
std::variant<ToolCommand, int> parseArguments(int argc, const char* const* argv)
{
    ToolCommand command;
    const auto nonZero = [](const std::string& text) {
        return text.find_first_not_of(" +-0") == std::string::npos ? std::string("the factor must not be 0")
                                                                     : std::string();
    };
    // Formats are known by the file name's extension; others are bad arguments.
    const auto extensionIn = [](const std::vector<std::string_view>& extensions) {
        return [&extensions](const std::string& path) {
            const size_t dot = path.find_last_of('.');
            std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            for (std::string_view known : extensions)
                if (extension == known) return std::string();
            std::string list;
            for (std::string_view known : extensions) list += (list.empty() ? "." : ", .") + std::string(known);
            return "unknown format \"" + extension + "\": the name must end in one of " + list;
        };
    };
    CLI::App app{"pqtool: inspect, convert, exchange and draw Polyquill meshes (.pq); also reads 3D-Studio ASCII exports (.asc)",
                 "pqtool"};
    app.require_subcommand(1);

    CLI::App* info = app.add_subcommand(
        "info", "Print the figures of what convert would write: its triangle count, the distinct positions among "
                "their corners (shared as the editor shares them when it reads the file), the bounding box of those "
                "corners, and apart from it the count of positions with a NaN or infinite coordinate");
    info->add_option("FILE", command.input, "A .pq or .asc file")->required();

    CLI::App* convert = app.add_subcommand("convert", "Read a .pq or .asc file into an empty mesh and write it as .pq");
    convert->add_option("IN", command.input, "A .pq or .asc file")->required();
    convert->add_option("OUT", command.output, "The native file to write")->required();
    convert->add_option("--factor", command.factor, "Divide every position by this whole number (not 0)")
        ->default_val(1)
        ->check(nonZero);

    CLI::App* exporting = app.add_subcommand("export", "Write a .pq or .asc mesh in another tool's format, chosen by OUT's extension");
    exporting->add_option("IN", command.input, "A .pq or .asc file")->required();
    exporting->add_option("OUT", command.output, "An .obj, .stl, .ply, .glb, .gltf, .dae or .3ds file to write")
        ->required()
        ->check(extensionIn(exportExtensions()));
    exporting->add_option("--texture", command.texture,
                          "A picture to name in the material (.obj's .mtl, .gltf, .glb, .dae, .3ds), by its path "
                          "relative to OUT")
        ->check(CLI::ExistingFile);

    CLI::App* importing = app.add_subcommand("import", "Read another tool's mesh file, triangulated, into a new .pq");
    importing->add_option("IN", command.input, "An .obj, .stl, .ply, .glb, .gltf, .dae, .3ds or .fbx file")
        ->required()
        ->check(extensionIn(importExtensions()));
    importing->add_option("OUT", command.output, "The native file to write")->required();
    importing->add_option("--factor", command.factor, "Divide every position by this whole number (not 0)")
        ->default_val(1)
        ->check(nonZero);

    CLI::App* render = app.add_subcommand(
        "render", "Draw the four views as the editor shows them after start-up into a PNG, without a display");
    render->add_option("IN", command.input, "A .pq or .asc file")->required();
    render->add_option("OUT", command.output, "The PNG file to write")->required();
    render->add_option("--texture", command.texture, "A PNG, JPEG or BMP picture for the 3D view")
        ->check(CLI::ExistingFile);
    render->add_option("--size", command.size, "Width x height of the views area, e.g. 500x400 (the editor's)")
        ->default_val("500x400")
        ->check([](const std::string& text) {
            return parseSize(text) ? std::string()
                                   : "the size must be WIDTHxHEIGHT, each from " + std::to_string(minPictureSide) +
                                         " to " + std::to_string(maxPictureSide);
        });
    render->add_option("--labels", command.labels,
                       "The folder with Front.bmp, Side.bmp, Top.bmp and 3D.bmp (default: Images beside pqtool)")
        ->check(CLI::ExistingDirectory);

    CLI::App* cube = app.add_subcommand("cube", "Write the sample cube: 12 textured triangles within +-0.5");
    cube->add_option("OUT", command.output, "The native file to write")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : exitBadArguments;
    }
    command.action = info->parsed()        ? ToolAction::Info
                     : convert->parsed()   ? ToolAction::Convert
                     : exporting->parsed() ? ToolAction::Export
                     : importing->parsed() ? ToolAction::Import
                     : render->parsed()    ? ToolAction::Render
                                           : ToolAction::Cube;
    return command;
}

bool isAscName(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".asc";
}

// Reads a .pq or .asc file (by its extension) into the mesh; false, with the
// reason printed, when it cannot be read or does not fit in memory.
bool readAnyMesh(Mesh& mesh, const std::string& path, int32_t factor)
{
    try {
        if (isAscName(path) ? importAsc(mesh, path, factor) : mergeMeshFile(mesh, path, factor)) return true;
        std::cerr << "pqtool: cannot read " << path << "\n";
    } catch (const std::bad_alloc&) {
        mesh = Mesh{};
        std::cerr << "pqtool: not enough memory to read " << path << "\n";
    }
    return false;
}

// The figures of what convert would write: the triangles it keeps, the
// positions among their corners shared as the native reader shares them (a
// NaN position is never shared), and the box of the finite ones.
int runInfo(const ToolCommand& command)
{
    Mesh mesh;
    if (!readAnyMesh(mesh, command.input, 1)) return exitFileError;
    // A native file read into an empty mesh is already shared that way, every
    // vertex a corner's; an ASC mesh keeps unused and repeated vertices.
    if (isAscName(command.input)) shareCornerPositions(mesh);
    size_t notFinite = 0;
    std::optional<std::pair<Vec3, Vec3>> box;
    for (const Vertex& v : mesh.vertices) {
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            ++notFinite;
            continue;
        }
        if (!box) box = std::pair{Vec3{v.x, v.y, v.z}, Vec3{v.x, v.y, v.z}};
        auto& [low, high] = *box;
        low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
        high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
    }
    std::printf("file: %s\n", command.input.c_str());
    std::printf("format: %s\n", isAscName(command.input) ? "3D-Studio ASCII export" : "Polyquill mesh");
    std::printf("triangles: %zu\n", writtenTriangleCount(mesh));
    std::printf("vertices: %zu\n", mesh.vertices.size());
    if (box) {
        // + 0.0 prints -0 as 0: which of two equal zeros came first must not show.
        const auto shown = [](float value) { return static_cast<double>(value) + 0.0; };
        const auto& [low, high] = *box;
        std::printf("bounding box: x %g to %g, y %g to %g, z %g to %g\n", shown(low.x), shown(high.x), shown(low.y),
                    shown(high.y), shown(low.z), shown(high.z));
    } else {
        std::printf("bounding box: none\n");
    }
    std::printf("not finite: %zu\n", notFinite);
    return 0;
}

int writeMesh(const Mesh& mesh, const std::string& path)
{
    if (const std::string problem = saveMeshFile(mesh, path); !problem.empty()) {
        std::cerr << "pqtool: cannot write " << path << ": " << problem << "\n";
        return exitFileError;
    }
    std::printf("wrote %s: %zu triangles\n", path.c_str(), writtenTriangleCount(mesh));
    return 0;
}

int runConvert(const ToolCommand& command)
{
    Mesh mesh;
    if (!readAnyMesh(mesh, command.input, command.factor)) return exitFileError;
    return writeMesh(mesh, command.output);
}

int runExport(const ToolCommand& command)
{
    Mesh mesh;
    if (!readAnyMesh(mesh, command.input, 1)) return exitFileError;
    const ExportProblem problem = exportMesh(mesh, command.output, command.texture);
    if (problem.what != ExportFailure::None) {
        std::cerr << "pqtool: cannot export " << command.output << ": " << exportProblemInLanguage(english, problem)
                  << "\n";
        return exitFileError;
    }
    std::printf("wrote %s: %zu triangles\n", command.output.c_str(), writtenTriangleCount(mesh));
    return 0;
}

int runImport(const ToolCommand& command)
{
    auto imported = importThroughHelper(command.input, command.factor);
    if (const ImportProblem* problem = std::get_if<ImportProblem>(&imported)) {
        std::cerr << "pqtool: " << importProblemText(englishLanguage, command.input, *problem) << "\n";
        return exitFileError;
    }
    return writeMesh(std::get<Mesh>(imported), command.output);
}

// The view labels the editor reads from the Images folder beside itself:
// beside pqtool, or one folder up from a build's tools/.
std::string defaultLabelFolder()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "Images";
    for (const std::filesystem::path& folder : {exe.parent_path() / "Images", exe.parent_path().parent_path() / "Images"})
        if (std::filesystem::is_regular_file(folder / "Front.bmp", error)) return folder.string();
    return (exe.parent_path() / "Images").string();
}

int runRender(const ToolCommand& command)
{
    Mesh mesh;
    if (!readAnyMesh(mesh, command.input, 1)) return exitFileError;
    const auto [width, height] = *parseSize(command.size);
    const std::string labels = command.labels.empty() ? defaultLabelFolder() : command.labels;
    const ViewsPicture picture = renderViewsPicture(mesh, labels, command.texture, width, height);
    if (picture.image.width == 0) {
        std::cerr << "pqtool: no offscreen OpenGL context could be made (EGL with Mesa is needed)\n";
        return exitFileError;
    }
    if (!command.texture.empty() && !picture.textureLoaded) {
        std::cerr << "pqtool: cannot read the texture " << command.texture
                  << " (PNG named .png, JPEG named .jpg, or an uncompressed BMP)\n";
        return exitFileError;
    }
    if (!picture.labelsLoaded)
        std::cerr << "pqtool: warning: the view labels are missing from " << labels << "; drawn blank\n";
    const std::vector<uint8_t> png = encodePng(picture.image);
    const std::string problem =
        png.empty() ? "the picture could not be encoded" : writeFileReplacing(command.output, std::as_bytes(std::span(png)));
    if (!problem.empty()) {
        std::cerr << "pqtool: cannot write " << command.output << ": " << problem << "\n";
        return exitFileError;
    }
    std::printf("wrote %s: %dx%d\n", command.output.c_str(), width, height);
    return 0;
}

// A unit cube around the origin, two triangles per face with the automatic
// texture pattern, each face upright in its texture and wound so that its
// normal (corner 1 - corner 0) x (corner 2 - corner 0) points outwards.
int runCube(const ToolCommand& command)
{
    struct Face {
        Vec3 normal, across, down;  // across x down = normal
    };
    const Face faces[] = {
        {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}},  {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
        {{0, 0, 1}, {-1, 0, 0}, {0, -1, 0}},  {{-1, 0, 0}, {0, 0, -1}, {0, -1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
    };
    Mesh mesh;
    const auto vertexAt = [&mesh](Vec3 p) {
        int32_t position = findVertexAt(mesh, p.x, p.y, p.z);
        if (position >= 0) return position;
        Vertex& v = appendVertex(mesh);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
        return static_cast<int32_t>(mesh.vertices.size() - 1);
    };
    for (const Face& f : faces) {
        const auto corner = [&f](float a, float d) {
            return Vec3{0.5f * f.normal.x + (a - 0.5f) * f.across.x + (d - 0.5f) * f.down.x,
                        0.5f * f.normal.y + (a - 0.5f) * f.across.y + (d - 0.5f) * f.down.y,
                        0.5f * f.normal.z + (a - 0.5f) * f.across.z + (d - 0.5f) * f.down.z};
        };
        // The automatic pattern's corner order: (0,0) (1,1) (0,1), then (0,0) (1,0) (1,1).
        const int32_t c00 = vertexAt(corner(0, 0)), c10 = vertexAt(corner(1, 0));
        const int32_t c11 = vertexAt(corner(1, 1)), c01 = vertexAt(corner(0, 1));
        appendTriangle(mesh).vertexIndex = {c00, c11, c01};
        appendTriangle(mesh).vertexIndex = {c00, c10, c11};
    }
    autoTexCoords(mesh, 0.0f, 1.0f);
    return writeMesh(mesh, command.output);
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit makes a write fail with a message, not end pqtool.
    ignoreFileSizeLimitSignal();
    const auto parsed = parseArguments(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const ToolCommand& command = std::get<ToolCommand>(parsed);
    switch (command.action) {
    case ToolAction::Info: return runInfo(command);
    case ToolAction::Convert: return runConvert(command);
    case ToolAction::Cube: return runCube(command);
    case ToolAction::Export: return runExport(command);
    case ToolAction::Import: return runImport(command);
    case ToolAction::Render: return runRender(command);
    }
    return exitBadArguments;
}
