// Loading productions built in code: sections found by position, curves and lights read
// into their pools, tracks of layers entered into the timeline with their cameras and
// clears, the music element, the progress count, and documents fetched from a package.
#include "load/loader.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "data/xml.h"
#include "draw/light.h"
#include "draw/scene.h"
#include "frame/timeline.h"
#include "model/curve.h"
#include "model/project.h"
#include "support/production.h"
#include "support/support.h"

namespace korvane {
namespace {

using test::BuildDocument;
using test::DocumentSections;
using test::DynamicValue;
using test::EmptyScene;
using test::LayerSpec;
using test::LayerXml;
using test::StaticLight;
using test::StaticValue;

using test::kFlatCurve;
using test::Repeat;
using test::TrackXml;

LayerSpec Timed(uint32_t scene, int32_t space_before, int32_t length, int32_t offset = 0) {
    LayerSpec layer;
    layer.scene = scene;
    layer.space_before = space_before;
    layer.length = length;
    layer.offset = offset;
    return layer;
}

LayerSpec OfScene(uint32_t scene) {
    LayerSpec layer;
    layer.scene = scene;
    return layer;
}

LoadResult Load(Project& project, const std::string& xml, const LoadOptions& options = {}) {
    return LoadProjectDocument(project, nullptr, ParseXml(xml.c_str()), kDemoDocument, options);
}

const Layer& LayerAt(Project& project, uint32_t track, uint32_t position) {
    const Layer* layer = PoolGetAt(project.timeline.tracks[track].layers, position);
    EXPECT_NE(layer, nullptr) << "track " << track << " position " << position;
    static const Layer none;
    return layer != nullptr ? *layer : none;
}

// A camera of nine children with the given type words and values.
std::string Camera(const std::array<const char*, 9>& types,
                   const std::array<const char*, 9>& values) {
    std::string xml;
    for (int n = 0; n < 9; ++n) {
        xml += std::string("<v type=\"") + types[n] + "\"";
        if (values[n] != nullptr)
            xml += std::string(" value=\"") + values[n] + "\"";
        xml += "/>";
    }
    return xml;
}

TEST(LoaderTest, SectionsAreFoundByPositionWhateverTheirNames) {
    // Every section and the top element named alike: only positions say what they are.
    std::array<std::string, 15> bodies;
    bodies[3] = std::string(kFlatCurve) +
                "<c type=\"1\" loop_type=\"1\" loop_begin=\"0\" loop_end=\"0\">"
                "<s type=\"0\" length=\"10\"><p>7</p></s></c>";
    bodies[4] = StaticLight(0.25f, 0.5f, 0.75f);
    bodies[12] = EmptyScene() + EmptyScene() + EmptyScene();
    bodies[13] = TrackXml(LayerXml({}));
    std::string xml = "<x>";
    for (const std::string& body : bodies)
        xml += "<x>" + body + "</x>";
    xml += "</x>";

    auto project = CreateProject();
    LoadResult result = Load(*project, xml);
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    EXPECT_EQ(project->curves.count, 2);
    EXPECT_EQ(EvaluateFunctionCurve(*PoolGet(project->curves, 2), 5), 7.0f);
    ASSERT_EQ(project->lights.count, 1);
    const Light& light = *PoolGet(project->lights, 1);
    EXPECT_EQ(ResolveLightValue(light, kLightDiffuseGreen, 0, project->curves), 0.5f);
    EXPECT_EQ(project->scenes.count, 3);
    EXPECT_EQ(project->timeline.tracks[0].layers.count, 1);
    // Sections whose items are not built yet leave their pools alone.
    EXPECT_EQ(project->textures.count, 0);
    EXPECT_EQ(project->materials.count, 0);
}

TEST(LoaderTest, LayersStartWhereTheLayerBeforeThemEnds) {
    DocumentSections s;
    s.scenes = EmptyScene() + EmptyScene();
    s.tracks = TrackXml(LayerXml(Timed(1, 50, 100, 7)) + LayerXml(Timed(2, 0, 250)) +
                        LayerXml(Timed(0, 25, 25))) +
               TrackXml(LayerXml(Timed(2, 0, 300)));
    auto project = CreateProject();
    LoadResult result = Load(*project, BuildDocument(s));
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;

    const Track& first = project->timeline.tracks[0];
    ASSERT_EQ(first.layers.count, 3);
    const Layer& a = LayerAt(*project, 0, 1);
    EXPECT_EQ(a.scene, 1);
    EXPECT_EQ(a.space_before, 50);
    EXPECT_EQ(a.length, 100);
    EXPECT_EQ(a.offset, 7);
    EXPECT_EQ(a.end, 150u);
    EXPECT_EQ(LayerAt(*project, 0, 2).end, 400u);
    EXPECT_EQ(LayerAt(*project, 0, 3).end, 450u);
    EXPECT_EQ(LayerAt(*project, 0, 3).scene, 0);
    EXPECT_EQ(first.end_time, 450u);
    // Second 1 still belongs to the first layer; the second layer (150 to 400) owns
    // seconds 2 to 4, until the third, starting on second 4, takes that one.
    EXPECT_EQ(std::vector<uint16_t>(first.second_index.begin(), first.second_index.begin() + 6),
              (std::vector<uint16_t>{0, 0, 1, 1, 2, 0}));

    // Each track counts from 0.
    EXPECT_EQ(LayerAt(*project, 1, 1).end, 300u);
    EXPECT_EQ(project->timeline.tracks[1].end_time, 300u);

    // The first layer is idle for its space_before, then plays from its local time 0 plus
    // its offset.
    Track& track = project->timeline.tracks[0];
    EXPECT_EQ(FindActiveLayer(track, 49).layer, nullptr);
    ActiveLayer active = FindActiveLayer(track, 60);
    EXPECT_EQ(active.layer, PoolGetAt(track.layers, 1));
    EXPECT_EQ(active.evaluation_time, 17u);
}

TEST(LoaderTest, CameraValuesTakeOnlyTheExactWordsDynamicAndOrtographic) {
    DocumentSections s;
    s.curves = Repeat(kFlatCurve, 3);
    s.scenes = EmptyScene();
    const char* const animated[9] = {"dynamic",  "static",  "Dynamic", "dynamic", "static",
                                     "dynamic ", "dynamic", "static",  "dynamic"};
    LayerSpec camera_a;
    camera_a.camera = Camera({animated[0], animated[1], animated[2], animated[3], animated[4],
                              animated[5], animated[6], animated[7], animated[8]},
                             {"1", "2.5", "1", "2", "0", "3", "3", "100", "1"});
    LayerSpec ortho;
    ortho.camera = Camera({"static", "static", "static", "static", "static", "static",
                           "ortographic", "static", "static"},
                          {"0", "0", "0", "0", "0", "0", nullptr, "100", "1"});
    LayerSpec misspelt;
    misspelt.camera = Camera({"static", "static", "static", "static", "static", "static",
                              "orthographic", "static", "static"},
                             {"0", "0", "0", "0", "0", "0", "45", "100", "1"});
    s.tracks = TrackXml(LayerXml(camera_a) + LayerXml(ortho) + LayerXml(misspelt));
    auto project = CreateProject();
    LoadResult result = Load(*project, BuildDocument(s));
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;

    const Layer& a = LayerAt(*project, 0, 1);
    // Position x, rotation x and the aspect are curves; "Dynamic" and "dynamic " are not
    // the word, so position z and rotation z are static numbers.
    EXPECT_EQ(a.dynamic_bits, kLayerDynamicBit[kLayerPositionX] |
                                  kLayerDynamicBit[kLayerRotationX] |
                                  kLayerDynamicBit[kLayerAspect]);
    EXPECT_EQ(CurveHandleOf(a.values[kLayerPositionX]), 1u);
    EXPECT_EQ(StaticValueOf(a.values[kLayerPositionY]), 2.5f);
    EXPECT_EQ(StaticValueOf(a.values[kLayerPositionZ]), 1.0f);
    EXPECT_EQ(CurveHandleOf(a.values[kLayerRotationX]), 2u);
    EXPECT_EQ(StaticValueOf(a.values[kLayerRotationZ]), 3.0f);
    EXPECT_EQ(a.projection, ProjectionKind::kAnimatedPerspective);
    EXPECT_EQ(CurveHandleOf(a.values[kLayerFieldOfView]), 3u);
    EXPECT_EQ(StaticValueOf(a.values[kLayerFar]), 100.0f);

    const Layer& b = LayerAt(*project, 0, 2);
    EXPECT_EQ(b.projection, ProjectionKind::kOrthographic);
    EXPECT_EQ(b.dynamic_bits, 0);
    const Layer& c = LayerAt(*project, 0, 3);
    EXPECT_EQ(c.projection, ProjectionKind::kPerspective);
    EXPECT_EQ(StaticValueOf(c.values[kLayerFieldOfView]), 45.0f);
}

TEST(LoaderTest, ClearFlagsKeepBitZeroAndRtexIsReadForTargetTypesOnly) {
    struct Case {
        int type;
        int colour;
        int depth;
        uint32_t rtex;
        uint8_t flags;
        uint16_t stored_rtex;
    };
    const Case cases[] = {
        {0, 3, 1, 1, 0x3, 0}, // "Simple render" has no target: rtex is not read
        {4, 2, 0, 1, 0x0, 0}, // nor has "Link with previous"
        {1, 1, 2, 2, 0x1, 2}, {2, 0, 3, 1, 0x2, 1}, {3, 1, 1, 1, 0x3, 1},
        {5, 5, 5, 2, 0x3, 2}, {9, 1, 0, 7, 0x1, 0}, // an unknown type is kept and reads no rtex
    };
    DocumentSections s;
    // Two image files in the package and a cube map without faces, for targets to name.
    s.image_files =
        Repeat("<image filename=\"a.png\" texture_format=\"0\" texture_filter=\"1\"/>", 2);
    s.cube_maps = "<cube xp=\"\" xn=\"\" yp=\"\" yn=\"\" zp=\"\" zn=\"\" texture_format=\"0\" "
                  "texture_filter=\"1\"/>";
    s.scenes = EmptyScene();
    std::string layers;
    for (const Case& c : cases) {
        LayerSpec layer;
        layer.type = c.type;
        layer.rtex = c.rtex;
        layer.clear_color_buffer = c.colour;
        layer.clear_z_buffer = c.depth;
        layers += LayerXml(layer);
    }
    s.tracks = TrackXml(layers);
    test::TempDir dir;
    std::vector<uint8_t> one_pixel_png;
    const uint8_t grey = 128;
    stbi_write_png_to_func(
        [](void* out, void* data, int size) {
            auto* bytes = static_cast<uint8_t*>(data);
            static_cast<std::vector<uint8_t>*>(out)->insert(
                static_cast<std::vector<uint8_t>*>(out)->end(), bytes, bytes + size);
        },
        &one_pixel_png, 1, 1, 1, &grey, 1);
    test::WriteProductionPackage(dir / "targets.dpk", BuildDocument(s), "",
                                 {{"a.png", one_pixel_png}});
    std::FILE* package = std::fopen((dir / "targets.dpk").c_str(), "rb");
    ASSERT_NE(package, nullptr);
    auto project = CreateProject();
    LoadResult result = LoadProject(*project, package, kDemoDocument, {});
    std::fclose(package);
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "type " << cases[i].type);
        const Layer& layer = LayerAt(*project, 0, static_cast<uint32_t>(i + 1));
        EXPECT_EQ(static_cast<int>(layer.render_type), cases[i].type);
        EXPECT_EQ(layer.clear_flags, cases[i].flags);
        EXPECT_EQ(layer.rtex, cases[i].stored_rtex);
    }
}

