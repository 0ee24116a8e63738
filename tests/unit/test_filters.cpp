#include "texture/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "math/cosine_table.h"
#include "support/frames.h"
#include "support/reference.h"

namespace korvane {
namespace {

constexpr int kSize = 256;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

using Image = std::vector<uint8_t>;
using Params = std::array<float, kTextureParameterCount>;

int Bytes(int size) {
    return size * size * 3;
}

// ---- The operations written out step by step ----

using test::RefTrunc;

uint8_t RefClamped(int32_t r) {
    return static_cast<uint8_t>(r > 255 ? 255 : r < 0 ? 0 : r);
}

uint8_t RefTopClamped(int32_t r) {
    return static_cast<uint8_t>(r > 255 ? 255 : (r & 0xff));
}

uint8_t RefPerByte(int code, uint8_t a, uint8_t b, uint8_t l, const Params& p) {
    const float fa = a;
    const float fb = b;
    const float fl = l;
    switch (code) {
    case 101:
        return RefClamped(RefTrunc(fa * p[0] + fl * p[1]));
    case 102:
        return RefTopClamped(RefTrunc(fl * fa * p[0]));
    case 103:
        return RefTopClamped(std::max(RefTrunc(fa * p[0]), RefTrunc(fl * p[1])));
    case 104:
        return RefTopClamped(std::min(RefTrunc(fa * p[0]), RefTrunc(fl * p[1])));
    case 201:
        return static_cast<uint8_t>(255 - a);
    case 202:
        return RefTopClamped(RefTrunc(fa * p[0]));
    case 207:
        return RefClamped(RefTrunc(fa * p[0] + fb * p[1]));
    case 208:
        return RefClamped(RefTrunc(fa * fb * p[0]));
    case 209:
        return RefTopClamped(std::max(RefTrunc(fa * p[0]), RefTrunc(fb * p[1])));
    case 210:
        return RefTopClamped(std::min(RefTrunc(fa * p[0]), RefTrunc(fb * p[1])));
    }
    ADD_FAILURE() << "no per-byte operation " << code;
    return 0;
}

int Wrap(int value, int size) {
    const int r = value % size;
    return r < 0 ? r + size : r;
}

const uint8_t* RefPixel(const Image& a, int x, int y, int size) {
    return &a[(Wrap(y, size) * size + Wrap(x, size)) * 3];
}

Image RefOffset(const Image& a, const Params& p, int size) {
    Image out(Bytes(size));
    const int ox = Wrap(RefTrunc(p[0]), size);
    const int oy = Wrap(RefTrunc(p[1]), size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            std::memcpy(&out[(y * size + x) * 3], RefPixel(a, x + oy, y + ox, size), 3);
    return out;
}

Image RefBlur(const Image& a, int size) {
    Image out(Bytes(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int j = 0; j < 3; ++j) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += RefPixel(a, x + dx, y + dy, size)[j];
                out[(y * size + x) * 3 + j] =
                    static_cast<uint8_t>(RefTrunc(static_cast<double>(sum) * 0.111111111));
            }
    return out;
}

Image RefEmboss(const Image& a, const Params& p, int size) {
    static const int kKernels[4][3][3] = {
        {{-2, -1, 0}, {-1, 1, 1}, {0, 1, 2}},
        {{0, -1, -2}, {1, 1, -1}, {2, 1, 0}},
        {{2, 1, 0}, {1, 1, -1}, {0, -1, -2}},
        {{0, 1, 2}, {-1, 1, 1}, {-2, -1, 0}},
    };
    int dir = RefTrunc(p[0]);
    dir = dir < 1 ? 1 : dir > 4 ? 4 : dir;
    Image out(Bytes(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int j = 0; j < 3; ++j) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += kKernels[dir - 1][dy + 1][dx + 1] *
                               RefPixel(a, x + dx, y + dy, size)[j];
                out[(y * size + x) * 3 + j] = RefClamped(sum);
            }
    return out;
}

// Wraps a sample coordinate into [0, size) keeping its fraction. Two readings the
// engine adds: a coordinate that is not finite samples at 0, and a wrapped coordinate
// that rounds up to size itself is pixel 0 (it would otherwise read past the row).
void RefWrap(float s, int size, int* pixel, float* fraction) {
    if (!std::isfinite(s))
        s = 0.0f;
    const float f = std::floor(s);
    int wrapped = static_cast<int>(std::fmod(static_cast<double>(f), size));
    if (wrapped < 0)
        wrapped += size;
    s = static_cast<float>(wrapped) + (s - f);
    const float i = std::floor(s);
    *fraction = s - i;
    *pixel = static_cast<int>(i) % size;
}

Image RefRipple(const Image& a, const Params& p, int size) {
    BuildCosineTable();
    const CosineTable& cosine = GetCosineTable();
    const float wx = static_cast<float>(std::llabs(RefTrunc(p[2])));
    const float wy = static_cast<float>(std::llabs(RefTrunc(p[3])));
    const float ax = p[0] * static_cast<float>(size);
    const float ay = p[1] * static_cast<float>(size);
    const float r = 1.0f / static_cast<float>(size);
    const float kx = (wx * 4096.0f) * r;
    const float ky = (wy * 4096.0f) * r;
    Image out(Bytes(size));
    for (int y = 0; y < size; ++y) {
        const int iy = Wrap(RefTrunc(ky * static_cast<float>(y)), 4096);
        const float shift = cosine[iy] * ax;
        for (int x = 0; x < size; ++x) {
            const float sx = shift + static_cast<float>(x);
            const int jx = Wrap(RefTrunc(kx * static_cast<float>(x)), 4096);
            const float sy = cosine[jx] * ay + static_cast<float>(y);
            int ix;
            int iy2;
            float fx;
            float fy;
            RefWrap(sx, size, &ix, &fx);
            RefWrap(sy, size, &iy2, &fy);
            const int ix1 = (ix + 1) % size;
            const int iy1 = (iy2 + 1) % size;
            const float d00 = std::sqrt(fx * fx + fy * fy);
            const float d10 = std::sqrt((1 - fx) * (1 - fx) + fy * fy);
            const float d01 = std::sqrt(fx * fx + (1 - fy) * (1 - fy));
            const float d11 = std::sqrt(fy * fy + (1 - fy) * (1 - fy));
            const float s = 1.0f / (d00 + d10 + d01 + d11);
            for (int j = 0; j < 3; ++j) {
                const float p00 = RefPixel(a, ix, iy2, size)[j];
                const float p10 = RefPixel(a, ix1, iy2, size)[j];
                const float p01 = RefPixel(a, ix, iy1, size)[j];
                const float p11 = RefPixel(a, ix1, iy1, size)[j];
                const float v = p00 * d00 * s + p10 * d10 * s + p01 * d01 * s + p11 * d11 * s;
                out[(y * size + x) * 3 + j] = static_cast<uint8_t>(RefTrunc(v) & 0xff);
            }
        }
    }
    return out;
}

Image Reference(int code, const Image& a, const Image& b, const Image& l, const Params& p,
                int size) {
    switch (code) {
    case 203:
        return RefOffset(a, p, size);
    case 204:
        return RefRipple(a, p, size);
    case 205:
        return RefBlur(a, size);
    case 206:
        return RefEmboss(a, p, size);
    }
    Image out(Bytes(size));
    for (size_t k = 0; k < out.size(); ++k)
        out[k] = RefPerByte(code, a[k], b[k], l[k], p);
    return out;
}

// ---- Shared pieces ----

// A fixed pseudo-random image with every byte value well represented.
Image NoiseImage(int size, uint32_t seed) {
    Image image(Bytes(size));
    for (uint8_t& byte : image) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return image;
}

Image Filled(int size, uint8_t value) {
    return Image(Bytes(size), value);
}

Image Apply(int code, const Image& a, const Image& b, const Image& l, const Params& p, int size) {
    Image out(Bytes(size), 0x77);
    EXPECT_TRUE(
        ApplyTextureOperation(code, out.data(), a.data(), b.data(), l.data(), p.data(), size))
        << code;
    return out;
}

Image Apply(int code, const Image& a, const Params& p, int size = kSize) {
    const Image zero(Bytes(size), 0);
    return Apply(code, a, zero, zero, p, size);
}

using test::FirstDifference;

std::string Describe(const Params& p) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += std::to_string(p[i]) + " ";
    return text;
}

// Runs `code` on fixed noise images for every parameter set and size and compares the
// whole result with the step-by-step definition, once into a separate image and once in
// place over input 1.
void ExpectMatchesReference(int code, const std::vector<Params>& parameter_sets,
                            const std::vector<int>& sizes) {
    for (int size : sizes) {
        const Image a = NoiseImage(size, 11);
        const Image b = NoiseImage(size, 22);
        const Image l = NoiseImage(size, 33);
        for (const Params& p : parameter_sets) {
            const Image want = Reference(code, a, b, l, p, size);
            const Image got = Apply(code, a, b, l, p, size);
            ASSERT_EQ(got, want) << "code " << code << " size " << size << " parameters "
                                 << Describe(p) << ": " << FirstDifference(got, want, size);
            Image in_place = a;
            ASSERT_TRUE(ApplyTextureOperation(code, in_place.data(), in_place.data(), b.data(),
                                              l.data(), p.data(), size));
            ASSERT_EQ(in_place, want)
                << "in place: code " << code << " size " << size << " parameters " << Describe(p);
        }
    }
}

// ---- Catalogue and dispatch ----

TEST(FilterCatalogue, CodesNameTheirDescriptors) {
    const struct {
        int code;
        const char* name;
        int inputs;
        int parameters;
    } cases[] = {
        {101, "Add", 1, 2},    {102, "Multiply", 1, 1}, {104, "Minimum", 1, 2},
        {201, "Invert", 1, 0}, {202, "Multiply", 1, 1}, {204, "Ripple", 1, 4},
        {206, "Emboss", 1, 1}, {207, "Add 2", 2, 2},    {210, "Min 2", 2, 2},
    };
    for (const auto& c : cases) {
        const FilterDescriptor* descriptor = FindFilterDescriptor(c.code);
        ASSERT_NE(descriptor, nullptr) << c.code;
        EXPECT_STREQ(descriptor->name, c.name);
        EXPECT_EQ(descriptor->input_count, c.inputs) << c.code;
        EXPECT_EQ(descriptor->parameter_count, c.parameters) << c.code;
    }
    for (int code : {0, 100, 105, 200, 211, 255})
        EXPECT_EQ(FindFilterDescriptor(code), nullptr) << code;
}

TEST(ApplyTextureOperation, UnknownCodesLeaveTheOutputAlone) {
    const Image a = NoiseImage(4, 1);
    const Params p = {1.0f, 1.0f, 1.0f, 1.0f};
    for (int code : {-1, 0, 100, 105, 200, 211, 254, 256, 357}) {
        Image out(Bytes(4), 0x42);
        EXPECT_FALSE(
            ApplyTextureOperation(code, out.data(), a.data(), a.data(), a.data(), p.data(), 4))
            << code;
        EXPECT_EQ(out, Image(Bytes(4), 0x42)) << code;
        EXPECT_EQ(FindTextureOperation(code), nullptr) << code;
    }
    // The output operation copies input 1; its upload belongs to the texture graph.
    EXPECT_EQ(Apply(255, a, p, 4), a);
    EXPECT_EQ(FindTextureOperation(255), nullptr);
}

TEST(ApplyTextureOperation, SizesBeyondTheImagesOfTheGraphWriteNothing) {
    const Image a = NoiseImage(4, 1);
    const Params p = {1.0f, 1.0f, 1.0f, 1.0f};
    for (int code : {101, 201, 203, 204, 205, 206, 210, 255}) {
        for (int size : {0, -4, kSize + 1}) {
            Image out(Bytes(4), 0x42);
            EXPECT_TRUE(ApplyTextureOperation(code, out.data(), a.data(), a.data(), a.data(),
                                              p.data(), size));
            EXPECT_EQ(out, Image(Bytes(4), 0x42)) << code << " size " << size;
        }
    }
}

TEST(ApplyTextureOperation, DispatchesToTheNamedBodies) {
    const struct {
        int code;
        TextureOperationBody body;
    } cases[] = {
        {101, AddWithLayer},     {102, MultiplyWithLayer}, {103, MaximumWithLayer},
        {104, MinimumWithLayer}, {201, InvertImage},       {202, MultiplyImage},
        {203, OffsetImage},      {204, RippleImage},       {205, BlurImage},
        {206, EmbossImage},      {207, AddImages},         {208, MultiplyImages},
        {209, MaximumOfImages},  {210, MinimumOfImages},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindTextureOperation(c.code), c.body) << c.code;
}

// ---- Per-byte operations ----

TEST(PerByteOperations, StoreClampedOrTopClamped) {
    const struct {
        int code;
        uint8_t a;
        uint8_t other; // input 2 for 207 to 210, the layer for 101 to 104
        Params p;
        uint8_t expected;
    } cases[] = {
        {207, 200, 200, {1.0f, 1.0f}, 255}, // clamped above
        {101, 10, 20, {1.0f, -1.0f}, 0},    // clamped below
        {202, 1, 0, {-1.0f}, 255},          // top-clamped: the low byte of -1
        {208, 1, 1, {-1.0f}, 0},            // clamped: -1 is 0
        {209, 200, 10, {2.0f, 1.0f}, 255},  // the larger, top-clamped
        {102, 2, 3, {-1.0f}, 250},          // -6 wraps
        {104, 100, 50, {1.0f, -1.0f}, 206}, // min(100, -50) wraps
        {210, 7, 9, {1.0f, 1.0f}, 7},
        {103, 100, 50, {0.5f, 1.0f}, 50},
        {201, 0, 0, {}, 255},
        {201, 200, 0, {}, 55},
        // Beyond the 32-bit range the truncation saturates, and NaN truncates to 0.
        {207, 1, 1, {1e10f, 1e10f}, 255},
        {202, 1, 0, {1e10f}, 255},
        {202, 1, 0, {-1e10f}, 0},
        {102, 255, 255, {1e30f}, 255},
        {103, 100, 50, {kNaN, 1.0f}, 50},
        {104, 100, 50, {kNaN, 1.0f}, 0},
        {101, 0, 1, {kInf, -kInf}, 0},
        {210, 9, 9, {-1e10f, 1.0f}, 0},
    };
    for (const auto& c : cases) {
        const Image a(3, c.a);
        const Image other(3, c.other);
        const Image out = Apply(c.code, a, other, other, c.p, 1);
        EXPECT_EQ(out, Image(3, c.expected)) << "code " << c.code << " a " << int(c.a) << " other "
                                             << int(c.other) << " " << Describe(c.p);
    }
}

TEST(PerByteOperations, MissingInputsReadAsZero) {
    // Without input 1, Invert is white; without input 2, Mul 2 is black.
    EXPECT_EQ(Apply(201, Filled(kSize, 0), {}), Filled(kSize, 255));
    const Image a = NoiseImage(kSize, 5);
    EXPECT_EQ(Apply(208, a, Filled(kSize, 0), Filled(kSize, 0), {1.0f}, kSize), Filled(kSize, 0));
}

TEST(PerByteOperations, MatchTheDefinitionForAnyScales) {
    const std::vector<Params> scales = {
        {1.0f, 1.0f},
        {0.5f, 2.0f},
        {-1.0f, 1.0f},
        {-3.7f, 0.25f},
        {1.0f / 255.0f, 0.0f},
        {0.0f, 0.0f},
        {4194304.0f, -4194304.0f},
        {32768.0f, 1.0f},
        {32769.0f, 3.0f},
        {1e9f, -1e9f},
        {kNaN, 1.0f},
        {kInf, -kInf},
        {-0.0f, 7.5f},
        {255.0f, -255.0f},
    };
    for (int code : {101, 102, 103, 104, 201, 202, 207, 208, 209, 210})
        ExpectMatchesReference(code, scales, {kSize, 17, 1});
}

// ---- Offset ----

TEST(Offset, XOffsetPicksTheRowAndYOffsetTheColumn) {
    const Image a = NoiseImage(kSize, 3);
    const int row = kSize * 3;
    const Image down = Apply(203, a, {1.0f, 0.0f});
    EXPECT_EQ(0, std::memcmp(&down[0], &a[row], row));
    EXPECT_EQ(0, std::memcmp(&down[(kSize - 1) * row], &a[0], row));
    const Image across = Apply(203, a, {0.0f, 1.0f});
    EXPECT_EQ(0, std::memcmp(&across[0], &a[3], 3));
    EXPECT_EQ(0, std::memcmp(&across[(kSize - 1) * 3], &a[0], 3));
    EXPECT_EQ(Apply(203, a, {-1.0f, -1.0f}), Apply(203, a, {kSize - 1.0f, kSize - 1.0f}));
}

TEST(Offset, MatchesTheDefinition) {
    ExpectMatchesReference(203,
                           {{0.0f, 0.0f},
                            {1.0f, 0.0f},
                            {0.0f, 1.0f},
                            {-1.0f, -1.0f},
                            {300.7f, -513.2f},
                            {1e10f, kNaN},
                            {-1e10f, 255.0f}},
                           {kSize, 7, 1});
}

// ---- Blur ----

TEST(Blur, SpreadsOneWhitePixelOverItsWrappedNeighbours) {
    Image a = Filled(kSize, 0);
    std::memset(&a[0], 255, 3); // pixel (0, 0)
    const Image out = Apply(205, a, {});
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const bool near = (x <= 1 || x == kSize - 1) && (y <= 1 || y == kSize - 1);
            ASSERT_EQ(out[(y * kSize + x) * 3], near ? 28 : 0) << x << ", " << y;
        }
    // 0.111111111 lies below 1/9: nine equal bytes lose one.
    EXPECT_EQ(Apply(205, Filled(kSize, 255), {}), Filled(kSize, 254));
}

TEST(Blur, MatchesTheDefinitionForEverySum) {
    ExpectMatchesReference(205, {{}}, {kSize, 7, 2, 1});
    // In a 3 x 3 image every neighbourhood is the whole image: spread each sum from 0 to
    // 9 * 255 over the nine pixels of the first channel.
    for (int sum = 0; sum <= 9 * 255; ++sum) {
        Image image = Filled(3, 0);
        for (int pixel = 0, left = sum; pixel < 9; ++pixel, left -= 255)
            image[pixel * 3] = static_cast<uint8_t>(std::clamp(left, 0, 255));
        ASSERT_EQ(Apply(205, image, {}, 3), RefBlur(image, 3)) << sum;
    }
}

// ---- Emboss ----

TEST(Emboss, KeepsAFlatImageInEveryDirection) {
    for (float direction : {1.0f, 2.0f, 3.0f, 4.0f})
        EXPECT_EQ(Apply(206, Filled(kSize, 131), {direction}), Filled(kSize, 131)) << direction;
}

TEST(Emboss, MatchesTheDefinitionForEveryDirection) {
    ExpectMatchesReference(
        206, {{1.0f}, {2.0f}, {3.0f}, {4.0f}, {0.0f}, {9.0f}, {-3.0f}, {2.9f}, {kNaN}},
        {kSize, 7, 1});
    // Out-of-range directions are limited, not wrapped.
    const Image a = NoiseImage(kSize, 8);
    EXPECT_EQ(Apply(206, a, {0.0f}), Apply(206, a, {1.0f}));
    EXPECT_EQ(Apply(206, a, {7.0f}), Apply(206, a, {4.0f}));
    EXPECT_NE(Apply(206, a, {1.0f}), Apply(206, a, {4.0f}));
}

// ---- Ripple ----

TEST(Ripple, ZeroAmplitudeAveragesTheThreeNeighboursAfterThePixel) {
    const Image a = NoiseImage(kSize, 4);
    const Image out = Apply(204, a, {0.0f, 0.0f, 3.0f, 2.0f});
    int exact = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            for (int j = 0; j < 3; ++j) {
                const int sum = RefPixel(a, x + 1, y, kSize)[j] + RefPixel(a, x, y + 1, kSize)[j] +
                                RefPixel(a, x + 1, y + 1, kSize)[j];
                const int got = out[(y * kSize + x) * 3 + j];
                // The weights are 1/3 in single precision: a third rounded either way.
                ASSERT_LE(std::abs(got - sum / 3), 1) << x << ", " << y;
                exact += got == sum / 3;
            }
    EXPECT_GT(exact, kSize * kSize * 3 * 9 / 10);
}

TEST(Ripple, SampleThatWrapsOntoTheSizeReadsColumnZero) {
    // A displacement just below 0 wraps to 255 plus a fraction that rounds the sum up to
    // 256: the sample lies on column 0, not past the end of the row.
    const Image a = NoiseImage(kSize, 6);
    const Image still = Apply(204, a, {0.0f, 0.0f, 0.0f, 0.0f});
    const Image nudged = Apply(204, a, {-1e-9f, 0.0f, 0.0f, 0.0f});
    for (int y = 0; y < kSize; ++y)
        ASSERT_EQ(0, std::memcmp(&nudged[y * kSize * 3], &still[y * kSize * 3], 3)) << y;
    EXPECT_EQ(nudged, RefRipple(a, {-1e-9f, 0.0f, 0.0f, 0.0f}, kSize));
}

TEST(Ripple, MatchesTheDefinition) {
    const std::vector<Params> parameters = {
        {0.0f, 0.0f, 3.0f, 2.0f},       {0.05f, 0.03f, 3.0f, 2.0f}, {-0.2f, 0.1f, -7.0f, 5.0f},
        {1.5f, -2.5f, 2.9f, -2.9f},     {0.3f, 0.3f, 0.0f, 0.0f},   {0.01f, 0.02f, 1e9f, 3.0f},
        {-1e-9f, 1e-9f, 1.0f, 1.0f},    {1e6f, -1e6f, 4.0f, 4.0f},  {1e30f, 0.1f, 4.0f, 4.0f},
        {kNaN, 0.0f, 1.0f, 1.0f},       {0.1f, kInf, 1.0f, 1.0f},   {0.1f, 0.1f, kNaN, -1e30f},
        {2.0f, 3.0f, 300.0f, -4000.0f},
    };
    ExpectMatchesReference(204, parameters, {kSize, 100, 64, 3, 1});
}

} // namespace
} // namespace korvane
