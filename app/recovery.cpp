// recovery.cpp: the recovery copy of unsaved work. While the document holds
// changes no file has, a copy of it (files/recovery.cpp) is written into the
// user's state folder at most once an interval, never while an action is
// under way: the lists are copied here, between passes, and written on a
// thread of their own. Saving, discarding and a normal end remove it; the
// end signals write it at once. A start offers the copies of editors that
// ended otherwise. Touches state.recovery, and the document on Restore.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

#include "app/app.h"

namespace {

constexpr int64_t defaultIntervalMs = 60'000;
constexpr int32_t untitledMessage = 36;
constexpr int32_t pollWhileWritingMs = 100;

int64_t nowMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

// Work a file does not hold; an empty mesh holds none worth a copy.
bool hasUnsavedWork(const AppState& state)
{
    return (!state.mesh.vertices.empty() || !state.mesh.triangles.empty()) && isModified(state.history);
}

// Which document a copy holds.
RecoveryStamp stampOf(const AppState& state)
{
    return {state.renderBuffers.meshRevision, state.textureFileName, state.currentFileName};
}

// The copy on disk holds the document as it is.
bool copyIsCurrent(const AppState& state)
{
    const RecoveryState& r = state.recovery;
    return r.copyWritten && r.written == stampOf(state);
}

std::string copyPath(const AppState& state) { return recoveryCopyPath(state.recovery.folder, ::getpid()); }

// Waits for a copy being written, if one is, and notes what it holds when it was written.
void finishWriting(RecoveryState& r)
{
    if (!r.writing.valid() || !r.writing.get().empty()) return;
    r.copyWritten = true;
    r.written = r.beingWritten;
}

// The interval from POLYQUILL_RECOVERY_SECONDS (tests shorten it), else a minute.
int64_t intervalFromEnvironment()
{
    const char* seconds = std::getenv("POLYQUILL_RECOVERY_SECONDS");
    if (seconds == nullptr || seconds[0] == '\0') return defaultIntervalMs;
    const float value = readDecimalFloat(seconds);
    return value >= 0.0f && value <= 86'400.0f ? static_cast<int64_t>(value * 1000.0f) : defaultIntervalMs;
}

// "2024-05-17 14:03" in local time.
std::string localTimeText(int64_t secondsSince1970)
{
    const auto seconds = static_cast<time_t>(secondsSince1970);
    tm local{};
    char text[32] = {};
    if (::localtime_r(&seconds, &local) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0)
        return {};
    return text;
}

// The copy becomes the document, under its file name and unsaved; false,
// after saying why, when it does not fit in memory.
bool restore(AppState& state, const RecoveryCopy& copy, const std::string& path)
{
    Mesh restored;
    try {
        readMeshBytes(restored, copy.meshBytes, 1);
    } catch (const std::bad_alloc&) {
        state.windows->showMessage("Polyquill", textOf(state.prefs.language, Text::NoMemoryToRead, {path}));
        return false;
    }
    state.mesh = std::move(restored);
    state.currentFileName = copy.fileName;
    closeDocumentWindows(state);
    frameViewsIfOutside(state);
    markMeshChanged(state, allViews);
    resetDocumentHistory(state);
    state.history.savedAt.clear();  // no file holds it
    if (!copy.textureFileName.empty()) setMeshTexture(state, copy.textureFileName);
    return true;
}

}  // namespace

void startRecovery(AppState& state)
{
    RecoveryState& r = state.recovery;
    r.intervalMs = intervalFromEnvironment();
    r.lastWriteMs = nowMs() - r.intervalMs;
    const std::string folder = userStateFolder();
    if (folder.empty() || !makeFolders(folder)) return;
    r.lock = lockRecovery(folder, ::getpid());
    if (r.lock.fd >= 0) r.folder = folder;
}

