#include "model/curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

namespace korvane {
namespace {

struct SegmentSetup {
    CurveKind kind;
    uint32_t length;
    std::vector<float> parameters;
};

FunctionCurve MakeCurve(std::initializer_list<SegmentSetup> segments,
                        LoopType loop_type = LoopType::kOff, float loop_begin = 0.0f,
                        float loop_end = 0.0f) {
    FunctionCurve curve;
    for (const SegmentSetup& segment : segments) {
        const int index = curve.segment_count++;
        curve.segment_kinds[index] = segment.kind;
        curve.segment_lengths[index] = segment.length;
        for (size_t i = 0; i < segment.parameters.size(); ++i) {
            curve.segment_parameters[index][i] = segment.parameters[i];
        }
    }
    curve.loop_type = loop_type;
    curve.loop_begin = loop_begin;
    curve.loop_end = loop_end;
    return curve;
}

FunctionCurve Line(uint32_t length, LoopType loop_type = LoopType::kOff, float begin = 0.0f,
                   float end = 0.0f) {
    return MakeCurve({{CurveKind::kLinear, length, {1.0f, 0.0f}}}, loop_type, begin, end);
}

// A spline segment long enough that local time equals the time asked for.
FunctionCurve Spline(std::vector<float> points) {
    return MakeCurve({{CurveKind::kCatmullRomSpline, UINT32_MAX, std::move(points)}});
}

using TimeValue = std::pair<uint32_t, float>;

void ExpectValues(FunctionCurve curve, std::initializer_list<TimeValue> cases) {
    for (const TimeValue& c : cases) {
        SCOPED_TRACE(testing::Message() << "time " << c.first);
        EXPECT_FLOAT_EQ(EvaluateFunctionCurve(curve, c.first), c.second);
    }
}

TEST(CurveTest, CurveWithoutSegmentsIsOneAndLeavesTheCacheAlone) {
    FunctionCurve curve;
    for (uint32_t time : {0u, 1u, 500u, UINT32_MAX}) {
        EXPECT_EQ(EvaluateFunctionCurve(curve, time), 1.0f);
    }
    EXPECT_EQ(curve.cached_time, kCurveNotCached);
}

TEST(CurveTest, SegmentKinds) {
    ExpectValues(MakeCurve({{CurveKind::kConstant, 100, {3.0f}}}), {{0, 3}, {100, 3}, {900, 3}});
    ExpectValues(MakeCurve({{CurveKind::kLinear, 100, {0.5f, 2.0f}}}), {{0, 2}, {10, 7}});
    ExpectValues(MakeCurve({{CurveKind::kQuadratic, 100, {2.0f, 3.0f, 1.0f}}}),
                 {{3, 1}, {5, 9}, {0, 19}});
    ExpectValues(MakeCurve({{CurveKind::kSinus, 100, {2.0f, 0.5f, 1.0f, 3.0f}}}),
                 {{0, 2.0f * std::sin(-1.0f) + 3.0f}, {6, 2.0f * std::sin(2.0f) + 3.0f}});
    ExpectValues(MakeCurve({{CurveKind::kSinusTimesX, 100, {0.5f, 0.25f, 1.0f, 3.0f, 2.0f}}}),
                 {{0, 2.0f * std::sin(-1.0f) + 3.0f}, {8, 6.0f * std::sin(1.0f) + 3.0f}});
    // A kind outside the catalogue yields 1.
    ExpectValues(MakeCurve({{static_cast<CurveKind>(6), 100, {5.0f}}}), {{0, 1}, {50, 1}});
}

TEST(CurveTest, SegmentWalkEndsSegmentsInclusivelyAndHoldsTheLastEnd) {
    const SegmentSetup line10 = {CurveKind::kLinear, 10, {1.0f, 0.0f}};
    ExpectValues(MakeCurve({line10, line10}), {{0, 0}, {10, 10}, {11, 1}, {20, 10}, {25, 10}});
    ExpectValues(MakeCurve({line10, {CurveKind::kConstant, 5, {-4.0f}}, line10}),
                 {{10, 10}, {11, -4}, {15, -4}, {16, 1}, {1000, 10}});
    // A zero-length segment owns only its own start time.
    ExpectValues(MakeCurve({{CurveKind::kConstant, 0, {7.0f}}, line10}), {{0, 7}, {1, 1}});

    // All sixteen segments are walked, and a segment count beyond them is not trusted.
    FunctionCurve full;
    for (int i = 0; i < kMaxCurveSegments; ++i) {
        full.segment_kinds[i] = CurveKind::kConstant;
        full.segment_lengths[i] = 10;
        full.segment_parameters[i][0] = static_cast<float>(i);
    }
    full.segment_count = kMaxCurveSegments;
    ExpectValues(full, {{155, 15}, {160, 15}, {5000, 15}});
    full.segment_count = 200;
    ExpectValues(full, {{155, 15}, {5000, 15}});
}

TEST(CurveTest, LoopFolding) {
    ExpectValues(Line(100, LoopType::kLoop, 10, 20),
                 {{0, 0}, {5, 5}, {10, 10}, {20, 20}, {21, 11}, {29, 19}, {30, 10}, {31, 11}});
    ExpectValues(Line(100, LoopType::kPingPong, 0, 10),
                 {{10, 10}, {11, 9}, {19, 1}, {20, 0}, {21, 1}, {30, 10}, {31, 9}});
    // Ping-pong folds to 0 .. span, not to begin .. end.
    ExpectValues(Line(100, LoopType::kPingPong, 10, 20), {{15, 15}, {21, 9}, {30, 0}, {35, 5}});
    // Bounds are truncated to whole units: 2.9 and 10.7 act as 2 and 10.
    ExpectValues(Line(100, LoopType::kLoop, 2.9f, 10.7f), {{10, 10}, {11, 3}, {18, 2}, {19, 3}});
    ExpectValues(Line(100, LoopType::kPingPong, 2.9f, 10.7f), {{11, 7}, {18, 0}});
    // Loop types outside the table fold nothing.
    ExpectValues(Line(100, static_cast<LoopType>(3), 10, 20), {{25, 25}});
    ExpectValues(Line(100, LoopType::kOff, 10, 20), {{25, 25}});
}

TEST(CurveTest, LoopsWithoutASpanFoldNothing) {
    struct Case {
        LoopType type;
        float begin;
        float end;
    };
    const Case cases[] = {
        {LoopType::kLoop, 20, 20},     {LoopType::kPingPong, 20, 20}, {LoopType::kLoop, 20, 10},
        {LoopType::kPingPong, 20, 10}, {LoopType::kLoop, 20, 20.5f},  {LoopType::kLoop, 0, -5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.begin << " .. " << c.end);
        ExpectValues(Line(100, c.type, c.begin, c.end), {{15, 15}, {25, 25}, {99, 99}});
    }
    // A negative begin acts as 0.
    ExpectValues(Line(100, LoopType::kLoop, -5.0f, 10.0f), {{11, 1}, {20, 0}});
}

TEST(CurveTest, PingPongOverHalfTheTimeRangeDoesNotWrap) {
    // Twice this span is 2^32, which would be a divisor of 0 in 32-bit arithmetic.
    FunctionCurve curve = Line(UINT32_MAX, LoopType::kPingPong, 0.0f, 2147483648.0f);
    EXPECT_FLOAT_EQ(EvaluateFunctionCurve(curve, 3000000000u), 1294967296.0f);
    FunctionCurve huge = Line(UINT32_MAX, LoopType::kLoop, 0.0f, 1e20f);
    EXPECT_FLOAT_EQ(EvaluateFunctionCurve(huge, UINT32_MAX - 1), 4294967294.0f);
}

TEST(CurveTest, SplineThroughTwoPoints) {
    // Inside the interval the curve follows 0.5 (10u + 30u^2 - 20u^3); the trailing zero
    // points became a flat run at 10, one unit apart, so from 11 on it holds 10.
    ExpectValues(Spline({0, 0, 10, 10}), {{0, 0},
                                          {2, 1.52f},
                                          {5, 5},
                                          {10, 10},
                                          {11, 10},
                                          {15, 10},
                                          {21, 10},
                                          {1000019, 10},
                                          {5000000, 10}});
}

TEST(CurveTest, SplineDipsBeforeTheFirstPointAndOvershootsAfterTheLast) {
    // Shifted by half a unit so that whole time units fall inside the one-unit intervals:
    // before the first point y1 + 0.5 s (u^3 - u^2), after the last c + 0.5 s (u - 2u^2 + u^3),
    // both at u = 0.5 with slope s = 1.
    ExpectValues(Spline({0.5f, 0, 10.5f, 10}),
                 {{0, -0.0625f}, {1, 0.28625f}, {11, 10.0625f}, {12, 10}, {13, 10}});
}

TEST(CurveTest, SplinePointsOutOfOrderAreMovedOneUnitOnAndFlattened) {
    // x2 = 5 lies before x1 = 10, so the second point becomes (11, y1); the third point is
    // still used where it is.
    ExpectValues(Spline({10, 4, 5, 8, 20, 14}),
                 {{0, 4}, {5, 4}, {9, 4}, {10, 4}, {11, 4}, {20, 14}, {30, 14}});
}

TEST(CurveTest, SplineOfTwelvePointsRunsOutIntoItsGuardValue) {
    std::vector<float> points;
    for (int i = 1; i <= 12; ++i) {
        points.push_back(10.0f * static_cast<float>(i));
        points.push_back(static_cast<float>(i));
    }
    FunctionCurve curve = Spline(points);
    ExpectValues(curve,
                 {{0, 1}, {9, 1}, {10, 1}, {50, 5}, {120, 12}, {2000000, 12}, {UINT32_MAX, 12}});
    // It leaves the last point with half the slope of the last interval (0.1 per unit).
    EXPECT_NEAR(EvaluateFunctionCurve(curve, 125), 12.25f, 0.01f);
}

TEST(CurveTest, SplineWithPointsBeyondFloatUnitsStaysFinite) {
    // Above 2^24 adding one unit no longer moves a float, so neighbouring points coincide.
    FunctionCurve curve = Spline({3e7f, 1});
    for (uint32_t time : {0u, 30000000u, 30000002u, 30500000u, 31000000u, 40000000u, UINT32_MAX}) {
        SCOPED_TRACE(time);
        EXPECT_EQ(EvaluateFunctionCurve(curve, time), 1.0f);
    }
}

TEST(CurveTest, RepeatedTimeIsAnsweredFromTheCache) {
    FunctionCurve curve = Line(100);
    EXPECT_EQ(EvaluateFunctionCurve(curve, 5), 5.0f);
    EXPECT_EQ(curve.cached_time, 5u);
    curve.segment_parameters[0][1] = 100.0f;
    EXPECT_EQ(EvaluateFunctionCurve(curve, 5), 5.0f);
    EXPECT_EQ(EvaluateFunctionCurve(curve, 6), 106.0f);
    EXPECT_EQ(curve.cached_time, 6u);
    EXPECT_EQ(curve.cached_value, 106.0f);
}

TEST(AnimatedValueTest, ResolvesStaticSlotsAndCurveHandles) {
    ResourcePool<FunctionCurve> curves;
    const uint32_t first = PoolAdd(curves);
    const uint32_t second = PoolAdd(curves);
    *PoolGet(curves, first) = MakeCurve({{CurveKind::kConstant, 10, {3.0f}}});
    *PoolGet(curves, second) = Line(100);

    EXPECT_EQ(ResolveAnimatedValue(MakeStaticValue(2.5f), false, 40, curves), 2.5f);
    EXPECT_EQ(ResolveAnimatedValue(MakeStaticValue(-0.0f), false, 40, curves), 0.0f);
    EXPECT_EQ(MakeStaticValue(-0.0f).bits, 0x80000000u);
    EXPECT_EQ(ResolveAnimatedValue(MakeDynamicValue(first), true, 40, curves), 3.0f);
    EXPECT_EQ(ResolveAnimatedValue(MakeDynamicValue(second), true, 40, curves), 40.0f);
    // The flag decides: the same bits read as a float when static.
    EXPECT_EQ(ResolveAnimatedValue(MakeDynamicValue(second), false, 40, curves),
              StaticValueOf(AnimatedValue{2}));

    // Handles that name no curve give 0, also those that would wrap onto a curve in 16 bits.
    for (uint32_t handle : {0u, 3u, 4096u, 4097u, 65536u + second, UINT32_MAX}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(ResolveAnimatedValue(MakeDynamicValue(handle), true, 40, curves), 0.0f);
    }
}

} // namespace
} // namespace korvane
