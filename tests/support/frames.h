// Frames as the tests look at them: PNG files read back as RGB pixels, how two frames
// differ, and the comparison of a rendered frame with its golden image under
// tests/e2e/golden/, which goldens are remade by on purpose (scripts/update-goldens sets
// KORVANE_UPDATE_GOLDENS) and never during a normal run.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::test {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // rows from the top
    bool ok() const { return width > 0; }
    std::array<int, 3> At(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// The PNG file as RGB; an empty picture when it cannot be read.
Picture LoadPng(const std::string& path);

// How two pictures of one size differ: the mean channel difference, the largest, the share
// of pixels with a channel off by more than 2 and by more than 8, and an image of the
// differences four times amplified.
struct Difference {
    double mean = 0.0;
    int largest = 0;
    double over_2 = 0.0;
    double over_8 = 0.0;
    std::vector<uint8_t> image;
    std::string Describe() const;
};
Difference Compare(const Picture& a, const Picture& b);

// The first pixel where two RGB images of one width differ, as "pixel (x, y) channel c: got
// g, want w", or "none", for failure messages.
std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                            int width);

// A pixel as "(r, g, b)", for messages.
std::string DescribePixel(const std::array<int, 3>& c);

// Expects the pixel within two levels of a colour (the 8-bit rounding of a colour written
// and of lighting); what names the pixel in the failure.
void ExpectPixelNear(const Picture& picture, int x, int y, const std::array<int, 3>& want,
                     const std::string& what);

// PNG files made in code, for productions built by tests: one colour, or four quarters of
// kPngQuarters (top left, top right, bottom left, bottom right; the first row is the top).
inline constexpr std::array<std::array<int, 3>, 4> kPngQuarters = {
    {{220, 30, 30}, {30, 200, 60}, {40, 60, 220}, {230, 210, 40}}};
std::vector<uint8_t> SolidPng(int width, int height, const std::array<int, 3>& colour);
std::vector<uint8_t> QuartersPng(int size);

// Which frames make a golden when goldens are remade; the others are always compared, so
// that frames meant to be alike (another renderer, another target path) are checked
// against the reference even then.
enum class Golden { kReference, kCompareOnly };

struct GoldenTolerance {
    double mean = 1.0; // mean channel difference
    int largest = 12;  // largest channel difference
};

// Compares a rendered frame with its golden image; on a mismatch the frame and the image of
// the differences are kept under the build tree and named in the failure.
void ExpectMatchesGolden(const std::string& frame_path, const std::string& golden_name,
                         GoldenTolerance tolerance, Golden role = Golden::kReference);

} // namespace korvane::test
