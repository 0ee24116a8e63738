// Normals and wireframe lines of any mesh: smooth per-vertex normals averaged from the faces
// around each vertex, and the line index array that draws every triangle's three edges.
#pragma once

#include <cstdint>

#include "mesh/mesh_data.h"

namespace korvane {

inline constexpr char kGenerateLineIndexArrayLine[] = "GenerateLineIndexArray\n";

// Recomputes the normals from the positions and the triangles: each triangle adds its unit
// face normal (its raw cross product when that is shorter than 0.001) to its three vertices,
// and a vertex shared by several triangles takes the plain average, not normalised again.
// Allocates nothing once the largest vertex count has been seen.
void ComputeSmoothNormals(MeshData& mesh);
// The same over separate arrays, for a copy of a mesh's positions displaced elsewhere (the
// "Rippler" manipulator). Every index must be below vertex_count.
void ComputeSmoothNormals(const float* positions, float* normals, uint32_t vertex_count,
                          const uint16_t* indices, uint32_t index_count);

// Prints "GenerateLineIndexArray" and, when the mesh has no line indices yet, makes them: for
// each triangle (a, b, c) the edges a b, b c, c a.
void GenerateLineIndexArray(MeshData& mesh);

} // namespace korvane
