#include "texture/generators.h"
#include "texture/vectorise.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

// For a loop whose selects the compiler would otherwise turn back into branches around
// floating-point steps: without traps those steps may run unconditionally. Results do not
// change (traps are never enabled); such a loop must call no inline floating-point function,
// which would then no longer be inlined into it.
#if defined(__GNUC__) && !defined(__clang__)
#define KORVANE_HOT_NONSTOP                                                                        \
    KORVANE_VECTOR_CLONES                                                                          \
    __attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic", "no-trapping-math")))
#else
#define KORVANE_HOT_NONSTOP KORVANE_VECTOR_CLONES
#endif

// Square roots are taken with the SSE2 instruction directly: the compiler will not vectorise
// sqrt while it must keep errno (which these never set, their arguments being >= 0). The
// instruction rounds exactly like sqrt.
#if defined(__SSE2__) || defined(__x86_64__)
#include <immintrin.h>
#define KORVANE_SSE_ROOTS 1
#endif

namespace korvane {

namespace {

MazeTileTables maze_tile_tables;

// The generators store a channel as the low 8 bits of the truncated value, so colours
// above 1 wrap instead of saturating.
inline uint8_t WrapToByte(float value) {
    return static_cast<uint8_t>(TruncToInt32(value));
}

// A colour packed for one 4-byte store: R, G, B in memory order and a spare byte that the
// next pixel's store overwrites.
uint32_t PackColour(uint8_t red, uint8_t green, uint8_t blue) {
    const uint8_t bytes[4] = {red, green, blue, 0};
    uint32_t packed;
    std::memcpy(&packed, bytes, 4);
    return packed;
}

// Writes one image row from a row of palette indices. Each pixel but the last is stored
// with 4 bytes, the fourth landing on the next pixel before that one is written.
KORVANE_HOT void StorePaletteRow(const uint32_t* palette, const uint8_t* indices, uint8_t* row,
                                 int size) {
    for (int x = 0; x < size - 1; ++x)
        std::memcpy(row + 3 * x, &palette[indices[x]], 4);
    std::memcpy(row + 3 * (size - 1), &palette[indices[size - 1]], 3);
}

// Limits a value to lo..hi; NaN reads as lo so that it can never reach an integer
// conversion.
inline float LimitTo(float value, float lo, float hi) {
    const float above = value > lo ? value : lo;
    return above < hi ? above : hi;
}

// ---- 0, "Color" ----

void GenerateColor(const float* p, uint8_t* pixels, int size) {
    const uint8_t colour[3] = {WrapToByte(p[0] * 255.0f), WrapToByte(p[1] * 255.0f),
                               WrapToByte(p[2] * 255.0f)};
    const int row_bytes = size * 3;
    for (int i = 0; i < row_bytes; ++i)
        pixels[i] = colour[i % 3];
    for (int y = 1; y < size; ++y)
        std::memcpy(pixels + y * row_bytes, pixels, row_bytes);
}

// ---- 1, "Sinus plasma" ----

// v = trunc((sin(x fx) + sin(y fy)) * 63.5 + 127) in double precision; both sines lie in
// -1..1, so v is 0..254, and only a non-finite repeat count (a NaN sine) leaves that range:
// NaN truncates to 0 like every other conversion.
KORVANE_HOT void PlasmaIndexRow(const double* column_sines, double row_sine, uint8_t* indices,
                                int size) {
    for (int x = 0; x < size; ++x) {
        const double t = (column_sines[x] + row_sine) * 63.5 + 127.0;
        indices[x] = static_cast<uint8_t>(t == t ? static_cast<int32_t>(t) : 0);
    }
}

void GenerateSinusPlasma(const float* p, uint8_t* pixels, int size) {
    const float step = static_cast<float>(6.283185307179586 / size);
    const float fx = p[3] * step;
    const float fy = step * p[4];
    // The sines depend on the column or on the row alone: computed once for each.
    double column_sines[kGeneratorLayerSize];
    for (int x = 0; x < size; ++x)
        column_sines[x] = std::sin(static_cast<double>(static_cast<float>(x) * fx));
    // v takes 255 values; the three channels of each are trunc(v * colour).
    uint32_t palette[256];
    for (int v = 0; v < 256; ++v) {
        const float value = static_cast<float>(v);
        palette[v] = PackColour(WrapToByte(value * p[0]), WrapToByte(value * p[1]),
                                WrapToByte(value * p[2]));
    }
    uint8_t indices[kGeneratorLayerSize];
    for (int y = 0; y < size; ++y) {
        const double row_sine = std::sin(static_cast<double>(static_cast<float>(y) * fy));
        PlasmaIndexRow(column_sines, row_sine, indices, size);
        StorePaletteRow(palette, indices, pixels + y * size * 3, size);
    }
}

// ---- 2, "Radial colors" ----

struct RadialSetup {
    float inverse_radian;
    int32_t offset;
    int32_t half;
    float centre[3];
    float margin[3];
};

void SquareRoots(double* values, int count) {
    int i = 0;
#if KORVANE_SSE_ROOTS
    for (; i + 2 <= count; i += 2)
        _mm_storeu_pd(values + i, _mm_sqrt_pd(_mm_loadu_pd(values + i)));
#endif
    for (; i < count; ++i)
        values[i] = std::sqrt(values[i]);
}

// t and u of each pixel of row y.
KORVANE_HOT_NONSTOP void RadialWeightsRow(const RadialSetup& s, int y, float* t_row, float* u_row,
                                          int size) {
    const int32_t dy = s.half - y;
    double distances[kGeneratorLayerSize];
    for (int x = 0; x < size; ++x) {
        const int32_t dx = s.half - x;
        distances[x] = static_cast<double>(dx * dx + dy * dy);
    }
    SquareRoots(distances, size);
    const double k = static_cast<double>(s.inverse_radian);
    const double offset = static_cast<double>(s.offset);
    const float span = static_cast<float>(s.half - s.offset);
    const float half = static_cast<float>(s.half);
    if (span == 0.0f) {
        // Below 256 pixels the offset can equal h: the division would give an infinite or
        // NaN t, which takes the margin colour everywhere; that is given without dividing.
        for (int x = 0; x < size; ++x) {
            t_row[x] = 255.0f;
            u_row[x] = 0.0f;
        }
        return;
    }
    for (int x = 0; x < size; ++x) {
        float d = static_cast<float>(k * distances[x] - offset);
        d = d < 0.0f ? 0.0f : d;
        const float t = d / span * half;
        // Past 127 t becomes 255 (127.5 doubled) and u 0, which is 255 - t as well. NaN (an
        // infinite or NaN "Inverse radian") fails the test and takes the margin colour.
        const float limited = t <= 127.0f ? t : 127.5f;
        const float doubled = limited + limited;
        t_row[x] = doubled;
        u_row[x] = 255.0f - doubled;
    }
}

KORVANE_HOT void RadialChannelRow(const RadialSetup& s, const float* t_row, const float* u_row,
                                  uint8_t* row, int size) {
    const float m0 = s.margin[0], m1 = s.margin[1], m2 = s.margin[2];
    const float c0 = s.centre[0], c1 = s.centre[1], c2 = s.centre[2];
    for (int x = 0; x < size; ++x) {
        const float t = t_row[x];
        const float u = u_row[x];
        row[3 * x] = WrapToByte(t * m0 + u * c0);
        row[3 * x + 1] = WrapToByte(t * m1 + u * c1);
        row[3 * x + 2] = WrapToByte(t * m2 + u * c2);
    }
}

void RadialRow(const RadialSetup& s, int y, uint8_t* row, int size) {
    float t_row[kGeneratorLayerSize];
    float u_row[kGeneratorLayerSize];
    RadialWeightsRow(s, y, t_row, u_row, size);
    RadialChannelRow(s, t_row, u_row, row, size);
}

void GenerateRadialColors(const float* p, uint8_t* pixels, int size) {
    RadialSetup s;
    s.inverse_radian = p[6];
    s.half = size / 2;
    s.offset = std::clamp(TruncToInt32(p[7]), 0, 127);
    for (int j = 0; j < 3; ++j) {
        s.centre[j] = p[j];
        s.margin[j] = p[3 + j];
    }
    const int row_bytes = size * 3;
    // The pattern depends on dy * dy only, so the rows below the centre mirror those above.
    for (int y = 0; y < size; ++y) {
        if (y > s.half)
            std::memcpy(pixels + y * row_bytes, pixels + (2 * s.half - y) * row_bytes, row_bytes);
        else
            RadialRow(s, y, pixels + y * row_bytes, size);
    }
}

// ---- 3, "Maze" ----

int MazeTileOffset(int exponent, int kind) {
    const int n2 = 1 << (2 * exponent);
    return 4 * (n2 - 4) / 3 + kind * n2;
}

// How a cell pattern reads its tile values: table `kind` at (X, Y), where X and Y are the
// pixel's tx, ty, either mirrored (m - tx, m - ty), and for two patterns exchanged.
struct PatternTile {
    int8_t kind; // -1: no table, the cell is empty (pattern 0) or full (pattern 15)
    bool mirror_x;
    bool mirror_y;
    bool transposed; // X = ty and Y = tx (mirrored if mirror_x)
};

constexpr PatternTile kPatternTiles[16] = {
    {-1, false, false, false}, // 0: no corner
    {0, true, true, false},    // 1: BR, T0(m - tx, m - ty)
    {0, false, true, false},   // 2: BL, T0(tx, m - ty)
    {1, false, false, false},  // 3: BL BR, T1(tx, ty)
    {0, true, false, false},   // 4: TR, T0(m - tx, ty)
    {1, false, false, true},   // 5: TR BR, T1(ty, tx)
    {2, false, false, false},  // 6: TR BL, T2(tx, ty)
    {3, false, false, false},  // 7: TR BL BR, T3(tx, ty)
    {0, false, false, false},  // 8: TL, T0(tx, ty)
    {2, true, false, false},   // 9: TL BR, T2(m - tx, ty)
    {1, true, false, true},    // 10: TL BL, T1(ty, m - tx)
    {3, true, false, false},   // 11: TL BL BR, T3(m - tx, ty)
    {1, false, true, false},   // 12: TL TR, T1(tx, m - ty)
    {3, false, true, false},   // 13: TL TR BR, T3(tx, m - ty)
    {3, true, true, false},    // 14: TL TR BL, T3(m - tx, m - ty)
    {-1, false, false, false}, // 15: all corners
};

// A pattern's tile as a walk through memory: the value of pixel (tx, ty) of the cell is
// start[tx * step_x + ty * step_y]. Patterns 0 and 15 walk on one constant byte.
struct TileWalk {
    const uint8_t* start;
    int step_x;
    int step_y;
};

void PrepareTileWalks(int exponent, TileWalk* walks) {
    static const uint8_t kEmpty = 0;
    static const uint8_t kFull = 255; // a tile value of 255 is colour * 255
    const int n = 1 << exponent;
    const int m = n - 1;
    for (int pattern = 0; pattern < 16; ++pattern) {
        const PatternTile& tile = kPatternTiles[pattern];
        if (tile.kind < 0) {
            walks[pattern] = {pattern == 15 ? &kFull : &kEmpty, 0, 0};
            continue;
        }
        const uint8_t* table = GetMazeTile(maze_tile_tables, exponent, tile.kind);
        // Entry (X, Y) lies at Y * n + X.
        const int x_unit = tile.transposed ? n : 1; // how far one step of tx moves
        const int y_unit = tile.transposed ? 1 : n; // how far one step of ty moves
        const int x_step = tile.mirror_x ? -x_unit : x_unit;
        const int y_step = tile.mirror_y ? -y_unit : y_unit;
        const int start = (tile.mirror_x ? m * x_unit : 0) + (tile.mirror_y ? m * y_unit : 0);
        walks[pattern] = {table + start, x_step, y_step};
    }
}

void GenerateMaze(const float* p, uint8_t* pixels, int size) {
    if (!maze_tile_tables.built)
        BuildMazeTileTables();
    const int exponent = static_cast<int>(LimitTo(std::nearbyint(p[3]), 1.0f, 7.0f));
    const int cell = 1 << exponent;
    const int cells = size / cell;
    if (cells == 0)
        return;
    TextureRandom random = SeedTextureRandom(p[4]);
    const float bias = 2.0f * LimitTo(p[5], 0.0f, 1.0f) - 1.0f;

    // Corner bits; rounding to nearest with ties to even makes 0.5 a 0.
    const int stride = cells + 1;
    std::vector<uint8_t> grid(static_cast<size_t>(stride) * stride);
    for (uint8_t& bit : grid)
        bit = LimitTo(DrawRandomFraction(random) + bias, 0.0f, 1.0f) > 0.5f ? 1 : 0;
    // The last row and column repeat the first, so the pattern tiles.
    grid[stride * stride - 1] = grid[0];
    for (int r = 0; r <= cells; ++r) {
        grid[r * stride + cells] = grid[r * stride];
        grid[cells * stride + r] = grid[r];
    }

    // A tile value w becomes trunc(w * colour); a full cell (pattern 15) is
    // trunc(colour * 255), which is the same entry 255.
    uint32_t palette[256];
    for (int w = 0; w < 256; ++w) {
        const float value = static_cast<float>(w);
        palette[w] = PackColour(WrapToByte(value * p[0]), WrapToByte(value * p[1]),
                                WrapToByte(value * p[2]));
    }
    palette[0] = 0; // an empty cell is black whatever the colour

    TileWalk walks[16];
    PrepareTileWalks(exponent, walks);
    uint8_t patterns[kGeneratorLayerSize];
    uint8_t indices[kGeneratorLayerSize];
    for (int cy = 0; cy < cells; ++cy) {
        for (int cx = 0; cx < cells; ++cx) {
            const uint8_t* top = &grid[cy * stride + cx];
            patterns[cx] =
                static_cast<uint8_t>(8 * top[0] + 4 * top[1] + 2 * top[stride] + top[stride + 1]);
        }
        // Rows are written in order, so each 4-byte store only spills onto a later pixel.
        for (int ty = 0; ty < cell; ++ty) {
            for (int cx = 0; cx < cells; ++cx) {
                const TileWalk& walk = walks[patterns[cx]];
                const uint8_t* source = walk.start + ty * walk.step_y;
                uint8_t* out = indices + cx * cell;
                for (int tx = 0; tx < cell; ++tx)
                    out[tx] = source[tx * walk.step_x];
            }
            const int y = cy * cell + ty;
            StorePaletteRow(palette, indices, pixels + y * size * 3, cells * cell);
        }
    }
}

// ---- 4, "Bricks" ----

// More bricks than this across the image (16 per pixel at 256) only change sub-pixel
// rounding, while the repeated subtraction below would take ever longer, and forever once
// the span vanishes against the coordinate.
constexpr int32_t kMaxBrickCount = 4096;

// Row height or brick width: size / count. A count below 1 gives no division at all: one
// brick row or one brick that never ends (what the division by 0 gives, and no endless
// subtraction for a negative count).
float BrickSpan(int size, int32_t count) {
    if (count < 1)
        return std::numeric_limits<float>::infinity();
    return static_cast<float>(size) / static_cast<float>(std::min(count, kMaxBrickCount));
}

void GenerateBricks(const float* p, uint8_t* pixels, int size) {
    uint8_t brick[3];
    uint8_t wall[3];
    for (int j = 0; j < 3; ++j) {
        brick[j] = WrapToByte(p[j] * 255.0f);
        wall[j] = WrapToByte(p[3 + j] * 255.0f);
    }
    const int32_t horizontal_number = TruncToInt32(p[6]);
    const int32_t vertical_number = TruncToInt32(p[7]);
    const float horizontal_margin = static_cast<float>(TruncToInt32(p[8]));
    const float vertical_margin = static_cast<float>(TruncToInt32(p[9]));
    int32_t offset = TruncToInt32(p[10]) % size;
    if (offset < 0)
        offset += size;
    const float row_height = BrickSpan(size, horizontal_number);
    const float brick_width = BrickSpan(size, vertical_number);

    const int row_bytes = size * 3;
    std::vector<uint8_t> rows(3 * row_bytes);
    uint8_t* wall_row = rows.data();
    uint8_t* row_a = wall_row + row_bytes;
    uint8_t* row_s = row_a + row_bytes;
    for (int x = 0; x < size; ++x) {
        float t = static_cast<float>(x);
        while (t > brick_width)
            t = t - brick_width;
        const bool is_wall = t < vertical_margin || brick_width - t < vertical_margin;
        std::memcpy(wall_row + 3 * x, wall, 3);
        std::memcpy(row_a + 3 * x, is_wall ? wall : brick, 3);
    }
    for (int x = 0; x < size; ++x)
        std::memcpy(row_s + 3 * x, row_a + 3 * ((x + offset) % size), 3);

    for (int y = 0; y < size; ++y) {
        float t = static_cast<float>(y);
        int j = 0;
        while (t > row_height) {
            t = t - row_height;
            ++j;
        }
        const uint8_t* source = (t < horizontal_margin || row_height - t < horizontal_margin)
                                    ? wall_row
                                : (j % 2 == 0) ? row_a
                                               : row_s;
        std::memcpy(pixels + y * row_bytes, source, row_bytes);
    }
}

// ---- 5, "Noise" ----

constexpr int kNoiseLanes = 8;

// The sequence advanced by eight draws at once: seed * a + c applied eight times.
struct LcgJump {
    uint32_t multiplier = 1;
    uint32_t increment = 0;
};

LcgJump NoiseJump() {
    LcgJump jump;
    for (int i = 0; i < kNoiseLanes; ++i) {
        jump.multiplier *= kTextureRandomMultiplier;
        jump.increment = jump.increment * kTextureRandomMultiplier + kTextureRandomIncrement;
    }
    return jump;
}

// Draws `count` fractions (a multiple of 8) in sequence order; lane l holds the seed of the
// draw l places ahead, and every lane jumps eight draws at a time, so the draws of
// neighbouring pixels are computed side by side.
KORVANE_HOT void DrawNoiseFractions(uint32_t* lanes, LcgJump jump, float* fractions, int count) {
    uint32_t seeds[kNoiseLanes];
    std::memcpy(seeds, lanes, sizeof(seeds));
    for (int i = 0; i < count; i += kNoiseLanes) {
        float* block = fractions + i;
        for (int l = 0; l < kNoiseLanes; ++l) {
            block[l] = static_cast<float>((seeds[l] >> 16) & 0x7fffu) * 3.0517578e-05f;
            seeds[l] = seeds[l] * jump.multiplier + jump.increment;
        }
    }
    std::memcpy(lanes, seeds, sizeof(seeds));
}

KORVANE_HOT void NoiseChannels(const float* fractions, const float* colour, uint8_t* out,
                               int count) {
    const float red = colour[0], green = colour[1], blue = colour[2];
    for (int i = 0; i < count; ++i) {
        const float r = fractions[i];
        out[3 * i] = WrapToByte(r * red);
        out[3 * i + 1] = WrapToByte(r * green);
        out[3 * i + 2] = WrapToByte(r * blue);
    }
}

void GenerateNoise(const float* p, uint8_t* pixels, int size) {
    const float colour[3] = {p[0] * 255.0f, p[1] * 255.0f, p[2] * 255.0f};
    TextureRandom random = SeedTextureRandom(p[3]);
    uint32_t lanes[kNoiseLanes];
    for (uint32_t& lane : lanes) {
        DrawRandomValue(random);
        lane = random.seed;
    }
    const LcgJump jump = NoiseJump();
    constexpr int kChunk = 256;
    float fractions[kChunk];
    const int total = size * size;
    for (int start = 0; start < total; start += kChunk) {
        DrawNoiseFractions(lanes, jump, fractions, kChunk);
        NoiseChannels(fractions, colour, pixels + 3 * start, std::min(kChunk, total - start));
    }
}

} // namespace

TextureRandom SeedTextureRandom(float seed_parameter) {
    TextureRandom random;
    if (seed_parameter > -9223372036854775808.0f && seed_parameter < 9223372036854775808.0f)
        random.seed = static_cast<uint32_t>(static_cast<int64_t>(seed_parameter));
    return random;
}

void BuildMazeTileTables() {
    MazeTileTables& tables = maze_tile_tables;
    if (tables.built)
        return;
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 256; ++i)
        tables.ease[i] =
            static_cast<uint8_t>(std::lround(255.0 * (1.0 - std::cos(i * pi / 512.0))));

