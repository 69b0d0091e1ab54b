// views.h: the four views: how model coordinates map to each view and back,
// the arrow keys, zoom, snap grid and hit radius.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "mesh/mesh.h"

// View index: Front 0, Side 1, Top 2, 3D 3; the view's window number is index + 1.
enum class ViewKind : int32_t { Front = 0, Side = 1, Top = 2, ThreeD = 3 };

// Where Home put the mesh in the 3D view: the point (x, y, z) in the view's
// middle, the model scaled by `scale` (and by zoom + 1). The start puts the
// origin there at scale 1.
struct ThreeDHome {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float scale = 1.0f;

    bool operator==(const ThreeDHome&) const = default;
};

// The pan and zoom shared by the three orthographic views, the orbit of the 3D
// view and its zoom, none of them ever saved; and whether the orthographic
// views keep the model's proportions, which is remembered between runs.
struct ViewCamera {
    float panX = 0.0f;
    float panY = 0.0f;
    float panZ = 0.0f;
    float orbitX = 0.0f;     // degrees about X
    float orbitY = 0.0f;     // degrees about Y
    float zoom = 0.0f;       // the 3D view scales triangles by zoom + 1
    float orthoZoom = 1.0f;  // Front, Side and Top show orthoZoom clip units per model unit
    ThreeDHome frame{};      // the 3D view's centre and scale, set by Home
    float pan3DX = 0.0f;     // the 3D picture moved across and up, in half views
    float pan3DY = 0.0f;
    bool showBackFaces = false;  // the 3D view draws faces seen from behind in backFaceTint
    // Off: each view stretches clip space over its shape, so a model unit is
    // half the view's width across and half its height down. On: a unit is as
    // many pixels across as down, half the shorter side at orthoZoom 1.
    bool keepProportions = false;

    bool operator==(const ViewCamera&) const = default;
};

// Cursor position of a view at the last redraw in half-widths and half-heights,
// and its change between the last two redraws.
struct ViewMouse {
    float x = 0.0f;
    float y = 0.0f;
    float dx = 0.0f;
    float dy = 0.0f;
};

// The two model coordinates a view shows: first horizontal, second vertical.
struct ViewPoint {
    float a = 0.0f;
    float b = 0.0f;
};

// Arguments of setCamera for a view: position and angles about X, Y, Z.
struct CameraArgs {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float angleX = 0.0f, angleY = 0.0f, angleZ = 0.0f;
};

constexpr float pickRadius = 0.0125f;  // model units around a vertex that a click hits
constexpr float pickPixels = 6.0f;     // ... or screen pixels, whichever reaches further
constexpr float panStep = 0.125f;      // model units at the start zoom
constexpr float zoomStep = 0.25f;
constexpr float minZoomScale = 0.25f;  // the 3D view's smallest scale: the mesh never shrinks to nothing
constexpr float minOrthoZoom = 0.001f;
constexpr float maxOrthoZoom = 1000.0f;
constexpr int32_t wheelNotch = 120;       // wheel delta of one notch
constexpr float wheelZoomFactor = 1.25f;  // orthographic zoom per notch
constexpr float frameFill = 0.9f;         // Frame all leaves a tenth of each half view free

// The window number of a view and back; viewOfWindow gives -1 for other windows.
inline int32_t windowOfView(ViewKind view) { return static_cast<int32_t>(view) + 1; }
int32_t viewOfWindow(int32_t window);

// Camera position and angles with which a view is drawn.
CameraArgs viewCameraArgs(ViewKind view, const ViewCamera& camera);

// Model coordinates under a cursor at pixel (mx, my) of an orthographic view of
// client size width x height: Front (x, y), Side (z, y), Top (x, z).
ViewPoint screenToModel(ViewKind view, float mx, float my, float width, float height,
                        const ViewCamera& camera);
// The pixel of an orthographic view where the view's two coordinates p show.
ViewPoint modelToScreen(ViewKind view, ViewPoint p, float width, float height, const ViewCamera& camera);

