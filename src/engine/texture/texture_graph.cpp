#include "texture/texture_graph.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "data/xml.h"
#include "gl/gl.h"
#include "model/curve.h"
#include "model/document.h"
#include "texture/filters.h"
#include "texture/image_texture.h"
#include "texture/texture_upload.h"

namespace korvane {

namespace {

constexpr char kInputChild[] = "input";
constexpr char kOutputChild[] = "output";

// The problems, each completed by the item they were found in.
constexpr char kNoChildren[] =
    "the texture has no children: its first child names input 1 (0 for none)";
constexpr char kNamesNoTexture[] = "%s: texture %ld does not exist";
constexpr char kNoSuchLayer[] =
    "layer_id %ld names no layer: the texture operators section has %u (layer_id 0 to %u)";
constexpr char kNoLayers[] = "layer_id %ld names no layer: the texture operators section is empty";
constexpr char kCycle[] = "the output links form a cycle: %s";
constexpr char kTooMuchWork[] =
    "evaluating the graph takes more than %u texture computations: outputs listed many times "
    "over repeat the work below them";
// A cycle is named by at most this many of its textures.
constexpr size_t kCycleNamesShown = 12;

constexpr int kFirstLayerOperation = 101;
constexpr int kLastLayerOperation = 104;

const char* TextOf(const XmlNode& node) {
    return node.text ? node.text->c_str() : nullptr;
}

bool Named(const XmlNode* node, const char* name) {
    return node != nullptr && node->name && *node->name == name;
}

bool ReadsLayer(uint8_t operation) {
    return operation >= kFirstLayerOperation && operation <= kLastLayerOperation;
}

// A named input counts as done when it is none, or when its texture is done.
bool InputDone(const ResourcePool<ProceduralTexture>& pool, uint32_t input) {
    if (input == 0)
        return true;
    const ProceduralTexture* texture = PoolGet(pool, input);
    return texture != nullptr && texture->state == TextureState::kDone;
}

bool Spend(TextureGraphWalk& walk, uint32_t limit) {
    if (walk.evaluations >= limit) {
        walk.complete = false;
        return false;
    }
    ++walk.evaluations;
    return true;
}

// One texture's place in a depth-first walk along output links.
struct WalkFrame {
    ProceduralTexture* texture;
    uint32_t next_output;
};

// The image an input reads: its texture's working image once it has one, a zero image for
// none and for a texture not computed yet.
const uint8_t* InputImage(const ResourcePool<ProceduralTexture>& pool, uint32_t input,
                          const uint8_t* zero) {
    const ProceduralTexture* texture = PoolGet(pool, input);
    if (texture == nullptr || texture->pixels.size() != kTextureGraphImageBytes)
        return zero;
    return texture->pixels.data();
}

const uint8_t* LayerImage(const GeneratorLayerList& layers, uint32_t index, const uint8_t* zero) {
    if (index >= layers.layers.size() || layers.layers[index].pixels.size() != kGeneratorLayerBytes)
        return zero;
    return layers.layers[index].pixels.data();
}

// The cycle of output links through the first texture found on one, as handles from that
// texture back to it; empty when there is none. Depth first with its own stack: grey
// textures are on the current path, black ones are finished.
std::vector<uint32_t> FindOutputCycle(const ResourcePool<ProceduralTexture>& pool) {
    enum : uint8_t { kWhite, kGrey, kBlack };
    std::vector<uint8_t> colour(pool.count + 1u, kWhite);
    std::vector<std::pair<uint32_t, uint32_t>> stack; // handle, next output
    for (uint32_t start = 1; start <= pool.count; ++start) {
        if (colour[start] != kWhite)
            continue;
        colour[start] = kGrey;
        stack.assign(1, {start, 0});
        while (!stack.empty()) {
            auto& [handle, next] = stack.back();
            const ProceduralTexture& texture = *PoolGet(pool, handle);
            if (next >= texture.output_count) {
                colour[handle] = kBlack;
                stack.pop_back();
                continue;
            }
            const uint32_t output = texture.outputs[next++];
            if (output == 0 || output > pool.count)
                continue;
            if (colour[output] == kGrey) {
                std::vector<uint32_t> cycle;
                size_t from = 0;
                while (stack[from].first != output)
                    ++from;
                for (size_t i = from; i < stack.size(); ++i)
                    cycle.push_back(stack[i].first);
                cycle.push_back(output);
                return cycle;
            }
            if (colour[output] == kWhite) {
                colour[output] = kGrey;
                stack.push_back({output, 0});
            }
        }
    }
    return {};
}

std::string DescribeCycle(const std::vector<uint32_t>& cycle) {
    std::string text;
    for (size_t i = 0; i < cycle.size(); ++i) {
        if (i == kCycleNamesShown && cycle.size() > kCycleNamesShown + 1) {
            text += " -> ... -> " + std::to_string(cycle.back());
            break;
        }
        text += (i == 0 ? "" : " -> ") + std::to_string(cycle[i]);
    }
    return text;
}

void SetSampling(const ProceduralTexture& texture) {
    switch (texture.filter) {
    case kFilterNearest:
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        break;
    case kFilterLinear:
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        break;
    default:
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        break;
    }
}

} // namespace

ProceduralTexture::~ProceduralTexture() {
    if (gl_texture != 0)
        glDeleteTextures(1, &gl_texture);
}

void LoadGeneratorLayer(const XmlNode& element, GeneratorLayer& layer) {
    layer.kind = static_cast<GeneratorKind>(
        static_cast<uint32_t>(ReadDocumentInteger(GetXmlAttribute(element, "type"))));
    size_t count = 0;
    for (const XmlNode* parameter = element.first_child.get();
         parameter != nullptr && count < layer.parameters.size();
         parameter = parameter->next_sibling.get())
        layer.parameters[count++] = ReadDocumentReal(TextOf(*parameter));
    GenerateLayer(layer, kGeneratorLayerSize);
}

std::vector<std::string> ValidateGeneratorLayerElement(const XmlNode& element) {
    std::vector<std::string> problems;
    if (GetXmlAttribute(element, "type") == nullptr)
        problems.push_back(FormatProblem(kMissingAttribute, "type"));
    uint32_t parameters = 0;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get())
        ++parameters;
    if (parameters > kGeneratorParameterCount)
        problems.push_back(FormatProblem(kTooMany, "texture operator", parameters, "parameters",
                                         static_cast<unsigned>(kGeneratorParameterCount)));
    return problems;
}

