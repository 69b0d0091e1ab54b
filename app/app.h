// app.h: the application shell: the state record, the interface texts, the
// command ids and tools, start-up, the main loop and the command dispatch.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <string_view>
#include <vector>

#include "app/window_layer.h"
#include "engine/engine.h"
#include "files/files.h"
#include "mesh/mesh.h"
#include "views/views.h"

// ---- interface texts ------------------------------------------------------------

constexpr int32_t uiLanguageCount = 3;  // 0 German, 1 English, 2 French
// Messages 0 to 28 are the menus and tooltips; 29 on the Edit menu, the
// unsaved-changes and replace questions and the key names of accelerators;
// 41 and 42 Import and Export on the File menu; 43 the Edit menu's Frame all.
constexpr int32_t uiMessageCount = 44;

// Message m of language l is entries[l * uiMessageCount + m].
struct UiText {
    std::array<std::string, uiLanguageCount * uiMessageCount> entries;
};

// Fills all three languages; called once at start-up.
void fillUiText(UiText& table);
// Text of a message in a language. A language outside 0 to 2 reads as German;
// an unknown message number gives the empty text.
std::string_view uiTextOf(const UiText& table, int32_t language, int32_t message);

// Texts the interface gained beyond the numbered messages, each in German,
// English and French (app/ui_text.cpp). "%1", "%2"... stand for the arguments.
// New texts get an enumerator here and one row in each language there.
enum class Text : int32_t {
    // ---- files
    CannotRead,     // %1 the file
    NoMemoryToRead, // %1 the file
    WriteFailed,    // %1 the file, %2 the reason
    // ---- import failures: %1 the file
    ImportFactorZero,  // a reason of CannotImport
    ImportNotValid,          // %2 the format, %3 the reason below
    ImportNotValidAtAll,     // %2 the format
    ImportNoTriangles,
    // the reason of ImportNotValid
    ImportReasonEmpty,
    ImportReasonEndsEarly,
    ImportReasonNotRecognised,
    ImportReasonBadXml,
    ImportReasonLongChunk,
    ImportReasonFaceVertex,  // %1 the vertex number, %2 the vertex count
    ImportReasonFaceVertexMissing,
    ImportReasonFaceWithoutCorners,
    ImportReasonInconsistent,
    ImportReasonBadNumber,  // %1 the text
    ImportReasonNumberMissing,
    ImportReasonMissingFile,  // %1 the file named
    ImportReasonHeaderWithoutEnd,
    ImportReasonHeaderPromisesMore,
    VerticesInNoTriangle,   // %1 the count, more than one
    OneVertexInNoTriangle,
    // ---- why a file was not written (writeReasonInLanguage)
    ReasonNoSpace,
    ReasonFileTooLarge,
    ReasonPermissionDenied,
    ReasonNotPermitted,
    ReasonReadOnly,
    ReasonNoSuchFile,
    ReasonNotAFolder,
    ReasonIsAFolder,
    ReasonQuota,
    ReasonInputOutput,
    ReasonNameTooLong,
    ReasonLinkLoop,
    ReasonBrokenPipe,
    ReasonNoMemory,
    ReasonTooManyOpenFiles,
    ReasonNoFifoReader,
    ReasonFileChanged,
    ReasonBlockDevice,
    ReasonSpecialFile,
    // ---- why an export wrote nothing (exportProblemInLanguage)
    ExportUnknownFormat,     // %1 the extension, %2 those export writes
    ExportNoTriangles,
    ExportNotANumber,        // %1 the triangle's number
    ExporterFailed,          // %1 the exporting library's words
    ExportNoFileMade,
    ExportCannotWriteFile,   // %1 the companion file, %2 the reason
    ExportHelperNotStarted,  // %1 the helper program, %2 the reason
    ExportCrashed,
    ExportHelperFailed,
    // ---- the Mesh menu and its windows
    MeshMenu,
    SelectAll,
    SelectNone,
    InvertSelection,
    Duplicate,
    MirrorItem,    // menu item; the window's title is the same without "..."
    ExtrudeItem,
    WeldItem,
    InsertBox,
    InsertPlane,
    InsertCylinder,
    InsertCone,
    InsertSphere,
    Mirror,        // window titles
    Extrude,
    Weld,
    AxisLabel,
    PlaneLabel,
    ModeLabel,
    CopyMode,
    InPlaceMode,
    DistanceLabel,
    SizeLabel,
    SegmentsLabel,
    NotFinite,          // %1 the field's text
    DistanceNotPositive,
    SizeNotPositive,
    SegmentsOutOfRange,  // %1 the least, %2 the most
    NothingToExtrude,
    // ---- modelling by hand: selections, tool windows, Position, projected texture
    SelectVerticesFirst,
    SelectTriangleFirst,
    SelectTrianglesToProject,
    DialogOk,
    PositionMenu,
    PositionTitle,
    ProjectFront,
    ProjectSide,
    ProjectTop,
    // ---- recovery copies
    RecoveryQuestion,  // %1 the document's name, %2 when the copy was written
    RecoveryRestore,
    RecoveryDiscard,
    RecoveryDamaged,  // %1 where the damaged copy was kept
    // ---- prompts and boxes of the file and texture commands
    UvMinimumMessage,     // the automatic texture coordinates' first prompt
    UvMaximumMessage,     // ... and its second
    ImportFactorTitle,    // Import's reduction-factor prompt
    ImportFactorMessage,
    SaveTitle,            // title of Save's and Save as's boxes
    ImportTitle,          // title of Import's boxes
    ExportTitle,          // title of Export's boxes
    ImportCrashed,        // %1 the file
    ImportTookTooLong,    // %1 the file
    ImportNeedsMemory,    // %1 the file
    CannotImport,         // %1 the file, %2 the reason
    NotARegularFile,      // a reason of CannotImport
    UnknownFormat,        // %1 the extension, %2 the extensions read
    HelperNotStarted,     // %1 the import helper, %2 the reason
    AboutCredit,          // the About box's credit line
    // ---- main window: Preferences, Edit menu, status line
    Close,                // the Preferences window's button
    KeepProportions,      // Edit menu toggle
    StatusCounts,         // %1 vertices, %2 of them selected, %3 triangles, %4 of them selected
    // ---- the 3D view and long work
    ShowBackFaces,  // Edit menu toggle
    ReadingTitle,   // the progress window's title
    ReadingFile,    // %1 the file
    ImportCancelled,  // a reason of CannotImport
    // ---- textures
    TextureGone,        // %1 the picture, %2 the mesh file it was chosen with
    TextureUnreadable,  // %1 the picture
    count
};

