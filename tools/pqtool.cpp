// pqtool.cpp: the command-line companion. Reads native (.pq) and 3D-Studio
// ASCII (.asc) files with the editor's own readers, reports on them, writes
// native files, exchanges meshes with other tools' formats and draws the
// views into a PNG without a display. convert, export, import, info and
// thumbnail take several inputs, run side by side (tools/batch.h). Exit
// status 0 on success, 1 when a file cannot be read or written, 2 for bad
// arguments.
#include <CLI/CLI.hpp>

#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <variant>

#include "app/app.h"
#include "engine/engine.h"
#include "files/files.h"
#include "mesh/mesh.h"
#include "tools/batch.h"
#include "tools/exchange.h"
#include "views/views.h"

namespace {

constexpr int exitFileError = 1;
constexpr int32_t english = 1;  // pqtool speaks the interface's English
constexpr int exitBadArguments = 2;

enum class ToolAction { Info, Convert, Cube, Export, Import, Render, Thumbnail };

struct ToolCommand {
    ToolAction action = ToolAction::Info;
    std::vector<std::string> files;  // the positional arguments: inputs, and outputs without --out-dir
    std::string input;               // render's IN
    std::string output;              // render's and cube's OUT
    int32_t factor = 1;
    std::string texture;
    bool noTexture = false;
    std::string labels;
    std::string size = "500x400";
    bool frame = false;
    std::string view;
    std::string outDir;
    std::string format;
    size_t jobs = 0;
    int32_t thumbnailSide = 256;
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

std::string sideRange() { return std::to_string(minPictureSide) + " to " + std::to_string(maxPictureSide); }

std::string extensionOf(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Empty when the path's extension is one of the list, else why not.
std::string extensionProblem(const std::string& path, const std::vector<std::string_view>& extensions)
{
    const std::string extension = extensionOf(path);
    std::string list;
    for (std::string_view known : extensions) {
        if (extension == known) return {};
        list += (list.empty() ? "." : ", .") + std::string(known);
    }
    return path + ": unknown format \"" + extension + "\": the name must end in one of " + list;
}

// Options of the commands that take several inputs: the output folder and the workers.
void addBatchOptions(CLI::App* command, ToolCommand& into)
{
    command->add_option("--out-dir", into.outDir,
                        "Write one output per input into this folder (made when missing), named by the input's stem");
    command->add_option("-j,--jobs", into.jobs, "Work on this many inputs at once (default: the processor count)")
        ->check(CLI::Range(size_t{1}, size_t{1024}));
}

void addTextureOptions(CLI::App* command, ToolCommand& into, const std::string& use)
{
    CLI::Option* texture = command->add_option(
        "--texture", into.texture,
        use + " (default: the picture beside IN with its name stem, .png, .jpg, .jpeg or .bmp)");
    texture->check(CLI::ExistingFile);
    command->add_flag("--no-texture", into.noTexture, "No picture, not even the one beside IN")->excludes(texture);
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
    CLI::App app{"pqtool: inspect, convert, exchange and draw Polyquill meshes (.pq); also reads 3D-Studio ASCII "
                 "exports (.asc). convert, export, import, info and thumbnail take several inputs: with --out-dir "
                 "each output is named by its input's stem, -j inputs are worked on at once, and the exit status "
                 "is 1 when any failed",
                 "pqtool"};
    app.require_subcommand(1);

    CLI::App* info = app.add_subcommand(
        "info", "Print the figures of what convert would write: its triangle count, the distinct positions among "
                "their corners (shared as the editor shares them when it reads the file), the bounding box of those "
                "corners, and apart from it the count of positions with a NaN or infinite coordinate");
    info->add_option("FILE", command.files, "One or more .pq or .asc files")->required();
    info->add_option("-j,--jobs", command.jobs, "Read this many files at once (default: the processor count)")
        ->check(CLI::Range(size_t{1}, size_t{1024}));

    CLI::App* convert = app.add_subcommand(
        "convert", "Read a .pq or .asc file into an empty mesh and write it as .pq: IN OUT, or IN... --out-dir DIR");
    convert->add_option("FILES", command.files,
                        "IN OUT: a .pq or .asc file and the native file to write; with --out-dir, inputs only")
        ->required();
    convert->add_option("--factor", command.factor, "Divide every position by this whole number (not 0)")
        ->default_val(1)
        ->check(nonZero);
    addBatchOptions(convert, command);

    CLI::App* exporting = app.add_subcommand(
        "export", "Write a .pq or .asc mesh in another tool's format: IN OUT, chosen by OUT's extension, or "
                  "IN... --out-dir DIR --format FORMAT");
    exporting->add_option("FILES", command.files,
                          "IN OUT: a .pq or .asc file and an .obj, .stl, .ply, .glb, .gltf, .dae or .3ds file to "
                          "write; with --out-dir, inputs only")
        ->required();
    addTextureOptions(exporting, command,
                      "A picture to name in the material (.obj's .mtl, .gltf, .glb, .dae, .3ds), by its path "
                      "relative to OUT");
    addBatchOptions(exporting, command);
    std::vector<std::string> formats;
    for (std::string_view known : exportExtensions()) formats.emplace_back(known);
    exporting->add_option("--format", command.format, "The outputs' format with --out-dir")
        ->check(CLI::IsMember(formats));

    CLI::App* importing = app.add_subcommand(
        "import", "Read another tool's mesh file, triangulated, into a new .pq: IN OUT, or IN... --out-dir DIR");
    importing->add_option("FILES", command.files,
                          "IN OUT: an .obj, .stl, .ply, .glb, .gltf, .dae, .3ds or .fbx file and the native file "
                          "to write; with --out-dir, inputs only")
        ->required();
    importing->add_option("--factor", command.factor, "Divide every position by this whole number (not 0)")
        ->default_val(1)
        ->check(nonZero);
    addBatchOptions(importing, command);

    CLI::App* render = app.add_subcommand(
        "render", "Draw the four views as the editor shows them after start-up into a PNG, without a display");
    render->add_option("IN", command.input, "A .pq or .asc file")->required();
    render->add_option("OUT", command.output, "The PNG file to write")->required();
    addTextureOptions(render, command, "A PNG, JPEG or BMP picture for the 3D view");
    render->add_option("--size", command.size, "Width x height of the views area, e.g. 500x400 (the editor's)")
        ->default_val("500x400")
        ->check([](const std::string& text) {
            return parseSize(text) ? std::string() : "the size must be WIDTHxHEIGHT, each from " + sideRange();
        });
    render->add_option("--labels", command.labels,
                       "The folder with Front.bmp, Side.bmp, Top.bmp and 3D.bmp (default: Images beside pqtool)")
        ->check(CLI::ExistingDirectory);
    render->add_flag("--frame", command.frame,
                     "Show the whole mesh in every view, as Frame all does, the 3D view centred on it");
    render->add_option("--view", command.view, "Draw this view alone over the whole size")
        ->check(CLI::IsMember({"front", "side", "top", "3d"}));

    CLI::App* thumbnail = app.add_subcommand(
        "thumbnail", "Draw the 3D view, framed and textured by the picture beside the mesh with its stem, into a "
                     "PNG of SIZE pixels on its longer side: IN OUT SIZE, or IN... --out-dir DIR [--size SIZE]");
    thumbnail->add_option("FILES", command.files,
                          "IN OUT SIZE: a .pq or .asc file, the PNG to write, its size; with --out-dir, inputs only")
        ->required();
    thumbnail->add_option("--size", command.thumbnailSide, "The longer side with --out-dir (default 256)")
        ->check(CLI::Range(minPictureSide, maxPictureSide));
    addBatchOptions(thumbnail, command);

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
                     : thumbnail->parsed() ? ToolAction::Thumbnail
                                           : ToolAction::Cube;
    return command;
}

// The inputs and their outputs (none for info), one job each.
struct JobPlan {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

// The jobs of the command, or the exit status of bad arguments, reported.
std::variant<JobPlan, int> planJobs(ToolCommand& command)
{
    const auto bad = [](const std::string& problem) {
        std::fprintf(stderr, "pqtool: %s\nRun with --help for more information.\n", problem.c_str());
        return exitBadArguments;
    };
    JobPlan plan;
    const ToolAction action = command.action;
    const std::vector<std::string>& files = command.files;
    if (action == ToolAction::Info) {
        plan.inputs = files;
        return plan;
    }
    if (action == ToolAction::Render || action == ToolAction::Cube) {
        if (action == ToolAction::Render) plan.inputs = {command.input};
        plan.outputs = {command.output};
        return plan;
    }
    if (command.outDir.empty()) {
        const size_t expected = action == ToolAction::Thumbnail ? 3 : 2;
        if (files.size() != expected)
            return bad(files.size() > expected ? "several inputs need --out-dir DIR to name their outputs"
                                               : "IN and OUT" + std::string(expected == 3 ? " and SIZE" : "") +
                                                     " are needed");
        if (!command.format.empty()) return bad("--format is for --out-dir; a single OUT's extension names its format");
        plan.inputs = {files[0]};
        plan.outputs = {files[1]};
        if (action == ToolAction::Thumbnail) {
            const std::optional<int32_t> side = parseSide(files[2]);
            if (!side) return bad("SIZE must be a whole number from " + sideRange());
            command.thumbnailSide = *side;
        }
    } else {
        plan.inputs = files;
    }
    if (action == ToolAction::Import)
        for (const std::string& input : plan.inputs)
            if (std::string problem = extensionProblem(input, importExtensions()); !problem.empty())
                return bad(problem);
    if (action == ToolAction::Export && command.outDir.empty())
        if (std::string problem = extensionProblem(plan.outputs[0], exportExtensions()); !problem.empty())
            return bad(problem);
    if (command.outDir.empty()) return plan;

    if (action == ToolAction::Export && command.format.empty()) return bad("--out-dir needs --format for export");
    const std::string extension = action == ToolAction::Export      ? "." + command.format
                                  : action == ToolAction::Thumbnail ? ".png"
                                                                    : ".pq";
    BatchNames names = batchOutputNames(plan.inputs, command.outDir, extension);
    if (!names.problem.empty()) return bad(names.problem + "; nothing was written");
    plan.outputs = std::move(names.outputs);
    return plan;
}

bool isAscName(const std::string& path) { return extensionOf(path) == "asc"; }

// Reads a .pq or .asc file (by its extension) into the mesh; the empty text,
// or why it cannot be read or does not fit in memory.
std::string readAnyMesh(Mesh& mesh, const std::string& path, int32_t factor)
{
    try {
        if (isAscName(path) ? importAsc(mesh, path, factor) : mergeMeshFile(mesh, path, factor)) return {};
        return "pqtool: cannot read " + path + "\n";
    } catch (const std::bad_alloc&) {
        mesh = Mesh{};
        return "pqtool: not enough memory to read " + path + "\n";
    }
}

JobResult failed(std::string why) { return {false, {}, std::move(why)}; }

std::string formatted(const char* format, auto... values)
{
    const int length = std::snprintf(nullptr, 0, format, values...);
    std::string text(static_cast<size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

// The figures of what convert would write: the triangles it keeps, the
// positions among their corners shared as the native reader shares them (a
// NaN position is never shared), and the box of the finite ones.
JobResult runInfo(const std::string& input)
{
    Mesh mesh;
    if (std::string problem = readAnyMesh(mesh, input, 1); !problem.empty()) return failed(problem);
    // A native file read into an empty mesh is already shared that way, every
    // vertex a corner's; an ASC mesh keeps unused and repeated vertices.
    if (isAscName(input)) shareCornerPositions(mesh);
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
    JobResult result{true, {}, {}};
    result.out = "file: " + input + "\n";
    result.out += formatted("format: %s\n", isAscName(input) ? "3D-Studio ASCII export" : "Polyquill mesh");
    result.out += formatted("triangles: %zu\n", writtenTriangleCount(mesh));
    result.out += formatted("vertices: %zu\n", mesh.vertices.size());
    if (box) {
        // + 0.0 prints -0 as 0: which of two equal zeros came first must not show.
        const auto shown = [](float value) { return static_cast<double>(value) + 0.0; };
        const auto& [low, high] = *box;
        result.out += formatted("bounding box: x %g to %g, y %g to %g, z %g to %g\n", shown(low.x), shown(high.x),
                                shown(low.y), shown(high.y), shown(low.z), shown(high.z));
    } else {
        result.out += "bounding box: none\n";
    }
    result.out += formatted("not finite: %zu\n", notFinite);
    return result;
}

JobResult writeMesh(const Mesh& mesh, const std::string& path)
{
    if (const std::string problem = saveMeshFile(mesh, path); !problem.empty())
        return failed("pqtool: cannot write " + path + ": " + problem + "\n");
    return {true, formatted("wrote %s: %zu triangles\n", path.c_str(), writtenTriangleCount(mesh)), {}};
}

JobResult runConvert(const std::string& input, const std::string& output, int32_t factor)
{
    Mesh mesh;
    if (std::string problem = readAnyMesh(mesh, input, factor); !problem.empty()) return failed(problem);
    return writeMesh(mesh, output);
}

// The picture that goes with a mesh: the one named, none with --no-texture,
// else the one beside the mesh with its name stem (none when there is none).
std::string textureFor(const ToolCommand& command, const std::string& input)
{
    if (command.noTexture) return {};
    return command.texture.empty() ? sameStemTexture(input) : command.texture;
}

JobResult runExport(const std::string& input, const std::string& output, const std::string& texture)
{
    Mesh mesh;
    if (std::string problem = readAnyMesh(mesh, input, 1); !problem.empty()) return failed(problem);
    if (const ExportProblem problem = exportMesh(mesh, output, texture); problem.what != ExportFailure::None)
        return failed("pqtool: cannot export " + output + ": " + exportProblemInLanguage(english, problem) + "\n");
    return {true, formatted("wrote %s: %zu triangles\n", output.c_str(), writtenTriangleCount(mesh)), {}};
}

JobResult runImport(const std::string& input, const std::string& output, int32_t factor)
{
    auto imported = importThroughHelper(input, factor);
    if (const ImportProblem* problem = std::get_if<ImportProblem>(&imported))
        return failed("pqtool: " + importProblemText(english, input, *problem) + "\n");
    return writeMesh(std::get<Mesh>(imported), output);
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

// Draws the mesh in IN as framing asks and writes the PNG. A picture named
// on the command line must be read; one found beside the mesh only warns.
JobResult drawPicture(const std::string& input, const std::string& output, const std::string& texture,
                      bool textureNamed, std::pair<int32_t, int32_t> size, const std::string& labels,
                      const PictureFraming& framing)
{
    Mesh mesh;
    if (std::string problem = readAnyMesh(mesh, input, 1); !problem.empty()) return failed(problem);
    if (size.first == 0) size = frontPictureSize(mesh, size.second);
    const auto [width, height] = size;
    const ViewsPicture picture = renderViewsPicture(mesh, labels, texture, width, height, framing);
    if (picture.image.width == 0)
        return failed("pqtool: no offscreen OpenGL context could be made (EGL with Mesa is needed) for " + output +
                      "\n");
    JobResult result{true, {}, {}};
    if (!texture.empty() && !picture.textureLoaded) {
        const std::string what =
            "the texture " + texture + " (PNG named .png, JPEG named .jpg, or an uncompressed BMP)";
        if (textureNamed) return failed("pqtool: cannot read " + what + "\n");
        result.err += "pqtool: warning: cannot read " + what + "; " + output + " is drawn without it\n";
    }
    if (!picture.labelsLoaded)
        result.err += "pqtool: warning: the view labels are missing from " + labels + "; drawn blank\n";
    const std::vector<uint8_t> png = encodePng(picture.image);
    const std::string problem =
        png.empty() ? "the picture could not be encoded" : writeFileReplacing(output, std::as_bytes(std::span(png)));
    if (!problem.empty()) return failed(result.err + "pqtool: cannot write " + output + ": " + problem + "\n");
    result.out = formatted("wrote %s: %dx%d\n", output.c_str(), width, height);
    return result;
}

JobResult runRender(const ToolCommand& command, const std::string& input, const std::string& output)
{
    PictureFraming framing;
    framing.frame = command.frame;
    const std::vector<std::string> views{"front", "side", "top", "3d"};
    if (const auto named = std::find(views.begin(), views.end(), command.view); named != views.end())
        framing.onlyView = static_cast<ViewKind>(named - views.begin());
    const std::string labels = command.labels.empty() ? defaultLabelFolder() : command.labels;
    return drawPicture(input, output, textureFor(command, input), !command.texture.empty(), *parseSize(command.size),
                       labels, framing);
}

// The 3D view alone, framed, without its label, in the proportions of the
// mesh's front, textured by the picture beside it.
JobResult runThumbnail(const std::string& input, const std::string& output, int32_t side)
{
    PictureFraming framing;
    framing.frame = true;
    framing.onlyView = ViewKind::ThreeD;
    framing.labels = false;
    return drawPicture(input, output, sameStemTexture(input), false, {0, side}, {}, framing);
}

// A unit cube around the origin, two triangles per face with the automatic
// texture pattern, each face upright in its texture and wound so that its
// normal (corner 1 - corner 0) x (corner 2 - corner 0) points outwards.
JobResult runCube(const std::string& output)
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
    return writeMesh(mesh, output);
}


JobResult runJob(const ToolCommand& command, const JobPlan& plan, size_t index)
{
    const std::string& input = plan.inputs.empty() ? std::string() : plan.inputs[index];
    const std::string& output = plan.outputs.empty() ? std::string() : plan.outputs[index];
    switch (command.action) {
    case ToolAction::Info: return runInfo(input);
    case ToolAction::Convert: return runConvert(input, output, command.factor);
    case ToolAction::Cube: return runCube(output);
    case ToolAction::Export: return runExport(input, output, textureFor(command, input));
    case ToolAction::Import: return runImport(input, output, command.factor);
    case ToolAction::Render: return runRender(command, input, output);
    case ToolAction::Thumbnail: return runThumbnail(input, output, command.thumbnailSide);
    }
    return failed("pqtool: unknown command\n");
}

size_t terminalColumns()
{
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// Runs every job, the results in input order; with several inputs a progress
// line on a terminal and a closing summary. 1 when any job failed.
int runJobs(const ToolCommand& command, const JobPlan& plan)
{
    const size_t count = std::max<size_t>(plan.inputs.size(), 1);
    const bool several = plan.inputs.size() > 1;
    const bool bar = several && ::isatty(STDERR_FILENO) == 1;
    if (!command.outDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(command.outDir, error);
        if (error || !std::filesystem::is_directory(command.outDir)) {
            std::fprintf(stderr, "pqtool: cannot make the folder %s: %s\n", command.outDir.c_str(),
                         error ? error.message().c_str() : "a file of that name is in the way");
            return exitFileError;
        }
    }
    const size_t workers = command.jobs != 0 ? command.jobs : std::max(1u, std::thread::hardware_concurrency());
    // Mesa's software renderer gives each context rasteriser threads of its own; thumbnails are small, and
    // with several drawn at once those threads only wait on each other (no gain from -j 2 at all). The
    // workers draw by themselves then, unless the user chose otherwise. Set before any thread starts.
    if (several && workers > 1 && command.action == ToolAction::Thumbnail) ::setenv("LP_NUM_THREADS", "0", 0);
    const auto clearBar = [bar] {
        if (bar) std::fputs("\r\033[K", stderr);
    };
    const auto report = [&](size_t, const JobResult& result) {
        clearBar();
        std::fputs(result.err.c_str(), stderr);
        std::fflush(stderr);
        std::fputs(result.out.c_str(), stdout);
        std::fflush(stdout);
    };
    const auto progress = [&](const BatchTotals& totals) {
        std::fprintf(stderr, "\r%s\033[K", progressLine(totals, count, terminalColumns() - 1).c_str());
        std::fflush(stderr);
    };
    const BatchTotals totals = runBatch(count, workers, [&](size_t index) { return runJob(command, plan, index); },
                                        report, bar ? std::function<void(const BatchTotals&)>(progress) : nullptr);
    clearBar();
    if (several)
        std::fprintf(stderr, "pqtool: %zu files: %zu done, %zu failed in %.1f s\n", count,
                     totals.finished - totals.failed, totals.failed, totals.seconds);
    return totals.failed == 0 ? 0 : exitFileError;
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit makes a write fail with a message, not end pqtool.
    ignoreFileSizeLimitSignal();
    auto parsed = parseArguments(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    ToolCommand& command = std::get<ToolCommand>(parsed);
    const auto plan = planJobs(command);
    if (const int* status = std::get_if<int>(&plan)) return *status;
    return runJobs(command, std::get<JobPlan>(plan));
}
