// files.h: the native mesh file, the ASC import, pref.txt, and the file commands.
// Every reader and writer works on bytes in memory; the path functions are thin
// wrappers that read or write a whole file. The commands take the state record.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mesh/mesh.h"

struct AppState;

// The four settings kept in pref.txt.
struct Preferences {
    int32_t language = 0;  // 0 German, 1 English, 2 French
    float snapGrid = 0.0f;
    int32_t oldGlWarned = 0;
    std::string dialogStartText;
};

// ---- whole files ---------------------------------------------------------------------

// A whole file's bytes, in a large list's storage that was never zero-filled.
struct FileBytes {
    struct Release {
        size_t capacity = 0;
        void operator()(std::byte* block) const { releaseLargeList(block, capacity); }
    };
    std::unique_ptr<std::byte[], Release> storage;
    size_t length = 0;
    const std::byte* data() const { return storage.get(); }
    size_t size() const { return length; }
    const std::byte* begin() const { return data(); }
    const std::byte* end() const { return data() + length; }
};

// Bytes of memory the process can still take: the least of what the system
// has available (free and reclaimable memory and swap), what its memory
// cgroups leave at any level (v2, or v1's memory controller; their inactive
// file cache counted as free), and what its soft address-space and data
// limits leave beside what it uses. Checked before large allocations, so that
// a read too large is refused rather than ended by the kernel.
uint64_t memoryAvailable();
// The same from the files below `root` ("/proc/meminfo", "/proc/self/cgroup",
// "/proc/self/mountinfo", "/proc/self/statm" and the cgroup folders the
// mounts name, all under root) and the limits given (the largest value: none).
// Any of the files missing or holding junk sets no bound of its own.
uint64_t memoryAvailable(const std::string& root, uint64_t addressSpaceLimit, uint64_t dataLimit);
// The whole content of a regular file; nothing when it cannot be opened or read.
// Throws std::bad_alloc, having read nothing, when the file is larger than
// memoryAvailable(): the caller tells the user and keeps what it had.
std::optional<FileBytes> readFileBytes(const std::string& path);
// Reads a regular file through `buffer`, up to the length it had when opened:
// `start` gets that length, then `piece` each piece in order. Every piece but
// the last fills the buffer. False when the file cannot be opened (nothing is
// called) or a read fails (the pieces given so far stay given).
bool readFileInPieces(const std::string& path, std::span<std::byte> buffer,
                      const std::function<void(size_t length)>& start,
                      const std::function<void(std::span<const std::byte> piece)>& piece);
// Why a file was not written: 0 when it was, an errno value, or one of these.
enum WriteRefusal : int32_t {
    writeNoFifoReader = -1,  // a FIFO that no program reads
    writeFileChanged = -2,   // the file changed into another kind while it was opened
    writeBlockDevice = -3,   // block devices are never written
    writeSpecialFile = -4,   // sockets and other special files
};
// The reason in English: strerror's words for an errno value; empty for 0.
std::string writeReasonText(int32_t reason);

// Writes the bytes as the file the path names, never leaving a half-written
// file and never turning a special file into a regular one. A symbolic link is
// followed to its final target, which is created when missing. A regular file
// (or a new one) is written whole into an unnamed file in its folder (a named
// temporary "NAME.XXXXXX" where the filesystem has none, removed again by
// SIGINT, SIGTERM and SIGHUP), which takes the old file's mode and, where the
// process may, its owner, and is then renamed over it; the old file survives
// any failure. A character device, or a FIFO that a program reads, is written
// in place. A folder, any other special file, a FIFO nobody reads and a file
// the user may not write are refused. 0, or the reason.
int32_t replaceFile(const std::string& path, std::span<const std::byte> bytes);
// Files written together, the last one last (the file that names the others).
struct FileToWrite {
    std::string path;
    std::span<const std::byte> bytes;
};
// Writes the files as replaceFile does, as one: every file is complete before
// any takes its name, and when one fails, each file is again what it was
// before (a file that was not there is not there). 0, or the reason with
// `failed` the position of the file it concerns.
int32_t replaceFiles(std::span<const FileToWrite> files, size_t& failed);
// replaceFile with the reason in English words: the empty text on success.
std::string writeFileReplacing(const std::string& path, std::span<const std::byte> bytes);
// Start-up of every program that writes files: a write past the file-size
// limit (RLIMIT_FSIZE) fails with EFBIG instead of ending the process.
void ignoreFileSizeLimitSignal();
// The name of what the path finally names after its symbolic links, which
// need not exist; the path itself when it is no link or cannot be followed.
std::string linkTarget(const std::string& path);

