// preferences_dialog.cpp: the Preferences dialog (window 10): the interface
// language, applied to the menus, toolbar and the dialog itself the moment it
// is picked, and the snap grid step, taken when the dialog is closed by its
// close box or its Close button.
#include <cmath>

#include "app/app.h"

namespace {

constexpr int32_t languageList = 1;
constexpr int32_t snapGridLabel = 2;
constexpr int32_t snapGridField = 3;
constexpr int32_t closeButton = 4;
constexpr int32_t preferencesTitle = 5;

std::string dialogTitle(const AppState& state)
{
    return std::string(uiTextOf(state.uiText, state.prefs.language, preferencesTitle));
}

// A language picked in the list: the interface speaks it at once.
void applyLanguage(AppState& state, int32_t language)
{
    if (language < 0 || language >= uiLanguageCount || language == state.prefs.language) return;
    WindowLayer& w = *state.windows;
    state.prefs.language = language;
    rebuildMenuAndToolbar(state);
    w.setWindowTitle(windowPreferences, dialogTitle(state));
    w.setGadgetText(windowPreferences, closeButton, textOf(language, Text::Close));
}

}  // namespace

bool runPreferencesDialog(AppState& state)
{
    WindowLayer& w = *state.windows;
    Preferences& prefs = state.prefs;
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::CentreOverActive;
    spec.width = 200;
    spec.height = 80;  // the list, the snap grid row, then the Close button
    spec.title = dialogTitle(state);
    if (!w.openWindow(windowPreferences, spec)) return false;

    // A language from a hand-edited pref.txt outside the list shows as German,
    // as the interface texts do.
    const bool known = prefs.language >= 0 && prefs.language < uiLanguageCount;
    w.createComboBox(windowPreferences, languageList, 0, 0, 200, 80,
                     {"German", "English", "French"}, known ? prefs.language : 0);
    w.createStaticText(windowPreferences, snapGridLabel, 0, 30, 100, 20, "Snap-Grid:");
    w.createTextField(windowPreferences, snapGridField, 100, 30, 100, 20, formatDecimal(prefs.snapGrid), false);
    w.createButton(windowPreferences, closeButton, 120, 55, 76, 22, textOf(prefs.language, Text::Close));
    w.showWindow(windowPreferences);
    w.activateWindow(windowPreferences);

    const auto onEvent = [&state, &w](const WindowEvent& event) {
        if (event.kind != eventControl) return false;
        if (event.control == languageList && event.notification == notifyChange)
            applyLanguage(state, w.comboSelection(windowPreferences, languageList));
        return event.control == closeButton && event.notification == notifyClicked;
    };
    if (!runWindowUntilClosed(w, windowPreferences, onEvent)) {
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