// Clip units per model unit across (a) and up (b) in an orthographic view of
// width x height: orthoZoom both ways, or while keeping proportions, the
// part of it that gives a unit as many pixels across as down.
ViewPoint orthoScale(const ViewCamera& camera, float width, float height);
// Scale the orthographic views' projection is multiplied by in a view of
// width / height aspect: orthoScale across and up; in depth the zoom, never
// less than at the start, so zooming out widens the slab each view shows and
// zooming in keeps it.
Vec3 orthoProjectionScale(const ViewCamera& camera, float aspect);

// Wheel over an orthographic view: multiplies the shared zoom by factor
// (clamped to minOrthoZoom..maxOrthoZoom) and pans so the model point under
// the cursor stays there.
void zoomOrthoAt(ViewCamera& camera, ViewKind view, float mx, float my, float width, float height,
                 float factor);
// Middle-button drag: pans so the model point under (fromX, fromY) moves to (toX, toY).
void dragOrthoPan(ViewCamera& camera, ViewKind view, float fromX, float fromY, float toX, float toY,
                  float width, float height);
// Frame all: centres the mesh's bounding box in Front, Side and Top and zooms
// so all of it fits with a margin; an empty mesh gets the start view back.
void frameMesh(ViewCamera& camera, const Mesh& mesh);
// True when every vertex lies inside what Front, Side and Top show together.
bool isMeshInOrthoViews(const ViewCamera& camera, const Mesh& mesh);

// Where a picture's 3D view, unturned, puts the mesh to show all of it: a
// position p is drawn at (p - centre) * scale in clip units, one model unit as
// many pixels across as up, the box filling frameFill of the view's width or
// height and of its depth. An empty mesh stays where it is.
struct ThreeDFrame {
    Vec3 centre{0.0f, 0.0f, 0.0f};
    Vec3 scale{1.0f, 1.0f, 1.0f};
};
ThreeDFrame frameThreeDPicture(const Mesh& mesh, int32_t width, int32_t height);
// A picture of the mesh as seen from the front with `longer` pixels on its
// longer side: the sides in the proportion of the box's width to its height,
// the shorter at least a quarter of the longer; square for an empty mesh.
std::pair<int32_t, int32_t> frontPictureSize(const Mesh& mesh, int32_t longer);

// The view's two coordinates of a vertex, and setting them (the third stays).
ViewPoint viewCoordinates(ViewKind view, const Vertex& vertex);
void setViewCoordinates(ViewKind view, Vertex& vertex, ViewPoint point);

// The model point at the centre of Front, Side and Top.
Vec3 orthoViewsCentre(const ViewCamera& camera);

// Model change of the view's two coordinates for a ViewMouse change (dx, dy).
ViewPoint cursorChangeToModel(ViewKind view, float dx, float dy);

// New ViewMouse from the cursor (pixels from the view's top-left corner).
ViewMouse updateViewMouse(const ViewMouse& previous, float mx, float my, float width, float height);

// The snap step in use: the grid when it is finite and positive; 0, no grid,
// for anything else (a hand-edited pref.txt may hold 1e999 or -1).
float gridStep(float grid);
// Nearest grid line, on both sides of zero: floor(v / g + 0.5) * g as a float;
// unchanged when gridStep(grid) is 0.
float snapToGrid(float value, float grid);

// A length of a view's client area in the view's device pixels, rounded as
// the platform sizes the view's picture (248 at a pixel ratio of 1.5: 372).
int32_t devicePixels(int32_t length, float pixelRatio);

// How far a vertex is from the cursor for picking, in screen pixels of a view
// of width x height; infinity when it is out of reach (further than both
// pickRadius model units and pickPixels pixels).
float pickDistance(ViewPoint cursor, ViewPoint vertex, float width, float height, const ViewCamera& camera);

