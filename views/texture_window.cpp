// texture_window.cpp: the mesh texture and the Texture window (window 11): the
// picture with the selected triangle drawn over it and the other triangles'
// outlines faintly under it, and six fields holding the triangle's U and V per
// corner. A corner's point is dragged with the left button (Ctrl snaps it to
// texel corners), a click inside another outline selects that triangle, the
// wheel zooms the picture about the cursor and a middle drag pans it.
// Touches state.mesh, the texture fields of AppState and state.textureView.
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
constexpr double cornerReach = 6.0;      // pixels from a corner's point that a press takes it
constexpr double minPictureZoom = 1.0 / 16.0;
constexpr double maxTexelPixels = 64.0;  // zoomed in, a texel grows to at most this width
constexpr uint8_t backdrop = 64;         // grey where the picture does not reach

// Nearest whole pixel; coordinates far off the window are held where they
// cannot overflow, NaN goes to 0.
int32_t toPixel(double value)
{
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(value, -1.0e6, 1.0e6)));
}

struct PicturePoint {
    double x = 0.0;
    double y = 0.0;
};

// Window pixels per unit of U and of V.
PicturePoint pictureScale(const AppState& state)
{
    return {state.texturePicture.x * state.textureView.zoom, state.texturePicture.y * state.textureView.zoom};
}

// Where texture coordinate (u, v) shows in the window.
PicturePoint pictureOf(const AppState& state, double u, double v)
{
    const PicturePoint scale = pictureScale(state);
    return {state.textureView.panX + u * scale.x, pictureTop + state.textureView.panY + v * scale.y};
}

// The texture coordinate under a window pixel.
PicturePoint coordinatesAt(const AppState& state, CursorPos cursor)
{
    const PicturePoint scale = pictureScale(state);
    return {(cursor.x - state.textureView.panX) / scale.x, (cursor.y - pictureTop - state.textureView.panY) / scale.y};
}

// True when (u, v) lies inside the triangle's texture outline or on its edge;
// an outline without area holds nothing.
bool outlineContains(const Triangle& t, double u, double v)
{
    const auto side = [&t](size_t a, size_t b, double pu, double pv) {
        return (double{t.u[b]} - t.u[a]) * (pv - t.v[a]) - (double{t.v[b]} - t.v[a]) * (pu - t.u[a]);
    };
    const double area = side(0, 1, t.u[2], t.v[2]);
    if (area == 0.0 || std::isnan(area)) return false;
    const double s0 = side(0, 1, u, v) * area;
    const double s1 = side(1, 2, u, v) * area;
    const double s2 = side(2, 0, u, v) * area;
    return s0 >= 0.0 && s1 >= 0.0 && s2 >= 0.0;
}

// The focused field's corner gets the mark, the other two lose theirs; the
// mark is set last so a corner sharing a vertex cannot clear it again.
void markCorner(Mesh& mesh, const Triangle& t, int32_t corner)
{
    for (int32_t k = 0; k < 3; ++k)
        if (k != corner) setVertexMarked(mesh, t.vertexIndex[static_cast<size_t>(k)], 0);
    setVertexMarked(mesh, t.vertexIndex[static_cast<size_t>(corner)], 1);
}

void showCornerValues(WindowLayer& w, const Triangle& t, size_t corner)
{
    const auto field = firstField + 2 * static_cast<int32_t>(corner);
    w.setGadgetText(windowTexture, field, formatDecimal(t.u[corner]));
    w.setGadgetText(windowTexture, field + 1, formatDecimal(t.v[corner]));
}

// The fields take the values of the selected triangle, which the window edits
// from now on; the mark moves to the same corner of it.
void showTriangle(AppState& state, int32_t selected)
{
    const Triangle& t = state.mesh.triangles[static_cast<size_t>(selected)];
    for (size_t k = 0; k < 3; ++k) showCornerValues(*state.windows, t, k);
    for (Vertex& v : state.mesh.vertices) v.marked = 0;
    if (state.textureCorner >= 0) markCorner(state.mesh, t, state.textureCorner);
    markMeshChanged(state, orthoViews);
    state.textureTriangle = selected;
}

