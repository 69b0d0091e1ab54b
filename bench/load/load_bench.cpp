// load_bench.cpp: `pqtool info` against assimp on the same meshes, and against
// Blender's OBJ import when `blender` is on the PATH (timed inside Blender, as
// its start-up is not the import's). Every read runs in a fresh process (wall
// time and peak resident memory from wait4), right after an untimed read of
// the same file; the cases run side by side in each round and the best of the
// rounds counts, so the ratios hold on a busy machine. Prints seconds, ratios
// and memory:
//   build-rel/bench/load/pq_bench_load [--rounds N] [--large] [--pqtool PATH]
// --large adds the distinct-corner mesh at 5M triangles, to show the load
// scales linearly. The files live in a temporary folder removed at the end.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_mesh.h"
#include "files/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// 708 x 708 cells: 1,002,528 triangles on 502,681 shared vertices.
constexpr int32_t gridTriangles = 1'002'528;
constexpr size_t distinctTriangles = 1'250'000;
constexpr size_t largeDistinctTriangles = 5'000'000;

void putFloat(std::string& out, float value)
{
    const auto bits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(bits >> (8 * i)));
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Binary STL: 80-byte header, the count, then per triangle a zero normal,
// three corners and a zero attribute word.
std::string gridStl(const Mesh& mesh)
{
    std::string out(80, ' ');
    const auto count = static_cast<uint32_t>(mesh.triangles.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(count >> (8 * i)));
    for (const Triangle& t : mesh.triangles) {
        for (int i = 0; i < 3; ++i) putFloat(out, 0.0f);
        for (const int32_t p : t.vertexIndex) {
            const Vertex& v = mesh.vertices[static_cast<size_t>(p)];
            putFloat(out, v.x);
            putFloat(out, v.y);
            putFloat(out, v.z);
        }
        out.append(2, '\0');
    }
    return out;
}

// OBJ with the numbers printed as the ASC export prints them.
std::string gridObj(const Mesh& mesh)
{
    std::string out;
    char line[160];
    for (const Vertex& v : mesh.vertices) {
        std::snprintf(line, sizeof line, "v %f %f %f\n", static_cast<double>(v.x), static_cast<double>(v.y),
                      static_cast<double>(v.z));
        out += line;
    }
    for (const Triangle& t : mesh.triangles) {
        std::snprintf(line, sizeof line, "f %d %d %d\n", t.vertexIndex[0] + 1, t.vertexIndex[1] + 1,
                      t.vertexIndex[2] + 1);
        out += line;
    }
    return out;
}

// A native file whose corners all stand at different places.
std::string distinctPq(size_t triangles)
{
    std::string out;
    out.reserve(triangles * 60);
    uint64_t state = 0x2545F4914F6CDD1Dull;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<float>(state >> 40) / static_cast<float>(1 << 24) * 2.0f - 1.0f;
    };
    for (size_t i = 0; i < 3 * triangles; ++i) {
        putFloat(out, next());
        putFloat(out, next());
        for (int k = 0; k < 3; ++k) putFloat(out, next());
    }
    return out;
}

struct Run {
    double seconds = 0.0;
    double peakMb = 0.0;
    std::string output;
};

// Runs the command in a new process, its output into `outputFile`.
Run runProcess(const std::vector<std::string>& command, const fs::path& outputFile)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::ifstream in(outputFile);
    run.output.assign(std::istreambuf_iterator<char>(in), {});
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed:\n%s\n", argv[0], run.output.c_str());
        std::exit(1);
    }
    return run;
}

// The number after "label: " in a program's output; 0 if absent.
double numberIn(const std::string& output, const std::string& label)
{
    const size_t at = output.find(label + ": ");
    return at == std::string::npos ? 0.0 : std::stod(output.substr(at + label.size() + 2));
}

size_t countIn(const std::string& output, const std::string& label)
{
    return static_cast<size_t>(numberIn(output, label));
}

struct Case {
    std::string name;
    std::vector<std::string> command;
    Run best;
    bool timedInside = false;  // the program prints "import seconds: " itself
};

// Imports the OBJ file named after "--" and prints the time and the counts.
constexpr const char* blenderScript = R"(import bpy, sys, time
bpy.ops.wm.read_factory_settings(use_empty=True)
start = time.perf_counter()
bpy.ops.wm.obj_import(filepath=sys.argv[sys.argv.index("--") + 1])
seconds = time.perf_counter() - start
meshes = [o.data for o in bpy.context.scene.objects if o.type == "MESH"]
print("import seconds: %.6f" % seconds)
print("triangles: %d" % sum(len(m.polygons) for m in meshes))
print("vertices: %d" % sum(len(m.vertices) for m in meshes))
)";

// The program's path in a folder of the PATH; empty when none has it.
std::string onPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path == nullptr ? "" : path;
    while (!folders.empty()) {
        const size_t colon = std::min(folders.find(':'), folders.size());
        const fs::path candidate = fs::path(folders.substr(0, colon)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        folders.remove_prefix(std::min(colon + 1, folders.size()));
    }
    return {};
}

// Child mode: assimp reads the file, as a program using it would.
int readWithAssimp(const std::string& path, bool join)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, join ? aiProcess_JoinIdenticalVertices : 0u);
    if (scene == nullptr) {
        std::printf("%s\n", importer.GetErrorString());
        return 1;
    }
    size_t triangles = 0, vertices = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        triangles += scene->mMeshes[i]->mNumFaces;
        vertices += scene->mMeshes[i]->mNumVertices;
    }
    std::printf("triangles: %zu\nvertices: %zu\n", triangles, vertices);
    return 0;
}