// The text in a language (outside 0 to 2 German) with %1, %2... replaced by
// the arguments in order; a placeholder without an argument stays as it is.
std::string textOf(int32_t language, Text text, std::initializer_list<std::string_view> arguments = {});
// Why the file at the path could not be imported, as one sentence in the language.
std::string importProblemText(int32_t language, const std::string& path, const ImportProblem& problem);
// Why a file was not written (replaceFile's reason) in a language: the usual
// errno values and the program's own refusals in its words, rarer ones in
// strerror's English.
std::string writeReasonInLanguage(int32_t language, int32_t reason);
// Why an export wrote nothing, in a language.
std::string exportProblemInLanguage(int32_t language, const ExportProblem& problem);

// ---- commands and tools ------------------------------------------------------------

// Menu items and toolbar buttons share these ids.
enum CommandId : int32_t {
    cmdNew = 0,
    cmdOpen = 1,
    cmdSave = 2,
    cmdSaveAs = 3,
    cmdMerge = 4,
    cmdMergeAsc = 5,
    cmdPreferences = 6,
    cmdQuit = 7,
    cmdAbout = 8,
    cmdDeleteVertex = 9,
    cmdToolCreateVertex = 10,
    cmdToolMoveVertex = 11,
    cmdToolSelectVertex = 12,
    cmdScale = 13,
    cmdRotate = 14,
    cmdToolCreateTriangle = 15,
    cmdZoomIn = 16,
    cmdZoomOut = 17,
    cmdTriangleSelectionUp = 18,
    cmdTriangleSelectionDown = 19,
    cmdTriangleList = 20,
    cmdDeleteTriangle = 21,
    cmdFlipTriangle = 22,
    cmdSetTextureCoords = 23,
    cmdChooseTexture = 24,
    cmdAutoTextureCoords = 25,
    cmdUndo = 26,  // Edit menu and accelerators only
    cmdRedo = 27,
    cmdImport = 28,  // File menu only
    cmdExport = 29,
    cmdFrameAll = 30,  // Edit menu and Home key: Front, Side and Top show the whole mesh
    // The Mesh menu (app/mesh_commands.cpp).
    cmdSelectAll = 70,
    cmdSelectNone = 71,
    cmdInvertSelection = 72,
    cmdDuplicate = 73,
    cmdMirror = 74,
    cmdExtrude = 75,
    cmdWeld = 76,
    cmdInsertBox = 77,
    cmdInsertPlane = 78,
    cmdInsertCylinder = 79,
    cmdInsertCone = 80,
    cmdInsertSphere = 81,
    cmdPosition = 40,  // Edit menu and Ctrl+P: the selection's position typed in
    cmdProjectFront = 41,  // Edit menu: texture coordinates from the positions in Front
    cmdProjectSide = 42,
    cmdProjectTop = 43,
    cmdRecentFile1 = 50,  // File menu: the last files opened or saved, newest first
    cmdRecentFile4 = 53,
    cmdKeepProportions = 54,  // Edit menu toggle: one model unit as many pixels across as down
    cmdShowBackFaces = 60,  // Edit menu toggle: the 3D view shows faces seen from behind in a tint
};

