// file_commands.cpp: New, Open, Save, Save as, "Merge...", "Merge ASC",
// "Import...", "Export...", the command-line file and the Save extension rule.
// They change state.mesh and state.currentFileName and talk to the user
// through state.windows.
#include <algorithm>
#include <filesystem>
#include <new>
#include <utility>
#include <variant>

#include "app/app.h"
#include "files/files.h"
#include "files/process_io.h"

namespace {

constexpr std::string_view meshFilter = "Polyquill|*.PQ";
constexpr std::string_view ascFilter = "ASC|*.ASC";
constexpr std::string_view importFilter =
    "OBJ STL PLY glTF COLLADA 3DS FBX|*.obj;*.stl;*.ply;*.glb;*.gltf;*.dae;*.3ds;*.fbx";
// One entry per format, in the order of exportExtensions().
constexpr std::string_view exportFilter =
    "OBJ|*.obj|STL|*.stl|PLY|*.ply|glTF binary|*.glb|glTF|*.gltf|COLLADA|*.dae|3DS|*.3ds";
constexpr const char* exportFormatKey = "export.format";  // remembered: the extension exported to last
constexpr int32_t filterIndex = 1;  // names no entry, so the only one is shown
constexpr std::string_view factorTitle = "Größe/Size/Dimension";
constexpr std::string_view factorMessage = "Verkleinerungsfaktor/Scalefactor/Facteur de réduction";
constexpr std::string_view factorDefault = "5";
constexpr int32_t saveButton = 33;
constexpr int32_t cancelButton = 35;
constexpr int32_t replaceQuestion = 37;
constexpr int32_t replaceButton = 38;

std::string chooseMeshFile(AppState& state, std::string_view filter, bool save)
{
    return state.windows->chooseFile("", state.prefs.dialogStartText, filter, filterIndex, save);
}

// The reduction factor the user gives; a cancelled prompt reads as 0.
int32_t askReductionFactor(AppState& state)
{
    return readRoundedWhole(state.windows->askText(factorTitle, factorMessage, factorDefault));
}

// Import's own prompt for the same factor, in the interface's language.
int32_t askImportFactor(AppState& state)
{
    const int32_t language = state.prefs.language;
    return readRoundedWhole(state.windows->askText(textOf(language, Text::ImportFactorTitle),
                                                   textOf(language, Text::ImportFactorMessage), factorDefault));
}

void tell(AppState& state, Text problem, const std::string& path)
{
    state.windows->showMessage("Polyquill", textOf(state.prefs.language, problem, {path}));
}

// A read on a worker thread into `start`: the empty mesh for Open, a copy of
// the document for the merges. `read` gives the text to tell the user (under
// `title`) when it fails, the empty text when it worked. Nothing when the user
// cancelled or the read failed; the document is never touched meanwhile.
using BackgroundRead = std::function<std::string(Mesh& mesh, const std::atomic<bool>& cancel)>;
std::optional<Mesh> readInBackground(AppState& state, const std::string& path, std::string_view title,
                                     const std::function<Mesh()>& start, BackgroundRead read)
{
    struct Job {
        Mesh mesh;
        std::string problem;
    };
    const std::string text =
        textOf(state.prefs.language, Text::ReadingFile, {std::filesystem::path(path).filename().string()});
    try {
        auto job = std::make_shared<Job>(Job{start(), {}});
        const auto work = [job, read = std::move(read)](const std::atomic<bool>& cancel) {
            job->problem = read(job->mesh, cancel);
        };
        if (runLongWork(state, text, work) == WorkEnd::Cancelled) return std::nullopt;
        if (job->problem.empty()) return std::move(job->mesh);
        state.windows->showMessage(title, job->problem);
    } catch (const std::bad_alloc&) {
        tell(state, Text::NoMemoryToRead, path);
    }
    return std::nullopt;
}

// The document with a half-built triangle set aside, for a merge to append to.
std::function<Mesh()> documentToAppendTo(const AppState& state)
{
    return [&state] {
        Mesh mesh = state.mesh;
        abandonPendingTriangle(mesh);
        return mesh;
    };
}

// The whole file's bytes handed to parse(mesh, bytes), on the worker; the
// text to tell when the file cannot be read.
BackgroundRead parseWholeFile(const AppState& state, const std::string& path,
                              std::function<void(Mesh&, const FileBytes&)> parse)
{
    const std::string cannotRead = textOf(state.prefs.language, Text::CannotRead, {path});
    return [path, cannotRead, parse = std::move(parse)](Mesh& mesh, const std::atomic<bool>&) {
        const std::optional<FileBytes> bytes = readFileBytes(path);
        if (!bytes) return cannotRead;
        parse(mesh, *bytes);
        return std::string();
    };
}

// A merge that read the file: the document becomes what it read. A mesh
// without a texture takes the one that goes with the file.
void takeMerged(AppState& state, const std::string& path, std::optional<Mesh> merged)
{
    if (!merged) return;
    state.mesh = std::move(*merged);
    frameViewsIfOutside(state);
    if (state.textureName.name() == 0) loadTextureForMesh(state, path);
}

// A chosen save name that names another existing file is replaced only when
// the user says so.
bool mayReplace(AppState& state, const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return true;
    if (!state.currentFileName.empty() && std::filesystem::equivalent(path, state.currentFileName, error)) return true;
    const auto text = [&state](int32_t message) {
        return std::string(uiTextOf(state.uiText, state.prefs.language, message));
    };
    std::string question = text(replaceQuestion);
    if (const size_t at = question.find("%1"); at != std::string::npos)
        question.replace(at, 2, std::filesystem::path(path).filename().string());
    return state.windows->askChoice("Polyquill", question, {text(replaceButton), text(cancelButton)}) == 0;
}

// The save dialog's answer with Save's extension rule, after the question
// about replacing; empty when either was cancelled.
std::string chooseSaveName(AppState& state)
{
    std::string path = chooseMeshFile(state, meshFilter, true);
    if (!path.empty()) path = withSaveExtension(path);
    if (path.empty() || !mayReplace(state, path)) return {};
    return path;
}

// Vertices in no triangle are not in the file: saving goes on when there are
// none or the user says so.
bool mayLeaveOutVertices(AppState& state)
{
    const size_t unused = verticesInNoTriangle(state.mesh);
    if (unused == 0) return true;
    const std::string question = unused == 1 ? textOf(state.prefs.language, Text::OneVertexInNoTriangle)
                                             : textOf(state.prefs.language, Text::VerticesInNoTriangle,
                                                      {std::to_string(unused)});
    const auto button = [&state](int32_t message) {
        return std::string(uiTextOf(state.uiText, state.prefs.language, message));
    };
    return state.windows->askChoice("Polyquill", question, {button(saveButton), button(cancelButton)}) == 0;
}

// Writes the document to `path`, which becomes the current file name when the
// write worked; a failed write says why and leaves the name as it was. The
// edits so far are recorded first, under the name they were made under.
bool saveAs(AppState& state, const std::string& path)
{
    if (!mayLeaveOutVertices(state)) return false;
    recordChange(state);
    if (const int32_t reason = replaceFile(path, writeMeshBytes(state.mesh)); reason != 0) {
        const std::string why = writeReasonInLanguage(state.prefs.language, reason);
        state.windows->showMessage(textOf(state.prefs.language, Text::SaveTitle),
                                   textOf(state.prefs.language, Text::WriteFailed, {path, why}));
        return false;
    }
    state.currentFileName = path;
    markDocumentSaved(state);
    rememberRecentFile(state, path);
    rememberMeshTexture(state);
    return true;
}

// The folder part of a file name, with its last "/" or "\"; empty when there is none.
std::string folderPart(const std::string& fileName)
{
    const size_t separator = fileName.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : fileName.substr(0, separator + 1);
}

}  // namespace

