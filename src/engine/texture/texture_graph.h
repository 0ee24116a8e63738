// The procedural texture graph: textures made from generator layers and from each other by
// the filter operations, evaluated once while the document loads. Textures of operation
// 255 are the graph's outputs: each owns the GL texture that receives its final image.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gl/render_caps.h"
#include "model/pool.h"
#include "texture/generators.h"

namespace korvane {

struct XmlNode;

// Every image of the graph is 256 x 256 RGB.
constexpr int kTextureGraphSize = 256;
constexpr uint32_t kTextureGraphImageBytes = kTextureGraphSize * kTextureGraphSize * 3;
constexpr int kTextureParameters = 9;
constexpr int kMaxTextureOutputs = 255;
constexpr uint8_t kOutputOperation = 255;
constexpr size_t kMaxTextureNameLength = 31;
// Operations below this code read a layer index ("layer_id") from the document.
constexpr uint8_t kFirstImageOperation = 201;
// The layers of the first section are held in memory together (192 KiB each), so a
// document may have as many of them as it may have textures.
constexpr uint32_t kMaxGeneratorLayers = 4096;
// A consumer listed several times, or by several producers, is computed again each time
// and everything below it with it, so the work can grow exponentially with the depth of
// the graph. A document whose graph takes more computations than this is refused; one
// computation per texture of a full pool leaves ample room for repeats.
constexpr uint32_t kMaxTextureEvaluations = 4 * 4096;

enum class TextureState : uint8_t {
    kDone = 0,
    kReady = 1,   // may be evaluated now
    kWaiting = 2, // some producer has not been evaluated yet
};

struct ProceduralTexture {
    uint8_t operation = 0;
    std::string name; // at most 31 characters; not used by the player
    uint32_t layer_index = 0;
    std::array<float, kTextureParameters> parameters{};
    uint32_t input1 = 0; // texture handles, 0 = none
    uint32_t input2 = 0;
    uint8_t output_count = 0;
    std::array<uint32_t, kMaxTextureOutputs> outputs{}; // consumers, in document order
    std::vector<uint8_t> pixels; // the working image while the graph is evaluated
    uint32_t gl_texture = 0;     // operation 255 only
    uint8_t format = 0;          // TextureFormatTable index
    uint8_t filter = 0;          // 0 nearest, 1 linear, 2 linear with a mip chain
    TextureState state = TextureState::kReady;

    ProceduralTexture() = default;
    ~ProceduralTexture(); // deletes the GL texture
    ProceduralTexture(const ProceduralTexture&) = delete;
    ProceduralTexture& operator=(const ProceduralTexture&) = delete;
};

// The generator layers of the first section in document order (a layer index is a
// position in it), held by the loader from that section until the graph of the second has
// been evaluated.
struct GeneratorLayerList {
    std::vector<GeneratorLayer> layers;
};

// Reads one element of the first section (its "type" and up to 24 parameters) into a layer
// and generates the layer's image at once.
void LoadGeneratorLayer(const XmlNode& element, GeneratorLayer& layer);

// What an element of the first section lacks for loading: its "type", or room for its
// parameters. One line per problem; none when it loads.
std::vector<std::string> ValidateGeneratorLayerElement(const XmlNode& element);

// Reads one element of the second section into a record: name (cut to 31 characters),
// operation, format, filter, the layer index below operation 201, and the children by
// position (input 1; then, except for outputs, input 2, the output list and the
// parameters). The record starts ready without an image. No GL call.
void ReadProceduralTexture(const XmlNode& element, ProceduralTexture& texture);

// Makes an output texture's GL texture: 256 x 256 of its format without an image yet,
// sampled by its filter (0 nearest, 1 linear, others linear with mipmaps).
void CreateOutputTexture(ProceduralTexture& texture, const TextureFormatTable& formats);

// One element of the second section: the next record of the pool, read, with its GL
// texture made when it is an output. False when the pool is full.
bool LoadProceduralTextureElement(const XmlNode& element, ResourcePool<ProceduralTexture>& pool,
                                  const TextureFormatTable& formats);

// A problem of the textures section: the 1-based position of the texture it belongs to, or
// 0 for the graph as a whole.
struct TextureGraphProblem {
    uint32_t texture = 0;
    std::string problem;
};

// Checks the textures section against a first section of layer_count layers: attributes,
// children, handles of inputs and outputs, layer indices, counts within their capacity,
// output links without cycles, and a graph whose evaluation stays within
// kMaxTextureEvaluations (found by walking it without images).
std::vector<TextureGraphProblem> ValidateTextureGraph(const XmlNode& section, uint32_t layer_count);

// The first step of the walk: every texture reachable from this one's outputs is waiting.
// A texture already waiting has had its own consumers marked, so it is passed over; the
// walk therefore ends even where output links form a cycle.
void MarkWaiting(ResourcePool<ProceduralTexture>& pool, uint32_t texture);

// Called for every evaluation of a texture, to compute its image.
using TextureVisit = std::function<void(uint32_t handle, ProceduralTexture& texture)>;

struct TextureGraphWalk {
    uint32_t evaluations = 0;
    bool complete = true; // false: stopped at the limit of evaluations
};

// Evaluates a texture (visit, then done) and walks on depth first, in output-list order,
// into every consumer whose named inputs are all done, evaluating it at once; a consumer
// reached twice is evaluated twice. The walk keeps its own stack, so a deep graph cannot
// exhaust the program's; it stops once walk.evaluations reaches the limit.
void EvaluateTexture(ResourcePool<ProceduralTexture>& pool, uint32_t texture,
                     const TextureVisit& visit, TextureGraphWalk& walk, uint32_t limit);

// The order of evaluation of the whole graph: the marking pass over the pool's positions,
// then sweeps that evaluate every ready texture until a sweep finds none.
TextureGraphWalk WalkTextureGraph(ResourcePool<ProceduralTexture>& pool, const TextureVisit& visit,
                                  uint32_t limit = kMaxTextureEvaluations);

// What happens to an output texture's image once it is computed; the loader uploads it with
// UploadOutputTexture.
using OutputUpload = std::function<void(const ProceduralTexture& texture)>;

// Uploads an output texture's working image as level 0 of its GL texture and, with filter
// 2, its mip chain.
void UploadOutputTexture(const ProceduralTexture& texture, const TextureFormatTable& formats);

// Computes every texture of the graph in the order of WalkTextureGraph: each evaluation
// runs the texture's operation on its inputs' images (a zero image for input 0 and for an
// input not computed yet) and its layer, and hands an output's image to upload. Output
// textures that are never computed receive a black image, so that they are defined.
TextureGraphWalk EvaluateTextureGraph(ResourcePool<ProceduralTexture>& pool,
                                      const GeneratorLayerList& layers, const OutputUpload& upload);

// Frees every layer and every working image once the graph is done; the records and the
// GL textures of the outputs stay.
void ReleaseTextureGraphImages(ResourcePool<ProceduralTexture>& pool, GeneratorLayerList& layers);

} // namespace korvane