void ReadProceduralTexture(const XmlNode& element, ProceduralTexture& texture) {
    auto integer = [&](const char* name) {
        return ReadDocumentInteger(GetXmlAttribute(element, name));
    };
    const char* name = GetXmlAttribute(element, "name");
    texture.name = name != nullptr ? name : "";
    if (texture.name.size() > kMaxTextureNameLength)
        texture.name.resize(kMaxTextureNameLength);
    texture.operation = static_cast<uint8_t>(integer("type"));
    texture.format = static_cast<uint8_t>(integer("texture_format"));
    texture.filter = static_cast<uint8_t>(integer("texture_filter"));
    texture.state = TextureState::kReady;
    std::vector<uint8_t>().swap(texture.pixels);
    texture.output_count = 0;
    texture.input1 = 0;
    texture.input2 = 0;
    texture.layer_index = 0;

    const XmlNode* child = element.first_child.get();
    if (child == nullptr)
        return;
    texture.input1 = static_cast<uint32_t>(ReadDocumentInteger(TextOf(*child)));
    if (texture.operation == kOutputOperation)
        return;
    if (texture.operation < kFirstImageOperation)
        texture.layer_index = static_cast<uint32_t>(integer("layer_id"));
    child = child->next_sibling.get();
    if (Named(child, kInputChild)) {
        texture.input2 = static_cast<uint32_t>(ReadDocumentInteger(TextOf(*child)));
        child = child->next_sibling.get();
    }
    for (; Named(child, kOutputChild); child = child->next_sibling.get())
        if (texture.output_count < kMaxTextureOutputs)
            texture.outputs[texture.output_count++] =
                static_cast<uint32_t>(ReadDocumentInteger(TextOf(*child)));
    for (size_t count = 0; child != nullptr && count < texture.parameters.size();
         child = child->next_sibling.get())
        texture.parameters[count++] = ReadDocumentReal(TextOf(*child));
}

void CreateOutputTexture(ProceduralTexture& texture, const TextureFormatTable& formats) {
    GLuint name = 0;
    glGenTextures(1, &name);
    texture.gl_texture = name;
    glBindTexture(GL_TEXTURE_2D, name);
    UploadTextureLevel(GL_TEXTURE_2D, 0, InternalFormatOf(formats, texture.format),
                       kTextureGraphSize, kTextureGraphSize, 3, nullptr);
    SetSampling(texture);
}

bool LoadProceduralTextureElement(const XmlNode& element, ResourcePool<ProceduralTexture>& pool,
                                  const TextureFormatTable& formats) {
    ProceduralTexture* texture = PoolGet(pool, PoolAdd(pool));
    if (texture == nullptr)
        return false;
    ReadProceduralTexture(element, *texture);
    if (texture->operation == kOutputOperation)
        CreateOutputTexture(*texture, formats);
    return true;
}

