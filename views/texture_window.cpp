// texture_window.cpp: the mesh texture and the Texture window (window 11): the
// picture at its own size with the selected triangle drawn over it, and six
// fields holding the triangle's U and V per corner, written back on every pass.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/app.h"

namespace {

constexpr int32_t firstField = 200;  // 200 + 2k holds u[k], 201 + 2k holds v[k]
constexpr int32_t fieldHeight = 20;
constexpr int32_t pictureTop = 60;  // below the three rows of fields
constexpr int32_t cornerSquare = 6;
constexpr int32_t noTextureMessage = 10;

// Nearest whole pixel; coordinates far off the window are held where they
// cannot overflow, NaN goes to 0.
int32_t toPixel(double value)
{
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(value, -1.0e6, 1.0e6)));
}

// The focused field's corner gets the mark, the other two lose theirs; the
// mark is set last so a corner sharing a vertex cannot clear it again.
void markCorner(Mesh& mesh, const Triangle& t, int32_t corner)
{
    for (int32_t k = 0; k < 3; ++k)
        if (k != corner) setVertexMarked(mesh, t.vertexIndex[static_cast<size_t>(k)], 0);
    setVertexMarked(mesh, t.vertexIndex[static_cast<size_t>(corner)], 1);
}

// The fields take the values of the selected triangle, which the window edits
// from now on; the mark moves to the same corner of it.
void showTriangle(AppState& state, int32_t selected)
{
    WindowLayer& w = *state.windows;
    const Triangle& t = state.mesh.triangles[static_cast<size_t>(selected)];
    for (int32_t k = 0; k < 3; ++k) {
        const auto corner = static_cast<size_t>(k);
        w.setGadgetText(windowTexture, firstField + 2 * k, formatDecimal(t.u[corner]));
        w.setGadgetText(windowTexture, firstField + 2 * k + 1, formatDecimal(t.v[corner]));
    }
    for (Vertex& v : state.mesh.vertices) v.marked = 0;
    if (state.textureCorner >= 0) markCorner(state.mesh, t, state.textureCorner);
    markMeshChanged(state, orthoViews);
    state.textureTriangle = selected;
}

void closeTextureWindow(AppState& state)
{
    state.windows->closeWindow(windowTexture);
    state.windows->activateWindow(windowMain);
}

// The picture's size in the window: its own, or scaled down with its
// proportions kept until the window fits in maxClient.
CursorPos shownPictureSize(int32_t width, int32_t height, CursorPos maxClient)
{
    const double room = std::min(static_cast<double>(maxClient.x) / std::max(width, 1),
                                 static_cast<double>(maxClient.y - pictureTop) / std::max(height, 1));
    if (room >= 1.0) return {width, height};
    const double scale = std::max(room, 0.0);
    return {std::max(1, static_cast<int32_t>(width * scale)), std::max(1, static_cast<int32_t>(height * scale))};
}

void drawTriangleOverPicture(WindowLayer& w, const Triangle& t, CursorPos shown)
{
    const double width = shown.x;
    const double height = shown.y;
    if (shown.x == w.imageWidth(imageTexture) && shown.y == w.imageHeight(imageTexture))
        w.drawImage(windowTexture, imageTexture, 0, pictureTop);
    else
        w.drawImageScaled(windowTexture, imageTexture, 0, pictureTop, shown.x, shown.y);
    for (size_t k = 0; k < 3; ++k)
        w.fillRect(windowTexture, toPixel(width * t.u[k] - cornerSquare / 2),
                   toPixel(height * t.v[k] + pictureTop - cornerSquare / 2), cornerSquare,
                   cornerSquare, 255, 0, 0);
    const auto x = [&](size_t k) { return toPixel(width * t.u[k]); };
    const auto y = [&](size_t k) { return toPixel(pictureTop + height * t.v[k]); };
    w.drawLine(windowTexture, x(0), y(0), x(1), y(1), LineMode::Invert);
    w.drawLine(windowTexture, x(1), y(1), x(2), y(2), LineMode::Invert);
    w.drawLine(windowTexture, x(0), y(0), x(2), y(2), LineMode::Invert);
}

}  // namespace

void chooseTextureWith(AppState& state, const TextureReader& read, const TextureUploader& upload)
{
    WindowLayer& w = *state.windows;
    const std::string file = w.chooseFile(
        "Texture", "", "BMP, JPEG, PNG|*.bmp;*.jpg;*.jpeg;*.png|BMP|*.bmp|JPG|*.jpg;*.jpeg|PNG|*.png", 0, false);
    if (!file.empty()) useTextureFileWith(state, file, read, upload);
}

