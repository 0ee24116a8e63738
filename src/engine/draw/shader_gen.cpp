#include "draw/shader_gen.h"

#include <functional>
#include <limits>

#include "data/text_buffer.h"
#include "draw/light.h"
#include "gl/gl.h"
#include "model/curve.h"

namespace korvane {

namespace {

// The fixed pieces of the generated texts. Custom shaders in documents are written against
// the same attribute and uniform names.
constexpr char kVertexHeader[] = "attribute vec4 Position;\nuniform mat4 Projection;\nuniform "
                                 "mat4 Modelview;\nattribute vec3 Normal;\nuniform mat3 "
                                 "NormalMatrix;\n";
constexpr char kViewmatrixDeclaration[] = "uniform mat4 Viewmatrix;\n";
constexpr char kTextureMatrixDeclaration[] = "uniform mat4 TextureMatrix;\n";
constexpr char kColorVarying[] = "varying vec4 Color;\n";
constexpr char kUniformDeclaration[] = "uniform float u%u;\n";
constexpr char kMainOpening[] = "void main(void)\n{\n";
constexpr char kModelviewPosition[] = "  vec4 mp = Modelview * Position;\n";
constexpr char kNormalizedNormal[] = "  vec3 n = normalize(NormalMatrix * Normal);\n";
constexpr char kPlainNormal[] = "  vec3 n = NormalMatrix * Normal;\n";
constexpr char kLightFactor[] = "  vec3 ul%d = vec3(normalize(Viewmatrix * LightPosition%d - "
                                "mp));\n  float f%d = max(dot(n, ul%d), 0.0);\n";
constexpr char kTwoLightColor[] =
    "  vec3 Color1 = vec3(basecolor.x * (f1 * diffuse1.x + ambient1.x), basecolor.y * (f1 * "
    "diffuse1.y + ambient1.y), basecolor.z * (f1 * diffuse1.z + ambient1.z));\n  vec3 Color2 = "
    "vec3(basecolor.x * (f2 * diffuse2.x + ambient2.x), basecolor.y * (f2 * diffuse2.y + "
    "ambient2.y), basecolor.z * (f2 * diffuse2.z + ambient2.z));\n  Color = vec4(min(Color1.x "
    "+ Color2.x, 1.0), min(Color1.y + Color2.y, 1.0), min(Color1.z + Color2.z, 1.0), "
    "basecolor.w);\n";
constexpr char kOneLightColor[] =
    "  Color = vec4(min(basecolor.x * (f1 * diffuse1.x + ambient1.x), 1.0), min(basecolor.y * "
    "(f1 * diffuse1.y + ambient1.y), 1.0), min(basecolor.z * (f1 * diffuse1.z + ambient1.z), "
    "1.0), basecolor.w);\n";
constexpr char kReflection[] = "  vec3 ue = normalize(vec3(mp));\n  vec3 r = reflect(ue, n);\n";
constexpr char kSphereScale[] = "  float rz = r.z + 1.0;\n  float m = 2.0 * sqrt(r.x * r.x + r.y "
                                "* r.y + rz * rz);\n";
constexpr char kSphereRotated[] = "  vec2 rr;\n  rr.x = r.x / m;\n  rr.y = r.y / m;\n";
constexpr char kModelCoordinates[] = "  TexCoordOut%d = TexCoordIn%d;\n";
constexpr char kSphereCoordinates[] = "  TexCoordOut%d.s = r.x / m + 0.5;\n  TexCoordOut%d.t = "
                                      "r.y / m + 0.5;\n";
constexpr char kRotatedSphereCoordinates[] =
    "  TexCoordOut%d.s = TextureMatrix[0][0] * rr.x + TextureMatrix[0][1] * rr.y + 0.5;\n  "
    "TexCoordOut%d.t = TextureMatrix[1][0] * rr.x + TextureMatrix[1][1] * rr.y + 0.5;\n";
constexpr char kReflectionCoordinates[] =
    "  TexCoordOut%d.x = TextureMatrix[0][0] * r.x + TextureMatrix[0][1] * r.y + "
    "TextureMatrix[0][2] * r.z;\n  TexCoordOut%d.y = TextureMatrix[1][0] * r.x + "
    "TextureMatrix[1][1] * r.y + TextureMatrix[1][2] * r.z;\n  TexCoordOut%d.z = "
    "TextureMatrix[2][0] * r.x + TextureMatrix[2][1] * r.y + TextureMatrix[2][2] * r.z;\n";
constexpr char kVertexClosing[] = "  gl_Position = Projection * mp;\n}";

constexpr char kWhiteFog[] = "  vec4 fogcolor = vec4(1.0, 1.0, 1.0, 1.0);\n";
constexpr char kFogDepth[] = "  float z = (gl_FragCoord.z / gl_FragCoord.w - fogstart) / "
                             "(fogend - fogstart);\n";
constexpr char kFogMix[] = "  fogcolor.w = %s.w;\n  gl_FragColor = mix(%s, fogcolor, clamp(z, "
                           "0.0, 1.0));\n";
constexpr char kPlainResult[] = "  gl_FragColor = %s;\n";

// A value written into a text: a uniform name "uN" for a dynamic value, else its number.
struct Operand {
    uint32_t uniform = 0; // N of "uN"; 0 = static
    float number = 0.0f;
};

void AppendOperand(TextBuffer& text, const Operand& operand, const char* after) {
    if (operand.uniform != 0)
        AppendFormatted(text, "u%u%s", operand.uniform, after);
    else
        AppendFormatted(text, "%f%s", static_cast<double>(operand.number), after);
}

// Writes "first, second, ..., last);\n" for a list of operands.
template <size_t N> void AppendOperandList(TextBuffer& text, const std::array<Operand, N>& list) {
    for (size_t i = 0; i < N; ++i)
        AppendOperand(text, list[i], i + 1 < N ? ", " : ");\n");
}

template <size_t N> void AppendDeclarations(TextBuffer& text, const std::array<Operand, N>& list) {
    for (const Operand& operand : list) {
        if (operand.uniform != 0)
            AppendFormatted(text, kUniformDeclaration, operand.uniform);
    }
}

// Hands out the uniform names in the order the texts declare them; the counter runs over
// both shaders.
struct UniformNumbering {
    uint32_t counter = 0;
    std::array<uint32_t, kUniformSlots>* slots;

