// test_mesh.h: building meshes by hand in tests.
#pragma once

#include <array>

#include "mesh/mesh.h"

inline Vertex& addVertex(Mesh& mesh, float x, float y, float z, int32_t selected = 0)
{
    return appendVertex(mesh) = {x, y, z, selected, 0};
}

inline Triangle& addTriangle(Mesh& mesh, int32_t a, int32_t b, int32_t c, std::array<float, 3> u = {},
                             std::array<float, 3> v = {})
{
    return appendTriangle(mesh) = {{a, b, c}, u, v, 0};
}
