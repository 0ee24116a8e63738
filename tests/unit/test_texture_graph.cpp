// The texture graph without a GL context: reading both sections by position, the document
// checks of the textures section, the order of evaluation (marking, sweeps and the
// depth-first walk into consumers), the images each operation receives inside the graph,
// and the release of the images once a document has loaded.
#include "texture/texture_graph.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/xml.h"
#include "load/loader.h"
#include "load/validation.h"
#include "model/project.h"
#include "support/production.h"
#include "texture/filters.h"

namespace korvane {
namespace {

using Pool = ResourcePool<ProceduralTexture>;

// One texture element: the children in document order as the loader reads them.
struct Tex {
    int type = 201;
    uint32_t input1 = 0;
    std::optional<uint32_t> input2 = {};
    std::vector<uint32_t> outputs = {};
    std::vector<float> parameters = {};
    int layer = 0;
    std::string name = "t";
    int filter = 1;
};

std::string Xml(const Tex& t) {
    std::string xml = "<texture name=\"" + t.name + "\" type=\"" + std::to_string(t.type) +
                      "\" texture_format=\"0\" texture_filter=\"" + std::to_string(t.filter) + "\"";
    if (t.type < 201)
        xml += " layer_id=\"" + std::to_string(t.layer) + "\"";
    xml += "><in>" + std::to_string(t.input1) + "</in>";
    if (t.input2)
        xml += "<input>" + std::to_string(*t.input2) + "</input>";
    for (uint32_t output : t.outputs)
        xml += "<output>" + std::to_string(output) + "</output>";
    for (float parameter : t.parameters)
        xml += "<p>" + std::to_string(parameter) + "</p>";
    return xml + "</texture>";
}

std::string Xml(const std::vector<Tex>& textures) {
    std::string xml;
    for (const Tex& t : textures)
        xml += Xml(t);
    return xml;
}

// A section element parsed from the text of its children.
std::unique_ptr<XmlNode> Section(const std::string& children) {
    return ParseXml(("<section>" + children + "</section>").c_str());
}
const XmlNode& SectionOf(const std::unique_ptr<XmlNode>& root) {
    return *root->first_child;
}

std::unique_ptr<Pool> PoolOf(const std::vector<Tex>& textures) {
    auto root = Section(Xml(textures));
    auto pool = CreatePool<Pool>();
    for (const XmlNode* element = SectionOf(root).first_child.get(); element != nullptr;
         element = element->next_sibling.get())
        ReadProceduralTexture(*element, *PoolGet(*pool, PoolAdd(*pool)));
    return pool;
}

std::vector<uint32_t> Order(Pool& pool, TextureGraphWalk* walk = nullptr,
                            uint32_t limit = kMaxTextureEvaluations) {
    std::vector<uint32_t> order;
    TextureGraphWalk result = WalkTextureGraph(
        pool, [&](uint32_t handle, ProceduralTexture&) { order.push_back(handle); }, limit);
    if (walk != nullptr)
        *walk = result;
    return order;
}

TextureState StateOf(Pool& pool, uint32_t handle) {
    return PoolGet(pool, handle)->state;
}

TEST(ProceduralTextureElement, ChildrenAreReadByPosition) {
    auto root = Section(
        // Input 1 is the first child whatever its name; then input 2, the outputs, and from
        // the first child that is not an output on, every child is a parameter.
        "<t name=\"plasma edge\" type=\"207\" texture_format=\"5\" texture_filter=\"2\" "
        "layer_id=\"4\"><output>3</output><input>4</input><output>5</output><output>6</output>"
        "<p>1.5</p><output>7</output><p>-2</p></t>"
        // An output reads input 1 and nothing after it; no layer index.
        "<t name=\"out\" type=\"255\" texture_format=\"1\" texture_filter=\"0\" layer_id=\"3\">"
        "<a>2</a><input>4</input><output>5</output></t>"
        // A layer combiner reads its layer index; a second child not named "input" is looked
        // at as an output.
        "<t name=\"a name much longer than thirty-one characters\" type=\"101\" "
        "texture_format=\"0\" texture_filter=\"1\" layer_id=\"3\"><a>0</a><output>2</output>"
        "<p>0.25</p></t>");
    const XmlNode* element = SectionOf(root).first_child.get();
    ProceduralTexture add2;
    ReadProceduralTexture(*element, add2);
    EXPECT_EQ(add2.name, "plasma edge");
    EXPECT_EQ(add2.operation, 207);
    EXPECT_EQ(add2.format, 5);
    EXPECT_EQ(add2.filter, 2);
    EXPECT_EQ(add2.layer_index, 0u) << "read only below operation 201";
    EXPECT_EQ(add2.input1, 3u);
    EXPECT_EQ(add2.input2, 4u);
    ASSERT_EQ(add2.output_count, 2);
    EXPECT_EQ(add2.outputs[0], 5u);
    EXPECT_EQ(add2.outputs[1], 6u);
    EXPECT_EQ(add2.parameters[0], 1.5f);
    EXPECT_EQ(add2.parameters[1], 7.0f);
    EXPECT_EQ(add2.parameters[2], -2.0f);
    EXPECT_EQ(add2.state, TextureState::kReady);
    EXPECT_TRUE(add2.pixels.empty());
    EXPECT_EQ(add2.gl_texture, 0u);

    element = element->next_sibling.get();
    ProceduralTexture output;
    ReadProceduralTexture(*element, output);
    EXPECT_EQ(output.operation, kOutputOperation);
    EXPECT_EQ(output.input1, 2u);
    EXPECT_EQ(output.input2, 0u);
    EXPECT_EQ(output.output_count, 0);
    EXPECT_EQ(output.layer_index, 0u);

    element = element->next_sibling.get();
    ProceduralTexture combiner;
    ReadProceduralTexture(*element, combiner);
    EXPECT_EQ(combiner.name, "a name much longer than thirty-");
    EXPECT_EQ(combiner.layer_index, 3u);
    EXPECT_EQ(combiner.input2, 0u);
    ASSERT_EQ(combiner.output_count, 1);
    EXPECT_EQ(combiner.outputs[0], 2u);
    EXPECT_EQ(combiner.parameters[0], 0.25f);
}

TEST(GeneratorLayerElement, ParametersFillFromSlotZeroAndTheLayerIsGenerated) {
    auto root = Section("<op type=\"0\"><p>0.5</p><p>0.25</p><p>1</p></op>");
    GeneratorLayer layer;
    LoadGeneratorLayer(*SectionOf(root).first_child, layer);
    EXPECT_EQ(layer.kind, GeneratorKind::kColor);
    EXPECT_EQ(layer.parameters[2], 1.0f);
    EXPECT_EQ(layer.parameters[3], 0.0f);
    GeneratorLayer expected;
    expected.parameters[0] = 0.5f;
    expected.parameters[1] = 0.25f;
    expected.parameters[2] = 1.0f;
    GenerateLayer(expected, kGeneratorLayerSize);
    EXPECT_EQ(layer.pixels, expected.pixels);
}

TEST(TextureGraphWalk, AConsumerOfTwoProducersIsComputedOnceAfterTheLater) {
    auto pool = PoolOf({
        {201, 0, {}, {2, 3}}, // 1: source
        {201, 1, {}, {4}},    // 2
        {201, 1, {}, {4}},    // 3
        {207, 2, 3u, {5}},    // 4: reads 2 and 3, listed by both
        {255, 4},             // 5
    });
    EXPECT_EQ(Order(*pool), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

TEST(TextureGraphWalk, AConsumerListedTwiceIsComputedTwice) {
    auto pool = PoolOf({{201, 0, {}, {2, 2}}, {201, 1, {}, {3}}, {255, 2}});
    EXPECT_EQ(Order(*pool), (std::vector<uint32_t>{1, 2, 3, 2, 3}));
}

TEST(TextureGraphWalk, AConsumerThatNamesNoInputIsComputedWhenItsProducerCompletes) {
    // Listed by texture 2 only: waiting until then, although it comes first.
    auto pool = PoolOf({{202, 0, {}, {}, {2.0f}}, {201, 0, {}, {1}}});
    EXPECT_EQ(Order(*pool), (std::vector<uint32_t>{2, 1}));
}

TEST(TextureGraphWalk, TexturesWhoseInputNeverCompletesStayWaiting) {
    // Texture 2 reads texture 3, which does not list it: 3 is computed after 1 has tried 2,
    // and nothing tries 2 again. Its consumer 4 is never computed either.
    auto pool = PoolOf({
        {201, 0, {}, {2}},
        {207, 1, 3u, {4}},
        {201},
        {255, 2},
    });
    EXPECT_EQ(Order(*pool), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(StateOf(*pool, 2), TextureState::kWaiting);
    EXPECT_EQ(StateOf(*pool, 4), TextureState::kWaiting);
    EXPECT_EQ(StateOf(*pool, 3), TextureState::kDone);
}

TEST(TextureGraphWalk, DeepChainsAndRunawayGraphsEnd) {
    // A chain as long as the pool: the walk keeps its own stack.
    std::vector<Tex> chain(ResourcePool<ProceduralTexture>::kCapacity);
    for (uint32_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i].input1 = i;
        chain[i].outputs = {i + 2};
    }
    chain.back().input1 = static_cast<uint32_t>(chain.size() - 1);
    auto long_pool = PoolOf(chain);
    TextureGraphWalk walk;
    std::vector<uint32_t> order = Order(*long_pool, &walk);
    EXPECT_TRUE(walk.complete);
    ASSERT_EQ(order.size(), chain.size());
    EXPECT_EQ(order.back(), chain.size());

    // Each texture listing the next one twice doubles the work at every step: 2^24 - 1
    // computations, stopped at the limit.
    std::vector<Tex> doubling(24);
    for (uint32_t i = 0; i + 1 < doubling.size(); ++i)
        doubling[i] = {201, i, {}, {i + 2, i + 2}};
    auto doubling_pool = PoolOf(doubling);
    EXPECT_EQ(Order(*doubling_pool, &walk, 1000).size(), 1000u);
    EXPECT_FALSE(walk.complete);

    // Output links in a cycle (which the document checks refuse) cannot hang the walk.
    auto cycle = PoolOf({{201, 3, {}, {2}}, {201, 1, {}, {1}}, {201, 0, {}, {1}}});
    MarkWaiting(*cycle, 1);
    EXPECT_EQ(StateOf(*cycle, 1), TextureState::kWaiting);
    EXPECT_EQ(StateOf(*cycle, 2), TextureState::kWaiting);
    EXPECT_EQ(Order(*cycle, &walk, 50).size(), 50u);
    EXPECT_FALSE(walk.complete);
}

// ---- Images inside the graph ----

// A Noise layer and a Sinus plasma layer: two images with detail everywhere.
GeneratorLayerList TwoLayers() {
    GeneratorLayerList layers;
    auto root = Section("<op type=\"5\"><p>0.9</p><p>0.6</p><p>0.3</p><p>7</p></op>"
                        "<op type=\"1\"><p>0.2</p><p>0.8</p><p>1</p><p>3</p><p>2</p></op>");
    for (const XmlNode* element = SectionOf(root).first_child.get(); element != nullptr;
         element = element->next_sibling.get())
        LoadGeneratorLayer(*element, layers.layers.emplace_back());
    return layers;
}

struct Upload {
    std::string name;
    std::vector<uint8_t> pixels;
};

std::vector<Upload> Evaluate(Pool& pool, const GeneratorLayerList& layers,
                             TextureGraphWalk* walk = nullptr) {
    std::vector<Upload> uploads;
    TextureGraphWalk result = EvaluateTextureGraph(pool, layers, [&](const ProceduralTexture& t) {
        uploads.push_back({t.name, t.pixels});
    });
    if (walk != nullptr)
        *walk = result;
    return uploads;
}

TEST(TextureGraphImages, AnAddWithScalesZeroAndOneHandsItsLayerUnchangedToTheOutput) {
    const GeneratorLayerList layers = TwoLayers();
    auto pool = PoolOf({{101, 0, {}, {2}, {0.0f, 1.0f}, 1}, {255, 1}});
    std::vector<Upload> uploads = Evaluate(*pool, layers);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(uploads[0].pixels == layers.layers[1].pixels);
}

TEST(TextureGraphImages, EveryOperationReadsItsInputsLayerAndParameters) {
    const GeneratorLayerList layers = TwoLayers();
    const std::vector<uint8_t>& noise = layers.layers[0].pixels;
    const std::vector<uint8_t>& plasma = layers.layers[1].pixels;
    const std::vector<uint8_t> zero(kTextureGraphImageBytes, 0);
    const struct {
        int code;
        std::vector<float> parameters;
    } cases[] = {
        {101, {0.5f, 0.75f}},
        {102, {1.5f}},
        {103, {0.9f, 0.6f}},
        {104, {1.2f, 0.8f}},
        {201, {}},
        {202, {0.7f}},
        {203, {13.0f, 40.0f}},
        {204, {3.0f, 5.0f, 0.05f, 0.02f}},
        {205, {}},
        {206, {2.0f}},
        {207, {0.4f, 0.7f}},
        {208, {1.1f}},
        {209, {0.9f, 1.3f}},
        {210, {1.5f, 0.5f}},
        {77, {}}, // no operation: the working image stays zero
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const bool two_inputs = c.code >= 207 && c.code <= 210;
        // 1 and 2 copy the layers (noise as input 1, plasma as input 2); 3 is the texture
        // under test, reading layer 1 (plasma) where it reads a layer; 4 shows it.
        Tex under_test{c.code,       1, two_inputs ? std::optional<uint32_t>(2) : std::nullopt, {4},
                       c.parameters, 1};
        auto pool = PoolOf({{101, 0, {}, {3}, {0.0f, 1.0f}, 0},
                            {101,
                             0,
                             {},
                             two_inputs ? std::vector<uint32_t>{3} : std::vector<uint32_t>{},
                             {0.0f, 1.0f},
                             1},
                            under_test,
                            {255, 3}});
        std::vector<Upload> uploads = Evaluate(*pool, layers);
        ASSERT_EQ(uploads.size(), 1u);
        std::vector<uint8_t> expected(kTextureGraphImageBytes, 0);
        float parameters[kTextureParameters] = {};
        for (size_t i = 0; i < c.parameters.size(); ++i)
            parameters[i] = c.parameters[i];
        ApplyTextureOperation(c.code, expected.data(), noise.data(),
                              two_inputs ? plasma.data() : zero.data(), plasma.data(), parameters,
                              kTextureGraphSize);
        EXPECT_TRUE(uploads[0].pixels == expected);
    }
}

TEST(TextureGraphImages, MissingInputsReadAsBlack) {
    // "Invert" of nothing is white; an output of nothing is black.
    auto pool = PoolOf(
        {{201, 0, {}, {2}}, {255, 1, {}, {}, {}, 0, "white"}, {255, 0, {}, {}, {}, 0, "black"}});
    std::vector<Upload> uploads = Evaluate(*pool, {});
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].name, "white");
    EXPECT_EQ(uploads[0].pixels, std::vector<uint8_t>(kTextureGraphImageBytes, 255));
    EXPECT_EQ(uploads[1].name, "black");
    EXPECT_EQ(uploads[1].pixels, std::vector<uint8_t>(kTextureGraphImageBytes, 0));
}

TEST(TextureGraphImages, OutputsOfOneProducerAreUploadedInOutputListOrder) {
    const GeneratorLayerList layers = TwoLayers();
    auto pool = PoolOf({{101, 0, {}, {3, 2}, {0.0f, 1.0f}, 0},
                        {255, 1, {}, {}, {}, 0, "second"},
                        {255, 1, {}, {}, {}, 0, "first"}});
    std::vector<Upload> uploads = Evaluate(*pool, layers);
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].name, "first");
    EXPECT_EQ(uploads[1].name, "second");
    EXPECT_TRUE(uploads[0].pixels == layers.layers[0].pixels);
    EXPECT_TRUE(uploads[1].pixels == layers.layers[0].pixels);
}