std::string commandLineFileName(const std::vector<std::string>& parameters)
{
    std::string name;
    for (const std::string& p : parameters) {
        if (!name.empty()) name += ' ';
        name += p;
    }
    return name;
}

std::string withSaveExtension(std::string_view fileName)
{
    const size_t separator = fileName.find_last_of("/\\");
    const std::string_view component = separator == std::string_view::npos ? fileName : fileName.substr(separator + 1);
    const size_t dot = component.rfind('.');
    std::string_view extension = dot == std::string_view::npos ? std::string_view() : component.substr(dot + 1);
    extension = extension.substr(0, extension.find('"'));
    std::string result(fileName);
    if (extension.empty()) result += ".pq";
    return result;
}

std::string withExportExtension(std::string_view fileName, std::string_view extension)
{
    if (fileName.empty()) return {};
    const size_t separator = fileName.find_last_of("/\\");
    const size_t start = separator == std::string_view::npos ? 0 : separator + 1;
    const size_t dot = fileName.rfind('.');
    // A folder alone, or a name starting with its only dot, keeps all it has.
    const size_t stem = dot == std::string_view::npos || dot <= start ? fileName.size() : dot;
    if (start == fileName.size()) return std::string(fileName);
    return std::string(fileName.substr(0, stem)) + "." + std::string(extension);
}