// Runs first() here while second() runs on another thread, and returns when
// both are done; one after the other here when no thread can be started. An
// exception from either comes out of it once both have ended.
void runSideBySide(const std::function<void()>& first, const std::function<void()>& second);

// Splits text into lines ending at CR LF, a lone CR, LF or NUL; the line end is
// not part of the line. Returns the line starting at `pos` and moves `pos` past
// its end. Call only while pos < text.size().
std::string_view nextTextLine(std::string_view text, size_t& pos);

// ---- native mesh file (.pq) -------------------------------------------------------------

// The triangles a file of the mesh holds: all but one still under
// construction, and none while the vertex list is empty.
size_t writtenTriangleCount(const Mesh& mesh);
// Vertices that none of those triangles uses: a file of the mesh leaves them out.
size_t verticesInNoTriangle(const Mesh& mesh);
// The file's bytes for those triangles, 60 bytes each.
std::vector<std::byte> writeMeshBytes(const Mesh& mesh);
// Appends the file's triangles, and the vertices they need, to the mesh, each
// position divided by the factor (1 keeps the stored bits). Corners share an
// existing vertex exactly as findVertexAt finds it. A factor of 0 reads nothing.
// Throws std::bad_alloc, before appending anything, when the mesh could not
// hold the file's triangles with a vertex for every corner.
void readMeshBytes(Mesh& mesh, std::span<const std::byte> bytes, int32_t factor);

// Makes the mesh what readMeshBytes reads into an empty mesh from
// writeMeshBytes(mesh): the written triangles, their corners sharing vertices
// by exact position, in first-use order; unused vertices are dropped.
void shareCornerPositions(Mesh& mesh);

// Writes the file with writeFileReplacing: the empty text, or why it could not
// be written (the old file is then untouched).
std::string saveMeshFile(const Mesh& mesh, const std::string& path);
// Adds the file's triangles to the mesh (it does not empty it first).
// False, with nothing changed, when the file cannot be opened.
bool loadMeshFile(Mesh& mesh, const std::string& path);
// As loadMeshFile with the positions divided by the factor; 0 reads nothing.
bool mergeMeshFile(Mesh& mesh, const std::string& path, int32_t factor);

// ---- 3D-Studio ASCII export (.asc) ---------------------------------------------------

// Asked before the ASC reader takes memory: true when `bytes` more may be taken.
using MemoryCheck = std::function<bool(uint64_t bytes)>;
// Allocations from 1 MB on must stay below memoryAvailable(); smaller ones may always be made.
bool mayTakeMemory(uint64_t bytes);

// Appends the file's "vertex" and "face" lines as vertices and triangles,
// positions divided by the factor; vertices are never shared. 0 reads nothing.
// The reader keeps 12 bytes a vertex or face line (16 an object) in blocks
// that never move, then asks for the finished lists whole: its peak memory
// stays below 6 times the text plus the finished mesh. Each allocation is
// asked of `mayTake` first; a refusal throws std::bad_alloc with the mesh
// unchanged.
void importAscText(Mesh& mesh, std::string_view text, int32_t factor, const MemoryCheck& mayTake = mayTakeMemory);
// The same from a file, read in pieces; the file's length is asked of
// `mayTake` first. False, with nothing changed, when the file cannot be opened.
bool importAsc(Mesh& mesh, const std::string& path, int32_t factor, const MemoryCheck& mayTake = mayTakeMemory);
// The path readers above (loadMeshFile, mergeMeshFile, importAsc) pass on the
// std::bad_alloc of a file too large for memory; the mesh may then hold part
// of the file, which the caller takes back (the commands do).


