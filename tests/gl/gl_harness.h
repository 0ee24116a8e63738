// The GL test harness: one SDL OpenGL window for the whole test program, set up by the
// player's own renderer set-up, with the means to draw known pictures and read pixels back
// from the window and from textures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/targets.h"
#include "gl/gl.h"
#include "gl/render_caps.h"
#include "model/pool.h"
#include "texture/image_texture.h"

namespace korvane::gltest {

constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 240;

// True once the window is open and the renderer set up; tests assert it first.
bool GlReady();
// Why the window could not be opened, for the failure message.
const std::string& GlFailure();

// The window's 16:9 picture: (0, 30, 320, 180) in the 4:3 test window.
const Viewport& WindowViewport();

// The RenderCaps the set-up found, with the framebuffer-object and npot choices of a test.
RenderCaps CapsWith(bool fbo, bool npot);

void BindWindowFramebuffer();

// Puts GL back as the renderer set-up leaves it and clears the whole window to black.
void ResetWindow();

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
std::ostream& operator<<(std::ostream& out, const Rgb& c);

// Fills a rectangle of the current drawing target (viewport coordinates, from the lower
// left) with a colour, by drawing a quad: unlike a clear, drawing follows the viewport.
void FillRect(int x, int y, int width, int height, Rgb colour);
// Fills the whole current GL viewport.
void FillViewport(Rgb colour);

// A pixel of the window's back buffer, x from the left and y from the bottom.
Rgb WindowPixel(int x, int y);

// Level 0 of a 2D texture or of one cube face, as RGB rows from the bottom.
struct TextureImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Rgb At(int x, int y) const;
};
TextureImage ReadTexture(uint32_t texture, uint32_t target = GL_TEXTURE_2D);

// An image-file texture as loading leaves it: a solid picture with the filters of its
// filter value (a mipmapped one has its mip chain).
uint16_t AddImage(ResourcePool<ImageTexture>& images, uint32_t width, uint32_t height,
                  uint8_t filter, Rgb colour = {128, 128, 128});

// A cube map as loading leaves it: six black faces of one size.
uint16_t AddCube(ResourcePool<CubeMapTexture>& cubes, uint32_t size);

} // namespace korvane::gltest