TEST(LoaderTest, TracksPastTheTwentyFourthAreIgnored) {
    DocumentSections s;
    s.scenes = EmptyScene();
    // The 25th names a scene that does not exist: it is neither checked nor read.
    s.tracks = Repeat(TrackXml(LayerXml({})), kTrackCount) + TrackXml(LayerXml(OfScene(99)));
    std::vector<uint32_t> percents;
    LoadOptions options;
    options.progress = [&](uint32_t percent) { percents.push_back(percent); };
    auto project = CreateProject();
    LoadResult result = Load(*project, BuildDocument(s), options);
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    for (const Track& track : project->timeline.tracks)
        EXPECT_EQ(track.layers.count, 1);
    // 1 scene and 24 tracks read, of 26 items.
    ASSERT_EQ(percents.size(), 25u);
    EXPECT_EQ(percents.back(), 25u * 100 / 26);
}

TEST(LoaderTest, ProgressCountsEveryItemOfEverySection) {
    // 200 items spread over sections built now and sections built later, the fonts among
    // them, and one track.
    DocumentSections s;
    s.texture_operators = Repeat("<op type=\"0\"/>", 40);
    s.lights = Repeat(StaticLight(0.5f, 0.5f, 0.5f), 40);
    s.curves = Repeat(kFlatCurve, 40);
    s.fonts = Repeat("<font/>", 40);
    s.scenes = Repeat(EmptyScene(), 39);
    s.tracks = TrackXml(LayerXml({}));
    std::vector<uint32_t> percents;
    LoadOptions options;
    options.progress = [&](uint32_t percent) { percents.push_back(percent); };
    auto project = CreateProject();
    LoadResult result = Load(*project, BuildDocument(s), options);
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    ASSERT_EQ(percents.size(), 200u);
    for (uint32_t item = 1; item <= 200; ++item)
        EXPECT_EQ(percents[item - 1], item * 100 / 200) << "after item " << item;
    EXPECT_EQ(percents[0], 0u);
    EXPECT_EQ(percents[1], 1u);
    EXPECT_EQ(percents[199], 100u);
}