std::vector<TextureGraphProblem> ValidateTextureGraph(const XmlNode& section,
                                                      uint32_t layer_count) {
    std::vector<TextureGraphProblem> problems;
    uint32_t count = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get())
        ++count;
    bool links_named = true;
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get()) {
        ++index;
        auto report = [&](std::string problem) { problems.push_back({index, std::move(problem)}); };
        auto require = [&](const char* name) {
            const char* value = GetXmlAttribute(*element, name);
            if (value == nullptr)
                report(FormatProblem(kMissingAttribute, name));
            return value;
        };
        // Handles are compared as read, before they are narrowed to 32 bits.
        auto check_link = [&](const std::string& link, const XmlNode& child, bool zero_is_none) {
            const long handle = ReadDocumentInteger(TextOf(child));
            if (handle == 0 && zero_is_none)
                return;
            if (handle < 1 || static_cast<unsigned long>(handle) > count) {
                report(FormatProblem(kNamesNoTexture, link.c_str(), handle));
                links_named = false;
            }
        };

        require("name");
        const char* type = require("type");
        const char* format = require("texture_format");
        if (format != nullptr)
            if (std::string problem = ValidateTextureFormat(format); !problem.empty())
                report(problem);
        require("texture_filter");
        const uint8_t operation = static_cast<uint8_t>(ReadDocumentInteger(type));
        if (type != nullptr && operation < kFirstImageOperation) {
            const char* layer_id = require("layer_id");
            const long layer = ReadDocumentInteger(layer_id);
            if (layer_id != nullptr && ReadsLayer(operation) &&
                (layer < 0 || static_cast<unsigned long>(layer) >= layer_count))
                report(layer_count == 0
                           ? FormatProblem(kNoLayers, layer)
                           : FormatProblem(kNoSuchLayer, layer, layer_count, layer_count - 1));
        }

        const XmlNode* child = element->first_child.get();
        if (child == nullptr) {
            report(kNoChildren);
            continue;
        }
        check_link("input 1", *child, true);
        if (type != nullptr && operation == kOutputOperation)
            continue;
        child = child->next_sibling.get();
        if (Named(child, kInputChild)) {
            check_link("input 2", *child, true);
            child = child->next_sibling.get();
        }
        uint32_t outputs = 0;
        for (; Named(child, kOutputChild); child = child->next_sibling.get())
            check_link("output " + std::to_string(++outputs), *child, false);
        if (outputs > kMaxTextureOutputs)
            report(FormatProblem(kTooMany, "texture", outputs, "outputs",
                                 static_cast<unsigned>(kMaxTextureOutputs)));
        uint32_t parameters = 0;
        for (; child != nullptr; child = child->next_sibling.get())
            ++parameters;
        if (parameters > kTextureParameters)
            report(FormatProblem(kTooMany, "texture", parameters, "parameters",
                                 static_cast<unsigned>(kTextureParameters)));
    }

    // The walk itself needs links that name textures and a section the pool can hold; its
    // problems are looked for on the records the loader would make.
    if (!links_named || count > ResourcePool<ProceduralTexture>::kCapacity)
        return problems;
    auto pool = CreatePool<ResourcePool<ProceduralTexture>>();
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get())
        ReadProceduralTexture(*element, *PoolGet(*pool, PoolAdd(*pool)));
    const std::vector<uint32_t> cycle = FindOutputCycle(*pool);
    if (!cycle.empty()) {
        problems.push_back({cycle.front(), FormatProblem(kCycle, DescribeCycle(cycle).c_str())});
        return problems;
    }
    const TextureGraphWalk walk = WalkTextureGraph(*pool, [](uint32_t, ProceduralTexture&) {});
    if (!walk.complete)
        problems.push_back({0, FormatProblem(kTooMuchWork, kMaxTextureEvaluations)});
    return problems;
}

void MarkWaiting(ResourcePool<ProceduralTexture>& pool, uint32_t texture) {
    ProceduralTexture* first = PoolGet(pool, texture);
    if (first == nullptr)
        return;
    std::vector<WalkFrame> stack{{first, 0}};
    while (!stack.empty()) {
        WalkFrame& frame = stack.back();
        if (frame.next_output >= frame.texture->output_count) {
            stack.pop_back();
            continue;
        }
        ProceduralTexture* output = PoolGet(pool, frame.texture->outputs[frame.next_output++]);
        if (output == nullptr)
            continue;
        const bool already_waiting = output->state == TextureState::kWaiting;
        output->state = TextureState::kWaiting;
        if (!already_waiting)
            stack.push_back({output, 0});
    }
}

