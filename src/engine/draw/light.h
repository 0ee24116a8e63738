// Lights: an ambient colour, a diffuse colour and a world position, nine animated values in
// all. Materials light their meshes with them, layers take their clear colour from one, and
// fog its colour.
#pragma once

#include <array>
#include <cstdint>

#include "model/curve.h"

namespace korvane {

struct XmlNode;

// The nine values of a light, in their stored order.
enum LightValue : uint8_t {
    kLightAmbientRed = 0,
    kLightAmbientGreen = 1,
    kLightAmbientBlue = 2,
    kLightDiffuseRed = 3,
    kLightDiffuseGreen = 4,
    kLightDiffuseBlue = 5,
    kLightPositionX = 6,
    kLightPositionY = 7,
    kLightPositionZ = 8,
};

struct Light {
    std::array<AnimatedValue, 9> values{};
    uint16_t dynamic_bits = 0; // bit n: value n holds a curve handle
};

// The parts of a light element, in document order; each holds three values (red, green and
// blue, or x, y and z).
constexpr int kLightParts = 3;
constexpr int kLightPartValues = 3;

// Reads a light element: its first three children are the ambient colour, the diffuse colour
// and the position, each with three animated values. Only the type word "dynamic" makes a
// value a curve handle; every other word is static. Parts or values the element lacks stay
// 0 (documents that lack them are refused when they are checked).
void LoadLight(const XmlNode& element, Light& light);

// One value of a light at a time.
inline float ResolveLightValue(const Light& light, LightValue value, uint32_t time,
                               ResourcePool<FunctionCurve>& curves) {
    return ResolveAnimatedValue(light.values[value], (light.dynamic_bits >> value) & 1u, time,
                                curves);
}

} // namespace korvane
