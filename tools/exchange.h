// exchange.h: meshes to and from other tools' formats (OBJ, STL, PLY, glTF,
// COLLADA, 3DS, FBX) through assimp. Only pqtool links this; the editor stays
// free of assimp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mesh/mesh.h"

// The lower-case extensions (without the dot) each direction accepts.
const std::vector<std::string_view>& exportExtensions();
const std::vector<std::string_view>& importExtensions();

// Writes the mesh's finished triangles in the format of the path's extension:
// positions, triangle order and winding as they are, every corner's texture
// coordinate with V turned to the formats' bottom-up convention (corners that
// share a position but not a coordinate become separate vertices). Companion
// files (an OBJ's .mtl, a glTF's .bin) are written beside it. Every file is
// replaced only once it is complete. Each face's corners carry the face's flat
// normal, pointing the way its winding gives. A texture path, when not empty,
// is named in the format's material (OBJ's map_Kd, glTF's image, COLLADA's and
// 3DS's texture map) relative to the exported file. Returns an empty text on
// success, else what went wrong.
std::string exportMesh(const Mesh& mesh, const std::string& path, const std::string& texture = {});

// Reads a file of another tool into a new mesh: polygons triangulated, node
// transforms applied, the first texture-coordinate channel taken with V = 0 at
// the top of the picture, positions divided by the factor and shared exactly as
// the native reader shares them. The mesh, or the message why it could not be read.
std::variant<Mesh, std::string> importMesh(const std::string& path, int32_t factor);
