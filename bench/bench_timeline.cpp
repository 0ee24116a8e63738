// The frame renderer's walk of the timeline, without drawing: finding the current layer of
// each of the 24 tracks, each full with 255 layers, at times spread over the production.
// The counters compare one frame's walk with the 60 Hz frame budget; the bar is 20 us.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "frame/timeline.h"
#include "model/project.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kFrameMicroseconds = 1e6 / 60.0;
constexpr double kBarMicroseconds = 20.0;
constexpr uint32_t kLayersPerTrack = 255;
constexpr uint32_t kTimesPerRun = 4096;

// A project whose 24 tracks hold 255 layers each, entered as the loader enters them. Lengths
// and idle parts vary from track to track and layer to layer (a fixed pseudo-random series),
// between the given bounds in hundredths of a second.
std::unique_ptr<Project> MakeFullTimeline(uint32_t shortest, uint32_t longest, uint32_t& end) {
    std::unique_ptr<Project> project = CreateProject();
    uint32_t seed = 12345;
    auto next = [&](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    end = 0;
    for (uint32_t track = 0; track < static_cast<uint32_t>(kTrackCount); ++track) {
        SmallResourcePool<Layer>& layers = project->timeline.tracks[track].layers;
        uint32_t start = 0;
        for (uint32_t position = 0; position < kLayersPerTrack; ++position) {
            Layer& layer = *PoolGet(layers, PoolAdd(layers));
            layer.scene = 1;
            layer.space_before = static_cast<int32_t>(next(4) == 0 ? next(shortest) : 0);
            layer.length = static_cast<int32_t>(shortest + next(longest - shortest + 1));
            uint32_t layer_end = start + static_cast<uint32_t>(layer.space_before + layer.length);
            AddLayerToTimeline(start, layer_end, position, track, project->timeline);
            start = layer_end;
        }
        if (start > end)
            end = start;
    }
    return project;
}

void WalkTimeline(benchmark::State& state, uint32_t shortest, uint32_t longest) {
    uint32_t end = 0;
    std::unique_ptr<Project> project = MakeFullTimeline(shortest, longest, end);
    // Times spread evenly over the whole production, visited in a scattered order.
    std::vector<uint32_t> times(kTimesPerRun);
    for (uint32_t i = 0; i < kTimesPerRun; ++i)
        times[i] =
            static_cast<uint32_t>(uint64_t{(i * 2654435761u) % kTimesPerRun} * end / kTimesPerRun);
    uint32_t next_time = 0;
    int64_t active = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        const uint32_t time = times[next_time];
        next_time = (next_time + 1) % kTimesPerRun;
        for (Track& track : project->timeline.tracks) {
            ActiveLayer found = FindActiveLayer(track, time);
            benchmark::DoNotOptimize(found);
            active += found.layer != nullptr;
        }
    }
    const double microseconds =
        std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
        static_cast<double>(state.iterations());
    state.counters["us_per_frame"] = microseconds;
    state.counters["percent_of_60Hz_frame"] = 100.0 * microseconds / kFrameMicroseconds;
    state.counters["active_layers"] =
        benchmark::Counter(static_cast<double>(active), benchmark::Counter::kAvgIterations);
    state.SetLabel(microseconds < kBarMicroseconds ? "under the 20 us bar" : "OVER the 20 us bar");
}

// Layers of one to four seconds: the second index names the current layer or the one before.
void BM_TimelineWalkSecondsLongLayers(benchmark::State& state) {
    WalkTimeline(state, 100, 400);
}
BENCHMARK(BM_TimelineWalkSecondsLongLayers);

// Layers shorter than a second: many get no index entry, so walks step over several layers.
void BM_TimelineWalkShortLayers(benchmark::State& state) {
    WalkTimeline(state, 10, 60);
}
BENCHMARK(BM_TimelineWalkShortLayers);

} // namespace
} // namespace korvane
