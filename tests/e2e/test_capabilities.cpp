// The capability report of korplayer on the drivers it meets, simulated with Mesa's
// version and extension overrides: every line, its order, and the -forcepbo argument.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/production.h"
#include "support/support.h"

using namespace korvane::test;

namespace {

const std::string kRule(74, '=');

// The report korplayer prints between its two rules, on a production that ends at once.
std::vector<std::string> Report(const std::vector<std::pair<std::string, std::string>>& env,
                                const std::vector<std::string>& arguments = {}) {
    TempDir dir;
    DocumentSections sections;
    LayerSpec layer;
    layer.scene = 0;
    sections.tracks = "<track>" + LayerXml(layer) + "</track>";
    WriteProductionPackage(dir / "quick.dpk", BuildDocument(sections));
    RunOptions options;
    options.set_env = env;
    RunResult run = RunKorplayer(dir.path(), options, arguments);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    std::vector<std::string> report;
    bool inside = false;
    for (const auto& line : Lines(run.out)) {
        if (line == kRule) {
            if (inside)
                return report;
            inside = true;
        } else if (inside) {
            report.push_back(line);
        }
    }
    ADD_FAILURE() << "no report between two rules: " << run.Describe();
    return report;
}

const char* const kPboSlow = "PBO support detected, but it may be slow (opengl version is "
                             "lower than 2.1), so i disable it. Use -forcepbo to enable it.";

} // namespace

TEST(Capabilities, ModernDriverReportsEverything) {
    EXPECT_EQ(Report({}),
              (std::vector<std::string>{
                  "VBO support detected.", "PBO support detected.",
                  "NPOT texture support detected.", "Texture compression support detected.",
                  "EXT_framebuffer_object support detected.", "Using GLSL shaders."}));
}

TEST(Capabilities, DriversBelowTwoPointOneDisablePboUnlessForced) {
    struct Case {
        const char* version;
        std::vector<std::string> arguments;
        const char* pbo_line;
    };
    const Case cases[] = {
        {"2.0", {}, kPboSlow},
        {"2.0", {"-forcepbo"}, "PBO support detected."},
        {"2.0", {"-forcepbo-and-more"}, "PBO support detected."},
        {"2.0", {"-force"}, kPboSlow},
        // Below 1.5 buffer objects come through their ARB entry points.
        {"1.4", {}, kPboSlow},
        {"2.1", {}, "PBO support detected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + (c.arguments.empty() ? "" : " " + c.arguments[0]));
        auto report = Report({{"MESA_GL_VERSION_OVERRIDE", c.version}}, c.arguments);
        ASSERT_EQ(report.size(), 6u);
        EXPECT_EQ(report[0], "VBO support detected.");
        EXPECT_EQ(report[1], c.pbo_line);
    }
}

TEST(Capabilities, MissingExtensionsAreReportedAsMissing) {
    auto report = Report(
        {{"MESA_EXTENSION_OVERRIDE", "-GL_EXT_framebuffer_object -GL_ARB_framebuffer_object "
                                     "-GL_ARB_texture_non_power_of_two -GL_ARB_pixel_buffer_object "
                                     "-GL_ARB_texture_compression -GL_ARB_vertex_buffer_object"}});
    EXPECT_EQ(report, (std::vector<std::string>{
                          "No VBO support.", "No PBO support.", "No NPOT texture support.",
                          "No texture compression support.", "No EXT_framebuffer_object support.",
                          "Using GLSL shaders."}));
}

namespace {

// The report korrender prints with --verbose: the same set-up, with the renderer and the
// VBO toggle that korplayer's launcher would choose.
std::vector<std::string> RenderReport(const std::vector<std::pair<std::string, std::string>>& env,
                                      const std::vector<std::string>& arguments) {
    TempDir dir;
    DocumentSections sections;
    LayerSpec layer;
    layer.scene = 0;
    sections.tracks = "<track>" + LayerXml(layer) + "</track>";
    WriteProductionPackage(dir / "quick.dpk", BuildDocument(sections));
    RunOptions options;
    options.set_env = env;
    std::vector<std::string> argv = {ProgramPath("korrender"), "--verbose"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    for (const char* a : {"--time", "0", "--out"})
        argv.push_back(a);
    argv.push_back(dir / "frame.png");
    argv.push_back(dir / "quick.dpk");
    RunResult run = RunProgram(argv, options);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    std::vector<std::string> report;
    for (const auto& line : Lines(run.err))
        if (line != kRule && line.find("cannot be disabled") == std::string::npos)
            report.push_back(line);
    return report;
}

} // namespace

TEST(Capabilities, FixedFunctionLineNamesTheCombinerAndTheToggleHidesVbo) {
    struct Case {
        const char* name;
        std::string extensions_removed;
        std::vector<std::string> arguments;
        std::string renderer_line;
    };
    const Case cases[] = {
        {"both combiners: combine4 named",
         "",
         {"--renderer", "fixed"},
         "Using 4 texture units + NV_texture_env_combine4."},
        {"combine3 only",
         "-GL_NV_texture_env_combine4",
         {"--renderer", "fixed"},
         "Using 4 texture units + ATI_texture_env_combine3."},
        {"no combiner",
         "-GL_NV_texture_env_combine4 -GL_ATI_texture_env_combine3",
         {"--renderer", "fixed"},
         "Using 4 texture units."},
        {"shaders never name units", "-GL_NV_texture_env_combine4", {}, "Using GLSL shaders."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::string, std::string>> env;
        if (!c.extensions_removed.empty())
            env.emplace_back("MESA_EXTENSION_OVERRIDE", c.extensions_removed);
        auto report = RenderReport(env, c.arguments);
        ASSERT_FALSE(report.empty());
        EXPECT_EQ(report.front(), "VBO support detected.");
        EXPECT_EQ(report.back(), c.renderer_line);
    }
    // The VBO toggle off: no VBO line at all.
    auto report = RenderReport({}, {"--no-vbo"});
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.front(), "PBO support detected.");
}
