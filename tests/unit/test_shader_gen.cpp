#include "draw/shader_gen.h"
#include "draw/shader_program.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "draw/light.h"
#include "draw/material.h"

namespace korvane {
namespace {

// The fixed opening of every generated vertex shader.
const std::string kHeader = "attribute vec4 Position;\n"
                            "uniform mat4 Projection;\n"
                            "uniform mat4 Modelview;\n"
                            "attribute vec3 Normal;\n"
                            "uniform mat3 NormalMatrix;\n";

// Lights and texture references for the materials under test. Texture reference 1 is an
// image, 2 a cube map, 3 a procedural texture.
struct ShaderFixture : testing::Test {
    std::unique_ptr<ResourcePool<Light>> lights = CreatePool<ResourcePool<Light>>();
    std::unique_ptr<ResourcePool<TextureRef>> refs = CreatePool<ResourcePool<TextureRef>>();
    std::unique_ptr<ResourcePool<FunctionCurve>> curves = CreatePool<ResourcePool<FunctionCurve>>();

    static constexpr uint32_t kImage = 1, kCube = 2, kProcedural = 3;

    void SetUp() override {
        for (TextureRefKind kind :
             {TextureRefKind::kImage, TextureRefKind::kCubeMap, TextureRefKind::kProcedural}) {
            PoolGet(*refs, PoolAdd(*refs))->kind = kind;
        }
    }

    // A light of static values; each (value, curve) pair makes that value dynamic.
    uint32_t AddLight(std::array<float, 9> values,
                      std::vector<std::pair<int, uint32_t>> dynamic = {}) {
        const uint32_t handle = PoolAdd(*lights);
        Light& light = *PoolGet(*lights, handle);
        for (int i = 0; i < 9; ++i)
            light.values[i] = MakeStaticValue(values[i]);
        for (auto [value, curve] : dynamic) {
            light.values[value] = MakeDynamicValue(curve);
            light.dynamic_bits |= 1u << value;
        }
        return handle;
    }

    // A curve that is the same number at every time.
    uint32_t AddConstantCurve(float value) {
        const uint32_t handle = PoolAdd(*curves);
        FunctionCurve& curve = *PoolGet(*curves, handle);
        curve.segment_count = 1;
        curve.segment_kinds[0] = CurveKind::kConstant;
        curve.segment_lengths[0] = UINT32_MAX;
        curve.segment_parameters[0][0] = value;
        return handle;
    }

