#include "support/frames.h"
#include "support/reference.h"
#include "texture/generators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace korvane {
namespace {

constexpr int kSize = kGeneratorLayerSize;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// ---- The generators written out step by step, one pixel at a time ----

using test::RefTrunc;

uint8_t RefByte(float value) {
    return static_cast<uint8_t>(RefTrunc(value) & 0xff);
}

struct RefRandom {
    uint32_t seed;
    explicit RefRandom(float parameter) : seed(0) {
        if (std::fabs(parameter) < 9223372036854775808.0f)
            seed = static_cast<uint32_t>(static_cast<int64_t>(parameter));
    }
    uint32_t Value() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    }
    float Fraction() { return static_cast<float>(Value()) * 3.0517578e-05f; }
};

int RefEase(int i) {
    return static_cast<int>(
        std::lround(255.0 * (1.0 - std::cos(i * 3.14159265358979323846 / 512.0))));
}

// Tile value (x, y) of table `kind` for cells of 2^k pixels, eased.
int RefTile(int k, int kind, int x, int y) {
    const int m = (1 << k) - 1;
    const float i = 1.0f / static_cast<float>(m);
    const float fx = static_cast<float>(x);
    const float fy = static_cast<float>(y);
    const float mx = static_cast<float>(m - x);
    const float my = static_cast<float>(m - y);
    float w = 0.0f;
    switch (kind) {
    case 0:
        w = mx * ((my * i) * (255.0f * i));
        break;
    case 1:
        w = fy * (i * (static_cast<float>(255 * m) * i));
        break;
    case 2:
        w = (fx * (my * i) + mx * (fy * i)) * (255.0f * i);
        break;
    case 3:
        w = (fx * (my * i + i * fy) + mx * (i * fy)) * (255.0f * i);
        break;
    }
    return RefEase(static_cast<int>(w));
}

float RefLimit(float value, float lo, float hi) {
    if (std::isnan(value))
        return lo;
    return value > hi ? hi : value < lo ? lo : value;
}

using Params = std::vector<float>;

std::vector<uint8_t> RefColor(const Params& p, int size) {
    std::vector<uint8_t> image(kGeneratorLayerBytes, 0);
    for (int i = 0; i < size * size; ++i)
        for (int j = 0; j < 3; ++j)
            image[3 * i + j] = RefByte(p[j] * 255.0f);
    return image;
}

std::vector<uint8_t> RefSinusPlasma(const Params& p, int size) {
    std::vector<uint8_t> image(kGeneratorLayerBytes, 0);
    const float step = static_cast<float>(6.283185307179586 / size);
    const float fx = p[3] * step;
    const float fy = step * p[4];
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double sx = std::sin(static_cast<double>(static_cast<float>(x) * fx));
            const double sy = std::sin(static_cast<double>(static_cast<float>(y) * fy));
            const int32_t v = RefTrunc((sx + sy) * 63.5 + 127.0);
            for (int j = 0; j < 3; ++j)
                image[(y * size + x) * 3 + j] = RefByte(static_cast<float>(v) * p[j]);
        }
    }
    return image;
}

std::vector<uint8_t> RefRadialColors(const Params& p, int size) {
    std::vector<uint8_t> image(kGeneratorLayerBytes, 0);
    const int h = size / 2;
    int o = RefTrunc(p[7]);
    o = o < 0 ? 0 : o > 127 ? 127 : o;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int dx = h - x;
            const int dy = h - y;
            float d = static_cast<float>(static_cast<double>(p[6]) *
                                             std::sqrt(static_cast<double>(dx * dx + dy * dy)) -
                                         static_cast<double>(o));
            if (d < 0.0f)
                d = 0.0f;
            // Where o equals h (below 256 pixels) t is infinite or NaN: the margin colour.
            float t = h == o ? kInf : d / static_cast<float>(h - o) * static_cast<float>(h);
            float u;
            if (t <= 127.0f) {
                t = t + t;
                u = 255.0f - t;
            } else {
                t = 255.0f;
                u = 0.0f;
            }
            for (int j = 0; j < 3; ++j)
                image[(y * size + x) * 3 + j] = RefByte(t * p[3 + j] + u * p[j]);
        }
    }
    return image;
}