TEST(LoaderTest, TheMusicElementsChildrenCountAlthoughNothingReadsThem) {
    DocumentSections s;
    s.curves = Repeat(kFlatCurve, 199);
    s.tracks = TrackXml("");
    std::string xml = BuildDocument(s);
    // Two children of the music element make 202 items, of which 200 are done at the end.
    const std::string empty_music = "<music />";
    ASSERT_NE(xml.find(empty_music), std::string::npos);
    xml.replace(xml.find(empty_music), empty_music.size(), "<music><a/><b/></music>");
    for (bool read_music : {false, true}) {
        std::vector<uint32_t> percents;
        LoadOptions options;
        options.read_music = read_music;
        options.progress = [&](uint32_t percent) { percents.push_back(percent); };
        auto project = CreateProject();
        LoadResult result = Load(*project, xml, options);
        ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
        ASSERT_EQ(percents.size(), 200u);
        EXPECT_EQ(percents[1], 2u * 100 / 202);
        EXPECT_EQ(percents.back(), 200u * 100 / 202);
    }
}

TEST(LoaderTest, MusicOffsetIsReadOnlyForAMusicFileWithMusicOn) {
    struct Case {
        const char* attributes;
        bool read_music;
        uint32_t offset;
    };
    const Case cases[] = {
        {"file=\"music/track.ogg\" offset=\"1500\"", true, 1500},
        {"file=\"music/track.ogg\" offset=\"1500\"", false, 0},
        {"offset=\"1500\"", true, 0}, // no music file: the offset is not read
        {"file=\"track.ogg\" offset=\"soon\"", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.attributes << (c.read_music ? ", music on" : ""));
        LoadOptions options;
        options.read_music = c.read_music;
        auto project = CreateProject();
        DocumentSections s;
        s.music_attributes = c.attributes;
        LoadResult result = Load(*project, BuildDocument(s), options);
        ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
        EXPECT_EQ(project->music_offset, c.offset);
        if (!c.read_music) {
            // The tree is freed as soon as the tracks are done.
            EXPECT_EQ(result.root, nullptr);
            EXPECT_EQ(result.music, nullptr);
            continue;
        }
        // The tree lives on for the music set-up, with the music element in it.
        ASSERT_NE(result.root, nullptr);
        ASSERT_NE(result.music, nullptr);
        const char* file = GetXmlAttribute(*result.music, "file");
        EXPECT_EQ(file != nullptr, std::string(c.attributes).find("file=") == 0);
    }
}