TEST(TextureGraphImages, AnOutputNothingMakesReadyReceivesBlackAfterTheWalk) {
    // As in TexturesWhoseInputNeverCompletesStayWaiting: output 4 is never computed. Output
    // 5, listed twice by texture 1, is computed twice with the same image.
    const GeneratorLayerList layers = TwoLayers();
    auto pool = PoolOf({
        {101, 0, {}, {2, 5, 5}, {0.0f, 1.0f}, 1},
        {207, 1, 3u, {4}},
        {201},
        {255, 2, {}, {}, {}, 0, "never"},
        {255, 1, {}, {}, {}, 0, "twice"},
    });
    std::vector<Upload> uploads = Evaluate(*pool, layers);
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[0].name, "twice");
    EXPECT_EQ(uploads[1].name, "twice");
    EXPECT_TRUE(uploads[0].pixels == uploads[1].pixels);
    EXPECT_TRUE(uploads[0].pixels == layers.layers[1].pixels);
    EXPECT_EQ(uploads[2].name, "never");
    EXPECT_EQ(uploads[2].pixels, std::vector<uint8_t>(kTextureGraphImageBytes, 0));
}

// ---- Document checks ----

using Problems = std::vector<std::pair<uint32_t, std::string>>;

Problems Check(const std::string& textures, uint32_t layers = 2) {
    auto root = Section(textures);
    Problems problems;
    for (const TextureGraphProblem& p : ValidateTextureGraph(SectionOf(root), layers))
        problems.emplace_back(p.texture, p.problem);
    return problems;
}

