// preferences.cpp: pref.txt, four lines: language, snap grid, old-OpenGL warning
// flag, dialog start text. Written byte for byte as "%ld\r\n%f\r\n%ld\r\n%s",
// independent of the process locale (the separator is always the point). It
// lives beside the program, or in the user's configuration folder when the
// user may not write there (an installed editor).
#include "app/app.h"
#include "files/files.h"

#include <unistd.h>

#include <new>

#include <charconv>
#include <cstdlib>

namespace {

void appendWhole(std::string& out, int32_t value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// True when pref.txt beside the program can be written: the folder takes
// new files and an old pref.txt may be replaced.
bool programFolderTakesPreferences(const AppState& state)
{
    const std::string folder = state.programDirectory.empty() ? "." : state.programDirectory;
    const std::string file = state.programDirectory + std::string(preferencesFileName);
    return ::access(folder.c_str(), W_OK | X_OK) == 0 &&
           (::access(file.c_str(), F_OK) != 0 || ::access(file.c_str(), W_OK) == 0);
}

// pref.txt in the user's configuration folder; empty when there is none.
std::string userPreferencesPath()
{
    const std::string folder = userConfigFolder();
    return folder.empty() ? std::string() : folder + std::string(preferencesFileName);
}

}  // namespace

std::string writePreferencesText(const Preferences& prefs)
{
    std::string text;
    appendWhole(text, prefs.language);
    text += "\r\n";
    text += formatDecimal(prefs.snapGrid);
    text += "\r\n";
    appendWhole(text, prefs.oldGlWarned);
    text += "\r\n";
    text += prefs.dialogStartText;
    return text;
}

Preferences readPreferencesText(std::string_view text)
{
    std::array<std::string_view, 4> lines{};
    size_t pos = 0;
    for (std::string_view& line : lines)
        if (pos < text.size()) line = nextTextLine(text, pos);
    Preferences prefs;
    prefs.language = readWhole(lines[0]);
    prefs.snapGrid = readDecimalFloat(lines[1]);
    prefs.oldGlWarned = readWhole(lines[2]);
    prefs.dialogStartText = std::string(lines[3]);
    return prefs;
}

bool readPreferences(Preferences& prefs, const std::string& path)
{
    try {
        const auto bytes = readFileBytes(path);
        if (!bytes) return false;
        prefs = readPreferencesText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // a pref.txt larger than memory is no settings file
    }
}

bool writePreferences(const Preferences& prefs, const std::string& path)
{
    const std::string text = writePreferencesText(prefs);
    return writeFileReplacing(path, std::as_bytes(std::span(text.data(), text.size()))).empty();
}

int32_t languageFromLocale(std::string_view lcAll, std::string_view lcMessages, std::string_view lang)
{
    const std::string_view locale = !lcAll.empty() ? lcAll : !lcMessages.empty() ? lcMessages : lang;
    const std::string_view code = locale.substr(0, locale.find_first_of("_.@"));
    if (code == "en") return 1;
    if (code == "fr") return 2;
    return 0;
}

void readPreferences(AppState& state)
{
    // Where the program's folder takes no pref.txt, the user's own comes
    // first; one beside the program then gives the installed defaults.
    if (!programFolderTakesPreferences(state) && readPreferences(state.prefs, userPreferencesPath())) return;
    // The working directory is asked only when the program's folder has none,
    // as for a pref.txt kept in the folder the program is started from.
    if (readPreferences(state.prefs, state.programDirectory + std::string(preferencesFileName)) ||
        readPreferences(state.prefs, std::string(preferencesFileName)))
        return;
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string_view(value ? value : "");
    };
    state.prefs.language = languageFromLocale(variable("LC_ALL"), variable("LC_MESSAGES"), variable("LANG"));
}

void writePreferences(const AppState& state)
{
    if (programFolderTakesPreferences(state)) {
        writePreferences(state.prefs, state.programDirectory + std::string(preferencesFileName));
        return;
    }
    if (const std::string path = userPreferencesPath(); !path.empty() && makeFolders(userConfigFolder()))
        writePreferences(state.prefs, path);
}
