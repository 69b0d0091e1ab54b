// render.cpp: draws the mesh into the current view context. The arrays are
// built from the mesh once per change and shared by the four views; a change
// that only moved vertices updates just those. The 3D view draws the shared
// triangles, from a buffer object of its context where OpenGL 1.5 offers
// one; Front, Side and Top draw from arrays of their own
// (views/render_ortho.cpp). Reads the mesh only; leaves the state the label
// drawing expects.
#include "views/render_common.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <span>
#include <utility>

#include "engine/engine.h"

namespace render {

void drawLine(Vec3 a, Vec3 b)
{
    const std::array<float, 6> ends{a.x, a.y, a.z, b.x, b.y, b.z};
    setArrays(ends.data(), 0, nullptr);
    glDrawArrays(GL_LINES, 0, 2);
}

void drawOriginCross(float arm)
{
    const std::array<float, 18> arms{-arm, 0, 0, arm, 0, 0, 0, arm, 0, 0, -arm, 0, 0, 0, arm, 0, 0, -arm};
    setColour(white);
    setArrays(arms.data(), 0, nullptr);
    glDrawArrays(GL_LINES, 0, 6);
}

void drawConstructionLine(const Mesh& mesh, bool threeD, size_t drawn)
{
    // Arrays leave the current colour and texture coordinate undefined; the
    // construction line takes those of the last triangle visited.
    if (!mesh.triangles.empty()) setColour(triangleColour(mesh.triangles.back()));
    if (threeD && drawn > 0) {
        const Triangle& t = mesh.triangles[drawn - 1];
        glTexCoord2f(t.u[2], t.v[2]);
    }
    if (mesh.pendingCorner == 2 && !mesh.triangles.empty() && !mesh.vertices.empty()) {
        const Triangle& t = mesh.triangles.back();
        drawLine(vertexPosition(mesh, t.vertexIndex[0]), vertexPosition(mesh, t.vertexIndex[1]));
    }
}

void fillBuffer(GLenum target, GlBuffer& buffer, const void* data, size_t bytes)
{
    if (buffer.name() == 0) {
        GLuint name = 0;
        glGenBuffers(1, &name);
        buffer.reset(name);
    }
    glBindBuffer(target, buffer.name());
    glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
    glBindBuffer(target, 0);
}

void updateBuffer(GLenum target, const GlBuffer& buffer, size_t firstByte, const void* data, size_t bytes)
{
    glBindBuffer(target, buffer.name());
    glBufferSubData(target, static_cast<GLintptr>(firstByte), static_cast<GLsizeiptr>(bytes), data);
    glBindBuffer(target, 0);
}

ArrayBase bindArray(bool buffers, GLenum target, const GlBuffer& buffer, const void* client)
{
    if (!buffers) return reinterpret_cast<ArrayBase>(client);
    glBindBuffer(target, buffer.name());
    return 0;
}

}  // namespace render

using namespace render;