std::vector<uint8_t> RefMaze(const Params& p, int size) {
    std::vector<uint8_t> image(kGeneratorLayerBytes, 0);
    const int k = static_cast<int>(RefLimit(std::nearbyint(p[3]), 1.0f, 7.0f));
    const int cell = 1 << k;
    const int cells = size / cell;
    RefRandom random(p[4]);
    const float bias = 2.0f * RefLimit(p[5], 0.0f, 1.0f) - 1.0f;
    std::vector<std::vector<int>> g(cells + 1, std::vector<int>(cells + 1));
    for (auto& row : g)
        for (int& bit : row)
            bit = static_cast<int>(std::nearbyint(RefLimit(random.Fraction() + bias, 0.0f, 1.0f)));
    g[cells][cells] = g[0][0];
    for (int r = 0; r <= cells; ++r) {
        g[r][cells] = g[r][0];
        g[cells][r] = g[0][r];
    }
    const int m = cell - 1;
    for (int cy = 0; cy < cells; ++cy) {
        for (int cx = 0; cx < cells; ++cx) {
            const int pattern =
                8 * g[cy][cx] + 4 * g[cy][cx + 1] + 2 * g[cy + 1][cx] + g[cy + 1][cx + 1];
            for (int ty = 0; ty < cell; ++ty) {
                for (int tx = 0; tx < cell; ++tx) {
                    int w = 0;
                    switch (pattern) {
                    case 1:
                        w = RefTile(k, 0, m - tx, m - ty);
                        break;
                    case 2:
                        w = RefTile(k, 0, tx, m - ty);
                        break;
                    case 3:
                        w = RefTile(k, 1, tx, ty);
                        break;
                    case 4:
                        w = RefTile(k, 0, m - tx, ty);
                        break;
                    case 5:
                        w = RefTile(k, 1, ty, tx);
                        break;
                    case 6:
                        w = RefTile(k, 2, tx, ty);
                        break;
                    case 7:
                        w = RefTile(k, 3, tx, ty);
                        break;
                    case 8:
                        w = RefTile(k, 0, tx, ty);
                        break;
                    case 9:
                        w = RefTile(k, 2, m - tx, ty);
                        break;
                    case 10:
                        w = RefTile(k, 1, ty, m - tx);
                        break;
                    case 11:
                        w = RefTile(k, 3, m - tx, ty);
                        break;
                    case 12:
                        w = RefTile(k, 1, tx, m - ty);
                        break;
                    case 13:
                        w = RefTile(k, 3, tx, m - ty);
                        break;
                    case 14:
                        w = RefTile(k, 3, m - tx, m - ty);
                        break;
                    }
                    const int x = cx * cell + tx;
                    const int y = cy * cell + ty;
                    for (int j = 0; j < 3; ++j) {
                        uint8_t channel = 0;
                        if (pattern == 15)
                            channel = RefByte(p[j] * 255.0f);
                        else if (pattern != 0)
                            channel = RefByte(static_cast<float>(w) * p[j]);
                        image[(y * size + x) * 3 + j] = channel;
                    }
                }
            }
        }
    }
    return image;
}

// Counts below 1 give an endless span and counts above 4096 count as 4096 (the choices
// this engine makes where the division or the subtraction loop would misbehave).
float RefSpan(int size, int32_t count) {
    if (count < 1)
        return kInf;
    return static_cast<float>(size) / static_cast<float>(count > 4096 ? 4096 : count);
}

