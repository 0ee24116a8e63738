// Generated GLSL programs of materials: the program record, the vertex and fragment texts
// written from a material, sharing of identical programs between materials, compiling and
// linking, and applying a material's program before its meshes are drawn.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "draw/material.h"
#include "gl/render_caps.h"
#include "model/pool.h"

namespace korvane {

struct FunctionCurve;
struct Light;
struct Project;

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

enum class ProgramRecord : uint8_t { kGenerated, kCustom };

// What the driver said about a build: whether both shaders compiled and the program linked,
// with their logs (the shader logs cut to 250 characters, as the record keeps them).
struct ProgramBuildStatus {
    bool vertex_compiled = false;
    bool fragment_compiled = false;
    bool linked = false;
    std::string vertex_log;
    std::string fragment_log;
    std::string link_log;
    bool ok() const { return vertex_compiled && fragment_compiled && linked; }
};

// Compiles, links, makes current and looks up every location of the material's generated
// record, or of its custom record: material.shader_program holds that record for a material
// with custom shaders, its texts and 24 slot handles taken from material.custom. Sampler
// uniforms "Texture0" ... "Texture2" of set slots are set to units 0 ... 2 once here. Needs a
// current GL context with OpenGL 2.0 shader objects.
ProgramBuildStatus BuildShaderProgram(Material& material, ProgramRecord which);

// One line (with its line break) naming the material and the driver's logs, for a program
// that failed to build: "Error: material 7: the shader program does not link: FS: 0:3(2):
// error: ...".
std::string ProgramFailureLine(uint32_t material, const ProgramBuildStatus& status);

// The load sequence of one material in shader mode, after its fields are read: without
// custom shaders, generate, share through the index and build only when nothing is shared;
// with custom shaders, build the custom record. A program that does not compile or link is
// reported once, as ProgramFailureLine on standard output, and the material is kept (it draws
// with whatever the failed program does). Returns false when such a line was printed.
// Without a GL context offering shader objects (documents checked or loaded in tests) the
// texts are written and shared but nothing is built.
bool PrepareMaterialProgram(ResourcePool<Material>& materials, uint32_t material,
                            const ResourcePool<Light>& lights,
                            const ResourcePool<TextureRef>& texture_refs, ProgramShareIndex& index);

// Where the texture-coordinate attributes of the three stages read from for one draw: the
// mesh's buffer objects when RenderCaps vbo is set, else its client arrays (2 floats per
// vertex), already chosen per stage by the mesh's set count.
struct TexCoordSources {
    std::array<uint32_t, kTextureStages> buffers{};
    std::array<const float*, kTextureStages> arrays{};
};

// The program record a material draws with: its custom record, its generated record, or
// the generated record of the material it shares with; null when there is none.
ShaderProgram* ProgramInUse(Material& material, ResourcePool<Material>& materials);

// The uniform slots a draw feeds: those the program in use has a location for and a curve
// handle in, each evaluated at the time from the curve of this material's own slot (its
// custom slots with custom shaders), so that materials sharing a program still animate
// independently. Writes those entries of values and returns them as a bit mask (bit N - 1
// for "uN").
uint32_t EvaluateUniformSlots(const Material& material, const ShaderProgram& in_use,
                              ResourcePool<FunctionCurve>& curves, uint32_t time,
                              std::array<float, kUniformSlots>& values);

// Sets the material's state and program for the shader path and feeds the program its
// textures, texture matrix, uniform slots (driven by this material's own curves, even when
// the program is shared) and light positions, at a time and with the camera angles (degrees)
// of the view matrix. Returns the program record in use, for the per-instance uniforms and
// the vertex attributes; null when the material has none (nothing is then set).
ShaderProgram* ApplyMaterialShader(Material& material, Project& project, uint32_t time,
                                   float camera_y, float camera_x, const RenderCaps& caps,
                                   const TexCoordSources& sources);

// The per-instance uniforms, after the model matrix of the instance is built: computes the
// modelview and normal matrices and uploads "Modelmatrix", "Viewmatrix", "Projection",
// "Modelview" and "NormalMatrix" where the program has them.
void SetInstanceUniforms(const ShaderProgram& program);

} // namespace korvane
