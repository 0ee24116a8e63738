// Cost of every texture operation and generator on one 256 x 256 RGB image, as a multiple of
// memcpy of the same 196608 bytes measured in the same run (counter "x_memcpy"); "bar" is
// the multiple each one must stay under. Both are timed in thread CPU time, so that other
// work on the machine skews the ratio less.
#include "math/cosine_table.h"
#include "texture/filters.h"
#include "texture/generators.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <vector>

namespace korvane {
namespace {

constexpr int kSize = kGeneratorLayerSize;
constexpr int kBytes = kGeneratorLayerBytes;

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// A fixed pseudo-random image, so that every run measures the same work.
std::vector<uint8_t> NoiseImage(uint32_t seed) {
    std::vector<uint8_t> image(kBytes);
    for (uint8_t& byte : image) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return image;
}

// Seconds for one memcpy of an image, in cache: the fastest of several timed batches, the
// figure least disturbed by other work (which makes every ratio err on the high side).
double MemcpySeconds() {
    static const double seconds = [] {
        std::vector<uint8_t> source = NoiseImage(1);
        std::vector<uint8_t> target(kBytes);
        constexpr int kBatch = 500;
        std::array<double, 15> batches{};
        for (int warm = 0; warm < kBatch; ++warm) {
            std::memcpy(target.data(), source.data(), kBytes);
            benchmark::ClobberMemory();
        }
        for (double& batch : batches) {
            const double start = ThreadSeconds();
            for (int i = 0; i < kBatch; ++i) {
                std::memcpy(target.data(), source.data(), kBytes);
                benchmark::ClobberMemory();
            }
            batch = (ThreadSeconds() - start) / kBatch;
        }
        return *std::min_element(batches.begin(), batches.end());
    }();
    return seconds;
}

void ReportRatio(benchmark::State& state, double start, double bar) {
    const double seconds = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["x_memcpy"] = seconds / MemcpySeconds();
    state.counters["bar"] = bar;
}

struct Images {
    std::vector<uint8_t> a = NoiseImage(2);
    std::vector<uint8_t> b = NoiseImage(3);
    std::vector<uint8_t> layer = NoiseImage(4);
    std::vector<uint8_t> out = std::vector<uint8_t>(kBytes);
};

void BM_Memcpy(benchmark::State& state) {
    Images images;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        std::memcpy(images.out.data(), images.a.data(), kBytes);
        benchmark::ClobberMemory();
    }
    ReportRatio(state, start, 1.0);
}
BENCHMARK(BM_Memcpy);

void RunOperation(benchmark::State& state, TextureOperation operation,
                  std::array<float, kTextureParameterCount> parameters, double bar) {
    BuildCosineTable();
    Images images;
    const int code = static_cast<int>(operation);
    const double start = ThreadSeconds();
    for (auto _ : state) {
        ApplyTextureOperation(code, images.out.data(), images.a.data(), images.b.data(),
                              images.layer.data(), parameters.data(), kSize);
        benchmark::ClobberMemory();
    }
    ReportRatio(state, start, bar);
}

// Typical parameters of each operation; the per-byte ones run the same loop whatever the
// values.
BENCHMARK_CAPTURE(RunOperation, Add, TextureOperation::kLayerAdd, {0.6f, 0.7f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Multiply, TextureOperation::kLayerMultiply, {1.0f / 255.0f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Maximum, TextureOperation::kLayerMaximum, {1.0f, 0.8f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Minimum, TextureOperation::kLayerMinimum, {1.0f, 1.2f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Invert, TextureOperation::kInvert, {}, 2.0);
BENCHMARK_CAPTURE(RunOperation, MultiplyImage, TextureOperation::kMultiply, {1.5f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Offset, TextureOperation::kOffset, {17.0f, -40.0f}, 60.0);
BENCHMARK_CAPTURE(RunOperation, Ripple, TextureOperation::kRipple, {0.05f, 0.03f, 3.0f, 2.0f},
                  60.0);
BENCHMARK_CAPTURE(RunOperation, Blur, TextureOperation::kBlur, {}, 60.0);
BENCHMARK_CAPTURE(RunOperation, Emboss, TextureOperation::kEmboss, {2.0f}, 60.0);
BENCHMARK_CAPTURE(RunOperation, Add2, TextureOperation::kAdd2, {0.5f, 0.5f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Mul2, TextureOperation::kMul2, {1.0f / 255.0f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Max2, TextureOperation::kMax2, {1.0f, 1.0f}, 20.0);
BENCHMARK_CAPTURE(RunOperation, Min2, TextureOperation::kMin2, {1.0f, 1.0f}, 20.0);

void RunGenerator(benchmark::State& state, GeneratorKind kind, std::vector<float> parameters) {
    BuildMazeTileTables();
    GeneratorLayer layer;
    layer.kind = kind;
    std::copy(parameters.begin(), parameters.end(), layer.parameters.begin());
    const double start = ThreadSeconds();
    for (auto _ : state) {
        GenerateLayer(layer, kSize);
        benchmark::ClobberMemory();
    }
    ReportRatio(state, start, 60.0);
}

BENCHMARK_CAPTURE(RunGenerator, Color, GeneratorKind::kColor, {0.9f, 0.5f, 0.2f});
BENCHMARK_CAPTURE(RunGenerator, SinusPlasma, GeneratorKind::kSinusPlasma,
                  {0.9f, 0.5f, 0.2f, 3.0f, 2.0f});
BENCHMARK_CAPTURE(RunGenerator, RadialColors, GeneratorKind::kRadialColors,
                  {1.0f, 0.9f, 0.5f, 0.1f, 0.0f, 0.3f, 1.5f, 20.0f});
BENCHMARK_CAPTURE(RunGenerator, MazeSize3, GeneratorKind::kMaze,
                  {0.8f, 0.6f, 0.3f, 3.0f, 12.0f, 0.5f});
BENCHMARK_CAPTURE(RunGenerator, MazeSize1, GeneratorKind::kMaze,
                  {0.8f, 0.6f, 0.3f, 1.0f, 12.0f, 0.5f});
BENCHMARK_CAPTURE(RunGenerator, Bricks, GeneratorKind::kBricks,
                  {0.7f, 0.3f, 0.2f, 0.9f, 0.9f, 0.8f, 8.0f, 4.0f, 2.0f, 2.0f, 32.0f});
BENCHMARK_CAPTURE(RunGenerator, Noise, GeneratorKind::kNoise, {0.9f, 0.8f, 0.7f, 1234.0f});

} // namespace
} // namespace korvane