std::vector<uint8_t> RefBricks(const Params& p, int size) {
    std::vector<uint8_t> image(kGeneratorLayerBytes, 0);
    uint8_t brick[3];
    uint8_t wall[3];
    for (int j = 0; j < 3; ++j) {
        brick[j] = RefByte(p[j] * 255.0f);
        wall[j] = RefByte(p[3 + j] * 255.0f);
    }
    const float row_height = RefSpan(size, RefTrunc(p[6]));
    const float brick_width = RefSpan(size, RefTrunc(p[7]));
    const int32_t hm = RefTrunc(p[8]);
    const int32_t vm = RefTrunc(p[9]);
    int32_t off = RefTrunc(p[10]) % size;
    if (off < 0)
        off += size;
    std::vector<bool> row_a(size);
    for (int x = 0; x < size; ++x) {
        float t = static_cast<float>(x);
        while (t > brick_width)
            t = t - brick_width;
        row_a[x] = t < vm || brick_width - t < vm;
    }
    for (int y = 0; y < size; ++y) {
        float t = static_cast<float>(y);
        int j = 0;
        while (t > row_height) {
            t = t - row_height;
            ++j;
        }
        const bool wall_row = t < hm || row_height - t < hm;
        for (int x = 0; x < size; ++x) {
            bool is_wall = wall_row;
            if (!wall_row)
                is_wall = j % 2 == 0 ? row_a[x] : row_a[(x + off) % size];
            std::memcpy(&image[(y * size + x) * 3], is_wall ? wall : brick, 3);
        }
    }
    return image;
}

std::vector<uint8_t> RefNoise(const Params& p, int size) {
    std::vector<uint8_t> image(kGeneratorLayerBytes, 0);
    RefRandom random(p[3]);
    for (int i = 0; i < size * size; ++i) {
        const float r = RefLimit(random.Fraction(), 0.0f, 1.0f);
        for (int j = 0; j < 3; ++j)
            image[3 * i + j] = RefByte(r * (p[j] * 255.0f));
    }
    return image;
}

std::vector<uint8_t> Reference(GeneratorKind kind, const Params& p, int size) {
    switch (kind) {
    case GeneratorKind::kColor:
        return RefColor(p, size);
    case GeneratorKind::kSinusPlasma:
        return RefSinusPlasma(p, size);
    case GeneratorKind::kRadialColors:
        return RefRadialColors(p, size);
    case GeneratorKind::kMaze:
        return RefMaze(p, size);
    case GeneratorKind::kBricks:
        return RefBricks(p, size);
    case GeneratorKind::kNoise:
        return RefNoise(p, size);
    }
    return {};
}

// ---- Shared pieces ----

GeneratorLayer MakeLayer(GeneratorKind kind, const Params& parameters) {
    GeneratorLayer layer;
    layer.kind = kind;
    for (size_t i = 0; i < parameters.size(); ++i)
        layer.parameters[i] = parameters[i];
    return layer;
}