// How many recent files the File menu lists.
constexpr int32_t recentFileCount = cmdRecentFile4 - cmdRecentFile1 + 1;

enum ToolMode : int32_t {
    CreateVertex = 0,
    MoveVertex = 1,
    SelectVertex = 2,
    CreateTriangle = 3,
};

// ---- the state record ----------------------------------------------------------------

// Work the user cancelled runs on to its end on its own thread, its results
// dropped; the threads are joined once done, and at the end all of them.
struct LongWorkers {
    struct Worker {
        std::thread thread;
        std::shared_ptr<const std::atomic<bool>> done;
    };
    std::vector<Worker> cancelled;

    LongWorkers() = default;
    LongWorkers(const LongWorkers&) = delete;
    LongWorkers& operator=(const LongWorkers&) = delete;
    ~LongWorkers();
    // Joins the threads that have ended.
    void joinEnded();
};

// The status line's counts, kept until the mesh's revision moves on.
struct StatusFigures {
    uint64_t revision = 0;
    bool counted = false;
    size_t vertices = 0;
    size_t selectedVertices = 0;
    size_t triangles = 0;  // finished ones
    size_t selectedTriangles = 0;
};

// Views as bits of AppState::dirtyViews: bit i is the view of ViewKind i.
constexpr uint32_t viewBit(ViewKind view) { return 1u << static_cast<uint32_t>(view); }
constexpr uint32_t orthoViews = 0x7u;  // Front, Side, Top
constexpr uint32_t allViews = 0xFu;

// Which document a recovery copy holds: the mesh's revision, the texture, the name.
struct RecoveryStamp {
    uint64_t revision = 0;
    std::string texture;
    std::string name;
    bool operator==(const RecoveryStamp&) const = default;
};

