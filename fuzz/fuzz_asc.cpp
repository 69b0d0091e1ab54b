// fuzz_asc.cpp: the ASC reader on any bytes. Every corner of every triangle
// must read a position inside the vertex list (writing the mesh reads them all).
#include <cstdlib>

#include "files/files.h"
#include "mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Mesh mesh;
    appendVertex(mesh);  // an existing vertex, so object starts are not all 0
    importAscText(mesh, text, 1);
    importAscText(mesh, text, size > 0 ? static_cast<int8_t>(data[0]) : -3);
    if (writeMeshBytes(mesh).size() != 60 * mesh.triangles.size()) std::abort();
    return 0;
}
