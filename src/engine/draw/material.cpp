#include "draw/material.h"

#include <cstdio>
#include <cstring>

#include "data/xml.h"
#include "draw/material_fixed.h"
#include "draw/shader_gen.h"
#include "model/document.h"
#include "model/project.h"
#include "texture/image_texture.h"
#include "texture/texture_graph.h"

namespace korvane {

namespace {

constexpr char kValueAttribute[] = "value";
constexpr char kNotAnOutput[] =
    "texture %ld is not an output of the texture graph (operation 255): it has no image";
constexpr char kUnknownKind[] = "type %ld is not a texture source (0 to 3)";

// Colour components and line width start where OpenGL's own state starts, so that a
// material that leaves them out draws its mesh in plain white lines of one pixel.
constexpr float kDefaultColour = 1.0f;
constexpr float kDefaultLineWidth = 1.0f;

// How a property element of a material is read.
enum class PropertyKind : uint8_t {
    kFlag,       // an integer byte field
    kAnimated,   // an animated value; every type word but "static" is dynamic
    kLight,      // a light handle (light 1, light 2, fog colour)
    kTexture,    // a texture reference handle with the stage's four attributes
    kUniforms,   // "u1" ... "u24": curve handles of the custom shaders' uniforms
    kShaderText, // the text content of a custom shader
};

enum class Flag : uint8_t {
    kBackfaceCulling,
    kDepthTest,
    kNormalization,
    kWireframe,
    kBlendFunction,
    kFogType,
    kEnableGlsl,
};

struct MaterialProperty {
    const char* name;
    PropertyKind kind;
    uint8_t index; // the Flag, MaterialValue, light (0, 1, 2 = fog colour), stage or shader
};

// The property elements a material element may hold, by element name.
constexpr MaterialProperty kMaterialProperties[] = {
    {"backface_culling", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kBackfaceCulling)},
    {"depth_test", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kDepthTest)},
    {"normalization", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kNormalization)},
    {"wireframe", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kWireframe)},
    {"blend_function", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kBlendFunction)},
    {"fogtype", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kFogType)},
    {"enable_glsl", PropertyKind::kFlag, static_cast<uint8_t>(Flag::kEnableGlsl)},
    {"red", PropertyKind::kAnimated, kMaterialRed},
    {"green", PropertyKind::kAnimated, kMaterialGreen},
    {"blue", PropertyKind::kAnimated, kMaterialBlue},
    {"alpha", PropertyKind::kAnimated, kMaterialAlpha},
    {"linewidth", PropertyKind::kAnimated, kMaterialLineWidth},
    {"fogstart", PropertyKind::kAnimated, kMaterialFogStart},
    {"fogend", PropertyKind::kAnimated, kMaterialFogEnd},
    {"light1", PropertyKind::kLight, 0},
    {"light2", PropertyKind::kLight, 1},
    {"fogcolor", PropertyKind::kLight, 2},
    {"texture1", PropertyKind::kTexture, 0},
    {"texture2", PropertyKind::kTexture, 1},
    {"texture3", PropertyKind::kTexture, 2},
    {"glsl_uniforms", PropertyKind::kUniforms, 0},
    {"vertex_shader", PropertyKind::kShaderText, 0},
    {"fragment_shader", PropertyKind::kShaderText, 1},
};

const MaterialProperty* FindProperty(const XmlNode& element) {
    if (!element.name)
        return nullptr;
    for (const MaterialProperty& property : kMaterialProperties)
        if (*element.name == property.name)
            return &property;
    return nullptr;
}

// The stage attributes of a texture property, in the order of their fields.
constexpr const char* kStageAttributes[] = {"wrapmode", "cgenmode", "rotation", "function"};

// "u1" ... "u24".
std::string UniformAttribute(int slot) {
    return "u" + std::to_string(slot + 1);
}

uint8_t ByteOf(const XmlNode& element, const char* name) {
    return static_cast<uint8_t>(ReadDocumentInteger(GetXmlAttribute(element, name)));
}

uint32_t HandleOf(const XmlNode& element, const char* name) {
    return static_cast<uint32_t>(ReadDocumentInteger(GetXmlAttribute(element, name)));
}

