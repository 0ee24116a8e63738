// Texture uploads read back from GL: image files with their mip chains (computed or
// supplied), rows of any length, channel counts and filters, cube maps, the output textures
// of the procedural graph, and the load errors of images a package lacks or cannot decode.
// Productions are built in code; their images are written with stb_image_write.
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gl/gl_harness.h"
#include "load/loader.h"
#include "model/project.h"
#include "support/production.h"
#include "support/support.h"
#include "texture/generators.h"
#include "texture/image_texture.h"
#include "texture/texture_graph.h"
#include "texture/texture_upload.h"

using namespace korvane;
using namespace korvane::gltest;

namespace {

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

std::vector<uint8_t> Png(const DecodedImage& image) {
    std::vector<uint8_t> bytes;
    stbi_write_png_to_func(Append, &bytes, static_cast<int>(image.width),
                           static_cast<int>(image.height), static_cast<int>(image.channels),
                           image.pixels.data(), static_cast<int>(image.width * image.channels));
    return bytes;
}

// An image with different values in every pixel and channel, so that a level read from the
// wrong place, or a row read with the wrong stride, shows.
DecodedImage Pattern(uint32_t width, uint32_t height, uint32_t channels, uint32_t seed = 1) {
    DecodedImage image{width, height, channels, {}};
    image.pixels.resize(static_cast<size_t>(width) * height * channels);
    for (uint8_t& value : image.pixels) {
        seed = seed * 1664525u + 1013904223u;
        value = static_cast<uint8_t>(seed >> 24);
    }
    return image;
}

// The levels below an image as UploadMipChain computes them without supplied levels.
std::vector<DecodedImage> ReferenceChain(const DecodedImage& base) {
    std::vector<DecodedImage> chain{base};
    while (chain.back().width > 1 || chain.back().height > 1) {
        const DecodedImage& above = chain.back();
        MipSize size = NextMipSize(above.width, above.height);
        DecodedImage level{size.width, size.height, above.channels, {}};
        level.pixels.resize(static_cast<size_t>(size.width) * size.height * above.channels);
        ComputeMipLevel(above.pixels.data(), above.width, size.width, size.height, above.channels,
                        level.pixels.data());
        chain.push_back(std::move(level));
    }
    return chain;
}

struct Level {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels; // in the image's own channel layout (1, 3 or 4)
};

// One level of the texture bound to a target, read back in the given pixel format.
Level ReadLevel(GLenum target, int level, GLenum format, int channels) {
    Level read;
    glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &read.width);
    glGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &read.height);
    read.pixels.resize(static_cast<size_t>(read.width) * read.height * channels);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!read.pixels.empty())
        glGetTexImage(target, level, format, GL_UNSIGNED_BYTE, read.pixels.data());
    return read;
}

GLenum ReadFormat(uint32_t channels) {
    return channels == 1 ? GL_LUMINANCE : channels == 3 ? GL_RGB : GL_RGBA;
}

// Every level of a 2D texture equals the chain given, and there is none below it.
void ExpectLevels(uint32_t texture, const std::vector<DecodedImage>& chain) {
    glBindTexture(GL_TEXTURE_2D, texture);
    for (size_t level = 0; level < chain.size(); ++level) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        const DecodedImage& expected = chain[level];
        Level read = ReadLevel(GL_TEXTURE_2D, static_cast<int>(level),
                               ReadFormat(expected.channels), static_cast<int>(expected.channels));
        ASSERT_EQ(read.width, static_cast<int>(expected.width));
        ASSERT_EQ(read.height, static_cast<int>(expected.height));
        EXPECT_TRUE(read.pixels == expected.pixels);
    }
    GLint below = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(chain.size()), GL_TEXTURE_WIDTH,
                             &below);
    EXPECT_EQ(below, 0) << "a level below the chain";
}

class TextureUpload : public testing::Test {
  protected:
    test::TempDir dir;
    std::unique_ptr<Project> project = CreateProject();

    void SetUp() override { ASSERT_TRUE(GlReady()) << GlFailure(); }
    void TearDown() override { DestroyProject(std::move(project)); }

