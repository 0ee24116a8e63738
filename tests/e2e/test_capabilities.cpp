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
    options.cwd = dir.path();
    options.set_env = env;
    options.set_env.emplace_back("SDL_AUDIODRIVER", "dummy");
    std::vector<std::string> argv = {ProgramPath("korplayer")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    RunResult run = RunProgram(argv, options);
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
