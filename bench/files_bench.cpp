// files_bench.cpp: throughput of saving, loading and ASC import, in triangles
// per second, for grids of quads from 10,000 to 1,000,000 triangles, and how
// soon a cancelled import returns. The grid shares every inner vertex among
// six triangles, as real meshes do.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench/bench_mesh.h"
#include "files/files.h"
#include "mesh/mesh.h"

namespace {

std::string scratchPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("pq_bench_") + std::to_string(::getpid()) + name))
        .string();
}

void reportRate(benchmark::State& state, size_t triangles, size_t bytes)
{
    state.counters["triangles/s"] = benchmark::Counter(static_cast<double>(triangles),
                                                       benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void saveMesh(benchmark::State& state)
{
    const Mesh mesh = benchGridMesh(static_cast<int32_t>(state.range(0)));
    const std::string path = scratchPath("_save.pq");
    for (auto _ : state) {
        if (!saveMeshFile(mesh, path).empty()) state.SkipWithError("cannot write the scratch file");
    }
    reportRate(state, mesh.triangles.size(), mesh.triangles.size() * 60);
    std::filesystem::remove(path);
}

void loadMesh(benchmark::State& state)
{
    const Mesh mesh = benchGridMesh(static_cast<int32_t>(state.range(0)));
    const std::string path = scratchPath("_load.pq");
    saveMeshFile(mesh, path);
    for (auto _ : state) {
        Mesh loaded;
        if (!loadMeshFile(loaded, path)) state.SkipWithError("cannot read the scratch file");
        benchmark::DoNotOptimize(loaded.vertices.data());
    }
    reportRate(state, mesh.triangles.size(), mesh.triangles.size() * 60);
    std::filesystem::remove(path);
}

void importAscFile(benchmark::State& state)
{
    const Mesh mesh = benchGridMesh(static_cast<int32_t>(state.range(0)));
    const std::string text = gridAsc(mesh);
    const std::string path = scratchPath("_import.asc");
    writeFileReplacing(path, std::as_bytes(std::span(text.data(), text.size())));
    for (auto _ : state) {
        Mesh imported;
        if (!importAsc(imported, path, 1)) state.SkipWithError("cannot read the scratch file");
        benchmark::DoNotOptimize(imported.vertices.data());
    }
    reportRate(state, mesh.triangles.size(), text.size());
    std::filesystem::remove(path);
}

}  // namespace

// An OBJ import cancelled 100 ms after it began, while the helper parses: the
// time from setting the cancel flag to the import's return, the helper ended
// and reaped. The editor's main thread waits no longer than this after Cancel.
void cancelImport(benchmark::State& state)
{
    const Mesh mesh = benchGridMesh(static_cast<int32_t>(state.range(0)));
    const std::string path = scratchPath("_cancel.obj");
    {
        std::ofstream obj(path);
        for (const Vertex& v : mesh.vertices) obj << "v " << v.x << ' ' << v.y << ' ' << v.z << '\n';
        for (const Triangle& t : mesh.triangles)
            obj << "f " << t.vertexIndex[0] + 1 << ' ' << t.vertexIndex[1] + 1 << ' ' << t.vertexIndex[2] + 1 << '\n';
    }
    for (auto _ : state) {
        std::atomic<bool> cancel = false;
        ImportRun how;
        how.cancel = &cancel;
        std::thread import([&] { benchmark::DoNotOptimize(importThroughHelper(path, 1, how)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::chrono::steady_clock::now();
        cancel = true;
        import.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::filesystem::remove(path);
}

BENCHMARK(saveMesh)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(loadMesh)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(importAscFile)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(cancelImport)->Arg(1'000'000)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
