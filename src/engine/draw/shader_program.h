// Building and applying the GLSL programs of materials: compiling and linking a material's
// generated or custom program, reporting one that fails, and feeding the program in use its
// textures, uniforms and matrices before its meshes are drawn.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "draw/material.h"
#include "draw/shader_gen.h"
#include "gl/render_caps.h"
#include "model/pool.h"

namespace korvane {

struct FunctionCurve;
struct Light;
struct Project;

// Which of a material's records BuildShaderProgram builds.
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
