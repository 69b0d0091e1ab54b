// exchange.h: meshes written in other tools' formats (OBJ, STL, PLY, glTF,
// COLLADA, 3DS) through assimp. Only pqtool and the editor's export helper
// link this; the editor stays free of assimp. Reading them is
// importThroughHelper's (files/files.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/files.h"
#include "mesh/mesh.h"

// Writes the mesh's finished triangles in the format of the path's extension:
// positions, triangle order and winding as they are, every corner's texture
// coordinate with V turned to the formats' bottom-up convention (corners that
// share a position but not a coordinate become separate vertices). Companion
// files (an OBJ's .mtl, a glTF's .bin) go beside the file the path's links
// lead to, written with it as one by replaceFiles: all or none take their
// names, so a failed export leaves every old file as it was. Each face's
// corners carry the face's flat normal, pointing the way its winding gives.
// OBJ and glTF, whose exporters share equal values, refuse a NaN coordinate
// rather than send other corners to it. A texture path, when not empty, is named in
// the format's material (OBJ's map_Kd, glTF's image, COLLADA's and 3DS's
// texture map) relative to the exported file. What went wrong, or None.
ExportProblem exportMesh(const Mesh& mesh, const std::string& path, const std::string& texture = {});
