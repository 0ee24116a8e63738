// MeshData: the vertex and index arrays of one mesh, shared by mesh files, dynamic meshes,
// glyph meshes and the model manipulators. The drawing code takes plain pointers from it
// (positions.data(), indices.data(), ...); an empty array is an array the mesh does not have.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvane {

constexpr int kMaxTextureSets = 3;

// Invariants kept by everything that fills a mesh: positions and normals hold 3 floats per
// vertex, each of the first set_count texture sets 2 floats per vertex (the sets beyond are
// empty), indices hold index_count entries, a multiple of 3, each below vertex_count.
struct MeshData {
    uint16_t vertex_count = 0;
    uint32_t index_count = 0; // triangle indices, 3 per triangle
    std::vector<float> positions;
    std::array<std::vector<float>, kMaxTextureSets> texture_sets;
    uint8_t set_count = 0;
    std::vector<float> normals;
    std::vector<uint16_t> indices;
    // Made on demand by GenerateLineIndexArray for wireframe drawing: six per triangle.
    std::optional<std::vector<uint16_t>> line_indices;
    // Made on demand by the "Radial move" manipulator: the average of the positions.
    std::optional<std::array<float, 3>> centroid;
};

// The texture set (0-based) that a texture stage (0-based) reads: stage 0 always set 0,
// stage 1 set 1 when the mesh has two sets, stage 2 set 2 when it has three; any other stage
// falls back to set 0, so a mesh with one set feeds every stage from it.
constexpr int TextureSetForStage(uint8_t set_count, int stage) {
    return stage >= 1 && stage <= 2 && set_count > stage ? stage : 0;
}

} // namespace korvane