    GeneratedShaders Write(const Material& material) {
        return WriteMaterialShaders(material, *lights, *refs);
    }
};

void SetColour(Material& material, float r, float g, float b, float a) {
    const float colour[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) {
        material.values[kMaterialRed + i] = MakeStaticValue(colour[i]);
        material.dynamic[kMaterialRed + i] = 0;
    }
}

void SetDynamic(Material& material, MaterialValue value, uint32_t curve) {
    material.values[value] = MakeDynamicValue(curve);
    material.dynamic[value] = 1;
}

void SetStatic(Material& material, MaterialValue value, float number) {
    material.values[value] = MakeStaticValue(number);
    material.dynamic[value] = 0;
}

void SetStage(Material& material, int stage, uint32_t texture, uint8_t generation = 0,
              uint8_t function = 0, uint8_t rotation = 0) {
    material.textures[stage] = texture;
    material.coordinate_generation[stage] = generation;
    material.functions[stage] = function;
    material.rotation[stage] = rotation;
}

std::array<uint32_t, kUniformSlots> Slots(std::vector<uint32_t> first) {
    std::array<uint32_t, kUniformSlots> slots{};
    for (size_t i = 0; i < first.size(); ++i)
        slots[i] = first[i];
    return slots;
}

TEST_F(ShaderFixture, StaticColourWritesTheShortestPrograms) {
    Material material;
    SetColour(material, 1.0f, 0.5f, 0.25f, 0.75f);
    const GeneratedShaders texts = Write(material);
    EXPECT_EQ(texts.vertex, kHeader + "varying vec4 Color;\n"
                                      "void main(void)\n{\n"
                                      "  vec4 mp = Modelview * Position;\n"
                                      "  Color = vec4(1.000000, 0.500000, 0.250000, 0.750000);\n"
                                      "  gl_Position = Projection * mp;\n"
                                      "}");
    EXPECT_EQ(texts.fragment, "varying vec4 Color;\n"
                              "void main(void)\n{\n"
                              "  gl_FragColor = Color;\n"
                              "}");
    EXPECT_EQ(texts.uniform_curves, Slots({}));

    // Light 2 without light 1 is no light at all.
    material.light2 = AddLight({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 1, 2, 3});
    const GeneratedShaders unlit = Write(material);
    EXPECT_EQ(unlit.vertex, texts.vertex);
    EXPECT_EQ(unlit.fragment, texts.fragment);
}

TEST_F(ShaderFixture, DynamicColourValuesBecomeNumberedUniforms) {
    Material material;
    SetColour(material, 1.0f, 0.5f, 0.25f, 0.75f);
    SetDynamic(material, kMaterialRed, 7);
    SetDynamic(material, kMaterialAlpha, 3);
    const GeneratedShaders texts = Write(material);
    EXPECT_EQ(texts.vertex, kHeader + "varying vec4 Color;\n"
                                      "uniform float u1;\n"
                                      "uniform float u2;\n"
                                      "void main(void)\n{\n"
                                      "  vec4 mp = Modelview * Position;\n"
                                      "  Color = vec4(u1, 0.500000, 0.250000, u2);\n"
                                      "  gl_Position = Projection * mp;\n"
                                      "}");
    EXPECT_EQ(texts.uniform_curves, Slots({7, 3}));

    // Generating again clears the slots of the old text and keeps the GL side of the record.
    GenerateMaterialShaders(material, *lights, *refs);
    material.shader_program->shared_from = 4;
    SetStatic(material, kMaterialRed, 1.0f);
    GenerateMaterialShaders(material, *lights, *refs);
    EXPECT_EQ(material.shader_program->uniform_curves, Slots({3}));
    EXPECT_EQ(material.shader_program->shared_from, 4u);
    EXPECT_NE(material.shader_program->vertex_text.find("  Color = vec4(1.000000, 0.500000, "
                                                        "0.250000, u1);\n"),
              std::string::npos);
    EXPECT_EQ(material.shader_program->vertex_length, material.shader_program->vertex_text.size());
    EXPECT_EQ(material.shader_program->fragment_length,
              material.shader_program->fragment_text.size());
}

TEST_F(ShaderFixture, OneCounterRunsOverBothShaders) {
    Material material;
    SetColour(material, 1.0f, 0.5f, 0.25f, 0.75f);
    SetDynamic(material, kMaterialRed, 4);
    material.fog_type = 2;
    SetDynamic(material, kMaterialFogStart, 6);
    SetStatic(material, kMaterialFogEnd, 100.0f);
    const GeneratedShaders texts = Write(material);
    EXPECT_NE(texts.vertex.find("uniform float u1;\n"), std::string::npos);
    EXPECT_EQ(texts.vertex.find("u2"), std::string::npos);
    EXPECT_EQ(texts.fragment, "varying vec4 Color;\n"
                              "uniform float u2;\n"
                              "void main(void)\n{\n"
                              "  vec4 fogcolor = vec4(1.0, 1.0, 1.0, 1.0);\n"
                              "  float fogstart = u2;\n"
                              "  float fogend = 100.000000;\n"
                              "  float z = (gl_FragCoord.z / gl_FragCoord.w - fogstart) / "
                              "(fogend - fogstart);\n"
                              "  fogcolor.w = Color.w;\n"
                              "  gl_FragColor = mix(Color, fogcolor, clamp(z, 0.0, 1.0));\n"
                              "}");
    EXPECT_EQ(texts.uniform_curves, Slots({4, 6}));

    // Alone, the fog start is the first uniform.
    SetStatic(material, kMaterialRed, 1.0f);
    const GeneratedShaders fog_only = Write(material);
    EXPECT_NE(fog_only.fragment.find("uniform float u1;\n"), std::string::npos);
    EXPECT_NE(fog_only.fragment.find("  float fogstart = u1;\n"), std::string::npos);
    EXPECT_EQ(fog_only.uniform_curves, Slots({6}));
}

// Two lights, a model-mapped image and a reflection-mapped cube map, fog coloured by light 2:
// every part of both texts at once, and the numbering across lights and fog.
TEST_F(ShaderFixture, LitTexturedFoggedMaterialWritesEveryPart) {
    Material material;
    SetColour(material, 1.0f, 0.5f, 0.25f, 1.0f);
    SetDynamic(material, kMaterialGreen, 3);
    material.light1 = AddLight({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 1, 2, 3}, {{0, 5}});
    material.light2 = AddLight({0, 0, 0, 0.25f, 0.5f, 0.75f, 0, 0, 0});
    SetStage(material, 0, kImage, 0, 0);
    SetStage(material, 1, kCube, 2, 1);
    material.fog_type = 1;
    material.fog_color = material.light2;
    SetStatic(material, kMaterialFogStart, 10.0f);
    SetDynamic(material, kMaterialFogEnd, 9);

    const GeneratedShaders texts = Write(material);
    EXPECT_EQ(texts.vertex,
              kHeader +
                  "uniform mat4 Viewmatrix;\n"
                  "varying vec2 TexCoordOut1;\n"
                  "attribute vec2 TexCoordIn1;\n"
                  "varying vec3 TexCoordOut2;\n"
                  "uniform mat4 TextureMatrix;\n"
                  "varying vec4 Color;\n"
                  "uniform float u1;\n"
                  "uniform vec4 LightPosition1;\n"
                  "uniform float u2;\n"
                  "uniform vec4 LightPosition2;\n"
                  "void main(void)\n{\n"
                  "  vec4 mp = Modelview * Position;\n"
                  "  vec3 n = NormalMatrix * Normal;\n"
                  "  vec4 basecolor = vec4(1.000000, u1, 0.250000, 1.000000);\n"
                  "  vec3 ambient1 = vec3(u2, 0.200000, 0.300000);\n"
                  "  vec3 diffuse1 = vec3(0.400000, 0.500000, 0.600000);\n"
                  "  vec3 ul1 = vec3(normalize(Viewmatrix * LightPosition1 - mp));\n"
                  "  float f1 = max(dot(n, ul1), 0.0);\n"
                  "  vec3 ambient2 = vec3(0.000000, 0.000000, 0.000000);\n"
                  "  vec3 diffuse2 = vec3(0.250000, 0.500000, 0.750000);\n"
                  "  vec3 ul2 = vec3(normalize(Viewmatrix * LightPosition2 - mp));\n"
                  "  float f2 = max(dot(n, ul2), 0.0);\n"
                  "  vec3 Color1 = vec3(basecolor.x * (f1 * diffuse1.x + ambient1.x), "
                  "basecolor.y * (f1 * diffuse1.y + ambient1.y), basecolor.z * (f1 * diffuse1.z "
                  "+ ambient1.z));\n"
                  "  vec3 Color2 = vec3(basecolor.x * (f2 * diffuse2.x + ambient2.x), "
                  "basecolor.y * (f2 * diffuse2.y + ambient2.y), basecolor.z * (f2 * diffuse2.z "
                  "+ ambient2.z));\n"
                  "  Color = vec4(min(Color1.x + Color2.x, 1.0), min(Color1.y + Color2.y, 1.0), "
                  "min(Color1.z + Color2.z, 1.0), basecolor.w);\n"
                  "  vec3 ue = normalize(vec3(mp));\n"
                  "  vec3 r = reflect(ue, n);\n"
                  "  TexCoordOut1 = TexCoordIn1;\n"
                  "  TexCoordOut2.x = TextureMatrix[0][0] * r.x + TextureMatrix[0][1] * r.y + "
                  "TextureMatrix[0][2] * r.z;\n"
                  "  TexCoordOut2.y = TextureMatrix[1][0] * r.x + TextureMatrix[1][1] * r.y + "
                  "TextureMatrix[1][2] * r.z;\n"
                  "  TexCoordOut2.z = TextureMatrix[2][0] * r.x + TextureMatrix[2][1] * r.y + "
                  "TextureMatrix[2][2] * r.z;\n"
                  "  gl_Position = Projection * mp;\n"
                  "}");
    EXPECT_EQ(texts.fragment,
              "varying vec2 TexCoordOut1;\n"
              "uniform sampler2D Texture0;\n"
              "varying vec3 TexCoordOut2;\n"
              "uniform samplerCube Texture1;\n"
              "varying vec4 Color;\n"
              "uniform float u3;\n"
              "void main(void)\n{\n"
              "  vec4 fogcolor = vec4(0.250000, 0.500000, 0.750000, 1.0);\n"
              "  float fogstart = 10.000000;\n"
              "  float fogend = u3;\n"
              "  float z = (gl_FragCoord.z / gl_FragCoord.w - fogstart) / (fogend - fogstart);\n"
              "  vec4 texunit1 = Color * texture2D(Texture0, TexCoordOut1);\n"
              "  vec4 texunit2 = texunit1 * textureCube(Texture1, TexCoordOut2);\n"
              "  fogcolor.w = texunit2.w;\n"
              "  gl_FragColor = mix(texunit2, fogcolor, clamp(z, 0.0, 1.0));\n"
              "}");
    EXPECT_EQ(texts.uniform_curves, Slots({3, 5, 9}));
}

TEST_F(ShaderFixture, OneLightWithDynamicFogColour) {
    Material material;
    SetColour(material, 1.0f, 1.0f, 1.0f, 0.5f);
    material.normalization = 1;
    material.light1 = AddLight({0, 0, 0, 1, 1, 1, 0, 0, 0});
    material.fog_type = 3; // every non-zero type is the same linear fog
    material.fog_color = AddLight({0, 0, 0, 0.5f, 0.5f, 0.5f, 0, 0, 0}, {{3, 11}, {5, 12}});
    const GeneratedShaders texts = Write(material);
    for (const char* piece :
         {"  vec3 n = normalize(NormalMatrix * Normal);\n",
          "  Color = vec4(min(basecolor.x * (f1 * diffuse1.x + ambient1.x), 1.0), "
          "min(basecolor.y * (f1 * diffuse1.y + ambient1.y), 1.0), min(basecolor.z * (f1 * "
          "diffuse1.z + ambient1.z), 1.0), basecolor.w);\n  gl_Position"}) {
        EXPECT_NE(texts.vertex.find(piece), std::string::npos) << piece;
    }
    EXPECT_EQ(texts.vertex.find("LightPosition2"), std::string::npos);
    EXPECT_NE(texts.fragment.find("uniform float u1;\nuniform float u2;\nvoid main"),
              std::string::npos);
    EXPECT_NE(texts.fragment.find("  vec4 fogcolor = vec4(u1, 0.500000, u2, 1.0);\n"),
              std::string::npos);
    EXPECT_EQ(texts.uniform_curves, Slots({11, 12}));
}

// Pieces of the texts for the texture stages: declarations follow set slots, code follows
// active stages.
struct StageCase {
    const char* name;
    std::function<void(Material&)> setup;
    std::vector<std::string> vertex_pieces;
    std::vector<std::string> fragment_pieces;
    std::vector<std::string> absent; // in neither text
};

TEST_F(ShaderFixture, TextureStagesWriteTheirDeclarationsAndCode) {
    const std::vector<StageCase> cases = {
        {"stage 3 adds to stage 2's line whatever its function",
         [](Material& m) {
             SetStage(m, 0, kImage, 0, 2);
             SetStage(m, 1, kProcedural, 0, 0);
             SetStage(m, 2, kImage, 0, 7);
         },
         {"varying vec2 TexCoordOut3;\nattribute vec2 TexCoordIn3;\n",
          "  TexCoordOut3 = TexCoordIn3;\n  gl_Position"},
         {"  vec4 texunit1 = texture2D(Texture0, TexCoordOut1);\n",
          "  vec4 texunit2 = texunit1 + texture2D(Texture1, TexCoordOut2) + Color * "
          "texture2D(Texture2, TexCoordOut3);\n  gl_FragColor = texunit2;\n}"},
         {"TextureMatrix", "vec3 n"}},
        {"a slot after an unset one is declared but not used",
         [](Material& m) { SetStage(m, 1, kCube, 0, 0); },
         {"varying vec2 TexCoordOut2;\nattribute vec2 TexCoordIn2;\nvarying vec4 Color;\n"},
         {"varying vec3 TexCoordOut2;\nuniform samplerCube Texture1;\nvarying vec4 Color;\n",
          "  gl_FragColor = Color;\n}"},
         {"TexCoordOut2 = ", "texunit"}},
        {"reflection without a cube map: vec3 out, vec2 in (such a program does not link)",
         [](Material& m) { SetStage(m, 0, kImage, 2, 1); },
         {"varying vec3 TexCoordOut1;\nuniform mat4 TextureMatrix;\n",
          "  vec3 n = NormalMatrix * Normal;\n", "  TexCoordOut1.z = TextureMatrix[2][0]"},
         {"varying vec2 TexCoordOut1;\nuniform sampler2D Texture0;\n",
          "  vec4 texunit1 = vec4(Color.x, Color.y, Color.z, 1.0) * texture2D(Texture0, "
          "TexCoordOut1);\n"},
         {"TexCoordIn1"}},
        {"sphere maps, one turned with the camera",
         [](Material& m) {
             SetStage(m, 0, kImage, 1, 3, 1);
             SetStage(m, 1, kImage, 1, 2, 0);
         },
         {"varying vec2 TexCoordOut1;\nvarying vec2 TexCoordOut2;\nuniform mat4 "
          "TextureMatrix;\n",
          "  vec3 ue = normalize(vec3(mp));\n  vec3 r = reflect(ue, n);\n  float rz = r.z + "
          "1.0;\n  float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + rz * rz);\n  vec2 rr;\n  rr.x = "
          "r.x / m;\n  rr.y = r.y / m;\n",
          "  TexCoordOut1.s = TextureMatrix[0][0] * rr.x + TextureMatrix[0][1] * rr.y + 0.5;\n"
          "  TexCoordOut1.t = TextureMatrix[1][0] * rr.x + TextureMatrix[1][1] * rr.y + 0.5;\n"
          "  TexCoordOut2.s = r.x / m + 0.5;\n  TexCoordOut2.t = r.y / m + 0.5;\n"},
         {"  vec4 texunit1 = Color + texture2D(Texture0, TexCoordOut1);\n"
          "  float x = dot((texunit1.rgb - 0.5) * 2.0, (texture2D(Texture1, TexCoordOut2).rgb "
          "- 0.5) * 2.0);\n  x = clamp(x, 0.0, 1.0);\n  vec4 texunit2 = vec4(x, x, x, 0.0);\n"},
         {"TexCoordIn"}},
        {"a rotated model-mapped stage declares the matrix but does not use it",
         [](Material& m) { SetStage(m, 0, kImage, 0, 0, 1); },
         {"uniform mat4 TextureMatrix;\n", "  TexCoordOut1 = TexCoordIn1;\n"},
         {},
         {"vec3 n", "TextureMatrix["}},
        {"interpolating stage 2 functions and a cube map in stage 1",
         [](Material& m) {
             SetStage(m, 0, kCube, 2, 0);
             SetStage(m, 1, kImage, 0, 3);
         },
         {},
         {"  vec4 texunit1 = Color * textureCube(Texture0, TexCoordOut1);\n"
          "  vec4 texunit2 = Color * texture2D(Texture1, TexCoordOut2) + (1.0 - Color) * "
          "texunit1;\n"},
         {}},
        {"stage 2 function 4 blends by the colour's alpha",
         [](Material& m) {
             SetStage(m, 0, kImage, 0, 0);
             SetStage(m, 1, kImage, 0, 4);
         },
         {},
         {"  vec4 texunit2 = Color.a * texture2D(Texture1, TexCoordOut2) + (1.0 - Color.a) * "
          "texunit1;\n"},
         {}},
        {"stage 2 function 5 adds the colour and keeps stage 1's alpha",
         [](Material& m) {
             SetStage(m, 0, kImage, 0, 0);
             SetStage(m, 1, kImage, 0, 5);
         },
         {},
         {"  vec4 texunit2 = texture2D(Texture1, TexCoordOut2);\n  texunit2 = texunit1 + "
          "vec4(texunit2.x, texunit2.y, texunit2.z, 0.0);\n"},
         {}},
        {"an unknown stage 2 function passes stage 1 on",
         [](Material& m) {
             SetStage(m, 0, kImage, 0, 0);
             SetStage(m, 1, kImage, 0, 9);
         },
         {},
         {"  vec4 texunit2 = texunit1;\n  gl_FragColor = texunit2;\n"},
         {}},
    };
    for (const StageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Material material;
        SetColour(material, 1, 1, 1, 1);
        c.setup(material);
        const GeneratedShaders texts = Write(material);
        for (const std::string& piece : c.vertex_pieces)
            EXPECT_NE(texts.vertex.find(piece), std::string::npos) << piece << "\n" << texts.vertex;
        for (const std::string& piece : c.fragment_pieces)
            EXPECT_NE(texts.fragment.find(piece), std::string::npos) << piece << "\n"
                                                                     << texts.fragment;
        for (const std::string& piece : c.absent) {
            EXPECT_EQ(texts.vertex.find(piece), std::string::npos) << piece;
            EXPECT_EQ(texts.fragment.find(piece), std::string::npos) << piece;
        }
    }
}

// The most uniforms a material can have: 4 colour values, 6 per light and 5 for fog.
TEST_F(ShaderFixture, TwentyOneDynamicValuesFillTheSlotsInOrder) {
    Material material;
    for (int i = 0; i < 4; ++i)
        SetDynamic(material, static_cast<MaterialValue>(kMaterialRed + i), 100 + i);
    std::vector<std::pair<int, uint32_t>> first, second, fog;
    for (int v = 0; v < 6; ++v) {
        first.push_back({v, 200 + v});
        second.push_back({v, 300 + v});
    }
    for (int v = 3; v < 6; ++v)
        fog.push_back({v, 400 + v});
    material.light1 = AddLight({}, first);
    material.light2 = AddLight({}, second);
    material.fog_color = AddLight({}, fog);
    material.fog_type = 1;
    SetDynamic(material, kMaterialFogStart, 500);
    SetDynamic(material, kMaterialFogEnd, 501);
    const GeneratedShaders texts = Write(material);
    EXPECT_EQ(texts.uniform_curves, Slots({100, 101, 102, 103, 200, 201, 202, 203, 204, 205, 300,
                                           301, 302, 303, 304, 305, 403, 404, 405, 500, 501}));
    EXPECT_NE(texts.vertex.find("  vec3 diffuse2 = vec3(u14, u15, u16);\n"), std::string::npos);
    EXPECT_NE(texts.fragment.find("  vec4 fogcolor = vec4(u17, u18, u19, 1.0);\n  float "
                                  "fogstart = u20;\n  float fogend = u21;\n"),
              std::string::npos);
}

// Materials of the pool as the loader leaves them in shader mode, without GL: generated,
// shared through the index, and compared with the walk at every step.
struct SharingFixture : ShaderFixture {
    std::unique_ptr<ResourcePool<Material>> materials = CreatePool<ResourcePool<Material>>();
    ProgramShareIndex index;

