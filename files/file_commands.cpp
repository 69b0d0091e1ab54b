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

namespace {

constexpr std::string_view meshFilter = "Polyquill|*.PQ";
constexpr std::string_view ascFilter = "ASC|*.ASC";
constexpr std::string_view importFilter =
    "OBJ STL PLY glTF COLLADA 3DS FBX|*.obj;*.stl;*.ply;*.glb;*.gltf;*.dae;*.3ds;*.fbx";
constexpr std::string_view exportFilter = "OBJ STL PLY glTF COLLADA 3DS|*.obj;*.stl;*.ply;*.glb;*.gltf;*.dae;*.3ds";
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

// The whole file, or nothing after telling the user why it cannot be had.
std::optional<FileBytes> readForCommand(AppState& state, const std::string& path)
{
    try {
        if (auto bytes = readFileBytes(path)) return bytes;
        tell(state, Text::CannotRead, path);
    } catch (const std::bad_alloc&) {
        tell(state, Text::NoMemoryToRead, path);
    }
    return std::nullopt;
}

// Appends the file's contents with `read` after setting a half-built triangle
// aside. When memory runs out on the way, everything read is taken back (the
// vectors only shrink, so that cannot fail) and the mesh is as it was before.
// A mesh without a texture takes the one that goes with the file.
template <typename Read>
void appendToMesh(AppState& state, const std::string& path, Read read)
{
    Mesh& mesh = state.mesh;
    const int32_t pendingCorner = mesh.pendingCorner;
    const std::optional<Triangle> pending =
        pendingCorner != 0 && !mesh.triangles.empty() ? std::optional(mesh.triangles.back()) : std::nullopt;
    abandonPendingTriangle(mesh);
    const size_t vertices = mesh.vertices.size();
    const size_t triangles = mesh.triangles.size();
    bool whole = true;
    try {
        read(mesh);
    } catch (const std::bad_alloc&) {
        whole = false;
        mesh.vertices.resize(vertices);
        mesh.triangles.resize(triangles);
        if (pending) {
            mesh.triangles.push_back(*pending);
            mesh.pendingCorner = pendingCorner;
        }
        tell(state, Text::NoMemoryToRead, path);
    }
    frameViewsIfOutside(state);
    if (whole && state.textureName.name() == 0) loadTextureForMesh(state, path);
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

namespace {

// Open after its dialog: the mesh and its name change only for a file that was
// read whole; false, after telling the user why, when it could not be.
bool openMeshFile(AppState& state, const std::string& path)
{
    const auto bytes = readForCommand(state, path);
    if (!bytes) return false;
    Mesh opened;
    try {
        readMeshBytes(opened, *bytes, 1);
    } catch (const std::bad_alloc&) {
        tell(state, Text::NoMemoryToRead, path);
        return false;
    }
    state.mesh = std::move(opened);
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
    const auto bytes = readForCommand(state, path);
    if (!bytes) return;
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    // The history keeps a copy of the lists for undo: they are asked for twice.
    const MemoryCheck mayTakeTwice = [](uint64_t asked) { return mayTakeMemory(2 * asked); };
    appendToMesh(state, path, [&](Mesh& mesh) { importAscText(mesh, text, factor, mayTakeTwice); });
}

// "Import..." after its dialog: the reduction factor, then the file through the helper.
void importFile(AppState& state, const std::string& path)
{
    const int32_t factor = askImportFactor(state);
    if (factor == 0) return;
    const auto imported = importThroughHelper(path, factor);
    if (const ImportProblem* problem = std::get_if<ImportProblem>(&imported)) {
        state.windows->showMessage(textOf(state.prefs.language, Text::ImportTitle),
                                   importProblemText(state.prefs.language, path, *problem));
        return;
    }
    // Shared with the mesh's own vertices as a merged native file would be.
    const std::vector<std::byte> records = writeMeshBytes(std::get<Mesh>(imported));
    appendToMesh(state, path, [&](Mesh& mesh) { readMeshBytes(mesh, records, 1); });
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
    const auto bytes = readForCommand(state, path);
    if (!bytes) return;
    const int32_t factor = askReductionFactor(state);
    if (factor == 0) return;
    appendToMesh(state, path, [&](Mesh& mesh) { readMeshBytes(mesh, *bytes, factor); });
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
    const std::string path = chooseMeshFile(state, exportFilter, true);
    if (path.empty() || !mayReplace(state, path)) return;
    const ExportProblem problem = exportThroughHelper(state.mesh, path, state.textureFileName);
    if (problem.what != ExportFailure::None)
        state.windows->showMessage(textOf(state.prefs.language, Text::ExportTitle),
                                   textOf(state.prefs.language, Text::WriteFailed,
                                                    {path, exportProblemInLanguage(state.prefs.language, problem)}));
}

}  // namespace files

void loadCommandLineFile(AppState& state, const std::vector<std::string>& parameters)
{
    const std::string path = commandLineFileName(parameters);
    if (path.empty()) return;
    if (lowerExtension(path) != "asc" && !isImportName(path)) {
        if (!openMeshFile(state, path)) return;
        loadTextureForMesh(state, path);
        return;
    }
    // Read as Merge ASC and Import read them, into a document without a name,
    // so that Save asks rather than write the native format over the file.
    state.currentFileName.clear();
    renameDocument(state.history, state.currentFileName);
    if (isImportName(path))
        importFile(state, path);
    else
        mergeAscFile(state, path);
    recordChange(state);
}

void rememberDialogStart(AppState& state)
{
    if (!state.currentFileName.empty()) state.prefs.dialogStartText = state.currentFileName;
}