// ---- other tools' formats, read by the import helper ------------------------------------

// The lower-case extensions (without the dot) the import helper reads.
const std::vector<std::string_view>& importExtensions();
// The text after the last "." of the path's file name, lower-cased (ASCII);
// empty when there is none. Import and export pick their format by it.
std::string lowerExtension(const std::string& path);

// What one run of the import helper may use.
struct ImportLimits {
    uint64_t memoryBytes = 0;  // address space beyond what the helper's program and libraries take
    uint32_t cpuSeconds = 0;
    uint32_t wallSeconds = 0;  // from its start to its reply, whatever it waits for
};
// 64 MB plus 200 bytes for each byte of the file, at most 4 GB; 30 s of CPU
// time and 30 s on the clock.
ImportLimits importLimitsFor(uint64_t fileBytes);

// A helper program beside the running program, or one folder up (from a
// build's tools/ or tests/ folder); the one beside it when neither is there.
std::string helperProgram(std::string_view name);
// The executable that parses other tools' files, found by helperProgram.
inline constexpr std::string_view importHelperName = "pq_import_helper";
// Its exit status when an allocation failed under the memory limit.
inline constexpr int importHelperOutOfMemory = 3;

// Why an import gave no mesh; importProblemText (app/app.h) puts it in the
// user's language.
enum class ImportFailure : int32_t {
    CannotOpen,        // values: the system's reason
    NotRegular,        // a folder, FIFO, device...
    UnknownFormat,     // values: the extension
    FactorZero,
    HelperNotStarted,  // values: the helper program, the system's reason
    Crashed,
    NeedsMemory,
    TookTooLong,
    Cancelled,  // the caller's cancel flag was set
    NotValid,  // the reason says what is wrong
};
// What is wrong with a file that was read but is not valid.
enum class ImportReason : int32_t {
    Other,               // values: the importer's words, cleaned (importerWordsProblem)
    Empty,
    EndsEarly,
    NotRecognised,       // not that format at all
    BadXml,
    LongChunk,           // a chunk longer than the file
    NoTriangles,
    FaceVertex,          // values: the vertex number a face names, the mesh's vertex count
    FaceVertexMissing,   // as FaceVertex, the numbers unknown
    FaceWithoutCorners,
    Inconsistent,        // parts that do not fit together
    BadNumber,           // values: the text read as a number, cut short
    NumberMissing,
    MissingFile,         // values: the referenced file's name, cut short
    HeaderWithoutEnd,    // PLY
    HeaderPromisesMore,  // PLY
};
struct ImportProblem {
    ImportFailure failure = ImportFailure::NotValid;
    ImportReason reason = ImportReason::Other;
    std::vector<std::string> values;
};
// Most text of the file an import failure may quote.
inline constexpr size_t maxQuotedBytes = 80;
// The import helper's words on a file it could not read, sorted into a
// NotValid reason with its values. Nothing of the words is kept but values
// cut to maxQuotedBytes; words of an unknown kind lose the library's internal
// names (aiMesh::mFaces[0]...) and are cut the same way.
ImportProblem importerWordsProblem(std::string_view words);
// The format name users know for an import extension: "OBJ", "glTF", "COLLADA"...
std::string importFormatName(std::string_view extension);

// Reads a file of another tool, chosen by its extension, into a new mesh:
// polygons triangulated, node transforms applied, the first texture-coordinate
// channel with V = 0 at the top of the picture, positions divided by the
// factor and shared as the native reader shares them. The parsing library is
// not trusted with this process: it runs in the import helper, under the
// limits, with no way to write a file and opening regular files only, and
// sends the triangles back through a pipe; a crash, an overrun or a damaged
// reply is a clean failure. The mesh, or why not.
struct ImportRun {
    std::string helper;   // the helper program; empty: importHelperName, found as above
    ImportLimits limits;  // memoryBytes 0: importLimitsFor the file's size
    const std::atomic<bool>* cancel = nullptr;  // set: the helper is stopped within a few milliseconds
};
std::variant<Mesh, ImportProblem> importThroughHelper(const std::string& path, int32_t factor,
                                                      const ImportRun& how = {});

