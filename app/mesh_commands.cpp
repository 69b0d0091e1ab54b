// mesh_commands.cpp: the Mesh menu's commands that ask before they act:
// Mirror, Extrude, Weld and the primitives. Each opens window 70 with its
// fields, OK and Cancel; Return and the close box are OK as in the other tool
// windows, Escape is Cancel, and a cancelled window changes nothing. Values
// the command cannot use are named in a message and the window stays for
// them to be mended.
// Touches state.mesh through the operations of mesh/.
#include <charconv>
#include <cmath>

#include "app/app.h"

namespace {

constexpr int32_t firstField = 1;   // fields and lists 1, 2, 3; their labels 11, 12, 13
constexpr int32_t firstLabel = 11;
constexpr int32_t okButton = 20;
constexpr int32_t cancelButton = 21;
constexpr int32_t cancelMessage = 35;  // "Cancel" of the numbered texts

// One row of a window: a label and a text field, or a label and a list.
struct Row {
    Text label;
    std::string text;                // the field's start text
    std::vector<std::string> items;  // a list's items; none for a field
};

// What a row holds when the user answers: a field's text, a list's choice.
struct RowValue {
    std::string text;
    int32_t choice = 0;
};

// Gives the message that refuses the values, or nothing to accept them.
using Check = std::function<std::optional<std::string>(const std::vector<RowValue>&)>;

std::string say(const AppState& state, Text text, std::initializer_list<std::string_view> arguments = {})
{
    return textOf(state.prefs.language, text, arguments);
}

// Runs window 70 until its values are accepted (returned) or it is cancelled.
std::optional<std::vector<RowValue>> askInWindow(AppState& state, Text title, const std::vector<Row>& rows,
                                                 const Check& check)
{
    WindowLayer& w = *state.windows;
    constexpr int32_t width = 240, rowHeight = 28, margin = 8;
    const auto rowCount = static_cast<int32_t>(rows.size());
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::BesideMain;
    spec.width = width;
    spec.height = margin + rowHeight * rowCount + 34;
    spec.title = say(state, title);
    // A menu item's "..." says that a window follows; the window's title goes without.
    if (spec.title.ends_with("...")) spec.title.resize(spec.title.size() - 3);
    if (!w.openWindow(windowMeshTool, spec)) return std::nullopt;
    for (int32_t r = 0; r < rowCount; ++r) {
        const Row& row = rows[static_cast<size_t>(r)];
        const int32_t y = margin + rowHeight * r;
        w.createStaticText(windowMeshTool, firstLabel + r, margin, y + 2, 84, 20, say(state, row.label));
        if (row.items.empty())
            w.createTextField(windowMeshTool, firstField + r, 96, y, width - 96 - margin, 22, row.text, false);
        else
            w.createComboBox(windowMeshTool, firstField + r, 96, y, width - 96 - margin, 22, row.items, 0);
    }
    const int32_t buttonsY = margin + rowHeight * rowCount + 4;
    w.createButton(windowMeshTool, okButton, width - 2 * (80 + margin), buttonsY, 80, 24, say(state, Text::DialogOk));
    w.createButton(windowMeshTool, cancelButton, width - 80 - margin, buttonsY, 80, 24,
                   uiTextOf(state.uiText, state.prefs.language, cancelMessage));
    w.showWindow(windowMeshTool);
    w.activateWindow(windowMeshTool);
    std::optional<std::vector<RowValue>> answer;
    while (!answer && runDialogWindow(w, windowMeshTool, okButton, cancelButton) == DialogEnd::Apply) {
        std::vector<RowValue> values;
        for (int32_t r = 0; r < rowCount; ++r)
            values.push_back(
                {w.gadgetText(windowMeshTool, firstField + r), w.comboSelection(windowMeshTool, firstField + r)});
        if (const std::optional<std::string> refusal = check(values))
            w.showMessage(spec.title, *refusal);
        else
            answer = std::move(values);
    }
    w.closeWindow(windowMeshTool);
    w.activateWindow(windowMain);
    return answer;
}

// A field's number by the usual rule; a refusal when it is not finite.
std::optional<std::string> refuseInfinite(const AppState& state, const std::string& text)
{
    if (std::isfinite(readDecimalFloat(text))) return std::nullopt;
    return say(state, Text::NotFinite, {text});
}

// The shortest text that reads back as the value ("1", "0.25").
std::string shortText(float value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace

void mirrorCommand(AppState& state)
{
    if (countSelectedVertices(state.mesh) == 0) return tellSelectFirst(state, Text::SelectVerticesFirst);
    const std::vector<Row> rows{
        {Text::AxisLabel, {}, {"X", "Y", "Z"}},
        {Text::PlaneLabel, "0", {}},
        {Text::ModeLabel, {}, {say(state, Text::CopyMode), say(state, Text::InPlaceMode)}},
    };
    const auto values = askInWindow(state, Text::Mirror, rows, [&state](const auto& v) {
        return refuseInfinite(state, v[1].text);
    });
    if (!values) return;
    mirrorSelection(state.mesh, (*values)[0].choice, readDecimalFloat((*values)[1].text), (*values)[2].choice == 0);
}

void extrudeCommand(AppState& state)
{
    if (selectedRegion(state.mesh).empty()) return tellSelectFirst(state, Text::NothingToExtrude);
    const std::vector<Row> rows{{Text::DistanceLabel, "0.25", {}}};
    const auto values = askInWindow(state, Text::Extrude, rows, [&state](const auto& v) {
        return refuseInfinite(state, v[0].text);
    });
    if (values) extrudeSelection(state.mesh, readDecimalFloat((*values)[0].text));
}

void weldCommand(AppState& state)
{
    if (countSelectedVertices(state.mesh) == 0) return tellSelectFirst(state, Text::SelectVerticesFirst);
    const std::vector<Row> rows{{Text::DistanceLabel, "0.001", {}}};
    const auto values = askInWindow(state, Text::Weld, rows, [&state](const auto& v) {
        if (auto refusal = refuseInfinite(state, v[0].text)) return refusal;
        if (readDecimalFloat(v[0].text) > 0.0f) return std::optional<std::string>();
        return std::optional<std::string>(say(state, Text::DistanceNotPositive));
    });
    if (values) weldSelectedVertices(state.mesh, readDecimalFloat((*values)[0].text));
}

void insertPrimitiveCommand(AppState& state, Primitive kind)
{
    static constexpr std::array<Text, 5> items{Text::InsertBox, Text::InsertPlane, Text::InsertCylinder,
                                               Text::InsertCone, Text::InsertSphere};
    const Text item = items[static_cast<size_t>(kind)];
    const SegmentLimits limits = segmentLimits(kind);
    // As large as half of what the views show across, so it fits at any zoom.
    const std::vector<Row> rows{
        {Text::SizeLabel, shortText(1.0f / state.camera.orthoZoom), {}},
        {Text::SegmentsLabel, std::to_string(limits.start), {}},
    };
    const auto values = askInWindow(state, item, rows, [&state, limits](const auto& v) {
        if (auto refusal = refuseInfinite(state, v[0].text)) return refusal;
        if (!(readDecimalFloat(v[0].text) > 0.0f))
            return std::optional<std::string>(say(state, Text::SizeNotPositive));
        const int32_t segments = readWhole(v[1].text);
        if (segments >= limits.minimum && segments <= limits.maximum) return std::optional<std::string>();
        return std::optional<std::string>(say(state, Text::SegmentsOutOfRange,
                                              {std::to_string(limits.minimum), std::to_string(limits.maximum)}));
    });
    if (!values) return;
    insertPrimitive(state.mesh, kind, orthoViewsCentre(state.camera), readDecimalFloat((*values)[0].text),
                    readWhole((*values)[1].text));
}
