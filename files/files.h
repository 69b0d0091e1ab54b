// files.h: the native mesh file, the ASC import, pref.txt, and the file commands.
#pragma once

#include <cstdint>
#include <string>

// The four settings kept in pref.txt.
struct Preferences {
    int32_t language = 0;  // 0 German, 1 English, 2 French
    float snapGrid = 0.0f;
    int32_t oldGlWarned = 0;
    std::string dialogStartText;
};

// ---- the Preferences dialog (files/preferences_dialog.cpp) ----------------------------

struct AppState;

// "Preferences": window 10 with the language list and the snap grid field,
// modal until its close box is used; then language and snapGrid take the
// dialog's values and true is returned, for the caller to write pref.txt and
// build the menus and toolbar again in the new language. False, with nothing
// changed, when the window could not be opened or went away unclosed.
bool runPreferencesDialog(AppState& state);