TEST(TextureGraphChecks, EachKindOfProblemGivesItsLine) {
    std::string too_many_outputs = "<t name=\"t\" type=\"201\" texture_format=\"0\" "
                                   "texture_filter=\"0\"><i>0</i>";
    for (int i = 0; i < 256; ++i)
        too_many_outputs += "<output>2</output>";
    too_many_outputs += "</t>";
    std::vector<Tex> doubling(16);
    for (uint32_t i = 0; i + 1 < doubling.size(); ++i)
        doubling[i] = {201, i, {}, {i + 2, i + 2}};

    const struct {
        const char* what;
        std::string textures;
        Problems problems;
    } cases[] = {
        {"a consistent graph", Xml({{101, 0, {}, {2}, {0, 1}, 1}, {255, 1}}), {}},
        {"attributes",
         "<t><i>0</i></t><t name=\"x\" type=\"102\" texture_format=\"0\" texture_filter=\"1\">"
         "<i>0</i></t>",
         {{1, "the attribute \"name\" is missing"},
          {1, "the attribute \"type\" is missing"},
          {1, "the attribute \"texture_format\" is missing"},
          {1, "the attribute \"texture_filter\" is missing"},
          {2, "the attribute \"layer_id\" is missing"}}},
        {"no children",
         "<t name=\"x\" type=\"255\" texture_format=\"0\" texture_filter=\"1\"/>",
         {{1, "the texture has no children: its first child names input 1 (0 for none)"}}},
        {"a format the table has not",
         "<t name=\"x\" type=\"255\" texture_format=\"8\" texture_filter=\"1\"><i>0</i></t>",
         {{1, "texture_format 8 is not one of the texture formats 0 to 7"}}},
        {"a layer beyond the last",
         Xml({{101, 0, {}, {}, {}, 2}, {104, 0, {}, {}, {}, -1}}),
         {{1, "layer_id 2 names no layer: the texture operators section has 2 (layer_id 0 to 1)"},
          {2, "layer_id -1 names no layer: the texture operators section has 2 (layer_id 0 to "
              "1)"}}},
        {"handles beyond the last texture",
         Xml({{201, 4, 0u, {2, 0}}, {208, 0, 9u, {}}, {255, 4000000000u}}),
         {{1, "input 1: texture 4 does not exist"},
          {1, "output 2: texture 0 does not exist"},
          {2, "input 2: texture 9 does not exist"},
          {3, "input 1: texture 4000000000 does not exist"}}},
        {"too many outputs",
         too_many_outputs + Xml(Tex{}),
         {{1, "the texture has 256 outputs, at most 255 are allowed"}}},
        {"too many parameters",
         Xml(Tex{202, 0, {}, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}),
         {{1, "the texture has 10 parameters, at most 9 are allowed"}}},
        {"a cycle",
         Xml({{201, 0, {}, {2}}, {201, 1, {}, {3}}, {201, 2, {}, {2}}}),
         {{2, "the output links form a cycle: 2 -> 3 -> 2"}}},
        {"a texture that lists itself",
         Xml({{201, 1, {}, {1}}}),
         {{1, "the output links form a cycle: 1 -> 1"}}},
        {"runaway work",
         Xml(doubling),
         {{0, "evaluating the graph takes more than 16384 texture computations: outputs listed "
              "many times over repeat the work below them"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Check(c.textures), c.problems);
    }
    EXPECT_EQ(Check(Xml(Tex{101}), 0),
              (Problems{{1, "layer_id 0 names no layer: the texture operators section is empty"}}));
}

TEST(TextureGraphChecks, ProblemLinesNameDocumentSectionAndItem) {
    test::DocumentSections s;
    s.texture_operators = "<op type=\"1\"/><op>" + test::Repeat("<p>1</p>", 25) + "</op>";
    s.textures = Xml({{201, 0, {}, {2}}, {201, 1, {}, {1}}});
    auto root = ParseXml(test::BuildDocument(s).c_str());
    std::vector<std::string> problems;
    EXPECT_FALSE(ValidateDocument(*root, "demo.xmlz", false, problems));
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "Error: demo.xmlz: texture operators, texture operator 2: the attribute "
                  "\"type\" is missing.",
                  "Error: demo.xmlz: texture operators, texture operator 2: the texture operator "
                  "has 25 parameters, at most 24 are allowed.",
                  "Error: demo.xmlz: textures, texture 1: the output links form a cycle: 1 -> 2 "
                  "-> 1."}));

    // The layers are held in memory together: no more of them than textures.
    s.texture_operators = test::Repeat("<op type=\"0\"/>", kMaxGeneratorLayers + 1);
    s.textures.clear();
    root = ParseXml(test::BuildDocument(s).c_str());
    problems.clear();
    EXPECT_FALSE(ValidateDocument(*root, "demo.xmlz", false, problems));
    EXPECT_EQ(problems, std::vector<std::string>{"Error: demo.xmlz: texture operators: the section "
                                                 "has 4097 items, at most 4096 are allowed."});
}

TEST(TextureGraphLoading, TheDocumentsGraphIsEvaluatedAndItsImagesReleased) {
    test::DocumentSections s;
    s.texture_operators = "<op type=\"0\"><p>1</p><p>0</p><p>0</p></op>";
    s.textures = Xml({{101, 0, {}, {2, 3}, {0, 1}, 0}, {201, 1, {}, {3}}, {255, 1}});
    auto project = CreateProject();
    LoadResult result = LoadProjectDocument(
        *project, nullptr, ParseXml(test::BuildDocument(s).c_str()), kDemoDocument, {});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    ASSERT_EQ(project->textures.count, 3);
    for (uint32_t handle = 1; handle <= 3; ++handle) {
        const ProceduralTexture& texture = *PoolGet(project->textures, handle);
        EXPECT_EQ(texture.state, TextureState::kDone) << handle;
        EXPECT_TRUE(texture.pixels.empty()) << handle;
        EXPECT_EQ(texture.pixels.capacity(), 0u) << handle;
    }
}

} // namespace
} // namespace korvane
