// mesh.h: the editor's only document, a vertex list and a triangle list, and
// every operation that changes them apart from the mouse tools and files.
// Also the two number readers every field, prompt and file uses.
// Plain data and free functions; no Qt, no OpenGL.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Storage for the lists that grow with the mesh: from 1 MB on, whole 2 MB
// pages the kernel is asked to back with large pages, as a first touch of
// each 4 KB page costs more than filling it. Throws std::bad_alloc.
void* allocateLargeList(size_t bytes);
void releaseLargeList(void* storage, size_t bytes);

template <typename T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>&)
    {
    }
    T* allocate(size_t n) { return static_cast<T*>(allocateLargeList(n * sizeof(T))); }
    void deallocate(T* storage, size_t n) { releaseLargeList(storage, n * sizeof(T)); }
    template <typename U>
    bool operator==(const LargePageAllocator<U>&) const
    {
        return true;
    }
};

template <typename T>
using LargeList = std::vector<T, LargePageAllocator<T>>;

struct Vertex {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    int32_t selected = 0;  // 1 selected, 0 not; nothing else is stored
    int32_t marked = 0;    // 1 while its corner is edited in the Texture window
};

// Corner k is drawn at vertex vertexIndex[k] with texture coordinate (u[k], v[k]);
// corner order 0, 1, 2 is the winding.
struct Triangle {
    std::array<int32_t, 3> vertexIndex{};
    std::array<float, 3> u{};
    std::array<float, 3> v{};
    int32_t selected = 0;
};

// Invariant: while pendingCorner is 1 or 2, the last triangle is the one under
// construction. At most one triangle is selected at a time.
struct Mesh {
    LargeList<Vertex> vertices;
    LargeList<Triangle> triangles;
    int32_t pendingCorner = 0;
};

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// ---- elementary operations --------------------------------------------------

// Appends an all-zero record and returns it for the caller to fill in.
// The reference is valid until the next change of that list.
Vertex& appendVertex(Mesh& mesh);
Triangle& appendTriangle(Mesh& mesh);

// Maps any stored corner position to a valid one: past the end reads the last
// vertex, a negative position the first. Returns -1 only for an empty list.
int32_t clampVertexPosition(const Mesh& mesh, int32_t position);

// Coordinates of the vertex at a position (clamped as above); 0 on an empty list.
float vertexX(const Mesh& mesh, int32_t position);
float vertexY(const Mesh& mesh, int32_t position);
float vertexZ(const Mesh& mesh, int32_t position);
Vec3 vertexPosition(const Mesh& mesh, int32_t position);

// Sets `marked` of the vertex at a position (clamped); nothing on an empty list.
void setVertexMarked(Mesh& mesh, int32_t position, int32_t value);

int32_t countSelectedVertices(const Mesh& mesh);
void deselectAllVertices(Mesh& mesh);
void deselectAllTriangles(Mesh& mesh);

// First vertex in list order at exactly (x, y, z) as floats (+0 equals -0,
// NaN matches nothing); -1 if none. Linear; bulk readers use VertexIndex.
int32_t findVertexAt(const Mesh& mesh, float x, float y, float z);

// Empties both lists; a triangle under construction goes with them.
void clearMesh(Mesh& mesh);

// Removes a half-built triangle (pendingCorner 1 or 2) and resets the counter.
// Called before anything removes its vertices or appends triangles after it.
void abandonPendingTriangle(Mesh& mesh);

// Position of the first selected vertex / triangle in list order, or -1.
int32_t firstSelectedVertex(const Mesh& mesh);
int32_t firstSelectedTriangle(const Mesh& mesh);

// ---- editing commands ---------------------------------------------------------