TEST(LoaderTest, ADocumentThatFailsItsChecksBuildsNothing) {
    DocumentSections s;
    s.curves = Repeat(kFlatCurve, 2);
    s.lights = StaticLight(1, 1, 1);
    s.scenes = EmptyScene();
    s.tracks = TrackXml(LayerXml({}) + LayerXml({}) + LayerXml(OfScene(7)));
    std::vector<uint32_t> percents;
    LoadOptions options;
    options.progress = [&](uint32_t percent) { percents.push_back(percent); };
    auto project = CreateProject();
    LoadResult result = Load(*project, BuildDocument(s), options);
    EXPECT_EQ(result.status, LoadStatus::kFailed);
    EXPECT_EQ(result.error, "Error: demo.xmlz: tracks, track 1, layer 3: scene 7 does not exist.");
    EXPECT_EQ(result.root, nullptr);
    EXPECT_EQ(project->curves.count, 0);
    EXPECT_EQ(project->lights.count, 0);
    EXPECT_EQ(project->scenes.count, 0);
    EXPECT_EQ(project->timeline.tracks[0].layers.count, 0);
    EXPECT_TRUE(percents.empty()) << "no loading-screen frame before the document is checked";
}

TEST(LoaderTest, DocumentsComeFromThePackage) {
    test::TempDir dir;
    const std::string path = dir / "production.dpk";
    DocumentSections s;
    s.scenes = EmptyScene();
    s.tracks = TrackXml(LayerXml(Timed(1, 0, 250)));
    test::WriteProductionPackage(path, BuildDocument(s), "",
                                 {{"damaged.xmlz", {9, 0, 0, 0, 1, 2}}});
    std::FILE* package = std::fopen(path.c_str(), "rb");
    ASSERT_NE(package, nullptr);

    auto demo = CreateProject();
    LoadResult loaded = LoadProject(*demo, package, kDemoDocument, {});
    EXPECT_EQ(loaded.status, LoadStatus::kLoaded) << loaded.error;
    EXPECT_EQ(demo->timeline.tracks[0].end_time, 250u);

    // No loading screen in this package: not an error, the project stays empty.
    auto loading = CreateProject();
    LoadResult absent = LoadProject(*loading, package, kLoadingDocument, {});
    EXPECT_EQ(absent.status, LoadStatus::kAbsent);
    EXPECT_TRUE(absent.error.empty());
    EXPECT_EQ(loading->timeline.tracks[0].layers.count, 0);

    auto other = CreateProject();
    LoadResult damaged = LoadProject(*other, package, "damaged.xmlz", {});
    EXPECT_EQ(damaged.status, LoadStatus::kFailed);
    EXPECT_EQ(damaged.error.rfind("Error: damaged.xmlz: ", 0), 0u) << damaged.error;
    std::fclose(package);

    LoadResult unreadable = LoadProject(*other, nullptr, kDemoDocument, {});
    EXPECT_EQ(unreadable.status, LoadStatus::kFailed);
    EXPECT_EQ(unreadable.error, "Error: demo.xmlz: the package cannot be read.");
}

