// The timeline: tracks of layers, each layer drawing one scene through its own camera for
// a stretch of time, into the window or into a texture. AddLayerToTimeline enters loaded
// layers; RenderProject draws one frame of a project at a time and says how many layers
// drew a scene, which tells the player when the production is over.
#pragma once

#include <array>
#include <cstdint>

#include "frame/targets.h"
#include "gl/render_caps.h"
#include "model/curve.h"

namespace korvane {

struct Project;
struct Timeline;
struct Track;

enum class RenderType : uint8_t {
    kSimpleRender = 0,
    kRenderToTexture = 1,
    kRenderToQuarterScreenTexture = 2,
    kRenderToCubemap = 3,
    kLinkWithPrevious = 4,
    kCubemapToTexture = 5,
};

// The catalogue of render types that editors show: name and the name of its one parameter
// (the layer's rtex), or none.
struct RenderTypeDescriptor {
    const char* name;
    uint8_t parameter_count;
    const char* parameter_name;
};
inline constexpr std::array<RenderTypeDescriptor, 6> kRenderTypeDescriptors = {{
    {"Simple render", 0, nullptr},
    {"Render to texture", 1, "Texture"},
    {"Render to quarter screen texture", 1, "Texture"},
    {"Render to cubemap", 1, "Cubemap texture"},
    {"Link with previous", 0, nullptr},
    {"Cubemap to texture", 1, "Texture"},
}};

// Camera values of a layer, in the order of its nine slots.
enum LayerValue : uint8_t {
    kLayerPositionX = 0,
    kLayerPositionY = 1,
    kLayerPositionZ = 2,
    kLayerRotationX = 3,
    kLayerRotationY = 4,
    kLayerRotationZ = 5,
    kLayerFieldOfView = 6,
    kLayerFar = 7,
    kLayerAspect = 8,
};

// Bits of Layer::dynamic_bits: a set bit means the slot holds a curve handle. The field of
// view has no bit: its projection kind says whether it is animated.
constexpr uint8_t kLayerDynamicBit[9] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0, 0x02, 0x01};

enum class ProjectionKind : uint8_t {
    kPerspective = 0, // field of view static
    kOrthographic = 1,
    kAnimatedPerspective = 2, // field of view from the curve in its slot
};

struct Layer {
    uint16_t scene = 0; // scene handle; 0 draws nothing
    int32_t space_before = 0;
    int32_t offset = 0;
    int32_t length = 0;
    RenderType render_type = RenderType::kSimpleRender;
    uint16_t rtex = 0; // image-file handle (types 1, 2, 5) or cube-map handle (type 3)
    std::array<AnimatedValue, 9> values{};
    uint8_t dynamic_bits = 0;
    ProjectionKind projection = ProjectionKind::kPerspective;
    uint16_t clear_light = 0; // light whose diffuse colour is the clear colour; 0 = black
    uint32_t end = 0;         // end time on its track, set by AddLayerToTimeline
    uint8_t clear_flags = 0;  // bit 0 colour buffer, bit 1 depth buffer
};

// Longest production the timeline takes, in hundredths of a second (the second index
// grows to it); documents that reach further are refused when they are checked.
constexpr uint32_t kLongestProduction = 6u * 3600u * 100u;

// Enters the layer at a 0-based position of a track: its end time and the second index.
void AddLayerToTimeline(uint32_t start, uint32_t end, uint32_t position, uint32_t track,
                        Timeline& timeline);

// The layer of a track that is current at a time, if it is in its active part, and the
// time its values and scene are evaluated at (its local time plus its offset, wrapping in
// 32 bits). The walk starts at the second index entry of the time's second.
struct ActiveLayer {
    Layer* layer = nullptr;
    uint32_t evaluation_time = 0;
};
ActiveLayer FindActiveLayer(Track& track, uint32_t time);

// Draws one frame of the project at a time in hundredths of a second, into the window of
// the given size whose 16:9 picture is the viewport. Returns the number of layers that
// drew a scene: 0 means the production has nothing more to show.
int32_t RenderProject(Project& project, uint32_t time, uint32_t window_width,
                      uint32_t window_height, const Viewport& viewport, const RenderCaps& caps,
                      uint8_t renderer_flag);

} // namespace korvane