std::vector<uint8_t> Generate(GeneratorKind kind, const Params& parameters, int size = kSize) {
    GeneratorLayer layer = MakeLayer(kind, parameters);
    GenerateLayer(layer, size);
    return layer.pixels;
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb PixelAt(const std::vector<uint8_t>& image, int x, int y, int size = kSize) {
    const uint8_t* p = &image[(y * size + x) * 3];
    return {p[0], p[1], p[2]};
}

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

using test::FirstDifference;

std::string Describe(const Params& p) {
    std::string text;
    for (float v : p)
        text += std::to_string(v) + " ";
    return text;
}

// ---- The random sequence and the conversions ----

TEST(TextureRandom, DrawsTheLinearCongruentialSequence) {
    TextureRandom random = SeedTextureRandom(1.0f);
    const uint32_t expected[] = {16838, 5758, 10113, 17515, 31051};
    for (uint32_t value : expected)
        EXPECT_EQ(DrawRandomValue(random), value);
    // The fraction is the value over 32768, drawn after the next advance.
    TextureRandom again = SeedTextureRandom(1.0f);
    EXPECT_EQ(DrawRandomFraction(again), 16838.0f / 32768.0f);
}

TEST(TextureRandom, SeedKeepsTheLowHalfOfTheSixtyFourBitTruncation) {
    const struct {
        float parameter;
        uint32_t seed;
    } cases[] = {
        {3.9f, 3u},
        {-1.5f, 0xffffffffu},
        {6e9f, static_cast<uint32_t>(6000000000ll)},
        {-6e9f, static_cast<uint32_t>(-6000000000ll)},
        {kNaN, 0u},
        {kInf, 0u},
        {-1e30f, 0u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SeedTextureRandom(c.parameter).seed, c.seed) << c.parameter;
}

TEST(TruncToInt32, TruncatesTowardZeroAndSaturates) {
    const struct {
        double value;
        int32_t result;
    } cases[] = {
        {1.9, 1},
        {-1.9, -1},
        {-0.5, 0},
        {2147483520.0, 2147483520},
        {3e9, INT32_MAX},
        {-2147483648.0, INT32_MIN},
        {-3e9, INT32_MIN},
        {HUGE_VAL, INT32_MAX},
        {-HUGE_VAL, INT32_MIN},
        {std::nan(""), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TruncToInt32(c.value), c.result) << c.value;
        EXPECT_EQ(TruncToInt32(static_cast<float>(c.value)), c.result) << c.value;
    }
    EXPECT_EQ(TruncToInt32(2147483647.75), INT32_MAX);
    EXPECT_EQ(TruncToInt32(-2147483648.75), INT32_MIN);
}

// ---- Maze tables ----

TEST(MazeTileTables, EaseAndTilesFollowTheirFormulas) {
    BuildMazeTileTables();
    const MazeTileTables& tables = GetMazeTileTables();
    ASSERT_TRUE(tables.built);
    EXPECT_EQ(tables.ease[0], 0);
    EXPECT_EQ(tables.ease[128], 75);
    EXPECT_EQ(tables.ease[255], 253);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(tables.ease[i], RefEase(i)) << i;
    for (int k = kMazeMinExponent; k <= kMazeMaxExponent; ++k) {
        const int n = 1 << k;
        for (int kind = 0; kind < kMazeTileKinds; ++kind) {
            const uint8_t* tile = GetMazeTile(tables, k, kind);
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    ASSERT_EQ(tile[y * n + x], RefTile(k, kind, x, y))
                        << "k " << k << " T" << kind << " (" << x << ", " << y << ")";
        }
        // A set corner pixel of a partial cell is 253, not 255.
        EXPECT_EQ(GetMazeTile(tables, k, 0)[0], 253) << k;
    }
}

// ---- The listed behaviours of each generator ----

TEST(GenerateLayer, ColorStoresTheLowBitsOfTheTruncatedColour) {
    const struct {
        Params colour;
        Rgb expected;
    } cases[] = {
        {{1.0f, 0.5f, 0.0f}, {255, 127, 0}},
        {{1.5f, -0.1f, 2.0f}, {126, 231, 254}}, // 382, -25, 510 wrapped
        {{kNaN, 1e20f, -1e20f}, {0, 255, 0}},   // 0, INT32_MAX, INT32_MIN
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> image = Generate(GeneratorKind::kColor, c.colour);
        for (int i = 0; i < kSize * kSize; i += 997)
            ASSERT_EQ(PixelAt(image, i % kSize, i / kSize), c.expected) << Describe(c.colour);
        EXPECT_EQ(PixelAt(image, kSize - 1, kSize - 1), c.expected);
    }
}

TEST(GenerateLayer, SinusPlasmaStartsAtHalfTheColour) {
    const std::vector<uint8_t> image =
        Generate(GeneratorKind::kSinusPlasma, {1.0f, 0.5f, 2.0f, 1.0f, 1.0f});
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgb{127, 63, 254}));
    // One period across: a quarter of the way along both axes both sines are near 1.
    EXPECT_GE(PixelAt(image, kSize / 4, kSize / 4).r, 253);
    EXPECT_LE(PixelAt(image, 3 * kSize / 4, 3 * kSize / 4).r, 1);
}

TEST(GenerateLayer, RadialColorsRunFromCentreToMargin) {
    const Params p = {0.2f, 0.4f, 1.0f, 0.6f, 0.8f, 0.1f, 1.0f, 0.0f};
    const std::vector<uint8_t> image = Generate(GeneratorKind::kRadialColors, p);
    EXPECT_EQ(PixelAt(image, 128, 128), (Rgb{51, 102, 255}));
    // 181 pixels from the centre t exceeds 127: the pure margin colour.
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgb{153, 204, 25}));
}

