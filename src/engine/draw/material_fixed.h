// A material on the fixed-function path: the render states, lights, fog and the three
// texture stages with their texture-environment combiners, and the split into two passes
// for drivers that cannot run the third stage in one. The blend and combiner choices are
// tables, so that they can be read without a GL context.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "draw/material.h"
#include "gl/gl.h"
#include "gl/render_caps.h"

namespace korvane {

struct Project;
struct TexCoordSources;

// How a material is drawn in fixed-function mode: once with itself (single pass), or once
// per pass with the pass materials, which are owned copies without plans of their own.
struct PassPlan {
    uint8_t single_pass = 0;
    uint8_t pass_count = 0; // 0 to 2; 0 draws nothing
    std::unique_ptr<Material> first_pass;
    std::unique_ptr<Material> second_pass;
};

// Builds the material's pass plan, once, right after it is loaded. Without a third texture,
// or with a third texture unit and a combiner extension that computes previous + texture *
// colour in one stage, the material draws in one pass. Otherwise in two: the first with
// stages 1 and 2, the second adding colour * texture 3 on top (additive blending, texture 3
// alone in stage 1 with its wrap mode, coordinate generation and rotation).
void PlanMaterialPasses(Material& material, const RenderCaps& caps);

// One row of the blend table: the two factors and the equation.
struct BlendRow {
    GLenum source;
    GLenum destination;
    GLenum equation;
};

// Blend functions 0 to 4; larger values leave blending as it was.
inline constexpr std::array<BlendRow, 5> kBlendTable = {{
    {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD}, // 0: alpha blending
    {GL_ONE, GL_ONE, GL_FUNC_ADD},                       // 1: additive
    {GL_ONE, GL_ZERO, GL_FUNC_ADD},                      // 2: opaque
    {GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD},       // 3: premultiplied alpha
    {GL_SRC_ALPHA, GL_ONE, GL_FUNC_REVERSE_SUBTRACT},    // 4: subtractive
}};

// One argument of a texture combiner: its source and operand.
struct CombinerArgument {
    GLenum source;
    GLenum operand;
};

// The RGB or alpha half of a texture environment. A function of 0 leaves that half as it
// was; only the first argument_count arguments are set.
struct Combiner {
    GLenum function = 0;
    uint8_t argument_count = 0;
    std::array<CombinerArgument, 4> arguments{};
};

// What a stage's combine function sets: the environment mode (0: the environment is left as
// it was), its two combiners, and whether the constant colour is set to opaque white.
struct TextureEnvironment {
    GLenum mode = 0;
    Combiner rgb;
    Combiner alpha;
    bool constant_white = false;
};

namespace combiner {
constexpr CombinerArgument kTextureColour{GL_TEXTURE, GL_SRC_COLOR};
constexpr CombinerArgument kTextureAlpha{GL_TEXTURE, GL_SRC_ALPHA};
constexpr CombinerArgument kPrimaryColour{GL_PRIMARY_COLOR, GL_SRC_COLOR};
constexpr CombinerArgument kPrimaryAlpha{GL_PRIMARY_COLOR, GL_SRC_ALPHA};
constexpr CombinerArgument kPreviousColour{GL_PREVIOUS, GL_SRC_COLOR};
constexpr CombinerArgument kPreviousAlpha{GL_PREVIOUS, GL_SRC_ALPHA};
} // namespace combiner

// Stage 1 (texture unit 0): the primary colour after lighting with the texture.
inline constexpr std::array<TextureEnvironment, 4> kStage1Environments = {{
    // 0: modulate colour and alpha
    {GL_COMBINE,
     {GL_MODULATE, 2, {{combiner::kPrimaryColour, combiner::kTextureColour}}},
     {GL_MODULATE, 2, {{combiner::kPrimaryAlpha, combiner::kTextureAlpha}}}},
    // 1: modulate colour, the texture's alpha
    {GL_COMBINE,
     {GL_MODULATE, 2, {{combiner::kPrimaryColour, combiner::kTextureColour}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 2: the texture alone
    {GL_COMBINE,
     {GL_REPLACE, 1, {{combiner::kTextureColour}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 3: add colour and alpha
    {GL_COMBINE,
     {GL_ADD, 2, {{combiner::kPrimaryColour, combiner::kTextureColour}}},
     {GL_ADD, 2, {{combiner::kPrimaryAlpha, combiner::kTextureAlpha}}}},
}};

// Stage 2 (texture unit 1): the texture with the result of stage 1.
inline constexpr std::array<TextureEnvironment, 6> kStage2Environments = {{
    // 0: add
    {GL_COMBINE,
     {GL_ADD, 2, {{combiner::kTextureColour, combiner::kPreviousColour}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 1: modulate
    {GL_COMBINE,
     {GL_MODULATE, 2, {{combiner::kPreviousColour, combiner::kTextureColour}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 2: dot product, for bump maps
    {GL_COMBINE,
     {GL_DOT3_RGB, 2, {{combiner::kTextureColour, combiner::kPreviousColour}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 3: texture * colour + previous * (1 - colour), per channel
    {GL_COMBINE,
     {GL_INTERPOLATE,
      3,
      {{combiner::kTextureColour, combiner::kPreviousColour, combiner::kPrimaryColour}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 4: texture * alpha + previous * (1 - alpha)
    {GL_COMBINE,
     {GL_INTERPOLATE,
      3,
      {{combiner::kTextureColour, combiner::kPreviousColour, combiner::kPrimaryAlpha}}},
     {GL_REPLACE, 1, {{combiner::kTextureAlpha}}}},
    // 5: add, keeping the alpha of stage 1
    {GL_COMBINE,
     {GL_ADD, 2, {{combiner::kTextureColour, combiner::kPreviousColour}}},
     {GL_REPLACE, 1, {{combiner::kPreviousAlpha}}}},
}};

// Stage 3 (texture unit 2), function 0: previous + texture * colour where the hardware can
// do it in one stage. Its alpha combiner is never set.
//
// NV_texture_env_combine4 adds two products: texture * colour + previous * constant alpha,
// with an opaque white constant.
inline constexpr TextureEnvironment kStage3Combine4 = {GL_COMBINE4_NV,
                                                       {GL_ADD,
                                                        4,
                                                        {{combiner::kTextureColour,
                                                          combiner::kPrimaryColour,
                                                          combiner::kPreviousColour,
                                                          {GL_CONSTANT, GL_SRC_ALPHA}}}},
                                                       {},
                                                       true};
// ATI_texture_env_combine3: argument 0 * argument 2 + argument 1.
inline constexpr TextureEnvironment kStage3Combine3 = {
    GL_COMBINE,
    {GL_MODULATE_ADD_ATI,
     3,
     {{combiner::kTextureColour, combiner::kPreviousColour, combiner::kPrimaryColour}}},
    {},
    false};
// Plain OpenGL 1.3: texture + previous, without the colour.
inline constexpr TextureEnvironment kStage3Plain = {
    GL_COMBINE, {GL_ADD, 2, {{combiner::kTextureColour, combiner::kPreviousColour}}}, {}, false};

// The environment that a stage (0-based) sets for its combine function on a renderer; mode 0
// when the function is outside the stage's table, which leaves the environment as it was.
TextureEnvironment StageEnvironment(int stage, uint8_t function, const RenderCaps& caps);

// Sets the fixed-function state of a material at a time, in this order: culling, depth test,
// normalisation, wireframe and line width, colour, blending, lights 1 and 2 (GL_LIGHT1 and
// GL_LIGHT2; the modelview must be the camera's view so that light positions are world
// positions), fog, and the three texture stages with their textures, wrap modes, coordinate
// generation, texture matrices and combiners. The camera angles (degrees) are those of the
// view matrix; sources are the mesh's texture coordinates per stage. With no material
// nothing is set. States the material does not own are left as the previous draw left them.
void ApplyMaterialFixed(const Material* material, Project& project, uint32_t time, float camera_y,
                        float camera_x, const RenderCaps& caps, const TexCoordSources& sources);

} // namespace korvane