    Operand Take(bool dynamic, AnimatedValue value) {
        if (!dynamic || counter >= kUniformSlots)
            return {0, dynamic ? 0.0f : StaticValueOf(value)};
        ++counter;
        (*slots)[counter - 1] = CurveHandleOf(value);
        return {counter, 0.0f};
    }
};

const Light* LightOf(const ResourcePool<Light>& lights, uint32_t handle) {
    return handle != 0 ? PoolGet(lights, handle) : nullptr;
}

// Values first to last of a light (ambient r, g, b = 0 ... 2, diffuse r, g, b = 3 ... 5).
template <size_t N>
std::array<Operand, N> LightOperands(UniformNumbering& numbering, const Light& light, int first) {
    std::array<Operand, N> list;
    for (size_t i = 0; i < N; ++i) {
        const int value = first + static_cast<int>(i);
        list[i] = numbering.Take((light.dynamic_bits >> value) & 1u, light.values[value]);
    }
    return list;
}

Operand MaterialOperand(UniformNumbering& numbering, const Material& material, int value) {
    return numbering.Take(material.dynamic[value] != 0, material.values[value]);
}

// What the texts need to know about the three texture slots.
struct SlotLayout {
    std::array<bool, kTextureStages> set{};
    std::array<bool, kTextureStages> active{};
    std::array<bool, kTextureStages> cube{};
};

SlotLayout LayoutOf(const Material& material, const ResourcePool<TextureRef>& texture_refs) {
    SlotLayout layout;
    bool previous_active = true;
    for (int i = 0; i < kTextureStages; ++i) {
        layout.set[i] = material.textures[i] != 0;
        layout.active[i] = previous_active && layout.set[i];
        previous_active = layout.active[i];
        const TextureRef* ref =
            layout.set[i] ? PoolGet(texture_refs, material.textures[i]) : nullptr;
        layout.cube[i] = ref != nullptr && ref->kind == TextureRefKind::kCubeMap;
    }
    return layout;
}

const char* SamplerFunction(bool cube) {
    return cube ? "textureCube" : "texture2D";
}

void WriteVertexShader(TextBuffer& text, const Material& material, const SlotLayout& layout,
                       bool light1, bool light2, const std::array<Operand, 4>& colour,
                       const std::array<Operand, 6>& light1_values,
                       const std::array<Operand, 6>& light2_values) {
    const auto& generation = material.coordinate_generation;
    bool any_generated = false, any_sphere = false, any_rotated_sphere = false;
    bool texture_matrix = false;
    for (int i = 0; i < kTextureStages; ++i) {
        if (!layout.set[i])
            continue;
        any_generated |= generation[i] != kModelGeneration;
        any_sphere |= generation[i] == kSphereGeneration;
        any_rotated_sphere |= generation[i] == kSphereGeneration && material.rotation[i] != 0;
        texture_matrix |= material.rotation[i] != 0 || generation[i] == kReflectionGeneration;
    }

    AppendText(text, kVertexHeader);
    if (light1)
        AppendText(text, kViewmatrixDeclaration);
    for (int i = 0; i < kTextureStages; ++i) {
        if (!layout.set[i])
            continue;
        const char* type = generation[i] == kReflectionGeneration ? "vec3" : "vec2";
        AppendFormatted(text, "varying %s TexCoordOut%d;\n", type, i + 1);
        if (generation[i] == kModelGeneration)
            AppendFormatted(text, "attribute vec2 TexCoordIn%d;\n", i + 1);
    }
    if (texture_matrix)
        AppendText(text, kTextureMatrixDeclaration);
    AppendText(text, kColorVarying);
    AppendDeclarations(text, colour);
    if (light1) {
        AppendText(text, "uniform vec4 LightPosition1;\n");
        AppendDeclarations(text, light1_values);
        if (light2) {
            AppendText(text, "uniform vec4 LightPosition2;\n");
            AppendDeclarations(text, light2_values);
        }
    }

    AppendText(text, kMainOpening);
    AppendText(text, kModelviewPosition);
    if (light1 || any_generated)
        AppendText(text, material.normalization ? kNormalizedNormal : kPlainNormal);

    if (!light1) {
        AppendText(text, "  Color = vec4(");
        AppendOperandList(text, colour);
    } else {
        AppendText(text, "  vec4 basecolor = vec4(");
        AppendOperandList(text, colour);
        const int lights = light2 ? 2 : 1;
        for (int l = 1; l <= lights; ++l) {
            const auto& values = l == 1 ? light1_values : light2_values;
            AppendFormatted(text, "  vec3 ambient%d = vec3(", l);
            AppendOperandList(text, std::array<Operand, 3>{values[0], values[1], values[2]});
            AppendFormatted(text, "  vec3 diffuse%d = vec3(", l);
            AppendOperandList(text, std::array<Operand, 3>{values[3], values[4], values[5]});
            AppendFormatted(text, kLightFactor, l, l, l, l);
        }
        AppendText(text, light2 ? kTwoLightColor : kOneLightColor);
    }

    if (any_generated)
        AppendText(text, kReflection);
    if (any_sphere)
        AppendText(text, kSphereScale);
    if (any_rotated_sphere)
        AppendText(text, kSphereRotated);

    for (int i = 0; i < kTextureStages; ++i) {
        if (!layout.active[i])
            continue;
        const int n = i + 1;
        switch (generation[i]) {
        case kModelGeneration:
            AppendFormatted(text, kModelCoordinates, n, n);
            break;
        case kSphereGeneration:
            AppendFormatted(
                text, material.rotation[i] ? kRotatedSphereCoordinates : kSphereCoordinates, n, n);
            break;
        case kReflectionGeneration:
            AppendFormatted(text, kReflectionCoordinates, n, n, n);
            break;
        default: // no coordinates: the documents never ask for other kinds
            break;
        }
    }
    AppendText(text, kVertexClosing);
}

void WriteFragmentShader(TextBuffer& text, const Material& material, const SlotLayout& layout,
                         const Light* fog_light, const std::array<Operand, 3>& fog_colour,
                         const Operand& fog_start, const Operand& fog_end) {
    for (int i = 0; i < kTextureStages; ++i) {
        if (!layout.set[i])
            continue;
        if (layout.cube[i])
            AppendFormatted(text, "varying vec3 TexCoordOut%d;\nuniform samplerCube Texture%d;\n",
                            i + 1, i);
        else
            AppendFormatted(text, "varying vec2 TexCoordOut%d;\nuniform sampler2D Texture%d;\n",
                            i + 1, i);
    }
    AppendText(text, kColorVarying);
    const bool fog = material.fog_type != 0;
    if (fog) {
        if (fog_light)
            AppendDeclarations(text, fog_colour);
        AppendDeclarations(text, std::array<Operand, 2>{fog_start, fog_end});
    }
    AppendText(text, kMainOpening);

    if (fog) {
        if (!fog_light) {
            AppendText(text, kWhiteFog);
        } else {
            AppendText(text, "  vec4 fogcolor = vec4(");
            AppendOperand(text, fog_colour[0], ", ");
            AppendOperand(text, fog_colour[1], ", ");
            AppendOperand(text, fog_colour[2], ", 1.0);\n");
        }
        AppendText(text, "  float fogstart = ");
        AppendOperand(text, fog_start, ";\n");
        AppendText(text, "  float fogend = ");
        AppendOperand(text, fog_end, ";\n");
        AppendText(text, kFogDepth);
    }

    if (layout.active[0]) {
        AppendText(text, "  vec4 texunit1 = ");
        switch (material.functions[0]) {
        case 0:
            AppendText(text, "Color * ");
            break;
        case 1:
            AppendText(text, "vec4(Color.x, Color.y, Color.z, 1.0) * ");
            break;
        case 3:
            AppendText(text, "Color + ");
            break;
        default: // the texture alone
            break;
        }
        AppendFormatted(text, "%s(Texture0, TexCoordOut1);\n", SamplerFunction(layout.cube[0]));
    }
    if (layout.active[1]) {
        const char* sampler = SamplerFunction(layout.cube[1]);
        switch (material.functions[1]) {
        case 0:
            AppendFormatted(text, "  vec4 texunit2 = texunit1 + %s(Texture1, TexCoordOut2)",
                            sampler);
            break;
        case 1:
            AppendFormatted(text, "  vec4 texunit2 = texunit1 * %s(Texture1, TexCoordOut2)",
                            sampler);
            break;
        case 2:
            AppendFormatted(text,
                            "  float x = dot((texunit1.rgb - 0.5) * 2.0, (%s(Texture1, "
                            "TexCoordOut2).rgb - 0.5) * 2.0);\n",
                            sampler);
            AppendText(text, "  x = clamp(x, 0.0, 1.0);\n");
            AppendText(text, "  vec4 texunit2 = vec4(x, x, x, 0.0)");
            break;
        case 3:
            AppendFormatted(text,
                            "  vec4 texunit2 = Color * %s(Texture1, TexCoordOut2) + (1.0 - "
                            "Color) * texunit1",
                            sampler);
            break;
        case 4:
            AppendFormatted(text,
                            "  vec4 texunit2 = Color.a * %s(Texture1, TexCoordOut2) + (1.0 - "
                            "Color.a) * texunit1",
                            sampler);
            break;
        case 5:
            AppendFormatted(text, "  vec4 texunit2 = %s(Texture1, TexCoordOut2);\n", sampler);
            AppendText(text, "  texunit2 = texunit1 + vec4(texunit2.x, texunit2.y, texunit2.z, "
                             "0.0)");
            break;
        default:
            // Unknown functions pass stage 1 on, so that the program still compiles (the
            // fixed-function path leaves the stage's combiner as it was).
            AppendText(text, "  vec4 texunit2 = texunit1");
            break;
        }
        if (layout.active[2])
            AppendFormatted(text, " + Color * %s(Texture2, TexCoordOut3);\n",
                            SamplerFunction(layout.cube[2]));
        else
            AppendText(text, ";\n");
    }

    const char* result = layout.active[1] ? "texunit2" : layout.active[0] ? "texunit1" : "Color";
    if (fog)
        AppendFormatted(text, kFogMix, result, result);
    else
        AppendFormatted(text, kPlainResult, result);
    AppendText(text, "}");
}

uint64_t HashTexts(std::string_view vertex, std::string_view fragment) {
    const uint64_t a = std::hash<std::string_view>{}(vertex);
    const uint64_t b = std::hash<std::string_view>{}(fragment);
    return a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
}

// A material whose generated record owns its program with the same texts as the record
// given.
bool OwnsSameProgram(const ResourcePool<Material>& materials, uint32_t handle,
                     const ShaderProgram& texts) {
    const Material* other = PoolGet(materials, handle);
    if (other == nullptr || other->use_custom_shaders || !other->shader_program)
        return false;
    const ShaderProgram& record = *other->shader_program;
    return record.shared_from == 0 && record.vertex_length == texts.vertex_length &&
           record.fragment_length == texts.fragment_length &&
           record.vertex_text == texts.vertex_text && record.fragment_text == texts.fragment_text;
}

} // namespace

ShaderProgram::~ShaderProgram() {
    if (program != 0)
        glDeleteProgram(program);
    if (vertex_shader != 0)
        glDeleteShader(vertex_shader);
    if (fragment_shader != 0)
        glDeleteShader(fragment_shader);
}

GeneratedShaders WriteMaterialShaders(const Material& material, const ResourcePool<Light>& lights,
                                      const ResourcePool<TextureRef>& texture_refs) {
    GeneratedShaders out;
    const SlotLayout layout = LayoutOf(material, texture_refs);
    // Light 2 without light 1 is no light at all, as on the fixed-function path.
    const Light* light1 = LightOf(lights, material.light1);
    const Light* light2 = light1 ? LightOf(lights, material.light2) : nullptr;
    const Light* fog_light = LightOf(lights, material.fog_color);
    const bool fog = material.fog_type != 0;

    // Every dynamic value takes its uniform number in the order the texts declare them.
    UniformNumbering numbering{0, &out.uniform_curves};
    std::array<Operand, 4> colour;
    for (int i = 0; i < 4; ++i)
        colour[i] = MaterialOperand(numbering, material, kMaterialRed + i);
    std::array<Operand, 6> light1_values{}, light2_values{};
    if (light1)
        light1_values = LightOperands<6>(numbering, *light1, kLightAmbientRed);
    if (light2)
        light2_values = LightOperands<6>(numbering, *light2, kLightAmbientRed);
    std::array<Operand, 3> fog_colour{};
    Operand fog_start, fog_end;
    if (fog) {
        if (fog_light)
            fog_colour = LightOperands<3>(numbering, *fog_light, kLightDiffuseRed);
        fog_start = MaterialOperand(numbering, material, kMaterialFogStart);
        fog_end = MaterialOperand(numbering, material, kMaterialFogEnd);
    }

    TextBuffer text(2048);
    WriteVertexShader(text, material, layout, light1 != nullptr, light2 != nullptr, colour,
                      light1_values, light2_values);
    out.vertex.assign(text.View());
    text.length = 0;
    text.data[0] = '\0';
    WriteFragmentShader(text, material, layout, fog_light, fog_colour, fog_start, fog_end);
    out.fragment.assign(text.View());
    return out;
}

void GenerateMaterialShaders(Material& material, const ResourcePool<Light>& lights,
                             const ResourcePool<TextureRef>& texture_refs) {
    if (!material.shader_program)
        material.shader_program = std::make_unique<ShaderProgram>();
    GeneratedShaders texts = WriteMaterialShaders(material, lights, texture_refs);
    ShaderProgram& record = *material.shader_program;
    record.vertex_text = std::move(texts.vertex);
    record.fragment_text = std::move(texts.fragment);
    record.vertex_length = static_cast<uint32_t>(record.vertex_text.size());
    record.fragment_length = static_cast<uint32_t>(record.fragment_text.size());
    record.uniform_curves = texts.uniform_curves;
}

uint32_t FindSharedProgram(const ResourcePool<Material>& materials, uint32_t material) {
    const Material* self = PoolGet(materials, material);
    if (self == nullptr || self->use_custom_shaders || !self->shader_program)
        return 0;
    for (uint32_t position = 1; position <= materials.count; ++position) {
        const uint32_t handle = PoolHandleAt(materials, position);
        if (handle != material && OwnsSameProgram(materials, handle, *self->shader_program))
            return handle;
    }
    return 0;
}

uint32_t FindSharedProgram(const ResourcePool<Material>& materials, uint32_t material,
                           ProgramShareIndex& index) {
    const Material* self = PoolGet(materials, material);
    if (self == nullptr || self->use_custom_shaders || !self->shader_program)
        return 0;
    const ShaderProgram& texts = *self->shader_program;
    const uint64_t hash = HashTexts(texts.vertex_text, texts.fragment_text);
    uint32_t best = 0;
    uint32_t best_position = std::numeric_limits<uint32_t>::max();
    bool indexed = false;
    auto [first, last] = index.owners.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const uint32_t handle = it->second;
        if (handle == material) {
            indexed = true;
            continue;
        }
        const uint32_t position = PoolPositionOf(materials, handle);
        if (position != 0 && position < best_position &&
            OwnsSameProgram(materials, handle, texts)) {
            best = handle;
            best_position = position;
        }
    }
    if (best == 0 && !indexed)
        index.owners.emplace(hash, material);
    return best;
}

} // namespace korvane
