// user_state.cpp: what the editor remembers between runs beyond pref.txt
// (window place, recent files, toggles, texture pairings, ...), kept in the
// user's XDG folders and never in pref.txt or a mesh file. The file holds one
// entry a line, "key TAB value LF", with "\\", "\t", "\n" and "\r" escaped in
// both; it is read whole at start and written whole by the safe-save rule.
#include "app/app.h"
#include "files/files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <new>

namespace {

constexpr std::string_view userStateFileName = "state.txt";
// A larger file is no state file of ours: it is ignored, not read.
constexpr size_t maxUserStateBytes = 4 * 1024 * 1024;

void appendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

std::string unescaped(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: out += text[i];
        }
    }
    return out;
}

// $VARIABLE/polyquill/, or $HOME/FALLBACK/polyquill/; XDG says a relative
// value is to be ignored. Empty when neither gives an absolute folder.
std::string xdgFolder(const char* variable, std::string_view fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return std::string(value) + "/polyquill/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/" + std::string(fallback) + "/polyquill/";
    return {};
}

}  // namespace

std::string userStateFolder() { return xdgFolder("XDG_STATE_HOME", ".local/state"); }

std::string userConfigFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

bool makeFolders(const std::string& folder)
{
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string writeUserStateText(const UserState& userState)
{
    std::string text;
    for (const auto& [key, value] : userState.values) {
        appendEscaped(text, key);
        text += '\t';
        appendEscaped(text, value);
        text += '\n';
    }
    return text;
}

UserState readUserStateText(std::string_view text)
{
    UserState userState;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0) continue;
        userState.values[unescaped(line.substr(0, tab))] = unescaped(line.substr(tab + 1));
    }
    return userState;
}

UserState readUserState(const std::string& path)
{
    try {
        const auto bytes = readFileBytes(path);
        if (!bytes || bytes->size() > maxUserStateBytes) return {};
        return readUserStateText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string writeUserState(const UserState& userState, const std::string& path)
{
    const std::string text = writeUserStateText(userState);
    return writeFileReplacing(path, std::as_bytes(std::span(text.data(), text.size())));
}

std::string userStatePath()
{
    const std::string folder = userStateFolder();
    return folder.empty() ? std::string() : folder + std::string(userStateFileName);
}

void loadUserState(AppState& state)
{
    const std::string path = userStatePath();
    state.userState = path.empty() ? UserState{} : readUserState(path);
}

void rememberUserValue(AppState& state, const std::string& key, const std::string& value)
{
    state.userState.values[key] = value;
    const std::string path = userStatePath();
    if (path.empty() || !makeFolders(userStateFolder())) return;
    // Another editor may have remembered something since this one started.
    UserState onDisk = readUserState(path);
    onDisk.values[key] = value;
    writeUserState(onDisk, path);
}

std::string userValue(const AppState& state, const std::string& key)
{
    const auto found = state.userState.values.find(key);
    return found == state.userState.values.end() ? std::string() : found->second;
}
