#include "texture/filters.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>

#include "math/cosine_table.h"
#include "texture/generators.h"
#include "texture/vectorise.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <immintrin.h>
#define KORVANE_SSE_ROOTS 1
#endif

namespace korvane {

namespace {

// ---- Per-byte operations ----
// A result r is truncated toward zero as a 32-bit integer (saturating beyond that range,
// NaN as 0, like TruncToInt32) and stored "clamped" (255 above 255, 0 below 0) or
// "top-clamped" (255 above 255, otherwise its low 8 bits, so negative results wrap).
//
// Two ways to truncate, picked once per call. With moderate scales every product of bytes
// and a scale, and the sum of two, stays far inside the 32-bit range and is never NaN, so
// the plain conversion is the truncation and the loops stay short. Any other scale takes
// the saturating form; above 256 every result stores as 255 alike, so it saturates there.
struct ModerateScales {
    static int32_t Trunc(float r) { return static_cast<int32_t>(r); }
};

struct AnyScales {
    static int32_t Trunc(float r) {
        float c = r == r ? r : 0.0f;
        c = c > -2147483648.0f ? c : -2147483648.0f;
        c = c < 256.0f ? c : 256.0f;
        return static_cast<int32_t>(c);
    }
};

// |byte * scale| + |byte * scale| stays below 2^31 up to this scale (255 * 2^23 < 2^31).
constexpr float kModerateScale = 4194304.0f;
// The same for the product of two bytes and a scale (65025 * 32768 < 2^31).
constexpr float kModerateProductScale = 32768.0f;

// False for NaN too.
bool IsModerate(float scale, float limit) {
    return std::fabs(scale) <= limit;
}

inline uint8_t Clamped(int32_t v) {
    v = v > 0 ? v : 0;
    v = v < 255 ? v : 255;
    return static_cast<uint8_t>(v);
}

inline uint8_t TopClamped(int32_t v) {
    return v > 255 ? 255 : static_cast<uint8_t>(v);
}

// Straight loops over every byte; `out` may be one of the sources (element by element).

template <typename Scales>
KORVANE_HOT void AddBytes(uint8_t* out, const uint8_t* a, const uint8_t* l, float scale_a,
                          float scale_l, int n) {
    for (int k = 0; k < n; ++k) {
        const float pa = static_cast<float>(a[k]) * scale_a;
        const float pl = static_cast<float>(l[k]) * scale_l;
        out[k] = Clamped(Scales::Trunc(pa + pl));
    }
}

// The two bytes are multiplied first (exactly) and the scale applied last.
template <typename Scales>
KORVANE_HOT void MultiplyTopClampedBytes(uint8_t* out, const uint8_t* a, const uint8_t* l,
                                         float scale, int n) {
    for (int k = 0; k < n; ++k) {
        const float product = static_cast<float>(l[k]) * static_cast<float>(a[k]);
        out[k] = TopClamped(Scales::Trunc(product * scale));
    }
}

template <typename Scales>
KORVANE_HOT void MultiplyClampedBytes(uint8_t* out, const uint8_t* a, const uint8_t* b, float scale,
                                      int n) {
    for (int k = 0; k < n; ++k) {
        const float product = static_cast<float>(a[k]) * static_cast<float>(b[k]);
        out[k] = Clamped(Scales::Trunc(product * scale));
    }
}

template <typename Scales>
KORVANE_HOT void MaximumBytes(uint8_t* out, const uint8_t* a, const uint8_t* l, float scale_a,
                              float scale_l, int n) {
    for (int k = 0; k < n; ++k) {
        const int32_t ta = Scales::Trunc(static_cast<float>(a[k]) * scale_a);
        const int32_t tl = Scales::Trunc(static_cast<float>(l[k]) * scale_l);
        out[k] = TopClamped(ta > tl ? ta : tl);
    }
}

template <typename Scales>
KORVANE_HOT void MinimumBytes(uint8_t* out, const uint8_t* a, const uint8_t* l, float scale_a,
                              float scale_l, int n) {
    for (int k = 0; k < n; ++k) {
        const int32_t ta = Scales::Trunc(static_cast<float>(a[k]) * scale_a);
        const int32_t tl = Scales::Trunc(static_cast<float>(l[k]) * scale_l);
        out[k] = TopClamped(ta < tl ? ta : tl);
    }
}

template <typename Scales>
KORVANE_HOT void ScaleBytes(uint8_t* out, const uint8_t* a, float scale, int n) {
    for (int k = 0; k < n; ++k)
        out[k] = TopClamped(Scales::Trunc(static_cast<float>(a[k]) * scale));
}

KORVANE_HOT void InvertBytes(uint8_t* out, const uint8_t* a, int n) {
    for (int k = 0; k < n; ++k)
        out[k] = static_cast<uint8_t>(255 - a[k]);
}

void Add(uint8_t* out, const uint8_t* a, const uint8_t* l, float scale_a, float scale_l, int n) {
    if (IsModerate(scale_a, kModerateScale) && IsModerate(scale_l, kModerateScale))
        AddBytes<ModerateScales>(out, a, l, scale_a, scale_l, n);
    else
        AddBytes<AnyScales>(out, a, l, scale_a, scale_l, n);
}

void Maximum(uint8_t* out, const uint8_t* a, const uint8_t* l, float scale_a, float scale_l,
             int n) {
    if (IsModerate(scale_a, kModerateScale) && IsModerate(scale_l, kModerateScale))
        MaximumBytes<ModerateScales>(out, a, l, scale_a, scale_l, n);
    else
        MaximumBytes<AnyScales>(out, a, l, scale_a, scale_l, n);
}

void Minimum(uint8_t* out, const uint8_t* a, const uint8_t* l, float scale_a, float scale_l,
             int n) {
    if (IsModerate(scale_a, kModerateScale) && IsModerate(scale_l, kModerateScale))
        MinimumBytes<ModerateScales>(out, a, l, scale_a, scale_l, n);
    else
        MinimumBytes<AnyScales>(out, a, l, scale_a, scale_l, n);
}

int ImageBytes(int size) {
    return size * size * 3;
}

// The images of the texture graph are at most 256 pixels wide; the row buffers here are
// sized for that.
bool IsImageSize(int size) {
    return size >= 1 && size <= kGeneratorLayerSize;
}

// ---- Geometric operations ----

// The geometric operations read neighbours, so they compute into this image and copy it
// into the output at the end.
std::unique_ptr<uint8_t[]> NewImage(int size) {
    return std::unique_ptr<uint8_t[]>(new uint8_t[ImageBytes(size)]);
}

// Reduces a value into 0..size - 1 (a negative remainder has size added).
int WrapIndex(int32_t value, int size) {
    const int32_t r = value % size;
    return r < 0 ? r + size : r;
}

// One row of A with its neighbours across the edges: the last pixel before the first and
// the first after the last, so that column -1 is column size - 1 and column size column 0.
void PadRow(const uint8_t* row, int size, uint8_t* padded) {
    const int row_bytes = size * 3;
    std::memcpy(padded, row + row_bytes - 3, 3);
    std::memcpy(padded + 3, row, row_bytes);
    std::memcpy(padded + 3 + row_bytes, row, 3);
}

constexpr int kMaxPaddedRow = (kGeneratorLayerSize + 2) * 3;

// trunc(sum * 0.111111111) in double precision is exactly (sum - 1) / 9 for sums 1..2295
// (0.111111111 lies just below 1/9, so a multiple of 9 falls one short) and 0 for 0.
KORVANE_HOT void BlurRow(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                         uint8_t* out, int row_bytes) {
    uint16_t columns[kMaxPaddedRow];
    for (int k = 0; k < row_bytes + 6; ++k)
        columns[k] = static_cast<uint16_t>(above[k] + row[k] + below[k]);
    for (int k = 0; k < row_bytes; ++k) {
        const uint16_t sum = static_cast<uint16_t>(columns[k] + columns[k + 3] + columns[k + 6]);
        out[k] = static_cast<uint8_t>(sum > 0 ? (sum - 1) / 9 : 0);
    }
}

struct EmbossKernel {
    int16_t w[3][3]; // [row y - 1, y, y + 1][column x - 1, x, x + 1]
};

// The four directions; each kernel sums to 1, so a flat area keeps its value.
constexpr EmbossKernel kEmbossKernels[4] = {
    {{{-2, -1, 0}, {-1, 1, 1}, {0, 1, 2}}},
    {{{0, -1, -2}, {1, 1, -1}, {2, 1, 0}}},
    {{{2, 1, 0}, {1, 1, -1}, {0, -1, -2}}},
    {{{0, 1, 2}, {-1, 1, 1}, {-2, -1, 0}}},
};

KORVANE_HOT void EmbossRow(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                           const EmbossKernel& kernel, uint8_t* out, int row_bytes) {
    const uint8_t* rows[3] = {above, row, below};
    int16_t sums[kMaxPaddedRow];
    for (int k = 0; k < row_bytes; ++k)
        sums[k] = 0;
    for (int r = 0; r < 3; ++r) {
        const uint8_t* source = rows[r];
        const int16_t w0 = kernel.w[r][0];
        const int16_t w1 = kernel.w[r][1];
        const int16_t w2 = kernel.w[r][2];
        for (int k = 0; k < row_bytes; ++k)
            sums[k] = static_cast<int16_t>(sums[k] + w0 * source[k] + w1 * source[k + 3] +
                                           w2 * source[k + 6]);
    }
    for (int k = 0; k < row_bytes; ++k) {
        const int16_t s = sums[k];
        out[k] = static_cast<uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
    }
}

// Runs a 3 x 3 row operation over the image with rows and columns wrapping at the edges.
template <typename RowOperation>
void ForEachWrappedRow(const uint8_t* a, uint8_t* out, int size, RowOperation operation) {
    const int row_bytes = size * 3;
    uint8_t padded[3][kMaxPaddedRow];
    PadRow(a + (size - 1) * row_bytes, size, padded[0]);
    PadRow(a, size, padded[1]);
    for (int y = 0; y < size; ++y) {
        const int next = y + 1 < size ? y + 1 : 0;
        uint8_t* above = padded[y % 3];
        uint8_t* row = padded[(y + 1) % 3];
        uint8_t* below = padded[(y + 2) % 3];
        PadRow(a + next * row_bytes, size, below);
        operation(above, row, below, out + y * row_bytes, row_bytes);
    }
}

// ---- Ripple ----
// The two neighbours of a sample in one row are read together, as the 8 bytes from the
// left one's first: its 3 bytes and those of the pixel after it. The Ripple reads from a
// copy of A followed by a side table that holds, for every row, the pairs that start in
// its last two columns: there the right neighbour wraps to column 0, or the 8 bytes would
// pass the end of the image.

constexpr int kPairBytes = 8;

struct RippleSource {
    int32_t image_bytes;
    int32_t side_table; // offset of the side table in the copy
    int32_t total_bytes;
};

RippleSource RippleSourceLayout(int size) {
    RippleSource layout;
    layout.image_bytes = ImageBytes(size);
    layout.side_table = layout.image_bytes;
    layout.total_bytes = layout.side_table + size * 2 * kPairBytes;
    return layout;
}

void CopyRippleSource(const uint8_t* a, int size, const RippleSource& layout, uint8_t* copy) {
    std::memcpy(copy, a, layout.image_bytes);
    const int row_bytes = size * 3;
    for (int y = 0; y < size; ++y) {
        const uint8_t* row = a + y * row_bytes;
        uint8_t* pairs = copy + layout.side_table + y * 2 * kPairBytes;
        std::memset(pairs, 0, 2 * kPairBytes);
        for (int k = 0; k < 2; ++k) {
            const int column = std::max(size - 2 + k, 0);
            const int right = column + 1 < size ? column + 1 : 0;
            std::memcpy(pairs + k * kPairBytes, row + column * 3, 3);
            std::memcpy(pairs + k * kPairBytes + 3, row + right * 3, 3);
        }
    }
}

// Where the pair starting at pixel (column, row) lies in the copy.
inline int32_t PairOffset(int32_t column, int32_t row, int32_t size, int32_t row_bytes,
                          int32_t side_table) {
    const int32_t from_end = column - (size - 2); // 0 or 1 in the last two columns
    return from_end < 0 ? row * row_bytes + column * 3
                        : side_table + (row * 2 + from_end) * kPairBytes;
}

// Where each output pixel of a row samples: the offsets in the copy of the pairs P00, P10
// and P01, P11, and the weights d00, d10, d01, d11 (held as squared distances until the
// roots are taken).
struct RippleRow {
    int32_t top[kGeneratorLayerSize];
    int32_t bottom[kGeneratorLayerSize];
    float d[4][kGeneratorLayerSize]; // d00, d10, d01, d11
    // Bytes 0..7 at `top` and at `bottom`: P00 then P10, and P01 then P11, as 32-bit words.
    uint32_t top_words[2 * kGeneratorLayerSize];
    uint32_t bottom_words[2 * kGeneratorLayerSize];
};

// Square roots are taken with the SSE instruction directly: the compiler will not vectorise
// sqrt while it must keep errno (which these never set, their arguments being >= 0). The
// instruction rounds exactly like sqrtf.
void SquareRoots(float* values, int count) {
    int i = 0;
#if KORVANE_SSE_ROOTS
    for (; i + 4 <= count; i += 4)
        _mm_storeu_ps(values + i, _mm_sqrt_ps(_mm_loadu_ps(values + i)));
#endif
    for (; i < count; ++i)
        values[i] = std::sqrt(values[i]);
}

// Wraps a sample coordinate into [0, size) keeping its fraction, splits it into a pixel
// and a fraction, and returns the pixel. The sum of the wrapped pixel and the fraction can
// round up to size itself; that pixel is taken as 0, where the wrap means it to be.
// A coordinate that is not finite samples at 0.
int WrapCoordinate(float s, int size, float* fraction) {
    if (!(std::fabs(s) <= FLT_MAX))
        s = 0.0f;
    const float f = std::floor(s);
    float wrapped = std::fmod(f, static_cast<float>(size));
    if (wrapped < 0.0f)
        wrapped += static_cast<float>(size);
    const float sw = wrapped + (s - f);
    const float i = std::floor(sw);
    *fraction = sw - i;
    const int pixel = static_cast<int>(i);
    return pixel < size ? pixel : 0;
}

// Squared distances of the sample point from the neighbours: d11 is built from fy alone.
inline void RippleSquares(float fx, float fy, float& q00, float& q10, float& q01, float& q11) {
    const float gx = 1.0f - fx;
    const float gy = 1.0f - fy;
    q00 = fx * fx + fy * fy;
    q10 = gx * gx + fy * fy;
    q01 = fx * fx + gy * gy;
    q11 = fy * fy + gy * gy;
}

void RippleGeometryRowScalar(float shift, const float* column_terms, int y, int size,
                             int32_t side_table, RippleRow& row) {
    const int row_bytes = size * 3;
    for (int x = 0; x < size; ++x) {
        float fx;
        float fy;
        const int ix = WrapCoordinate(shift + static_cast<float>(x), size, &fx);
        const int iy = WrapCoordinate(column_terms[x] + static_cast<float>(y), size, &fy);
        const int iy1 = iy + 1 < size ? iy + 1 : 0;
        row.top[x] = PairOffset(ix, iy, size, row_bytes, side_table);
        row.bottom[x] = PairOffset(ix, iy1, size, row_bytes, side_table);
        RippleSquares(fx, fy, row.d[0][x], row.d[1][x], row.d[2][x], row.d[3][x]);
    }
}

// floor of a float known to lie well inside the 32-bit range, as an integer; the
// truncation is exact there and the comparison fixes negative fractions.
inline int32_t FloorToInt(float value) {
    const int32_t t = static_cast<int32_t>(value);
    return t - static_cast<int32_t>(value < static_cast<float>(t));
}

// The same for a power-of-two size when every coordinate of the row is finite and far
// inside the 32-bit range: the wrap is then an integer mask, and the loop vectorises.
KORVANE_HOT void RippleGeometryRowFast(float shift, const float* column_terms, int y, int size,
                                       int32_t side_table, RippleRow& row) {
    const int32_t mask = size - 1;
    const int32_t row_bytes = size * 3;
    for (int x = 0; x < size; ++x) {
        const float sx = shift + static_cast<float>(x);
        const float sy = column_terms[x] + static_cast<float>(y);
        const int32_t floor_x = FloorToInt(sx);
        const int32_t floor_y = FloorToInt(sy);
        const float wx = static_cast<float>(floor_x & mask) + (sx - static_cast<float>(floor_x));
        const float wy = static_cast<float>(floor_y & mask) + (sy - static_cast<float>(floor_y));
        // wx and wy lie in [0, size]: truncation is their floor.
        const int32_t pixel_x = static_cast<int32_t>(wx);
        const int32_t pixel_y = static_cast<int32_t>(wy);
        const float fx = wx - static_cast<float>(pixel_x);
        const float fy = wy - static_cast<float>(pixel_y);
        const int32_t ix = pixel_x & mask;
        const int32_t iy = pixel_y & mask;
        const int32_t iy1 = (iy + 1) & mask;
        row.top[x] = PairOffset(ix, iy, size, row_bytes, side_table);
        row.bottom[x] = PairOffset(ix, iy1, size, row_bytes, side_table);
        RippleSquares(fx, fy, row.d[0][x], row.d[1][x], row.d[2][x], row.d[3][x]);
    }
}

void GatherRippleNeighbours(const uint8_t* copy, RippleRow& row, int begin, int end) {
    for (int x = begin; x < end; ++x) {
        std::memcpy(&row.top_words[2 * x], copy + row.top[x], kPairBytes);
        std::memcpy(&row.bottom_words[2 * x], copy + row.bottom[x], kPairBytes);
    }
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The Ripple reads pixels as little-endian words."
#endif

// The first three neighbours weigh by their own distance from the sample point and the
// fourth by d11; each product is formed with its weight first and then scaled by s.
inline uint8_t RippleBlend(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, float d00,
                           float d10, float d01, float d11, float s) {
    const float v = static_cast<float>(p00) * d00 * s + static_cast<float>(p10) * d10 * s +
                    static_cast<float>(p01) * d01 * s + static_cast<float>(p11) * d11 * s;
    // The weights sum to 1, so v lies in 0..255 (a rounding step above at most).
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

// Blends into one 32-bit word per pixel (R, G, B, 0 in memory order): 32-bit lanes keep
// the vector loop short, so that it also runs at full width over a short stretch.
KORVANE_HOT void RippleBlendRow(const RippleRow& row, uint32_t* blended, int begin, int end) {
    for (int x = begin; x < end; ++x) {
        const float d00 = row.d[0][x];
        const float d10 = row.d[1][x];
        const float d01 = row.d[2][x];
        const float d11 = row.d[3][x];
        const float s = 1.0f / (d00 + d10 + d01 + d11);
        // Word 0: R, G, B of the left neighbour and R of the right; word 1: its G and B.
        const uint32_t t0 = row.top_words[2 * x];
        const uint32_t t1 = row.top_words[2 * x + 1];
        const uint32_t b0 = row.bottom_words[2 * x];
        const uint32_t b1 = row.bottom_words[2 * x + 1];
        const uint32_t red =
            RippleBlend(t0 & 255u, t0 >> 24, b0 & 255u, b0 >> 24, d00, d10, d01, d11, s);
        const uint32_t green = RippleBlend((t0 >> 8) & 255u, t1 & 255u, (b0 >> 8) & 255u, b1 & 255u,
                                           d00, d10, d01, d11, s);
        const uint32_t blue = RippleBlend((t0 >> 16) & 255u, (t1 >> 8) & 255u, (b0 >> 16) & 255u,
                                          (b1 >> 8) & 255u, d00, d10, d01, d11, s);
        blended[x] = red | green << 8 | blue << 16;
    }
}

// Stores a row of blended words as RGB: each word but the last with 4 bytes, the fourth
// landing on the next pixel before that one is written.
void StoreBlendedRow(const uint32_t* blended, uint8_t* out, int size) {
    for (int x = 0; x < size - 1; ++x)
        std::memcpy(out + 3 * x, &blended[x], 4);
    std::memcpy(out + 3 * (size - 1), &blended[size - 1], 3);
}

const CosineTable& RippleCosines() {
    // The player builds the table at start-up; a program that has not (a tool, a test)
    // still gets the defined image rather than one without waves. Entry 0 is cos 0 = 1.
    if (GetCosineTable()[0] != 1.0f)
        BuildCosineTable();
    return GetCosineTable();
}

} // namespace

// ---- Catalogue ----

const FilterDescriptor* FindFilterDescriptor(int code) {
    const int layer_index = code - kFirstLayerCombinerCode;
    if (layer_index >= 0 && layer_index < static_cast<int>(kLayerCombinerCatalogue.size()))
        return &kLayerCombinerCatalogue[layer_index];
    const int filter_index = code - kFirstImageFilterCode;
    if (filter_index >= 0 && filter_index < static_cast<int>(kImageFilterCatalogue.size()))
        return &kImageFilterCatalogue[filter_index];
    return nullptr;
}

// ---- Operation bodies ----

void AddWithLayer(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t* layer,
                  const float* p, int size) {
    if (!IsImageSize(size))
        return;
    Add(out, a, layer, p[0], p[1], ImageBytes(size));
}

void MultiplyWithLayer(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t* layer,
                       const float* p, int size) {
    if (!IsImageSize(size))
        return;
    if (IsModerate(p[0], kModerateProductScale))
        MultiplyTopClampedBytes<ModerateScales>(out, a, layer, p[0], ImageBytes(size));
    else
        MultiplyTopClampedBytes<AnyScales>(out, a, layer, p[0], ImageBytes(size));
}

void MaximumWithLayer(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t* layer,
                      const float* p, int size) {
    if (!IsImageSize(size))
        return;
    Maximum(out, a, layer, p[0], p[1], ImageBytes(size));
}

void MinimumWithLayer(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t* layer,
                      const float* p, int size) {
    if (!IsImageSize(size))
        return;
    Minimum(out, a, layer, p[0], p[1], ImageBytes(size));
}

void InvertImage(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t*, const float*,
                 int size) {
    if (!IsImageSize(size))
        return;
    InvertBytes(out, a, ImageBytes(size));
}

void MultiplyImage(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t*, const float* p,
                   int size) {
    if (!IsImageSize(size))
        return;
    if (IsModerate(p[0], kModerateScale))
        ScaleBytes<ModerateScales>(out, a, p[0], ImageBytes(size));
    else
        ScaleBytes<AnyScales>(out, a, p[0], ImageBytes(size));
}

void OffsetImage(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t*, const float* p,
                 int size) {
    if (!IsImageSize(size))
        return;
    // "X offset" picks the source row and "Y offset" the source column.
    const int ox = WrapIndex(TruncToInt32(p[0]), size);
    const int oy = WrapIndex(TruncToInt32(p[1]), size);
    const int row_bytes = size * 3;
    const int head = (size - oy) * 3;
    std::unique_ptr<uint8_t[]> temp = NewImage(size);
    for (int y = 0; y < size; ++y) {
        const uint8_t* source = a + ((y + ox) % size) * row_bytes;
        uint8_t* target = temp.get() + y * row_bytes;
        std::memcpy(target, source + oy * 3, head);
        std::memcpy(target + head, source, row_bytes - head);
    }
    std::memcpy(out, temp.get(), ImageBytes(size));
}

void RippleImage(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t*, const float* p,
                 int size) {
    if (!IsImageSize(size))
        return;
    const CosineTable& cosine = RippleCosines();
    const float size_f = static_cast<float>(size);
    // |trunc| taken in 64 bits, so that the most negative wavelength has a magnitude too.
    const float wx = static_cast<float>(std::llabs(static_cast<long long>(TruncToInt32(p[2]))));
    const float wy = static_cast<float>(std::llabs(static_cast<long long>(TruncToInt32(p[3]))));
    const float ax = p[0] * size_f;
    const float ay = p[1] * size_f;
    const float r = 1.0f / size_f;
    const float kx = (wx * 4096.0f) * r;
    const float ky = (wy * 4096.0f) * r;
    constexpr int32_t kPhaseMask = kCosineStepsPerTurn - 1;

    // The vertical displacement depends on the column alone.
    float column_terms[kGeneratorLayerSize];
    float largest = 0.0f;
    for (int x = 0; x < size; ++x) {
        const int32_t phase = TruncToInt32(kx * static_cast<float>(x)) & kPhaseMask;
        column_terms[x] = cosine[phase] * ay;
        // Written so that a NaN term makes `largest` NaN and fails the test below.
        if (!(std::fabs(column_terms[x]) <= largest))
            largest = std::fabs(column_terms[x]);
    }
    const bool power_of_two = (size & (size - 1)) == 0;
    // Far inside the 32-bit range (NaN fails the test) the wrap needs no special cases.
    constexpr float kSafeCoordinate = 1073741824.0f;
    const bool columns_safe = largest + size_f < kSafeCoordinate;

    // One allocation: the copy of A with its side table, then the image computed.
    const RippleSource layout = RippleSourceLayout(size);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[layout.total_bytes + ImageBytes(size)]);
    uint8_t* copy = buffer.get();
    uint8_t* temp = copy + layout.total_bytes;
    CopyRippleSource(a, size, layout, copy);
    // Two rows in flight: while the square roots and neighbours of a row are taken, the
    // row before it is blended, a stretch of each in turn, so that the square roots (bound
    // by the divider) overlap the blend (bound by the other units). The blend's wide reads
    // also never wait for the gather's narrow writes to settle.
    constexpr int kStretch = 16;
    RippleRow rows[2];
    uint32_t blended[kGeneratorLayerSize];
    for (int y = 0; y <= size; ++y) {
        RippleRow& row = rows[y % 2];
        if (y < size) {
            const int32_t phase = TruncToInt32(ky * static_cast<float>(y)) & kPhaseMask;
            const float shift = cosine[phase] * ax;
            if (power_of_two && columns_safe && std::fabs(shift) + size_f < kSafeCoordinate)
                RippleGeometryRowFast(shift, column_terms, y, size, layout.side_table, row);
            else
                RippleGeometryRowScalar(shift, column_terms, y, size, layout.side_table, row);
        }
        for (int begin = 0; begin < size; begin += kStretch) {
            const int end = std::min(size, begin + kStretch);
            if (y < size) {
                for (float* squares : row.d)
                    SquareRoots(squares + begin, end - begin);
                GatherRippleNeighbours(copy, row, begin, end);
            }
            if (y > 0)
                RippleBlendRow(rows[(y - 1) % 2], blended, begin, end);
        }
        if (y > 0)
            StoreBlendedRow(blended, temp + (y - 1) * size * 3, size);
    }
    std::memcpy(out, temp, ImageBytes(size));
}

void BlurImage(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t*, const float*,
               int size) {
    if (!IsImageSize(size))
        return;
    std::unique_ptr<uint8_t[]> temp = NewImage(size);
    ForEachWrappedRow(a, temp.get(), size,
                      [](const uint8_t* above, const uint8_t* row, const uint8_t* below,
                         uint8_t* target,
                         int row_bytes) { BlurRow(above, row, below, target, row_bytes); });
    std::memcpy(out, temp.get(), ImageBytes(size));
}

void EmbossImage(uint8_t* out, const uint8_t* a, const uint8_t*, const uint8_t*, const float* p,
                 int size) {
    if (!IsImageSize(size))
        return;
    const int direction = std::clamp(TruncToInt32(p[0]), 1, 4);
    const EmbossKernel& kernel = kEmbossKernels[direction - 1];
    std::unique_ptr<uint8_t[]> temp = NewImage(size);
    ForEachWrappedRow(
        a, temp.get(), size,
        [&kernel](const uint8_t* above, const uint8_t* row, const uint8_t* below, uint8_t* target,
                  int row_bytes) { EmbossRow(above, row, below, kernel, target, row_bytes); });
    std::memcpy(out, temp.get(), ImageBytes(size));
}

void AddImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t*, const float* p,
               int size) {
    if (!IsImageSize(size))
        return;
    Add(out, a, b, p[0], p[1], ImageBytes(size));
}

void MultiplyImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t*,
                    const float* p, int size) {
    if (!IsImageSize(size))
        return;
    if (IsModerate(p[0], kModerateProductScale))
        MultiplyClampedBytes<ModerateScales>(out, a, b, p[0], ImageBytes(size));
    else
        MultiplyClampedBytes<AnyScales>(out, a, b, p[0], ImageBytes(size));
}

void MaximumOfImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t*,
                     const float* p, int size) {
    if (!IsImageSize(size))
        return;
    Maximum(out, a, b, p[0], p[1], ImageBytes(size));
}

void MinimumOfImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t*,
                     const float* p, int size) {
    if (!IsImageSize(size))
        return;
    Minimum(out, a, b, p[0], p[1], ImageBytes(size));
}

TextureOperationBody FindTextureOperation(int code) {
    if (code < 0 || code > 255)
        return nullptr;
    switch (static_cast<TextureOperation>(code)) {
    case TextureOperation::kLayerAdd:
        return AddWithLayer;
    case TextureOperation::kLayerMultiply:
        return MultiplyWithLayer;
    case TextureOperation::kLayerMaximum:
        return MaximumWithLayer;
    case TextureOperation::kLayerMinimum:
        return MinimumWithLayer;
    case TextureOperation::kInvert:
        return InvertImage;
    case TextureOperation::kMultiply:
        return MultiplyImage;
    case TextureOperation::kOffset:
        return OffsetImage;
    case TextureOperation::kRipple:
        return RippleImage;
    case TextureOperation::kBlur:
        return BlurImage;
    case TextureOperation::kEmboss:
        return EmbossImage;
    case TextureOperation::kAdd2:
        return AddImages;
    case TextureOperation::kMul2:
        return MultiplyImages;
    case TextureOperation::kMax2:
        return MaximumOfImages;
    case TextureOperation::kMin2:
        return MinimumOfImages;
    case TextureOperation::kOutput:
        return nullptr;
    }
    return nullptr;
}

bool ApplyTextureOperation(int code, uint8_t* out, const uint8_t* a, const uint8_t* b,
                           const uint8_t* layer, const float* parameters, int size) {
    if (code == static_cast<int>(TextureOperation::kOutput)) {
        if (IsImageSize(size))
            std::memmove(out, a, ImageBytes(size));
        return true;
    }
    const TextureOperationBody body = FindTextureOperation(code);
    if (body == nullptr)
        return false;
    body(out, a, b, layer, parameters, size);
    return true;
}

} // namespace korvane
