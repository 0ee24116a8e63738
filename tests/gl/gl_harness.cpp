#include "gl/gl_harness.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <vector>

#include "frame/renderer_setup.h"
#include "player/video_mode.h"

namespace korvane::gltest {

namespace {

bool gl_ready = false;
std::string gl_failure = "the GL test environment did not run";
Viewport window_viewport;

// Opens the window once for the whole program, as korplayer opens its own: windowed,
// no antialiasing, GLEW, then the renderer set-up with its report kept quiet.
class GlEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            gl_failure = "no DISPLAY: run the GL tests under scripts/run-headless";
            return;
        }
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            gl_failure = std::string("SDL_Init failed: ") + SDL_GetError();
            return;
        }
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
        if (SDL_SetVideoMode(kWindowWidth, kWindowHeight, 24, VideoModeFlags(false)) == nullptr) {
            gl_failure = std::string("no OpenGL window: ") + SDL_GetError();
            return;
        }
        if (glewInit() != GLEW_OK || !GLEW_VERSION_1_3) {
            gl_failure = "GLEW found no OpenGL 1.3";
            return;
        }
        window_viewport = ComputeViewport(kWindowWidth, kWindowHeight,
                                          static_cast<float>(kWindowWidth) / kWindowHeight);
        std::FILE* quiet = std::fopen("/dev/null", "w");
        SetUpRenderer(RendererChoices{}, window_viewport, quiet, [] { SDL_GL_SwapBuffers(); });
        std::fclose(quiet);
        gl_ready = true;
    }
    void TearDown() override {
        if (SDL_WasInit(SDL_INIT_VIDEO))
            SDL_Quit();
    }
};

[[maybe_unused]] const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new GlEnvironment);

} // namespace

bool GlReady() {
    return gl_ready;
}
const std::string& GlFailure() {
    return gl_failure;
}
const Viewport& WindowViewport() {
    return window_viewport;
}

RenderCaps CapsWith(bool fbo, bool npot) {
    RenderCaps caps = GetRenderCaps();
    caps.fbo = fbo ? 1 : 0;
    caps.npot = npot ? 1 : 0;
    return caps;
}

// Without framebuffer objects their entry points are null and the window is always bound.
void BindWindowFramebuffer() {
    if (glBindFramebufferEXT != nullptr)
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void ResetWindow() {
    BindWindowFramebuffer();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const Viewport& v = window_viewport;
    glViewport(v.x, v.y, v.width, v.height);
    glScissor(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
}

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

void FillViewport(Rgb colour) {
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glUseProgram(0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor3ub(colour.r, colour.g, colour.b);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

void FillRect(int x, int y, int width, int height, Rgb colour) {
    GLint saved[4];
    glGetIntegerv(GL_VIEWPORT, saved);
    glViewport(saved[0] + x, saved[1] + y, width, height);
    FillViewport(colour);
    glViewport(saved[0], saved[1], saved[2], saved[3]);
}

Rgb WindowPixel(int x, int y) {
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
    BindWindowFramebuffer();
    uint8_t pixel[3] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    if (framebuffer != 0)
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(framebuffer));
    return {pixel[0], pixel[1], pixel[2]};
}

Rgb TextureImage::At(int x, int y) const {
    size_t i = (static_cast<size_t>(y) * width + x) * 3;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return {};
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

TextureImage ReadTexture(uint32_t texture, uint32_t target) {
    bool face =
        target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
    glBindTexture(face ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, texture);
    TextureImage image;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &image.width);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &image.height);
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!image.rgb.empty())
        glGetTexImage(target, 0, GL_RGB, GL_UNSIGNED_BYTE, image.rgb.data());
    return image;
}

uint16_t AddImage(ResourcePool<ImageTexture>& images, uint32_t width, uint32_t height,
                  uint8_t filter, Rgb colour) {
    uint16_t handle = PoolAdd(images);
    ImageTexture& image = *PoolGet(images, handle);
    image.width = width;
    image.height = height;
    image.channels = 3;
    image.filter = filter;
    GLuint name = 0;
    glGenTextures(1, &name);
    image.gl_texture = name;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = colour.r;
        pixels[i + 1] = colour.g;
        pixels[i + 2] = colour.b;
    }
    glBindTexture(GL_TEXTURE_2D, name);
    if (filter == kFilterMipmapped)
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (filter == kFilterMipmapped) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        GLint mode = filter == kFilterNearest ? GL_NEAREST : GL_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mode);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mode);
    }
    return handle;
}

uint16_t AddCube(ResourcePool<CubeMapTexture>& cubes, uint32_t size) {
    uint16_t handle = PoolAdd(cubes);
    CubeMapTexture& cube = *PoolGet(cubes, handle);
    cube.width = cube.height = size;
    cube.channels = 3;
    cube.filter = kFilterLinear;
    GLuint name = 0;
    glGenTextures(1, &name);
    cube.gl_texture = name;
    std::vector<uint8_t> black(static_cast<size_t>(size) * size * 3, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
         ++face)
        glTexImage2D(face, 0, GL_RGB, static_cast<GLsizei>(size), static_cast<GLsizei>(size), 0,
                     GL_RGB, GL_UNSIGNED_BYTE, black.data());
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return handle;
}

} // namespace korvane::gltest