    // Loads a production of the given sections whose package also holds the entries.
    LoadResult Load(const test::DocumentSections& sections, const test::PackageEntries& entries) {
        const std::string path = dir / "production.dpk";
        test::WriteProductionPackage(path, test::BuildDocument(sections), "", entries);
        std::FILE* package = std::fopen(path.c_str(), "rb");
        EXPECT_NE(package, nullptr);
        LoadOptions options;
        options.caps = GetRenderCaps();
        LoadResult result = LoadProject(*project, package, kDemoDocument, options);
        if (package != nullptr)
            std::fclose(package);
        return result;
    }

    const ImageTexture& Image(uint16_t handle) { return *PoolGet(project->image_files, handle); }
};

std::string ImageXml(const std::string& filename, int format, int filter) {
    return "<image filename=\"" + filename + "\" texture_format=\"" + std::to_string(format) +
           "\" texture_filter=\"" + std::to_string(filter) + "\"/>";
}

TEST_F(TextureUpload, AMipmappedImageGetsEveryLevelDownToOnePixel) {
    const DecodedImage base = Pattern(256, 256, 3);
    test::DocumentSections s;
    s.image_files = ImageXml("stone.png", 0, 2);
    LoadResult result = Load(s, {{"stone.png", Png(base)}});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    const ImageTexture& image = Image(1);
    EXPECT_EQ(image.width, 256u);
    EXPECT_EQ(image.height, 256u);
    EXPECT_EQ(image.channels, 3u);
    EXPECT_EQ(image.depth_renderbuffer, 0u);
    EXPECT_TRUE(image.pixels.empty()) << "the decoded image is let go after the upload";
    const std::vector<DecodedImage> chain = ReferenceChain(base);
    ASSERT_EQ(chain.size(), 9u);
    ExpectLevels(image.gl_texture, chain);
    // Level 1 pixel (0, 0): the truncated average of the four top-left pixels.
    const auto& p = base.pixels;
    const size_t row = 256 * 3;
    EXPECT_EQ(chain[1].pixels[0], (p[0] + p[3] + p[row] + p[row + 3]) >> 2);
}