// Child mode: writes the meshes into the folder.
int writeMeshes(const fs::path& folder, bool large)
{
    {
        const Mesh grid = benchGridMesh(gridTriangles);
        saveMeshFile(grid, folder / "grid.pq");
        writeText(folder / "grid.stl", gridStl(grid));
        writeText(folder / "grid.asc", gridAsc(grid));
        writeText(folder / "grid.obj", gridObj(grid));
    }
    writeText(folder / "distinct.pq", distinctPq(distinctTriangles));
    if (large) writeText(folder / "distinct5m.pq", distinctPq(largeDistinctTriangles));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--assimp") return readWithAssimp(args[1], args.size() > 2);
    if (args.size() == 3 && args[0] == "--write") return writeMeshes(args[1], args[2] == "large");
    int rounds = 5;
    bool large = false;
    std::string pqtool = PQTOOL_PATH;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--rounds" && i + 1 < args.size()) rounds = std::max(1, std::stoi(args[++i]));
        if (args[i] == "--large") large = true;
        if (args[i] == "--pqtool" && i + 1 < args.size()) pqtool = args[++i];
    }

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path folder = fs::temp_directory_path() / ("pq_bench_load_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::printf("writing the meshes to %s ...\n", folder.c_str());
    // By a child, so this process stays small: a child's peak memory counts
    // from its parent's at the time it starts.
    runProcess({self, "--write", folder, large ? "large" : "normal"}, folder / "output.txt");
    std::vector<Case> cases = {
        {"pqtool info grid.pq", {pqtool, "info", folder / "grid.pq"}, {}},
        {"assimp grid.stl, JoinIdenticalVertices", {self, "--assimp", folder / "grid.stl", "join"}, {}},
        {"pqtool info grid.asc", {pqtool, "info", folder / "grid.asc"}, {}},
        {"assimp grid.obj", {self, "--assimp", folder / "grid.obj"}, {}},
        {"pqtool info distinct.pq", {pqtool, "info", folder / "distinct.pq"}, {}},
    };
    if (large) cases.push_back({"pqtool info distinct5m.pq", {pqtool, "info", folder / "distinct5m.pq"}, {}});
    const std::string blender = onPath("blender");
    const size_t blenderCase = cases.size();
    if (!blender.empty()) {
        writeText(folder / "import.py", blenderScript);
        cases.push_back({"Blender grid.obj (inside Blender)",
                         {blender, "-b", "--factory-startup", "--python-exit-code", "1", "--python",
                          folder / "import.py", "--", folder / "grid.obj"},
                         {},
                         true});
    }

    for (int round = 0; round < rounds; ++round) {
        for (Case& c : cases) {
            // Each timed read follows an untimed one of the same file: a
            // process started right after another freed hundreds of megabytes,
            // or after a pause, pays up to 0.2 s more system time here.
            runProcess(c.command, folder / "output.txt");
            Run run = runProcess(c.command, folder / "output.txt");
            if (c.timedInside) run.seconds = numberIn(run.output, "import seconds");
            if (round == 0 || run.seconds < c.best.seconds) c.best = run;
        }
    }

    std::printf("best of %d rounds, each read in a fresh process:\n", rounds);
    for (const Case& c : cases)
        std::printf("  %-42s %7.3f s  peak %7.1f MB  (%zu triangles, %zu vertices)\n", c.name.c_str(),
                    c.best.seconds, c.best.peakMb, countIn(c.best.output, "triangles"),
                    countIn(c.best.output, "vertices"));
    const auto seconds = [&](size_t i) { return cases[i].best.seconds; };
    std::printf("native grid: %.1fx faster than assimp's binary STL with JoinIdenticalVertices\n",
                seconds(1) / seconds(0));
    std::printf("ASC grid:    %.1fx faster than assimp's OBJ\n", seconds(3) / seconds(2));
    std::printf("distinct corners: %.2fx the grid's time per triangle\n",
                (seconds(4) / distinctTriangles) / (seconds(0) / gridTriangles));
    if (large)
        std::printf("distinct corners at 5M: %.2fx the time per triangle at 1.25M\n",
                    (seconds(5) / largeDistinctTriangles) / (seconds(4) / distinctTriangles));
    if (blenderCase < cases.size())
        std::printf("ASC grid:    %.1fx faster than Blender's OBJ import\n", seconds(blenderCase) / seconds(2));
    else
        std::printf("Blender is not on the PATH: no comparison with its OBJ import\n");

    // Peak memory of each native load against 2.5 x the mesh in memory plus the file.
    std::printf("peak memory of pqtool info against 2.5 x the loaded mesh + the file:\n");
    for (const size_t i : {size_t{0}, size_t{2}, size_t{4}, size_t{5}}) {
        if (i >= cases.size() || cases[i].timedInside) continue;
        const Run& r = cases[i].best;
        const double meshMb = static_cast<double>(countIn(r.output, "vertices") * sizeof(Vertex) +
                                                  countIn(r.output, "triangles") * sizeof(Triangle)) /
                              (1024.0 * 1024.0);
        const double fileMb = static_cast<double>(fs::file_size(cases[i].command.back())) / (1024.0 * 1024.0);
        std::printf("  %-42s %7.1f MB of %7.1f MB (mesh %.1f MB, file %.1f MB)\n", cases[i].name.c_str(), r.peakMb,
                    2.5 * meshMb + fileMb, meshMb, fileMb);
    }
    fs::remove_all(folder);
    return 0;
}
