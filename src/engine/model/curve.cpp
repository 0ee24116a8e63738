#include "model/curve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/xml.h"

namespace korvane {

namespace {

using SegmentParameters = std::array<float, kCurveSegmentParameters>;

// The spline's guard points: one far before the first point, one run-out point well after
// the last, and one farther still, so that every interval has a neighbour on each side.
constexpr float kSplineFarBefore = -999999.0f;
constexpr float kSplineRunOut = 999999.0f;
constexpr float kSplineFarAfter = 9999999.0f;
constexpr int kSplinePoints = 16;

// Loop bounds are whole time units, truncated toward zero. Bounds below zero act as 0 and
// bounds past the range of time as its end, so the conversion is always defined.
uint32_t TruncateLoopBound(float bound) {
    if (!(bound > 0.0f)) {
        return 0;
    }
    if (bound >= 4294967296.0f) {
        return UINT32_MAX;
    }
    return static_cast<uint32_t>(bound);
}

// Folds a time past the loop end back into the loop. A loop whose end is not after its
// begin spans nothing and folds nothing. The ping-pong period is taken in 64 bits: twice a
// span of 2^31 or more would wrap to a divisor of 0 in 32.
uint32_t FoldLoopTime(const FunctionCurve& curve, uint32_t time) {
    if (curve.loop_type != LoopType::kLoop && curve.loop_type != LoopType::kPingPong) {
        return time;
    }
    const uint32_t begin = TruncateLoopBound(curve.loop_begin);
    const uint32_t end = TruncateLoopBound(curve.loop_end);
    if (end <= begin || time <= end) {
        return time;
    }
    const uint32_t span = end - begin;
    if (curve.loop_type == LoopType::kLoop) {
        return (time - begin) % span + begin;
    }
    // Ping-pong runs between 0 and the span, not between begin and end.
    const uint64_t period = 2ull * span;
    const auto folded = static_cast<uint32_t>((time - begin) % period);
    return folded <= span ? folded : static_cast<uint32_t>(period - folded);
}

// The rise of a neighbouring interval scaled to the width of the current one. Intervals are
// at least one unit wide except next to the far guard points, which coincide with a point
// only for extreme x values; a zero width there counts as flat rather than dividing by 0.
float ScaledRise(float width, float rise, float run) {
    return run != 0.0f ? width * rise / run : 0.0f;
}

float EvaluateCatmullRomSpline(const SegmentParameters& p, float x) {
    float px[kSplinePoints];
    float py[kSplinePoints];
    px[0] = kSplineFarBefore;
    py[0] = p[1];
    px[1] = p[0] - 1.0f;
    py[1] = p[1];
    px[2] = p[0];
    py[2] = p[1];
    if (px[1] + 1.0f > px[2]) {
        px[2] = px[1] + 1.0f;
    }
    // Every point lies at least one unit after the one before; a point that is not is moved
    // there and takes the value before it, so unused trailing points become a flat run.
    for (int n = 2; n <= 12; ++n) {
        const float xn = p[2 * (n - 1)];
        const float yn = p[2 * (n - 1) + 1];
        if (px[n] + 1.0f > xn) {
            px[n + 1] = px[n] + 1.0f;
            py[n + 1] = py[n];
        } else {
            px[n + 1] = xn;
            py[n + 1] = yn;
        }
    }
    px[14] = px[13] + kSplineRunOut;
    py[14] = py[13];
    px[15] = kSplineFarAfter;
    py[15] = py[13];

    int k = 1;
    while (k <= 14 && !(x <= px[k])) {
        ++k;
    }
    // Before the first interval and after the run-out the curve holds the guard values.
    if (k == 1) {
        return py[1];
    }
    if (k == 15) {
        return py[13];
    }

    // Neighbour values are re-spaced to the current interval's width, so that the uniform
    // Catmull-Rom polynomial works on unevenly spaced points.
    const float dx = px[k] - px[k - 1];
    const float p1 = py[k - 1];
    const float p2 = py[k];
    const float p0 = p1 - ScaledRise(dx, py[k - 1] - py[k - 2], px[k - 1] - px[k - 2]);
    const float p3 = p2 + ScaledRise(dx, py[k + 1] - py[k], px[k + 1] - px[k]);
    const float u = (x - px[k - 1]) / dx;
    const float u2 = u * u;
    const float u3 = u2 * u;
    return 0.5f * (2.0f * p1 + (p2 - p0) * u + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * u2 +
                   (-p0 + 3.0f * p1 - 3.0f * p2 + p3) * u3);
}

float EvaluateSegment(CurveKind kind, const SegmentParameters& p, float x) {
    switch (kind) {
    case CurveKind::kConstant:
        return p[0];
    case CurveKind::kLinear:
        return p[0] * x + p[1];
    case CurveKind::kQuadratic: {
        const float d = x - p[1];
        return p[0] * (d * d) + p[2];
    }
    case CurveKind::kSinus:
        return p[0] * std::sin(x * p[1] - p[2]) + p[3];
    case CurveKind::kCatmullRomSpline:
        return EvaluateCatmullRomSpline(p, x);
    case CurveKind::kSinusTimesX:
        return (p[0] * x + p[4]) * std::sin(x * p[1] - p[2]) + p[3];
    }
    return 1.0f;
}

} // namespace

float EvaluateFunctionCurve(FunctionCurve& curve, uint32_t time) {
    if (curve.segment_count == 0) {
        return 1.0f;
    }
    if (time == curve.cached_time) {
        return curve.cached_value;
    }
    curve.cached_time = time;

    // A time equal to a segment's length is that segment's end, not the next one's start;
    // times past the last segment hold its end value.
    uint32_t local = FoldLoopTime(curve, time);
    const int last = std::min<int>(curve.segment_count, kMaxCurveSegments) - 1;
    int segment = 0;
    while (local > curve.segment_lengths[segment]) {
        if (segment == last) {
            local = curve.segment_lengths[segment];
            break;
        }
        local -= curve.segment_lengths[segment];
        ++segment;
    }

    const float value = EvaluateSegment(
        curve.segment_kinds[segment], curve.segment_parameters[segment], static_cast<float>(local));
    curve.cached_value = value;
    return value;
}

void LoadFunctionCurve(const XmlNode& element, FunctionCurve& curve) {
    curve.value_type = static_cast<ValueType>(
        static_cast<uint8_t>(ReadDocumentInteger(GetXmlAttribute(element, "type"))));
    curve.loop_type = static_cast<LoopType>(
        static_cast<uint8_t>(ReadDocumentInteger(GetXmlAttribute(element, "loop_type"))));
    curve.loop_begin = ReadDocumentReal(GetXmlAttribute(element, "loop_begin"));
    curve.loop_end = ReadDocumentReal(GetXmlAttribute(element, "loop_end"));
    curve.segment_count = 0;
    curve.cached_time = kCurveNotCached;
    curve.cached_value = 0.0f;
    for (const XmlNode* segment = element.first_child.get();
         segment != nullptr && curve.segment_count < kMaxCurveSegments;
         segment = segment->next_sibling.get()) {
        const int index = curve.segment_count;
        curve.segment_kinds[index] = static_cast<CurveKind>(
            static_cast<uint8_t>(ReadDocumentInteger(GetXmlAttribute(*segment, "type"))));
        curve.segment_lengths[index] =
            static_cast<uint32_t>(ReadDocumentInteger(GetXmlAttribute(*segment, "length")));
        SegmentParameters& parameters = curve.segment_parameters[index];
        parameters.fill(0.0f);
        int count = 0;
        for (const XmlNode* parameter = segment->first_child.get();
             parameter != nullptr && count < kCurveSegmentParameters;
             parameter = parameter->next_sibling.get()) {
            parameters[count++] =
                ReadDocumentReal(parameter->text ? parameter->text->c_str() : nullptr);
        }
        ++curve.segment_count;
    }
}

bool IsDynamicWord(const char* type, DynamicWords rule) {
    if (type == nullptr) {
        return false;
    }
    if (rule == DynamicWords::kOnlyDynamic) {
        return std::strcmp(type, "dynamic") == 0;
    }
    return std::strcmp(type, "static") != 0;
}

AnimatedValue LoadAnimatedValue(const XmlNode& element, DynamicWords rule, bool& dynamic) {
    dynamic = IsDynamicWord(GetXmlAttribute(element, "type"), rule);
    const char* value = GetXmlAttribute(element, "value");
    if (dynamic) {
        return MakeDynamicValue(static_cast<uint32_t>(ReadDocumentInteger(value)));
    }
    return MakeStaticValue(ReadDocumentReal(value));
}

float EvaluateCurveHandle(ResourcePool<FunctionCurve>& curves, uint32_t handle, uint32_t time) {
    FunctionCurve* curve = PoolGet(curves, handle);
    return curve != nullptr ? EvaluateFunctionCurve(*curve, time) : 0.0f;
}

float ResolveAnimatedValue(AnimatedValue slot, bool dynamic, uint32_t time,
                           ResourcePool<FunctionCurve>& curves) {
    if (!dynamic) {
        return StaticValueOf(slot);
    }
    return EvaluateCurveHandle(curves, CurveHandleOf(slot), time);
}

} // namespace korvane
