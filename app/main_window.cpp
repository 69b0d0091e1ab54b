// main_window.cpp: what the main window tells and remembers around the views:
// its title with the file's name and the unsaved-work mark, the status line
// under the views, the recent files of the File menu, the "keep proportions"
// toggle, its own place on the screen, and files dropped on it. Touches
// state.camera, state.userState and the main window through the window layer.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "app/app.h"

namespace {

constexpr std::string_view windowPlaceKey = "window.place";
// The Edit menu's toggles remembered between runs ("1" on): a view setting
// each, with its menu item and its key.
struct RememberedToggle {
    bool ViewCamera::*setting;
    int32_t command;
    std::string_view key;
};
constexpr RememberedToggle rememberedToggles[] = {
    {&ViewCamera::keepProportions, cmdKeepProportions, "views.keepProportions"},
    {&ViewCamera::showBackFaces, cmdShowBackFaces, "views.backFaces"},
};
constexpr int32_t smallestWindowSide = 100;
constexpr int32_t largestWindowCoordinate = 100000;

std::string recentFileKey(int32_t index) { return "recent." + std::to_string(index + 1); }

// The cursor part of the status line: the model point under the cursor in the
// orthographic view it is over, or nothing.
std::string cursorText(const AppState& state)
{
    if (state.statusView < 0) return {};
    const auto view = static_cast<ViewKind>(state.statusView);
    const int32_t window = windowOfView(view);
    const CursorPos cursor = state.windows->cursorPos(window);
    const auto width = static_cast<float>(state.windows->clientWidth(window));
    const auto height = static_cast<float>(state.windows->clientHeight(window));
    if (width <= 0.0f || height <= 0.0f) return {};
    const ViewPoint p = screenToModel(view, static_cast<float>(cursor.x), static_cast<float>(cursor.y), width,
                                      height, state.camera);
    const ViewPoint scale = orthoScale(state.camera, width, height);
    // The smaller of a pixel's width and height in model units, so the figures
    // change as the cursor moves by one pixel either way.
    const float pixel = std::min(2.0f / (scale.a * width), 2.0f / (scale.b * height));
    // The view's title and the axes' letters are the same in every language.
    static constexpr std::array<const char*, 3> shown{"Front: x %1, y %2", "Side: z %1, y %2", "Top: x %1, z %2"};
    std::string text = shown[static_cast<size_t>(view)];
    text.replace(text.find("%2"), 2, coordinateText(p.b, pixel));
    text.replace(text.find("%1"), 2, coordinateText(p.a, pixel));
    return text;
}

// Which orthographic view the pass's event says the cursor is over; -2 when
// the event says nothing about it.
int32_t viewUnderCursor(const AppState& state)
{
    switch (state.eventKind) {
    case eventMouseMove:
    case eventLeftDown:
    case eventRightDown:
    case eventMiddleDown:
    case eventMouseWheel: {
        const int32_t view = viewOfWindow(state.eventWindow);
        return view == static_cast<int32_t>(ViewKind::ThreeD) ? -1 : view;
    }
    case eventMouseLeave: return -1;
    default: return -2;
    }
}

}  // namespace

std::string windowTitleFor(const std::string& versionText, const std::string& fileName, bool modified)
{
    std::string title = "Polyquill - Editor v. " + versionText;
    if (!fileName.empty()) title += " - " + std::filesystem::path(fileName).filename().string();
    if (modified) title += " *";
    return title;
}

void updateWindowTitle(AppState& state)
{
    // An empty mesh holds no work to lose, as the unsaved-changes question says.
    const bool empty = state.mesh.vertices.empty() && state.mesh.triangles.empty();
    const std::string title =
        windowTitleFor(state.versionText, state.currentFileName, !empty && isModified(state.history));
    if (title == state.shownTitle) return;
    state.windows->setWindowTitle(windowMain, title);
    state.shownTitle = title;
}

std::string coordinateText(float value, float pixel)
{
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0.0f ? "-inf" : "inf";
    const int decimals =
        std::isfinite(pixel) && pixel > 0.0f ? std::clamp(static_cast<int>(std::ceil(-std::log10(pixel))), 0, 9) : 3;
    char buffer[64];  // a float has at most 39 digits before the point
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                       std::chars_format::fixed, decimals);
    std::string text(buffer, written.ptr);
    // A value that rounds to zero shows no sign.
    return text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos ? text.substr(1) : text;
}

