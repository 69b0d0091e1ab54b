// views_picture.cpp: the four views drawn into one picture without a display,
// for pqtool render: each view gets its own offscreen context, set up and
// redrawn by the same functions as the editor's view windows.
#include "views/views.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* labelNames[4] = {"Front.bmp", "Side.bmp", "Top.bmp", "3D.bmp"};
// The editor's window background under Qt's default style shows between the views.
constexpr uint8_t background = 239;

std::string currentGlVersion()
{
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return text != nullptr ? text : "";
}

// The mesh moved and scaled where frameThreeDPicture puts it, for the 3D view
// alone: its fog darkens by the depth it is drawn at.
Mesh placedForThreeD(const Mesh& mesh, const ThreeDFrame& f)
{
    Mesh placed = mesh;
    for (Vertex& v : placed.vertices) {
        v.x = (v.x - f.centre.x) * f.scale.x;
        v.y = (v.y - f.centre.y) * f.scale.y;
        v.z = (v.z - f.centre.z) * f.scale.z;
    }
    return placed;
}

}  // namespace

std::array<ViewRect, 4> viewLayout(int32_t width, int32_t height)
{
    const int32_t halfW = width / 2, halfH = height / 2;
    const int32_t leftW = std::max(0, halfW - 2), rightW = std::max(0, width - halfW);
    const int32_t viewH = std::max(0, halfH - 2);
    return {{{0, 0, leftW, viewH}, {halfW, 0, rightW, viewH}, {0, halfH, leftW, viewH}, {halfW, halfH, rightW, viewH}}};
}

ViewsPicture renderViewsPicture(const Mesh& mesh, const std::string& labelFolder,
                                const std::string& textureFile, int32_t width, int32_t height,
                                const PictureFraming& framing)
{
    ViewsPicture result;
    result.labelsLoaded = true;
    RgbImage& picture = result.image;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, background);

    Engine engine;
    RenderBuffers shared;
    const std::string folder = labelFolder.empty() || labelFolder.back() == '/' ? labelFolder : labelFolder + '/';
    std::array<ViewRect, 4> layout = viewLayout(width, height);
    if (framing.onlyView)
        for (size_t index = 0; index < layout.size(); ++index)
            layout[index] =
                index == static_cast<size_t>(*framing.onlyView) ? ViewRect{0, 0, width, height} : ViewRect{};
    ViewCamera camera;
    if (framing.frame) frameMesh(camera, mesh);
    for (size_t index = 0; index < layout.size(); ++index) {
        const ViewKind view = static_cast<ViewKind>(index);
        const ViewRect& rect = layout[index];
        if (rect.width <= 0 || rect.height <= 0) continue;
        const OffscreenGl gl(rect.width, rect.height);
        if (!gl.valid()) return ViewsPicture{};

        // Textures are declared after the context so they go before it.
        prepareViewContext(view);
        GlTexture label;
        if (framing.labels) {
            label.reset(loadTexture(engine, folder + labelNames[index], 0, readBmpFile));
            result.labelsLoaded = result.labelsLoaded && !engine.pixels.empty();
        }
        finishViewContext(view);
        GlTexture texture;
        if (view == ViewKind::ThreeD && !textureFile.empty()) {
            texture.reset(loadTexture(engine, textureFile, 0, readBmpFile));
            result.textureLoaded = !engine.pixels.empty();
        }

        // The second redraw finds the state every later redraw of the editor finds.
        const bool placed = framing.frame && view == ViewKind::ThreeD;
        const Mesh placedMesh =
            placed ? placedForThreeD(mesh, frameThreeDPicture(mesh, rect.width, rect.height)) : Mesh{};
        RenderBuffers placedShared;  // the placed mesh is another mesh: arrays of its own
        ViewBuffers own;
        ViewFrame frame = viewFrame(view, rect.width, rect.height, 1.0f, renderPathFor(currentGlVersion()));
        frame.textureName = texture.name();
        frame.labelTexture = label.name();
        for (int pass = 0; pass < 2; ++pass)
            drawView(engine, frame, placed ? placedMesh : mesh, camera, placed ? placedShared : shared, own);
        const RgbImage pixels = gl.readPixels();
        const auto rowBytes = static_cast<size_t>(rect.width) * 3;
        for (int32_t row = 0; row < rect.height; ++row)
            std::memcpy(&picture.rgb[(static_cast<size_t>(rect.y + row) * static_cast<size_t>(width) +
                                      static_cast<size_t>(rect.x)) * 3],
                        &pixels.rgb[static_cast<size_t>(row) * rowBytes], rowBytes);
    }
    return result;
}
