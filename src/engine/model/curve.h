// Function curves and animated values: the piecewise functions of time that drive almost
// every number of a production, and the 32-bit slot that holds either a fixed number or the
// handle of a curve. Time is an unsigned count of hundredths of a second.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "model/document.h"
#include "model/pool.h"

namespace korvane {

struct XmlNode;

constexpr int kMaxCurveSegments = 16;
constexpr int kCurveSegmentParameters = 24;
constexpr uint32_t kCurveNotCached = 0xffffffffu;

// Stored with the curve for editing; evaluation does not read it.
enum class ValueType : uint8_t { kFloat = 0, kInteger = 1 };

// A kind read from a document may lie outside the table; such a segment evaluates to 1.
enum class CurveKind : uint8_t {
    kConstant = 0,
    kLinear = 1,
    kQuadratic = 2,
    kSinus = 3,
    kCatmullRomSpline = 4,
    kSinusTimesX = 5,
};

enum class LoopType : uint8_t { kOff = 0, kLoop = 1, kPingPong = 2 };

// Segment i covers the segment_lengths[i] time units after segment i - 1.
struct FunctionCurve {
    ValueType value_type = ValueType::kFloat;
    uint8_t segment_count = 0;
    std::array<CurveKind, kMaxCurveSegments> segment_kinds{};
    std::array<uint32_t, kMaxCurveSegments> segment_lengths{};
    std::array<std::array<float, kCurveSegmentParameters>, kMaxCurveSegments> segment_parameters{};
    LoopType loop_type = LoopType::kOff;
    float loop_begin = 0.0f; // used truncated to whole time units
    float loop_end = 0.0f;
    // One-entry cache: the objects and values that share a curve ask for it at one time.
    float cached_value = 0.0f;
    uint32_t cached_time = kCurveNotCached;
};

// One entry of the curve kinds catalogue that editors show: name, formula and the names of
// the parameters in stored order.
struct CurveKindDescriptor {
    const char* name;
    const char* formula;
    uint8_t parameter_count;
    std::array<const char*, kCurveSegmentParameters> parameter_names;
};

inline constexpr std::array<CurveKindDescriptor, 6> kCurveKindDescriptors = {{
    {"Constant", "f(x) = a", 1, {"a"}},
    {"Linear", "f(x) = a * x + b", 2, {"a", "b"}},
    {"Quadratic", "f(x) = a * (x - b)^2 + c", 3, {"a", "b", "c"}},
    {"Sinus", "f(x) = a * sin(x * b - c) + d", 4, {"a", "b", "c", "d"}},
    {"Catmull-Rom Spline", "Catmull-Rom Spline", 24, {"x1",  "y1",  "x2",  "y2",  "x3",  "y3",
                                                      "x4",  "y4",  "x5",  "y5",  "x6",  "y6",
                                                      "x7",  "y7",  "x8",  "y8",  "x9",  "y9",
                                                      "x10", "y10", "x11", "y11", "x12", "y12"}},
    {"Sinus * x", "f(x) = (a * x + e) * sin(x * b - c) + d", 5, {"a", "b", "c", "d", "e"}},
}};

inline constexpr std::array<const char*, 3> kLoopTypeNames = {"Off", "Loop", "Ping-pong"};
inline constexpr std::array<const char*, 2> kValueTypeNames = {"Float", "Integer"};

// The value of the curve at a project time. Updates the curve's cache; allocates nothing.
// A curve without segments is 1 at every time.
float EvaluateFunctionCurve(FunctionCurve& curve, uint32_t time);

// Reads a curve from its element of the curves section: the value type, loop type and loop
// bounds, then one child per segment (kind and length) whose children are its parameters.
// Segments past the 16th and parameters past the 24th are not stored; documents that have
// them are refused when they are checked, before anything is loaded.
void LoadFunctionCurve(const XmlNode& element, FunctionCurve& curve);

// A 32-bit slot holding either a float (static value) or a 1-based curve handle (dynamic
// value). Which one it holds is kept by the owning record, as a byte or a bit per value.
struct AnimatedValue {
    uint32_t bits = 0;
};
static_assert(sizeof(AnimatedValue) == 4, "animated values are 32-bit slots");

inline AnimatedValue MakeStaticValue(float value) {
    AnimatedValue slot;
    std::memcpy(&slot.bits, &value, sizeof value);
    return slot;
}
inline AnimatedValue MakeDynamicValue(uint32_t curve_handle) {
    return AnimatedValue{curve_handle};
}
inline float StaticValueOf(AnimatedValue slot) {
    float value;
    std::memcpy(&value, &slot.bits, sizeof value);
    return value;
}
inline uint32_t CurveHandleOf(AnimatedValue slot) {
    return slot.bits;
}

// Which "type" words make an animated value dynamic: materials take every word but "static"
// as dynamic; lights, scene objects, manipulators and layer cameras only the word "dynamic".
// Either way the comparison is of whole words, and a missing word means static.
enum class DynamicWords : uint8_t { kOnlyDynamic, kAllButStatic };
bool IsDynamicWord(const char* type, DynamicWords rule);

// Reads the document form of an animated value, an element with "type" and "value": the
// integer curve handle when the type makes it dynamic (dynamic is then set), else the real.
AnimatedValue LoadAnimatedValue(const XmlNode& element, DynamicWords rule, bool& dynamic);

// The curve that a handle names, evaluated at a time. A handle that names no curve (0 among
// them) gives 0, as an unset curve parameter does elsewhere.
float EvaluateCurveHandle(ResourcePool<FunctionCurve>& curves, uint32_t handle, uint32_t time);

// The number an animated value stands for at a time: the slot's float when static, its
// curve's value when dynamic.
float ResolveAnimatedValue(AnimatedValue slot, bool dynamic, uint32_t time,
                           ResourcePool<FunctionCurve>& curves);

} // namespace korvane
