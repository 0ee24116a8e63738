#include "texture/image_texture.h"

#include "gl/gl.h"

namespace korvane {

namespace {

// Records that never reached GL hold no names and make no GL call, so they may be made
// and destroyed without a context.
void DeleteObjects(uint32_t& texture, uint32_t& renderbuffer) {
    if (texture != 0) {
        GLuint name = texture;
        glDeleteTextures(1, &name);
        texture = 0;
    }
    if (renderbuffer != 0) {
        GLuint name = renderbuffer;
        glDeleteRenderbuffersEXT(1, &name);
        renderbuffer = 0;
    }
}

} // namespace

void ReleaseTextureObjects(ImageTexture& texture) {
    DeleteObjects(texture.gl_texture, texture.depth_renderbuffer);
}

void ReleaseTextureObjects(CubeMapTexture& texture) {
    DeleteObjects(texture.gl_texture, texture.depth_renderbuffer);
}

ImageTexture::~ImageTexture() {
    ReleaseTextureObjects(*this);
}

CubeMapTexture::~CubeMapTexture() {
    ReleaseTextureObjects(*this);
}

} // namespace korvane
