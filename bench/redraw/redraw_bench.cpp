// redraw_bench.cpp: prints milliseconds per redrawViews of the real editor
// (Qt window layer, four view windows with their own contexts, buffers
// swapped) for meshes of 1,000, 10,000 and 100,000 triangles. Needs a display:
//   xvfb-run -a -s "-screen 0 1024x768x24" build-rel/bench/redraw/pq_bench_redraw
#include <QApplication>

#include <chrono>
#include <ctime>
#include <cstdio>

#include "app/app.h"
#include "app/qt/qt_window_layer.h"
#include "bench/bench_mesh.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QtWindowLayer windows;
    AppState state;
    state.windows = &windows;
    startUp(state, PQ_PROGRAM_DIR "/", {});
    state.camera.orbitX = 20.0f;  // the grid winds clockwise on screen, so the 3D view draws it
    state.camera.orbitY = 20.0f;
    windows.makeCurrent(windowFront);
    std::printf("renderer: %s\n", windows.glString(0x1F01).c_str());  // GL_RENDERER

    for (const int32_t count : {1000, 10000, 100000}) {
        state.mesh = benchGridMesh(count);
        markMeshChanged(state, allViews);
        for (int i = 0; i < 3; ++i) redrawViews(state);
        int32_t passes = 0;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        std::chrono::duration<double, std::milli> elapsed{0};
        while (passes < 5 || elapsed.count() < 2000.0) {
            application.processEvents();
            redrawViews(state);
            ++passes;
            elapsed = std::chrono::steady_clock::now() - start;
        }
        // Processor time counts every thread (the rasteriser's too) and is
        // steadier than wall time on a busy machine.
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        std::printf("%7d triangles, %6zu vertices: %8.2f ms per redrawViews, %8.2f ms processor time (%d redraws)\n",
                    count, state.mesh.vertices.size(), elapsed.count() / passes, cpuMs / passes, passes);
    }
    releaseWindows(state);
    return 0;
}