    // Variant v is a static colour whose red is v / 8, so variants differ only in digits
    // and their texts have the same lengths.
    void Configure(Material& material, int variant) {
        SetColour(material, static_cast<float>(variant) / 8.0f, 0.5f, 0.5f, 1.0f);
    }

    void Share(uint32_t handle) {
        Material& material = *PoolGet(*materials, handle);
        GenerateMaterialShaders(material, *lights, *refs);
        const uint32_t walk = FindSharedProgram(*materials, handle);
        const uint32_t indexed = FindSharedProgram(*materials, handle, index);
        EXPECT_EQ(indexed, walk) << "material " << handle;
        material.shader_program->shared_from = indexed;
    }

    uint32_t Add(int variant) {
        const uint32_t handle = PoolAdd(*materials);
        Configure(*PoolGet(*materials, handle), variant);
        Share(handle);
        return handle;
    }

    // A material with custom shaders whose texts equal a generated variant's.
    uint32_t AddCustom(int variant) {
        const uint32_t handle = PoolAdd(*materials);
        Material& material = *PoolGet(*materials, handle);
        Configure(material, variant);
        GenerateMaterialShaders(material, *lights, *refs);
        material.use_custom_shaders = 1;
        material.custom.vertex_shader = material.shader_program->vertex_text;
        material.custom.fragment_shader = material.shader_program->fragment_text;
        return handle;
    }

