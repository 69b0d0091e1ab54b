// render.cpp: draws the mesh into the current view context. The geometry is
// gathered into RenderBuffers once per change of the mesh and sent with
// OpenGL 1.1 vertex arrays, in the order and colours corner-by-corner drawing
// would use, so the pixels are the same. Reads the mesh only; leaves the state
// the label drawing expects.
#include "views/views.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <span>

#include "engine/engine.h"

namespace {

struct Rgb {
    float r = 1.0f, g = 1.0f, b = 1.0f;
};

constexpr Rgb white{1.0f, 1.0f, 1.0f};
constexpr float markerScale = 0.01f;
constexpr float crossArm = 0.125f;

Rgb markerColour(const Vertex& v)
{
    if (v.marked != 0) return {0.0f, 1.0f, 0.0f};
    if (v.selected == 1) return {1.0f, 0.0f, 0.0f};
    return white;
}

Rgb triangleColour(const Triangle& t)
{
    return t.selected == 1 ? Rgb{0.75f, 0.75f, 0.0f} : white;
}

void push(std::vector<float>& out, float a, float b) { out.insert(out.end(), {a, b}); }
void push(std::vector<float>& out, float a, float b, float c) { out.insert(out.end(), {a, b, c}); }
void push(std::vector<float>& out, Vec3 p) { push(out, p.x, p.y, p.z); }

void setColour(Rgb c) { glColor3f(c.r, c.g, c.b); }

// Client arrays for one draw: positions of `stride` bytes, colours and texture
// coordinates only where given.
void setArrays(const float* positions, GLsizei stride, const float* colours, const float* texCoords)
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, positions);
    if (colours != nullptr) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, colours);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
    if (texCoords != nullptr) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_NORMAL_ARRAY);
}

void drawLines(std::span<const uint32_t> indices)
{
    if (!indices.empty()) glDrawElements(GL_LINES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, indices.data());
}

void drawLine(Vec3 a, Vec3 b)
{
    const std::array<float, 6> ends{a.x, a.y, a.z, b.x, b.y, b.z};
    setArrays(ends.data(), 0, nullptr, nullptr);
    glDrawArrays(GL_LINES, 0, 2);
}

void drawOriginCross(float arm)
{
    const std::array<float, 18> arms{-arm, 0, 0, arm, 0, 0, 0, arm, 0, 0, -arm, 0, 0, 0, arm, 0, 0, -arm};
    setColour(white);
    setArrays(arms.data(), 0, nullptr, nullptr);
    glDrawArrays(GL_LINES, 0, 6);
}

constexpr bool samePlace(size_t a, size_t b)
{
    for (size_t i = 0; i < 3; ++i)
        if (cubeCorners[a].position[i] != cubeCorners[b].position[i]) return false;
    return true;
}

// drawCube's corners each once: for each of its 24 corners the number of the
// first corner at the same place, counted among those first ones (0 to 7).
struct MarkerCorners {
    std::array<size_t, 8> corner{};
    std::array<uint32_t, 24> placeOf{};
};
constexpr MarkerCorners markerPlaces = [] {
    MarkerCorners m{};
    size_t count = 0;
    for (size_t c = 0; c < cubeCorners.size(); ++c) {
        size_t place = count;
        for (size_t p = 0; p < count; ++p)
            if (samePlace(m.corner[p], c)) place = p;
        if (place == count) m.corner[count++] = c;
        m.placeOf[c] = static_cast<uint32_t>(place);
    }
    return m;
}();

// The twelve edges of drawCube's cube, each once, as pairs of corner numbers.
// In line mode the cube draws each edge twice (once per face); the second
// time adds no pixel, because its fragments fail the depth test against the
// first, so once is enough.
constexpr std::array<std::array<size_t, 2>, 12> cubeEdges = [] {
    std::array<std::array<size_t, 2>, 12> edges{};
    size_t count = 0;
    for (size_t face = 0; face < cubeCorners.size(); face += 4) {
        for (size_t k = 0; k < 4; ++k) {
            const size_t a = face + k, b = face + (k + 1) % 4;
            bool seen = false;
            for (size_t e = 0; e < count; ++e)
                seen = seen || (samePlace(edges[e][0], b) && samePlace(edges[e][1], a)) ||
                       (samePlace(edges[e][0], a) && samePlace(edges[e][1], b));
            if (!seen) edges[count++] = {a, b};
        }
    }
    return edges;
}();

// Adds `count` elements starting at `first` to the last run, or to a new run
// when the colour changes.
void extendRun(std::vector<ColourRun>& runs, Rgb c, size_t first, uint32_t count)
{
    const std::array<float, 3> colour{c.r, c.g, c.b};
    if (runs.empty() || runs.back().colour != colour) runs.push_back({static_cast<uint32_t>(first), 0, colour});
    runs.back().count += count;
}

// Appends a pair of indices to edges, in a new run when the colour changes.
void pushEdge(std::vector<uint32_t>& edges, std::vector<ColourRun>& runs, Rgb c, uint32_t from, uint32_t to)
{
    extendRun(runs, c, edges.size(), 2);
    edges.insert(edges.end(), {from, to});
}

