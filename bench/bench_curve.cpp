// Cost of evaluating function curves at a new time each call, against the 60 Hz frame
// budget: the "evaluations_per_frame" counter says how many fit in one 16.7 ms frame.
#include "model/curve.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace korvane {
namespace {

constexpr double kFrameSeconds = 1.0 / 60.0;
constexpr uint32_t kSegmentLength = 100;

// Sixteen segments of the given kind, each spline using all twelve of its points.
FunctionCurve MakeBenchCurve(bool splines_only) {
    FunctionCurve curve;
    curve.segment_count = kMaxCurveSegments;
    for (int s = 0; s < kMaxCurveSegments; ++s) {
        const bool spline = splines_only || s % 2 == 0;
        curve.segment_kinds[s] = spline ? CurveKind::kCatmullRomSpline : CurveKind::kSinusTimesX;
        curve.segment_lengths[s] = kSegmentLength;
        auto& p = curve.segment_parameters[s];
        for (int i = 0; i < kCurveSegmentParameters; i += 2) {
            p[i] = static_cast<float>(i * 4);                // x, 8 units apart
            p[i + 1] = static_cast<float>((i * 7 + s) % 13); // y
        }
    }
    curve.loop_type = LoopType::kLoop;
    curve.loop_begin = 0.0f;
    curve.loop_end = static_cast<float>(kMaxCurveSegments * kSegmentLength);
    return curve;
}

using Clock = std::chrono::steady_clock;

// How many evaluations fit in one 60 Hz frame at the measured pace.
void ReportPerFrame(benchmark::State& state, Clock::time_point start) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["evaluations_per_frame"] =
        static_cast<double>(state.iterations()) * kFrameSeconds / seconds;
}

void EvaluateAtNewTimes(benchmark::State& state, bool splines_only) {
    FunctionCurve curve = MakeBenchCurve(splines_only);
    uint32_t time = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        // A step that is prime to the loop length visits every segment and never repeats
        // the previous time, so the cache never answers.
        time += 37;
        benchmark::DoNotOptimize(EvaluateFunctionCurve(curve, time));
    }
    ReportPerFrame(state, start);
}

void BM_SplineCurveNewTime(benchmark::State& state) {
    EvaluateAtNewTimes(state, true);
}
void BM_MixedCurveNewTime(benchmark::State& state) {
    EvaluateAtNewTimes(state, false);
}

void BM_CurveCachedTime(benchmark::State& state) {
    FunctionCurve curve = MakeBenchCurve(true);
    EvaluateFunctionCurve(curve, 777);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(EvaluateFunctionCurve(curve, 777));
    }
    ReportPerFrame(state, start);
}

BENCHMARK(BM_SplineCurveNewTime);
BENCHMARK(BM_MixedCurveNewTime);
BENCHMARK(BM_CurveCachedTime);

} // namespace
} // namespace korvane