TEST(GenerateLayer, MazeFullnessZeroIsBlackAndOneIsFull) {
    for (float size_parameter : {1.0f, 4.0f, 7.0f}) {
        const std::vector<uint8_t> empty =
            Generate(GeneratorKind::kMaze, {0.5f, 0.6f, 1.0f, size_parameter, 5.0f, 0.0f});
        EXPECT_EQ(empty, std::vector<uint8_t>(kGeneratorLayerBytes, 0)) << size_parameter;
        const std::vector<uint8_t> full =
            Generate(GeneratorKind::kMaze, {0.5f, 0.6f, 1.0f, size_parameter, 5.0f, 1.0f});
        EXPECT_EQ(full, Generate(GeneratorKind::kColor, {0.5f, 0.6f, 1.0f})) << size_parameter;
    }
}

TEST(GenerateLayer, MazeEdgesMatchSoThePatternTiles) {
    // The last row and column of corner bits repeat the first, so the first and last
    // pixel columns (and rows) lie on the same grid line. They hold the same value, except
    // where a full cell (255, never eased) meets a partial one (253 on a set corner).
    for (int k = 1; k <= 7; ++k) {
        for (float seed : {3.0f, 77.0f, 1000.0f}) {
            const std::vector<uint8_t> image = Generate(
                GeneratorKind::kMaze, {1.0f, 1.0f, 1.0f, static_cast<float>(k), seed, 0.55f});
            auto same_line = [](Rgb first, Rgb last) {
                const bool full_meets_partial =
                    (first.r == 255 && last.r == 253) || (first.r == 253 && last.r == 255);
                return first == last || full_meets_partial;
            };
            for (int i = 0; i < kSize; ++i) {
                ASSERT_TRUE(same_line(PixelAt(image, 0, i), PixelAt(image, kSize - 1, i)))
                    << k << " row " << i << ": " << PixelAt(image, 0, i) << " and "
                    << PixelAt(image, kSize - 1, i);
                ASSERT_TRUE(same_line(PixelAt(image, i, 0), PixelAt(image, i, kSize - 1)))
                    << k << " column " << i << ": " << PixelAt(image, i, 0) << " and "
                    << PixelAt(image, i, kSize - 1);
            }
        }
    }
}

TEST(GenerateLayer, MazeSizeRoundsToNearestEvenAndIsLimited) {
    const struct {
        float given;
        float same_as;
    } cases[] = {{7.4f, 7.0f},  {0.2f, 1.0f},  {2.5f, 2.0f}, {3.5f, 4.0f},
                 {-3.0f, 1.0f}, {12.0f, 7.0f}, {kNaN, 1.0f}};
    for (const auto& c : cases) {
        EXPECT_EQ(Generate(GeneratorKind::kMaze, {1.0f, 0.5f, 0.25f, c.given, 9.0f, 0.5f}),
                  Generate(GeneratorKind::kMaze, {1.0f, 0.5f, 0.25f, c.same_as, 9.0f, 0.5f}))
            << c.given;
    }
    // 7 makes 128-pixel cells and 1 makes 2-pixel ones: different images.
    EXPECT_NE(Generate(GeneratorKind::kMaze, {1.0f, 1.0f, 1.0f, 7.0f, 9.0f, 0.5f}),
              Generate(GeneratorKind::kMaze, {1.0f, 1.0f, 1.0f, 1.0f, 9.0f, 0.5f}));
}

TEST(GenerateLayer, BricksNegativeOffsetShiftsAsSizeMinusIt) {
    const Params base = {0.7f, 0.3f, 0.2f, 0.9f, 0.9f, 0.8f, 8.0f, 4.0f, 2.0f, 2.0f};
    auto with_offset = [&base](float offset) {
        Params p = base;
        p.push_back(offset);
        return Generate(GeneratorKind::kBricks, p);
    };
    EXPECT_EQ(with_offset(-10.0f), with_offset(246.0f));
    EXPECT_EQ(with_offset(-266.0f), with_offset(246.0f));
    EXPECT_NE(with_offset(-10.0f), with_offset(10.0f));
}