TEST(LoaderTest, CheckingADocumentReportsEveryProblemAndBuildsNothing) {
    test::TempDir dir;
    const std::string path = dir / "production.dpk";
    DocumentSections s;
    LayerSpec lit;
    lit.clear_light = 1;
    s.tracks = TrackXml(LayerXml(OfScene(2)) + LayerXml(lit));
    test::WriteProductionPackage(path, BuildDocument(s), BuildDocument({}));
    std::FILE* package = std::fopen(path.c_str(), "rb");
    ASSERT_NE(package, nullptr);
    std::vector<std::string> problems;
    CheckProjectDocument(package, kLoadingDocument, false, problems);
    EXPECT_TRUE(problems.empty());
    CheckProjectDocument(package, kDemoDocument, true, problems);
    CheckProjectDocument(package, "absent.xmlz", true, problems);
    std::fclose(package);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "Error: demo.xmlz: tracks, track 1, layer 1: scene 2 does not exist.",
                            "Error: demo.xmlz: tracks, track 1, layer 2: scene 1 does not exist.",
                            "Error: demo.xmlz: tracks, track 1, layer 2: light 1 does not exist.",
                        }));
}

// Curves and lights read from their elements.

TEST(CurveLoadingTest, ReadsAttributesSegmentsAndParameters) {
    auto root = ParseXml("<curve type=\"1\" loop_type=\"2\" loop_begin=\" 10.5\" loop_end=\"20x\">"
                         "<s type=\"1\" length=\"100\"><p>2</p><p>-3.25</p></s>"
                         "<s type=\"4\" length=\"50\"><p>1e1</p><p>abc</p><p> 4</p></s>"
                         "<s type=\"9\" length=\"-1\"/>"
                         "</curve>");
    FunctionCurve curve;
    curve.cached_time = 5;
    curve.cached_value = 3.0f;
    LoadFunctionCurve(*root->first_child, curve);
    EXPECT_EQ(curve.value_type, ValueType::kInteger);
    EXPECT_EQ(curve.loop_type, LoopType::kPingPong);
    EXPECT_EQ(curve.loop_begin, 10.5f);
    EXPECT_EQ(curve.loop_end, 20.0f);
    ASSERT_EQ(curve.segment_count, 3);
    EXPECT_EQ(curve.segment_kinds[0], CurveKind::kLinear);
    EXPECT_EQ(curve.segment_lengths[0], 100u);
    EXPECT_EQ(curve.segment_parameters[0][0], 2.0f);
    EXPECT_EQ(curve.segment_parameters[0][1], -3.25f);
    EXPECT_EQ(curve.segment_kinds[1], CurveKind::kCatmullRomSpline);
    // Text that is not a number reads 0; leading blanks are skipped.
    EXPECT_EQ(curve.segment_parameters[1][0], 10.0f);
    EXPECT_EQ(curve.segment_parameters[1][1], 0.0f);
    EXPECT_EQ(curve.segment_parameters[1][2], 4.0f);
    EXPECT_EQ(static_cast<int>(curve.segment_kinds[2]), 9);
    EXPECT_EQ(curve.segment_lengths[2], UINT32_MAX);
    EXPECT_EQ(curve.cached_time, kCurveNotCached);
    EXPECT_EQ(curve.cached_value, 0.0f);
    EXPECT_EQ(EvaluateFunctionCurve(curve, 15), 2.0f * 15 - 3.25f);
}

