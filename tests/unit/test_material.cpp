// Materials without a GL context: reading material and texture-reference elements, their
// checks, the pass plans of every kind of renderer, and the combiner tables evaluated as the
// texture environment would evaluate them.
#include "draw/material.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "data/xml.h"
#include "draw/material_fixed.h"
#include "load/loader.h"
#include "load/validation.h"
#include "model/project.h"
#include "support/production.h"

namespace korvane {
namespace {

std::unique_ptr<XmlNode> Parse(const std::string& xml) {
    return ParseXml(xml.c_str());
}

Material Load(const std::string& xml) {
    auto root = Parse(xml);
    Material material;
    LoadMaterial(*root->first_child, material);
    return material;
}

float Static(const Material& m, MaterialValue v) {
    EXPECT_EQ(m.dynamic[v], 0) << "value " << int(v);
    return StaticValueOf(m.values[v]);
}

TEST(MaterialLoadingTest, ReadsPropertiesByNameInAnyOrder) {
    const Material m =
        Load("<material>"
             "<texture2 value=\"3\" wrapmode=\"1\" cgenmode=\"2\" rotation=\"1\" function=\"4\"/>"
             "<fogend type=\"static\" value=\"40.5\"/><fogtype value=\"2\"/>"
             "<backface_culling value=\"1\"/><depth_test value=\"1\"/><normalization value=\"1\"/>"
             "<wireframe value=\"1\"/><blend_function value=\"4\"/>"
             "<red type=\"static\" value=\"0.25\"/><green type=\"dynamic\" value=\"7\"/>"
             "<blue type=\"curve\" value=\"8\"/><alpha type=\"static\" value=\"0.5\"/>"
             "<linewidth type=\"static\" value=\"2.5\"/><fogstart type=\"static\" value=\"3\"/>"
             "<light1 value=\"2\"/><light2 value=\"5\"/><fogcolor value=\"4\"/>"
             "<texture1 value=\"1\" wrapmode=\"0\" cgenmode=\"1\" rotation=\"0\" function=\"2\"/>"
             "<shininess value=\"9\"/>"
             "</material>");
    EXPECT_EQ(m.backface_culling, 1);
    EXPECT_EQ(m.depth_test, 1);
    EXPECT_EQ(m.normalization, 1);
    EXPECT_EQ(m.wireframe, 1);
    EXPECT_EQ(m.blend_function, 4);
    EXPECT_EQ(m.fog_type, 2);
    EXPECT_FLOAT_EQ(Static(m, kMaterialRed), 0.25f);
    // Every type word but "static" makes a material value a curve handle.
    EXPECT_EQ(m.dynamic[kMaterialGreen], 1);
    EXPECT_EQ(CurveHandleOf(m.values[kMaterialGreen]), 7u);
    EXPECT_EQ(m.dynamic[kMaterialBlue], 1);
    EXPECT_EQ(CurveHandleOf(m.values[kMaterialBlue]), 8u);
    EXPECT_FLOAT_EQ(Static(m, kMaterialAlpha), 0.5f);
    EXPECT_FLOAT_EQ(Static(m, kMaterialLineWidth), 2.5f);
    EXPECT_FLOAT_EQ(Static(m, kMaterialFogStart), 3.0f);
    EXPECT_FLOAT_EQ(Static(m, kMaterialFogEnd), 40.5f);
    EXPECT_EQ(m.light1, 2u);
    EXPECT_EQ(m.light2, 5u);
    EXPECT_EQ(m.fog_color, 4u);
    EXPECT_EQ(m.textures, (std::array<uint32_t, 3>{1, 3, 0}));
    EXPECT_EQ(m.wrap_modes, (std::array<uint8_t, 3>{0, 1, 0}));
    EXPECT_EQ(m.coordinate_generation, (std::array<uint8_t, 3>{1, 2, 0}));
    EXPECT_EQ(m.rotation, (std::array<uint8_t, 3>{0, 1, 0}));
    EXPECT_EQ(m.functions, (std::array<uint8_t, 3>{2, 4, 0}));
}

TEST(MaterialLoadingTest, KeepsTheCustomShadersAndTheirUniforms) {
    const Material m = Load("<material><enable_glsl value=\"1\"/>"
                            "<glsl_uniforms u1=\"4\" u2=\"0\" u24=\"9\"/>"
                            "<vertex_shader>void main() { if (a &lt; b &amp;&amp; c &gt; d) "
                            "x(); }</vertex_shader>"
                            "<fragment_shader/></material>");
    EXPECT_EQ(m.use_custom_shaders, 1);
    EXPECT_EQ(m.custom.uniform_curves[0], 4u);
    EXPECT_EQ(m.custom.uniform_curves[1], 0u);
    EXPECT_EQ(m.custom.uniform_curves[23], 9u);
    // Only "&lt;" and "&gt;" are turned back.
    EXPECT_EQ(m.custom.vertex_shader, "void main() { if (a < b &amp;&amp; c > d) x(); }");
    EXPECT_EQ(m.custom.fragment_shader, "");
}

TEST(MaterialLoadingTest, MissingPropertiesKeepOpenGLsStartValuesOrNone) {
    const Material m = Load("<material/>");
    for (MaterialValue v :
         {kMaterialRed, kMaterialGreen, kMaterialBlue, kMaterialAlpha, kMaterialLineWidth})
        EXPECT_FLOAT_EQ(Static(m, v), 1.0f) << int(v);
    EXPECT_FLOAT_EQ(Static(m, kMaterialFogStart), 0.0f);
    EXPECT_FLOAT_EQ(Static(m, kMaterialFogEnd), 0.0f);
    EXPECT_EQ(m.backface_culling + m.depth_test + m.normalization + m.wireframe + m.blend_function +
                  m.fog_type + m.use_custom_shaders,
              0);
    EXPECT_EQ(m.light1 + m.light2 + m.fog_color, 0u);
    EXPECT_EQ(m.textures, (std::array<uint32_t, 3>{}));
}

TEST(MaterialLoadingTest, ACopyHasNeitherPassPlanNorProgram) {
    Material m = Load("<material><red type=\"dynamic\" value=\"3\"/><texture1 value=\"2\"/>"
                      "<vertex_shader>v</vertex_shader></material>");
    PlanMaterialPasses(m, RenderCaps{});
    ASSERT_NE(m.pass_plan, nullptr);
    const Material copy(m);
    EXPECT_EQ(copy.pass_plan, nullptr);
    EXPECT_EQ(copy.shader_program, nullptr);
    EXPECT_EQ(copy.dynamic[kMaterialRed], 1);
    EXPECT_EQ(CurveHandleOf(copy.values[kMaterialRed]), 3u);
    EXPECT_EQ(copy.textures[0], 2u);
    EXPECT_EQ(copy.custom.vertex_shader, "v");
}

TEST(TextureRefTest, ReadsKindAndHandle) {
    auto root = Parse("<ref type=\"3\" id=\"12\"/>");
    TextureRef ref;
    LoadTextureRef(*root->first_child, ref);
    EXPECT_EQ(ref.kind, TextureRefKind::kCubeMap);
    EXPECT_EQ(ref.handle, 12u);
}

TEST(TextureRefTest, ChecksTheIdAgainstThePoolOfItsKind) {
    TextureRefTargets targets;
    targets.procedural_textures = 1;
    targets.image_files = 2;
    targets.effect_textures = 0;
    targets.cube_maps = 3;
    const struct {
        const char* xml;
        std::vector<std::string> problems;
    } cases[] = {
        {"<r type=\"0\" id=\"1\"/>", {}},
        {"<r type=\"1\" id=\"2\"/>", {}},
        {"<r type=\"3\" id=\"3\"/>", {}},
        {"<r type=\"0\" id=\"2\"/>", {"texture 2 does not exist"}},
        {"<r type=\"1\" id=\"3\"/>", {"image file 3 does not exist"}},
        {"<r type=\"2\" id=\"1\"/>", {"2D-effect texture 1 does not exist"}},
        {"<r type=\"3\" id=\"0\"/>", {"cube map 0 does not exist"}},
        {"<r type=\"1\" id=\"65538\"/>", {"image file 65538 does not exist"}},
        {"<r type=\"4\" id=\"1\"/>", {"type 4 is not a texture source (0 to 3)"}},
        {"<r id=\"1\"/>", {"the attribute \"type\" is missing"}},
        {"<r/>", {"the attribute \"type\" is missing", "the attribute \"id\" is missing"}},
    };
    for (const auto& c : cases) {
        auto root = Parse(c.xml);
        EXPECT_EQ(ValidateTextureRefElement(*root->first_child, targets), c.problems) << c.xml;
    }
}

TEST(MaterialValidationTest, NamesEachPropertyThatNamesNothing) {
    MaterialReferences references;
    references.curves = 2;
    references.lights = 3;
    references.texture_refs = 1;
    const struct {
        const char* xml;
        std::vector<std::string> problems;
    } cases[] = {
        {"<m><light1 value=\"3\"/><light2 value=\"0\"/><fogcolor value=\"1\"/>"
         "<texture1 value=\"1\"/><red type=\"dynamic\" value=\"2\"/>"
         "<glsl_uniforms u1=\"2\" u2=\"0\"/><vertex_shader/><unknown/></m>",
         {}},
        {"<m><light2 value=\"4\"/></m>", {"light2: light 4 does not exist"}},
        {"<m><fogcolor value=\"-1\"/></m>", {"fogcolor: light -1 does not exist"}},
        {"<m><texture3 value=\"2\" wrapmode=\"0\"/></m>",
         {"texture3: texture reference 2 does not exist"}},
        {"<m><alpha type=\"dynamic\" value=\"3\"/></m>", {"alpha: curve 3 does not exist"}},
        // A dynamic value always names a curve; 0 is none only for handles.
        {"<m><fogend type=\"spline\" value=\"0\"/></m>", {"fogend: curve 0 does not exist"}},
        {"<m><linewidth type=\"static\" value=\"3\"/></m>", {}},
        {"<m><glsl_uniforms u7=\"5\"/></m>", {"glsl_uniforms: u7: curve 5 does not exist"}},
        {"<m><depth_test/><texture1 wrapmode=\"1\"/></m>",
         {"depth_test: the attribute \"value\" is missing",
          "texture1: the attribute \"value\" is missing"}},
    };
    for (const auto& c : cases) {
        auto root = Parse(c.xml);
        EXPECT_EQ(ValidateMaterialElement(*root->first_child, references), c.problems) << c.xml;
    }
}

TEST(MaterialValidationTest, ProblemsNameDocumentSectionAndItem) {
    test::DocumentSections s;
    s.lights = test::StaticLight(1, 1, 1);
    s.image_files = "<image filename=\"a.png\" texture_format=\"0\" texture_filter=\"0\"/>";
    s.texture_references = "<r type=\"1\" id=\"1\"/><r type=\"3\" id=\"1\"/>";
    s.materials = "<m><texture1 value=\"2\"/></m><m><light1 value=\"2\"/></m>";
    s.scenes = test::EmptyScene();
    s.tracks = test::TrackXml(test::LayerXml({}));
    std::vector<std::string> problems;
    auto root = Parse(test::BuildDocument(s));
    EXPECT_FALSE(ValidateDocument(*root, "demo.xmlz", true, problems));
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "Error: demo.xmlz: texture references, texture reference 2: cube map 1 does "
                  "not exist.",
                  "Error: demo.xmlz: materials, material 2: light1: light 2 does not exist."}));
}