// Arrow keys (Win32 virtual-key codes) pressed in a window: pans the orthographic
// views by 1/16 of a view or turns the 3D view; other keys and windows change nothing.
void applyArrowKey(ViewCamera& camera, int32_t window, int32_t virtualKey);

// Zoom steps of the 3D view: in without limit; out while the scale zoom + 1
// stays at least minZoomScale.
void zoomIn(ViewCamera& camera);
void zoomOut(ViewCamera& camera);
// Home's part in the 3D view: the mesh's bounding box centred and scaled so
// that it fits however the view is turned; zoom and pan start again, the turn
// stays. An empty mesh gets the start frame.
void frameThreeDView(ViewCamera& camera, const Mesh& mesh);
// Left drag over the 3D view by (dx, dy) pixels in a view `width` wide: a drag
// across the whole width turns the model once about y, up and down turn it
// about x at the same rate; the angles stay within one turn.
void turnThreeDView(ViewCamera& camera, float dx, float dy, float width);
// Middle drag over the 3D view: the picture follows the cursor.
void panThreeDView(ViewCamera& camera, float dx, float dy, float width, float height);

// ---- rendering (OpenGL) -----------------------------------------------------------------

// How the mesh reaches the picture. The reference draws every edge of every
// marker cube and of every triangle, as drawCube and line mode would. The
// other two draw in Front, Side and Top only each marker's near face and the
// wireframe edges at least shortestEdge long on screen: a few pixels at line
// ends differ from the reference, and the drawing is several times faster.
// With lines wider than a pixel (a pixel ratio of 1.5 or more) Front, Side
// and Top draw as the reference on every path.
enum class RenderPath : int32_t {
    Reference = 0,      // the picture tests and benchmarks hold the others to
    ClientArrays = 1,   // arrays in client memory: any OpenGL 1.1 context
    BufferObjects = 2,  // arrays in buffer objects of each view's context: OpenGL 1.5 on
};

// The path for contexts whose GL_VERSION text reads so: buffer objects from
// 1.5 on; client arrays below, and for a text that gives no version.
RenderPath renderPathFor(std::string_view glVersion);

// What one view's drawing needs besides the mesh and the camera. Pixels are
// the viewport's device pixels; marker sizes are half a marker's edge in clip
// units (the markers keep their size on screen at any zoom and pixel ratio).
struct ViewFrame {
    ViewKind view = ViewKind::Front;
    int32_t width = 0;
    int32_t height = 0;
    RenderPath path = RenderPath::BufferObjects;
    uint32_t textureName = 0;  // the mesh texture, shown in the 3D view
    uint32_t labelTexture = 0;
    float lineWidth = 1.0f;            // pixels
    float markerSize = 0.01f;          // a plain or marked vertex
    float selectedMarkerSize = 0.025f; // a selected vertex, marked or not
    float shortestEdge = 1.5f;         // pixels: shorter wireframe edges are left out
};

// The frame of a view of width x height client pixels with pixelRatio device
// pixels to each: its viewport in device pixels, lines as wide as the ratio
// rounded, so that they look as at a ratio of 1.
ViewFrame viewFrame(ViewKind view, int32_t width, int32_t height, float pixelRatio, RenderPath path);

// A stretch of an index or corner array drawn in one colour.
struct ColourRun {
    uint32_t first = 0;
    uint32_t count = 0;
    std::array<float, 3> colour{};
};

// Markers are drawn in three groups, each over the ones before: plain
// vertices, then selected ones, then marked ones.
enum MarkerGroup : size_t { plainMarkers = 0, selectedMarkers = 1, markedMarkers = 2, markerGroupCount = 3 };