// Draws each run of edges in its colour over the current vertex array. One
// colour per run rather than a colour array gives the same pixels and spares
// the driver copying a second array of every corner on each draw.
void drawRuns(std::span<const uint32_t> edges, std::span<const ColourRun> runs)
{
    for (const ColourRun& run : runs) {
        glColor3f(run.colour[0], run.colour[1], run.colour[2]);
        drawLines(edges.subspan(run.first, run.count));
    }
}

// Every vertex as drawCube at the vertex with scale builtMarkerSize in line mode:
// each marker's eight corners, and its twelve edges in the vertex's colour.
void buildMarkers(const Mesh& mesh, RenderBuffers& b)
{
    b.markerCorners.clear();
    b.markerEdges.clear();
    b.markerRuns.clear();
    b.markerCorners.reserve(mesh.vertices.size() * 8 * 3);
    b.markerEdges.reserve(mesh.vertices.size() * cubeEdges.size() * 2);
    for (const Vertex& v : mesh.vertices) {
        const auto first = static_cast<uint32_t>(b.markerCorners.size() / 3);
        for (const size_t corner : markerPlaces.corner) {
            const float* p = cubeCorners[corner].position;
            const float size = b.builtMarkerSize;
            push(b.markerCorners, size * p[0] + v.x, size * p[1] + v.y, size * p[2] + v.z);
        }
        for (const auto& edge : cubeEdges)
            pushEdge(b.markerEdges, b.markerRuns, markerColour(v), first + markerPlaces.placeOf[edge[0]],
                     first + markerPlaces.placeOf[edge[1]]);
    }
}

