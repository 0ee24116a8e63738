// The procedural texture graph: textures made from generator layers and from each other by
// the filter operations, evaluated once while the document loads. Textures of operation
// 255 are the graph's outputs: each owns the GL texture that receives its final image.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// Every image of the graph is 256 x 256 RGB.
constexpr int kTextureGraphSize = 256;
constexpr uint32_t kTextureGraphImageBytes = kTextureGraphSize * kTextureGraphSize * 3;
constexpr int kTextureParameters = 9;
constexpr int kMaxTextureOutputs = 255;
constexpr uint8_t kOutputOperation = 255;

enum class TextureState : uint8_t {
    kDone = 0,
    kReady = 1,   // may be evaluated now
    kWaiting = 2, // some producer has not been evaluated yet
};

struct ProceduralTexture {
    uint8_t operation = 0;
    std::string name; // at most 31 characters; not used by the player
    uint32_t layer_index = 0;
    std::array<float, kTextureParameters> parameters{};
    uint32_t input1 = 0; // texture handles, 0 = none
    uint32_t input2 = 0;
    uint8_t output_count = 0;
    std::array<uint32_t, kMaxTextureOutputs> outputs{}; // consumers, in document order
    std::vector<uint8_t> pixels; // the working image while the graph is evaluated
    uint32_t gl_texture = 0;     // operation 255 only
    uint8_t format = 0;          // TextureFormatTable index
    uint8_t filter = 0;          // 0 nearest, 1 linear, 2 linear with a mip chain
    TextureState state = TextureState::kReady;

    ProceduralTexture() = default;
    ~ProceduralTexture(); // deletes the GL texture
    ProceduralTexture(const ProceduralTexture&) = delete;
    ProceduralTexture& operator=(const ProceduralTexture&) = delete;
};

} // namespace korvane
