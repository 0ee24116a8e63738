// Texture filters: the operation bodies that compute a procedural texture's working image
// from its input images, its layer and its parameters (layer combiners, one-input filters,
// two-input combiners), and the catalogue that names the operations and their parameters.
#pragma once

#include <array>
#include <cstdint>

namespace korvane {

// A document may hold any code; only these name an operation. Layer combiners read input 1
// and a generator layer, image filters read input 1 (and input 2 for 207 to 210); the
// output operation copies input 1 and is uploaded by the texture graph.
enum class TextureOperation : uint8_t {
    kLayerAdd = 101,
    kLayerMultiply = 102,
    kLayerMaximum = 103,
    kLayerMinimum = 104,
    kInvert = 201,
    kMultiply = 202,
    kOffset = 203,
    kRipple = 204,
    kBlur = 205,
    kEmboss = 206,
    kAdd2 = 207,
    kMul2 = 208,
    kMax2 = 209,
    kMin2 = 210,
    kOutput = 255,
};

constexpr int kTextureParameterCount = 9;

struct FilterDescriptor {
    const char* name;
    uint8_t input_count;
    uint8_t parameter_count;
    std::array<const char*, 8> parameter_names;
};

// The code of an operation is 101 plus its index in the first table and 201 plus its index
// in the second.
constexpr int kFirstLayerCombinerCode = 101;
constexpr int kFirstImageFilterCode = 201;

constexpr std::array<FilterDescriptor, 4> kLayerCombinerCatalogue = {{
    {"Add", 1, 2, {"1. scale", "2. scale"}},
    {"Multiply", 1, 1, {"Scale"}},
    {"Maximum", 1, 2, {"1. scale", "2. scale"}},
    {"Minimum", 1, 2, {"1. scale", "2. scale"}},
}};

constexpr std::array<FilterDescriptor, 10> kImageFilterCatalogue = {{
    {"Invert", 1, 0, {}},
    {"Multiply", 1, 1, {"Scale"}},
    {"Offset", 1, 2, {"X offset", "Y offset"}},
    {"Ripple", 1, 4, {"X amplitude", "Y amplitude", "X wavelength", "Y wavelength"}},
    {"Blur", 1, 0, {}},
    {"Emboss", 1, 1, {"Direction (1-4)"}},
    {"Add 2", 2, 2, {"1. scale", "2. scale"}},
    {"Mul 2", 2, 1, {"Scale"}},
    {"Max 2", 2, 2, {"1. scale", "2. scale"}},
    {"Min 2", 2, 2, {"1. scale", "2. scale"}},
}};

// The descriptor of a code from either table, or nullptr (also for the output operation,
// which has no descriptor).
const FilterDescriptor* FindFilterDescriptor(int code);

// Every operation body has this shape: `out` receives size x size RGB bytes computed from
// `a` (input 1), `b` (input 2), `layer` (the layer image of codes 101 to 104) and
// `parameters` (kTextureParameterCount floats). Images the operation does not read may be
// null. The per-byte operations allow `out` to be `a`, `b` or `layer`; the geometric ones
// (203 to 206) compute into a temporary image first, so `out` may be `a` there too. The
// size is 1 to 256 (kGeneratorLayerSize); any other size leaves `out` untouched.
using TextureOperationBody = void (*)(uint8_t* out, const uint8_t* a, const uint8_t* b,
                                      const uint8_t* layer, const float* parameters, int size);

void AddWithLayer(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                  const float* parameters, int size);
void MultiplyWithLayer(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                       const float* parameters, int size);
void MaximumWithLayer(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                      const float* parameters, int size);
void MinimumWithLayer(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                      const float* parameters, int size);
void InvertImage(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                 const float* parameters, int size);
void MultiplyImage(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                   const float* parameters, int size);
void OffsetImage(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                 const float* parameters, int size);
// Reads the shared cosine table, and builds it first if start-up has not.
void RippleImage(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                 const float* parameters, int size);
void BlurImage(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
               const float* parameters, int size);
void EmbossImage(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                 const float* parameters, int size);
void AddImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
               const float* parameters, int size);
void MultiplyImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                    const float* parameters, int size);
void MaximumOfImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                     const float* parameters, int size);
void MinimumOfImages(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* layer,
                     const float* parameters, int size);

// The body of a code, or nullptr when the code names no filter (the output operation
// included).
TextureOperationBody FindTextureOperation(int code);

// Runs the operation of `code` and returns true; the output operation (255) copies `a`
// into `out`, its upload being the texture graph's. Any other code leaves `out` untouched
// and returns false.
bool ApplyTextureOperation(int code, uint8_t* out, const uint8_t* a, const uint8_t* b,
                           const uint8_t* layer, const float* parameters, int size);

} // namespace korvane
