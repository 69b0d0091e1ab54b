// render_reference.cpp: the reference drawing of Front, Side and Top, kept
// for the tests and benchmarks that hold the editor's drawing to it: every
// marker as drawCube draws it in line mode (its twelve edges, each once) and
// every edge of the finished triangles, with OpenGL 1.1 client arrays in the
// order and colours corner-by-corner drawing gives, so its pixels are those.
#include "views/render_common.h"

namespace render {

namespace {

// The cube of every marker at its size: eight corners each, and twelve edges
// as pairs of corners, in marker order.
void buildCubes(RenderBuffers& b, const std::array<float, 2>& sizes)
{
    if (b.cubesVersion == b.version && b.cubeSizes == sizes) return;
    b.cubesVersion = b.version;
    b.cubeSizes = sizes;
    b.cubeCorners.clear();
    b.cubeEdges.clear();
    b.cubeCorners.reserve(b.markerVertex.size() * 8 * 3);
    b.cubeEdges.reserve(b.markerVertex.size() * cubeEdges.size() * 2);
    for (const uint32_t vertex : b.markerVertex) {
        const Vertex& v = b.vertices[vertex];
        const float size = markerModelSize(v, sizes);
        const auto first = static_cast<uint32_t>(b.cubeCorners.size() / 3);
        for (const size_t corner : markerPlaces.corner) {
            const float* p = cubeCorners[corner].position;
            b.cubeCorners.insert(b.cubeCorners.end(), {size * p[0] + v.x, size * p[1] + v.y, size * p[2] + v.z});
        }
        for (const auto& edge : cubeEdges)
            b.cubeEdges.insert(b.cubeEdges.end(),
                               {first + markerPlaces.placeOf[edge[0]], first + markerPlaces.placeOf[edge[1]]});
    }
}

void drawCubes(const RenderBuffers& b, size_t firstGroup, size_t endGroup)
{
    setArrays(b.cubeCorners.data(), 0, nullptr);
    constexpr uint32_t indicesPerCube = cubeEdges.size() * 2;
    for (size_t group = firstGroup; group < endGroup; ++group) {
        const ColourRun run{b.markerGroupStart[group] * indicesPerCube,
                            (b.markerGroupStart[group + 1] - b.markerGroupStart[group]) * indicesPerCube,
                            {markerColours[group].r, markerColours[group].g, markerColours[group].b}};
        drawLineRuns(reinterpret_cast<ArrayBase>(b.cubeEdges.data()), std::span(&run, 1));
    }
}

}  // namespace

void renderMeshReference(const Mesh& mesh, const ViewFrame& frame, const ViewCamera& camera, RenderBuffers& shared)
{
    buildCubes(shared, {frame.markerSize / camera.orthoZoom, frame.selectedMarkerSize / camera.orthoZoom});
    drawCubes(shared, plainMarkers, selectedMarkers);
    if (!mesh.vertices.empty()) {
        setArrays(&mesh.vertices.front().x, sizeof(Vertex), nullptr);
        drawLineRuns(reinterpret_cast<ArrayBase>(shared.wireEdges.data()), shared.wireRuns);
    }
    drawConstructionLine(mesh, false, shared.drawn);
    glDepthFunc(GL_ALWAYS);
    drawCubes(shared, selectedMarkers, markerGroupCount);
    glDepthFunc(GL_LESS);
}

}  // namespace render