namespace {

// Open after its dialog: the mesh and its name change only for a file that was
// read whole; false, after telling the user why, when it could not be.
bool openMeshFile(AppState& state, const std::string& path)
{
    std::optional<Mesh> opened = readInBackground(
        state, path, "Polyquill", [] { return Mesh{}; },
        parseWholeFile(state, path, [](Mesh& mesh, const FileBytes& bytes) { readMeshBytes(mesh, bytes, 1); }));
    if (!opened) return false;
    state.mesh = std::move(*opened);
    state.currentFileName = path;
    closeDocumentWindows(state);
    frameViewsIfOutside(state);
    return true;
}

// "Merge ASC" after its dialog: the reduction factor, then the file.
void mergeAscFile(AppState& state, const std::string& path)
{
    const int32_t factor = askReductionFactor(state);
    if (factor == 0) return;
    const auto parse = [factor](Mesh& mesh, const FileBytes& bytes) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        // The history keeps a copy of the lists for undo: they are asked for twice.
        const MemoryCheck mayTakeTwice = [](uint64_t asked) { return mayTakeMemory(2 * asked); };
        importAscText(mesh, text, factor, mayTakeTwice);
    };
    takeMerged(state, path,
               readInBackground(state, path, "Polyquill", documentToAppendTo(state), parseWholeFile(state, path, parse)));
}

// "Import..." after its dialog: the reduction factor, then the file through the helper.
void importFile(AppState& state, const std::string& path)
{
    const int32_t factor = askImportFactor(state);
    if (factor == 0) return;
    const int32_t language = state.prefs.language;
    const BackgroundRead read = [path, factor, language](Mesh& mesh, const std::atomic<bool>& cancel) {
        ImportRun how;
        how.cancel = &cancel;
        auto imported = importThroughHelper(path, factor, how);
        if (const ImportProblem* problem = std::get_if<ImportProblem>(&imported))
            return importProblemText(language, path, *problem);
        // Shared with the mesh's own vertices as a merged native file would be.
        readMeshBytes(mesh, writeMeshBytes(std::get<Mesh>(imported)), 1);
        return std::string();
    };
    takeMerged(state, path,
               readInBackground(state, path, textOf(language, Text::ImportTitle), documentToAppendTo(state), read));
}

bool isImportName(const std::string& path)
{
    const auto& known = importExtensions();
    return std::find(known.begin(), known.end(), lowerExtension(path)) != known.end();
}

}  // namespace

