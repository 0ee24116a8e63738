// Generated shader programs: writing and sharing the programs of 1000 materials as the loader
// does (no compiling), against a bar of 50 ms, with the plain walk for comparison; and the
// CPU side of one draw on the shader path, ApplyMaterialShader plus the per-instance
// uniforms, against a bar of 5 us, on a real GL context (run under scripts/run-headless).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "draw/light.h"
#include "draw/material.h"
#include "draw/shader_gen.h"
#include "draw/shader_program.h"
#include "frame/renderer_setup.h"
#include "gl/gl.h"
#include "math/matrices.h"
#include "model/project.h"
#include "player/video_mode.h"
#include "texture/image_texture.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaterials = 1000;
constexpr double kShareBarMilliseconds = 50.0;
constexpr double kDrawBarMicroseconds = 5.0;
constexpr double kFrameMicroseconds = 1e6 / 60.0;

// A project with a few lights, curves and texture references, and materials of a fixed
// pseudo-random mix: colours from a small palette (some animated), lights, fog and up to
// three stages, so that a few hundred distinct programs serve the 1000 materials and many
// texts of equal length differ only in digits.
struct Scenery {
    std::unique_ptr<Project> project = CreateProject();

    explicit Scenery(int materials, uint32_t image_texture = 0, uint32_t cube_texture = 0) {
        for (int i = 0; i < 8; ++i) {
            const uint32_t handle = PoolAdd(project->curves);
            FunctionCurve& curve = *PoolGet(project->curves, handle);
            curve.segment_count = 1;
            curve.segment_kinds[0] = CurveKind::kSinus;
            curve.segment_lengths[0] = UINT32_MAX;
            curve.segment_parameters[0] = {0.5f, 0.01f * static_cast<float>(i + 1), 0.0f, 0.5f};
        }
        for (int i = 0; i < 4; ++i) {
            Light& light = *PoolGet(project->lights, PoolAdd(project->lights));
            for (int v = 0; v < 9; ++v)
                light.values[v] = MakeStaticValue(0.1f * static_cast<float>(v + i));
            if (i % 2) {
                light.values[kLightPositionX] = MakeDynamicValue(1 + i);
                light.values[kLightDiffuseRed] = MakeDynamicValue(2 + i);
                light.dynamic_bits = (1u << kLightPositionX) | (1u << kLightDiffuseRed);
            }
        }
        const uint32_t image = PoolAdd(project->image_files);
        PoolGet(project->image_files, image)->gl_texture = image_texture;
        const uint32_t cube = PoolAdd(project->cube_maps);
        PoolGet(project->cube_maps, cube)->gl_texture = cube_texture;
        for (const TextureRef ref : {TextureRef{TextureRefKind::kImage, image},
                                     TextureRef{TextureRefKind::kCubeMap, cube}})
            *PoolGet(project->texture_refs, PoolAdd(project->texture_refs)) = ref;

        uint32_t seed = 2024;
        auto next = [&](uint32_t bound) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % bound;
        };
        // Texture stages: (reference, coordinate generation, rotation, function) per stage.
        struct StageSetup {
            uint32_t ref;
            uint8_t generation, rotation, function;
        };
        static const std::vector<std::vector<StageSetup>> kStageSetups = {
            {},
            {{1, 0, 0, 0}},
            {{1, 1, 1, 0}},
            {{1, 0, 0, 0}, {2, 2, 0, 1}},
            {{1, 0, 0, 1}, {1, 1, 0, 3}},
            {{1, 0, 0, 0}, {1, 0, 1, 5}, {2, 2, 0, 0}},
        };
        static const float kPalette[4][4] = {
            {1.0f, 1.0f, 1.0f, 1.0f},
            {1.0f, 0.5f, 0.25f, 1.0f},
            {0.25f, 0.5f, 1.0f, 0.5f},
            {0.75f, 0.75f, 0.75f, 0.875f},
        };
        for (int m = 0; m < materials; ++m) {
            Material& material = *PoolGet(project->materials, PoolAdd(project->materials));
            const float* colour = kPalette[next(4)];
            for (int c = 0; c < 4; ++c)
                material.values[kMaterialRed + c] = MakeStaticValue(colour[c]);
            if (next(3) == 0) {
                material.values[kMaterialRed] = MakeDynamicValue(1 + next(8));
                material.dynamic[kMaterialRed] = 1;
            }
            material.depth_test = 1;
            material.blend_function = static_cast<uint8_t>(next(5));
            const uint32_t lights = next(3);
            material.light1 = lights >= 1 ? 1 + next(2) : 0;
            material.light2 = lights >= 2 ? 3 : 0;
            if (next(4) == 0) {
                material.fog_type = 1;
                material.fog_color = next(2) * 4;
                material.values[kMaterialFogStart] = MakeStaticValue(10.0f);
                material.values[kMaterialFogEnd] = MakeStaticValue(100.0f);
            }
            const std::vector<StageSetup>& stages = kStageSetups[next(kStageSetups.size())];
            for (size_t s = 0; s < stages.size(); ++s) {
                material.textures[s] = stages[s].ref;
                material.coordinate_generation[s] = stages[s].generation;
                material.rotation[s] = stages[s].rotation;
                material.functions[s] = stages[s].function;
            }
        }
    }
};