TEST(MaterialValidationTest, ProceduralReferencesNameOutputsOfTheGraph) {
    test::DocumentSections s;
    // Texture 1 is an "Invert" working image, texture 2 the output that uploads it.
    s.textures = "<t name=\"invert\" type=\"201\" texture_format=\"0\" texture_filter=\"1\">"
                 "<i>0</i><output>2</output></t>"
                 "<t name=\"out\" type=\"255\" texture_format=\"0\" texture_filter=\"1\">"
                 "<i>1</i></t>";
    s.texture_references = "<r type=\"0\" id=\"2\"/><r type=\"0\" id=\"1\"/>";
    s.scenes = test::EmptyScene();
    s.tracks = test::TrackXml(test::LayerXml({}));
    std::vector<std::string> problems;
    auto root = Parse(test::BuildDocument(s));
    EXPECT_FALSE(ValidateDocument(*root, "demo.xmlz", true, problems));
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "Error: demo.xmlz: texture references, texture reference 2: texture 1 "
                            "is not an output of the texture graph (operation 255): it has no "
                            "image."}));
}

TEST(MaterialLoadingTest, PassesArePlannedAtLoadInFixedFunctionModeOnly) {
    test::DocumentSections s;
    s.materials = "<m><red type=\"static\" value=\"0.5\"/></m>";
    s.scenes = test::EmptyScene();
    s.tracks = test::TrackXml(test::LayerXml({}));
    const std::string xml = test::BuildDocument(s);
    const uint8_t renderer = GetRendererFlag();
    for (uint8_t flag : {kRendererFixed, kRendererGlsl}) {
        SetRendererFlag(flag);
        auto project = CreateProject();
        LoadResult result = LoadProjectDocument(*project, nullptr, Parse(xml), "demo.xmlz", {});
        ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
        const Material* material = PoolGet(project->materials, 1);
        ASSERT_NE(material, nullptr);
        EXPECT_FLOAT_EQ(StaticValueOf(material->values[kMaterialRed]), 0.5f);
        if (flag == kRendererFixed) {
            ASSERT_NE(material->pass_plan, nullptr);
            EXPECT_EQ(material->pass_plan->single_pass, 1);
        } else {
            EXPECT_EQ(material->pass_plan, nullptr);
        }
        DestroyProject(std::move(project));
    }
    SetRendererFlag(renderer);
}

