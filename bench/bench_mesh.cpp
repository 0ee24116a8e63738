// Per-frame mesh work against its budgets: one update of each dynamic mesh kind (bar: under
// 100 us, reported as "us_per_update" and as updates per 60 Hz frame), and smooth normals of
// a large mesh in triangles per second (bar: at least 20 million).
#include "math/cosine_table.h"
#include "mesh/dynamic_mesh.h"
#include "mesh/normals.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

namespace korvane {
namespace {

constexpr double kFrameSeconds = 1.0 / 60.0;
constexpr double kUpdateBarSeconds = 100e-6;
constexpr double kNormalsBarTrianglesPerSecond = 20e6;

using Clock = std::chrono::steady_clock;

void ReportUpdates(benchmark::State& state, Clock::time_point start) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double per_update = seconds / static_cast<double>(state.iterations());
    state.counters["us_per_update"] = per_update * 1e6;
    state.counters["share_of_bar"] = per_update / kUpdateBarSeconds;
    state.counters["updates_per_frame"] = kFrameSeconds / per_update;
}

// Parameters that change every update, as they do when a curve drives them: time moves by
// about a third of a unit (the lake steps every third update), the swirl turns, and the
// umbrella opens and closes with a fixed number of sides.
void BM_UpdateDynamicMesh(benchmark::State& state) {
    BuildCosineTable();
    const auto kind = static_cast<uint8_t>(state.range(0));
    const float sides = static_cast<float>(state.range(1));
    DynamicMesh mesh = CreateDynamicMesh(kind);
    state.SetLabel(kDynamicMeshCatalogue[kind].name);
    float t = 0.0f;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        t += 0.37f;
        const float turn = std::fmod(t, 3.0f);
        const float parameters[3] = {kind == 3   ? sides
                                     : kind == 2 ? turn
                                                 : t,
                                     2.0f + turn, std::fmod(t, 1.5f)};
        UpdateDynamicMeshWith(mesh, parameters);
        benchmark::DoNotOptimize(mesh.mesh.normals.data());
    }
    ReportUpdates(state, start);
}
BENCHMARK(BM_UpdateDynamicMesh)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 32})
    ->Args({3, 1024});

// A 250 x 250 grid with a rolling surface: 62500 vertices, 124002 triangles.
MeshData LargeMesh() {
    constexpr int side = 250;
    MeshData mesh;
    mesh.vertex_count = side * side;
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j) {
            mesh.positions.insert(mesh.positions.end(),
                                  {float(i), std::sin(i * 0.1f) * std::cos(j * 0.07f), float(j)});
        }
    }
    for (int r = 0; r + 1 < side; ++r) {
        for (int c = 0; c + 1 < side; ++c) {
            const uint16_t a = static_cast<uint16_t>(side * r + c);
            mesh.indices.insert(mesh.indices.end(), {a, uint16_t(a + 1), uint16_t(a + side + 1), a,
                                                     uint16_t(a + side + 1), uint16_t(a + side)});
        }
    }
    mesh.index_count = static_cast<uint32_t>(mesh.indices.size());
    mesh.normals.assign(mesh.positions.size(), 0.0f);
    return mesh;
}

void BM_ComputeSmoothNormals(benchmark::State& state) {
    MeshData mesh = LargeMesh();
    const double triangles = mesh.index_count / 3;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        ComputeSmoothNormals(mesh);
        benchmark::DoNotOptimize(mesh.normals.data());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = triangles * static_cast<double>(state.iterations()) / seconds;
    state.counters["triangles_per_second"] = rate;
    state.counters["times_the_bar"] = rate / kNormalsBarTrianglesPerSecond;
}
BENCHMARK(BM_ComputeSmoothNormals);

} // namespace
} // namespace korvane
