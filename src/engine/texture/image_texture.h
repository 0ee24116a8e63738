// The texture records built from image files: ImageTexture (a 2D texture from one PNG or
// JPEG image of the package, with the production's own smaller mip images where it ships
// them, which layers may also render into) and CubeMapTexture (six face images); their
// decoding, loading and document checks. Each record releases its GL objects with itself.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "gl/render_caps.h"

namespace korvane {

struct Project;
struct XmlNode;

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

// The face attributes of a cube-map element and the GL face targets they fill, in the
// record's face order.
struct CubeFaceSource {
    const char* attribute;
    uint32_t target;
};
inline constexpr std::array<CubeFaceSource, kCubeFaceCount> kCubeFaceSources = {{
    {"xp", 0x8515}, // GL_TEXTURE_CUBE_MAP_POSITIVE_X
    {"xn", 0x8516}, // GL_TEXTURE_CUBE_MAP_NEGATIVE_X
    {"yp", 0x8517}, // GL_TEXTURE_CUBE_MAP_POSITIVE_Y
    {"yn", 0x8518}, // GL_TEXTURE_CUBE_MAP_NEGATIVE_Y
    {"zp", 0x8519}, // GL_TEXTURE_CUBE_MAP_POSITIVE_Z
    {"zn", 0x851A}, // GL_TEXTURE_CUBE_MAP_NEGATIVE_Z
}};

// Decodes a PNG or JPEG image held in memory, keeping its channel count, except that grey
// with alpha (two channels) becomes RGBA with the grey in red, green and blue: images are
// uploaded and mipmapped as luminance, RGB or RGBA data only. False, with the decoder's
// reason, when the bytes are no image it can read.
bool DecodeImage(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& reason);

// Converts an image of 1 to 4 channels to 3 (RGB) or 4 (RGBA): grey is copied into red,
// green and blue, a missing alpha is opaque.
void ConvertChannels(DecodedImage& image, uint32_t channels);

// Fetches a package entry and decodes it. Empty when it worked, otherwise the problem:
// "stone.png is not in the package", "stone.png cannot be decoded (...)".
std::string FetchImage(std::FILE* package, const char* name, DecodedImage& image);

// The entry a production ships its own mip level 1 or 2 of an image under: the image's
// name with "_mm1" or "_mm2" before its last four characters (wall.png: wall_mm1.png).
// Names of fewer than four characters have none (an empty name).
std::string SuppliedLevelName(const std::string& filename, int level);

// Brings the six decoded faces of a cube map to one channel count: 3, or 4 when any face
// has alpha. Empty when that worked, otherwise the problem: the faces of a cube map must be
// square and all of one size.
std::string UnifyCubeFaces(std::array<DecodedImage, kCubeFaceCount>& faces, uint32_t& channels);

// The GL internal format of a document's "texture_format" value: its entry in the table,
// GL_RGB for a value the table has no entry for (the document checks refuse those).
uint32_t InternalFormatOf(const TextureFormatTable& formats, uint32_t format);

// What a "texture_format" attribute's text lacks to name an entry of the table (0 to 7);
// empty when it names one.
std::string ValidateTextureFormat(const char* text);

// One item of the image-files section: the next record of the project's image-file pool
// (added first, so that later handles keep their numbers), its image decoded and uploaded
// with its filter and mip chain, the decoded images let go. Empty when it loaded, otherwise
// the problem (an image missing from the package or not decodable). GL must be current.
std::string LoadImageFileElement(const XmlNode& element, Project& project, std::FILE* package,
                                 const TextureFormatTable& formats);

// One item of the cube-maps section: the next record of the project's cube-map pool with its
// GL texture. Every face it names is fetched and decoded; with all six named they are
// uploaded, otherwise the cube map stays an empty texture of size 0. Empty when it loaded,
// otherwise the problem (a face the package lacks or cannot decode, faces of unlike sizes).
std::string LoadCubeMapElement(const XmlNode& element, Project& project, std::FILE* package,
                               const TextureFormatTable& formats);

// What an image-files or cube-maps item lacks for loading: its attributes (a filename of at
// least four characters; six face names, which may be empty), and a texture format the
// table has. One line per problem; none when it loads.
std::vector<std::string> ValidateImageFileElement(const XmlNode& element);
std::vector<std::string> ValidateCubeMapElement(const XmlNode& element);

} // namespace korvane
