// views_picture.cpp: the four views drawn into one picture without a display,
// for pqtool render: each view gets its own offscreen context, set up and
// redrawn by the same functions as the editor's view windows.
#include "views/views.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* labelNames[4] = {"Front.bmp", "Side.bmp", "Top.bmp", "3D.bmp"};
// The editor's window background under Qt's default style shows between the views.
constexpr uint8_t background = 239;

}  // namespace

std::array<ViewRect, 4> viewLayout(int32_t width, int32_t height)
{
    const int32_t halfW = width / 2, halfH = height / 2;
    const int32_t leftW = std::max(0, halfW - 2), rightW = std::max(0, width - halfW);
    const int32_t viewH = std::max(0, halfH - 2);
    return {{{0, 0, leftW, viewH}, {halfW, 0, rightW, viewH}, {0, halfH, leftW, viewH}, {halfW, halfH, rightW, viewH}}};
}

ViewsPicture renderViewsPicture(const Mesh& mesh, const std::string& labelFolder,
                                const std::string& textureFile, int32_t width, int32_t height)
{
    ViewsPicture result;
    result.labelsLoaded = true;
    RgbImage& picture = result.image;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, background);

    Engine engine;
    const std::string folder = labelFolder.empty() || labelFolder.back() == '/' ? labelFolder : labelFolder + '/';
    const std::array<ViewRect, 4> layout = viewLayout(width, height);
    for (size_t index = 0; index < layout.size(); ++index) {
        const ViewKind view = static_cast<ViewKind>(index);
        const ViewRect& rect = layout[index];
        if (rect.width <= 0 || rect.height <= 0) continue;
        const OffscreenGl gl(rect.width, rect.height);
        if (!gl.valid()) return ViewsPicture{};

        // Textures are declared after the context so they go before it.
        prepareViewContext(view);
        const GlTexture label(loadTexture(engine, folder + labelNames[index], 0, readBmpFile));
        result.labelsLoaded = result.labelsLoaded && !engine.pixels.empty();
        finishViewContext(view);
        GlTexture texture;
        if (view == ViewKind::ThreeD && !textureFile.empty()) {
            texture.reset(loadTexture(engine, textureFile, 0, readBmpFile));
            result.textureLoaded = !engine.pixels.empty();
        }

        // The second redraw finds the state every later redraw of the editor finds.
        RenderBuffers buffers;
        const float aspect = static_cast<float>(rect.width) / static_cast<float>(rect.height);
        for (int pass = 0; pass < 2; ++pass)
            drawView(engine, view, mesh, ViewCamera{}, aspect, 1.0f, texture.name(), label.name(), buffers);
        const RgbImage pixels = gl.readPixels();
        const auto rowBytes = static_cast<size_t>(rect.width) * 3;
        for (int32_t row = 0; row < rect.height; ++row)
            std::memcpy(&picture.rgb[(static_cast<size_t>(rect.y + row) * static_cast<size_t>(width) +
                                      static_cast<size_t>(rect.x)) * 3],
                        &pixels.rgb[static_cast<size_t>(row) * rowBytes], rowBytes);
    }
    return result;
}