// The helper's reply; files/import_reply.cpp describes its bytes.
enum class ImportReplyKind : uint32_t { Triangles = 1, Message = 2 };
struct ImportReply {
    ImportReplyKind kind = ImportReplyKind::Message;
    std::span<const std::byte> body;  // native file records, or the message's text
};
inline constexpr size_t importReplyHeaderBytes = 20;
inline constexpr size_t importReplyTrailerBytes = 4;
inline constexpr uint64_t maxImportMessageBytes = 1000;

// The bytes before and after the body, for the helper to write around it.
std::array<std::byte, importReplyHeaderBytes> importReplyHeader(ImportReplyKind kind, uint64_t bodyBytes);
std::array<std::byte, importReplyTrailerBytes> importReplyTrailer(std::span<const std::byte> body);
// The length of the whole reply that begins with these bytes (at least
// importReplyHeaderBytes of them), or nothing when they cannot begin a valid
// reply with at most maxBodyBytes of triangles. Read before allocating.
std::optional<uint64_t> importReplyLength(std::span<const std::byte> header, uint64_t maxBodyBytes);
// The reply's kind and body, or nothing unless every check holds: header,
// lengths, hash, and no byte before or after.
std::optional<ImportReply> parseImportReply(std::span<const std::byte> reply, uint64_t maxBodyBytes);

// ---- other tools' formats, written by the export helper --------------------------------

// The lower-case extensions (without the dot) export writes.
const std::vector<std::string_view>& exportExtensions();
// "obj, stl, ply" for a list of extensions.
std::string extensionList(const std::vector<std::string_view>& extensions);
// The export helper: the program that links the exporters, so the editor does not.
inline constexpr std::string_view exportHelperName = "pq_export_helper";

// Why an export wrote nothing, in parts that each language puts in its own words.
enum class ExportFailure : int32_t {
    None = 0,
    UnknownFormat,     // detail: the extension
    NoTriangles,
    NotANumber,        // detail: the triangle, counted from 1, with a corner the format cannot hold
    ExporterFailed,    // detail: the exporting library's own words
    NoFileMade,
    CannotWrite,       // reason; detail: the companion file, empty for the file asked for
    HelperNotStarted,  // reason; detail: the helper program
    HelperCrashed,
    HelperFailed,
};
struct ExportProblem {
    ExportFailure what = ExportFailure::None;
    int32_t reason = 0;  // errno value or WriteRefusal
    std::string detail;
};
// Its words in each language: exportProblemInLanguage (app/app.h).
// The export helper's answer: "WHAT REASON DETAIL" on one line, and back.
// An answer that is not one gives HelperFailed.
std::string exportAnswerText(const ExportProblem& problem);
ExportProblem readExportAnswer(std::string_view answer);

// Writes the mesh's finished triangles in the format the path's extension
// picks, exactly as `pqtool export` writes a native file of the mesh, naming
// the texture (when not empty) in the format's material. The export helper
// (or `helper`, when given) does the writing, through replaceFiles.
// What stood in the way; `what` is None when the files were written.
ExportProblem exportThroughHelper(const Mesh& mesh, const std::string& path, const std::string& texture,
                                  const std::string& helper = {});

// ---- pref.txt ---------------------------------------------------------------------------

inline constexpr std::string_view preferencesFileName = "pref.txt";

// Exactly: language CR LF snapGrid as "%f" CR LF oldGlWarned CR LF dialogStartText.
std::string writePreferencesText(const Preferences& prefs);
// The four lines of the text; missing lines give 0, 0.0, 0 and the empty text.
Preferences readPreferencesText(std::string_view text);
// False, with prefs unchanged, when the file cannot be opened.
bool readPreferences(Preferences& prefs, const std::string& path);
bool writePreferences(const Preferences& prefs, const std::string& path);
// The interface language the user's locale asks for: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty, by its language code
// ("de_DE.UTF-8", "en", "fr_CA"): 1 for en, 2 for fr, 0 German otherwise.
int32_t languageFromLocale(std::string_view lcAll, std::string_view lcMessages, std::string_view lang);
// Start-up read and later writes: "pref.txt" in the program's folder, so what
// one run stores the next run finds wherever it was started from (the read
// falls back to the working directory when the folder has none); where the
// user may not write that folder (or its pref.txt), in userConfigFolder(),
// the program's own then read only when the user has none; without any
// pref.txt the language comes from the environment's locale. A failed write
// is silent.
void readPreferences(AppState& state);
void writePreferences(const AppState& state);

