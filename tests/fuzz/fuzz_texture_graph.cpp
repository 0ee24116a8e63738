// Fuzz target for the texture graph of a document: its first two sections are checked, and
// a graph that passes is walked as loading walks it, without images: the walk ends within
// its limit, and every texture is then either done or waiting for an input that nothing
// completes.
#include "data/xml.h"
#include "fuzz_check.h"
#include "model/pool.h"
#include "texture/texture_graph.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<XmlNode> root = ParseXml(text.c_str());
    const XmlNode* top = root->first_child.get();
    if (top == nullptr || top->first_child == nullptr || top->first_child->next_sibling == nullptr)
        return 0;
    const XmlNode& layers = *top->first_child;
    const XmlNode& textures = *layers.next_sibling;
    uint32_t layer_count = 0;
    for (const XmlNode* layer = layers.first_child.get(); layer != nullptr;
         layer = layer->next_sibling.get())
        ++layer_count;
    uint32_t texture_count = 0;
    for (const XmlNode* texture = textures.first_child.get(); texture != nullptr;
         texture = texture->next_sibling.get())
        ++texture_count;

    const std::vector<TextureGraphProblem> problems = ValidateTextureGraph(textures, layer_count);
    for (const TextureGraphProblem& problem : problems)
        FuzzCheck(problem.texture <= texture_count && !problem.problem.empty() &&
                  problem.problem.find('\n') == std::string::npos);
    if (!problems.empty() || texture_count > ResourcePool<ProceduralTexture>::kCapacity)
        return 0;

    auto pool = CreatePool<ResourcePool<ProceduralTexture>>();
    for (const XmlNode* element = textures.first_child.get(); element != nullptr;
         element = element->next_sibling.get())
        ReadProceduralTexture(*element, *PoolGet(*pool, PoolAdd(*pool)));
    std::vector<uint32_t> evaluations(texture_count + 1u, 0);
    const TextureGraphWalk walk =
        WalkTextureGraph(*pool, [&](uint32_t handle, ProceduralTexture& texture) {
            FuzzCheck(handle >= 1 && handle <= texture_count);
            FuzzCheck(texture.state != TextureState::kWaiting);
            ++evaluations[handle];
        });
    FuzzCheck(walk.complete && walk.evaluations <= kMaxTextureEvaluations);
    for (uint32_t handle = 1; handle <= texture_count; ++handle) {
        const ProceduralTexture& texture = *PoolGet(*pool, handle);
        FuzzCheck(texture.state != TextureState::kReady);
        FuzzCheck((texture.state == TextureState::kDone) == (evaluations[handle] > 0));
    }
    return 0;
}
