// render_ortho.cpp: Front, Side and Top on the editor's paths, from arrays of
// each view's context. A marker is drawn as the outline of its near face:
// the cube's twelve edges all fall on that outline, bar the four along the
// view axis, next to no length on screen, and the cube draws each side once
// each way (near face one way, far face the other), so a line starts at
// every corner, as it does on a loop round the face. What the camera shows
// is found on the processor when the projection, the viewport or the mesh
// changes: the plain markers that other plain markers do not wholly cover,
// the far faces of markers the near clipping plane cuts, and the wireframe
// edges long enough on screen to add a pixel, each undirected edge once.
#include "views/render_common.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

namespace render {

namespace {

constexpr size_t linesPerMarker = 4;
constexpr size_t endsPerMarker = 2 * linesPerMarker;
constexpr size_t floatsPerMarker = endsPerMarker * 3;
constexpr float depthMargin = 1e-3f;  // clip depth that clipping may decide either way
constexpr float pixelMargin = 1e-2f;  // pixels by which the rasteriser may place a line either way

// The cube face nearest the viewer under a projection (the depth test keeps
// the smaller depth), as the cube corner number of its first corner.
size_t nearFace(const std::array<float, 16>& projection)
{
    size_t best = 0;
    float bestDepth = std::numeric_limits<float>::infinity();
    for (size_t face = 0; face < cubeCorners.size(); face += 4) {
        const float* n = cubeCorners[face].normal;
        const float depth = projection[2] * n[0] + projection[6] * n[1] + projection[10] * n[2];
        if (depth < bestDepth) best = face, bestDepth = depth;
    }
    return best;
}

size_t oppositeFace(size_t face)
{
    const float* n = cubeCorners[face].normal;
    for (size_t other = 0; other < cubeCorners.size(); other += 4) {
        const float* m = cubeCorners[other].normal;
        if (m[0] == -n[0] && m[1] == -n[1] && m[2] == -n[2]) return other;
    }
    return face;
}

// One marker's face outline as line ends: corner k to corner k + 1.
void writeMarker(const Vertex& v, float size, size_t face, float* out)
{
    for (size_t k = 0; k < linesPerMarker; ++k)
        for (const size_t corner : {face + k, face + (k + 1) % 4}) {
            const float* p = cubeCorners[corner].position;
            *out++ = size * p[0] + v.x;
            *out++ = size * p[1] + v.y;
            *out++ = size * p[2] + v.z;
        }
}

// Where model points land in a view: window pixels from its lower left
// corner, and clip depth (-1 near to 1 far).
struct Screen {
    std::array<float, 16> p{};
    int32_t width = 0, height = 0;
    float halfW = 0.0f, halfH = 0.0f;

    float x(float mx, float my, float mz) const { return (p[0] * mx + p[4] * my + p[8] * mz + p[12] + 1.0f) * halfW; }
    float y(float mx, float my, float mz) const { return (p[1] * mx + p[5] * my + p[9] * mz + p[13] + 1.0f) * halfH; }
    float depth(float mx, float my, float mz) const { return p[2] * mx + p[6] * my + p[10] * mz + p[14]; }
    // Pixels across and up per model unit along x, y and z.
    std::array<float, 6> scale() const
    {
        return {p[0] * halfW, p[4] * halfW, p[8] * halfW, p[1] * halfH, p[5] * halfH, p[9] * halfH};
    }
};

// A marker's near face on screen, per model unit of its size: how far its
// sides lie from its centre in pixels, and how far its near and far faces
// lie from the centre in clip depth.
struct FaceOffsets {
    float left = 0.0f, right = 0.0f, bottom = 0.0f, top = 0.0f, nearDepth = 0.0f, farDepth = 0.0f;
};

FaceOffsets faceOffsets(const Screen& s, size_t near)
{
    FaceOffsets f{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                  std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), 0.0f, 0.0f};
    for (size_t k = 0; k < 4; ++k) {
        const float* c = cubeCorners[near + k].position;
        const float x = s.x(c[0], c[1], c[2]) - s.x(0, 0, 0), y = s.y(c[0], c[1], c[2]) - s.y(0, 0, 0);
        f.left = std::fmin(f.left, x), f.right = std::fmax(f.right, x);
        f.bottom = std::fmin(f.bottom, y), f.top = std::fmax(f.top, y);
    }
    const float* n = cubeCorners[near].normal;
    f.nearDepth = s.depth(n[0], n[1], n[2]) - s.depth(0, 0, 0);
    f.farDepth = -f.nearDepth;
    return f;
}

// The near plane cuts a marker at clip depth `depth`: its near face is
// clipped away (or may be) while its far face may show.
bool isCut(const FaceOffsets& f, float depth, float size)
{
    return depth + size * f.nearDepth < -1.0f + depthMargin && depth + size * f.farDepth > -1.0f - depthMargin;
}

// A rectangle of pixels, first to last on each side.
struct PixelRange {
    int32_t left = 0, right = -1, bottom = 0, top = -1;
};

int32_t floorPixel(float v) { return static_cast<int32_t>(std::floor(v)); }
int32_t ceilPixel(float v) { return static_cast<int32_t>(std::ceil(v)); }

// Pixels a line along y = at, from `from` to `to` across, may light (rows
// within half a pixel of it, columns to half a pixel past its ends), and
// those it surely lights (its row, when unmistaken, and the columns it wholly
// crosses). A line along x is the same with the axes swapped.
PixelRange mayLight(float at, float from, float to)
{
    const float m = pixelMargin;
    return {floorPixel(from - m), floorPixel(to + m), ceilPixel(at - 1.0f - m), floorPixel(at + m)};
}
PixelRange surelyLights(float at, float from, float to)
{
    const float m = pixelMargin;
    if (floorPixel(at - m) != floorPixel(at + m)) return {};
    return {ceilPixel(from + m), floorPixel(to - m) - 1, floorPixel(at), floorPixel(at)};
}

// The four sides of a marker's outline, at left, right, bottom and top, as
// ranges of (column, row).
std::array<PixelRange, 4> sides(float left, float right, float bottom, float top,
                                PixelRange (*light)(float, float, float))
{
    const auto swapped = [](PixelRange r) { return PixelRange{r.bottom, r.top, r.left, r.right}; };
    return {light(bottom, left, right), light(top, left, right), swapped(light(left, bottom, top)),
            swapped(light(right, bottom, top))};
}

// What the camera shows of the markers. The plain ones to draw are those
// the plain ones shown before them do not wholly cover: all plain markers
// are white, so a covered one adds no pixel (at a million triangles most are
// covered); pixels off the view count as covered. The far faces to draw are
// those of markers the near plane cuts, in marker groups: a far face behind
// its near face adds nothing.
void findWhatShows(const RenderBuffers& b, const Screen& s, ViewBuffers& own)
{
    const auto near = static_cast<size_t>(own.nearFace);
    const FaceOffsets f = faceOffsets(s, near);
    own.lit.assign(static_cast<size_t>(s.width) * static_cast<size_t>(s.height), 0);
    own.shownEnds.clear();
    own.cutMarkers.clear();
    own.cutLines.clear();
    const auto litAt = [&](int32_t col, int32_t row) -> uint8_t& {
        return own.lit[static_cast<size_t>(row) * static_cast<size_t>(s.width) + static_cast<size_t>(col)];
    };
    const auto covered = [&](const PixelRange& r) {
        for (int32_t row = std::max(r.bottom, 0); row <= std::min(r.top, s.height - 1); ++row)
            for (int32_t col = std::max(r.left, 0); col <= std::min(r.right, s.width - 1); ++col)
                if (litAt(col, row) == 0) return false;
        return true;
    };
    for (size_t group = 0; group < markerGroupCount; ++group) {
        own.cutGroupStart[group] = static_cast<uint32_t>(own.cutMarkers.size());
        for (uint32_t m = b.markerGroupStart[group]; m < b.markerGroupStart[group + 1]; ++m) {
            const Vertex& v = b.vertices[b.markerVertex[m]];
            const float size = markerModelSize(v, own.markerSizes), depth = s.depth(v.x, v.y, v.z);
            if (isCut(f, depth, size)) {
                own.cutMarkers.push_back(m);
                own.cutLines.resize(own.cutLines.size() + floatsPerMarker);
                writeMarker(v, size, oppositeFace(near), &own.cutLines[own.cutLines.size() - floatsPerMarker]);
            }
            if (group != plainMarkers) continue;
            const float x = s.x(v.x, v.y, v.z), y = s.y(v.x, v.y, v.z);
            const float left = x + size * f.left, right = x + size * f.right;
            const float bottom = y + size * f.bottom, top = y + size * f.top;
            const bool known = std::isfinite(left + right + bottom + top);
            if (known && std::ranges::all_of(sides(left, right, bottom, top, mayLight), covered)) continue;
            for (uint32_t end = 0; end < endsPerMarker; ++end) own.shownEnds.push_back(m * endsPerMarker + end);
            const float nearDepth = depth + size * f.nearDepth;
            if (!known || !(nearDepth > -1.0f + depthMargin && nearDepth < 1.0f - depthMargin)) continue;
            for (const PixelRange& r : sides(left, right, bottom, top, surelyLights))
                for (int32_t row = std::max(r.bottom, 0); row <= std::min(r.top, s.height - 1); ++row)
                    for (int32_t col = std::max(r.left, 0); col <= std::min(r.right, s.width - 1); ++col)
                        litAt(col, row) = 1;
        }
    }
    own.cutGroupStart[markerGroupCount] = static_cast<uint32_t>(own.cutMarkers.size());
}

bool isLong(const RenderBuffers& b, const std::array<float, 6>& s, float least, size_t edge)
{
    if (b.wireReturns[edge] != 0) return false;
    const Vertex &a = b.vertices[b.wireEdges[2 * edge]], &c = b.vertices[b.wireEdges[2 * edge + 1]];
    const float dx = c.x - a.x, dy = c.y - a.y, dz = c.z - a.z;
    const float across = s[0] * dx + s[1] * dy + s[2] * dz, up = s[3] * dx + s[4] * dy + s[5] * dz;
    return !(across * across + up * up < least);
}

// The wireframe edges to draw: each undirected edge once, in the first
// direction and colour the triangles give it (its reverse differs only at
// the end pixels, which the markers mostly cover), when it is at least
// `shortest` pixels long on screen (a shorter one adds at most a pixel or
// two by the markers at its ends). An edge of no finite length stays.
void findLongEdges(const RenderBuffers& b, const std::array<float, 6>& scale, float shortest, ViewBuffers& own)
{
    own.edgeScale = scale;
    own.edgeLong.resize(b.wireEdges.size() / 2);
    own.longEdges.clear();
    own.longRuns.clear();
    for (const ColourRun& run : b.wireRuns) {
        const size_t before = own.longEdges.size();
        for (size_t edge = run.first / 2; edge < (run.first + run.count) / 2; ++edge) {
            own.edgeLong[edge] = isLong(b, scale, shortest * shortest, edge);
            if (own.edgeLong[edge] != 0)
                own.longEdges.insert(own.longEdges.end(), {b.wireEdges[2 * edge], b.wireEdges[2 * edge + 1]});
        }
        const auto count = static_cast<uint32_t>(own.longEdges.size() - before);
        if (count > 0) own.longRuns.push_back({static_cast<uint32_t>(before), count, run.colour});
    }
}

// True when a move lengthened or shortened an edge at a moved vertex past `shortest`.
bool movedAcrossShortest(const RenderBuffers& b, float shortest, const ViewBuffers& own)
{
    for (const uint32_t vertex : b.moved)
        for (uint32_t i = b.edgeStart[vertex]; i < b.edgeStart[vertex + 1]; ++i)
            if (isLong(b, own.edgeScale, shortest * shortest, b.edgeList[i]) != (own.edgeLong[b.edgeList[i]] != 0))
                return true;
    return false;
}

void fillMarkers(RenderBuffers& b, ViewBuffers& own, bool buffers)
{
    std::vector<float>& lines = buffers ? b.scratch : own.markerLines;
    lines.resize(b.markerVertex.size() * floatsPerMarker);
    for (size_t m = 0; m < b.markerVertex.size(); ++m) {
        const Vertex& v = b.vertices[b.markerVertex[m]];
        writeMarker(v, markerModelSize(v, own.markerSizes), static_cast<size_t>(own.nearFace),
                    &lines[m * floatsPerMarker]);
    }
    if (buffers) fillBuffer(GL_ARRAY_BUFFER, own.markerBuffer, lines.data(), lines.size() * sizeof(float));
}

void moveMarkers(const RenderBuffers& b, ViewBuffers& own, bool buffers)
{
    for (const uint32_t vertex : b.moved) {
        const Vertex& v = b.vertices[vertex];
        std::array<float, floatsPerMarker> lines{};
        writeMarker(v, markerModelSize(v, own.markerSizes), static_cast<size_t>(own.nearFace), lines.data());
        const size_t first = b.markerOf[vertex] * floatsPerMarker;
        if (buffers)
            updateBuffer(GL_ARRAY_BUFFER, own.markerBuffer, first * sizeof(float), lines.data(), sizeof lines);
        else
            std::copy(lines.begin(), lines.end(), own.markerLines.begin() + static_cast<ptrdiff_t>(first));
    }
}

// Brings an orthographic view's own arrays up to the shared ones and to what
// its camera shows.
void syncOrtho(const ViewFrame& frame, const ViewCamera& camera, const Screen& screen, RenderBuffers& b,
               ViewBuffers& own)
{
    const bool buffers = frame.path == RenderPath::BufferObjects;
    own.filled = own.filled && own.path == frame.path;
    own.path = frame.path;
    const bool current = own.filled && own.version == b.version;
    const bool movedOnly = own.filled && own.version + 1 == b.version && b.rebuiltAt != b.version;
    const auto face = static_cast<int32_t>(nearFace(screen.p));
    const std::array<float, 2> sizes{frame.markerSize / camera.orthoZoom, frame.selectedMarkerSize / camera.orthoZoom};
    const bool sameMarkers = face == own.nearFace && sizes == own.markerSizes && (current || movedOnly);
    own.nearFace = face;
    own.markerSizes = sizes;
    if (!sameMarkers)
        fillMarkers(b, own, buffers);
    else if (movedOnly)
        moveMarkers(b, own, buffers);
    if (buffers && !current && !movedOnly)
        fillBuffer(GL_ARRAY_BUFFER, own.vertexBuffer, b.vertices.data(), b.vertices.size() * sizeof(Vertex));
    const std::span<const uint32_t> none;
    for (const uint32_t vertex : buffers && movedOnly ? std::span<const uint32_t>(b.moved) : none)
        updateBuffer(GL_ARRAY_BUFFER, own.vertexBuffer, vertex * sizeof(Vertex), &b.vertices[vertex].x,
                     3 * sizeof(float));

    // A move of plain markers may uncover others; a move of the rest only
    // matters when the near plane cuts them.
    bool moved = false;
    const FaceOffsets offsets = faceOffsets(screen, static_cast<size_t>(face));
    for (const uint32_t vertex : movedOnly ? std::span<const uint32_t>(b.moved) : none) {
        const Vertex& v = b.vertices[vertex];
        moved = moved || markerGroup(v) == plainMarkers || std::ranges::count(own.cutMarkers, b.markerOf[vertex]) > 0 ||
                isCut(offsets, screen.depth(v.x, v.y, v.z), markerModelSize(v, sizes));
    }
    const std::array<int32_t, 2> viewport{screen.width, screen.height};
    if (!sameMarkers || moved || screen.p != own.shownProjection || viewport != own.shownViewport) {
        findWhatShows(b, screen, own);
        if (buffers)
            fillBuffer(GL_ELEMENT_ARRAY_BUFFER, own.shownBuffer, own.shownEnds.data(),
                       own.shownEnds.size() * sizeof(uint32_t));
        own.shownProjection = screen.p;
        own.shownViewport = viewport;
    }

    // A pan keeps every edge's length; a zoom, a new viewport or a move may not.
    if (!(current || movedOnly) || screen.scale() != own.edgeScale ||
        (movedOnly && movedAcrossShortest(b, frame.shortestEdge, own))) {
        findLongEdges(b, screen.scale(), frame.shortestEdge, own);
        if (buffers)
            fillBuffer(GL_ELEMENT_ARRAY_BUFFER, own.edgeBuffer, own.longEdges.data(),
                       own.longEdges.size() * sizeof(uint32_t));
    }
    own.version = b.version;
    own.filled = true;
}

// The far faces of a marker group's cut markers, from client memory.
void drawCutMarkers(const ViewBuffers& own, size_t group)
{
    const auto first = static_cast<GLint>(own.cutGroupStart[group] * endsPerMarker);
    const auto count = static_cast<GLsizei>((own.cutGroupStart[group + 1] - own.cutGroupStart[group]) * endsPerMarker);
    if (count == 0) return;
    setArrays(own.cutLines.data(), 0, nullptr);
    glDrawArrays(GL_LINES, first, count);
}

}  // namespace

