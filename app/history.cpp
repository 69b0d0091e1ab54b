// history.cpp: what is undoable, and when a user action becomes a step.
// Every change to the document (the mesh and its selection, and the file
// name Open gives it) is recorded here: the main loop calls
// recordBeforeEvent and recordAfterEvent around the handling of its event on
// every pass, and the commands that must settle the document first (undo,
// redo, the unsaved-changes question, New, Open, Save) call recordChange.
// One step per user action: a click with the drag that follows it up to the
// button's release, one command (a Scale, Rotate or Position window, the
// automatic or projected texture coordinates, New, Open, a merge, an answered
// Mesh menu window), one edit of a tool window's field until the focus or the
// window changes. A box selection changes the document at the button's
// release, which marks the change pending itself.
// Touches state.history, state.mesh, state.currentFileName and the Edit menu.
#include <filesystem>
#include <new>

#include "app/app.h"

namespace {

constexpr int32_t questionMessage = 32;
constexpr int32_t saveButton = 33;
constexpr int32_t discardButton = 34;
constexpr int32_t cancelButton = 35;
constexpr int32_t untitledMessage = 36;

std::string_view text(const AppState& state, int32_t message)
{
    return uiTextOf(state.uiText, state.prefs.language, message);
}

bool toolWindowOpen(const AppState& state)
{
    return state.windows->isWindowOpen(windowTexture) || state.windows->isWindowOpen(windowTriangles);
}

// Events that carry on the action before them: a drag with the left button
// (in the Texture window also with Ctrl, which snaps), typing into the Texture
// or Triangles window, and passes without an event.
bool continuesAction(const AppState& state)
{
    switch (state.eventKind) {
    case eventNone: return true;
    case eventMouseMove:
        return state.event.param == mkLButton ||
               (state.eventWindow == windowTexture && (state.event.param & mkLButton) != 0);
    case eventKeyDown:
        return state.eventWindow == windowTexture || state.eventWindow == windowTriangles;
    case eventControl: return state.event.notification == notifyChange;
    default: return false;
    }
}

// Events of the main window and the views whose handling may change the
// document. The tool windows' steps write their fields into the mesh on
// passes of their own, so while one is open every boundary is checked.
bool mayChangeDocument(const AppState& state)
{
    if (state.eventWindow > window3D) return false;
    switch (state.eventKind) {
    case eventLeftDown:
    case eventRightDown:
    case eventCommand:
    case eventKeyDown: return true;
    case eventMouseMove: return state.event.param == mkLButton;
    default: return false;
    }
}

// The tool windows show what the document holds after an undo or redo, so
// their next pass does not write old values back.
void showDocumentInToolWindows(AppState& state)
{
    showTextureWindowValues(state);
    showTriangleListNumber(state);
}

// "NAME" of the question: the current file's name without its folder.
std::string documentName(const AppState& state)
{
    if (state.currentFileName.empty()) return std::string(text(state, untitledMessage));
    return std::filesystem::path(state.currentFileName).filename().string();
}

}  // namespace

void resetDocumentHistory(AppState& state)
{
    resetHistory(state.history, state.mesh, state.currentFileName);
    state.changePending = false;
}

// Runs a step of the history; when memory runs out on the way the history
// starts again from the document as it is, which then counts as unsaved.
template <typename Step>
bool guarded(AppState& state, Step step)
{
    try {
        return step();
    } catch (const std::bad_alloc&) {
        state.history.steps.clear();
        resetHistory(state.history, state.mesh, state.currentFileName);
        state.history.savedAt.clear();
        return false;
    }
}

void recordChange(AppState& state)
{
    guarded(state, [&state] { return recordStep(state.history, state.mesh, state.currentFileName); });
    state.changePending = false;
}

void recordBeforeEvent(AppState& state)
{
    if ((state.changePending || toolWindowOpen(state)) && !continuesAction(state)) recordChange(state);
}

void recordAfterEvent(AppState& state)
{
    if (mayChangeDocument(state)) state.changePending = true;
    if ((state.changePending || toolWindowOpen(state)) && !continuesAction(state)) recordChange(state);
    updateEditMenu(state);
}

void undoCommand(AppState& state)
{
    if (!guarded(state, [&state] { return undoStep(state.history, state.mesh, state.currentFileName); })) return;
    state.changePending = false;
    showDocumentInToolWindows(state);
    updateEditMenu(state);
}

void redoCommand(AppState& state)
{
    const bool moved =
        guarded(state, [&state] { return redoStep(state.history, state.mesh, state.currentFileName); });
    state.changePending = false;
    if (moved) showDocumentInToolWindows(state);
    updateEditMenu(state);
}

void updateEditMenu(AppState& state)
{
    state.windows->setMenuItemEnabled(cmdUndo, state.changePending || canUndo(state.history));
    state.windows->setMenuItemEnabled(cmdRedo, !state.changePending && canRedo(state.history));
}

void markDocumentSaved(AppState& state) { markSaved(state.history, state.currentFileName); }

bool isDocumentModified(AppState& state)
{
    recordChange(state);
    // A document without a file holds work as soon as it holds anything.
    if (state.currentFileName.empty()) return !state.mesh.vertices.empty() || !state.mesh.triangles.empty();
    return isModified(state.history);
}

bool confirmDiscardChanges(AppState& state)
{
    if (!isDocumentModified(state)) return true;
    std::string question(text(state, questionMessage));
    if (const size_t at = question.find("%1"); at != std::string::npos)
        question.replace(at, 2, documentName(state));
    const int32_t answer = state.windows->askChoice(
        "Polyquill", question,
        {std::string(text(state, saveButton)), std::string(text(state, discardButton)),
         std::string(text(state, cancelButton))});
    if (answer == 0) return files::cmdSave(state);
    return answer == 1;
}