// The arrays the four views draw, built from the mesh and shared by them.
// Whoever changes the mesh moves meshRevision on. The next redraw compares the
// mesh with the copy kept here: when only positions changed, just the moved
// vertices are updated, here and in each view's buffers; any other change
// rebuilds the arrays.
struct RenderBuffers {
    uint64_t meshRevision = 0;
    uint64_t builtRevision = 0;
    bool built = false;
    bool selectionMovedOnly = false;  // every change since the build moved selected vertices only
    // The mesh the arrays show, and how many of its triangles are finished.
    std::vector<Vertex> vertices;
    std::vector<Triangle> triangles;
    int32_t pendingCorner = 0;
    size_t drawn = 0;
    // Each change found moves version on. A view at the version before it
    // updates the vertices in `moved` when the change only moved those.
    uint64_t version = 0;
    uint64_t rebuiltAt = 0;
    std::vector<uint32_t> moved;

    // Markers in drawing order: the vertex of each, each vertex's marker, and
    // where each group begins (the last entry is the end).
    std::vector<uint32_t> markerVertex;
    std::vector<uint32_t> markerOf;
    std::array<uint32_t, markerGroupCount + 1> markerGroupStart{};
    // The wireframe: every edge of the finished triangles once per direction,
    // as a pair of vertex positions, in the order and colour the triangles
    // first give it; per edge whether its reverse came before it.
    std::vector<uint32_t> wireEdges;
    std::vector<ColourRun> wireRuns;
    std::vector<uint8_t> wireReturns;
    // The 3D view: the finished triangles' corners, in runs of their colours.
    std::vector<float> positions;
    std::vector<float> texCoords;
    std::vector<ColourRun> triangleRuns;
    // Made when a vertex first moves: the corners and the wireframe edges at
    // each vertex v, from start[v] to start[v + 1] in the list.
    std::vector<uint32_t> cornerStart;
    std::vector<uint32_t> cornerList;
    std::vector<uint32_t> edgeStart;
    std::vector<uint32_t> edgeList;

    // The reference path alone: every marker's eight cube corners and twelve
    // edges in marker order, built for a version and pair of marker sizes.
    std::vector<float> cubeCorners;
    std::vector<uint32_t> cubeEdges;
    uint64_t cubesVersion = 0;
    std::array<float, 2> cubeSizes{};

    std::vector<float> scratch;  // marker lines on their way into a buffer object
};

// The colour of the faces the 3D view shows from behind when asked to.
constexpr std::array<float, 3> backFaceTint{0.6f, 0.15f, 0.15f};
// One view context's own arrays, following one RenderBuffers all its life
// (their versions are compared): its markers' near faces as line ends, what
// its camera shows of them and of the wireframe, and on the buffer path every
// array it draws, in buffer objects of that context. Release it there.
struct ViewBuffers {
    uint64_t version = 0;  // of the RenderBuffers the arrays show
    bool filled = false;
    RenderPath path = RenderPath::Reference;  // the path they were filled for
    // Markers: the face they show and their model sizes (plain, selected).
    int32_t nearFace = -1;
    std::array<float, 2> markerSizes{};
    std::vector<float> markerLines;  // the client path's; buffer objects keep their own
    GlBuffer markerBuffer;
    GlBuffer vertexBuffer;  // the mesh's vertices, for the wireframe
    GlBuffer cornerBuffer;  // the 3D view's positions, then its texture coordinates

    // What the camera shows, found again when the projection, the viewport or
    // the markers change: the line ends of the plain markers that other plain
    // markers do not hide, and the far faces (in marker groups) of the
    // markers the near clipping plane cuts.
    std::array<float, 16> shownProjection{};
    std::array<int32_t, 2> shownViewport{};
    std::vector<uint32_t> shownEnds;
    GlBuffer shownBuffer;
    std::vector<uint32_t> cutMarkers;
    std::vector<float> cutLines;
    std::array<uint32_t, markerGroupCount + 1> cutGroupStart{};
    std::vector<uint8_t> lit;  // pixels surely lit by the plain markers shown, while they are found

    // Wireframe edges long enough on screen: per wire edge, and as line ends
    // in runs, for the pixels across and up per model unit along x, y and z
    // they were found at.
    std::array<float, 6> edgeScale{};
    std::vector<uint8_t> edgeLong;
    std::vector<uint32_t> longEdges;
    std::vector<ColourRun> longRuns;
    GlBuffer edgeBuffer;
};