// Removes every selected vertex and every triangle that used one; the remaining
// triangles keep referring to the same points.
void deleteSelectedVertices(Mesh& mesh);
// Removes the selected triangle(s); vertices stay.
void deleteSelectedTriangles(Mesh& mesh);
// Exchanges corners 0 and 2 of the first selected triangle, each with its
// texture coordinates. A selected triangle still under construction is left alone.
void flipSelectedTriangle(Mesh& mesh);
// Steps the triangle selection: first, ..., last, none, first, ...
void selectNextTriangle(Mesh& mesh);
// Steps the triangle selection: last, ..., first, none, last, ...
void selectPreviousTriangle(Mesh& mesh);
// Selects the triangle numbered n (counting from 1) alone; n <= 0 or past the
// end leaves none selected.
void selectTriangleNumber(Mesh& mesh, int32_t number);
// True when the vertex is already a corner of the triangle under construction.
bool isGivenCorner(const Mesh& mesh, int32_t vertex);
// One corner from the create-triangle tool: starts a triangle if none is under
// construction and gives it the vertex as its next corner. Nothing (false) for
// no vertex (-1 or past the end) or a vertex already a corner of that triangle.
bool addCorner(Mesh& mesh, int32_t vertex);

// ---- scale and rotate -----------------------------------------------------------

// Mean of the selected vertices; nothing when none is selected.
std::optional<Vec3> selectionCentre(const Mesh& mesh);
// Moves every selected vertex by (dx, dy, dz), added in double and stored as floats.
void translateSelectedVertices(Mesh& mesh, double dx, double dy, double dz);
// x = (x - cx) * sx + cx, likewise y and z, for every selected vertex.
void scaleSelectedVertices(Mesh& mesh, Vec3 centre, float sx, float sy, float sz);
// Turns every selected vertex about the centre by whole-degree angles.
void rotateSelectedVertices(Mesh& mesh, Vec3 centre, int32_t ax, int32_t ay, int32_t az);

// Rounds an angle field's value to whole degrees, halves to even, reduced into
// (-360, 360) so that any float fits; NaN and infinities give 0.
int32_t roundAngle(float degrees);
// Cosine and sine of whole degrees with pi taken as the 32-bit float 4 atan 1.
double degCos(int32_t degrees);
double degSin(int32_t degrees);
// Rx(ax) Ry(ay) Rz(az) applied to (x, y, z), in double, stored as floats.
Vec3 rotateVector(float x, float y, float z, int32_t ax, int32_t ay, int32_t az);

// ---- automatic texture coordinates ---------------------------------------------

// Gives every triangle the fixed two-triangles-per-square pattern of (min, max).
void autoTexCoords(Mesh& mesh, float min, float max);

// ---- modelling: selection sets, copies, mirror, extrude, weld, primitives ------------------
// Each acts on the vertex selection and leaves the mesh whole: a half-built
// triangle is abandoned before anything is appended or removed.

// Vertex selection sets (mesh/selection.cpp).
void selectAllVertices(Mesh& mesh);
void invertVertexSelection(Mesh& mesh);
// Positions of the triangles whose three corners are selected, in list order;
// a half-built triangle never counts.
std::vector<size_t> selectedRegion(const Mesh& mesh);

// Duplicate (mesh/duplicate.cpp): copies the selected vertices and the region's
// triangles in place, texture coordinates kept, at the ends of the lists; the
// copies become the selection. False (nothing changed) when none is selected.
bool duplicateSelection(Mesh& mesh);

// Mirror (mesh/mirror.cpp) about the plane axis = position (axis 0 x, 1 y, 2 z).
// copy: mirrored copies of the selected vertices and of the region's triangles
// are added, with the corner order reversed so they face outward as their
// sources do; vertices within mirrorPlaneTolerance of the plane are shared,
// and a triangle lying in the plane is not doubled. The copies join the
// selection. In place: the selected vertices are reflected and the region's
// triangles reversed. False when none is selected or the axis is unknown.
constexpr float mirrorPlaneTolerance = 1e-6f;
bool mirrorSelection(Mesh& mesh, int32_t axis, float position, bool copy);

// Extrude (mesh/extrude.cpp): the region's triangles move onto copies of their
// vertices, offset by distance along the region's mean face normal; each
// boundary edge (used by one region triangle) gets two side triangles facing
// outward, with the texture coordinates of the edge's corners. A region vertex
// that nothing else uses and that lies inside the region moves itself rather
// than leaving a stray original behind. The moved vertices become the
// selection. False (nothing changed) when the region is empty.
bool extrudeSelection(Mesh& mesh, float distance);

