#include "support/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stb_image.h>
#include <stb_image_write.h>

#include "support/support.h"

namespace korvane::test {

namespace {
const char kUpdateGoldens[] = "KORVANE_UPDATE_GOLDENS";
} // namespace

Picture LoadPng(const std::string& path) {
    Picture picture;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 3);
    if (data == nullptr)
        return {};
    picture.rgb.assign(data, data + static_cast<size_t>(picture.width) * picture.height * 3);
    stbi_image_free(data);
    return picture;
}

std::string Difference::Describe() const {
    std::ostringstream text;
    text << "mean " << mean << ", largest " << largest << ", " << 100.0 * over_2
         << "% of pixels off by more than 2, " << 100.0 * over_8 << "% by more than 8";
    return text.str();
}

Difference Compare(const Picture& a, const Picture& b) {
    Difference d;
    const size_t pixels = std::min(a.rgb.size(), b.rgb.size()) / 3;
    d.image.resize(pixels * 3);
    uint64_t total = 0, over_2 = 0, over_8 = 0;
    for (size_t p = 0; p < pixels; ++p) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) {
            const int delta = std::abs(int{a.rgb[3 * p + c]} - int{b.rgb[3 * p + c]});
            total += static_cast<uint64_t>(delta);
            worst = std::max(worst, delta);
            d.image[3 * p + c] = static_cast<uint8_t>(std::min(255, delta * 4));
        }
        d.largest = std::max(d.largest, worst);
        over_2 += worst > 2;
        over_8 += worst > 8;
    }
    if (pixels > 0) {
        d.mean = static_cast<double>(total) / static_cast<double>(3 * pixels);
        d.over_2 = static_cast<double>(over_2) / static_cast<double>(pixels);
        d.over_8 = static_cast<double>(over_8) / static_cast<double>(pixels);
    }
    return d;
}

std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                            int width) {
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
        if (got[i] != want[i]) {
            const int pixel = static_cast<int>(i / 3);
            return "pixel (" + std::to_string(pixel % width) + ", " +
                   std::to_string(pixel / width) + ") channel " + std::to_string(i % 3) + ": got " +
                   std::to_string(got[i]) + ", want " + std::to_string(want[i]);
        }
    }
    return got.size() == want.size() ? "none" : "the sizes differ";
}

std::string DescribePixel(const std::array<int, 3>& c) {
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) +
           ")";
}

void ExpectPixelNear(const Picture& picture, int x, int y, const std::array<int, 3>& want,
                     const std::string& what) {
    const std::array<int, 3> got = picture.At(x, y);
    for (int c = 0; c < 3; ++c)
        if (std::abs(got[c] - want[c]) > 2) {
            ADD_FAILURE() << what << " at (" << x << ", " << y << "): " << DescribePixel(got)
                          << ", expected " << DescribePixel(want);
            return;
        }
}

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> bytes;
    stbi_write_png_to_func(AppendBytes, &bytes, width, height, 3, pixels.data(), width * 3);
    return bytes;
}

} // namespace

std::vector<uint8_t> SolidPng(int width, int height, const std::array<int, 3>& colour) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), colour.begin(), colour.end());
    return EncodePng(width, height, pixels);
}

std::vector<uint8_t> QuartersPng(int size) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const auto& c = kPngQuarters[(y < size / 2 ? 0 : 2) + (x < size / 2 ? 0 : 1)];
            pixels.insert(pixels.end(), c.begin(), c.end());
        }
    return EncodePng(size, size, pixels);
}

void ExpectMatchesGolden(const std::string& frame_path, const std::string& golden_name,
                         GoldenTolerance tolerance, Golden role) {
    const std::string golden_path = SourcePath("tests/e2e/golden/" + golden_name);
    if (role == Golden::kReference && std::getenv(kUpdateGoldens) != nullptr) {
        std::filesystem::copy_file(frame_path, golden_path,
                                   std::filesystem::copy_options::overwrite_existing);
        std::printf("updated %s\n", golden_path.c_str());
        return;
    }
    const Picture frame = LoadPng(frame_path);
    ASSERT_TRUE(frame.ok()) << "korrender wrote no readable PNG at " << frame_path;
    const Picture golden = LoadPng(golden_path);
    ASSERT_TRUE(golden.ok()) << "no golden image " << golden_path
                             << "; make it deliberately with scripts/update-goldens";
    ASSERT_EQ(frame.width, golden.width) << golden_name;
    ASSERT_EQ(frame.height, golden.height) << golden_name;
    const Difference d = Compare(frame, golden);
    if (d.mean <= tolerance.mean && d.largest <= tolerance.largest)
        return;
    const std::string folder = BuildPath("tests/korrender-differences");
    std::filesystem::create_directories(folder);
    const std::string stem = folder + "/" + golden_name.substr(0, golden_name.size() - 4);
    std::filesystem::copy_file(frame_path, stem + ".frame.png",
                               std::filesystem::copy_options::overwrite_existing);
    stbi_write_png((stem + ".difference.png").c_str(), frame.width, frame.height, 3, d.image.data(),
                   frame.width * 3);
    ADD_FAILURE() << golden_name << " differs: mean channel difference " << d.mean << " (at most "
                  << tolerance.mean << "), largest " << d.largest << " (at most "
                  << tolerance.largest << ").\n  frame:      " << stem
                  << ".frame.png\n  difference: " << stem
                  << ".difference.png\n  golden:     " << golden_path;
}

} // namespace korvane::test