TEST(CurveLoadingTest, StoresNoMoreSegmentsOrParametersThanTheRecordHolds) {
    std::string xml = "<curve type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\">";
    for (int s = 0; s < 20; ++s) {
        xml += "<s type=\"0\" length=\"1\">";
        for (int p = 0; p < 30; ++p)
            xml += "<p>" + std::to_string(s * 100 + p) + "</p>";
        xml += "</s>";
    }
    xml += "</curve>";
    auto root = ParseXml(xml.c_str());
    FunctionCurve curve;
    LoadFunctionCurve(*root->first_child, curve);
    ASSERT_EQ(curve.segment_count, kMaxCurveSegments);
    EXPECT_EQ(curve.segment_parameters[15][23], 1523.0f);
}

TEST(CurveLoadingTest, DynamicWordsFollowTheRuleOfTheSection) {
    struct Case {
        const char* type;
        bool only_dynamic;   // lights, objects, manipulators, cameras
        bool all_but_static; // materials
    };
    const Case cases[] = {
        {"dynamic", true, true},   {"static", false, false}, {"Dynamic", false, true},
        {"animated", false, true}, {"", false, true},        {nullptr, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type != nullptr ? c.type : "(no type)");
        EXPECT_EQ(IsDynamicWord(c.type, DynamicWords::kOnlyDynamic), c.only_dynamic);
        EXPECT_EQ(IsDynamicWord(c.type, DynamicWords::kAllButStatic), c.all_but_static);
    }
    auto root = ParseXml("<v type=\"dynamic\" value=\"12\"/><v type=\"static\" value=\"-0.5\"/>");
    bool dynamic = false;
    AnimatedValue handle =
        LoadAnimatedValue(*root->first_child, DynamicWords::kOnlyDynamic, dynamic);
    EXPECT_TRUE(dynamic);
    EXPECT_EQ(CurveHandleOf(handle), 12u);
    AnimatedValue number =
        LoadAnimatedValue(*root->first_child->next_sibling, DynamicWords::kOnlyDynamic, dynamic);
    EXPECT_FALSE(dynamic);
    EXPECT_EQ(StaticValueOf(number), -0.5f);
}

TEST(LightLoadingTest, ReadsThreePartsOfThreeValues) {
    auto root =
        ParseXml(("<light><a>" + StaticValue(0.1f) + DynamicValue(2) + StaticValue(0.3f) +
                  "</a><d><v type=\"Dynamic\" value=\"4\"/>" + StaticValue(0.5f) + DynamicValue(1) +
                  "</d><p>" + DynamicValue(3) + StaticValue(-2) + StaticValue(8) + "</p></light>")
                     .c_str());
    Light light;
    LoadLight(*root->first_child, light);
    EXPECT_EQ(light.dynamic_bits,
              (1u << kLightAmbientGreen) | (1u << kLightDiffuseBlue) | (1u << kLightPositionX));
    EXPECT_EQ(StaticValueOf(light.values[kLightAmbientRed]), 0.1f);
    EXPECT_EQ(CurveHandleOf(light.values[kLightAmbientGreen]), 2u);
    // Only the word "dynamic" makes a light value a curve.
    EXPECT_EQ(StaticValueOf(light.values[kLightDiffuseRed]), 4.0f);
    EXPECT_EQ(CurveHandleOf(light.values[kLightDiffuseBlue]), 1u);
    EXPECT_EQ(CurveHandleOf(light.values[kLightPositionX]), 3u);
    EXPECT_EQ(StaticValueOf(light.values[kLightPositionZ]), 8.0f);
}

} // namespace
} // namespace korvane