TEST_F(TextureUpload, SuppliedLevelsAreTakenOnlyWhenTheyFit) {
    const DecodedImage base = Pattern(32, 32, 3, 1);
    const DecodedImage level_1 = Pattern(16, 16, 3, 2);
    const DecodedImage level_2 = Pattern(8, 8, 3, 3);
    std::vector<DecodedImage> computed = ReferenceChain(base);
    auto chain_from = [](std::vector<DecodedImage> above, const DecodedImage& supplied) {
        // The chain down to the supplied level, which replaces it, then derived from it.
        std::vector<DecodedImage> below = ReferenceChain(supplied);
        above.resize(above.size() - below.size());
        above.insert(above.end(), below.begin(), below.end());
        return above;
    };
    std::vector<DecodedImage> with_1 = chain_from(computed, level_1);
    const struct {
        const char* what;
        test::PackageEntries levels;
        std::vector<DecodedImage> chain;
    } cases[] = {
        {"level 1 of the right size", {{"s_mm1.png", Png(level_1)}}, with_1},
        {"levels 1 and 2",
         {{"s_mm1.png", Png(level_1)}, {"s_mm2.png", Png(level_2)}},
         chain_from(with_1, level_2)},
        {"level 2 alone", {{"s_mm2.png", Png(level_2)}}, chain_from(computed, level_2)},
        {"level 1 of the wrong size", {{"s_mm1.png", Png(Pattern(16, 8, 3, 2))}}, computed},
        {"level 1 in grey", {{"s_mm1.png", Png(Pattern(16, 16, 1, 2))}}, computed},
        {"level 1 with alpha", {{"s_mm1.png", Png(Pattern(16, 16, 4, 2))}}, computed},
        {"level 1 that is no image", {{"s_mm1.png", {1, 2, 3}}}, computed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        project = CreateProject();
        test::DocumentSections s;
        s.image_files = ImageXml("s.png", 0, 2);
        test::PackageEntries entries = c.levels;
        entries.push_back({"s.png", Png(base)});
        LoadResult result = Load(s, entries);
        ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
        ExpectLevels(Image(1).gl_texture, c.chain);
        EXPECT_FALSE(Image(1).supplied_level_1.has_value());
    }
}

TEST_F(TextureUpload, RowsOfAnyLengthAndEveryChannelCountUploadAsStored) {
    // Rows of 15, 3, 14 and 28 bytes, none a multiple of 4 but the last; grey with alpha
    // arrives as RGBA.
    const struct {
        DecodedImage image;
        uint32_t channels_kept;
    } cases[] = {
        {Pattern(5, 3, 3), 3},
        {Pattern(3, 3, 1), 1},
        {Pattern(7, 2, 2), 4},
        {Pattern(7, 1, 4), 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.image.width << " x " << c.image.height << " x " << c.image.channels);
        project = CreateProject();
        test::DocumentSections s;
        s.image_files = ImageXml("odd.png", c.channels_kept == 1 ? 2 : 1, 2);
        LoadResult result = Load(s, {{"odd.png", Png(c.image)}});
        ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
        EXPECT_EQ(Image(1).channels, c.channels_kept);
        DecodedImage kept = c.image;
        ConvertChannels(kept, c.channels_kept);
        ExpectLevels(Image(1).gl_texture, ReferenceChain(kept));
    }
}

TEST_F(TextureUpload, OneChannelImagesAreLuminanceDataForAnyFormat) {
    const DecodedImage grey = Pattern(4, 4, 1);
    test::DocumentSections s;
    s.image_files = ImageXml("g.png", 0, 0) + ImageXml("g.png", 1, 1);
    LoadResult result = Load(s, {{"g.png", Png(grey)}});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    const GLint expected_formats[] = {GL_RGB, GL_RGBA};
    for (uint16_t handle = 1; handle <= 2; ++handle) {
        SCOPED_TRACE(handle);
        glBindTexture(GL_TEXTURE_2D, Image(handle).gl_texture);
        GLint internal_format = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal_format);
        EXPECT_EQ(internal_format, expected_formats[handle - 1]);
        Level rgba = ReadLevel(GL_TEXTURE_2D, 0, GL_RGBA, 4);
        ASSERT_EQ(rgba.pixels.size(), 4u * 4 * 4);
        for (size_t p = 0; p < 16; ++p) {
            EXPECT_EQ(rgba.pixels[4 * p], grey.pixels[p]);
            EXPECT_EQ(rgba.pixels[4 * p + 1], grey.pixels[p]);
            EXPECT_EQ(rgba.pixels[4 * p + 2], grey.pixels[p]);
            EXPECT_EQ(rgba.pixels[4 * p + 3], 255);
        }
    }
}

TEST_F(TextureUpload, FiltersFollowTheFilterValue) {
    test::DocumentSections s;
    for (int filter = 0; filter <= 3; ++filter)
        s.image_files += ImageXml("f.png", 0, filter);
    LoadResult result = Load(s, {{"f.png", Png(Pattern(4, 4, 3))}});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    // Filter 3 is no filter value: GL's own filters stay.
    const GLint min_filters[] = {GL_NEAREST, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR,
                                 GL_NEAREST_MIPMAP_LINEAR};
    const GLint mag_filters[] = {GL_NEAREST, GL_LINEAR, GL_LINEAR, GL_LINEAR};
    const GLint levels_below[] = {0, 0, 1, 0};
    for (uint16_t handle = 1; handle <= 4; ++handle) {
        SCOPED_TRACE(handle - 1);
        glBindTexture(GL_TEXTURE_2D, Image(handle).gl_texture);
        GLint min_filter = 0, mag_filter = 0, level_1 = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag_filter);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level_1);
        EXPECT_EQ(min_filter, min_filters[handle - 1]);
        EXPECT_EQ(mag_filter, mag_filters[handle - 1]);
        EXPECT_EQ(level_1 > 0, levels_below[handle - 1] == 1);
    }
}

