// Reading Wavefront OBJ text into a mesh for the mesh-file converter: positions, texture
// coordinates and normals, polygons cut into fans of triangles, and one vertex for every
// distinct combination of position, coordinates and normal that a face names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mesh/mesh_data.h"

namespace korvane {

// A mesh holds at most this many vertices: its indices are 16-bit.
constexpr uint32_t kMaxMeshVertices = 65535;

struct ObjImportResult {
    std::string problem; // what is wrong; empty when the text was imported
    uint32_t line = 0;   // 1-based line of the problem; 0 when it concerns the whole text
    bool ok() const { return problem.empty(); }
};

// Imports OBJ text (any bytes; it need not end in NUL). The mesh gets one texture set, of
// zeros where the text gives no coordinates. Its normals are the text's when every face
// vertex names one, else computed with ComputeSmoothNormals across all faces that share a
// position, so that seams of the texture coordinates do not show in the shading.
// Statements other than v, vt, vn and f (groups, materials, smoothing, lines) are ignored.
ObjImportResult ImportObj(const char* text, size_t size, MeshData& mesh);

} // namespace korvane