void LoadProperty(const XmlNode& element, const MaterialProperty& property, Material& material) {
    switch (property.kind) {
    case PropertyKind::kFlag: {
        const uint8_t value = ByteOf(element, kValueAttribute);
        switch (static_cast<Flag>(property.index)) {
        case Flag::kBackfaceCulling:
            material.backface_culling = value;
            break;
        case Flag::kDepthTest:
            material.depth_test = value;
            break;
        case Flag::kNormalization:
            material.normalization = value;
            break;
        case Flag::kWireframe:
            material.wireframe = value;
            break;
        case Flag::kBlendFunction:
            material.blend_function = value;
            break;
        case Flag::kFogType:
            material.fog_type = value;
            break;
        case Flag::kEnableGlsl:
            material.use_custom_shaders = value;
            break;
        }
        break;
    }
    case PropertyKind::kAnimated: {
        bool dynamic = false;
        material.values[property.index] =
            LoadAnimatedValue(element, DynamicWords::kAllButStatic, dynamic);
        material.dynamic[property.index] = dynamic ? 1 : 0;
        break;
    }
    case PropertyKind::kLight: {
        const uint32_t handle = HandleOf(element, kValueAttribute);
        if (property.index == 0)
            material.light1 = handle;
        else if (property.index == 1)
            material.light2 = handle;
        else
            material.fog_color = handle;
        break;
    }
    case PropertyKind::kTexture: {
        const int stage = property.index;
        material.textures[stage] = HandleOf(element, kValueAttribute);
        material.wrap_modes[stage] = ByteOf(element, kStageAttributes[0]);
        material.coordinate_generation[stage] = ByteOf(element, kStageAttributes[1]);
        material.rotation[stage] = ByteOf(element, kStageAttributes[2]);
        material.functions[stage] = ByteOf(element, kStageAttributes[3]);
        break;
    }
    case PropertyKind::kUniforms:
        for (int slot = 0; slot < kUniformSlots; ++slot)
            material.custom.uniform_curves[slot] =
                HandleOf(element, UniformAttribute(slot).c_str());
        break;
    case PropertyKind::kShaderText: {
        std::string text = element.text ? *element.text : std::string();
        UnescapeXmlText(text);
        (property.index == 0 ? material.custom.vertex_shader : material.custom.fragment_shader) =
            std::move(text);
        break;
    }
    }
}

// A handle read from a document, compared before it is narrowed to its field so that a
// large number cannot wrap onto an existing item.
bool NamesItem(long handle, uint32_t count, bool zero_is_none) {
    if (handle == 0 && zero_is_none)
        return true;
    return handle >= 1 && static_cast<unsigned long>(handle) <= count;
}

void CheckHandle(std::vector<std::string>& problems, const std::string& where, const char* text,
                 const char* kind, uint32_t count, bool zero_is_none) {
    const long handle = ReadDocumentInteger(text);
    if (!NamesItem(handle, count, zero_is_none))
        problems.push_back(where + FormatProblem(kNamesNothing, kind, handle));
}

} // namespace

Material::Material() {
    values[kMaterialRed] = MakeStaticValue(kDefaultColour);
    values[kMaterialGreen] = MakeStaticValue(kDefaultColour);
    values[kMaterialBlue] = MakeStaticValue(kDefaultColour);
    values[kMaterialAlpha] = MakeStaticValue(kDefaultColour);
    values[kMaterialLineWidth] = MakeStaticValue(kDefaultLineWidth);
    values[kMaterialFogStart] = MakeStaticValue(0.0f);
    values[kMaterialFogEnd] = MakeStaticValue(0.0f);
}

Material::~Material() = default;

// Pass materials are copies that never plan passes or build programs of their own.
Material::Material(const Material& other)
    : backface_culling(other.backface_culling), depth_test(other.depth_test),
      normalization(other.normalization), wireframe(other.wireframe),
      blend_function(other.blend_function), fog_type(other.fog_type), dynamic(other.dynamic),
      values(other.values), light1(other.light1), light2(other.light2), textures(other.textures),
      fog_color(other.fog_color), wrap_modes(other.wrap_modes),
      coordinate_generation(other.coordinate_generation), rotation(other.rotation),
      functions(other.functions), custom(other.custom),
      use_custom_shaders(other.use_custom_shaders) {}

void LoadTextureRef(const XmlNode& element, TextureRef& ref) {
    ref.kind = static_cast<TextureRefKind>(ByteOf(element, "type"));
    ref.handle = HandleOf(element, "id");
}