void offerLeftRecoveryCopies(AppState& state)
{
    RecoveryState& r = state.recovery;
    if (r.folder.empty()) return;
    const int32_t language = state.prefs.language;
    for (LeftCopy& left : leftRecoveryCopies(r.folder, ::getpid())) {
        std::optional<RecoveryCopy> copy;
        try {
            const auto bytes = readFileBytes(left.path);
            if (!bytes) continue;  // taken by another editor meanwhile
            copy = readRecoveryBytes(*bytes);
        } catch (const std::bad_alloc&) {
            state.windows->showMessage("Polyquill", textOf(language, Text::NoMemoryToRead, {left.path}));
            continue;
        }
        if (!copy) {
            // Kept aside, not lost, and not offered again.
            const std::string aside = left.path + ".damaged";
            if (::rename(left.path.c_str(), aside.c_str()) == 0)
                state.windows->showMessage("Polyquill", textOf(language, Text::RecoveryDamaged, {aside}));
            left.lock.releaseAndRemove();
            continue;
        }
        const std::string name = copy->fileName.empty() ? std::string(uiTextOf(state.uiText, language, untitledMessage))
                                                        : std::filesystem::path(copy->fileName).filename().string();
        const int32_t answer = state.windows->askChoice(
            "Polyquill", textOf(language, Text::RecoveryQuestion, {name, localTimeText(left.modified)}),
            {textOf(language, Text::RecoveryRestore), textOf(language, Text::RecoveryDiscard)});
        if (answer != 0) {
            ::unlink(left.path.c_str());
            left.lock.releaseAndRemove();
            continue;
        }
        if (restore(state, *copy, left.path) && ::rename(left.path.c_str(), copyPath(state).c_str()) == 0) {
            // The copy is now this editor's own, until the document is saved or discarded.
            r.copyWritten = true;
            r.lastWriteMs = nowMs();
            r.written = stampOf(state);
            left.lock.releaseAndRemove();
        }
        return;
    }
}

void keepRecoveryCopy(AppState& state)
{
    RecoveryState& r = state.recovery;
    if (r.folder.empty()) return;
    if (r.writing.valid()) {
        if (r.writing.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
        finishWriting(r);
    }
    if (!hasUnsavedWork(state)) {
        if (r.copyWritten) ::unlink(copyPath(state).c_str());
        r.copyWritten = false;
        r.lastWriteMs = nowMs() - r.intervalMs;  // the next unsaved change is copied at once
        return;
    }
    if (state.changePending || copyIsCurrent(state) || nowMs() - r.lastWriteMs < r.intervalMs) return;
    // The lists copied here, between passes; encoded and written on a thread.
    Mesh snapshot;
    try {
        snapshot = state.mesh;
        r.writing = std::async(std::launch::async, [mesh = std::move(snapshot), texture = state.textureFileName,
                                                    name = state.currentFileName, path = copyPath(state)] {
            return writeFileReplacing(path, writeRecoveryBytes({writeMeshBytes(mesh), texture, name}));
        });
    } catch (const std::exception&) {
        return;  // no memory or no thread now: tried again an interval later
    }
    r.lastWriteMs = nowMs();
    r.beingWritten = stampOf(state);
}

int32_t recoveryWaitMs(const AppState& state)
{
    const RecoveryState& r = state.recovery;
    if (r.folder.empty()) return -1;
    if (r.writing.valid()) return pollWhileWritingMs;
    if (!hasUnsavedWork(state) || state.changePending || copyIsCurrent(state)) return -1;
    return static_cast<int32_t>(std::clamp<int64_t>(r.lastWriteMs + r.intervalMs - nowMs(), 0, INT32_MAX));
}

void writeRecoveryCopyNow(AppState& state)
{
    RecoveryState& r = state.recovery;
    if (r.folder.empty()) return;
    finishWriting(r);
    if (!hasUnsavedWork(state) || copyIsCurrent(state)) return;
    try {
        const RecoveryCopy copy{writeMeshBytes(state.mesh), state.textureFileName, state.currentFileName};
        if (writeFileReplacing(copyPath(state), writeRecoveryBytes(copy)).empty()) {
            r.copyWritten = true;
            r.written = stampOf(state);
        }
    } catch (const std::bad_alloc&) {
        // Nothing more can be done on the way out.
    }
}

void endRecovery(AppState& state)
{
    RecoveryState& r = state.recovery;
    if (r.folder.empty()) return;
    finishWriting(r);
    ::unlink(copyPath(state).c_str());
    r.copyWritten = false;
    r.lock.releaseAndRemove();
}