TEST(GenerateLayer, BricksWithoutACountMakeOneEndlessBrick) {
    const Rgb brick = {255, 0, 0};
    const Rgb wall = {0, 0, 255};
    // Counts of 0 (a division by zero) and below: one brick row, one brick across it; the
    // margins then mark only the top rows and the left columns.
    for (float count : {0.0f, -3.0f, 0.9f}) {
        const std::vector<uint8_t> image =
            Generate(GeneratorKind::kBricks,
                     {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, count, count, 3.0f, 5.0f, 17.0f});
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                ASSERT_EQ(PixelAt(image, x, y), (y < 3 || x < 5) ? wall : brick)
                    << count << " at " << x << ", " << y;
    }
    // Counts far beyond the pixels end too: bricks under a pixel are all wall when there
    // is a margin, and all brick when there is none.
    const std::vector<uint8_t> walls = Generate(
        GeneratorKind::kBricks, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1e9f, 1e9f, 1.0f, 1.0f});
    EXPECT_EQ(walls, Generate(GeneratorKind::kColor, {0.0f, 0.0f, 1.0f}));
    const std::vector<uint8_t> bricks = Generate(
        GeneratorKind::kBricks, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1e9f, 1e9f, 0.0f, 0.0f});
    EXPECT_EQ(bricks, Generate(GeneratorKind::kColor, {1.0f, 0.0f, 0.0f}));
}

TEST(GenerateLayer, NoiseRepeatsForASeedAndStartsAfterOneAdvance) {
    const Params p = {0.9f, 0.5f, 1.0f, 1.0f};
    const std::vector<uint8_t> image = Generate(GeneratorKind::kNoise, p);
    EXPECT_EQ(image, Generate(GeneratorKind::kNoise, p));
    // Seed 1 draws 16838 first; the three channels share it.
    const float r = 16838.0f / 32768.0f;
    EXPECT_EQ(PixelAt(image, 0, 0),
              (Rgb{static_cast<int>(r * (0.9f * 255.0f)), static_cast<int>(r * (0.5f * 255.0f)),
                   static_cast<int>(r * 255.0f)}));
    EXPECT_NE(image, Generate(GeneratorKind::kNoise, {0.9f, 0.5f, 1.0f, 2.0f}));
}

TEST(GenerateLayer, UnknownKindOrSizeLeavesThePixelsAsTheyAre) {
    GeneratorLayer fresh;
    EXPECT_EQ(fresh.pixels, std::vector<uint8_t>(kGeneratorLayerBytes, 0));
    fresh.kind = static_cast<GeneratorKind>(6);
    GenerateLayer(fresh, kSize);
    EXPECT_EQ(fresh.pixels, std::vector<uint8_t>(kGeneratorLayerBytes, 0));

    GeneratorLayer used = MakeLayer(static_cast<GeneratorKind>(99), {1.0f, 1.0f, 1.0f});
    std::fill(used.pixels.begin(), used.pixels.end(), 0x5a);
    GenerateLayer(used, kSize);
    EXPECT_EQ(used.pixels, std::vector<uint8_t>(kGeneratorLayerBytes, 0x5a));
    used.kind = GeneratorKind::kColor;
    for (int size : {0, -1, kSize + 1}) {
        GenerateLayer(used, size);
        EXPECT_EQ(used.pixels, std::vector<uint8_t>(kGeneratorLayerBytes, 0x5a)) << size;
    }
}

// ---- Whole images against the step-by-step definition ----

struct Case {
    GeneratorKind kind;
    Params parameters;
};

void ExpectMatchesReference(const std::vector<Case>& cases, std::vector<int> sizes = {kSize}) {
    for (const Case& c : cases) {
        for (int size : sizes) {
            const std::vector<uint8_t> got = Generate(c.kind, c.parameters, size);
            const std::vector<uint8_t> want = Reference(c.kind, c.parameters, size);
            ASSERT_EQ(got, want) << "kind " << static_cast<int>(c.kind) << " size " << size
                                 << " parameters " << Describe(c.parameters) << ": "
                                 << FirstDifference(got, want, size);
        }
    }
}

TEST(GenerateLayerMatchesDefinition, ColorAndSinusPlasma) {
    ExpectMatchesReference(
        {
            {GeneratorKind::kColor, {0.3f, 0.6f, 0.9f}},
            {GeneratorKind::kColor, {-2.5f, 7.1f, 1e10f}},
            {GeneratorKind::kSinusPlasma, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f}},
            {GeneratorKind::kSinusPlasma, {0.9f, 0.5f, 0.2f, 3.0f, 2.0f}},
            {GeneratorKind::kSinusPlasma, {-1.3f, 2.2f, 0.7f, -4.5f, 7.25f}},
            {GeneratorKind::kSinusPlasma, {1.0f, 1.0f, 1.0f, 1000.3f, -333.0f}},
            {GeneratorKind::kSinusPlasma, {3e9f, kNaN, 1.0f, kInf, 2.0f}},
        },
        {kSize, 64, 101});
}

