// modelling_bench.cpp: each modelling command once on a grid of 100,000
// triangles with every vertex selected, on a fresh copy each time (the copy is
// not timed). Weld runs twice: on the grid, where nothing is close enough, and
// on the grid duplicated in place, where every vertex has a twin to merge.
#include <benchmark/benchmark.h>

#include <functional>

#include "bench/bench_mesh.h"
#include "mesh/mesh.h"

namespace {

constexpr int32_t triangles = 100000;

Mesh selectedGrid()
{
    Mesh mesh = benchGridMesh(triangles);
    selectAllVertices(mesh);
    return mesh;
}

void measure(benchmark::State& state, const Mesh& start, const std::function<void(Mesh&)>& command)
{
    for (auto _ : state) {
        state.PauseTiming();
        Mesh mesh = start;
        state.ResumeTiming();
        command(mesh);
        benchmark::DoNotOptimize(mesh.triangles.data());
        state.PauseTiming();
        mesh = Mesh{};
        state.ResumeTiming();
    }
    state.counters["triangles"] = static_cast<double>(start.triangles.size());
}

void selectAll(benchmark::State& state) { measure(state, benchGridMesh(triangles), selectAllVertices); }
void invert(benchmark::State& state) { measure(state, selectedGrid(), invertVertexSelection); }
void duplicate(benchmark::State& state) { measure(state, selectedGrid(), duplicateSelection); }
void mirrorCopy(benchmark::State& state)
{
    measure(state, selectedGrid(), [](Mesh& m) { mirrorSelection(m, 0, 0.0f, true); });
}
void mirrorInPlace(benchmark::State& state)
{
    measure(state, selectedGrid(), [](Mesh& m) { mirrorSelection(m, 1, 0.5f, false); });
}
void extrude(benchmark::State& state)
{
    measure(state, selectedGrid(), [](Mesh& m) { extrudeSelection(m, 0.25f); });
}
void weldNothingClose(benchmark::State& state)
{
    measure(state, selectedGrid(), [](Mesh& m) { weldSelectedVertices(m, 0.001f); });
}
void weldTwins(benchmark::State& state)
{
    Mesh twins = selectedGrid();
    duplicateSelection(twins);
    selectAllVertices(twins);
    measure(state, twins, [](Mesh& m) { weldSelectedVertices(m, 0.001f); });
}
void insertSphere(benchmark::State& state)
{
    // 256 segments and 128 rings: 65,024 triangles.
    measure(state, selectedGrid(), [](Mesh& m) { insertPrimitive(m, Primitive::Sphere, {}, 1.0f, 256); });
}

}  // namespace

BENCHMARK(selectAll)->Unit(benchmark::kMillisecond);
BENCHMARK(invert)->Unit(benchmark::kMillisecond);
BENCHMARK(duplicate)->Unit(benchmark::kMillisecond);
BENCHMARK(mirrorCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(mirrorInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(extrude)->Unit(benchmark::kMillisecond);
BENCHMARK(weldNothingClose)->Unit(benchmark::kMillisecond);
BENCHMARK(weldTwins)->Unit(benchmark::kMillisecond);
BENCHMARK(insertSphere)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