// Weld (mesh/weld.cpp): selected vertices closer than distance form clusters
// (also through chains of such neighbours); each cluster becomes its first
// vertex, moved to the cluster's centre. Triangles follow, and a triangle left
// with two equal corners is removed. Returns how many vertices went; a
// distance that is not a positive finite number welds nothing.
size_t weldSelectedVertices(Mesh& mesh, float distance);

// Primitives (mesh/primitives.cpp), centred on a point, size across, facing
// outward: the right-hand normal (b - a) x (c - a) of every triangle points
// away from the inside, which the 3D view shows. Texture coordinates: the box
// 0..1 on each face, the plane 0..1, cylinder, cone and sphere wrapped around
// (U) from top to bottom (V), their caps as discs. The new vertices become the
// selection. Segments: per edge for box and plane, around the axis for the
// others (the sphere has half as many rings), clamped to the kind's limits.
enum class Primitive : int32_t { Box, Plane, Cylinder, Cone, Sphere };
struct SegmentLimits {
    int32_t minimum = 1;
    int32_t maximum = 64;
    int32_t start = 1;  // what the window offers
};
SegmentLimits segmentLimits(Primitive kind);
void insertPrimitive(Mesh& mesh, Primitive kind, Vec3 centre, float size, int32_t segments);
// ---- projected texture coordinates (mesh/projection.cpp) ------------------------

// The view a projection looks from: Front maps (x, y), Side (z, y), Top (x, z).
enum class ProjectionView : int32_t { Front = 0, Side = 1, Top = 2 };

// The triangles a projection works on: every finished triangle whose three
// corners are selected vertices, and the selected triangle; in list order.
std::vector<int32_t> trianglesToProject(const Mesh& mesh);
// Gives each listed triangle's corners texture coordinates from their positions
// as the view shows them, scaled so the corners' bounding rectangle covers the
// picture: U 0 at its left, 1 at its right; V 0 at its top, 1 at its bottom. A
// rectangle without width or height, or a corner not finite, gets 0.5 there.
void projectTexCoords(Mesh& mesh, const std::vector<int32_t>& triangles, ProjectionView view);

// ---- reading numbers from text ---------------------------------------------------

// The longest leading decimal number (blanks skipped, sign, digits, point,
// exponent); the rest is ignored; no number gives 0. Too large gives +-HUGE_VAL.
double readDecimal(std::string_view text);
// Leading blanks, an optional sign and decimal digits; no digits give 0.
// Values beyond 32 bits saturate.
int32_t readWhole(std::string_view text);
// Nearest whole number, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2).
double roundHalfEven(double value);
// readDecimal taken to the nearest integer, halves to even, saturated to 32 bits.
int32_t readRoundedWhole(std::string_view text);

// ---- number fields read as 32-bit floats ------------------------------------------

// readDecimal held as a 32-bit float; beyond the float range gives +-infinity.
float readDecimalFloat(std::string_view text);
// The value with six digits after the point, as "%f" prints it in the C locale:
// always a point, whatever locale the process runs in (readDecimal reads it back).
std::string formatDecimal(float value);

// ---- undo and redo (mesh/history.cpp) ------------------------------------------------
// The document is the mesh with its selection and half-built triangle; the
// Texture window's vertex marks are not. The name of its file changes with a
// step only when the step reads a file (Open); saving under a name is no step.

// `count` records at `position` of a list now, and the records that stood
// there on the other side of the step.
template <typename Record>
struct ListPatch {
    size_t position = 0;
    size_t count = 0;
    std::vector<Record> records;
};

// One user action. Holds the side of the change that is not in the mesh:
// the old records while it can be undone, the new ones while it can be redone.
struct HistoryStep {
    std::vector<ListPatch<Vertex>> vertices;
    std::vector<ListPatch<Triangle>> triangles;  // at most one patch when the count changed
    int32_t pendingCorner = 0;
    bool renames = false;  // the step gave the document another file name (Open)
    std::string fileName;  // the name on the other side, when it renames
    bool changesContent = false;  // more than the selection changed
    size_t bytes = 0;
};

