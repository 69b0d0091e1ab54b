// render.cpp: draws the mesh into the current view context. The geometry of a
// pass is gathered into RenderBuffers and sent with OpenGL 1.1 vertex arrays,
// in the order and colours corner-by-corner drawing would use, so the pixels
// are the same. Reads the mesh only; leaves the state the label drawing expects.
#include "views/views.h"

#include <GL/gl.h>

#include <array>
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
void push(std::vector<float>& out, Rgb c) { push(out, c.r, c.g, c.b); }

void clear(RenderBuffers& b)
{
    b.positions.clear();
    b.colors.clear();
    b.texCoords.clear();
}

// Draws what the buffers hold as `mode`; colours and texture coordinates are
// used when their buffers are filled for every vertex.
void drawBuffers(const RenderBuffers& b, GLenum mode)
{
    const auto count = static_cast<GLsizei>(b.positions.size() / 3);
    if (count == 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, b.positions.data());
    const bool withColours = b.colors.size() == b.positions.size();
    const bool withTexCoords = b.texCoords.size() / 2 == b.positions.size() / 3;
    if (withColours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, b.colors.data());
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
    if (withTexCoords) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, b.texCoords.data());
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_NORMAL_ARRAY);
    glDrawArrays(mode, 0, count);
}

void drawOriginCross(RenderBuffers& b, float arm)
{
    clear(b);
    push(b.positions, -arm, 0.0f, 0.0f);
    push(b.positions, arm, 0.0f, 0.0f);
    push(b.positions, 0.0f, arm, 0.0f);
    push(b.positions, 0.0f, -arm, 0.0f);
    push(b.positions, 0.0f, 0.0f, arm);
    push(b.positions, 0.0f, 0.0f, -arm);
    glColor3f(white.r, white.g, white.b);
    drawBuffers(b, GL_LINES);
}

// The twelve edges of drawCube's cube, each once, as pairs of corner numbers.
// In line mode the cube draws each edge twice (once per face); the second
// time adds no pixel, because its fragments fail the depth test against the
// first, so once is enough.
constexpr std::array<std::array<size_t, 2>, 12> cubeEdges = [] {
    std::array<std::array<size_t, 2>, 12> edges{};
    size_t count = 0;
    const auto samePlace = [](size_t a, size_t b) {
        for (size_t i = 0; i < 3; ++i)
            if (cubeCorners[a].position[i] != cubeCorners[b].position[i]) return false;
        return true;
    };
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

// Every vertex as drawCube at the vertex with scale markerSize in line mode,
// as one batch of lines.
void drawVertexMarkers(const Mesh& mesh, float markerSize, RenderBuffers& b)
{
    clear(b);
    b.positions.reserve(mesh.vertices.size() * cubeEdges.size() * 6);
    b.colors.reserve(b.positions.capacity());
    for (const Vertex& v : mesh.vertices) {
        const Rgb colour = markerColour(v);
        for (const auto& edge : cubeEdges) {
            for (const size_t corner : edge) {
                const float* p = cubeCorners[corner].position;
                push(b.positions, markerSize * p[0] + v.x, markerSize * p[1] + v.y, markerSize * p[2] + v.z);
                push(b.colors, colour);
            }
        }
    }
    drawBuffers(b, GL_LINES);
}

// Puts the orthographic zoom in front of the camera's projection; at the
// start zoom the matrix stays exactly as setCamera left it.
void applyOrthoZoom(const ViewCamera& camera)
{
    if (camera.orthoZoom == 1.0f) return;
    const Vec3 scale = orthoProjectionScale(camera);
    std::array<float, 16> camerasMatrix{};
    glGetFloatv(GL_PROJECTION_MATRIX, camerasMatrix.data());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(scale.x, scale.y, scale.z);
    glMultMatrixf(camerasMatrix.data());
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

void renderMesh(const Mesh& mesh, int32_t viewFlag, float zoom, float orthoZoom, uint32_t textureName,
                RenderBuffers& buffers)
{
    const bool ortho = viewFlag == 0;
    const bool threeD = viewFlag == 1;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);

    glLoadIdentity();
    if (ortho) {
        glColor3f(white.r, white.g, white.b);
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        drawOriginCross(buffers, crossArm / orthoZoom);
        drawVertexMarkers(mesh, markerScale / orthoZoom, buffers);
    }
    if (threeD) glBindTexture(GL_TEXTURE_2D, textureName);

    glLoadIdentity();
    if (threeD) {
        const float s = zoom + 1.0f;
        glScalef(s, s, s);
    }

    // The last triangle is still being built while pendingCorner is not 0.
    const size_t count = mesh.triangles.size();
    const size_t drawn = mesh.pendingCorner != 0 && count > 0 ? count - 1 : count;
    clear(buffers);
    Rgb colour = white;
    if (count > 0) colour = triangleColour(mesh.triangles.back());
    if (!mesh.vertices.empty()) {
        // The orthographic views draw triangles in line mode: as lines, the
        // three edges of each in corner order give the same pixels without
        // the polygon-to-line stage.
        constexpr std::array<size_t, 3> fillOrder{0, 1, 2};
        constexpr std::array<size_t, 6> edgeOrder{0, 1, 1, 2, 2, 0};
        const std::span<const size_t> order =
            threeD ? std::span<const size_t>(fillOrder) : std::span<const size_t>(edgeOrder);
        buffers.positions.reserve(drawn * order.size() * 3);
        buffers.colors.reserve(drawn * order.size() * 3);
        if (threeD) buffers.texCoords.reserve(drawn * 6);
        for (size_t k = 0; k < drawn; ++k) {
            const Triangle& t = mesh.triangles[k];
            const Rgb c = triangleColour(t);
            for (const size_t corner : order) {
                if (threeD) push(buffers.texCoords, t.u[corner], t.v[corner]);
                push(buffers.positions, vertexPosition(mesh, t.vertexIndex[corner]));
                push(buffers.colors, c);
            }
        }
        drawBuffers(buffers, threeD ? GL_TRIANGLES : GL_LINES);
    }
    // Arrays leave the current colour and texture coordinate undefined; the
    // construction line takes those of the last triangle visited.
    glColor3f(colour.r, colour.g, colour.b);
    if (threeD && drawn > 0) {
        const Triangle& t = mesh.triangles[drawn - 1];
        glTexCoord2f(t.u[2], t.v[2]);
    }

    if (mesh.pendingCorner == 2 && count > 0 && !mesh.vertices.empty()) {
        const Triangle& t = mesh.triangles.back();
        clear(buffers);
        push(buffers.positions, vertexPosition(mesh, t.vertexIndex[0]));
        push(buffers.positions, vertexPosition(mesh, t.vertexIndex[1]));
        drawBuffers(buffers, GL_LINES);
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
              float aspect, uint32_t textureName, uint32_t labelTexture, RenderBuffers& buffers)
{
    const bool threeD = view == ViewKind::ThreeD;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const CameraArgs c = viewCameraArgs(view, camera);
    setCamera(engine, aspect, 0.0f, c.x, c.y, c.z, c.angleX, c.angleY, c.angleZ);
    if (threeD) {
        glCullFace(GL_FRONT);
        glDisable(GL_LIGHTING);
        renderMesh(mesh, 1, camera.zoom, camera.orthoZoom, textureName, buffers);
        glLoadIdentity();
    } else {
        applyOrthoZoom(camera);
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