// Draws the mesh into the current context, whose projection is the view's
// camera: in Front, Side and Top the origin cross, the plain markers, the
// white wireframe and then the selected and marked markers over everything;
// in the 3D view the triangles, filled, textured and scaled by zoom + 1.
void renderMesh(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, RenderBuffers& shared,
                ViewBuffers& own);

// The outline of a box selection between two pixels of the current view of
// width x height, over what is drawn there.
void drawSelectionBox(float x0, float y0, float x1, float y1, float width, float height);

// ---- mouse tools and the Texture window (views/tools.cpp, views/texture_window.cpp) ----
// Each reads the cursor and the event of the pass from the state record itself.

struct AppState;

// The orthographic view the user works in: the window layer's active window
// when it is Front, Side or Top; nothing for the 3D view or any other window.
std::optional<ViewKind> activeView(const AppState& state);

// Create-vertex click: appends a vertex at the cursor, snapped to the grid, in
// the active view's two coordinates; then pauses 10 ms.
void createVertexAt(AppState& state);
// The corner the create-triangle tool gave last: triangle, corner slot and
// vertex, and the mesh revision after that click (a later change ends it).
struct LastCorner {
    int32_t triangle = -1;
    int32_t slot = 0;
    int32_t vertex = -1;
    uint64_t revision = 0;
};

// Select click: selects the vertex on the spot nearest the cursor and returns
// its position, or clears the selection and returns -1. Where several vertices
// are stacked on that spot the click takes the one after the last selected of
// them in list order (the first when none is selected), so repeated clicks
// reach each; past the last it is a miss. Without Shift the rest of the
// selection is cleared.
int32_t pickVertexAt(AppState& state);
// Create-triangle click: gives the vertex under the cursor, selected or not, to
// the triangle under construction as its next corner (starting one when none
// is) and selects it; returns it, or -1 when the click gave nothing: no vertex
// in reach, or only vertices already corners of that triangle. Of vertices
// stacked on the spot it takes a selected one, else the first in list order; a
// second click on the same spot moves the corner just given on to the next
// vertex stacked there.
int32_t addCornerAt(AppState& state);
// Move-tool press: on a spot where no vertex is selected, the first vertex
// stacked there becomes the only selected one, for the drag to move; returns
// it. -1, with the selection kept, on a spot holding a selected vertex or with
// no vertex in reach.
int32_t grabVertexAt(AppState& state);
// Select drag: adds the first unselected vertex under the cursor; -1 if none.
int32_t extendSelectionAt(AppState& state);
// Ctrl + left button down with the select tool: a box opens at the cursor in
// the active view. Motion with the button drags its far corner; the release
// adds every vertex inside it (by the view's two coordinates) to the
// selection, returns how many were added and closes the box.
void beginBoxSelect(AppState& state);
void dragBoxSelect(AppState& state);
int32_t endBoxSelect(AppState& state);
// Every left-button-down in a view: the cursor there becomes the start of a
// group drag, so a new drag moves from the click.
void beginDragAt(AppState& state);
// Move drag with at most one vertex selected: it jumps to the snapped cursor.
void dragSelectedVertex(AppState& state);
// Move drag with two or more selected: they move by the cursor's motion since
// the last click or drag event, in whole grid steps when the grid is set.
void dragSelectedVertices(AppState& state);

// Reads an image file as the texture loader does; 0 x 0 when it cannot.
using TextureReader = std::function<RgbImage(const std::string& fileName)>;
// Makes a texture of the 3D view's context from an image; 0 if it cannot.
using TextureUploader = std::function<uint32_t(const RgbImage& image)>;

// Makes the picture file the mesh texture and, from the same decoded pixels,
// the Texture window's picture; a file that gives no texture gives no picture
// either, and false.
bool setMeshTextureWith(AppState& state, const std::string& file, const TextureReader& read,
                        const TextureUploader& upload);