    uint32_t SharedFrom(uint32_t handle) {
        return PoolGet(*materials, handle)->shader_program->shared_from;
    }
};

// Steps of a sharing scenario: add a material, add one with custom shaders, configure an
// existing material again and share it again, swap two positions, or make a material an
// owner behind the index's back (as a caller that skips the lookup would).
struct ShareStep {
    enum Kind { kAdd, kCustom, kRedo, kSwap, kForceOwner } kind;
    int a = 0; // variant, or handle
    int b = 0; // variant for kRedo, second position for kSwap
};

struct ShareCase {
    const char* name;
    std::vector<ShareStep> steps;
    std::vector<uint32_t> shared_from; // per handle at the end; the last lookup for each
};

TEST_F(SharingFixture, IndexedSharingEqualsTheWalk) {
    using S = ShareStep;
    const std::vector<ShareCase> cases = {
        {"equal texts share with the first",
         {{S::kAdd, 1}, {S::kAdd, 2}, {S::kAdd, 1}, {S::kAdd, 2}, {S::kAdd, 1}},
         {0, 0, 1, 2, 1}},
        {"custom programs are never shared",
         {{S::kCustom, 1}, {S::kAdd, 1}, {S::kAdd, 1}},
         {0, 0, 2}},
        {"an owner that changed texts is no longer found",
         {{S::kAdd, 1}, {S::kRedo, 1, 3}, {S::kAdd, 1}, {S::kAdd, 3}},
         {0, 0, 1}},
        {"a sharer that changed texts becomes an owner",
         {{S::kAdd, 1}, {S::kAdd, 1}, {S::kRedo, 2, 4}, {S::kAdd, 4}, {S::kAdd, 1}},
         {0, 0, 2, 1}},
        {"of two owners the one first in list order wins",
         {{S::kAdd, 1},
          {S::kRedo, 1, 5},
          {S::kAdd, 1},
          {S::kRedo, 1, 1},
          {S::kForceOwner, 1},
          {S::kAdd, 1},
          {S::kSwap, 1, 2},
          {S::kAdd, 1}},
         {0, 0, 1, 2}},
    };
    for (const ShareCase& c : cases) {
        SCOPED_TRACE(c.name);
        DestroyPool(*materials);
        index = ProgramShareIndex{};
        for (const ShareStep& step : c.steps) {
            switch (step.kind) {
            case S::kAdd:
                Add(step.a);
                break;
            case S::kCustom:
                AddCustom(step.a);
                break;
            case S::kRedo:
                Configure(*PoolGet(*materials, step.a), step.b);
                Share(step.a);
                break;
            case S::kSwap:
                PoolSwap(*materials, step.a, step.b);
                break;
            case S::kForceOwner:
                PoolGet(*materials, step.a)->shader_program->shared_from = 0;
                break;
            }
        }
        for (uint32_t handle = 1; handle <= c.shared_from.size(); ++handle) {
            const Material& material = *PoolGet(*materials, handle);
            if (material.use_custom_shaders)
                continue;
            EXPECT_EQ(SharedFrom(handle), c.shared_from[handle - 1]) << "material " << handle;
        }
    }
}

TEST_F(SharingFixture, ManyMaterialsShareAsTheWalkDoes) {
    // A fixed pseudo-random mix of 16 variants over 600 materials, some with custom shaders.
    uint32_t seed = 12345;
    for (int i = 0; i < 600; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int variant = static_cast<int>((seed >> 16) % 16);
        if ((seed >> 8) % 23 == 0)
            AddCustom(variant);
        else
            Add(variant);
    }
    int owners = 0;
    for (uint32_t handle = 1; handle <= 600; ++handle) {
        const Material& material = *PoolGet(*materials, handle);
        owners += !material.use_custom_shaders && material.shader_program->shared_from == 0;
    }
    EXPECT_EQ(owners, 16);
}

TEST_F(SharingFixture, SharedProgramsAnimateWithEachMaterialsOwnCurves) {
    const uint32_t curve_a = AddConstantCurve(0.25f);
    const uint32_t curve_b = AddConstantCurve(0.75f);
    const uint32_t light_curve = AddConstantCurve(0.5f);
    const uint32_t owner = PoolAdd(*materials);
    const uint32_t sharer = PoolAdd(*materials);
    const uint32_t light = AddLight({}, {{0, light_curve}});
    for (uint32_t handle : {owner, sharer}) {
        Material& material = *PoolGet(*materials, handle);
        Configure(material, 1);
        SetDynamic(material, kMaterialRed, handle == owner ? curve_a : curve_b);
        material.light1 = light;
        Share(handle);
    }
    ASSERT_EQ(SharedFrom(sharer), owner);
    Material& owner_material = *PoolGet(*materials, owner);
    Material& sharer_material = *PoolGet(*materials, sharer);
    ShaderProgram* in_use = ProgramInUse(sharer_material, *materials);
    ASSERT_EQ(in_use, owner_material.shader_program.get());
    EXPECT_EQ(sharer_material.shader_program->vertex_text, in_use->vertex_text);

    // As if built: the program has "u1" and "u2", and a location for "u3" that no value uses.
    in_use->uniform_locations[0] = 4;
    in_use->uniform_locations[1] = 5;
    in_use->uniform_locations[2] = 6;
    std::array<float, kUniformSlots> owner_values{}, sharer_values{};
    EXPECT_EQ(EvaluateUniformSlots(owner_material, *in_use, *curves, 10, owner_values), 0b11u);
    EXPECT_EQ(EvaluateUniformSlots(sharer_material, *in_use, *curves, 10, sharer_values), 0b11u);
    EXPECT_EQ(owner_values[0], 0.25f);
    EXPECT_EQ(sharer_values[0], 0.75f);
    EXPECT_EQ(owner_values[1], 0.5f);
    EXPECT_EQ(sharer_values[1], 0.5f);
}

TEST_F(SharingFixture, CustomShadersUseTheirOwnSlots) {
    const uint32_t curve = AddConstantCurve(2.0f);
    const uint32_t handle = AddCustom(1);
    Material& material = *PoolGet(*materials, handle);
    material.custom.uniform_curves[4] = curve;
    // The custom record as BuildShaderProgram leaves it, without GL.
    material.shader_program->uniform_curves = material.custom.uniform_curves;
    material.shader_program->uniform_locations[4] = 1;
    EXPECT_EQ(ProgramInUse(material, *materials), material.shader_program.get());
    std::array<float, kUniformSlots> values{};
    EXPECT_EQ(EvaluateUniformSlots(material, *material.shader_program, *curves, 0, values),
              1u << 4);
    EXPECT_EQ(values[4], 2.0f);
}

TEST(ShaderProgramTest, FailureLineNamesTheMaterialAndEachLogOnOneLine) {
    ProgramBuildStatus status;
    status.vertex_compiled = true;
    status.fragment_log = "0:3(2): error: syntax error\n0:4(1): error: more\n";
    status.link_log = "error: linking with uncompiled shader\n";
    EXPECT_EQ(ProgramFailureLine(7, status),
              "Error: material 7: the shader program does not link: FS: 0:3(2): error: syntax "
              "error 0:4(1): error: more\n");
    status.fragment_compiled = true;
    status.fragment_log.clear();
    status.link_log = "error: vertex shader output `TexCoordOut1' declared as type `vec3',\n";
    EXPECT_EQ(ProgramFailureLine(12, status),
              "Error: material 12: the shader program does not link: link: error: vertex shader "
              "output `TexCoordOut1' declared as type `vec3',\n");
}

} // namespace
} // namespace korvane
