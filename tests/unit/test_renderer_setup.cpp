// The capability report: which lines a driver and the user's choices give, and the
// RenderCaps they leave behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame/renderer_setup.h"
#include "support/support.h"

using namespace korvane;

namespace {

const std::string kRule(74, '=');

std::string Report(const DriverFeatures& driver, const RendererChoices& choices, RenderCaps* caps) {
    return test::CaptureOutput(
        [&](std::FILE* out) { *caps = ReportCapabilities(driver, choices, out); });
}

DriverFeatures ModernDriver() {
    DriverFeatures d;
    d.vertex_buffer_object = d.version_1_5 = d.pixel_buffer_object = d.version_2_1 = true;
    d.texture_non_power_of_two = d.texture_compression = d.framebuffer_object = true;
    d.max_texture_units = 8;
    return d;
}

} // namespace

TEST(CapabilityReport, ModernDriverWithShaders) {
    RenderCaps caps;
    std::string out = Report(ModernDriver(), RendererChoices{}, &caps);
    EXPECT_EQ(out, kRule +
                       "\nVBO support detected.\nPBO support detected.\n"
                       "NPOT texture support detected.\nTexture compression support detected.\n"
                       "EXT_framebuffer_object support detected.\nUsing GLSL shaders.\n" +
                       kRule + "\n");
    EXPECT_EQ(caps.vbo, 1);
    EXPECT_EQ(caps.pbo, 1);
    EXPECT_EQ(caps.npot, 1);
    EXPECT_EQ(caps.texture_units, 4) << "clamped to four";
    EXPECT_EQ(caps.compression, 1);
    EXPECT_EQ(caps.fbo, 1);
    RenderCaps loading = LoadingCopyOf(caps);
    EXPECT_EQ(loading.vbo + loading.pbo + loading.npot, 0);
    EXPECT_EQ(loading.fbo, 1);
    EXPECT_EQ(loading.texture_units, 4);
}

TEST(CapabilityReport, OldDriverLinesAndFlags) {
    DriverFeatures old;
    old.max_texture_units = 2;
    RenderCaps caps;
    RendererChoices fixed;
    fixed.renderer_flag = kRendererFixed;
    std::string out = Report(old, fixed, &caps);
    EXPECT_EQ(out, kRule +
                       "\nNo VBO support.\nNo PBO support.\nNo NPOT texture support.\n"
                       "No texture compression support.\nNo EXT_framebuffer_object support.\n"
                       "Using 2 texture units.\n" +
                       kRule + "\n");
    EXPECT_EQ(caps.vbo + caps.pbo + caps.npot + caps.compression + caps.fbo, 0);
    EXPECT_EQ(caps.texture_units, 2);
}

TEST(CapabilityReport, BranchesOfTheToggleThePboRuleAndTheCombiners) {
    struct Case {
        const char* name;
        bool vbo_toggle, force_pbo, version_2_1, combine4, combine3;
        uint8_t renderer;
        const char* wanted_line;   // must appear
        const char* unwanted_text; // must not appear
        uint8_t pbo, combine4_flag, combine3_flag;
    };
    const Case cases[] = {
        {"toggle off prints no VBO line", false, false, true, false, false, kRendererGlsl,
         "PBO support detected.", "VBO", 1, 0, 0},
        {"2.0 without -forcepbo", true, false, false, false, false, kRendererGlsl,
         "PBO support detected, but it may be slow (opengl version is lower than 2.1), so i "
         "disable it. Use -forcepbo to enable it.",
         "PBO support detected.\n", 0, 0, 0},
        {"2.0 with -forcepbo", true, true, false, false, false, kRendererGlsl,
         "PBO support detected.\n", "may be slow", 1, 0, 0},
        {"fixed with combine4", true, false, true, true, false, kRendererFixed,
         "Using 4 texture units + NV_texture_env_combine4.\n", "ATI", 1, 1, 0},
        {"both combiners: only combine4", true, false, true, true, true, kRendererFixed,
         "Using 4 texture units + NV_texture_env_combine4.\n", "ATI", 1, 1, 0},
        {"fixed with combine3", true, false, true, false, true, kRendererFixed,
         "Using 4 texture units + ATI_texture_env_combine3.\n", "NV_", 1, 0, 1},
        {"shaders with combine3 only", true, false, true, false, true, kRendererGlsl,
         "Using GLSL shaders.\n", "texture units", 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriverFeatures driver = ModernDriver();
        driver.version_2_1 = c.version_2_1;
        driver.texture_env_combine4 = c.combine4;
        driver.texture_env_combine3 = c.combine3;
        RendererChoices choices;
        choices.vbo_toggle = c.vbo_toggle;
        choices.force_pbo = c.force_pbo;
        choices.renderer_flag = c.renderer;
        RenderCaps caps;
        std::string out = Report(driver, choices, &caps);
        EXPECT_NE(out.find(c.wanted_line), std::string::npos) << out;
        EXPECT_EQ(out.find(c.unwanted_text), std::string::npos) << out;
        EXPECT_EQ(caps.vbo, c.vbo_toggle ? 1 : 0);
        EXPECT_EQ(caps.pbo, c.pbo);
        EXPECT_EQ(caps.combine4, c.combine4_flag);
        EXPECT_EQ(caps.combine3, c.combine3_flag);
    }
}

TEST(CapabilityReport, TextureFormatTable) {
    TextureFormatTable with = BuildTextureFormatTable(true);
    TextureFormatTable without = BuildTextureFormatTable(false);
    const uint32_t expected_with[8] = {0x1907, 0x1908, 0x1909, 0x190A,
                                       0x84ED, 0x84EE, 0x84EA, 0x84EB};
    const uint32_t expected_without[8] = {0x1907, 0x1908, 0x1909, 0x190A,
                                          0x1907, 0x1908, 0x1909, 0x190A};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(with[i], expected_with[i]) << i;
        EXPECT_EQ(without[i], expected_without[i]) << i;
    }
}