void drawOrthographic(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, RenderBuffers& b,
                      ViewBuffers& own)
{
    Screen screen;
    glGetFloatv(GL_PROJECTION_MATRIX, screen.p.data());
    screen.width = frame.width;
    screen.height = frame.height;
    screen.halfW = static_cast<float>(frame.width) / 2.0f;
    screen.halfH = static_cast<float>(frame.height) / 2.0f;
    syncOrtho(frame, camera, screen, b, own);
    const bool buffers = frame.path == RenderPath::BufferObjects;

    setColour(markerColours[plainMarkers]);
    if (!own.shownEnds.empty()) {
        setArrays(at(bindArray(buffers, GL_ARRAY_BUFFER, own.markerBuffer, own.markerLines.data()), 0), 0, nullptr);
        const ArrayBase ends = bindArray(buffers, GL_ELEMENT_ARRAY_BUFFER, own.shownBuffer, own.shownEnds.data());
        glDrawElements(GL_LINES, static_cast<GLsizei>(own.shownEnds.size()), GL_UNSIGNED_INT, at(ends, 0));
    }
    if (buffers) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0), glBindBuffer(GL_ARRAY_BUFFER, 0);
    drawCutMarkers(own, plainMarkers);

    if (!own.longEdges.empty()) {
        const ArrayBase vertices = bindArray(buffers, GL_ARRAY_BUFFER, own.vertexBuffer, mesh.vertices.data());
        setArrays(at(vertices, 0), sizeof(Vertex), nullptr);
        drawLineRuns(bindArray(buffers, GL_ELEMENT_ARRAY_BUFFER, own.edgeBuffer, own.longEdges.data()), own.longRuns);
        if (buffers) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0), glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    drawConstructionLine(mesh, false, b.drawn);

    // Selected and marked markers over everything, each group whole.
    glDepthFunc(GL_ALWAYS);
    for (size_t group = selectedMarkers; group < markerGroupCount; ++group) {
        setColour(markerColours[group]);
        const auto first = static_cast<GLint>(b.markerGroupStart[group] * endsPerMarker);
        const auto markers = b.markerGroupStart[group + 1] - b.markerGroupStart[group];
        const auto count = static_cast<GLsizei>(markers * endsPerMarker);
        setArrays(at(bindArray(buffers, GL_ARRAY_BUFFER, own.markerBuffer, own.markerLines.data()), 0), 0, nullptr);
        if (count > 0) glDrawArrays(GL_LINES, first, count);
        if (buffers) glBindBuffer(GL_ARRAY_BUFFER, 0);
        drawCutMarkers(own, group);
    }
    glDepthFunc(GL_LESS);
}

}  // namespace render
