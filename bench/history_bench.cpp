// history_bench.cpp: undo and redo on grids of 100,000 and 1,000,000
// triangles. One iteration undoes one step and redoes it, so a step takes
// half the time shown; "record ms" is the time to record the step after the
// action, "step KB" what the step holds.
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

#include "bench/bench_mesh.h"
#include "mesh/mesh.h"

namespace {

void measureStep(benchmark::State& state, const std::function<void(Mesh&)>& action)
{
    Mesh mesh = benchGridMesh(static_cast<int32_t>(state.range(0)));
    std::string name = "grid.pq";
    MeshHistory history;
    resetHistory(history, mesh, name);
    action(mesh);
    const auto start = std::chrono::steady_clock::now();
    recordStep(history, mesh, name);
    const std::chrono::duration<double, std::milli> recordTime = std::chrono::steady_clock::now() - start;
    const size_t stepBytes = history.bytes;
    for (auto _ : state) {
        undoStep(history, mesh, name);
        redoStep(history, mesh, name);
        benchmark::DoNotOptimize(mesh.vertices.data());
    }
    state.counters["record ms"] = recordTime.count();
    state.counters["step KB"] = static_cast<double>(stepBytes) / 1024.0;
}

void moveOneVertex(benchmark::State& state)
{
    measureStep(state, [](Mesh& mesh) { mesh.vertices[mesh.vertices.size() / 2].x += 0.25f; });
}

void selectEveryVertex(benchmark::State& state)
{
    measureStep(state, [](Mesh& mesh) { selectAllVertices(mesh); });
}

void scaleEveryVertex(benchmark::State& state)
{
    measureStep(state, [](Mesh& mesh) {
        selectAllVertices(mesh);
        scaleSelectedVertices(mesh, {}, 2.0f, 2.0f, 2.0f);
    });
}

void deleteOneVertexNearTheStart(benchmark::State& state)
{
    measureStep(state, [](Mesh& mesh) {
        deselectAllVertices(mesh);
        mesh.vertices[mesh.vertices.size() / 100].selected = 1;
        deleteSelectedVertices(mesh);
    });
}

void deleteEverything(benchmark::State& state)
{
    measureStep(state, [](Mesh& mesh) {
        selectAllVertices(mesh);
        deleteSelectedVertices(mesh);
    });
}

void autoTexCoordsOnEveryTriangle(benchmark::State& state)
{
    measureStep(state, [](Mesh& mesh) { autoTexCoords(mesh, 0.0f, 1.0f); });
}

}  // namespace

BENCHMARK(moveOneVertex)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(selectEveryVertex)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(scaleEveryVertex)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(deleteOneVertexNearTheStart)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(deleteEverything)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(autoTexCoordsOnEveryTriangle)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
