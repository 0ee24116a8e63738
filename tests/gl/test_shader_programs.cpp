// Generated and custom GLSL programs on a real GL context: every kind of generated text
// compiles and links with its locations found, custom shaders get their uniform slots, a
// program that fails to build is reported once, and applying a material sets the program,
// blending, textures and uniforms it defines.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "draw/light.h"
#include "draw/material.h"
#include "draw/shader_gen.h"
#include "draw/shader_program.h"
#include "gl/gl_harness.h"
#include "math/matrices.h"
#include "model/project.h"

using namespace korvane;
using namespace korvane::gltest;

namespace {

struct ShaderPrograms : testing::Test {
    std::unique_ptr<Project> project = CreateProject();
    ProgramShareIndex index;

    void SetUp() override { ASSERT_TRUE(GlReady()) << GlFailure(); }
    // Puts back what applying materials changes, as the renderer set-up leaves it, for the
    // tests that run after these.
    void TearDown() override {
        glUseProgram(0);
        glBlendFunc(GL_ONE, GL_ZERO);
        glBlendEquation(GL_FUNC_ADD);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glLineWidth(1.0f);
        DestroyProject(std::move(project));
    }

    uint32_t AddCurve(float value) {
        const uint32_t handle = PoolAdd(project->curves);
        FunctionCurve& curve = *PoolGet(project->curves, handle);
        curve.segment_count = 1;
        curve.segment_kinds[0] = CurveKind::kConstant;
        curve.segment_lengths[0] = UINT32_MAX;
        curve.segment_parameters[0][0] = value;
        return handle;
    }

    uint32_t AddLight(std::array<float, 9> values,
                      std::vector<std::pair<int, uint32_t>> dynamic = {}) {
        const uint32_t handle = PoolAdd(project->lights);
        Light& light = *PoolGet(project->lights, handle);
        for (int i = 0; i < 9; ++i)
            light.values[i] = MakeStaticValue(values[i]);
        for (auto [value, curve] : dynamic) {
            light.values[value] = MakeDynamicValue(curve);
            light.dynamic_bits |= 1u << value;
        }
        return handle;
    }

    uint32_t AddRef(TextureRefKind kind, uint32_t handle) {
        const uint32_t ref = PoolAdd(project->texture_refs);
        *PoolGet(project->texture_refs, ref) = TextureRef{kind, handle};
        return ref;
    }
    uint32_t AddImageRef() {
        return AddRef(TextureRefKind::kImage, AddImage(project->image_files, 4, 4, 1));
    }
    uint32_t AddCubeRef() {
        return AddRef(TextureRefKind::kCubeMap, AddCube(project->cube_maps, 4));
    }

    // A grey material with depth test, configured further by the caller. The colour is not
    // 0 or 1, so that the linker cannot fold away what it multiplies.
    uint32_t AddMaterial(const std::function<void(Material&)>& setup = {}) {
        const uint32_t handle = PoolAdd(project->materials);
        Material& material = *PoolGet(project->materials, handle);
        for (int i = 0; i < 4; ++i)
            material.values[kMaterialRed + i] = MakeStaticValue(0.75f);
        material.depth_test = 1;
        if (setup)
            setup(material);
        return handle;
    }

    Material& Get(uint32_t handle) { return *PoolGet(project->materials, handle); }