// A field writes into the triangle only when its text is not what the value
// shows as, so a value the program put there keeps all its digits.
void readField(const WindowLayer& w, int32_t field, float& value)
{
    const std::string text = w.gadgetText(windowTexture, field);
    if (text != formatDecimal(value)) value = readDecimalFloat(text);
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

// The triangle's texture outline: corner 0 to 1, 1 to 2, 0 to 2.
void addOutline(std::vector<LineSegment>& lines, const AppState& state, const Triangle& t)
{
    PicturePoint p[3];
    for (size_t k = 0; k < 3; ++k) p[k] = pictureOf(state, t.u[k], t.v[k]);
    for (const auto& [a, b] : {std::pair(0, 1), std::pair(1, 2), std::pair(0, 2)})
        lines.push_back({toPixel(p[a].x), toPixel(p[a].y), toPixel(p[b].x), toPixel(p[b].y)});
}

// The picture as the view shows it, the other triangles' outlines faintly,
// then the selected triangle's corner squares and outline.
void drawPicture(AppState& state, int32_t selected)
{
    WindowLayer& w = *state.windows;
    const PicturePoint origin = pictureOf(state, 0.0, 0.0);
    const PicturePoint scale = pictureScale(state);
    const int32_t left = toPixel(origin.x);
    const int32_t top = toPixel(origin.y);
    const int32_t width = toPixel(scale.x);
    const int32_t height = toPixel(scale.y);
    const int32_t areaWidth = w.clientWidth(windowTexture);
    const int32_t areaHeight = w.clientHeight(windowTexture) - pictureTop;
    if (left > 0 || top > pictureTop || left + width < areaWidth || top + height < pictureTop + areaHeight)
        w.fillRect(windowTexture, 0, pictureTop, areaWidth, areaHeight, backdrop, backdrop, backdrop);
    if (width == w.imageWidth(imageTexture) && height == w.imageHeight(imageTexture))
        w.drawImage(windowTexture, imageTexture, left, top);
    else
        w.drawImageScaled(windowTexture, imageTexture, left, top, width, height);
    std::vector<LineSegment> others;
    others.reserve(3 * state.mesh.triangles.size());
    for (size_t i = 0; i < state.mesh.triangles.size(); ++i)
        if (i != static_cast<size_t>(selected)) addOutline(others, state, state.mesh.triangles[i]);
    w.drawLines(windowTexture, others, LineMode::Faint);

    const Triangle& t = state.mesh.triangles[static_cast<size_t>(selected)];
    for (size_t k = 0; k < 3; ++k) {
        const PicturePoint p = pictureOf(state, t.u[k], t.v[k]);
        w.fillRect(windowTexture, toPixel(p.x - cornerSquare / 2), toPixel(p.y - cornerSquare / 2), cornerSquare,
                   cornerSquare, 255, 0, 0);
    }
    std::vector<LineSegment> outline;
    addOutline(outline, state, t);
    w.drawLines(windowTexture, outline, LineMode::Invert);
    state.textureView.drawn = true;
    state.textureView.drawnRevision = state.renderBuffers.meshRevision;
}

// A left press on the picture: near a corner's point of the selected triangle
// it takes that corner for a drag; elsewhere inside other triangles' outlines
// it selects the first of them after the selected one in list order, so
// presses at one place step through all that lie there.
void pressOnPicture(AppState& state, CursorPos cursor, int32_t selected)
{
    TextureWindowView& view = state.textureView;
    Triangle& t = state.mesh.triangles[static_cast<size_t>(selected)];
    int32_t nearest = -1;
    double best = cornerReach;
    for (size_t k = 0; k < 3; ++k) {
        const PicturePoint p = pictureOf(state, t.u[k], t.v[k]);
        const double distance = std::hypot(p.x - cursor.x, p.y - cursor.y);
        if (distance <= best) nearest = static_cast<int32_t>(k), best = distance;
    }
    if (nearest >= 0) {
        view.dragCorner = nearest;
        view.dragFrom = cursor;
        view.dragU = t.u[static_cast<size_t>(nearest)];
        view.dragV = t.v[static_cast<size_t>(nearest)];
        state.textureCorner = nearest;
        markCorner(state.mesh, t, nearest);
        markMeshChanged(state, orthoViews);
        return;
    }
    const PicturePoint at = coordinatesAt(state, cursor);
    const size_t count = state.mesh.triangles.size();
    for (size_t step = 1; step < count; ++step) {
        const size_t i = (static_cast<size_t>(selected) + step) % count;
        if (!outlineContains(state.mesh.triangles[i], at.x, at.y)) continue;
        selectTriangleNumber(state.mesh, static_cast<int32_t>(i) + 1);
        markMeshChanged(state, allViews);
        return;
    }
}

// The dragged corner follows the cursor's motion since the press, on texel
// corners while Ctrl is held; its fields follow it.
void dragCorner(AppState& state, Triangle& t, CursorPos cursor, bool snap)
{
    WindowLayer& w = *state.windows;
    const TextureWindowView& view = state.textureView;
    const PicturePoint scale = pictureScale(state);
    double u = view.dragU + (cursor.x - view.dragFrom.x) / scale.x;
    double v = view.dragV + (cursor.y - view.dragFrom.y) / scale.y;
    if (snap) {
        const double texelsAcross = std::max(1, w.imageWidth(imageTexture));
        const double texelsDown = std::max(1, w.imageHeight(imageTexture));
        u = std::round(u * texelsAcross) / texelsAcross;
        v = std::round(v * texelsDown) / texelsDown;
    }
    const auto corner = static_cast<size_t>(view.dragCorner);
    t.u[corner] = static_cast<float>(u);
    t.v[corner] = static_cast<float>(v);
    showCornerValues(w, t, corner);
    markMeshChanged(state, viewBit(ViewKind::ThreeD));
}

// The wheel: the picture grows or shrinks by factor, the point under the
// cursor staying there; between a sixteenth of its fitted size and texels
// maxTexelPixels wide.
void zoomPictureAt(AppState& state, CursorPos cursor, double factor)
{
    TextureWindowView& view = state.textureView;
    const double fitted = std::max(state.texturePicture.x, 1);
    const double largest = std::max(1.0, maxTexelPixels * state.windows->imageWidth(imageTexture) / fitted);
    const double zoom = std::clamp(view.zoom * factor, minPictureZoom, largest);
    const double ratio = zoom / view.zoom;
    view.panX = cursor.x - (cursor.x - view.panX) * ratio;
    view.panY = (cursor.y - pictureTop) - (cursor.y - pictureTop - view.panY) * ratio;
    view.zoom = zoom;
    view.drawn = false;
}

void mouseOnPicture(AppState& state, Triangle& t, int32_t selected)
{
    TextureWindowView& view = state.textureView;
    const CursorPos cursor = state.windows->cursorPos(windowTexture);
    const int32_t flags = state.event.param;
    switch (state.eventKind) {
    case eventLeftDown:
        if (cursor.y >= pictureTop) pressOnPicture(state, cursor, selected);
        break;
    case eventLeftUp: view.dragCorner = -1; break;
    case eventMiddleDown:
        view.panning = true;
        view.panFrom = cursor;
        break;
    case eventMouseWheel:
        zoomPictureAt(state, cursor, std::pow(wheelZoomFactor, static_cast<double>(flags) / wheelNotch));
        break;
    case eventMouseMove:
        // A move without its button ends what the button began.
        if ((flags & mkLButton) == 0) view.dragCorner = -1;
        if ((flags & mkMButton) == 0) view.panning = false;
        if (view.dragCorner >= 0) dragCorner(state, t, cursor, (flags & mkControl) != 0);
        if (view.panning) {
            view.panX += cursor.x - view.panFrom.x;
            view.panY += cursor.y - view.panFrom.y;
            view.panFrom = cursor;
            view.drawn = false;
        }
        break;
    default: break;
    }
}

}  // namespace

