// tool_windows.cpp: the windows and prompts in front of the mesh commands: the
// modal three-field windows (Scale, Rotate, Position) with OK and Cancel, the
// two prompts of the automatic texture coordinates, and the Triangles window
// served by the main loop. Tool windows open beside the main window.
#include <array>
#include <string>

#include "app/app.h"

namespace {

constexpr int32_t triangleNumberField = 1;
constexpr int32_t cancelMessage = 35;
constexpr int32_t fieldRowHeight = 20;
constexpr int32_t labelWidth = 20;
constexpr int32_t dialogWidth = 160;
constexpr int32_t buttonTop = 3 * fieldRowHeight + 2;
constexpr int32_t buttonHeight = 24;
constexpr int32_t okButton = 7;
constexpr int32_t cancelButton = 8;

}  // namespace

std::optional<std::array<std::string, 3>> runThreeFieldWindow(AppState& state, int32_t number, std::string_view title,
                                                              const std::array<std::string, 3>& start,
                                                              const std::array<std::string, 3>& labels, bool& changed)
{
    WindowLayer& w = *state.windows;
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::BesideMain;
    spec.width = dialogWidth;
    spec.height = buttonTop + buttonHeight;
    spec.title = title;
    if (!w.openWindow(number, spec)) return std::nullopt;
    const int32_t fieldLeft = labels[0].empty() ? 0 : labelWidth;
    for (int32_t i = 0; i < 3; ++i) {
        const auto row = static_cast<size_t>(i);
        if (fieldLeft > 0) w.createStaticText(number, i + 4, 0, fieldRowHeight * i, labelWidth, fieldRowHeight, labels[row]);
        w.createTextField(number, i + 1, fieldLeft, fieldRowHeight * i, dialogWidth - fieldLeft, fieldRowHeight,
                          start[row], false);
    }
    w.createButton(number, okButton, 0, buttonTop, dialogWidth / 2, buttonHeight,
                   textOf(state.prefs.language, Text::DialogOk));
    w.createButton(number, cancelButton, dialogWidth / 2, buttonTop, dialogWidth / 2, buttonHeight,
                   uiTextOf(state.uiText, state.prefs.language, cancelMessage));
    w.showWindow(number);
    w.activateWindow(number);
    // The editor's accelerators work here too; the views show what they did.
    const auto keys = [&state, &changed, &w, number](const WindowEvent& event) {
        if (!runToolWindowKey(state, event)) return;
        changed = true;
        redrawViews(state);
        if (state.quitRequested) w.closeWindow(number);
    };
    const DialogEnd end = runDialogWindow(w, number, okButton, cancelButton, keys);
    std::optional<std::array<std::string, 3>> texts;
    if (end == DialogEnd::Apply) {
        texts.emplace();
        for (int32_t i = 0; i < 3; ++i) (*texts)[static_cast<size_t>(i)] = w.gadgetText(number, i + 1);
    }
    w.closeWindow(number);
    w.activateWindow(windowMain);
    return texts;
}

void scaleSelection(AppState& state)
{
    if (countSelectedVertices(state.mesh) == 0) return tellSelectFirst(state, Text::SelectVerticesFirst);
    bool changed = false;
    const auto texts = runThreeFieldWindow(state, windowScale, "Scale Object", {"1.0X", "1.0Y", "1.0Z"}, {}, changed);
    // A command run from the window may have changed the selection: the centre is taken now.
    const std::optional<Vec3> centre = selectionCentre(state.mesh);
    if (!texts || !centre) return;
    scaleSelectedVertices(state.mesh, *centre, readDecimalFloat((*texts)[0]),
                          readDecimalFloat((*texts)[1]), readDecimalFloat((*texts)[2]));
}

void rotateSelection(AppState& state)
{
    if (countSelectedVertices(state.mesh) == 0) return tellSelectFirst(state, Text::SelectVerticesFirst);
    bool changed = false;
    const auto texts = runThreeFieldWindow(state, windowRotate, "Rotate Object", {"0X", "0Y", "0Z"}, {}, changed);
    const std::optional<Vec3> centre = selectionCentre(state.mesh);
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
    spec.width = 100;
    spec.height = 23;
    spec.title = "Triangles";
    spec.placement = WindowPlacement::BesideMain;
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