// Each edge of the finished triangles once, in the order and colour of the
// first triangle that draws it: as lines, the three edges of each triangle in
// corner order give the pixels of line mode without the polygon-to-line
// stage, and a later copy of an edge adds no pixel, its fragments failing the
// depth test. A copy running the other way is kept: a line is rasterised
// differently from its reverse at a pixel here and there.
void buildWireframe(const Mesh& mesh, size_t drawn, RenderBuffers& b)
{
    b.wireEdges.clear();
    b.wireRuns.clear();
    if (mesh.vertices.empty()) return;
    // Open addressing over (from, to) position pairs; all ones is empty.
    std::vector<uint64_t> seen(std::bit_ceil(6 * drawn + 2), ~uint64_t{0});
    const size_t mask = seen.size() - 1;
    const auto firstTime = [&](uint32_t a, uint32_t c) {
        const uint64_t key = (uint64_t{a} << 32) | c;
        for (size_t slot = ((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;; slot = (slot + 1) & mask) {
            if (seen[slot] == key) return false;
            if (seen[slot] == ~uint64_t{0}) {
                seen[slot] = key;
                return true;
            }
        }
    };
    b.wireEdges.reserve(6 * drawn);
    for (size_t k = 0; k < drawn; ++k) {
        const Triangle& t = mesh.triangles[k];
        for (size_t corner = 0; corner < 3; ++corner) {
            const auto from = static_cast<uint32_t>(clampVertexPosition(mesh, t.vertexIndex[corner]));
            const auto to = static_cast<uint32_t>(clampVertexPosition(mesh, t.vertexIndex[(corner + 1) % 3]));
            if (firstTime(from, to)) pushEdge(b.wireEdges, b.wireRuns, triangleColour(t), from, to);
        }
    }
}

// The finished triangles' corners for the 3D view, in runs of one colour.
void buildTriangles(const Mesh& mesh, size_t drawn, RenderBuffers& b)
{
    b.positions.clear();
    b.texCoords.clear();
    b.triangleRuns.clear();
    if (mesh.vertices.empty()) return;
    b.positions.reserve(drawn * 9);
    b.texCoords.reserve(drawn * 6);
    for (size_t k = 0; k < drawn; ++k) {
        const Triangle& t = mesh.triangles[k];
        extendRun(b.triangleRuns, triangleColour(t), 3 * k, 3);
        for (size_t corner = 0; corner < 3; ++corner) {
            push(b.texCoords, t.u[corner], t.v[corner]);
            push(b.positions, vertexPosition(mesh, t.vertexIndex[corner]));
        }
    }
}

// Puts the orthographic zoom and proportions in front of the camera's
// projection; at the start zoom without them the matrix stays exactly as
// setCamera left it.
void applyOrthoZoom(const ViewCamera& camera, float aspect)
{
    if (camera.orthoZoom == 1.0f && !camera.keepProportions) return;
    const Vec3 scale = orthoProjectionScale(camera, aspect);
    std::array<float, 16> camerasMatrix{};
    glGetFloatv(GL_PROJECTION_MATRIX, camerasMatrix.data());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(scale.x, scale.y, scale.z);
    glMultMatrixf(camerasMatrix.data());
    glMatrixMode(GL_MODELVIEW);
}

void updateBuffers(const Mesh& mesh, size_t drawn, RenderBuffers& b)
{
    if (b.built && b.builtRevision == b.meshRevision && b.builtVertexCount == mesh.vertices.size() &&
        b.builtTriangleCount == mesh.triangles.size())
        return;
    buildMarkers(mesh, b);
    buildWireframe(mesh, drawn, b);
    buildTriangles(mesh, drawn, b);
    b.builtRevision = b.meshRevision;
    b.builtVertexCount = mesh.vertices.size();
    b.builtTriangleCount = mesh.triangles.size();
    b.built = true;
}

}  // namespace

void renderMesh(const Mesh& mesh, int32_t viewFlag, float zoom, float orthoZoom, uint32_t textureName,
                RenderBuffers& buffers)
{
    if (const float markerSize = markerScale / orthoZoom; buffers.builtMarkerSize != markerSize) {
        buffers.builtMarkerSize = markerSize;
        buffers.built = false;
    }
    const bool ortho = viewFlag == 0;
    const bool threeD = viewFlag == 1;
    // The last triangle is still being built while pendingCorner is not 0.
    const size_t count = mesh.triangles.size();
    const size_t drawn = mesh.pendingCorner != 0 && count > 0 ? count - 1 : count;
    updateBuffers(mesh, drawn, buffers);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);

    glLoadIdentity();
    if (ortho) {
        setColour(white);
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        drawOriginCross(crossArm / orthoZoom);
        setArrays(buffers.markerCorners.data(), 0, nullptr, nullptr);
        drawRuns(buffers.markerEdges, buffers.markerRuns);
    }
    if (threeD) glBindTexture(GL_TEXTURE_2D, textureName);

    glLoadIdentity();
    if (threeD) {
        const float s = zoom + 1.0f;
        glScalef(s, s, s);
    }

    Rgb colour = white;
    if (count > 0) colour = triangleColour(mesh.triangles.back());
    if (ortho && !buffers.wireEdges.empty()) {
        setArrays(&mesh.vertices.front().x, sizeof(Vertex), nullptr, nullptr);
        drawRuns(buffers.wireEdges, buffers.wireRuns);
    }
    if (threeD && !buffers.positions.empty()) {
        setArrays(buffers.positions.data(), 0, nullptr, buffers.texCoords.data());
        for (const ColourRun& run : buffers.triangleRuns) {
            glColor3f(run.colour[0], run.colour[1], run.colour[2]);
            glDrawArrays(GL_TRIANGLES, static_cast<GLint>(run.first), static_cast<GLsizei>(run.count));
        }
    }
    // Arrays leave the current colour and texture coordinate undefined; the
    // construction line takes those of the last triangle visited.
    setColour(colour);
    if (threeD && drawn > 0) {
        const Triangle& t = mesh.triangles[drawn - 1];
        glTexCoord2f(t.u[2], t.v[2]);
    }

    if (mesh.pendingCorner == 2 && count > 0 && !mesh.vertices.empty()) {
        const Triangle& t = mesh.triangles.back();
        drawLine(vertexPosition(mesh, t.vertexIndex[0]), vertexPosition(mesh, t.vertexIndex[1]));
    }

    glPopClientAttrib();
    glLoadIdentity();
    if (ortho) {
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
}

void drawView(Engine& engine, ViewKind view, const Mesh& mesh, const ViewCamera& camera,
              float aspect, float pixelRatio, uint32_t textureName, uint32_t labelTexture, RenderBuffers& buffers)
{
    const bool threeD = view == ViewKind::ThreeD;
    // A line one client pixel wide, as at a ratio of 1.
    glLineWidth(std::max(1.0f, std::round(pixelRatio)));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const CameraArgs c = viewCameraArgs(view, camera);
    setCamera(engine, aspect, 0.0f, c.x, c.y, c.z, c.angleX, c.angleY, c.angleZ);
    if (threeD) {
        glCullFace(GL_FRONT);
        glDisable(GL_LIGHTING);
        renderMesh(mesh, 1, camera.zoom, camera.orthoZoom, textureName, buffers);
        glLoadIdentity();
    } else {
        applyOrthoZoom(camera, aspect);
        glDisable(GL_FOG);
        glDisable(GL_LIGHTING);
        renderMesh(mesh, 0, camera.zoom, camera.orthoZoom, textureName, buffers);
    }

    setCamera(engine, aspect, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    if (threeD) glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    drawImage2D(engine, aspect, labelTexture, 0.1f, -0.75f, 0.175f, 0.15f, 0);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    if (threeD) glEnable(GL_FOG);
}

void drawSelectionBox(float x0, float y0, float x1, float y1, float width, float height)
{
    if (width <= 0.0f || height <= 0.0f) return;
    const auto clipX = [width](float x) { return 2.0f * x / width - 1.0f; };
    const auto clipY = [height](float y) { return 1.0f - 2.0f * y / height; };
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 0.0f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(clipX(x0), clipY(y0));
    glVertex2f(clipX(x1), clipY(y0));
    glVertex2f(clipX(x1), clipY(y1));
    glVertex2f(clipX(x0), clipY(y1));
    glEnd();
    glPopAttrib();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
