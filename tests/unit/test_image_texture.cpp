// Image files and cube maps without a GL context: decoding PNG and JPEG entries with the
// channel conversions, the names of supplied mip levels, the mip levels computed by the
// integer box filters, the faces of a cube map brought to one form, and the document
// checks of both sections.
#include "texture/image_texture.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <memory>
#include <string>
#include <vector>

#include "data/xml.h"
#include "texture/texture_upload.h"

namespace korvane {
namespace {

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

std::vector<uint8_t> Png(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> bytes;
    stbi_write_png_to_func(Append, &bytes, width, height, channels, pixels.data(),
                           width * channels);
    return bytes;
}

DecodedImage Image(uint32_t width, uint32_t height, uint32_t channels, uint8_t value = 0) {
    return {width, height, channels,
            std::vector<uint8_t>(static_cast<size_t>(width) * height * channels, value)};
}

TEST(DecodeImage, KeepsTheChannelCountButTurnsGreyWithAlphaIntoRgba) {
    const std::vector<uint8_t> grey = {10, 20, 30, 40, 50, 60};
    const std::vector<uint8_t> grey_alpha = {10, 200, 20, 100};
    const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};
    const std::vector<uint8_t> rgba = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        std::vector<uint8_t> bytes;
        uint32_t width, height, channels;
        std::vector<uint8_t> pixels;
    } cases[] = {
        {Png(3, 2, 1, grey), 3, 2, 1, grey},
        {Png(2, 1, 2, grey_alpha), 2, 1, 4, {10, 10, 10, 200, 20, 20, 20, 100}},
        {Png(1, 2, 3, rgb), 1, 2, 3, rgb},
        {Png(2, 1, 4, rgba), 2, 1, 4, rgba},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channels);
        DecodedImage image;
        std::string reason;
        ASSERT_TRUE(DecodeImage(c.bytes.data(), c.bytes.size(), image, reason)) << reason;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.channels, c.channels);
        EXPECT_EQ(image.pixels, c.pixels);
    }

    // JPEG: lossy, but its size and channels are exact.
    std::vector<uint8_t> jpeg;
    stbi_write_jpg_to_func(Append, &jpeg, 16, 8, 3, std::vector<uint8_t>(16 * 8 * 3, 99).data(),
                           90);
    DecodedImage image;
    std::string reason;
    ASSERT_TRUE(DecodeImage(jpeg.data(), jpeg.size(), image, reason)) << reason;
    EXPECT_EQ(image.width, 16u);
    EXPECT_EQ(image.height, 8u);
    EXPECT_EQ(image.channels, 3u);

    // Anything else is refused with the decoder's reason.
    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 20);
    for (const std::vector<uint8_t>& bytes :
         {std::vector<uint8_t>{}, cut, std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a'}}) {
        EXPECT_FALSE(DecodeImage(bytes.data(), bytes.size(), image, reason));
        EXPECT_FALSE(reason.empty());
        EXPECT_TRUE(image.pixels.empty());
    }
}

