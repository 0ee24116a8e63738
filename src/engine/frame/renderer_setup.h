// The renderer set-up that follows the opening of the OpenGL window: the capability
// report between two rules, the RenderCaps and TextureFormatTable it fills, and the GL
// state every drawing stage assumes. korplayer and korrender both run it, so that
// frames rendered offline are drawn exactly as the player draws them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "frame/targets.h"
#include "gl/render_caps.h"

namespace korvane {

// What the driver reports, as read from GLEW after its initialisation.
struct DriverFeatures {
    bool vertex_buffer_object = false; // GL_ARB_vertex_buffer_object
    bool version_1_5 = false;
    bool pixel_buffer_object = false; // GL_ARB_pixel_buffer_object
    bool version_2_1 = false;
    bool texture_non_power_of_two = false; // GL_ARB_texture_non_power_of_two
    bool texture_compression = false;      // GL_ARB_texture_compression
    bool framebuffer_object = false;       // GL_EXT_framebuffer_object
    bool texture_env_combine4 = false;     // GL_NV_texture_env_combine4
    bool texture_env_combine3 = false;     // GL_ATI_texture_env_combine3
    int max_texture_units = 0;
};

// The user's side of the set-up: the launcher's VBO toggle and renderer, and the
// "-forcepbo" argument.
struct RendererChoices {
    bool vbo_toggle = true;
    bool force_pbo = false;
    uint8_t renderer_flag = kRendererGlsl;
};

DriverFeatures ReadDriverFeatures();

// Prints the report and returns the RenderCaps it describes; no GL calls.
RenderCaps ReportCapabilities(const DriverFeatures& driver, const RendererChoices& choices,
                              std::FILE* out);

// The whole set-up: the report, the program-wide records, the framebuffer object, the
// matrices and the initial GL state. `swap` shows the back buffer (SDL or EGL).
void SetUpRenderer(const RendererChoices& choices, const Viewport& viewport, std::FILE* out,
                   const std::function<void()>& swap);

} // namespace korvane
