// modelling_commands.cpp: the Edit menu's modelling commands: the Position
// window, which moves the selection to typed coordinates, and the texture
// coordinates projected from Front, Side or Top. Touches state.mesh.
#include <charconv>
#include <cmath>

#include "app/app.h"

namespace {

// The shortest text that reads back as the same float.
std::string shortDecimal(float value)
{
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

// The motion along one axis from `from` to the typed value; none when the
// field still holds the text it was given, or a value beyond the float range.
double motionTo(const std::string& typed, const std::string& shown, float from)
{
    const float to = readDecimalFloat(typed);
    if (typed == shown || !std::isfinite(to)) return 0.0;
    return static_cast<double>(to) - from;
}

}  // namespace

void positionSelection(AppState& state)
{
    const std::optional<Vec3> centre = selectionCentre(state.mesh);
    if (!centre) return tellSelectFirst(state, Text::SelectVerticesFirst);
    const std::array<std::string, 3> shown{shortDecimal(centre->x), shortDecimal(centre->y), shortDecimal(centre->z)};
    bool changed = false;
    const auto texts = runThreeFieldWindow(state, windowPosition, textOf(state.prefs.language, Text::PositionTitle),
                                           shown, {"x", "y", "z"}, changed);
    // A command run from the window may have moved the selection: the motion is
    // to the typed place from where it is now.
    const std::optional<Vec3> now = selectionCentre(state.mesh);
    if (!texts || !now) return;
    const std::array<float, 3> at{now->x, now->y, now->z};
    std::array<double, 3> motion{};
    for (size_t i = 0; i < 3; ++i) motion[i] = motionTo((*texts)[i], shown[i], at[i]);
    translateSelectedVertices(state.mesh, motion[0], motion[1], motion[2]);
}

void projectTextureCommand(AppState& state, ProjectionView view)
{
    const std::vector<int32_t> triangles = trianglesToProject(state.mesh);
    if (triangles.empty()) return tellSelectFirst(state, Text::SelectTrianglesToProject);
    projectTexCoords(state.mesh, triangles, view);
}
