// Materials: how a mesh is drawn. Render states, colour and line width, up to two lights,
// fog, and up to three texture stages, each with its texture reference, wrap mode,
// coordinate generation, rotation and combine function. The fixed-function path and the
// generated shaders both read this one record.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gl/render_caps.h"
#include "model/curve.h"

namespace korvane {

struct PassPlan;
struct Project;
struct ShaderProgram;
struct XmlNode;

// Which texture a material stage binds: the kind of source and its handle there.
enum class TextureRefKind : uint8_t {
    kProcedural = 0, // a procedural texture's output
    kImage = 1,      // an image file
    kEffect = 2,     // a 2D image effect
    kCubeMap = 3,
};

struct TextureRef {
    TextureRefKind kind = TextureRefKind::kProcedural;
    uint32_t handle = 0;
};

// The animated fields of a material, in the order of its dynamic flags.
enum MaterialValue : uint8_t {
    kMaterialRed = 0,
    kMaterialGreen = 1,
    kMaterialBlue = 2,
    kMaterialAlpha = 3,
    kMaterialLineWidth = 4,
    kMaterialFogStart = 5,
    kMaterialFogEnd = 6,
};

constexpr int kTextureStages = 3;
constexpr int kUniformSlots = 24;

// Custom GLSL shaders of a material: its own texts and the curves of its 24 uniforms.
struct CustomShaders {
    std::string vertex_shader;
    std::string fragment_shader;
    std::array<uint32_t, kUniformSlots> uniform_curves{}; // "u1" ... "u24", 0 = none
};

struct Material {
    uint8_t backface_culling = 0;
    uint8_t depth_test = 0;
    uint8_t normalization = 0;
    uint8_t wireframe = 0;
    uint8_t blend_function = 0;
    uint8_t fog_type = 0;             // 0 off, 1 linear with the fastest hint, 2 with the nicest
    std::array<uint8_t, 7> dynamic{}; // one per MaterialValue: the slot holds a curve handle
    std::array<AnimatedValue, 7> values{};
    uint32_t light1 = 0, light2 = 0;                 // light handles, 0 = none
    std::array<uint32_t, kTextureStages> textures{}; // texture reference handles, 0 = none
    uint32_t fog_color = 0; // light whose diffuse colour colours the fog; 0 = white
    std::array<uint8_t, kTextureStages> wrap_modes{};            // 0 repeat, 1 clamp to edge
    std::array<uint8_t, kTextureStages> coordinate_generation{}; // 0 model, 1 sphere, 2 reflection
    std::array<uint8_t, kTextureStages> rotation{};              // texture turns with the camera
    std::array<uint8_t, kTextureStages> functions{};             // combine function per stage
    std::unique_ptr<PassPlan> pass_plan;                         // fixed-function mode only
    std::unique_ptr<ShaderProgram> shader_program; // generated program, shader mode only
    CustomShaders custom;
    uint8_t use_custom_shaders = 0; // "enable_glsl"

    Material();
    ~Material();
    Material(const Material& other); // a copy without pass plan and program (pass materials)
    Material& operator=(const Material&) = delete;
};

// The three texture stages are used in order: a stage is active only when its texture and
// those of all stages before it are set.
inline bool StageActive(const Material& material, int stage) {
    for (int s = 0; s <= stage; ++s)
        if (material.textures[s] == 0)
            return false;
    return true;
}

// Reads a texture reference element: "type" is the kind, "id" the handle in that kind's pool.
void LoadTextureRef(const XmlNode& element, TextureRef& ref);

// The number of items of each pool a texture reference may name, one per kind.
struct TextureRefTargets {
    uint32_t procedural_textures = 0;
    // The operation of each procedural texture, by handle - 1: only outputs (255) own a
    // GL texture that a reference can bind.
    std::vector<uint8_t> procedural_operations;
    uint32_t image_files = 0;
    uint32_t effect_textures = 0;
    uint32_t cube_maps = 0;
};

// What a texture-references item lacks for loading: both attributes, a kind of 0 to 3 and an
// id that names an item of that kind. One line per problem; none when it loads.
std::vector<std::string> ValidateTextureRefElement(const XmlNode& element,
                                                   const TextureRefTargets& targets);

// A texture ready to bind: the GL texture a reference names at a time, and whether it is a
// cube map. A reference that names nothing (or a source without a GL texture) gives 0.
struct ResolvedTexture {
    uint32_t gl_texture = 0;
    bool cube_map = false;
};
ResolvedTexture ResolveTextureRef(Project& project, uint32_t texture_ref, uint32_t time,
                                  const RenderCaps& caps);

// Reads a material element: its children are property elements recognised by their names,
// in any order; other names are ignored. A property the element lacks keeps its default:
// colour components and line width 1 (OpenGL's own start values), everything else 0 or none.
void LoadMaterial(const XmlNode& element, Material& material);

// The number of items a material may name: curves for its animated values and uniforms,
// lights for its lights and fog colour, texture references for its stages.
struct MaterialReferences {
    uint32_t curves = 0;
    uint32_t lights = 0;
    uint32_t texture_refs = 0;
};

// What a materials item lacks for loading: every property element present but the uniforms
// and the shader texts must carry "value" (a texture's stage attributes may be absent and
// read 0), and every handle must name an item (0 means none, but not for the curve of a
// dynamic value). One line per problem, each starting with the property's name.
std::vector<std::string> ValidateMaterialElement(const XmlNode& element,
                                                 const MaterialReferences& references);

} // namespace korvane