void useTextureFileWith(AppState& state, const std::string& file, const TextureReader& read,
                        const TextureUploader& upload)
{
    WindowLayer& w = *state.windows;
    // Views drawn while a dialog was open have left their own context current.
    w.makeCurrent(window3D);
    state.textureName.reset();
    w.freeImage(imageTexture);
    state.textureFileName = file;
    // One decode feeds both, so the window never edits over a picture the 3D view lacks.
    const RgbImage image = read(file);
    if (image.width <= 0 || image.height <= 0) return;
    state.textureName.reset(upload(image));
    if (state.textureName.name() != 0) w.setImage(imageTexture, image);
}

void openTextureWindow(AppState& state)
{
    WindowLayer& w = *state.windows;
    const int32_t selected = firstSelectedTriangle(state.mesh);
    if (selected < 0) return tellSelectFirst(state, Text::SelectTriangleFirst);
    if (!w.hasImage(imageTexture)) {
        w.showMessage("Texture", uiTextOf(state.uiText, state.prefs.language, noTextureMessage));
        return;
    }
    state.texturePicture =
        shownPictureSize(w.imageWidth(imageTexture), w.imageHeight(imageTexture), w.maxToolClientSize());
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::BesideMain;
    spec.width = state.texturePicture.x;
    spec.height = state.texturePicture.y + pictureTop;
    spec.title = "Texture";
    w.closeWindow(windowTexture);
    if (!w.openWindow(windowTexture, spec)) return;
    // The platform may have widened the window; the fields share what it got.
    const int32_t half = w.clientWidth(windowTexture) / 2;
    const Triangle& t = state.mesh.triangles[static_cast<size_t>(selected)];
    for (int32_t k = 0; k < 3; ++k) {
        const auto corner = static_cast<size_t>(k);
        w.createTextField(windowTexture, firstField + 2 * k, 0, fieldHeight * k, half, fieldHeight,
                          formatDecimal(t.u[corner]), false);
        w.createTextField(windowTexture, firstField + 2 * k + 1, half, fieldHeight * k, half,
                          fieldHeight, formatDecimal(t.v[corner]), false);
    }
    state.textureTriangle = selected;
    state.textureCorner = -1;
    w.showWindow(windowTexture);
    w.activateWindow(windowTexture);
}

void showTextureWindowValues(AppState& state)
{
    const int32_t selected = firstSelectedTriangle(state.mesh);
    if (state.windows->isWindowOpen(windowTexture) && selected >= 0) showTriangle(state, selected);
}

void textureWindowStep(AppState& state)
{
    WindowLayer& w = *state.windows;
    const int32_t selected = firstSelectedTriangle(state.mesh);
    if (selected < 0) {
        w.showMessage("Triangle-Selection", "No triangle selected");
        closeTextureWindow(state);
        return;
    }
    // Another triangle selected under the window: its own values come first;
    // nothing is carried over from the one edited before.
    if (selected != state.textureTriangle) showTriangle(state, selected);
    Triangle& t = state.mesh.triangles[static_cast<size_t>(selected)];
    const Triangle before = t;
    for (int32_t k = 0; k < 3; ++k) {
        const auto corner = static_cast<size_t>(k);
        t.u[corner] = readDecimalFloat(w.gadgetText(windowTexture, firstField + 2 * k));
        t.v[corner] = readDecimalFloat(w.gadgetText(windowTexture, firstField + 2 * k + 1));
    }
    // Compared as bits: a NaN typed into a field is a change only once.
    if (std::memcmp(before.u.data(), t.u.data(), sizeof t.u) != 0 ||
        std::memcmp(before.v.data(), t.v.data(), sizeof t.v) != 0)
        markMeshChanged(state, viewBit(ViewKind::ThreeD));
    drawTriangleOverPicture(w, t, state.texturePicture);

    if (state.eventWindow != windowTexture) {
        // Keeps the window in front until the user closes it.
        w.activateWindow(windowTexture);
        return;
    }
    if (state.eventKind == eventClose) {
        for (int32_t vertex : t.vertexIndex) setVertexMarked(state.mesh, vertex, 0);
        markMeshChanged(state, orthoViews);
        closeTextureWindow(state);
    } else if (state.eventKind == eventControl && state.event.notification == notifySetFocus) {
        const int32_t field = state.event.control - firstField;
        if (field >= 0 && field < 6) {
            state.textureCorner = field / 2;
            markCorner(state.mesh, t, state.textureCorner);
            markMeshChanged(state, orthoViews);
        }
    }
}
