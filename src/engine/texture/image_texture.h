// The texture records built from image files: ImageTexture (a 2D texture from one PNG or
// JPEG image, which layers may also render into) and CubeMapTexture (six face images).
// Each record owns its GL texture and depth renderbuffer and releases them with itself.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvane {

// A decoded image: rows from row 0, width x height x channels bytes.
struct DecodedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
    std::vector<uint8_t> pixels;
};

// Texture filter values of the image-file and cube-map records.
constexpr uint8_t kFilterNearest = 0;
constexpr uint8_t kFilterLinear = 1;
constexpr uint8_t kFilterMipmapped = 2; // linear with a mip chain (image files only)

// One texture of the image-file pool. Its GL objects are deleted with the record, so a
// record holding any must be released while the GL context is current.
struct ImageTexture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;           // 1, 3 or 4; 3 once the texture is made as a target
    uint32_t gl_texture = 0;         // GL texture name, 0 = none
    uint32_t depth_renderbuffer = 0; // made when a layer renders into it through a framebuffer
    uint8_t format = 0;              // TextureFormatTable index
    uint8_t filter = kFilterNearest;
    // The level-0 image while it is uploaded, or the pixel buffer of a render target;
    // empty otherwise.
    std::vector<uint8_t> pixels;
    std::optional<DecodedImage> supplied_level_1;
    std::optional<DecodedImage> supplied_level_2;

    ImageTexture() = default;
    ~ImageTexture();
    ImageTexture(const ImageTexture&) = delete;
    ImageTexture& operator=(const ImageTexture&) = delete;
};

// Cube faces in stored order: +X, -X, +Y, -Y, +Z, -Z.
constexpr int kCubeFaceCount = 6;

struct CubeMapFace {
    std::vector<uint8_t> pixels; // decoded image, empty = none
    // 0: the pixels are uncompressed; otherwise the byte size of precompressed data.
    uint32_t compressed_size = 0;
};

// One texture of the cube-map pool; layers may render into its faces. Its GL objects are
// deleted with the record, as for ImageTexture.
struct CubeMapTexture {
    uint32_t width = 0; // of the last face decoded; all faces are taken to share them
    uint32_t height = 0;
    uint32_t channels = 0;
    uint32_t gl_texture = 0; // a GL_TEXTURE_CUBE_MAP name, 0 = none
    uint32_t depth_renderbuffer = 0;
    uint8_t format = 0;              // TextureFormatTable index
    uint8_t filter = kFilterNearest; // 0 nearest, any other value linear
    std::array<CubeMapFace, kCubeFaceCount> faces;

    CubeMapTexture() = default;
    ~CubeMapTexture();
    CubeMapTexture(const CubeMapTexture&) = delete;
    CubeMapTexture& operator=(const CubeMapTexture&) = delete;
};

// Deletes a record's GL texture and depth renderbuffer and zeroes their names.
void ReleaseTextureObjects(ImageTexture& texture);
void ReleaseTextureObjects(CubeMapTexture& texture);

} // namespace korvane
