// test_mesh.h: building meshes by hand in tests.
#pragma once

#include <array>

#include "mesh/mesh.h"

inline Vertex& addVertex(Mesh& mesh, float x, float y, float z, int32_t selected = 0)
{
    Vertex& v = appendVertex(mesh);
    v.x = x;
    v.y = y;
    v.z = z;
    v.selected = selected;
    return v;
}

inline Triangle& addTriangle(Mesh& mesh, int32_t a, int32_t b, int32_t c, std::array<float, 3> u = {},
                             std::array<float, 3> v = {})
{
    Triangle& t = appendTriangle(mesh);
    t.vertexIndex = {a, b, c};
    t.u = u;
    t.v = v;
    return t;
}