std::string CubeXml(const std::array<std::string, 6>& faces, int filter = 0) {
    std::string xml = "<cube";
    for (size_t f = 0; f < faces.size(); ++f)
        xml += std::string(" ") + kCubeFaceSources[f].attribute + "=\"" + faces[f] + "\"";
    return xml + " texture_format=\"0\" texture_filter=\"" + std::to_string(filter) + "\"/>";
}

TEST_F(TextureUpload, CubeFacesAreUploadedInTheirOrderWithOneChannelCount) {
    // Grey, RGB and grey with alpha faces: all six become RGBA, as each would sample alone.
    const std::array<DecodedImage, 6> faces = {Pattern(8, 8, 3, 1), Pattern(8, 8, 1, 2),
                                               Pattern(8, 8, 3, 3), Pattern(8, 8, 2, 4),
                                               Pattern(8, 8, 4, 5), Pattern(8, 8, 3, 6)};
    test::DocumentSections s;
    s.cube_maps = CubeXml({"f0.png", "f1.png", "f2.png", "f3.png", "f4.png", "f5.png"});
    test::PackageEntries entries;
    for (int f = 0; f < 6; ++f)
        entries.push_back({"f" + std::to_string(f) + ".png", Png(faces[f])});
    LoadResult result = Load(s, entries);
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    const CubeMapTexture& cube = *PoolGet(project->cube_maps, 1);
    EXPECT_EQ(cube.width, 8u);
    EXPECT_EQ(cube.height, 8u);
    EXPECT_EQ(cube.channels, 4u);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube.gl_texture);
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(kCubeFaceSources[f].attribute);
        DecodedImage expected = faces[f];
        if (expected.channels == 2)
            ConvertChannels(expected, 4);
        ConvertChannels(expected, 3);
        Level read = ReadLevel(kCubeFaceSources[f].target, 0, GL_RGB, 3);
        EXPECT_TRUE(read.pixels == expected.pixels);
        EXPECT_TRUE(cube.faces[f].pixels.empty());
    }
    GLint wrap = 0, filter = 0;
    for (GLenum parameter : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R}) {
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, parameter, &wrap);
        EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    }
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
}

TEST_F(TextureUpload, ACubeMapWithoutAllSixFacesStaysEmpty) {
    test::DocumentSections s;
    s.cube_maps = CubeXml({"f.png", "f.png", "f.png", "f.png", "f.png", ""}, 1);
    LoadResult result = Load(s, {{"f.png", Png(Pattern(8, 8, 3))}});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    const CubeMapTexture& cube = *PoolGet(project->cube_maps, 1);
    EXPECT_NE(cube.gl_texture, 0u);
    EXPECT_EQ(cube.width, 0u) << "a cube map that is not uploaded is no target";
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube.gl_texture);
    for (const CubeFaceSource& face : kCubeFaceSources) {
        GLint width = -1;
        glGetTexLevelParameteriv(face.target, 0, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(width, 0) << face.attribute;
    }
}