namespace files {

void cmdNew(AppState& state)
{
    if (!confirmDiscardChanges(state)) return;
    clearMesh(state.mesh);
    closeDocumentWindows(state);
    recordChange(state);
    // The empty document belongs to no file: Save asks for a name, and the
    // dialogs open in the old file's folder without proposing its name.
    if (!state.currentFileName.empty()) state.prefs.dialogStartText = folderPart(state.currentFileName);
    state.currentFileName.clear();
    renameDocument(state.history, state.currentFileName);
}

void cmdOpen(AppState& state)
{
    if (!confirmDiscardChanges(state)) return;
    const std::string path = chooseMeshFile(state, meshFilter, false);
    if (path.empty() || !openMeshFile(state, path)) return;
    // One step with the new name: undoing an Open gives back the old file's name too.
    recordChange(state);
    markDocumentSaved(state);
    rememberRecentFile(state, path);
    loadTextureForMesh(state, path);
}

bool cmdSave(AppState& state)
{
    const std::string path = state.currentFileName.empty() ? chooseSaveName(state)
                                                           : withSaveExtension(state.currentFileName);
    return !path.empty() && saveAs(state, path);
}

bool cmdSaveAs(AppState& state)
{
    const std::string path = chooseSaveName(state);
    return !path.empty() && saveAs(state, path);
}

void cmdMerge(AppState& state)
{
    const std::string path = chooseMeshFile(state, meshFilter, false);
    if (path.empty()) return;
    // A file that cannot be opened, or not held, is told before the factor is asked.
    size_t length = 0;
    if (const FileDescriptor file(openRegularFile(path, length)); file.fd < 0) {
        tell(state, Text::CannotRead, path);
        return;
    }
    if (length > memoryAvailable()) {
        tell(state, Text::NoMemoryToRead, path);
        return;
    }
    const int32_t factor = askReductionFactor(state);
    if (factor == 0) return;
    takeMerged(state, path, readInBackground(state, path, "Polyquill", documentToAppendTo(state),
                                       parseWholeFile(state, path, [factor](Mesh& mesh, const FileBytes& bytes) {
                                           readMeshBytes(mesh, bytes, factor);
                                       })));
}

void cmdMergeAsc(AppState& state)
{
    const std::string path = chooseMeshFile(state, ascFilter, false);
    if (!path.empty()) mergeAscFile(state, path);
}

void cmdImport(AppState& state)
{
    const std::string path = chooseMeshFile(state, importFilter, false);
    if (!path.empty()) importFile(state, path);
}

void cmdExport(AppState& state)
{
    // The dialog proposes the document's name with the format exported to last (OBJ at first).
    const std::vector<std::string_view>& formats = exportExtensions();
    const auto format = std::find(formats.begin(), formats.end(), userValue(state, exportFormatKey));
    const size_t index = format == formats.end() ? 0 : static_cast<size_t>(format - formats.begin());
    const std::string path =
        state.windows->chooseFile("", withExportExtension(state.prefs.dialogStartText, formats[index]), exportFilter,
                                  static_cast<int32_t>(index), true);
    if (path.empty() || !mayReplace(state, path)) return;
    const std::string chosen = lowerExtension(path);
    if (std::find(formats.begin(), formats.end(), chosen) != formats.end())
        rememberUserValue(state, exportFormatKey, chosen);
    const ExportProblem problem = exportThroughHelper(state.mesh, path, state.textureFileName);
    if (problem.what != ExportFailure::None)
        state.windows->showMessage(textOf(state.prefs.language, Text::ExportTitle),
                                   textOf(state.prefs.language, Text::WriteFailed,
                                                    {path, exportProblemInLanguage(state.prefs.language, problem)}));
}

}  // namespace files

bool loadCommandLineFile(AppState& state, const std::vector<std::string>& parameters)
{
    const std::string path = commandLineFileName(parameters);
    if (path.empty()) return false;
    if (lowerExtension(path) != "asc" && !isImportName(path)) {
        if (!openMeshFile(state, path)) return false;
        loadTextureForMesh(state, path);
        return true;
    }
    // Read as Merge ASC and Import read them, into an empty document without a
    // name, so that Save asks rather than write the native format over the file.
    clearMesh(state.mesh);
    state.currentFileName.clear();
    renameDocument(state.history, state.currentFileName);
    if (isImportName(path))
        importFile(state, path);
    else
        mergeAscFile(state, path);
    recordChange(state);
    return true;
}

void rememberDialogStart(AppState& state)
{
    if (!state.currentFileName.empty()) state.prefs.dialogStartText = state.currentFileName;
}
