// Productions the player cannot play, one per kind of problem, through `korpack check` and
// through korplayer on a real display: both name the same line, and the player ends with
// status 1 before it draws anything. And a small production that the player loads, plays
// to its end and leaves with the benchmark line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/package.h"
#include "support/production.h"
#include "support/support.h"

namespace korvane {
namespace {

using test::BuildDocument;
using test::DocumentSections;
using test::EmptyScene;
using test::LayerSpec;
using test::LayerXml;
using test::Lines;
using test::RunResult;

constexpr char kPackage[] = "production.dpk";

using test::Repeat;

using test::TrackXml;

LayerSpec Layer(uint32_t scene, int32_t space_before, int32_t length) {
    LayerSpec layer;
    layer.scene = scene;
    layer.space_before = space_before;
    layer.length = length;
    return layer;
}

// One scene drawn by one layer of a second.
DocumentSections Playable() {
    DocumentSections s;
    s.scenes = EmptyScene();
    s.tracks = TrackXml(LayerXml(Layer(1, 0, 100)));
    return s;
}

// A build of the three programs: the plain one, and when the build has them, the same
// programs under AddressSanitizer and UndefinedBehaviorSanitizer (leaks are not looked for:
// the GL driver and SDL keep memory until the process ends).
struct Programs {
    const char* name;
    std::string korplayer, korpack, korrender;
    std::vector<std::pair<std::string, std::string>> env;
};

std::vector<Programs> ProgramBuilds() {
    std::vector<Programs> builds = {{"plain",
                                     test::ProgramPath("korplayer"),
                                     test::ProgramPath("korpack"),
                                     test::ProgramPath("korrender"),
                                     {}}};
#ifdef KORVANE_ASAN_PROGRAMS
    const std::string dir = KORVANE_ASAN_PROGRAMS;
    builds.push_back({"sanitized",
                      dir + "/korplayer",
                      dir + "/korpack",
                      dir + "/korrender",
                      {{"ASAN_OPTIONS", "detect_leaks=0"}}});
#endif
    return builds;
}

RunResult RunIn(const test::TempDir& dir, const std::vector<std::string>& argv,
                const Programs& programs = ProgramBuilds().front()) {
    test::RunOptions options;
    options.cwd = dir.path();
    options.set_env = programs.env;
    return test::RunProgram(argv, options);
}

RunResult Check(const test::TempDir& dir, const Programs& programs = ProgramBuilds().front()) {
    return RunIn(dir, {programs.korpack, "check", kPackage}, programs);
}

RunResult Play(const test::TempDir& dir, const Programs& programs = ProgramBuilds().front()) {
    test::RunOptions options;
    options.set_env = programs.env;
    return test::RunKorplayer(dir.path(), options, {}, nullptr, programs.korplayer);
}

RunResult Render(const test::TempDir& dir, const Programs& programs) {
    return RunIn(dir, {programs.korrender, "--time", "0", "--out", dir / "frame.png", kPackage},
                 programs);
}

struct Broken {
    const char* name;
    std::string demo;
    std::string line;
    std::string loading = "";
};

std::vector<Broken> BrokenProductions() {
    std::vector<Broken> cases;
    DocumentSections s;

    cases.push_back({"missing section", "<production>" + Repeat("<s/>", 13) + "</production>",
                     "Error: demo.xmlz: tracks: the section is missing (the document has 13 "
                     "sections)."});

    s = Playable();
    std::string layer = LayerXml(Layer(1, 0, 100));
    layer.erase(layer.find(" length=\"100\""), 13);
    s.tracks = TrackXml(layer);
    cases.push_back({"missing attribute", BuildDocument(s),
                     "Error: demo.xmlz: tracks, track 1, layer 1: the attribute \"length\" is "
                     "missing."});

    s = Playable();
    s.tracks = TrackXml(LayerXml(Layer(1, 0, 100)) + LayerXml(Layer(1, 0, 100)) +
                        LayerXml(Layer(7, 0, 100)));
    cases.push_back({"handle that names nothing", BuildDocument(s),
                     "Error: demo.xmlz: tracks, track 1, layer 3: scene 7 does not exist."});

    s = Playable();
    s.tracks = TrackXml(Repeat(LayerXml(Layer(1, 0, 1)), 256));
    cases.push_back({"too many layers", BuildDocument(s),
                     "Error: demo.xmlz: tracks, track 1: the track has 256 layers, at most 255 "
                     "are allowed."});

    s = Playable();
    s.tracks = "";
    cases.push_back(
        {"no track", BuildDocument(s), "Error: demo.xmlz: tracks: the section has no track."});

    s = Playable();
    s.curves = "<c type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\">" +
               Repeat("<s type=\"0\" length=\"1\"><p>1</p></s>", 17) + "</c>";
    cases.push_back({"too many segments", BuildDocument(s),
                     "Error: demo.xmlz: curves, curve 1: the curve has 17 segments, at most 16 "
                     "are allowed."});

    s = Playable();
    s.tracks = TrackXml(LayerXml(Layer(1, 0, 2000000)) + LayerXml(Layer(1, 0, 200000)));
    cases.push_back({"longer than six hours", BuildDocument(s),
                     "Error: demo.xmlz: tracks, track 1, layer 2: the layer ends at 2200000 "
                     "hundredths of a second, after the longest production the player takes "
                     "(2160000)."});

    s = Playable();
    s.tracks = TrackXml(LayerXml(Layer(1, 100, 100)) + LayerXml(Layer(1, 0, -300)));
    cases.push_back({"negative length", BuildDocument(s),
                     "Error: demo.xmlz: tracks, track 1, layer 2: space_before + length is "
                     "-300, so the layer would end before it starts."});

    s = Playable();
    s.music_attributes = "file=\"music.ogg\"";
    cases.push_back({"music file without offset", BuildDocument(s),
                     "Error: demo.xmlz: music: the attribute \"offset\" is missing."});

    DocumentSections loading = Playable();
    loading.lights = "<light/>";
    cases.push_back({"broken loading screen", BuildDocument(Playable()),
                     "Error: loading.xmlz: lights, light 1: the light has 0 parts, 3 expected.",
                     BuildDocument(loading)});
    return cases;
}

TEST(BrokenProductions, CheckPlayerAndRendererNameTheSameProblem) {
    for (const Programs& programs : ProgramBuilds()) {
        for (const Broken& c : BrokenProductions()) {
            SCOPED_TRACE(std::string(programs.name) + ": " + c.name);
            test::TempDir dir;
            test::WriteProductionPackage(dir / kPackage, c.demo, c.loading);

            RunResult checked = Check(dir, programs);
            EXPECT_EQ(checked.exit_code, 1) << checked.Describe();
            EXPECT_EQ(checked.err, c.line + "\n");
            EXPECT_EQ(checked.out, std::string(kPackage) + ": 1 problem\n");

            RunResult played = Play(dir, programs);
            EXPECT_EQ(played.exit_code, 1) << played.Describe();
            std::vector<std::string> lines = Lines(played.out);
            ASSERT_FALSE(lines.empty()) << played.Describe();
            EXPECT_EQ(lines.back(), c.line) << played.Describe();
            EXPECT_EQ(played.out.find("Bye!"), std::string::npos);

            RunResult rendered = Render(dir, programs);
            EXPECT_EQ(rendered.exit_code, 1) << rendered.Describe();
            EXPECT_EQ(rendered.out, "");
            ASSERT_FALSE(Lines(rendered.err).empty()) << rendered.Describe();
            EXPECT_EQ(Lines(rendered.err).back(), c.line) << rendered.Describe();
            EXPECT_FALSE(std::filesystem::exists(dir / "frame.png"));
        }
    }
}

TEST(BrokenProductions, DamagedDocumentIsNamed) {
    test::TempDir dir;
    PackageFileList list;
    // The size prefix promises 64 bytes; the stream is not zlib at all.
    AppendPackageFile(list, "demo.xmlz", std::nullopt).contents =
        std::vector<uint8_t>{64, 0, 0, 0, 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'};
    ASSERT_TRUE(WritePackage(list, dir / kPackage, nullptr).ok());

    RunResult checked = Check(dir);
    EXPECT_EQ(checked.exit_code, 1) << checked.Describe();
    ASSERT_EQ(Lines(checked.err).size(), 1u) << checked.Describe();
    const std::string line = Lines(checked.err)[0];
    EXPECT_EQ(line.rfind("Error: demo.xmlz: ", 0), 0u) << line;

    RunResult played = Play(dir);
    EXPECT_EQ(played.exit_code, 1) << played.Describe();
    ASSERT_FALSE(Lines(played.out).empty());
    EXPECT_EQ(Lines(played.out).back(), line);
}

TEST(BrokenProductions, CheckRefusesADamagedPackage) {
    test::TempDir dir;
    test::WriteFile(dir / kPackage,
                    std::string("DP\x01", 3) + test::PackageRecord("demo.xmlz", 200, 300));
    RunResult checked = Check(dir);
    EXPECT_EQ(checked.exit_code, 1) << checked.Describe();
    EXPECT_EQ(checked.err.rfind(std::string("korpack: ") + kPackage + ": ", 0), 0u)
        << checked.Describe();
    EXPECT_EQ(checked.out, "");
}

TEST(PlayableProductions, PlaysToTheEndAfterItsLoadingScreen) {
    test::TempDir dir;
    DocumentSections loading = Playable();
    loading.tracks = TrackXml(LayerXml(Layer(1, 0, 100)));
    test::WriteProductionPackage(dir / kPackage, BuildDocument(Playable()), BuildDocument(loading));

    RunResult checked = Check(dir);
    EXPECT_EQ(checked.exit_code, 0) << checked.Describe();
    EXPECT_EQ(checked.out, std::string(kPackage) + ": ok\n");
    EXPECT_EQ(checked.err, "");

    RunResult played = Play(dir);
    EXPECT_EQ(played.exit_code, 0) << played.Describe();
    std::vector<std::string> lines = Lines(played.out);
    ASSERT_GE(lines.size(), 2u) << played.Describe();
    EXPECT_EQ(lines.back(), "Bye!");
    EXPECT_EQ(lines[lines.size() - 2].rfind("Benchmark result: ", 0), 0u) << played.Describe();
    EXPECT_EQ(played.out.find("Error"), std::string::npos) << played.Describe();
}

TEST(PlayableProductions, WithoutDemoDocumentThePlayerEndsAtOnce) {
    test::TempDir dir;
    PackageFileList list;
    AppendPackageFile(list, "loading.xmlz", std::nullopt).contents =
        test::CompressedDocumentBytes(BuildDocument(Playable()));
    ASSERT_TRUE(WritePackage(list, dir / kPackage, nullptr).ok());

    RunResult checked = Check(dir);
    EXPECT_EQ(checked.exit_code, 0) << checked.Describe();

    RunResult played = Play(dir);
    EXPECT_EQ(played.exit_code, 0) << played.Describe();
    ASSERT_FALSE(Lines(played.out).empty());
    EXPECT_EQ(Lines(played.out).back(), "Bye!");
    EXPECT_EQ(played.out.find("Benchmark"), std::string::npos) << played.Describe();
}

} // namespace
} // namespace korvane