TEST(GenerateLayerMatchesDefinition, RadialColors) {
    const Params colours = {1.0f, 0.9f, 0.5f, 0.1f, 0.0f, 0.3f};
    std::vector<Case> cases;
    const float shapes[][2] = {{1.5f, 20.0f},  {1.0f, 0.0f},   {0.25f, 127.0f},
                               {-1.0f, -5.0f}, {3.0f, 300.0f}, {0.7f, 126.9f},
                               {kInf, 3.0f},   {kNaN, 0.0f},   {1e30f, 1.0f}};
    for (const auto& shape : shapes) {
        Params p = colours;
        p.push_back(shape[0]);
        p.push_back(shape[1]);
        cases.push_back({GeneratorKind::kRadialColors, p});
    }
    cases.push_back(
        {GeneratorKind::kRadialColors, {2.5f, -1.5f, 0.0f, 1.7f, 3.0f, -0.2f, 0.8f, 10.0f}});
    ExpectMatchesReference(cases, {kSize, 64, 101});
}

TEST(GenerateLayerMatchesDefinition, MazeOfEverySize) {
    std::vector<Case> cases;
    for (int k = 1; k <= 7; ++k)
        for (float fullness : {0.3f, 0.5f, 0.62f, 0.9f})
            for (float seed : {0.0f, 12.0f, -7.9f, 123456789.0f})
                cases.push_back({GeneratorKind::kMaze,
                                 {1.7f, -0.4f, 0.5f, static_cast<float>(k), seed, fullness}});
    ExpectMatchesReference(cases);
    ExpectMatchesReference({{GeneratorKind::kMaze, {0.8f, 0.6f, 0.3f, 3.0f, 5.0f, 0.5f}},
                            {GeneratorKind::kMaze, {0.8f, kInf, 0.3f, 2.0f, 5.0f, 0.5f}}},
                           {64, 100});
}

TEST(GenerateLayerMatchesDefinition, BricksOffsetsCountsAndMargins) {
    std::vector<Case> cases;
    const float layouts[][4] = {{8.0f, 4.0f, 2.0f, 2.0f},     {3.0f, 5.0f, 0.0f, 0.0f},
                                {7.0f, 13.0f, 5.0f, 40.0f},   {1.0f, 1.0f, 1.0f, 1.0f},
                                {300.0f, 600.0f, 0.0f, 0.0f}, {0.0f, 4.0f, 2.0f, 3.0f},
                                {-3.0f, 2.0f, -2.0f, -2.0f},  {6.0f, 6.0f, 2.9f, 1.5f}};
    for (const auto& layout : layouts) {
        for (float offset : {-10.0f, 300.0f, -1000.0f, 0.0f, 255.0f, 1e12f}) {
            cases.push_back({GeneratorKind::kBricks,
                             {0.7f, 0.3f, 1.2f, 0.9f, -0.5f, 0.8f, layout[0], layout[1], layout[2],
                              layout[3], offset}});
        }
    }
    ExpectMatchesReference(cases, {kSize, 100});
}

TEST(GenerateLayerMatchesDefinition, NoiseSeedsAndColours) {
    std::vector<Case> cases;
    for (float seed : {0.0f, 1.0f, 1234.0f, -55.5f, 4e9f})
        for (const Params& colour : {Params{1.0f, 1.0f, 1.0f}, Params{0.9f, 0.8f, 0.7f},
                                     Params{-1.0f, 2.0f, 0.5f}, Params{kInf, kNaN, 1e20f}}) {
            Params p = colour;
            p.push_back(seed);
            cases.push_back({GeneratorKind::kNoise, p});
        }
    ExpectMatchesReference(cases, {kSize, 100});
}

} // namespace
} // namespace korvane