void updateStatusLine(AppState& state)
{
    if (const int32_t view = viewUnderCursor(state); view != -2) state.statusView = view;
    StatusFigures& figures = state.statusFigures;
    if (!figures.counted || figures.revision != state.renderBuffers.meshRevision) {
        figures = StatusFigures{};
        figures.revision = state.renderBuffers.meshRevision;
        figures.counted = true;
        figures.vertices = state.mesh.vertices.size();
        figures.selectedVertices = static_cast<size_t>(countSelectedVertices(state.mesh));
        figures.triangles = writtenTriangleCount(state.mesh);
        for (size_t i = 0; i < figures.triangles; ++i) figures.selectedTriangles += state.mesh.triangles[i].selected == 1;
    }
    std::string text = textOf(state.prefs.language, Text::StatusCounts,
                              {std::to_string(figures.vertices), std::to_string(figures.selectedVertices),
                               std::to_string(figures.triangles), std::to_string(figures.selectedTriangles)});
    text += '\t';
    text += cursorText(state);
    if (text == state.shownStatus) return;
    state.windows->setStatusText(text);
    state.shownStatus = text;
}

std::vector<std::string> recentFiles(const AppState& state)
{
    std::vector<std::string> files;
    for (int32_t i = 0; i < recentFileCount; ++i)
        if (std::string file = userValue(state, recentFileKey(i)); !file.empty()) files.push_back(std::move(file));
    return files;
}

void rememberRecentFile(AppState& state, const std::string& path)
{
    if (path.empty()) return;
    std::error_code error;
    std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    if (error) absolute = path;
    std::vector<std::string> files = recentFiles(state);
    files.erase(std::remove(files.begin(), files.end(), absolute), files.end());
    files.insert(files.begin(), absolute);
    if (files == recentFiles(state)) return;
    for (int32_t i = 0; i < recentFileCount; ++i) {
        const auto at = static_cast<size_t>(i);
        rememberUserValue(state, recentFileKey(i), at < files.size() ? files[at] : std::string());
    }
    rebuildMenuBar(state);
}

void openFileByName(AppState& state, const std::string& path)
{
    if (!confirmDiscardChanges(state)) return;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        state.windows->showMessage("Polyquill", textOf(state.prefs.language, Text::CannotRead, {path}));
        return;
    }
    if (!loadCommandLineFile(state, {path})) return;
    markMeshChanged(state, allViews);
    // One step with the new name, as Open records it.
    recordChange(state);
    markDocumentSaved(state);
    rememberRecentFile(state, state.currentFileName);
}

void openRecentFile(AppState& state, int32_t index)
{
    const std::vector<std::string> files = recentFiles(state);
    if (index >= 0 && static_cast<size_t>(index) < files.size())
        openFileByName(state, files[static_cast<size_t>(index)]);
}

void loadRememberedToggles(AppState& state)
{
    for (const RememberedToggle& t : rememberedToggles)
        state.camera.*t.setting = userValue(state, std::string(t.key)) == "1";
}

void flipRememberedToggle(AppState& state, int32_t command)
{
    for (const RememberedToggle& t : rememberedToggles) {
        if (t.command != command) continue;
        bool& on = state.camera.*t.setting;
        on = !on;
        rememberUserValue(state, std::string(t.key), on ? "1" : "0");
        state.windows->setMenuItemChecked(command, on);
    }
}

std::optional<WindowRect> readWindowPlace(std::string_view text)
{
    std::array<int32_t, 4> numbers{};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0 && (at == end || *at++ != ' ')) return std::nullopt;
        const auto [next, error] = std::from_chars(at, end, numbers[i]);
        if (error != std::errc()) return std::nullopt;
        at = next;
    }
    const WindowRect place{numbers[0], numbers[1], numbers[2], numbers[3]};
    const auto inRange = [](int32_t v, int32_t low) { return v >= low && v <= largestWindowCoordinate; };
    if (at != end || !inRange(place.x, -largestWindowCoordinate) || !inRange(place.y, -largestWindowCoordinate) ||
        !inRange(place.width, smallestWindowSide) || !inRange(place.height, smallestWindowSide))
        return std::nullopt;
    return place;
}

std::string windowPlaceText(const WindowRect& place)
{
    return std::to_string(place.x) + " " + std::to_string(place.y) + " " + std::to_string(place.width) + " " +
           std::to_string(place.height);
}

void placeMainWindow(const AppState& state, WindowSpec& main)
{
    if (const std::optional<WindowRect> place = readWindowPlace(userValue(state, std::string(windowPlaceKey)))) {
        main.placement = WindowPlacement::At;
        main.x = place->x;
        main.y = place->y;
        main.width = place->width;
        main.height = place->height;
    }
}

void rememberWindowPlace(AppState& state)
{
    if (!state.windows->isWindowOpen(windowMain)) return;
    const std::string text = windowPlaceText(state.windows->windowPlace(windowMain));
    if (readWindowPlace(text) && text != userValue(state, std::string(windowPlaceKey)))
        rememberUserValue(state, std::string(windowPlaceKey), text);
}
