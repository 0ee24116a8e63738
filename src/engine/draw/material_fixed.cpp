#include "draw/material_fixed.h"

#include "draw/light.h"
#include "draw/shader_program.h"
#include "math/matrices.h"
#include "model/project.h"

namespace korvane {

namespace {

constexpr uint8_t kFogOff = 0;
constexpr uint8_t kFogFastest = 1;
constexpr uint8_t kFogNicest = 2;

constexpr uint8_t kWrapRepeat = 0;
constexpr uint8_t kWrapClamp = 1;

constexpr uint8_t kModelCoordinates = 0;
constexpr uint8_t kSphereMap = 1;
constexpr uint8_t kReflectionMap = 2;

// The combiner parameter names of argument n, n = 0 ... 3.
constexpr GLenum kRgbSources[4] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB,
                                   GL_SOURCE3_RGB_NV};
constexpr GLenum kRgbOperands[4] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB,
                                    GL_OPERAND3_RGB_NV};
constexpr GLenum kAlphaSources[4] = {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA,
                                     GL_SOURCE3_ALPHA_NV};
constexpr GLenum kAlphaOperands[4] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA,
                                      GL_OPERAND3_ALPHA_NV};

void Switch(GLenum capability, bool on) {
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

float Value(const Material& material, MaterialValue value, uint32_t time, Project& project) {
    return ResolveAnimatedValue(material.values[value], material.dynamic[value] != 0, time,
                                project.curves);
}

// GL_LIGHT1 or GL_LIGHT2 from one of the project's lights, at the time. The modelview is the
// view matrix here, so the position is taken in world space.
void SetLight(GLenum gl_light, uint32_t handle, uint32_t time, Project& project) {
    glEnable(gl_light);
    const Light* light = PoolGet(project.lights, handle);
    if (light == nullptr)
        return;
    auto value = [&](LightValue v) { return ResolveLightValue(*light, v, time, project.curves); };
    const GLfloat position[4] = {value(kLightPositionX), value(kLightPositionY),
                                 value(kLightPositionZ), 1.0f};
    const GLfloat ambient[4] = {value(kLightAmbientRed), value(kLightAmbientGreen),
                                value(kLightAmbientBlue), 1.0f};
    const GLfloat diffuse[4] = {value(kLightDiffuseRed), value(kLightDiffuseGreen),
                                value(kLightDiffuseBlue), 1.0f};
    glLightfv(gl_light, GL_POSITION, position);
    glLightfv(gl_light, GL_AMBIENT, ambient);
    glLightfv(gl_light, GL_DIFFUSE, diffuse);
}

void ApplyFog(const Material& material, uint32_t time, Project& project) {
    if (material.fog_type == kFogOff) {
        glDisable(GL_FOG);
        return;
    }
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    if (material.fog_type == kFogFastest)
        glHint(GL_FOG_HINT, GL_FASTEST);
    else if (material.fog_type == kFogNicest)
        glHint(GL_FOG_HINT, GL_NICEST);
    GLfloat colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (material.fog_color != 0) {
        if (const Light* light = PoolGet(project.lights, material.fog_color)) {
            colour[0] = ResolveLightValue(*light, kLightDiffuseRed, time, project.curves);
            colour[1] = ResolveLightValue(*light, kLightDiffuseGreen, time, project.curves);
            colour[2] = ResolveLightValue(*light, kLightDiffuseBlue, time, project.curves);
        }
    }
    glFogfv(GL_FOG_COLOR, colour);
    glFogf(GL_FOG_START, Value(material, kMaterialFogStart, time, project));
    glFogf(GL_FOG_END, Value(material, kMaterialFogEnd, time, project));
}

void ApplyBlend(uint8_t blend_function) {
    if (blend_function >= kBlendTable.size())
        return;
    const BlendRow& row = kBlendTable[blend_function];
    glBlendFunc(row.source, row.destination);
    // Without the extension the equation stays whatever it is: additive, as OpenGL starts.
    if (GLEW_EXT_blend_subtract)
        glBlendEquationEXT(row.equation);
}

void SetCombiner(const Combiner& combiner, GLenum function_name, const GLenum* sources,
                 const GLenum* operands) {
    if (combiner.function == 0)
        return;
    glTexEnvi(GL_TEXTURE_ENV, function_name, static_cast<GLint>(combiner.function));
    for (int n = 0; n < combiner.argument_count; ++n) {
        glTexEnvi(GL_TEXTURE_ENV, sources[n], static_cast<GLint>(combiner.arguments[n].source));
        glTexEnvi(GL_TEXTURE_ENV, operands[n], static_cast<GLint>(combiner.arguments[n].operand));
    }
}

void SetEnvironment(const TextureEnvironment& environment) {
    if (environment.mode == 0)
        return;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(environment.mode));
    SetCombiner(environment.rgb, GL_COMBINE_RGB, kRgbSources, kRgbOperands);
    SetCombiner(environment.alpha, GL_COMBINE_ALPHA, kAlphaSources, kAlphaOperands);
    if (environment.constant_white) {
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, white);
    }
}