void EvaluateTexture(ResourcePool<ProceduralTexture>& pool, uint32_t texture,
                     const TextureVisit& visit, TextureGraphWalk& walk, uint32_t limit) {
    ProceduralTexture* first = PoolGet(pool, texture);
    if (first == nullptr || !Spend(walk, limit))
        return;
    visit(texture, *first);
    first->state = TextureState::kDone;
    std::vector<WalkFrame> stack{{first, 0}};
    while (!stack.empty()) {
        WalkFrame& frame = stack.back();
        if (frame.next_output >= frame.texture->output_count) {
            stack.pop_back();
            continue;
        }
        const uint32_t handle = frame.texture->outputs[frame.next_output++];
        ProceduralTexture* consumer = PoolGet(pool, handle);
        // Only the consumer's named inputs decide, not its own state: a consumer reached
        // again is computed again.
        if (consumer == nullptr || !InputDone(pool, consumer->input1) ||
            !InputDone(pool, consumer->input2))
            continue;
        if (!Spend(walk, limit))
            return;
        consumer->state = TextureState::kReady;
        visit(handle, *consumer);
        consumer->state = TextureState::kDone;
        stack.push_back({consumer, 0});
    }
}

TextureGraphWalk WalkTextureGraph(ResourcePool<ProceduralTexture>& pool, const TextureVisit& visit,
                                  uint32_t limit) {
    TextureGraphWalk walk;
    const uint32_t n = pool.count;
    // A texture marked waiting by an earlier visit is no longer ready when its turn comes.
    for (uint32_t position = 1; position <= n; ++position) {
        const ProceduralTexture* texture = PoolGetAt(pool, position);
        if (texture != nullptr && texture->state == TextureState::kReady &&
            texture->output_count > 0)
            MarkWaiting(pool, PoolHandleAt(pool, position));
    }
    bool found = true;
    while (found) {
        found = false;
        for (uint32_t position = 1; position <= n; ++position) {
            const ProceduralTexture* texture = PoolGetAt(pool, position);
            if (texture == nullptr || texture->state != TextureState::kReady)
                continue;
            EvaluateTexture(pool, PoolHandleAt(pool, position), visit, walk, limit);
            if (!walk.complete)
                return walk;
            found = true;
        }
    }
    return walk;
}

void UploadOutputTexture(const ProceduralTexture& texture, const TextureFormatTable& formats) {
    if (texture.gl_texture == 0 || texture.pixels.size() != kTextureGraphImageBytes)
        return;
    const uint32_t internal_format = InternalFormatOf(formats, texture.format);
    glBindTexture(GL_TEXTURE_2D, texture.gl_texture);
    UploadTextureLevel(GL_TEXTURE_2D, 0, internal_format, kTextureGraphSize, kTextureGraphSize, 3,
                       texture.pixels.data());
    if (texture.filter == kFilterMipmapped)
        UploadMipChain(kTextureGraphSize, kTextureGraphSize, texture.pixels.data(), 3,
                       internal_format, nullptr, nullptr);
}

TextureGraphWalk EvaluateTextureGraph(ResourcePool<ProceduralTexture>& pool,
                                      const GeneratorLayerList& layers,
                                      const OutputUpload& upload) {
    // The image of every missing input: one for the whole graph, never written to, since
    // operations write only to the working image of the texture they compute.
    const std::vector<uint8_t> zero(kTextureGraphImageBytes, 0);
    auto compute = [&](uint32_t, ProceduralTexture& texture) {
        if (texture.pixels.size() != kTextureGraphImageBytes)
            texture.pixels.assign(kTextureGraphImageBytes, 0);
        const uint8_t* a = InputImage(pool, texture.input1, zero.data());
        const uint8_t* b = InputImage(pool, texture.input2, zero.data());
        const uint8_t* layer = ReadsLayer(texture.operation)
                                   ? LayerImage(layers, texture.layer_index, zero.data())
                                   : zero.data();
        ApplyTextureOperation(texture.operation, texture.pixels.data(), a, b, layer,
                              texture.parameters.data(), kTextureGraphSize);
        if (texture.operation == kOutputOperation && upload)
            upload(texture);
    };
    const TextureGraphWalk walk = WalkTextureGraph(pool, compute);
    // An output that nothing made ready would keep a texture without defined contents.
    for (uint32_t position = 1; position <= pool.count; ++position) {
        ProceduralTexture* texture = PoolGetAt(pool, position);
        if (texture == nullptr || texture->operation != kOutputOperation ||
            texture->state == TextureState::kDone)
            continue;
        texture->pixels.assign(kTextureGraphImageBytes, 0);
        if (upload)
            upload(*texture);
    }
    return walk;
}

void ReleaseTextureGraphImages(ResourcePool<ProceduralTexture>& pool, GeneratorLayerList& layers) {
    std::vector<GeneratorLayer>().swap(layers.layers);
    for (uint32_t position = 1; position <= pool.count; ++position)
        if (ProceduralTexture* texture = PoolGetAt(pool, position))
            std::vector<uint8_t>().swap(texture->pixels);
}

} // namespace korvane