constexpr size_t historyByteLimit = size_t{256} << 20;

// Steps [0, cursor) can be undone, [cursor, size) redone. Bounded by bytes:
// the oldest steps go when the total passes byteLimit (the newest always stays).
struct MeshHistory {
    Mesh recorded;  // the document as the last recorded or applied step left it
    std::string recordedFileName;  // its file's name
    std::deque<HistoryStep> steps;
    size_t cursor = 0;
    size_t bytes = 0;  // held by the steps
    size_t byteLimit = historyByteLimit;
    int64_t dropped = 0;  // steps dropped at the bottom
    // Per file name, the position (dropped + cursor) whose document that file
    // holds as far as this editor knows; -1 when that state is gone.
    std::map<std::string, int64_t> savedAt;
};

// Empties the history; the mesh as it is becomes the start, and what the named file holds.
void resetHistory(MeshHistory& history, const Mesh& mesh, const std::string& fileName);
// Records how the document differs from the last step as a new step, dropping
// the redo steps; a file name other than the recorded one is part of the step.
// False (and nothing dropped) when nothing differs.
bool recordStep(MeshHistory& history, const Mesh& mesh, const std::string& fileName);
bool canUndo(const MeshHistory& history);
bool canRedo(const MeshHistory& history);
// Records any change not recorded yet, then takes the document one step back;
// false when there is no step.
bool undoStep(MeshHistory& history, Mesh& mesh, std::string& fileName);
// Takes the document one step forward; false when there is none, or when an
// unrecorded change was recorded instead (which drops the redo steps).
bool redoStep(MeshHistory& history, Mesh& mesh, std::string& fileName);
// The document takes another file name outside the steps (New, Save as):
// undo and redo keep it. Call with every change recorded.
void renameDocument(MeshHistory& history, const std::string& fileName);
// The file of that name now holds the document as last recorded, which takes the name.
void markSaved(MeshHistory& history, const std::string& fileName);
// True unless the document's file holds what the document holds now: no
// recorded step between what it was saved as and now changes more than the selection.
bool isModified(const MeshHistory& history);

// ---- the tool windows and prompts of the mesh commands (mesh/tool_windows.cpp) ----
// Commands over the whole state record: they talk to the window layer.

struct AppState;

// Runs modal window `number` beside the main window: three one-line fields
// holding `start` (each after a short label when labels are given), OK and
// Cancel. Returns the fields' texts on OK, Return or the close box; nothing on
// Cancel, Escape or a window gone without an answer. The editor's Ctrl
// accelerators work meanwhile; `changed` tells the caller one ran. The main
// window is active again afterwards.
std::optional<std::array<std::string, 3>> runThreeFieldWindow(AppState& state, int32_t number, std::string_view title,
                                                              const std::array<std::string, 3>& start,
                                                              const std::array<std::string, 3>& labels, bool& changed);
// "scale": window 13 "Scale Object" with three factor fields; OK scales the
// selected vertices about their centre. Says what to select when nothing is.
void scaleSelection(AppState& state);
// "rotate": window 14 "Rotate Object" with three angle fields in degrees; OK
// turns the selected vertices about their centre. Says what to select when nothing is.
void rotateSelection(AppState& state);
// "automatic texture coordinate setting": asks for the minimum and maximum,
// keeps them as uvMin and uvMax and lays the pattern on every triangle.
// Cancelling either prompt (an empty answer) changes nothing.
void autoTexCoordsCommand(AppState& state);
// "Trianglelist": opens window 12 with the selected triangle's number (from 1;
// 0 for none) and an up-down from 0 to the count now; nothing without triangles.
void openTriangleList(AppState& state);
// Sets the open Triangles window's field to the selected triangle's number.
void showTriangleListNumber(AppState& state);
// The main loop's step while window 12 is open and the last event was its own:
// closes it on its close request, else selects the triangle its field names.
void triangleListStep(AppState& state);