// ---- remembered settings (files/user_state.cpp) -----------------------------------------

// What the editor remembers between runs that pref.txt does not hold, by key.
// Keys name their owner: "window.place", "recent.1", "texture:/path/of/mesh.pq"...
struct UserState {
    std::map<std::string, std::string> values;
};

// The user's folders for state and settings ($XDG_STATE_HOME, else
// ~/.local/state; $XDG_CONFIG_HOME, else ~/.config), each with "polyquill/"
// and a trailing "/"; empty when no absolute folder is known.
std::string userStateFolder();
std::string userConfigFolder();
// Creates the folder and its parents (mode 0700 where new); true when it is there.
bool makeFolders(const std::string& folder);
// The file's text: one "key TAB value" line an entry, with \, \t, \n and \r escaped.
std::string writeUserStateText(const UserState& userState);
// Any bytes: lines without a tab or key are skipped; a later key wins.
UserState readUserStateText(std::string_view text);
// The file's entries; empty when it is missing, unreadable or larger than 4 MB.
UserState readUserState(const std::string& path);
// Writes the file with writeFileReplacing: the empty text, or why not.
std::string writeUserState(const UserState& userState, const std::string& path);
// "state.txt" in userStateFolder(); empty when there is none.
std::string userStatePath();
// Start-up: state.userState from the user's state file.
void loadUserState(AppState& state);
// Sets one value and writes it into the file, keeping what other running
// editors wrote there meanwhile; a failed write is silent (it is only a memory).
void rememberUserValue(AppState& state, const std::string& key, const std::string& value);
// The remembered value, or the empty text.
std::string userValue(const AppState& state, const std::string& key);

// ---- recovery copies (files/recovery.cpp) --------------------------------------------------

// What a recovery copy holds: the document as its native file would, the
// texture's path and the document's file name (either may be empty).
struct RecoveryCopy {
    std::vector<std::byte> meshBytes;  // native file records
    std::string textureFileName;
    std::string fileName;
};
// The copy's bytes: a header, the three parts with their lengths, a hash.
std::vector<std::byte> writeRecoveryBytes(const RecoveryCopy& copy);
// The copy the bytes hold; nothing unless every check holds (any damage, a
// cut, junk).
std::optional<RecoveryCopy> readRecoveryBytes(std::span<const std::byte> bytes);

// A file of the state folder held locked (flock) by this process: the kernel
// frees the lock however the process ends. fd -1 holds none.
struct HeldLock {
    int fd = -1;
    std::string path;
    HeldLock() = default;
    HeldLock(HeldLock&& other) noexcept;
    HeldLock& operator=(HeldLock&& other) noexcept;
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    ~HeldLock();
    void release();
    // Removes the file, then lets the lock go.
    void releaseAndRemove();
};
// An editor's copy in the folder ("recovery-PID.pqr", folder ending in "/").
std::string recoveryCopyPath(const std::string& folder, int pid);
// Takes the lock that marks editor `pid` as running ("recovery-PID.lock");
// none when another process holds it or it cannot be made.
HeldLock lockRecovery(const std::string& folder, int pid);
// A copy whose editor no longer runs, its lock held here while it is offered.
struct LeftCopy {
    std::string path;
    HeldLock lock;
    int64_t modified = 0;  // seconds since 1970
};
// The folder's copies left by editors that no longer run, newest first; a
// copy of `ownPid` (this process, holding its own lock) is a former process's.
// Each is locked here, so no other editor starting now offers it too. Lock
// files left without a copy are removed.
std::vector<LeftCopy> leftRecoveryCopies(const std::string& folder, int ownPid);