// A material with three textures, each stage with its own wrap mode, coordinate generation
// and rotation.
Material ThreeTextures() {
    Material m;
    m.blend_function = 3;
    m.textures = {4, 5, 6};
    m.wrap_modes = {0, 1, 1};
    m.coordinate_generation = {0, 1, 2};
    m.rotation = {0, 0, 1};
    m.functions = {1, 3, 0};
    return m;
}

RenderCaps Caps(uint8_t units, uint8_t combine4, uint8_t combine3) {
    RenderCaps caps;
    caps.texture_units = units;
    caps.combine4 = combine4;
    caps.combine3 = combine3;
    return caps;
}

TEST(PassPlanTest, OnePassWhereTheThirdStageFitsElseTwo) {
    const struct {
        const char* name;
        RenderCaps caps;
        bool third_texture;
        bool single_pass;
    } cases[] = {
        {"two textures on two units", Caps(2, 0, 0), false, true},
        {"three textures with combine4", Caps(4, 1, 0), true, true},
        {"three textures with combine3", Caps(3, 0, 1), true, true},
        {"three textures on two units with combine4", Caps(2, 1, 0), true, false},
        {"three textures on four units without combiners", Caps(4, 0, 0), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Material m = ThreeTextures();
        if (!c.third_texture)
            m.textures[2] = 0;
        PlanMaterialPasses(m, c.caps);
        ASSERT_NE(m.pass_plan, nullptr);
        const PassPlan& plan = *m.pass_plan;
        EXPECT_EQ(plan.single_pass, c.single_pass ? 1 : 0);
        EXPECT_EQ(plan.pass_count, c.single_pass ? 0 : 2);
        EXPECT_EQ(plan.first_pass == nullptr, c.single_pass);
        EXPECT_EQ(plan.second_pass == nullptr, c.single_pass);
    }
}

TEST(PassPlanTest, TheSecondPassAddsColourTimesTheThirdTexture) {
    Material m = ThreeTextures();
    PlanMaterialPasses(m, Caps(2, 0, 0));
    const Material& first = *m.pass_plan->first_pass;
    const Material& second = *m.pass_plan->second_pass;

    // The first pass is the material with stages 1 and 2 only: a third unit without a
    // combiner extension would otherwise add texture 3 a second time, without the colour.
    EXPECT_EQ(first.textures, (std::array<uint32_t, 3>{4, 5, 0}));
    EXPECT_EQ(first.blend_function, 3);
    EXPECT_EQ(first.functions, m.functions);
    EXPECT_EQ(first.coordinate_generation, m.coordinate_generation);

    EXPECT_EQ(second.blend_function, 1);
    EXPECT_EQ(second.textures, (std::array<uint32_t, 3>{6, 0, 0}));
    EXPECT_EQ(second.wrap_modes[0], 1);
    EXPECT_EQ(second.coordinate_generation[0], 2);
    EXPECT_EQ(second.rotation[0], 1);
    EXPECT_EQ(second.functions[0], 0);

    for (const Material* pass : {&first, &second}) {
        EXPECT_EQ(pass->pass_plan, nullptr);
        EXPECT_EQ(pass->shader_program, nullptr);
    }
}

TEST(PassPlanTest, PlanningAgainReleasesThePassMaterials) {
    Material m = ThreeTextures();
    PlanMaterialPasses(m, Caps(2, 0, 0));
    ASSERT_NE(m.pass_plan->first_pass, nullptr);
    PlanMaterialPasses(m, Caps(4, 1, 0));
    EXPECT_EQ(m.pass_plan->single_pass, 1);
    EXPECT_EQ(m.pass_plan->first_pass, nullptr);
    EXPECT_EQ(m.pass_plan->second_pass, nullptr);
}

// The texture environment as OpenGL evaluates it, for one colour channel: the sources of
// the arguments, then the function over their operands.
struct Inputs {
    float texture, texture_alpha, primary, primary_alpha, previous, previous_alpha;
};

float Argument(const CombinerArgument& argument, const Inputs& in) {
    const bool alpha = argument.operand == GL_SRC_ALPHA;
    switch (argument.source) {
    case GL_TEXTURE:
        return alpha ? in.texture_alpha : in.texture;
    case GL_PRIMARY_COLOR:
        return alpha ? in.primary_alpha : in.primary;
    case GL_PREVIOUS:
        return alpha ? in.previous_alpha : in.previous;
    case GL_CONSTANT: // the opaque white constant of the combine4 stage
        return 1.0f;
    }
    ADD_FAILURE() << "unexpected source " << argument.source;
    return 0.0f;
}

float Evaluate(const TextureEnvironment& environment, const Combiner& combiner, const Inputs& in) {
    std::array<float, 4> a{};
    for (int n = 0; n < combiner.argument_count; ++n)
        a[n] = Argument(combiner.arguments[n], in);
    switch (combiner.function) {
    case GL_REPLACE:
        return a[0];
    case GL_MODULATE:
        return a[0] * a[1];
    case GL_ADD:
        // Four arguments under combine4: two products added.
        return environment.mode == GL_COMBINE4_NV ? a[0] * a[1] + a[2] * a[3] : a[0] + a[1];
    case GL_INTERPOLATE:
        return a[0] * a[2] + a[1] * (1.0f - a[2]);
    case GL_MODULATE_ADD_ATI:
        return a[0] * a[2] + a[1];
    }
    ADD_FAILURE() << "unexpected function " << combiner.function;
    return 0.0f;
}

constexpr Inputs kInputs{0.5f, 0.25f, 0.6f, 0.8f, 0.3f, 0.9f};

TEST(CombinerTest, StageOneCombinesColourAndTexture) {
    const RenderCaps caps;
    const struct {
        uint8_t function;
        float rgb, alpha;
    } rows[] = {
        {0, 0.6f * 0.5f, 0.8f * 0.25f}, // modulate both
        {1, 0.6f * 0.5f, 0.25f},        // modulate, the texture's alpha
        {2, 0.5f, 0.25f},               // the texture alone
        {3, 0.6f + 0.5f, 0.8f + 0.25f}, // add both
    };
    for (const auto& row : rows) {
        const TextureEnvironment e = StageEnvironment(0, row.function, caps);
        EXPECT_EQ(e.mode, static_cast<GLenum>(GL_COMBINE)) << int(row.function);
        EXPECT_FLOAT_EQ(Evaluate(e, e.rgb, kInputs), row.rgb) << int(row.function);
        EXPECT_FLOAT_EQ(Evaluate(e, e.alpha, kInputs), row.alpha) << int(row.function);
    }
    EXPECT_EQ(StageEnvironment(0, 4, caps).mode, 0u) << "other functions leave it unchanged";
}

TEST(CombinerTest, StageTwoCombinesTheTextureWithStageOne) {
    const RenderCaps caps;
    const struct {
        uint8_t function;
        float rgb, alpha;
    } rows[] = {
        {0, 0.5f + 0.3f, 0.25f},
        {1, 0.3f * 0.5f, 0.25f},
        {3, 0.5f * 0.6f + 0.3f * (1 - 0.6f), 0.25f}, // blended by the colour
        {4, 0.5f * 0.8f + 0.3f * (1 - 0.8f), 0.25f}, // blended by the alpha
        {5, 0.5f + 0.3f, 0.9f},                      // stage 1's alpha kept
    };
    for (const auto& row : rows) {
        const TextureEnvironment e = StageEnvironment(1, row.function, caps);
        EXPECT_FLOAT_EQ(Evaluate(e, e.rgb, kInputs), row.rgb) << int(row.function);
        EXPECT_FLOAT_EQ(Evaluate(e, e.alpha, kInputs), row.alpha) << int(row.function);
    }
    const TextureEnvironment dot = StageEnvironment(1, 2, caps);
    EXPECT_EQ(dot.rgb.function, static_cast<GLenum>(GL_DOT3_RGB));
    EXPECT_EQ(dot.rgb.arguments[0].source, static_cast<GLenum>(GL_TEXTURE));
    EXPECT_EQ(dot.rgb.arguments[1].source, static_cast<GLenum>(GL_PREVIOUS));
    EXPECT_EQ(StageEnvironment(1, 6, caps).mode, 0u);
}

TEST(CombinerTest, StageThreeAddsTextureTimesColourWhereTheHardwareCan) {
    const struct {
        const char* name;
        RenderCaps caps;
        GLenum mode;
        float rgb;
    } rows[] = {
        {"combine4", Caps(4, 1, 0), GL_COMBINE4_NV, 0.3f + 0.5f * 0.6f},
        {"combine4 before combine3", Caps(4, 1, 1), GL_COMBINE4_NV, 0.3f + 0.5f * 0.6f},
        {"combine3", Caps(4, 0, 1), GL_COMBINE, 0.3f + 0.5f * 0.6f},
        {"neither: without the colour", Caps(4, 0, 0), GL_COMBINE, 0.3f + 0.5f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TextureEnvironment e = StageEnvironment(2, 0, row.caps);
        EXPECT_EQ(e.mode, row.mode);
        EXPECT_FLOAT_EQ(Evaluate(e, e.rgb, kInputs), row.rgb);
        EXPECT_EQ(e.alpha.function, 0u) << "the alpha combiner is not set";
        EXPECT_EQ(e.constant_white, row.mode == static_cast<GLenum>(GL_COMBINE4_NV));
        EXPECT_EQ(StageEnvironment(2, 1, row.caps).mode, 0u);
    }
}

} // namespace
} // namespace korvane
