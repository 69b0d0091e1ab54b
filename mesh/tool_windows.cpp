// tool_windows.cpp: the windows and prompts in front of the mesh commands: Scale
// and Rotate (modal, applied on closing), the two prompts of the automatic
// texture coordinates, and the Triangles window served by the main loop.
#include <array>
#include <string>

#include "app/app.h"

namespace {

constexpr int32_t triangleNumberField = 1;

// Opens a modal 100 x 60 window with three fields, runs it until its close
// box is used and returns the fields' texts; nothing if it could not open or
// went away without being closed. Undo and redo work meanwhile; the views
// show their result and `undone` tells the caller the document moved.
// The main window is active again afterwards.
std::optional<std::array<std::string, 3>> runThreeFieldWindow(
    AppState& state, int32_t number, const char* title, const std::array<const char*, 3>& start, bool& undone)
{
    WindowLayer& w = *state.windows;
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::CentreOverActive;
    spec.width = 100;
    spec.height = 60;
    spec.title = title;
    if (!w.openWindow(number, spec)) return std::nullopt;
    for (int32_t i = 0; i < 3; ++i)
        w.createTextField(number, i + 1, 0, 20 * i, 100, 20, start[static_cast<size_t>(i)], false);
    w.showWindow(number);
    w.activateWindow(number);
    const auto undoKeys = [&state, &undone](const WindowEvent& event) {
        if (event.kind != eventKeyDown || !runUndoRedoKey(state, event)) return false;
        undone = true;
        redrawViews(state);
        return false;
    };
    if (!runWindowUntilClosed(w, number, undoKeys)) {
        w.activateWindow(windowMain);
        return std::nullopt;
    }
    std::array<std::string, 3> texts;
    for (int32_t i = 0; i < 3; ++i) texts[static_cast<size_t>(i)] = w.gadgetText(number, i + 1);
    w.closeWindow(number);
    w.activateWindow(windowMain);
    return texts;
}

}  // namespace

void scaleSelection(AppState& state)
{
    std::optional<Vec3> centre = selectionCentre(state.mesh);
    bool undone = false;
    const auto texts = runThreeFieldWindow(state, windowScale, "Scale Object", {"1.0X", "1.0Y", "1.0Z"}, undone);
    // An undo or redo in the window may have changed the selection.
    if (undone) centre = selectionCentre(state.mesh);
    if (!texts || !centre) return;
    scaleSelectedVertices(state.mesh, *centre, readDecimalFloat((*texts)[0]),
                          readDecimalFloat((*texts)[1]), readDecimalFloat((*texts)[2]));
}

void rotateSelection(AppState& state)
{
    std::optional<Vec3> centre = selectionCentre(state.mesh);
    bool undone = false;
    const auto texts = runThreeFieldWindow(state, windowRotate, "Rotate Object", {"0X", "0Y", "0Z"}, undone);
    if (undone) centre = selectionCentre(state.mesh);
    if (!texts || !centre) return;
    rotateSelectedVertices(state.mesh, *centre, roundAngle(readDecimalFloat((*texts)[0])),
                           roundAngle(readDecimalFloat((*texts)[1])),
                           roundAngle(readDecimalFloat((*texts)[2])));
}

void autoTexCoordsCommand(AppState& state)
{
    WindowLayer& w = *state.windows;
    // A cancelled prompt answers the empty text: the command ends there and
    // every coordinate keeps its value.
    const int32_t language = state.prefs.language;
    const std::string min = w.askText("Minimum", textOf(language, Text::UvMinimumMessage), "0.0");
    if (min.empty()) return;
    const std::string max = w.askText("Maximum", textOf(language, Text::UvMaximumMessage), "0.0");
    if (max.empty()) return;
    state.uvMin = readDecimalFloat(min);
    state.uvMax = readDecimalFloat(max);
    autoTexCoords(state.mesh, state.uvMin, state.uvMax);
}

void openTriangleList(AppState& state)
{
    WindowLayer& w = *state.windows;
    const auto count = static_cast<int32_t>(state.mesh.triangles.size());
    if (count == 0) return;
    const int32_t selected = firstSelectedTriangle(state.mesh);
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::CentreOverActive;
    spec.width = 100;
    spec.height = 23;
    spec.title = "Triangles";
    w.closeWindow(windowTriangles);
    if (!w.openWindow(windowTriangles, spec)) return;
    w.createTextField(windowTriangles, triangleNumberField, 0, 0, 120, 23,
                      std::to_string(selected + 1), true);
    w.createUpDown(windowTriangles, triangleNumberField, 0, count);
    w.showWindow(windowTriangles);
    w.activateWindow(windowTriangles);
}

void showTriangleListNumber(AppState& state)
{
    if (!state.windows->isWindowOpen(windowTriangles)) return;
    state.windows->setGadgetText(windowTriangles, triangleNumberField,
                                 std::to_string(firstSelectedTriangle(state.mesh) + 1));
}

void triangleListStep(AppState& state)
{
    WindowLayer& w = *state.windows;
    if (state.eventKind == eventClose && state.eventWindow == windowTriangles) {
        w.closeWindow(windowTriangles);
        w.activateWindow(windowMain);
        return;
    }
    // The step runs on passes without events too; only a new number is a change.
    const int32_t number = readWhole(w.gadgetText(windowTriangles, triangleNumberField));
    const LargeList<Triangle>& triangles = state.mesh.triangles;
    bool same = true;
    for (size_t i = 0; i < triangles.size() && same; ++i)
        same = triangles[i].selected == (static_cast<int64_t>(i) + 1 == number ? 1 : 0);
    if (same) return;
    selectTriangleNumber(state.mesh, number);
    markMeshChanged(state, allViews);
}
