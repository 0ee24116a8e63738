// What the driver offers and the user chose, as every drawing stage reads it: the
// RenderCaps record (and its copy for the loading screen), the TextureFormatTable of
// internal formats, and the renderer flag. One instance of each for the whole program.
#pragma once

#include <array>
#include <cstdint>

namespace korvane {

struct RenderCaps {
    uint8_t vbo = 0;           // buffer objects for mesh files
    uint8_t pbo = 0;           // pixel buffer objects for 2D-effect textures
    uint8_t npot = 0;          // textures of any size
    uint8_t texture_units = 2; // fixed-function texture stages, at most 4
    uint8_t combine4 = 0;      // GL_NV_texture_env_combine4
    uint8_t combine3 = 0;      // GL_ATI_texture_env_combine3, only without combine4
    uint8_t compression = 0;   // GL_ARB_texture_compression
    uint8_t fbo = 0;           // GL_EXT_framebuffer_object
};

// The loading screen is always drawn without buffer objects, pixel buffers and
// non-power-of-two targets, whatever the driver offers.
RenderCaps LoadingCopyOf(const RenderCaps& caps);

// GL internal formats indexed by a document's "texture_format" (0 ... 7). Values 4 ... 7
// ask for compression and fall back to the plain formats without it.
using TextureFormatTable = std::array<uint32_t, 8>;
TextureFormatTable BuildTextureFormatTable(bool compression);

// Renderer flag values.
constexpr uint8_t kRendererFixed = 0;
constexpr uint8_t kRendererGlsl = 1;

// The program-wide instances, set once by the renderer set-up.
const RenderCaps& GetRenderCaps();
const RenderCaps& GetLoadingRenderCaps();
const TextureFormatTable& GetTextureFormatTable();
uint8_t GetRendererFlag();
void SetRenderCaps(const RenderCaps& caps); // also makes the loading copy
void SetTextureFormatTable(const TextureFormatTable& table);
void SetRendererFlag(uint8_t flag);

} // namespace korvane
