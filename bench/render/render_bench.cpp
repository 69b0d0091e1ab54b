// render_bench.cpp: prints milliseconds per full redraw of the four views
// (camera, renderMesh and label per view, each in its own offscreen context of
// the start-up size) for meshes of 1,000, 10,000 and 100,000 triangles, on
// the reference path and on the buffer objects path, side by side.
#include <GL/gl.h>

#include <array>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench/bench_mesh.h"
#include "engine/engine.h"
#include "views/views.h"

namespace {

struct BenchView {
    ViewKind kind;
    std::unique_ptr<OffscreenGl> gl;
    GlTexture label;
    GlTexture texture;
    ViewBuffers buffers;
};

// A texture of width x height made in the current context.
uint32_t makeTexture(int32_t width, int32_t height)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return name;
}

}  // namespace

int main()
{
    const std::array<ViewKind, 4> kinds{ViewKind::Front, ViewKind::Side, ViewKind::Top, ViewKind::ThreeD};
    const std::array<int32_t, 4> widths{248, 250, 248, 250};
    std::vector<BenchView> views;
    for (size_t i = 0; i < kinds.size(); ++i) {
        BenchView view{kinds[i], std::make_unique<OffscreenGl>(widths[i], 198), {}, {}, {}};
        if (!view.gl->valid()) {
            std::fprintf(stderr, "no offscreen OpenGL context\n");
            return 1;
        }
        if (view.kind == ViewKind::ThreeD) glEnable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        if (view.kind != ViewKind::ThreeD) glDisable(GL_FOG);
        view.label.reset(makeTexture(64, 32));
        if (view.kind == ViewKind::ThreeD) view.texture.reset(makeTexture(256, 256));
        views.push_back(std::move(view));
    }
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    Engine engine;
    ViewCamera camera;
    camera.orbitX = 20.0f;
    camera.orbitY = 20.0f;  // the grid winds clockwise on screen, so the 3D view draws it
    for (const int32_t count : {1000, 10000, 100000}) {
        const Mesh mesh = benchGridMesh(count);
        RenderBuffers shared;
        for (BenchView& view : views) {  // each view's arrays follow one RenderBuffers
            view.gl->makeCurrent();
            view.buffers = ViewBuffers{};
        }
        double referenceMs = 0.0;
        for (const RenderPath path : {RenderPath::Reference, RenderPath::BufferObjects}) {
            const auto redraw = [&] {
                for (BenchView& view : views) {
                    view.gl->makeCurrent();
                    ViewFrame frame = viewFrame(view.kind, view.gl->width(), view.gl->height(), 1.0f, path);
                    frame.textureName = view.texture.name();
                    frame.labelTexture = view.label.name();
                    drawView(engine, frame, mesh, camera, shared, view.buffers);
                    glFinish();  // where the program swaps buffers
                }
            };
            for (int i = 0; i < 3; ++i) redraw();
            int32_t passes = 0;
            const auto start = std::chrono::steady_clock::now();
            const std::clock_t cpuStart = std::clock();
            auto elapsed = std::chrono::duration<double, std::milli>(0);
            while (passes < 5 || elapsed.count() < 2000.0) {
                redraw();
                ++passes;
                elapsed = std::chrono::steady_clock::now() - start;
            }
            // Processor time counts every thread (the rasteriser's too) and is
            // steadier than wall time on a busy machine.
            const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
            const double wallMs = elapsed.count() / passes;
            if (path == RenderPath::Reference) referenceMs = wallMs;
            std::printf("%7d triangles, %6zu vertices, %-14s %8.2f ms per four-view redraw, %8.2f ms processor time "
                        "(%d redraws)",
                        count, mesh.vertices.size(), path == RenderPath::Reference ? "reference:" : "buffer objects:",
                        wallMs, cpuMs / passes, passes);
            if (path != RenderPath::Reference) std::printf(", %.2fx faster", referenceMs / wallMs);
            std::printf("\n");
        }
    }
    for (BenchView& view : views) {  // textures go with the context that made them
        view.gl->makeCurrent();
        view.label.reset();
        view.texture.reset();
        view.buffers = ViewBuffers{};
    }
    return 0;
}
