// Cost of the whole texture graph of the bundled production as loading builds it, without a
// GL context: every generator layer generated, every texture read and evaluated in the
// graph's order, the images released. The GL upload of the outputs (and their mip chains)
// is left out: it is the driver's time, not ours. Counter "ms" is the thread CPU time of one
// build of the graph, "bar" the most it may take (50 ms, a budget that keeps the loading
// screen moving).
#include "data/xml.h"
#include "math/cosine_table.h"
#include "model/pool.h"
#include "texture/generators.h"
#include "texture/texture_graph.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <string>

namespace korvane {
namespace {

constexpr double kBarMilliseconds = 50.0;

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The showcase document beside this file's folder.
std::string ShowcasePath() {
    std::string path = __FILE__;
    path.resize(path.rfind('/') + 1);
    return path + "../productions/showcase/demo.xml";
}

void BM_ShowcaseTextureGraph(benchmark::State& state) {
    BuildCosineTable();
    BuildMazeTileTables();
    std::unique_ptr<XmlNode> root = LoadXmlFile(ShowcasePath().c_str());
    const XmlNode* top = root ? root->first_child.get() : nullptr;
    const XmlNode* operators = top ? top->first_child.get() : nullptr;
    const XmlNode* textures = operators ? operators->next_sibling.get() : nullptr;
    if (textures == nullptr) {
        state.SkipWithError(("cannot read the texture sections of " + ShowcasePath()).c_str());
        return;
    }
    uint32_t evaluations = 0, layer_count = 0, texture_count = 0;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        GeneratorLayerList layers;
        for (const XmlNode* element = operators->first_child.get(); element != nullptr;
             element = element->next_sibling.get())
            LoadGeneratorLayer(*element, layers.layers.emplace_back());
        auto pool = CreatePool<ResourcePool<ProceduralTexture>>();
        for (const XmlNode* element = textures->first_child.get(); element != nullptr;
             element = element->next_sibling.get())
            ReadProceduralTexture(*element, *PoolGet(*pool, PoolAdd(*pool)));
        evaluations = EvaluateTextureGraph(*pool, layers, nullptr).evaluations;
        layer_count = static_cast<uint32_t>(layers.layers.size());
        texture_count = pool->count;
        ReleaseTextureGraphImages(*pool, layers);
        benchmark::ClobberMemory();
    }
    const double seconds = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["ms"] = seconds * 1000.0;
    state.counters["bar"] = kBarMilliseconds;
    state.counters["layers"] = layer_count;
    state.counters["textures"] = texture_count;
    state.counters["evaluations"] = evaluations;
}
BENCHMARK(BM_ShowcaseTextureGraph)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane
