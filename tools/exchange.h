// exchange.h: meshes written in other tools' formats (OBJ, STL, PLY, glTF,
// COLLADA, 3DS) through assimp. Only pqtool and the editor's export helper
// link this; the editor stays free of assimp. Reading them is
// importThroughHelper's (files/files.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/mesh.h"

// The lower-case extensions (without the dot) export writes; importExtensions
// (files/files.h) are those the import helper reads.
const std::vector<std::string_view>& exportExtensions();

// Writes the mesh's finished triangles in the format of the path's extension:
// positions, triangle order and winding as they are, every corner's texture
// coordinate with V turned to the formats' bottom-up convention (corners that
// share a position but not a coordinate become separate vertices). Companion
// files (an OBJ's .mtl, a glTF's .bin) are written first, beside the file the
// path's links lead to; those the export made are removed again when the main
// file cannot be written. Every file goes through writeFileReplacing. Each
// face's corners carry the face's flat normal, pointing the way its winding
// gives. A texture path, when not empty, is named in the format's material
// (OBJ's map_Kd, glTF's image, COLLADA's and 3DS's texture map) relative to
// the exported file. Returns an empty text on success, else what went wrong.
std::string exportMesh(const Mesh& mesh, const std::string& path, const std::string& texture = {});