// ---- textures that go with a mesh file (files/texture_pairing.cpp) ----------------------

// The regular file beside the mesh with its name stem and ".png", ".jpg",
// ".jpeg" or ".bmp", the first of these there is; empty when none is.
std::string sameStemTexture(const std::string& meshPath);
// The path from the root without ".", ".." and symbolic links, so that every
// spelling of a file gives the same; the path itself when it cannot be made.
std::string absolutePath(const std::string& path);
// The user-state key of the picture last chosen with a mesh file: "texture:"
// and the file's absolutePath.
std::string textureMemoryKey(const std::string& meshPath);

// The picture a mesh file opens with.
struct MeshTexture {
    std::string path;     // the picture to load; empty: none goes with the file
    std::string missing;  // a picture remembered with the file that is no longer a file
};
// The picture remembered with the mesh file while it is a regular file, else
// sameStemTexture (also when the remembered one is missing).
MeshTexture textureForMesh(const UserState& userState, const std::string& meshPath);

// ---- names -----------------------------------------------------------------------------

// The program's parameters after its own path, joined with single spaces, so a
// path with blanks given without quotes arrives whole.
std::string commandLineFileName(const std::vector<std::string>& parameters);
// The Save rule: the name with ".pq" appended when its last path component
// ("/" and "\" both separate) has no extension after its last "." (cut at the
// first double quote); otherwise the name unchanged.
std::string withSaveExtension(std::string_view fileName);

// Export's proposal: the name with the extension after its last "." in its
// last path component replaced by `extension` (added when it has none); a
// name ending in a separator or empty stays as it is.
std::string withExportExtension(std::string_view fileName, std::string_view extension);

// ---- commands --------------------------------------------------------------------------

// New, Open, Save, Save as, "Merge...", "Merge ASC", "Import..." and
// "Export..." with their dialogs and prompt.
// In a namespace because the command ids of app/app.h carry the same names:
// the dispatch reads `case cmdOpen: files::cmdOpen(state);`.
namespace files {
// New: after the question about unsaved changes, an empty document without a
// file name (Save greyed); the dialogs start in the old file's folder.
void cmdNew(AppState& state);
void cmdOpen(AppState& state);
// Save and Save as, both with the Save extension rule: true when the file was
// written. Vertices in no triangle, which the file cannot hold, are left out
// only when the user says so.
bool cmdSave(AppState& state);
bool cmdSaveAs(AppState& state);
void cmdMerge(AppState& state);
void cmdMergeAsc(AppState& state);
// "Import...": the open dialog, its own reduction-factor prompt, then the file
// read by importThroughHelper and merged as "Merge..." merges a native file;
// a box titled "Import" says why when it could not be read. Its texts, and
// Export's, follow the interface's language.
void cmdImport(AppState& state);
// "Export...": the save dialog, then exportThroughHelper with the chosen
// texture; a box titled "Export" says why when nothing was written.
void cmdExport(AppState& state);
}  // namespace files

// Start-up, into the empty document: the file named on the command line is
// opened as Open opens it, or, named .asc or with an import extension, read
// as Merge ASC and Import read it (the reduction factor asked first), the
// document then modified and without a name. A file that cannot be read is
// told as Open tells it and leaves the document empty and unnamed. False when
// no file is named or a native one could not be read: the document is as it was.
bool loadCommandLineFile(AppState& state, const std::vector<std::string>& parameters);
// Per pass of the main loop: the dialogs start at the current file, when there is one.
void rememberDialogStart(AppState& state);

// ---- the Preferences dialog (files/preferences_dialog.cpp) ----------------------------

// "Preferences": window 10 with the language list, the snap grid field and a
// Close button, modal until it or the close box is used. A language picked
// in the list is applied at once (menus, toolbar, the dialog's texts); on
// closing, language and snapGrid take the dialog's values and true is
// returned, for the caller to write pref.txt and build the menus and toolbar
// again. False, with the snap grid unchanged, when the window could not be
// opened or went away unclosed.
bool runPreferencesDialog(AppState& state);