// Selects a texture unit for both the server-side state and the client-side arrays.
void SelectUnit(int stage) {
    glActiveTexture(GL_TEXTURE0 + stage);
    glClientActiveTexture(GL_TEXTURE0 + stage);
}

void DisableStage(int stage) {
    SelectUnit(stage);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void ApplyWrapMode(uint8_t wrap_mode) {
    GLint wrap;
    if (wrap_mode == kWrapRepeat)
        wrap = GL_REPEAT;
    else if (wrap_mode == kWrapClamp)
        wrap = GL_CLAMP_TO_EDGE;
    else
        return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

// The texture-coordinate array of a stage: the mesh's buffer or client array. A mesh without
// texture coordinates (a Swirl has none) gives neither, and the array stays off rather than
// having OpenGL read from a null pointer.
void EnableCoordinateArray(int stage, const TexCoordSources& sources, const RenderCaps& caps) {
    const uint32_t buffer = caps.vbo ? sources.buffers[stage] : 0;
    const float* array = sources.arrays[stage];
    if (buffer != 0) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
    } else if (array != nullptr) {
        if (caps.vbo)
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        glTexCoordPointer(2, GL_FLOAT, 0, array);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        return;
    }
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

void ApplyCoordinateGeneration(uint8_t mode, int stage, const TexCoordSources& sources,
                               const RenderCaps& caps) {
    switch (mode) {
    case kModelCoordinates:
        EnableCoordinateArray(stage, sources, caps);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_GEN_R);
        break;
    case kSphereMap:
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_GEN_R);
        break;
    case kReflectionMap:
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
        glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        glEnable(GL_TEXTURE_GEN_R);
        break;
    default:
        break;
    }
}

// A rotating 2D texture turns about its centre as the camera turns; a cube map is turned
// back against the camera so that its reflections stay fixed in the world (camera roll is
// not compensated).
void ApplyTextureMatrix(bool rotation, bool cube_map, float camera_y, float camera_x) {
    MatrixSet& matrices = GetMatrixSet();
    matrices.texture = matrices.identity;
    if (rotation) {
        Translate(MatrixSlot::kTexture, 0.5f, 0.5f, 0.0f);
        RotateZ(MatrixSlot::kTexture, -camera_y);
        Translate(MatrixSlot::kTexture, -0.5f, -0.5f, 0.0f);
    } else if (cube_map) {
        RotateY(MatrixSlot::kTexture, -camera_y);
        RotateX(MatrixSlot::kTexture, -camera_x);
    }
    LoadMatrix(MatrixSlot::kTexture);
}

struct StageInputs {
    const Material& material;
    const ResolvedTexture& texture;
    float camera_y;
    float camera_x;
    const RenderCaps& caps;
    const TexCoordSources& sources;
};

void ApplyStage(int stage, const StageInputs& in) {
    SelectUnit(stage);
    glEnable(GL_TEXTURE_2D);
    if (in.texture.cube_map) {
        // The third stage binds a cube map without enabling its target, so it samples the
        // 2D texture of its unit instead; only stages 1 and 2 show cube maps.
        if (stage < 2)
            glEnable(GL_TEXTURE_CUBE_MAP);
        glBindTexture(GL_TEXTURE_CUBE_MAP, in.texture.gl_texture);
    } else {
        glDisable(GL_TEXTURE_CUBE_MAP);
        glBindTexture(GL_TEXTURE_2D, in.texture.gl_texture);
    }
    ApplyWrapMode(in.material.wrap_modes[stage]);
    ApplyCoordinateGeneration(in.material.coordinate_generation[stage], stage, in.sources, in.caps);
    ApplyTextureMatrix(in.material.rotation[stage] != 0, in.texture.cube_map, in.camera_y,
                       in.camera_x);
    SetEnvironment(StageEnvironment(stage, in.material.functions[stage], in.caps));
}

} // namespace