// This editor's recovery copy (app/recovery.cpp).
struct RecoveryState {
    std::string folder;  // the user's state folder; empty: no copies are kept
    HeldLock lock;       // tells other editors this one runs
    int64_t intervalMs = 60'000;  // the least time between two copies
    int64_t lastWriteMs = 0;      // steady clock at the last copy begun
    bool copyWritten = false;     // this editor's copy is on disk
    RecoveryStamp written;        // what it holds
    RecoveryStamp beingWritten;   // what the copy under way holds
    std::future<std::string> writing;  // the copy under way: why it failed, or empty
};

// How the Texture window shows its picture, and the mouse action under way in
// it (views/texture_window.cpp). Starts anew with every opening.
struct TextureWindowView {
    double zoom = 1.0;  // times the picture's fitted size (AppState::texturePicture)
    double panX = 0.0;  // window pixels from the picture area's top-left corner to U = V = 0
    double panY = 0.0;
    int32_t dragCorner = -1;  // the corner a left drag moves; -1: none
    CursorPos dragFrom;       // the cursor where the drag took the corner
    double dragU = 0.0;       // and the corner's coordinates then
    double dragV = 0.0;
    bool panning = false;  // a middle drag is under way
    CursorPos panFrom;     // the cursor at its last event
    bool drawn = false;    // the picture shows this view of the mesh at drawnRevision
    uint64_t drawnRevision = 0;
};

// All process-wide state; one instance lives from start-up to exit and is
// touched only by the main thread.
struct AppState {
    WindowLayer* windows = nullptr;  // not owned
    std::string programDirectory;    // folder of the executable, with its trailing "/"
    std::string versionText;
    Preferences prefs;
    UserState userState;  // remembered between runs beside pref.txt (files/user_state.cpp)
    UiText uiText;
    Mesh mesh;
    Engine engine;
    std::array<GlTexture, 4> labelTexture;  // per view, in that view's context
    std::array<ViewMouse, 4> viewMouse{};
    RenderBuffers renderBuffers;
    std::array<ViewBuffers, 4> viewBuffers;  // per view, in that view's context
    RenderPath renderPath = RenderPath::BufferObjects;  // chosen at start-up by the contexts' OpenGL version
    std::string currentFileName;
    int32_t toolMode = CreateVertex;
    WindowEvent event;         // the event fetched in this pass
    int32_t eventKind = 0;     // kind of the event fetched in this pass (0: none)
    int32_t eventWindow = 0;   // window of the last fetched event; kept on passes without one
    int32_t frameCounter = 0;  // passes since the last view redraw
    uint32_t dirtyViews = allViews;  // views whose picture is out of date (viewBit)
    int32_t shiftHeld = 0;
    ViewCamera camera;          // pan, orbit and zoom of the views
    GlTexture textureName;      // the mesh texture, in the 3D view's context
    std::string textureFileName;
    CursorPos texturePicture;  // size of the picture in the Texture window, scaled to fit the screen
    int32_t textureTriangle = -1;  // the triangle the Texture window's fields belong to
    int32_t textureCorner = -1;    // the corner whose field the user focused last; -1: none
    TextureWindowView textureView;
    float uvMin = 0.0f;
    float uvMax = 0.0f;
    bool closeRequested = false;  // the loop ends after this pass; shutDown follows
    bool quitRequested = false;   // Quit: the loop ends and nothing is written

    // ---- undo and redo (app/history.cpp) ----
    MeshHistory history;
    bool changePending = false;  // an action under way may have changed the document

    // ---- mouse tools: the group drag (views/tools.cpp) ----
    // A group drag moves by the cursor's motion between the events it handles;
    // this is where the last one left the cursor, and the model motion still
    // below one grid step (in double, so many small motions add up exactly
    // enough to reach the step).
    int32_t dragView = -1;  // ViewKind of dragCursor; -1: no reference yet
    CursorPos dragCursor;   // cursor in that view's window at the last click or drag event
    double dragRestA = 0.0;  // the view's first (horizontal) coordinate
    double dragRestB = 0.0;  // its second (vertical) coordinate
    LastCorner lastCorner;   // the create-triangle tool's last corner, for a second click on its spot