std::vector<std::string> ValidateTextureRefElement(const XmlNode& element,
                                                   const TextureRefTargets& targets) {
    std::vector<std::string> problems;
    const char* type = GetXmlAttribute(element, "type");
    const char* id = GetXmlAttribute(element, "id");
    if (type == nullptr)
        problems.push_back(FormatProblem(kMissingAttribute, "type"));
    if (id == nullptr)
        problems.push_back(FormatProblem(kMissingAttribute, "id"));
    if (type == nullptr || id == nullptr)
        return problems;
    const long kind = ReadDocumentInteger(type);
    switch (kind) {
    case static_cast<long>(TextureRefKind::kProcedural):
        CheckHandle(problems, "", id, "texture", targets.procedural_textures, false);
        // Only the outputs of the texture graph (operation 255) own a GL texture to bind.
        if (NamesItem(ReadDocumentInteger(id), targets.procedural_textures, false)) {
            const size_t named = static_cast<size_t>(ReadDocumentInteger(id)) - 1;
            if (named < targets.procedural_operations.size() &&
                targets.procedural_operations[named] != kOutputOperation)
                problems.push_back(FormatProblem(kNotAnOutput, ReadDocumentInteger(id)));
        }
        break;
    case static_cast<long>(TextureRefKind::kImage):
        CheckHandle(problems, "", id, "image file", targets.image_files, false);
        break;
    case static_cast<long>(TextureRefKind::kEffect):
        CheckHandle(problems, "", id, "2D-effect texture", targets.effect_textures, false);
        break;
    case static_cast<long>(TextureRefKind::kCubeMap):
        CheckHandle(problems, "", id, "cube map", targets.cube_maps, false);
        break;
    default: {
        char line[128];
        std::snprintf(line, sizeof line, kUnknownKind, kind);
        problems.push_back(line);
        break;
    }
    }
    return problems;
}

ResolvedTexture ResolveTextureRef(Project& project, uint32_t texture_ref, uint32_t /*time*/,
                                  const RenderCaps& /*caps*/) {
    ResolvedTexture resolved;
    const TextureRef* ref = PoolGet(project.texture_refs, texture_ref);
    if (ref == nullptr)
        return resolved;
    switch (ref->kind) {
    case TextureRefKind::kProcedural:
        if (const ProceduralTexture* texture = PoolGet(project.textures, ref->handle))
            resolved.gl_texture = texture->gl_texture;
        break;
    case TextureRefKind::kImage:
        if (const ImageTexture* image = PoolGet(project.image_files, ref->handle))
            resolved.gl_texture = image->gl_texture;
        break;
    case TextureRefKind::kEffect:
        // 2D image effects are not computed yet: their texture, brought up to date for this
        // time (through a pixel buffer when caps has pbo) and its time recorded, goes here.
        break;
    case TextureRefKind::kCubeMap:
        if (const CubeMapTexture* cube = PoolGet(project.cube_maps, ref->handle)) {
            resolved.gl_texture = cube->gl_texture;
            resolved.cube_map = true;
        }
        break;
    }
    return resolved;
}

void LoadMaterial(const XmlNode& element, Material& material) {
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get())
        if (const MaterialProperty* property = FindProperty(*child))
            LoadProperty(*child, *property, material);
}

std::vector<std::string> ValidateMaterialElement(const XmlNode& element,
                                                 const MaterialReferences& references) {
    std::vector<std::string> problems;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get()) {
        const MaterialProperty* property = FindProperty(*child);
        if (property == nullptr)
            continue;
        const std::string where = std::string(property->name) + ": ";
        if (property->kind == PropertyKind::kUniforms) {
            for (int slot = 0; slot < kUniformSlots; ++slot) {
                const std::string name = UniformAttribute(slot);
                if (const char* text = GetXmlAttribute(*child, name.c_str()))
                    CheckHandle(problems, where + name + ": ", text, "curve", references.curves,
                                true);
            }
            continue;
        }
        if (property->kind == PropertyKind::kShaderText)
            continue;
        const char* value = GetXmlAttribute(*child, kValueAttribute);
        if (value == nullptr) {
            problems.push_back(where + FormatProblem(kMissingAttribute, kValueAttribute));
            continue;
        }
        switch (property->kind) {
        case PropertyKind::kAnimated:
            if (IsDynamicWord(GetXmlAttribute(*child, "type"), DynamicWords::kAllButStatic))
                CheckHandle(problems, where, value, "curve", references.curves, false);
            break;
        case PropertyKind::kLight:
            CheckHandle(problems, where, value, "light", references.lights, true);
            break;
        case PropertyKind::kTexture:
            CheckHandle(problems, where, value, "texture reference", references.texture_refs, true);
            break;
        default:
            break;
        }
    }
    return problems;
}

} // namespace korvane
