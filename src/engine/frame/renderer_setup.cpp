#include "frame/renderer_setup.h"

#include <algorithm>

#include "gl/gl.h"
#include "math/matrices.h"
#include "texture/generators.h"

namespace korvane {

namespace {

const char* const kRule =
    "==========================================================================";
const char* const kVboDetected = "VBO support detected.";
const char* const kNoVbo = "No VBO support.";
const char* const kNoPbo = "No PBO support.";
const char* const kPboDetected = "PBO support detected.";
const char* const kPboDisabled =
    "PBO support detected, but it may be slow (opengl version is lower than 2.1), so i "
    "disable it. Use -forcepbo to enable it.";
const char* const kNpotDetected = "NPOT texture support detected.";
const char* const kNoNpot = "No NPOT texture support.";
const char* const kCompressionDetected = "Texture compression support detected.";
const char* const kNoCompression = "No texture compression support.";
const char* const kFboDetected = "EXT_framebuffer_object support detected.";
const char* const kNoFbo = "No EXT_framebuffer_object support.";
const char* const kUsingGlsl = "Using GLSL shaders.";
const char* const kUsingUnits = "Using %d texture units";
const char* const kWithCombine4 = " + NV_texture_env_combine4.";
const char* const kWithCombine3 = " + ATI_texture_env_combine3.";

void Line(std::FILE* out, const char* text) {
    std::fprintf(out, "%s\n", text);
}

} // namespace

DriverFeatures ReadDriverFeatures() {
    DriverFeatures driver;
    driver.vertex_buffer_object = GLEW_ARB_vertex_buffer_object;
    driver.version_1_5 = GLEW_VERSION_1_5;
    driver.pixel_buffer_object = GLEW_ARB_pixel_buffer_object;
    driver.version_2_1 = GLEW_VERSION_2_1;
    driver.texture_non_power_of_two = GLEW_ARB_texture_non_power_of_two;
    driver.texture_compression = GLEW_ARB_texture_compression;
    driver.framebuffer_object = GLEW_EXT_framebuffer_object;
    driver.texture_env_combine4 = GLEW_NV_texture_env_combine4;
    driver.texture_env_combine3 = GLEW_ATI_texture_env_combine3;
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    driver.max_texture_units = units;
    return driver;
}

RenderCaps ReportCapabilities(const DriverFeatures& driver, const RendererChoices& choices,
                              std::FILE* out) {
    RenderCaps caps;
    Line(out, kRule);
    if (choices.vbo_toggle) {
        if (driver.vertex_buffer_object) {
            Line(out, kVboDetected);
            caps.vbo = 1;
        } else {
            Line(out, kNoVbo);
        }
    }
    if (!driver.pixel_buffer_object) {
        Line(out, kNoPbo);
    } else if (driver.version_2_1 || choices.force_pbo) {
        Line(out, kPboDetected);
        caps.pbo = 1;
    } else {
        Line(out, kPboDisabled);
    }
    caps.npot = driver.texture_non_power_of_two;
    Line(out, caps.npot ? kNpotDetected : kNoNpot);
    caps.compression = driver.texture_compression;
    Line(out, caps.compression ? kCompressionDetected : kNoCompression);
    caps.fbo = driver.framebuffer_object;
    Line(out, caps.fbo ? kFboDetected : kNoFbo);
    caps.texture_units = static_cast<uint8_t>(std::clamp(driver.max_texture_units, 0, 4));
    if (choices.renderer_flag == kRendererGlsl) {
        Line(out, kUsingGlsl);
    } else {
        std::fprintf(out, kUsingUnits, caps.texture_units);
        Line(out, driver.texture_env_combine4   ? kWithCombine4
                  : driver.texture_env_combine3 ? kWithCombine3
                                                : ".");
    }
    if (driver.texture_env_combine4)
        caps.combine4 = 1;
    else if (driver.texture_env_combine3)
        caps.combine3 = 1;
    Line(out, kRule);
    return caps;
}

void SetUpRenderer(const RendererChoices& choices, const Viewport& viewport, std::FILE* out,
                   const std::function<void()>& swap) {
    DriverFeatures driver = ReadDriverFeatures();
    RenderCaps caps = ReportCapabilities(driver, choices, out);
    if (caps.vbo && !driver.version_1_5) {
        // Below OpenGL 1.5 buffer objects exist only under their ARB names; the rest of
        // the program always calls the core names.
        glGenBuffers = glGenBuffersARB;
        glBindBuffer = glBindBufferARB;
        glBufferData = glBufferDataARB;
        glDeleteBuffers = glDeleteBuffersARB;
    }
    if (caps.compression)
        glHint(GL_TEXTURE_COMPRESSION_HINT, GL_NICEST);
    if (caps.fbo)
        CreateFramebuffer();

    SetTextureFormatTable(BuildTextureFormatTable(caps.compression));
    SetRenderCaps(caps);
    SetRendererFlag(choices.renderer_flag);
    ResetMatrices();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    swap();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_BLEND);
    // Clears never touch the letterbox bars.
    glViewport(viewport.x, viewport.y, viewport.width, viewport.height);
    glScissor(viewport.x, viewport.y, viewport.width, viewport.height);
    glEnable(GL_SCISSOR_TEST);
    // Built once, before any document loads: every Maze layer reads them.
    BuildMazeTileTables();
    if (choices.renderer_flag == kRendererFixed) {
        glShadeModel(GL_SMOOTH);
        glEnable(GL_COLOR_MATERIAL);
        const GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    }
    swap();
}

} // namespace korvane