    // ---- the recovery copy (app/recovery.cpp) ----
    RecoveryState recovery;
    // ---- mouse tools: the box selection (views/tools.cpp) ----
    int32_t boxView = -1;  // ViewKind of the box being dragged with Ctrl; -1: none
    CursorPos boxFrom;     // its corners in that view's window, in pixels
    CursorPos boxTo;

    // ---- navigation (app/commands.cpp) ----
    int32_t panView = -1;   // ViewKind of a middle-button pan; -1: none
    CursorPos panCursor;    // cursor in that view's window at the last pan event
    int32_t wheelRest = 0;  // wheel delta over the 3D view short of a whole notch
    bool turning = false;   // the left button went down in the 3D view: its drag turns the view
    CursorPos turnCursor;   // cursor in the 3D view at the last turning event

    // ---- the main window's title and status line (app/main_window.cpp) ----
    std::string shownTitle;   // as last set on the main window
    std::string shownStatus;  // as last set on the status line
    int32_t statusView = -1;  // ViewKind of the orthographic view the cursor is over; -1: none
    StatusFigures statusFigures;

    // ---- long work on a worker thread (app/long_work.cpp) ----
    LongWorkers longWorkers;
};

// ---- the shell: start-up, main loop, menus and toolbar, dispatch --------------------------

constexpr int32_t toolbarStripHeight = 25;  // top of the main window's client area

// The start-up sequence up to the loop: state, main window, menus and toolbar,
// the four views with contexts and labels, the OpenGL version check, the mesh
// named by the command-line arguments, then the windows shown.
void startUp(AppState& state, const std::string& programDirectory, const std::vector<std::string>& arguments);
// The folder of the running executable with a trailing "/"; empty when unknown.
std::string executableDirectory();
// The window layer's BMP and ICO reader, for loadTexture.
PlatformImageReader platformReader(const AppState& state);
// Runs mainLoopPass until a pass ends the program.
void runMainLoop(AppState& state);
// One pass of the main loop; true when the loop ends after it (a close request
// of window 0 to 4, or Quit).
bool mainLoopPass(AppState& state);
// Repaints Front, Side, Top and 3D, each with its label, and swaps their buffers.
void redrawViews(AppState& state);
// Notes that views (viewBit values) no longer show the state; every change of
// what the views show goes through here, and only such views are drawn again.
void markViewsDirty(AppState& state, uint32_t views);
// Notes that the mesh may have changed: its revision moves on, so the next
// redraw rebuilds the cached arrays, and the views are marked dirty. Every
// change of state.mesh goes through here.
void markMeshChanged(AppState& state, uint32_t views);
// markMeshChanged for all views when nothing but the positions of selected
// vertices changed (a drag): the next redraw compares only those.
void markSelectionMoved(AppState& state);
// Repaints the views marked dirty, in the order of redrawViews, and clears the marks.
void redrawDirtyViews(AppState& state);
// Brings every vertex into Front, Side and Top when some lie outside all that
// they show (after a mesh was read), and frames the 3D view as Home does.
void frameViewsIfOutside(AppState& state);
// The orderly end after the loop: writes pref.txt when it has a start text,
// then releases the windows.
void shutDown(AppState& state);
// Quit: the loop ends after this pass and the program ends without shutDown.
void quitNow(AppState& state);
// Releases the views' textures in their own contexts and closes every window.
void releaseWindows(AppState& state);
// Fits the four views into the main window below the toolbar strip.
void layoutViews(AppState& state);
// Shows the OpenGL warning boxes once per installation for versions below 1.5,
// and draws without buffer objects there.
void checkGlVersion(AppState& state);