    for (int k = kMazeMinExponent; k <= kMazeMaxExponent; ++k) {
        const int n = 1 << k;
        const int m = n - 1;
        const float mf = static_cast<float>(m);
        const float i = 1.0f / mf;
        const float scale = 255.0f * i;
        uint8_t* t0 = tables.bytes.data() + MazeTileOffset(k, 0);
        uint8_t* t1 = tables.bytes.data() + MazeTileOffset(k, 1);
        uint8_t* t2 = tables.bytes.data() + MazeTileOffset(k, 2);
        uint8_t* t3 = tables.bytes.data() + MazeTileOffset(k, 3);
        // Each weight is formed in single precision in this order and truncated; the
        // tables hold the exact bytes later stages were tuned against.
        auto eased = [&tables](float weight) {
            return tables.ease[std::clamp(static_cast<int>(weight), 0, 255)];
        };
        for (int y = 0; y < n; ++y) {
            const float yf = static_cast<float>(y);
            const float down = static_cast<float>(m - y) * i; // (m - y) * i
            for (int x = 0; x < n; ++x) {
                const float xf = static_cast<float>(x);
                const float across = static_cast<float>(m - x);
                const int e = y * n + x;
                t0[e] = eased(across * (down * scale));
                t1[e] = eased(yf * (i * (static_cast<float>(255 * m) * i)));
                t2[e] = eased((xf * down + across * (yf * i)) * scale);
                t3[e] = eased((xf * (down + i * yf) + across * (i * yf)) * scale);
            }
        }
    }
    tables.built = true;
}

const MazeTileTables& GetMazeTileTables() {
    return maze_tile_tables;
}

const uint8_t* GetMazeTile(const MazeTileTables& tables, int exponent, int kind) {
    return tables.bytes.data() + MazeTileOffset(exponent, kind);
}

void GenerateLayer(GeneratorLayer& layer, int size) {
    if (size < 1 || size > kGeneratorLayerSize ||
        layer.pixels.size() < static_cast<size_t>(size) * size * 3)
        return;
    const float* p = layer.parameters.data();
    uint8_t* pixels = layer.pixels.data();
    switch (layer.kind) {
    case GeneratorKind::kColor:
        GenerateColor(p, pixels, size);
        break;
    case GeneratorKind::kSinusPlasma:
        GenerateSinusPlasma(p, pixels, size);
        break;
    case GeneratorKind::kRadialColors:
        GenerateRadialColors(p, pixels, size);
        break;
    case GeneratorKind::kMaze:
        GenerateMaze(p, pixels, size);
        break;
    case GeneratorKind::kBricks:
        GenerateBricks(p, pixels, size);
        break;
    case GeneratorKind::kNoise:
        GenerateNoise(p, pixels, size);
        break;
    }
}

} // namespace korvane