    bool Prepare(uint32_t handle) {
        return PrepareMaterialProgram(project->materials, handle, project->lights,
                                      project->texture_refs, index);
    }
};

void SetDynamic(Material& material, MaterialValue value, uint32_t curve) {
    material.values[value] = MakeDynamicValue(curve);
    material.dynamic[value] = 1;
}

void SetStage(Material& material, int stage, uint32_t ref, uint8_t generation, uint8_t function = 0,
              uint8_t rotation = 0) {
    material.textures[stage] = ref;
    material.coordinate_generation[stage] = generation;
    material.functions[stage] = function;
    material.rotation[stage] = rotation;
}

GLint Integer(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

std::vector<float> UniformValues(GLuint program, GLint location, size_t count) {
    std::vector<float> values(count, -99.0f);
    glGetUniformfv(program, location, values.data());
    return values;
}

TEST_F(ShaderPrograms, EveryKindOfGeneratedProgramBuildsWithItsLocations) {
    const uint32_t image = AddImageRef();
    const uint32_t cube = AddCubeRef();
    const uint32_t red = AddCurve(0.5f);
    const uint32_t light1 = AddLight({0.1f, 0.1f, 0.1f, 1, 1, 1, 0, 5, 5}, {{0, red}, {4, red}});
    const uint32_t light2 = AddLight({0, 0, 0, 0.5f, 0.5f, 0.5f, 5, 0, 0}, {{3, red}});

    struct Case {
        std::string name;
        std::function<void(Material&)> setup;
    };
    std::vector<Case> cases = {
        {"static colour", {}},
        {"two lights, dynamic colour, fog coloured by a light",
         [&](Material& m) {
             SetDynamic(m, kMaterialRed, red);
             m.light1 = light1;
             m.light2 = light2;
             m.normalization = 1;
             m.fog_type = 1;
             m.fog_color = light2;
             SetDynamic(m, kMaterialFogEnd, red);
         }},
        {"one light, white fog",
         [&](Material& m) {
             m.light1 = light1;
             m.fog_type = 2;
             m.values[kMaterialFogEnd] = MakeStaticValue(50.0f);
         }},
        {"three stages: rotated sphere map, reflected cube map, model coordinates",
         [&](Material& m) {
             SetStage(m, 0, image, 1, 1, 1);
             SetStage(m, 1, cube, 2, 3);
             SetStage(m, 2, image, 0, 0);
         }},
        {"sphere map, slot 3 set after an unset slot 2",
         [&](Material& m) {
             SetStage(m, 0, image, 1, 3);
             SetStage(m, 2, image, 0);
         }},
    };
    for (uint8_t function : {0, 1, 2, 4, 5, 9}) {
        cases.push_back(
            {"stage 2 function " + std::to_string(function), [&, function](Material& m) {
                 SetStage(m, 0, image, 0, 0);
                 SetStage(m, 1, image, 0, function);
                 SetDynamic(m, kMaterialRed, red);
             }});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t handle = AddMaterial(c.setup);
        testing::internal::CaptureStdout();
        const bool built = Prepare(handle);
        const std::string printed = testing::internal::GetCapturedStdout();
        const Material& material = Get(handle);
        const ShaderProgram& record = *material.shader_program;
        ASSERT_TRUE(built) << printed << record.vertex_text << "\n" << record.fragment_text;
        EXPECT_EQ(printed, "");
        ASSERT_EQ(record.shared_from, 0u) << "every case differs from the others";
        EXPECT_NE(record.program, 0u);
        EXPECT_EQ(Integer(GL_CURRENT_PROGRAM), static_cast<GLint>(record.program));
        EXPECT_EQ(record.compile_log.substr(0, 3), "VS:");
        EXPECT_NE(record.compile_log.find("\nFS:"), std::string::npos);

        EXPECT_GE(record.position, 0);
        EXPECT_GE(record.projection, 0);
        EXPECT_GE(record.modelview, 0);
        EXPECT_EQ(record.modelmatrix, -1);
        const bool lit = material.light1 != 0;
        EXPECT_EQ(record.viewmatrix >= 0, lit);
        EXPECT_EQ(record.light_position1 >= 0, lit);
        EXPECT_EQ(record.light_position2 >= 0, material.light2 != 0);
        for (int i = 0; i < kUniformSlots; ++i)
            EXPECT_EQ(record.uniform_locations[i] >= 0, record.uniform_curves[i] != 0) << i;
        for (int i = 0; i < kTextureStages; ++i) {
            // Only a stage whose code runs reads its texture and coordinates; an unknown
            // stage 2 function passes stage 1 on without sampling.
            const bool active = material.textures[0] && (i < 1 || material.textures[1]) &&
                                (i < 2 || material.textures[2]);
            const bool sampled = active && !(i == 1 && material.functions[1] > 5);
            EXPECT_EQ(record.texcoord_in[i] >= 0, sampled && material.coordinate_generation[i] == 0)
                << i;
            static const char* const samplers[] = {"Texture0", "Texture1", "Texture2"};
            const GLint sampler = glGetUniformLocation(record.program, samplers[i]);
            if (sampled) {
                GLint unit = -1;
                glGetUniformiv(record.program, sampler, &unit);
                EXPECT_EQ(unit, i);
            }
        }
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // A material with the texts of an earlier one builds nothing and uses that program.
    const uint32_t copy = AddMaterial();
    EXPECT_TRUE(Prepare(copy));
    EXPECT_EQ(Get(copy).shader_program->shared_from, 1u);
    EXPECT_EQ(Get(copy).shader_program->program, 0u);
    EXPECT_EQ(ProgramInUse(Get(copy), project->materials), Get(1).shader_program.get());
}

const char kCustomVertex[] = "attribute vec4 Position;\n"
                             "uniform mat4 Projection;\n"
                             "uniform mat4 Modelview;\n"
                             "uniform float u3;\n"
                             "varying float v;\n"
                             "void main(void)\n{\n"
                             "  v = u3;\n"
                             "  gl_Position = Projection * (Modelview * Position);\n"
                             "}";
const char kCustomFragment[] = "varying float v;\n"
                               "uniform float u24;\n"
                               "void main(void)\n{\n"
                               "  gl_FragColor = vec4(v, u24, 0.0, 1.0);\n"
                               "}";

TEST_F(ShaderPrograms, CustomShadersTakeTheirTextsAndUniformSlots) {
    const uint32_t third = AddCurve(0.25f);
    const uint32_t last = AddCurve(0.75f);
    const uint32_t handle = AddMaterial([&](Material& m) {
        m.use_custom_shaders = 1;
        m.custom.vertex_shader = kCustomVertex;
        m.custom.fragment_shader = kCustomFragment;
        m.custom.uniform_curves[2] = third;
        m.custom.uniform_curves[23] = last;
        m.custom.uniform_curves[5] = third; // the shaders have no "u6"
    });
    ASSERT_TRUE(Prepare(handle));
    Material& material = Get(handle);
    const ShaderProgram& record = *material.shader_program;
    EXPECT_EQ(record.vertex_text, kCustomVertex);
    EXPECT_EQ(record.fragment_length, sizeof kCustomFragment - 1);
    EXPECT_EQ(record.shared_from, 0u);
    for (int i = 0; i < kUniformSlots; ++i)
        EXPECT_EQ(record.uniform_locations[i] >= 0, i == 2 || i == 23) << i;
    EXPECT_EQ(record.normal, -1);
    EXPECT_EQ(record.light_position1, -1);

    ShaderProgram* in_use =
        ApplyMaterialShader(material, *project, 0, 0.0f, 0.0f, GetRenderCaps(), {});
    ASSERT_EQ(in_use, &record);
    EXPECT_EQ(UniformValues(record.program, record.uniform_locations[2], 1)[0], 0.25f);
    EXPECT_EQ(UniformValues(record.program, record.uniform_locations[23], 1)[0], 0.75f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderPrograms, AProgramThatDoesNotBuildIsReportedOnceAndKept) {
    const uint32_t image = AddImageRef();
    // Reflection mapping on a 2D texture: vec3 coordinates out, vec2 in; both compile, the
    // link fails. The second material shares that program and is not reported again.
    auto reflect_2d = [&](Material& m) { SetStage(m, 0, image, 2); };
    const uint32_t first = AddMaterial(reflect_2d);
    const uint32_t second = AddMaterial(reflect_2d);
    const uint32_t custom = AddMaterial([](Material& m) {
        m.use_custom_shaders = 1;
        m.custom.vertex_shader = kCustomVertex;
        m.custom.fragment_shader = "void main(void)\n{\n  gl_FragColor = vec4(1.0) +;\n}";
    });
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Prepare(first));
    EXPECT_TRUE(Prepare(second));
    EXPECT_FALSE(Prepare(custom));
    const std::string printed = testing::internal::GetCapturedStdout();

    const std::string link_line = "Error: material 1: the shader program does not link: link: ";
    const std::string compile_line = "Error: material 3: the shader program does not link: FS: ";
    ASSERT_EQ(printed.compare(0, link_line.size(), link_line), 0) << printed;
    const size_t second_line = printed.find('\n') + 1;
    ASSERT_EQ(printed.compare(second_line, compile_line.size(), compile_line), 0) << printed;
    EXPECT_EQ(printed.find('\n', second_line), printed.size() - 1) << printed;
    EXPECT_NE(printed.find("TexCoordOut1"), std::string::npos) << printed;

    // Kept as it is: the record, its names and its log; drawing goes on with it.
    EXPECT_EQ(Get(second).shader_program->shared_from, first);
    EXPECT_NE(Get(first).shader_program->program, 0u);
    EXPECT_NE(Get(custom).shader_program->compile_log.find("\nFS:0:"), std::string::npos)
        << Get(custom).shader_program->compile_log;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(ApplyMaterialShader(Get(second), *project, 0, 0, 0, GetRenderCaps(), {}),
              Get(first).shader_program.get());
    glGetError(); // using a program that did not link is an error the draw lives with
}

TEST_F(ShaderPrograms, ApplyingSetsStateProgramTexturesAndUniforms) {
    const uint32_t image = AddImageRef();
    const uint32_t cube = AddCubeRef();
    const uint32_t red_a = AddCurve(0.25f);
    const uint32_t red_b = AddCurve(0.625f);
    const uint32_t width = AddCurve(3.0f);
    const uint32_t light_x = AddCurve(-4.0f);
    const uint32_t light = AddLight({0, 0, 0, 1, 1, 1, 0, 2, 3}, {{6, light_x}});
    auto setup = [&](Material& m) {
        SetDynamic(m, kMaterialRed, red_a);
        m.light1 = light;
        m.blend_function = 4;
        m.backface_culling = 1;
        m.depth_test = 0;
        m.wireframe = 1;
        SetDynamic(m, kMaterialLineWidth, width);
        SetStage(m, 0, image, 0, 0, 1);
        SetStage(m, 1, cube, 2, 1);
        m.wrap_modes[0] = 1;
    };
    const uint32_t owner = AddMaterial(setup);
    const uint32_t sharer = AddMaterial([&](Material& m) {
        setup(m);
        SetDynamic(m, kMaterialRed, red_b);
        m.blend_function = 0;
    });
    ASSERT_TRUE(Prepare(owner));
    ASSERT_TRUE(Prepare(sharer));
    ASSERT_EQ(Get(sharer).shader_program->shared_from, owner);
    const ShaderProgram& program = *Get(owner).shader_program;

    const float coordinates[] = {0, 0, 1, 0, 1, 1};
    TexCoordSources sources;
    sources.arrays = {coordinates, nullptr, nullptr};
    RenderCaps caps = GetRenderCaps();
    caps.vbo = 0;
    glUseProgram(0);
    const float camera_y = 90.0f, camera_x = 30.0f;
    ASSERT_EQ(ApplyMaterialShader(Get(owner), *project, 10, camera_y, camera_x, caps, sources),
              &program);

    EXPECT_EQ(Integer(GL_CURRENT_PROGRAM), static_cast<GLint>(program.program));
    EXPECT_EQ(Integer(GL_BLEND_EQUATION_RGB), GL_FUNC_REVERSE_SUBTRACT);
    EXPECT_EQ(Integer(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_BLEND_DST_RGB), GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    GLfloat line_width = 0;
    glGetFloatv(GL_LINE_WIDTH, &line_width);
    EXPECT_EQ(line_width, 3.0f);

    EXPECT_EQ(UniformValues(program.program, program.uniform_locations[0], 1)[0], 0.25f);
    EXPECT_EQ(UniformValues(program.program, program.light_position1, 4),
              (std::vector<float>{-4, 2, 3, 1}));
    // Stage 2 holds the cube map and is processed last: X by +30 degrees, then Y by +90.
    const std::vector<float> texture_matrix =
        UniformValues(program.program, program.texture_matrix, 16);
    MatrixSet& matrices = GetMatrixSet();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(texture_matrix[i], matrices.texture[i]) << i;
    const float c30 = std::cos(30.0f * 3.14159265f / 180.0f);
    EXPECT_NEAR(texture_matrix[0], 0.0f, 1e-6);
    EXPECT_NEAR(texture_matrix[1], 0.5f, 1e-6);
    EXPECT_NEAR(texture_matrix[2], -c30, 1e-6);
    EXPECT_NEAR(texture_matrix[5], c30, 1e-6);

    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D),
              static_cast<GLint>(PoolGet(project->image_files, 1)->gl_texture));
    GLint wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    glActiveTexture(GL_TEXTURE1);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_CUBE_MAP),
              static_cast<GLint>(PoolGet(project->cube_maps, 1)->gl_texture));
    glActiveTexture(GL_TEXTURE0);
    const GLuint texcoord = static_cast<GLuint>(program.texcoord_in[0]);
    GLint enabled = 0;
    glGetVertexAttribiv(texcoord, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, GL_TRUE);
    void* pointer = nullptr;
    glGetVertexAttribPointerv(texcoord, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, coordinates);
    glDisableVertexAttribArray(texcoord);

