// Generated GLSL programs of materials: the program record, the vertex and fragment texts
// written from a material, and the sharing of identical programs between materials. Pure but
// for the record releasing its GL objects; shader_program compiles and applies the programs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "draw/material.h"
#include "model/pool.h"

namespace korvane {

struct Light;

// Coordinate generation of a texture stage (Material::coordinate_generation). Reflection
// mapping (2) reads three coordinates; the others two.
constexpr uint8_t kModelGeneration = 0;
constexpr uint8_t kSphereGeneration = 1;
constexpr uint8_t kReflectionGeneration = 2;

// Attribute and uniform locations: -1 means the program has no such name.
struct ShaderProgram {
    std::string vertex_text;
    std::string fragment_text;
    uint32_t vertex_length = 0; // bytes of vertex_text
    uint32_t fragment_length = 0;
    // "VS:" + vertex log (at most 250 characters) + "\n" + "FS:" + fragment log (at most 250).
    std::string compile_log;
    uint32_t vertex_shader = 0; // GL names, 0 = not created yet
    uint32_t fragment_shader = 0;
    uint32_t program = 0;
    uint32_t shared_from = 0; // material handle whose program is used; 0 = owns its program
    int32_t modelmatrix = -1;
    int32_t viewmatrix = -1;
    int32_t projection = -1;
    int32_t modelview = -1;
    int32_t position = -1;
    std::array<int32_t, kTextureStages> texcoord_in{-1, -1, -1}; // "TexCoordIn1" ... "3"
    int32_t normal_matrix = -1;
    int32_t texture_matrix = -1;
    int32_t normal = -1;
    std::array<uint32_t, kUniformSlots> uniform_curves{}; // curve handle of "uN", 0 = none
    std::array<int32_t, kUniformSlots> uniform_locations{};
    int32_t light_position1 = -1;
    int32_t light_position2 = -1;

    ShaderProgram() { uniform_locations.fill(-1); }
    // Deletes the GL objects this record created; a record that never reached GL makes no GL
    // call, so it may be made and destroyed without a context.
    ~ShaderProgram();
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;
};

// The two texts of a generated program, and the uniform slots the generation filled.
struct GeneratedShaders {
    std::string vertex;
    std::string fragment;
    std::array<uint32_t, kUniformSlots> uniform_curves{};
};

// Writes a material's two shader texts. Pure: reads the material, its lights (handles that
// name no light count as unset) and whether its texture references are cube maps.
GeneratedShaders WriteMaterialShaders(const Material& material, const ResourcePool<Light>& lights,
                                      const ResourcePool<TextureRef>& texture_refs);

// Creates the material's generated record if it has none, clears its 24 slot handles and
// stores both texts, their lengths and the slots of WriteMaterialShaders. The GL names and
// the shared-from handle of an existing record are kept.
void GenerateMaterialShaders(Material& material, const ResourcePool<Light>& lights,
                             const ResourcePool<TextureRef>& texture_refs);

// The walk that decides sharing: the first other material in list order whose generated
// record exists and owns its program (shared-from 0) with the same two texts; 0 for none.
// Materials with custom shaders have no generated record and never take part.
uint32_t FindSharedProgram(const ResourcePool<Material>& materials, uint32_t material);

// Owners of generated programs by a hash of their texts, so that sharing a pool's programs
// costs one lookup per material instead of a walk over all of them. Entries are checked
// against the pool at every lookup, so stale ones (a material removed, regenerated or now
// sharing) are harmless.
struct ProgramShareIndex {
    std::unordered_multimap<uint64_t, uint32_t> owners; // text hash -> material handle
};

// The same result as the walk above, for materials looked up through one index in turn (as
// the loader does): a material for which 0 is returned becomes an owner and enters the
// index. The result equals the walk as long as every owner of a generated program in the
// pool was looked up through this index.
uint32_t FindSharedProgram(const ResourcePool<Material>& materials, uint32_t material,
                           ProgramShareIndex& index);

} // namespace korvane