namespace {

// ---- the shared arrays -------------------------------------------------------------------

void buildMarkerOrder(RenderBuffers& b)
{
    const size_t count = b.vertices.size();
    b.markerVertex.resize(count);
    b.markerOf.resize(count);
    std::array<uint32_t, markerGroupCount> next{};
    for (const Vertex& v : b.vertices) ++next[markerGroup(v)];
    b.markerGroupStart = {0, next[0], next[0] + next[1], static_cast<uint32_t>(count)};
    std::copy_n(b.markerGroupStart.begin(), markerGroupCount, next.begin());
    for (size_t i = 0; i < count; ++i) {
        const uint32_t marker = next[markerGroup(b.vertices[i])]++;
        b.markerVertex[marker] = static_cast<uint32_t>(i);
        b.markerOf[i] = marker;
    }
}

// Each edge of the finished triangles once, in the order and colour of the
// first triangle that draws it: as lines, the three edges of each triangle in
// corner order give the pixels of line mode without the polygon-to-line
// stage, and a later copy of an edge adds no pixel, its fragments failing the
// depth test. A copy running the other way is kept: a line is rasterised
// differently from its reverse at a pixel here and there.
void buildWireframe(const Mesh& mesh, RenderBuffers& b)
{
    b.wireEdges.clear();
    b.wireRuns.clear();
    b.wireReturns.clear();
    if (mesh.vertices.empty()) return;
    // Open addressing over (from, to) position pairs; all ones is empty.
    std::vector<uint64_t> seen(std::bit_ceil(6 * b.drawn + 2), ~uint64_t{0});
    const size_t mask = seen.size() - 1;
    // Finds a pair, or with `add` puts it in when it is not there yet; true when it was there.
    const auto find = [&](uint32_t a, uint32_t c, bool add) {
        const uint64_t key = (uint64_t{a} << 32) | c;
        for (size_t slot = ((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;; slot = (slot + 1) & mask) {
            if (seen[slot] == key) return true;
            if (seen[slot] == ~uint64_t{0}) {
                if (add) seen[slot] = key;
                return false;
            }
        }
    };
    b.wireEdges.reserve(6 * b.drawn);
    for (size_t k = 0; k < b.drawn; ++k) {
        const Triangle& t = mesh.triangles[k];
        for (size_t corner = 0; corner < 3; ++corner) {
            const auto from = static_cast<uint32_t>(clampVertexPosition(mesh, t.vertexIndex[corner]));
            const auto to = static_cast<uint32_t>(clampVertexPosition(mesh, t.vertexIndex[(corner + 1) % 3]));
            if (find(from, to, true)) continue;
            extendRun(b.wireRuns, triangleColour(t), b.wireEdges.size(), 2);
            b.wireEdges.insert(b.wireEdges.end(), {from, to});
            b.wireReturns.push_back(from != to && find(to, from, false));
        }
    }
}

// The finished triangles' corners for the 3D view, in runs of one colour.
void buildTriangles(const Mesh& mesh, RenderBuffers& b)
{
    b.positions.clear();
    b.texCoords.clear();
    b.triangleRuns.clear();
    if (mesh.vertices.empty()) return;
    b.positions.reserve(b.drawn * 9);
    b.texCoords.reserve(b.drawn * 6);
    for (size_t k = 0; k < b.drawn; ++k) {
        const Triangle& t = mesh.triangles[k];
        extendRun(b.triangleRuns, triangleColour(t), 3 * k, 3);
        for (size_t corner = 0; corner < 3; ++corner) {
            b.texCoords.insert(b.texCoords.end(), {t.u[corner], t.v[corner]});
            const Vec3 p = vertexPosition(mesh, t.vertexIndex[corner]);
            b.positions.insert(b.positions.end(), {p.x, p.y, p.z});
        }
    }
}

void rebuild(const Mesh& mesh, RenderBuffers& b)
{
    b.vertices.assign(mesh.vertices.begin(), mesh.vertices.end());
    b.triangles.assign(mesh.triangles.begin(), mesh.triangles.end());
    b.pendingCorner = mesh.pendingCorner;
    // The last triangle is still being built while pendingCorner is not 0.
    b.drawn = mesh.pendingCorner != 0 && !mesh.triangles.empty() ? mesh.triangles.size() - 1 : mesh.triangles.size();
    buildMarkerOrder(b);
    buildWireframe(mesh, b);
    buildTriangles(mesh, b);
    b.cornerStart.clear();
    b.cornerList.clear();
    b.edgeStart.clear();
    b.edgeList.clear();
    b.moved.clear();
    b.rebuiltAt = b.version;
}

// Lists by vertex: for item i of `count`, vertexOf(i, k) gives the vertex of
// its end k (0 to ends - 1); start[v] to start[v + 1] in list are the items at v.
template <typename VertexOf>
void listByVertex(size_t vertices, size_t count, size_t ends, VertexOf vertexOf, std::vector<uint32_t>& start,
                  std::vector<uint32_t>& list)
{
    start.assign(vertices + 1, 0);
    list.resize(count * ends);
    for (size_t i = 0; i < count; ++i)
        for (size_t k = 0; k < ends; ++k) ++start[vertexOf(i, k) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (size_t i = 0; i < count; ++i)
        for (size_t k = 0; k < ends; ++k) list[next[vertexOf(i, k)]++] = static_cast<uint32_t>(i);
}

// The corners (3 k + corner) and the wireframe edges at each vertex.
void buildVertexMaps(const Mesh& mesh, RenderBuffers& b)
{
    listByVertex(b.vertices.size(), 3 * b.drawn, 1, [&](size_t corner, size_t) {
        return static_cast<size_t>(clampVertexPosition(mesh, mesh.triangles[corner / 3].vertexIndex[corner % 3]));
    }, b.cornerStart, b.cornerList);
    listByVertex(b.vertices.size(), b.wireEdges.size() / 2, 2,
                 [&](size_t edge, size_t end) { return size_t{b.wireEdges[2 * edge + end]}; }, b.edgeStart, b.edgeList);
}

bool samePosition(const Vertex& a, const Vertex& b) { return std::memcmp(&a.x, &b.x, 3 * sizeof(float)) == 0; }

// Brings the shared arrays up to the mesh. Positions are compared bit for
// bit, so a NaN that stays is no change and -0 replacing +0 is one. When only
// selected vertices moved since the build, only they are compared.
void updateShared(const Mesh& mesh, RenderBuffers& b)
{
    if (b.built && b.builtRevision == b.meshRevision && b.vertices.size() == mesh.vertices.size() &&
        b.triangles.size() == mesh.triangles.size())
        return;
    b.builtRevision = b.meshRevision;
    const bool selectionMoved = std::exchange(b.selectionMovedOnly, false);
    bool whole = !b.built || b.vertices.size() != mesh.vertices.size() || b.pendingCorner != mesh.pendingCorner ||
                 b.triangles.size() != mesh.triangles.size() ||
                 (!selectionMoved && !mesh.triangles.empty() &&
                  std::memcmp(b.triangles.data(), mesh.triangles.data(),
                              mesh.triangles.size() * sizeof(Triangle)) != 0);
    b.built = true;
    std::vector<uint32_t> moved;
    // Moving many vertices costs more one by one than building anew.
    const size_t mostMoved = 64 + mesh.vertices.size() / 8;
    const auto compare = [&](size_t i) {
        const Vertex &now = mesh.vertices[i], &was = b.vertices[i];
        whole = whole || now.selected != was.selected || now.marked != was.marked;
        if (!samePosition(now, was)) moved.push_back(static_cast<uint32_t>(i));
        whole = whole || moved.size() > mostMoved;
    };
    const uint32_t firstPicked = selectionMoved ? b.markerGroupStart[selectedMarkers] : 0;
    for (uint32_t m = firstPicked; selectionMoved && m < b.markerGroupStart[markerGroupCount] && !whole; ++m)
        if (b.vertices[b.markerVertex[m]].selected == 1) compare(b.markerVertex[m]);
    for (size_t i = 0; !selectionMoved && i < mesh.vertices.size() && !whole; ++i) compare(i);
    if (!whole && moved.empty()) return;
    ++b.version;
    if (whole) return rebuild(mesh, b);

    if (b.cornerStart.empty()) buildVertexMaps(mesh, b);
    std::ranges::sort(moved);
    for (const uint32_t vertex : moved) {
        const Vertex& v = mesh.vertices[vertex];
        b.vertices[vertex] = v;
        for (uint32_t i = b.cornerStart[vertex]; i < b.cornerStart[vertex + 1]; ++i)
            std::copy_n(&v.x, 3, &b.positions[3 * size_t{b.cornerList[i]}]);
    }
    b.moved = std::move(moved);
}

// ---- the 3D view ----------------------------------------------------------------------------

// Brings the 3D view's buffer of corners (positions, then texture
// coordinates) up to the shared arrays.
void syncCorners(const RenderBuffers& b, ViewBuffers& own)
{
    own.filled = own.filled && own.path == RenderPath::BufferObjects;
    own.path = RenderPath::BufferObjects;
    const bool current = own.filled && own.version == b.version;
    const bool movedOnly = own.filled && own.version + 1 == b.version && b.rebuiltAt != b.version;
    if (!current && !movedOnly) {
        const size_t positionBytes = b.positions.size() * sizeof(float);
        fillBuffer(GL_ARRAY_BUFFER, own.cornerBuffer, nullptr, positionBytes + b.texCoords.size() * sizeof(float));
        updateBuffer(GL_ARRAY_BUFFER, own.cornerBuffer, 0, b.positions.data(), positionBytes);
        updateBuffer(GL_ARRAY_BUFFER, own.cornerBuffer, positionBytes, b.texCoords.data(),
                     b.texCoords.size() * sizeof(float));
    } else if (movedOnly) {
        for (const uint32_t vertex : b.moved)
            for (uint32_t i = b.cornerStart[vertex]; i < b.cornerStart[vertex + 1]; ++i) {
                const size_t first = 3 * size_t{b.cornerList[i]};
                updateBuffer(GL_ARRAY_BUFFER, own.cornerBuffer, first * sizeof(float), &b.positions[first],
                             3 * sizeof(float));
            }
    }
    own.version = b.version;
    own.filled = true;
}

void drawThreeD(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, const RenderBuffers& b,
                ViewBuffers& own)
{
    glBindTexture(GL_TEXTURE_2D, frame.textureName);
    glLoadIdentity();
    const float s = camera.zoom + 1.0f;
    glScalef(s, s, s);
    const bool buffers = frame.path == RenderPath::BufferObjects;
    if (buffers) syncCorners(b, own);
    if (!b.positions.empty()) {
        const ArrayBase positions = bindArray(buffers, GL_ARRAY_BUFFER, own.cornerBuffer, b.positions.data());
        const ArrayBase texCoords =
            buffers ? b.positions.size() * sizeof(float) : reinterpret_cast<ArrayBase>(b.texCoords.data());
        setArrays(at(positions, 0), 0, at(texCoords, 0));
        for (const ColourRun& run : b.triangleRuns) {
            glColor3f(run.colour[0], run.colour[1], run.colour[2]);
            glDrawArrays(GL_TRIANGLES, static_cast<GLint>(run.first), static_cast<GLsizei>(run.count));
        }
        if (buffers) glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    drawConstructionLine(mesh, true, b.drawn);
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

}  // namespace

RenderPath renderPathFor(std::string_view glVersion)
{
    const float version = readDecimalFloat(glVersion);
    return version >= 1.5f ? RenderPath::BufferObjects : RenderPath::ClientArrays;
}

ViewFrame viewFrame(ViewKind view, int32_t width, int32_t height, float pixelRatio, RenderPath path)
{
    ViewFrame frame;
    frame.view = view;
    frame.width = devicePixels(width, pixelRatio);
    frame.height = devicePixels(height, pixelRatio);
    frame.path = path;
    frame.lineWidth = std::max(1.0f, std::round(pixelRatio));
    return frame;
}

void renderMesh(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, RenderBuffers& shared,
                ViewBuffers& own)
{
    updateShared(mesh, shared);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glLoadIdentity();
    const bool threeD = frame.view == ViewKind::ThreeD;
    if (threeD) {
        drawThreeD(mesh, frame, camera, shared, own);
    } else {
        setColour(white);
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        drawOriginCross(crossArm / camera.orthoZoom);
        // The near-face outlines and the covered markers left out hold for
        // lines one pixel wide: a wider line along the view axis, next to no
        // length on screen, still lights pixels.
        if (frame.path == RenderPath::Reference || frame.lineWidth != 1.0f)
            renderMeshReference(mesh, frame, camera, shared);
        else
            drawOrthographic(mesh, frame, camera, shared, own);
    }
    glPopClientAttrib();
    glLoadIdentity();
    if (!threeD) {
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
}

void drawView(Engine& engine, const ViewFrame& frame, const Mesh& mesh, const ViewCamera& camera,
              RenderBuffers& shared, ViewBuffers& own)
{
    const bool threeD = frame.view == ViewKind::ThreeD;
    const float aspect = frame.height > 0 ? static_cast<float>(frame.width) / static_cast<float>(frame.height) : 1.0f;
    glViewport(0, 0, frame.width, frame.height);
    glLineWidth(frame.lineWidth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const CameraArgs c = viewCameraArgs(frame.view, camera);
    setCamera(engine, aspect, 0.0f, c.x, c.y, c.z, c.angleX, c.angleY, c.angleZ);
    if (threeD) {
        glCullFace(GL_FRONT);
        glDisable(GL_LIGHTING);
        renderMesh(mesh, frame, camera, shared, own);
        glLoadIdentity();
    } else {
        applyOrthoZoom(camera, aspect);
        glDisable(GL_FOG);
        glDisable(GL_LIGHTING);
        renderMesh(mesh, frame, camera, shared, own);
    }

    setCamera(engine, aspect, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    if (threeD) glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    if (frame.labelTexture != 0) drawImage2D(engine, aspect, frame.labelTexture, 0.1f, -0.75f, 0.175f, 0.15f, 0);
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
