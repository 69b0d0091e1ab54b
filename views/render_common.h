// render_common.h: what the two ways of drawing the mesh share (views/render.cpp,
// views/render_reference.cpp): colours, the marker cube's corners and edges,
// colour runs, client arrays and buffer objects. Private to views/.
#pragma once

// Buffer objects are called only on contexts of OpenGL 1.5 or later.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdint>
#include <span>

#include "views/views.h"

namespace render {

struct Rgb {
    float r = 1.0f, g = 1.0f, b = 1.0f;
};

inline constexpr Rgb white{1.0f, 1.0f, 1.0f};
inline constexpr std::array<Rgb, markerGroupCount> markerColours{{{1, 1, 1}, {1, 0, 0}, {0, 1, 0}}};
inline constexpr float crossArm = 0.125f;

inline Rgb triangleColour(const Triangle& t) { return t.selected == 1 ? Rgb{0.75f, 0.75f, 0.0f} : white; }
inline void setColour(Rgb c) { glColor3f(c.r, c.g, c.b); }

// A marked vertex is the Texture window's corner and shows above all others.
inline MarkerGroup markerGroup(const Vertex& v)
{
    if (v.marked != 0) return markedMarkers;
    return v.selected == 1 ? selectedMarkers : plainMarkers;
}

// Half the edge of a vertex's marker in model units, at an orthographic zoom.
inline float markerModelSize(const Vertex& v, const std::array<float, 2>& sizes)
{
    return v.selected == 1 ? sizes[1] : sizes[0];
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
inline constexpr MarkerCorners markerPlaces = [] {
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

// The twelve edges of drawCube's cube, each once, as pairs of corner numbers,
// in the direction of the first face that draws it. In line mode the cube
// draws each edge twice (once per face); the second time adds no pixel,
// because its fragments fail the depth test against the first.
inline constexpr std::array<std::array<size_t, 2>, 12> cubeEdges = [] {
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
inline void extendRun(std::vector<ColourRun>& runs, Rgb c, size_t first, uint32_t count)
{
    const std::array<float, 3> colour{c.r, c.g, c.b};
    if (runs.empty() || runs.back().colour != colour) runs.push_back({static_cast<uint32_t>(first), 0, colour});
    runs.back().count += count;
}

// Where an array starts for gl*Pointer and glDrawElements: the address of
// client memory, or 0 for the start of the bound buffer object.
using ArrayBase = uintptr_t;
inline const void* at(ArrayBase base, size_t bytes) { return reinterpret_cast<const void*>(base + bytes); }

// Client arrays for one draw: positions of `stride` bytes and texture
// coordinates only where given; either may be an offset into a bound buffer.
inline void setArrays(const void* positions, GLsizei stride, const void* texCoords)
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, positions);
    glDisableClientState(GL_COLOR_ARRAY);
    if (texCoords != nullptr) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_NORMAL_ARRAY);
}

// Each run of line indices (32-bit, from `indices`) in its colour.
inline void drawLineRuns(ArrayBase indices, std::span<const ColourRun> runs)
{
    for (const ColourRun& run : runs) {
        if (run.count == 0) continue;
        glColor3f(run.colour[0], run.colour[1], run.colour[2]);
        glDrawElements(GL_LINES, static_cast<GLsizei>(run.count), GL_UNSIGNED_INT,
                       at(indices, run.first * sizeof(uint32_t)));
    }
}

// The origin cross, white, its arms `arm` long.
void drawOriginCross(float arm);
// One line, for the triangle under construction.
void drawLine(Vec3 a, Vec3 b);
// The construction line of a triangle whose second corner is set, in the
// colour of the last triangle, after the arrays left the colour undefined.
void drawConstructionLine(const Mesh& mesh, bool threeD, size_t drawn);

// Fills a buffer object of the current context, made on first use, with
// `bytes` bytes (none given: left undefined).
void fillBuffer(GLenum target, GlBuffer& buffer, const void* data, size_t bytes);
// Replaces `bytes` bytes of a buffer object from firstByte on.
void updateBuffer(GLenum target, const GlBuffer& buffer, size_t firstByte, const void* data, size_t bytes);
// Binds a buffer for drawing and gives its start, or gives the client memory's.
ArrayBase bindArray(bool buffers, GLenum target, const GlBuffer& buffer, const void* client);

// Front, Side or Top from the view's own arrays (views/render_ortho.cpp).
void drawOrthographic(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, RenderBuffers& shared,
                      ViewBuffers& own);
// Front, Side or Top on the reference path (views/render_reference.cpp).
void renderMeshReference(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, RenderBuffers& shared);

}  // namespace render