bool setMeshTextureWith(AppState& state, const std::string& file, const TextureReader& read,
                        const TextureUploader& upload)
{
    WindowLayer& w = *state.windows;
    // Views drawn meanwhile have left their own context current.
    w.makeCurrent(window3D);
    state.textureName.reset();
    w.freeImage(imageTexture);
    state.textureFileName = file;
    // One decode feeds both, so the window never edits over a picture the 3D view lacks.
    const RgbImage image = read(file);
    if (image.width <= 0 || image.height <= 0) return false;
    state.textureName.reset(upload(image));
    if (state.textureName.name() == 0) return false;
    w.setImage(imageTexture, image);
    return true;
}

void chooseTextureWith(AppState& state, const TextureReader& read, const TextureUploader& upload)
{
    const std::string file = state.windows->chooseFile(
        "Texture", "", "BMP, JPEG, PNG|*.bmp;*.jpg;*.jpeg;*.png|BMP|*.bmp|JPG|*.jpg;*.jpeg|PNG|*.png", 0, false);
    if (file.empty()) return;
    if (setMeshTextureWith(state, file, read, upload) && !state.currentFileName.empty())
        rememberUserValue(state, textureMemoryKey(state.currentFileName), absolutePath(file));
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
    state.textureView = TextureWindowView{};
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
    for (size_t k = 0; k < 3; ++k) {
        readField(w, firstField + 2 * static_cast<int32_t>(k), t.u[k]);
        readField(w, firstField + 2 * static_cast<int32_t>(k) + 1, t.v[k]);
    }
    // Compared as bits: a NaN typed into a field is a change only once.
    if (std::memcmp(before.u.data(), t.u.data(), sizeof t.u) != 0 ||
        std::memcmp(before.v.data(), t.v.data(), sizeof t.v) != 0)
        markMeshChanged(state, viewBit(ViewKind::ThreeD));
    // Drawn again only when the mesh or the view changed: the outlines of a
    // large mesh take their time.
    if (!state.textureView.drawn || state.textureView.drawnRevision != state.renderBuffers.meshRevision)
        drawPicture(state, selected);

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
    } else {
        mouseOnPicture(state, t, selected);
    }
}
