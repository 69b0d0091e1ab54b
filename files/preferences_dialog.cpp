// preferences_dialog.cpp: the Preferences dialog (window 10): the interface
// language and the snap grid step, taken when the dialog is closed.
#include <cmath>

#include "app/app.h"

namespace {

constexpr int32_t languageList = 1;
constexpr int32_t snapGridLabel = 2;
constexpr int32_t snapGridField = 3;
constexpr int32_t preferencesTitle = 5;

}  // namespace

bool runPreferencesDialog(AppState& state)
{
    WindowLayer& w = *state.windows;
    Preferences& prefs = state.prefs;
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::CentreOverActive;
    spec.width = 200;
    spec.height = 50;
    spec.title = std::string(uiTextOf(state.uiText, prefs.language, preferencesTitle));
    if (!w.openWindow(windowPreferences, spec)) return false;

    // A language from a hand-edited pref.txt outside the list shows as German,
    // as the interface texts do.
    const bool known = prefs.language >= 0 && prefs.language < uiLanguageCount;
    w.createComboBox(windowPreferences, languageList, 0, 0, 200, 80,
                     {"German", "English", "French"}, known ? prefs.language : 0);
    w.createStaticText(windowPreferences, snapGridLabel, 0, 30, 100, 20, "Snap-Grid:");
    w.createTextField(windowPreferences, snapGridField, 100, 30, 100, 20, formatDecimal(prefs.snapGrid), false);
    w.showWindow(windowPreferences);
    w.activateWindow(windowPreferences);

    if (!runWindowUntilClosed(w, windowPreferences)) {
        w.activateWindow(windowMain);
        return false;
    }
    const int32_t language = w.comboSelection(windowPreferences, languageList);
    if (language >= 0 && language < uiLanguageCount) prefs.language = language;
    // A step too large for a float would make every snapped position NaN.
    const float step = readDecimalFloat(w.gadgetText(windowPreferences, snapGridField));
    prefs.snapGrid = std::isfinite(step) ? step : 0.0f;
    w.closeWindow(windowPreferences);
    w.activateWindow(windowMain);
    return true;
}