TEST_F(TextureUpload, ImagesThePackageLacksOrCannotDecodeAreNamed) {
    const std::vector<uint8_t> png = Png(Pattern(8, 8, 3));
    const std::array<std::string, 6> all = {"f.png", "f.png", "f.png", "f.png", "f.png", "f.png"};
    const struct {
        const char* what;
        std::string image_files;
        std::string cube_maps;
        test::PackageEntries entries;
        std::string error; // the line up to the decoder's reason
    } cases[] = {
        {"a missing image",
         ImageXml("ok.png", 0, 1) + ImageXml("stone.png", 0, 1),
         "",
         {{"ok.png", png}},
         "Error: demo.xmlz: image files, image file 2: stone.png is not in the package."},
        {"an image that is no image",
         ImageXml("bad.png", 0, 2),
         "",
         {{"bad.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}}},
         "Error: demo.xmlz: image files, image file 1: bad.png cannot be decoded ("},
        {"a missing face",
         "",
         CubeXml({"f.png", "f.png", "f.png", "f.png", "f.png", "sky.png"}),
         {{"f.png", png}},
         "Error: demo.xmlz: cube maps, cube map 1: face zn: sky.png is not in the package."},
        {"faces of two sizes",
         "",
         CubeXml({"f.png", "f.png", "f.png", "f.png", "g.png", "f.png"}),
         {{"f.png", png}, {"g.png", Png(Pattern(16, 16, 3))}},
         "Error: demo.xmlz: cube maps, cube map 1: face zp is 16 x 16 and face xp 8 x 8: cube "
         "faces must all be one size."},
        {"a face that is no image",
         "",
         CubeXml(all),
         {{"f.png", {0x89, 'P', 'N', 'G'}}},
         "Error: demo.xmlz: cube maps, cube map 1: face xp: f.png cannot be decoded ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        project = CreateProject();
        test::DocumentSections s;
        s.image_files = c.image_files;
        s.cube_maps = c.cube_maps;
        LoadResult result = Load(s, c.entries);
        EXPECT_EQ(result.status, LoadStatus::kFailed);
        EXPECT_EQ(result.error.substr(0, c.error.size()), c.error) << result.error;
        EXPECT_EQ(result.error.back(), '.');
    }
}

// A texture graph whose one layer (a plasma) feeds two outputs unchanged, one sampled
// linearly and one mipmapped, and a third output that nothing makes ready: texture 5 reads
// texture 6, which comes later and does not list it, so when texture 1 tries 5 its input
// is not done, and nothing tries it again.
TEST_F(TextureUpload, OutputTexturesOfTheGraphHoldTheirImageAndTheirChain) {
    test::DocumentSections s;
    const std::string plasma = "<op type=\"1\"><p>0.9</p><p>0.4</p><p>0.1</p><p>2</p><p>3</p></op>";
    s.texture_operators = plasma;
    s.textures =
        "<t name=\"layer\" type=\"101\" texture_format=\"0\" texture_filter=\"0\" layer_id=\"0\">"
        "<i>0</i><output>2</output><output>3</output><output>5</output><p>0</p><p>1</p></t>"
        "<t name=\"linear\" type=\"255\" texture_format=\"0\" texture_filter=\"1\"><i>1</i></t>"
        "<t name=\"mipmapped\" type=\"255\" texture_format=\"1\" texture_filter=\"2\"><i>1</i></t>"
        "<t name=\"waiting\" type=\"255\" texture_format=\"0\" texture_filter=\"2\"><i>5</i></t>"
        "<t name=\"never ready\" type=\"201\" texture_format=\"0\" texture_filter=\"0\">"
        "<i>6</i><output>4</output></t>"
        "<t name=\"late input\" type=\"201\" texture_format=\"0\" texture_filter=\"0\">"
        "<i>0</i></t>";
    LoadResult result = Load(s, {});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;

    GeneratorLayer layer;
    auto root = ParseXml(plasma.c_str());
    LoadGeneratorLayer(*root->first_child, layer);
    const DecodedImage image{256, 256, 3, layer.pixels};

    const ProceduralTexture& linear = *PoolGet(project->textures, 2);
    const ProceduralTexture& mipmapped = *PoolGet(project->textures, 3);
    ExpectLevels(linear.gl_texture, {image});
    ExpectLevels(mipmapped.gl_texture, ReferenceChain(image));
    GLint min_filter = 0;
    glBindTexture(GL_TEXTURE_2D, mipmapped.gl_texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
    EXPECT_EQ(min_filter, GL_LINEAR_MIPMAP_LINEAR);
    glBindTexture(GL_TEXTURE_2D, linear.gl_texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
    EXPECT_EQ(min_filter, GL_LINEAR);

    // The output nothing made ready is black in every level.
    const ProceduralTexture& waiting = *PoolGet(project->textures, 4);
    EXPECT_EQ(waiting.state, TextureState::kWaiting);
    ExpectLevels(waiting.gl_texture,
                 ReferenceChain(DecodedImage{256, 256, 3, std::vector<uint8_t>(256 * 256 * 3, 0)}));
}

} // namespace