TextureEnvironment StageEnvironment(int stage, uint8_t function, const RenderCaps& caps) {
    switch (stage) {
    case 0:
        return function < kStage1Environments.size() ? kStage1Environments[function]
                                                     : TextureEnvironment{};
    case 1:
        return function < kStage2Environments.size() ? kStage2Environments[function]
                                                     : TextureEnvironment{};
    case 2:
        if (function != 0)
            return TextureEnvironment{};
        if (caps.combine4)
            return kStage3Combine4;
        if (caps.combine3)
            return kStage3Combine3;
        return kStage3Plain;
    default:
        return TextureEnvironment{};
    }
}

void PlanMaterialPasses(Material& material, const RenderCaps& caps) {
    if (!material.pass_plan)
        material.pass_plan = std::make_unique<PassPlan>();
    PassPlan& plan = *material.pass_plan;
    const bool third_stage_in_one_pass =
        caps.texture_units > 2 && (caps.combine4 != 0 || caps.combine3 != 0);
    if (material.textures[2] == 0 || third_stage_in_one_pass) {
        plan.single_pass = 1;
        plan.pass_count = 0;
        plan.first_pass.reset();
        plan.second_pass.reset();
        return;
    }
    plan.single_pass = 0;
    plan.pass_count = 2;
    // The first pass draws stages 1 and 2 only: on a renderer with a third unit but neither
    // combiner extension, that stage would add texture 3 without the colour, on top of the
    // second pass adding colour * texture 3.
    plan.first_pass = std::make_unique<Material>(material);
    plan.first_pass->textures[2] = 0;
    plan.second_pass = std::make_unique<Material>(material);
    Material& second = *plan.second_pass;
    second.blend_function = 1;
    second.textures[0] = material.textures[2];
    second.wrap_modes[0] = material.wrap_modes[2];
    second.coordinate_generation[0] = material.coordinate_generation[2];
    second.rotation[0] = material.rotation[2];
    second.functions[0] = 0;
    second.textures[1] = 0;
    second.textures[2] = 0;
}

void ApplyMaterialFixed(const Material* material, Project& project, uint32_t time, float camera_y,
                        float camera_x, const RenderCaps& caps, const TexCoordSources& sources) {
    if (material == nullptr)
        return;
    const Material& m = *material;

    // Textures are resolved before any state is set: a 2D effect brought up to date here
    // may itself draw.
    std::array<ResolvedTexture, kTextureStages> textures{};
    for (int stage = 0; stage < kTextureStages; ++stage)
        if (StageActive(m, stage))
            textures[stage] = ResolveTextureRef(project, m.textures[stage], time, caps);

    Switch(GL_CULL_FACE, m.backface_culling != 0);
    Switch(GL_DEPTH_TEST, m.depth_test != 0);
    Switch(GL_NORMALIZE, m.normalization != 0);

    if (m.wireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLineWidth(Value(m, kMaterialLineWidth, time, project));
    } else {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }

    glColor4f(Value(m, kMaterialRed, time, project), Value(m, kMaterialGreen, time, project),
              Value(m, kMaterialBlue, time, project), Value(m, kMaterialAlpha, time, project));

    ApplyBlend(m.blend_function);

    // Light 0 is never used. Without light 1 lighting is off and light 2 keeps its state.
    if (m.light1 == 0) {
        glDisable(GL_LIGHTING);
    } else {
        glEnable(GL_LIGHTING);
        SetLight(GL_LIGHT1, m.light1, time, project);
        if (m.light2 == 0)
            glDisable(GL_LIGHT2);
        else
            SetLight(GL_LIGHT2, m.light2, time, project);
    }

    ApplyFog(m, time, project);

    for (int stage = 0; stage < kTextureStages; ++stage) {
        // The third unit exists on the renderer only with more than two texture units.
        if (stage == 2 && caps.texture_units <= 2)
            break;
        if (!StageActive(m, stage)) {
            DisableStage(stage);
            continue;
        }
        ApplyStage(stage, StageInputs{m, textures[stage], camera_y, camera_x, caps, sources});
    }
    // Later client-array calls (the vertex and normal arrays) are not per unit, but texture
    // state set outside materials expects the first unit.
    SelectUnit(0);
}

} // namespace korvane
