#include "texture/texture_graph.h"

#include "gl/gl.h"

namespace korvane {

ProceduralTexture::~ProceduralTexture() {
    if (gl_texture != 0)
        glDeleteTextures(1, &gl_texture);
}

} // namespace korvane