// Builds the menu bar and toolbar of the main window in the preferences' language
// and resets the tool to CreateVertex.
void buildMenuAndToolbar(AppState& state);
// Greys the chosen tool's button, enables the other three, and sets toolMode.
void setToolMode(AppState& state, int32_t mode);
// Greys (false) or enables (true) Save in the menu and on the toolbar.
void setSaveEnabled(AppState& state, bool enabled);
// Routes the pass's event of window 0 to 4: clicks and drags to the tools,
// commands to runCommand, arrow keys to the cameras.
void dispatchEvent(AppState& state);
// Runs command id; unknown ids do nothing.
void runCommand(AppState& state, int32_t id);
// The menu bar built again (the recent files changed) with Undo and Redo
// as they were; the next pass sets Save.
void rebuildMenuBar(AppState& state);
// Menu bar and toolbar built again in the preferences' language; the tool is reset.
void rebuildMenuAndToolbar(AppState& state);
// The command a key with modifiers (mk* flags) stands for in the main window
// and the views; -1 for none.
int32_t acceleratorCommand(int32_t virtualKey, int32_t modifiers);
// A key in a tool window: runs the command of an accelerator that holds Ctrl
// (other keys are typing) and records what it changed. True when it ran one.
bool runToolWindowKey(AppState& state, const WindowEvent& event);
// The Texture and Triangles windows belong to the mesh they were opened on:
// New and Open close them.
void closeDocumentWindows(AppState& state);
// Tells the user in one line what to select first.
void tellSelectFirst(AppState& state, Text what);

// ---- long work (app/long_work.cpp) ----------------------------------------------------

// The progress window shows when the work has not ended after this long.
constexpr int32_t progressDelayMs = 500;

enum class WorkEnd { Done, Cancelled };
// Runs work(cancel) on a worker thread while this thread waits for it. When
// it has not ended after progressDelayMs, the progress window shows `text`
// and Cancel, and this thread serves its events until the work ends (Done) or
// the user cancels (Cancelled, at once): the flag given to the work is set
// and the work runs on unwatched, so everything it touches must be its own
// (captured by value or shared). An exception of the work comes out here after Done.
WorkEnd runLongWork(AppState& state, std::string_view text, std::function<void(const std::atomic<bool>& cancel)> work);

// ---- modelling commands (app/modelling_commands.cpp) --------------------------------------

// "Position...": the selected vertex's x, y, z (the selection's centre for
// several) in a modal window; the values given move the selection there, its
// shape kept. Says what to select when nothing is.
void positionSelection(AppState& state);
// "Project texture from Front/Side/Top": texture coordinates of the triangles
// of the selection from their positions in that view (mesh.h, projectTexCoords).
void projectTextureCommand(AppState& state, ProjectionView view);

// ---- the recovery copy (app/recovery.cpp) -----------------------------------------------

// Start-up: the interval (POLYQUILL_RECOVERY_SECONDS, else 60 s) and this
// editor's lock in the user's state folder; without them no copies are kept.
void startRecovery(AppState& state);
// Start-up: each copy left by an editor that no longer runs, newest first, is
// offered: Restore makes it the document (its name, its texture, unsaved) and
// this editor's copy; Discard removes it. A damaged copy is kept aside with a word.
void offerLeftRecoveryCopies(AppState& state);
// Per pass: with unsaved work, and no action under way, a copy of the document
// begins on its own thread when the last began an interval ago; without, the
// copy is removed.
void keepRecoveryCopy(AppState& state);
// How long the loop may sleep before keepRecoveryCopy has work; -1: no limit.
int32_t recoveryWaitMs(const AppState& state);
// The end signals: the copy written now, whatever is under way.
void writeRecoveryCopyNow(AppState& state);
// A normal end: the copy and the lock go.
void endRecovery(AppState& state);
// ---- the main window's title, status line, recent files and place (app/main_window.cpp) ----

