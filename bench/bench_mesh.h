// bench_mesh.h: the mesh every benchmark measures: a grid of quads.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "mesh/mesh.h"

// A grid of shared vertices within +-0.9, two triangles per cell, until `count`
// triangles; each inner vertex is shared by six triangles, as in real meshes.
// Every corner has texture coordinates; the first triangle and vertex are
// selected, so the selection colours are drawn too.
inline Mesh benchGridMesh(int32_t count)
{
    Mesh mesh;
    const auto cells = static_cast<int32_t>(std::ceil(std::sqrt(count / 2.0)));
    const int32_t side = cells + 1;
    for (int32_t j = 0; j < side; ++j)
        for (int32_t i = 0; i < side; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(cells);
            const float v = static_cast<float>(j) / static_cast<float>(cells);
            mesh.vertices.push_back({1.8f * u - 0.9f, 0.9f - 1.8f * v, 0.1f * u * v, 0, 0});
        }
    const auto at = [side](int32_t i, int32_t j) { return j * side + i; };
    for (int32_t n = 0; static_cast<int32_t>(mesh.triangles.size()) < count; ++n) {
        const int32_t i = (n / 2) % cells, j = (n / 2) / cells;
        Triangle t;
        t.vertexIndex = n % 2 == 0 ? std::array{at(i, j), at(i + 1, j), at(i + 1, j + 1)}
                                   : std::array{at(i, j), at(i + 1, j + 1), at(i, j + 1)};
        for (size_t c = 0; c < 3; ++c) {
            const Vertex& vertex = mesh.vertices[static_cast<size_t>(t.vertexIndex[c])];
            t.u[c] = (vertex.x + 0.9f) / 1.8f;
            t.v[c] = (0.9f - vertex.y) / 1.8f;
        }
        mesh.triangles.push_back(t);
    }
    mesh.triangles.front().selected = 1;
    mesh.vertices.front().selected = 1;
    return mesh;
}

// The same mesh as a 3D-Studio ASCII export with one object.
inline std::string gridAsc(const Mesh& mesh)
{
    std::string text = "Named object: \"Grid\"\r\nTri-mesh, Vertices: " + std::to_string(mesh.vertices.size()) +
                       "     Faces: " + std::to_string(mesh.triangles.size()) + "\r\nVertex list:\r\n";
    char line[160];
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Vertex& v = mesh.vertices[i];
        std::snprintf(line, sizeof line, "Vertex %zu:  X: %f     Y: %f     Z: %f\r\n", i, static_cast<double>(v.x),
                      static_cast<double>(v.y), static_cast<double>(v.z));
        text += line;
    }
    text += "Face list:\r\n";
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        const auto& c = mesh.triangles[i].vertexIndex;
        std::snprintf(line, sizeof line, "Face %zu:    A:%d B:%d C:%d AB:1 BC:1 CA:0\r\nSmoothing:  1\r\n", i, c[0],
                      c[1], c[2]);
        text += line;
    }
    return text;
}