TEST(ConvertChannels, GreyFillsRedGreenAndBlueAndMissingAlphaIsOpaque) {
    DecodedImage grey{2, 1, 1, {7, 9}};
    ConvertChannels(grey, 3);
    EXPECT_EQ(grey.channels, 3u);
    EXPECT_EQ(grey.pixels, (std::vector<uint8_t>{7, 7, 7, 9, 9, 9}));
    DecodedImage rgb{1, 1, 3, {1, 2, 3}};
    ConvertChannels(rgb, 4);
    EXPECT_EQ(rgb.pixels, (std::vector<uint8_t>{1, 2, 3, 255}));
    DecodedImage rgba{1, 1, 4, {1, 2, 3, 4}};
    ConvertChannels(rgba, 3);
    EXPECT_EQ(rgba.pixels, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(SuppliedLevelName, GoesBeforeTheLastFourCharacters) {
    EXPECT_EQ(SuppliedLevelName("wall.png", 1), "wall_mm1.png");
    EXPECT_EQ(SuppliedLevelName("wall.png", 2), "wall_mm2.png");
    EXPECT_EQ(SuppliedLevelName("rock.jpeg", 1), "rock._mm1jpeg");
    EXPECT_EQ(SuppliedLevelName(".png", 2), "_mm2.png");
    EXPECT_EQ(SuppliedLevelName("a.b", 1), "");
}

TEST(MipLevels, SizesHalveDownToOnePixelWhateverTheShape) {
    const struct {
        MipSize base;
        std::vector<MipSize> chain;
    } cases[] = {
        {{256, 256}, {{128, 128}, {64, 64}, {32, 32}, {16, 16}, {8, 8}, {4, 4}, {2, 2}, {1, 1}}},
        {{8, 2}, {{4, 1}, {2, 1}, {1, 1}}},
        {{1, 5}, {{1, 2}, {1, 1}}},
        {{5, 3}, {{2, 1}, {1, 1}}},
        {{1, 1}, {}},
    };
    for (const auto& c : cases) {
        std::vector<MipSize> chain;
        for (MipSize size = c.base; size.width > 1 || size.height > 1;)
            chain.push_back(size = NextMipSize(size.width, size.height));
        ASSERT_EQ(chain.size(), c.chain.size()) << c.base.width << " x " << c.base.height;
        for (size_t i = 0; i < chain.size(); ++i) {
            EXPECT_EQ(chain[i].width, c.chain[i].width);
            EXPECT_EQ(chain[i].height, c.chain[i].height);
        }
    }
}

TEST(MipLevels, BoxFiltersTruncate) {
    // 4 x 2 RGB to 2 x 1: one pixel high, so pairs in memory order, from the first row.
    const std::vector<uint8_t> four_by_two = {
        10, 0, 255, 11, 1, 254, 200, 3, 0, 201, 4, 1, // row 0
        90, 9, 9,   90, 9, 9,   90,  9, 9, 90,  9, 9, // row 1, not read
    };
    std::vector<uint8_t> level(2 * 1 * 3);
    ComputeMipLevel(four_by_two.data(), 4, 2, 1, 3, level.data());
    EXPECT_EQ(level, (std::vector<uint8_t>{10, 0, 254, 200, 3, 0}));

    // 4 x 4 grey to 2 x 2: 2 x 2 blocks.
    const std::vector<uint8_t> four_by_four = {
        0,   1,   10, 10, //
        2,   2,   10, 11, //
        255, 255, 3,  4,  //
        255, 254, 5,  6,  //
    };
    level.assign(4, 0);
    ComputeMipLevel(four_by_four.data(), 4, 2, 2, 1, level.data());
    EXPECT_EQ(level, (std::vector<uint8_t>{1, 10, 254, 4}));

    // 2 x 2 to 1 x 1: the first row's two pixels only.
    level.assign(1, 0);
    ComputeMipLevel(std::vector<uint8_t>{100, 51, 0, 0}.data(), 2, 1, 1, 1, level.data());
    EXPECT_EQ(level[0], 75);

    // 1 x 4 RGBA to 1 x 2: vertical pairs.
    const std::vector<uint8_t> column = {0,   0,   0,   0,   2,  4,  6,  9,
                                         100, 100, 100, 100, 50, 51, 52, 53};
    level.assign(2 * 4, 0);
    ComputeMipLevel(column.data(), 1, 1, 2, 4, level.data());
    EXPECT_EQ(level, (std::vector<uint8_t>{1, 2, 3, 4, 75, 75, 76, 76}));
}

TEST(UnifyCubeFaces, FacesTakeOneChannelCountAndMustBeSquareAndAlike) {
    std::array<DecodedImage, kCubeFaceCount> faces = {Image(4, 4, 1, 9), Image(4, 4, 3),
                                                      Image(4, 4, 3),    Image(4, 4, 1),
                                                      Image(4, 4, 3),    Image(4, 4, 3)};
    uint32_t channels = 0;
    EXPECT_EQ(UnifyCubeFaces(faces, channels), "");
    EXPECT_EQ(channels, 3u);
    for (const DecodedImage& face : faces)
        EXPECT_EQ(face.pixels.size(), 4u * 4 * 3);
    EXPECT_EQ(faces[0].pixels[2], 9);

    faces[4] = Image(4, 4, 4, 7);
    faces[5] = Image(4, 4, 1, 9);
    EXPECT_EQ(UnifyCubeFaces(faces, channels), "");
    EXPECT_EQ(channels, 4u);
    EXPECT_EQ(faces[5].pixels.size(), 4u * 4 * 4);
    EXPECT_EQ(std::vector<uint8_t>(faces[5].pixels.begin(), faces[5].pixels.begin() + 4),
              (std::vector<uint8_t>{9, 9, 9, 255}));

    faces[3] = Image(4, 2, 3);
    EXPECT_EQ(UnifyCubeFaces(faces, channels), "face yn is 4 x 2: cube faces must be square");
    faces[3] = Image(8, 8, 3);
    EXPECT_EQ(UnifyCubeFaces(faces, channels),
              "face yn is 8 x 8 and face xp 4 x 4: cube faces must all be one size");
}

std::vector<std::string> ValidateElement(const std::string& xml, bool cube) {
    auto root = ParseXml(xml.c_str());
    return cube ? ValidateCubeMapElement(*root->first_child)
                : ValidateImageFileElement(*root->first_child);
}

TEST(ImageChecks, AttributesAndFormatsOfBothSections) {
    const struct {
        std::string xml;
        bool cube;
        std::vector<std::string> problems;
    } cases[] = {
        {"<i filename=\"a.png\" texture_format=\"7\" texture_filter=\"9\"/>", false, {}},
        {"<i/>",
         false,
         {"the attribute \"filename\" is missing", "the attribute \"texture_format\" is missing",
          "the attribute \"texture_filter\" is missing"}},
        {"<i filename=\"png\" texture_format=\"8\" texture_filter=\"1\"/>",
         false,
         {"the filename \"png\" is shorter than 4 characters: it needs an extension such as .png",
          "texture_format 8 is not one of the texture formats 0 to 7"}},
        {"<c xp=\"a.png\" xn=\"\" yp=\"\" yn=\"\" zp=\"\" zn=\"\" texture_format=\"0\" "
         "texture_filter=\"0\"/>",
         true,
         {}},
        {"<c xp=\"a.png\" yp=\"\" yn=\"\" zp=\"\" texture_format=\"-1\" texture_filter=\"0\"/>",
         true,
         {"the attribute \"xn\" is missing", "the attribute \"zn\" is missing",
          "texture_format -1 is not one of the texture formats 0 to 7"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValidateElement(c.xml, c.cube), c.problems) << c.xml;
}

} // namespace
} // namespace korvane