// "choose texture": asks for an image file and sets it as the mesh texture,
// remembered with the current mesh file when it could be read. A cancelled
// dialog keeps the texture there was.
void chooseTexture(AppState& state);
// setMeshTextureWith through the engine: a recovered document's picture.
bool setMeshTexture(AppState& state, const std::string& file);
// chooseTexture with the reading and the upload given, so it runs without OpenGL.
void chooseTextureWith(AppState& state, const TextureReader& read, const TextureUploader& upload);
// After a mesh file was read (opened, or merged while no texture is loaded):
// the picture textureForMesh names becomes the mesh texture. A remembered
// picture that is gone, or else a picture that cannot be read, is told in one
// message; without a picture the texture there was stays.
void loadTextureForMesh(AppState& state, const std::string& meshPath);
// After the mesh was saved under state.currentFileName: the texture it shows
// with is remembered with the file, unless opening the file gives it anyway
// without a word.
void rememberMeshTexture(AppState& state);
// "set texturecoords": opens window 11 over the picture for the selected triangle;
// says "No texture found" when there is no picture, what to select without a selection.
void openTextureWindow(AppState& state);
// Sets the open Texture window's fields to the selected triangle's values, so
// a change made elsewhere (undo, redo) is not written back over.
void showTextureWindowValues(AppState& state);
// Every main-loop pass while window 11 is open: fields into the triangle,
// picture and triangle drawn, corner marks, close and re-activation. When
// another triangle has been selected the fields first show its values.
void textureWindowStep(AppState& state);

// ---- view contexts (OpenGL) --------------------------------------------------------

// State a view's new context gets, around the loading of its label: before it
// the 3D view enables texturing; after it lighting (and, in the orthographic
// views, fog) is switched off.
void prepareViewContext(ViewKind view);
void finishViewContext(ViewKind view);
// After a size change: identity model-view matrix and a viewport over the view.
void resetViewViewport(int32_t width, int32_t height);

// ---- one view's redraw (OpenGL) ------------------------------------------------------------

// Clears the current context and draws one view as the redraw of the views does:
// its viewport and camera, the mesh, then its label (none for texture 0) in the
// upper left corner with the camera restored. own holds the arrays of the
// current context.
void drawView(Engine& engine, const ViewFrame& frame, const Mesh& mesh, const ViewCamera& camera,
              RenderBuffers& shared, ViewBuffers& own);

// ---- the four views in one picture, without a display (views/views_picture.cpp) ----------

// A view's place in the picture, in pixels from its upper left corner.
struct ViewRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};

// The editor's start-up layout of a views area of width x height: each view in
// the upper left corner of its quarter, Front and Top 2 pixels narrower than
// their quarter, all four 2 pixels shorter.
std::array<ViewRect, 4> viewLayout(int32_t width, int32_t height);

// What a picture of the views shows beyond the editor's start-up views.
struct PictureFraming {
    bool frame = false;                // Front, Side and Top as after Frame all, the 3D view by frameThreeDPicture
    std::optional<ViewKind> onlyView = std::nullopt;  // this view alone over the whole picture
    bool labels = true;                // false: no view labels
};

struct ViewsPicture {
    RgbImage image;              // 0 x 0 when no OpenGL context could be made
    bool labelsLoaded = false;   // all four label pictures were read
    bool textureLoaded = false;  // the texture was read (false when none was asked for)
};

// The four views of the mesh as the editor draws them after start-up, each in
// its own offscreen context set up as a view's context is, with its label read
// from labelFolder ("Front.bmp", "Side.bmp", "Top.bmp", "3D.bmp") and, in the
// 3D view, textureFile (none when empty), laid out by viewLayout on the window
// background, or framed as `framing` asks.
ViewsPicture renderViewsPicture(const Mesh& mesh, const std::string& labelFolder,
                                const std::string& textureFile, int32_t width, int32_t height,
                                const PictureFraming& framing = {});