void GenerateAndShare(benchmark::State& state, bool indexed) {
    Scenery scenery(kMaterials);
    Project& project = *scenery.project;
    int64_t owners = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        ProgramShareIndex index;
        owners = 0;
        for (uint32_t handle = 1; handle <= kMaterials; ++handle) {
            Material& material = *PoolGet(project.materials, handle);
            GenerateMaterialShaders(material, project.lights, project.texture_refs);
            material.shader_program->shared_from =
                indexed ? FindSharedProgram(project.materials, handle, index)
                        : FindSharedProgram(project.materials, handle);
            owners += material.shader_program->shared_from == 0;
        }
        benchmark::ClobberMemory();
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count() /
        static_cast<double>(state.iterations());
    state.counters["ms_for_1000"] = milliseconds;
    state.counters["programs"] = static_cast<double>(owners);
    state.counters["percent_of_bar"] = 100.0 * milliseconds / kShareBarMilliseconds;
    state.SetLabel(milliseconds < kShareBarMilliseconds ? "under the 50 ms bar"
                                                        : "OVER the 50 ms bar");
}

void BM_GenerateAndShare1000Materials(benchmark::State& state) {
    GenerateAndShare(state, true);
}
BENCHMARK(BM_GenerateAndShare1000Materials)->Unit(benchmark::kMillisecond);

// The same with the walk over the whole pool per material, as a reference.
void BM_GenerateAndShareByWalk(benchmark::State& state) {
    GenerateAndShare(state, false);
}
BENCHMARK(BM_GenerateAndShareByWalk)->Unit(benchmark::kMillisecond);

// One OpenGL window for the process, opened as the player opens its own.
bool OpenWindow(std::string& failure) {
    static bool tried = false, opened = false;
    static std::string why;
    if (!tried) {
        tried = true;
        if (std::getenv("DISPLAY") == nullptr) {
            why = "no DISPLAY: run under scripts/run-headless";
        } else if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            why = std::string("SDL_Init failed: ") + SDL_GetError();
        } else if (SDL_SetVideoMode(320, 240, 24, VideoModeFlags(false)) == nullptr) {
            why = std::string("no OpenGL window: ") + SDL_GetError();
        } else if (glewInit() != GLEW_OK || !GLEW_VERSION_2_0) {
            why = "GLEW found no OpenGL 2.0";
        } else {
            std::FILE* quiet = std::fopen("/dev/null", "w");
            SetUpRenderer(RendererChoices{}, ComputeViewport(320, 240, 320.0f / 240.0f), quiet,
                          [] { SDL_GL_SwapBuffers(); });
            std::fclose(quiet);
            opened = true;
        }
    }
    failure = why;
    return opened;
}

void BM_ApplyMaterialShaderPerDraw(benchmark::State& state) {
    std::string failure;
    if (!OpenWindow(failure)) {
        state.SkipWithError(failure.c_str());
        return;
    }
    GLuint textures[2] = {};
    glGenTextures(2, textures);
    const uint8_t pixel[3] = {128, 128, 128};
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    glBindTexture(GL_TEXTURE_CUBE_MAP, textures[1]);
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
         ++face)
        glTexImage2D(face, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, pixel);

    {
        // 64 materials built once; draws cycle through them, as objects of a scene do.
        constexpr int kDrawMaterials = 64;
        Scenery scenery(kDrawMaterials, textures[0], textures[1]);
        Project& project = *scenery.project;
        ProgramShareIndex index;
        for (uint32_t handle = 1; handle <= kDrawMaterials; ++handle)
            PrepareMaterialProgram(project.materials, handle, project.lights, project.texture_refs,
                                   index);
        std::vector<float> coordinates(2 * 64, 0.5f);
        TexCoordSources sources;
        sources.arrays = {coordinates.data(), coordinates.data(), coordinates.data()};
        RenderCaps caps = GetRenderCaps();
        caps.vbo = 0;
        MatrixSet& matrices = GetMatrixSet();

        uint32_t handle = 1, time = 0;
        const Clock::time_point start = Clock::now();
        for (auto _ : state) {
            Material& material = *PoolGet(project.materials, handle);
            const ShaderProgram* program =
                ApplyMaterialShader(material, project, time, 30.0f, 10.0f, caps, sources);
            matrices.model = matrices.identity;
            Translate(MatrixSlot::kModel, 1.0f, 2.0f, 3.0f);
            if (program != nullptr)
                SetInstanceUniforms(*program);
            handle = handle % kDrawMaterials + 1;
            ++time;
        }
        const double microseconds =
            std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
            static_cast<double>(state.iterations());
        state.counters["us_per_draw"] = microseconds;
        state.counters["percent_of_60Hz_frame"] = 100.0 * microseconds / kFrameMicroseconds;
        state.SetLabel(microseconds < kDrawBarMicroseconds ? "under the 5 us bar"
                                                           : "OVER the 5 us bar");
        for (int unit = 0; unit < kTextureStages; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glBindTexture(GL_TEXTURE_2D, 0);
            glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        }
        glActiveTexture(GL_TEXTURE0);
        glUseProgram(0);
        // The scenery's image records do not own the textures made here.
        PoolGet(project.image_files, 1)->gl_texture = 0;
        PoolGet(project.cube_maps, 1)->gl_texture = 0;
    }
    glDeleteTextures(2, textures);
}
BENCHMARK(BM_ApplyMaterialShaderPerDraw);

} // namespace
} // namespace korvane