// "Polyquill - Editor v. 1.1", then " - " and the file's name without its
// folder when there is one, then " *" for unsaved work.
std::string windowTitleFor(const std::string& versionText, const std::string& fileName, bool modified);
// Per pass: the title as windowTitleFor gives it for the document now.
void updateWindowTitle(AppState& state);
// A model coordinate with as many decimals as make one pixel (in model units)
// show; "nan", "inf" and "-inf" for what is no number.
std::string coordinateText(float value, float pixel);
// Per pass: the counts of vertices and finished triangles with how many are
// selected, a tab, and the model point under the cursor in the orthographic
// view the pass's mouse event says it is over ("Front: x 0.500, y 0.253").
void updateStatusLine(AppState& state);
// The remembered recent files, newest first, at most recentFileCount.
std::vector<std::string> recentFiles(const AppState& state);
// Puts the file (made absolute) first among the recent files, remembers them
// and builds the menu bar again when they changed.
void rememberRecentFile(AppState& state, const std::string& path);
// Opens a file as the command line does (a dropped file, a recent file),
// after the question about unsaved work; a file that is not there or no
// regular file is refused with a message and the document kept.
void openFileByName(AppState& state, const std::string& path);
// File menu: the recent file at the index (0 the newest); nothing when there is none.
void openRecentFile(AppState& state, int32_t index);
// Start-up and the Edit menu's toggles remembered between runs: keep
// proportions and show back faces.
void loadRememberedToggles(AppState& state);
void flipRememberedToggle(AppState& state, int32_t command);
// The main window's remembered place "x y width height": four whole numbers
// separated by single blanks, sizes from 100 on; nothing for any other text.
std::optional<WindowRect> readWindowPlace(std::string_view text);
std::string windowPlaceText(const WindowRect& place);
// Start-up: the main window opens at its remembered place, if there is one.
void placeMainWindow(const AppState& state, WindowSpec& main);
// Before the windows go: remembers where the main window is.
void rememberWindowPlace(AppState& state);
// ---- the Mesh menu's windows (app/mesh_commands.cpp) ------------------------------------

// "Mirror...": axis, plane position and copy or in place, then mirrorSelection.
// Mirror and Weld say what to select when nothing is.
void mirrorCommand(AppState& state);
// "Extrude...": the distance, then extrudeSelection; without a region it says
// what to select instead.
void extrudeCommand(AppState& state);
// "Weld...": the distance (greater than 0), then weldSelectedVertices.
void weldCommand(AppState& state);
// "Insert box..." and the others: size and segments, then the primitive at the
// centre of Front, Side and Top.
void insertPrimitiveCommand(AppState& state, Primitive kind);

// ---- undo, redo and unsaved changes (app/history.cpp) -----------------------------------

// The document as it is becomes the start of an empty history, unmodified.
void resetDocumentHistory(AppState& state);
// Records what changed since the last step as one step.
void recordChange(AppState& state);
// Once per pass, before anything acts on the pass's event, and after: an event
// that does not carry on the action under way (a drag, typing in a tool
// window) ends it, and the action is recorded as a step.
void recordBeforeEvent(AppState& state);
void recordAfterEvent(AppState& state);
// Edit menu: Undo and Redo; the open tool windows then show the document.
void undoCommand(AppState& state);
void redoCommand(AppState& state);
// Greys Undo and Redo when there is nothing to undo or redo.
void updateEditMenu(AppState& state);
// After a successful Open, Save or Save as, with the document's changes
// recorded: the file of the current name holds the document.
void markDocumentSaved(AppState& state);
// True when the document differs from what its file holds as far as the
// editor knows (what it last opened or saved there); a document without a
// file differs when it holds anything.
bool isDocumentModified(AppState& state);
// Before New, Open and leaving: asks "Save changes to NAME?" when the document
// is modified. True to go on: nothing to save, Discard, or Save that worked.
bool confirmDiscardChanges(AppState& state);