    // The sharer drives the same program with its own curve and its own blend row.
    ASSERT_EQ(ApplyMaterialShader(Get(sharer), *project, 10, 0, 0, caps, sources), &program);
    EXPECT_EQ(UniformValues(program.program, program.uniform_locations[0], 1)[0], 0.625f);
    EXPECT_EQ(Integer(GL_BLEND_EQUATION_RGB), GL_FUNC_ADD);
    EXPECT_EQ(Integer(GL_BLEND_DST_RGB), GL_ONE_MINUS_SRC_ALPHA);
    glDisableVertexAttribArray(texcoord);

    // Blend rows beyond the table leave the blending as it was.
    Get(sharer).blend_function = 9;
    glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
    ApplyMaterialShader(Get(sharer), *project, 10, 0, 0, caps, sources);
    EXPECT_EQ(Integer(GL_BLEND_EQUATION_RGB), GL_FUNC_REVERSE_SUBTRACT);
    glDisableVertexAttribArray(texcoord);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The whole chain on one quad: the generated text, the applied state and the per-instance
// matrices put the material's colour on the screen.
TEST_F(ShaderPrograms, AGeneratedProgramDrawsTheMaterialColour) {
    ResetWindow();
    const uint32_t handle = AddMaterial([](Material& m) {
        m.values[kMaterialRed] = MakeStaticValue(1.0f);
        m.values[kMaterialGreen] = MakeStaticValue(0.5f);
        m.values[kMaterialBlue] = MakeStaticValue(0.0f);
        m.blend_function = 2;
        m.depth_test = 0;
    });
    ASSERT_TRUE(Prepare(handle));
    MatrixSet& matrices = GetMatrixSet();
    matrices.projection = matrices.identity;
    matrices.view = matrices.identity;
    matrices.model = matrices.identity;
    Translate(MatrixSlot::kModel, 0.5f, 0.0f, 0.0f);

    const ShaderProgram* program =
        ApplyMaterialShader(Get(handle), *project, 0, 0, 0, GetRenderCaps(), {});
    ASSERT_NE(program, nullptr);
    SetInstanceUniforms(*program);
    const float quad[] = {-0.25f, -0.5f, 0, 0.25f, -0.5f, 0, 0.25f, 0.5f, 0, -0.25f, 0.5f, 0};
    const GLushort indices[] = {0, 1, 2, 0, 2, 3};
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glEnableVertexAttribArray(static_cast<GLuint>(program->position));
    glVertexAttribPointer(static_cast<GLuint>(program->position), 3, GL_FLOAT, GL_FALSE, 0, quad);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices);
    glDisableVertexAttribArray(static_cast<GLuint>(program->position));
    glUseProgram(0);

    // Moved by 0.5, the quad spans x from 0.25 to 0.75 in clip space, 5/8 to 7/8 of the
    // picture; left of it the clear colour stays.
    const Viewport& v = WindowViewport();
    const int y = v.y + v.height / 2;
    const Rgb inside = WindowPixel(v.x + v.width * 3 / 4, y);
    EXPECT_EQ(inside.r, 255);
    EXPECT_NEAR(inside.g, 128, 1);
    EXPECT_EQ(inside.b, 0);
    EXPECT_EQ(WindowPixel(v.x + v.width / 2, y), (Rgb{0, 0, 0}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
