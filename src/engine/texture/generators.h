// Texture generators: the images a GeneratorLayer is made from (flat colour, sinus plasma,
// radial colours, maze, bricks, noise), the random sequence two of them draw from, and the
// Maze generator's eased tile tables, built once at start-up and kept for the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace korvane {

// Layers are always generated at 256 x 256 RGB; the pixel buffer of a layer has this size.
constexpr int kGeneratorLayerSize = 256;
constexpr int kGeneratorLayerBytes = kGeneratorLayerSize * kGeneratorLayerSize * 3;
constexpr int kGeneratorParameterCount = 24;

// A document may name any kind; kinds above kNoise generate nothing.
enum class GeneratorKind : uint32_t {
    kColor = 0,
    kSinusPlasma = 1,
    kRadialColors = 2,
    kMaze = 3,
    kBricks = 4,
    kNoise = 5,
};
constexpr int kGeneratorKindCount = 6;

struct GeneratorLayer {
    GeneratorKind kind = GeneratorKind::kColor;
    // Slots the document does not fill stay 0; each kind reads only its own slots.
    std::array<float, kGeneratorParameterCount> parameters{};
    // Zero-filled at creation, so a layer of an unknown kind is black rather than undefined.
    std::vector<uint8_t> pixels = std::vector<uint8_t>(kGeneratorLayerBytes, 0);
};

// Descriptor of one kind for editors and document checks: colour parameters take three
// slots each and come first, then the number parameters take one slot each.
struct GeneratorDescriptor {
    const char* name;
    uint32_t colour_count;
    uint32_t number_count;
    std::array<const char*, 8> parameter_names;
};

constexpr std::array<GeneratorDescriptor, kGeneratorKindCount> kGeneratorCatalogue = {{
    {"Color", 1, 0, {"Color"}},
    {"Sinus plasma", 1, 2, {"Plasma color", "Repeat x", "Repeat y"}},
    {"Radial colors",
     2,
     2,
     {"Center color", "Margin color", "Inverse radian", "Color offset (0-127)"}},
    {"Maze",
     1,
     3,
     {"Color", "Maze size (1 - 7 integer)", "Maze field (integer)", "Maze fullness (0 - 1 float)"}},
    {"Bricks",
     2,
     5,
     {"Brick color", "Wall color", "Horizontal number", "Vertical number", "Horizontal margin",
      "Vertical margin", "Second line offset"}},
    {"Noise", 1, 1, {"Color", "Random seed"}},
}};

// Conversion toward zero to a 32-bit integer, as every texture computation truncates.
// Values beyond the 32-bit range saturate and NaN gives 0, so that numbers read from a
// document can never make the conversion undefined; inside the range it is the plain cast.
// Written as selects around one unconditional conversion so that loops using it vectorise.
inline int32_t TruncToInt32(float value) {
    float c = value > -2147483648.0f ? value : -2147483648.0f;
    c = c < 2147483520.0f ? c : 2147483520.0f; // the largest float below 2^31
    int32_t truncated = static_cast<int32_t>(c);
    truncated = value >= 2147483648.0f ? INT32_MAX : truncated;
    return value == value ? truncated : 0;
}

inline int32_t TruncToInt32(double value) {
    double c = value > -2147483648.0 ? value : -2147483648.0;
    c = c < 2147483647.0 ? c : 2147483647.0;
    const int32_t truncated = static_cast<int32_t>(c);
    return value == value ? truncated : 0;
}

// The random sequence of the Maze and Noise generators: a linear congruential generator
// with a 15-bit output. Each layer seeds its own, so equal parameters give equal images.
struct TextureRandom {
    uint32_t seed = 0;
};

constexpr uint32_t kTextureRandomMultiplier = 1103515245u;
constexpr uint32_t kTextureRandomIncrement = 12345u;

// The seed parameter converted toward zero to a 64-bit integer, low 32 bits kept. NaN and
// values beyond the 64-bit range give 0 (what the processor's conversion leaves there).
TextureRandom SeedTextureRandom(float seed_parameter);

// Advances the seed, then yields its bits 16 to 30: 0 to 32767.
inline uint32_t DrawRandomValue(TextureRandom& random) {
    random.seed = random.seed * kTextureRandomMultiplier + kTextureRandomIncrement;
    return (random.seed >> 16) & 0x7fffu;
}

// value / 32768 (the factor 3.0517578e-05 is exactly 2^-15), so 0 <= fraction < 1.
inline float DrawRandomFraction(TextureRandom& random) {
    return static_cast<float>(DrawRandomValue(random)) * 3.0517578e-05f;
}

// Entry i = 255 * (1 - cos(i * pi / 512)), rounded: the ease applied to every tile value.
using EaseTable = std::array<uint8_t, 256>;

// Maze cells are 2^k pixels for k = 1..7. For each k there are four n x n tables (n = 2^k),
// entry (x, y) at y * n + x: T0 the top-left corner weight, T1 the two bottom corners, T2
// the top-right and bottom-left corners, T3 all corners but the top-left; all eased.
constexpr int kMazeMinExponent = 1;
constexpr int kMazeMaxExponent = 7;
constexpr int kMazeTileKinds = 4;
// Sum over k of 4 * 4^k.
constexpr int kMazeTileTableBytes = 4 * ((1 << (2 * (kMazeMaxExponent + 1))) - 4) / 3;

struct MazeTileTables {
    EaseTable ease{};
    std::array<uint8_t, kMazeTileTableBytes> bytes{};
    bool built = false;
};

// Builds the ease table and the tile tables; the start-up sequence calls it once before
// any document loads. Calling it again changes nothing.
void BuildMazeTileTables();

const MazeTileTables& GetMazeTileTables();

// Table `kind` (0..3 for T0..T3) of the cell size 2^exponent, n * n bytes.
const uint8_t* GetMazeTile(const MazeTileTables& tables, int exponent, int kind);

// Fills layer.pixels (size x size RGB, size at most kGeneratorLayerSize) from the layer's
// kind and parameters. A kind above kNoise, or a size outside 1..kGeneratorLayerSize,
// leaves the pixels as they are. A Maze layer builds the tile tables if start-up has not.
void GenerateLayer(GeneratorLayer& layer, int size);

} // namespace korvane
