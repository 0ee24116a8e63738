#include "frame/targets.h"

#include "gl/gl.h"

namespace korvane {

namespace {
GLuint framebuffer = 0; // shared by all targets; made once at start-up
} // namespace

void CreateFramebuffer() { glGenFramebuffersEXT(1, &framebuffer); }

Viewport ComputeViewport(uint16_t width, uint16_t height, float aspect) {
    Viewport viewport;
    if (static_cast<double>(aspect) < 1.7777777777) {
        // Narrower than 16:9: bars above and below.
        float h = aspect * (static_cast<float>(height) * 0.5625f);
        int bar_height = static_cast<int>(h);
        viewport.x = 0;
        viewport.y = static_cast<uint16_t>((height - bar_height) / 2);
        viewport.width = width;
        viewport.height = static_cast<uint16_t>(bar_height);
    } else {
        // As wide as 16:9 or wider: bars left and right.
        float w = (1.7777778f / aspect) * static_cast<float>(width);
        int picture_width = static_cast<int>(w);
        viewport.x = static_cast<uint16_t>((width - picture_width) / 2);
        viewport.y = 0;
        viewport.width = static_cast<uint16_t>(picture_width);
        viewport.height = height;
    }
    return viewport;
}

} // namespace korvane
