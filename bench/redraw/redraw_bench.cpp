// redraw_bench.cpp: prints milliseconds per redraw of the real editor (Qt
// window layer, four view windows with their own contexts, buffers swapped)
// for meshes of 1,000, 10,000, 100,000 and 1,000,000 triangles, or of the
// counts given: the full redrawViews of all four views, then what typical
// interactions redraw: an orbit of the 3D view (that view alone), a pan of the
// orthographic views (those three) and a moved vertex (all four, after
// updating the arrays). Each is measured on the three drawing paths side by
// side: the reference (every line, as the plain drawing), client arrays (the
// OpenGL 1.1 path) and buffer objects (the editor's path on this machine).
// Last, on the editor's path, a corner dragged in the Texture window (the
// picture with every outline, and the 3D view). Needs a display:
//   xvfb-run -a -s "-screen 0 1024x768x24" build-rel/bench/redraw/pq_bench_redraw [triangles...]
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "app/app.h"
#include "app/qt/qt_window_layer.h"
#include "bench/bench_mesh.h"

namespace {

constexpr const char* pathNames[] = {"reference", "client arrays", "buffer objects"};

// Runs one change and the redraw it causes at least five times and two
// seconds on the path in state; prints the times and returns the wall time.
double measurePath(QApplication& application, AppState& state, const std::function<void(int32_t)>& change)
{
    for (int32_t i = 0; i < 2; ++i) {
        change(i);
        redrawDirtyViews(state);
    }
    int32_t passes = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    std::chrono::duration<double, std::milli> elapsed{0};
    while (passes < 5 || elapsed.count() < 2000.0) {
        application.processEvents();
        change(passes);
        redrawDirtyViews(state);
        ++passes;
        elapsed = std::chrono::steady_clock::now() - start;
    }
    // Processor time counts every thread (the rasteriser's too) and is
    // steadier than wall time on a busy machine.
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("    %-16s %9.2f ms wall, %9.2f ms processor time (%d redraws)", pathNames[static_cast<int32_t>(state.renderPath)],
                elapsed.count() / passes, cpuMs / passes, passes);
    return elapsed.count() / passes;
}

// One change measured on the three paths side by side, each against the reference.
void measure(QApplication& application, AppState& state, const char* what, const std::function<void(int32_t)>& change)
{
    std::printf("  %s\n", what);
    double referenceMs = 0.0;
    for (const RenderPath path : {RenderPath::Reference, RenderPath::ClientArrays, RenderPath::BufferObjects}) {
        state.renderPath = path;
        const double wallMs = measurePath(application, state, change);
        if (path == RenderPath::Reference) referenceMs = wallMs;
        else std::printf("  %.2fx faster", referenceMs / wallMs);
        std::printf("\n");
    }
    state.renderPath = RenderPath::BufferObjects;
}

}  // namespace

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

    std::vector<int32_t> counts{1000, 10000, 100000, 1000000};
    if (argc > 1) counts.clear();
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    for (const int32_t count : counts) {
        state.mesh = benchGridMesh(count);
        markMeshChanged(state, allViews);
        std::printf("%d triangles, %zu vertices:\n", count, state.mesh.vertices.size());
        measure(application, state, "redrawViews (all four views)", [&](int32_t) { markViewsDirty(state, allViews); });
        measure(application, state, "orbit the 3D view", [&](int32_t pass) {
            state.camera.orbitY = 20.0f + static_cast<float>(pass % 2);
            markViewsDirty(state, viewBit(ViewKind::ThreeD));
        });
        measure(application, state, "pan the orthographic views", [&](int32_t pass) {
            state.camera.panX = pass % 2 == 0 ? 0.0f : 0.01f;
            markViewsDirty(state, orthoViews);
        });
        // A drag moves selected vertices.
        Vertex& dragged = state.mesh.vertices[static_cast<size_t>(count / 4)];
        dragged.selected = 1;
        measure(application, state, "move a vertex (arrays updated)", [&](int32_t pass) {
            dragged.x += pass % 2 == 0 ? 0.001f : -0.001f;
            markSelectionMoved(state);
        });
        state.camera.panX = 0.0f;
        // A drag in the Texture window over a 256 x 256 picture draws it and every triangle's outline.
        windows.setImage(imageTexture, RgbImage{256, 256, std::vector<uint8_t>(256 * 256 * 3, 128)});
        selectTriangleNumber(state.mesh, 1);
        openTextureWindow(state);
        std::printf("  Texture window: a corner dragged\n");
        measurePath(application, state, [&](int32_t pass) {
            const float u = pass % 2 == 0 ? 0.25f : 0.5f;
            state.mesh.triangles[0].u[0] = u;
            windows.setGadgetText(windowTexture, 200, formatDecimal(u));
            markMeshChanged(state, viewBit(ViewKind::ThreeD));
            textureWindowStep(state);
        });
        std::printf("\n");
        windows.closeWindow(windowTexture);
    }
    releaseWindows(state);
    return 0;
}
