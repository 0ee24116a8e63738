// Start-up decisions of the player that need no window: the audio-driver fix-up, the
// video-mode retry and probe, launch option sizes and the letterboxed viewport.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "frame/targets.h"
#include "player/audio_environment.h"
#include "player/launch_options.h"
#include "player/video_mode.h"
#include "support/support.h"

using namespace korvane;

namespace {} // namespace

TEST(AudioEnvironment, DriverFixUp) {
    struct Case {
        const char* driver; // nullptr: unset
        const char* message;
        const char* result;
        bool audiodev_kept;
    };
    const Case cases[] = {
        {nullptr, "Changing SDL_AUDIODRIVER to alsa.\n", "alsa", false},
        {"pulse", "Changing SDL_AUDIODRIVER from pulse to alsa.\n", "alsa", false},
        {"pulseaudio", "Changing SDL_AUDIODRIVER from pulse to alsa.\n", "alsa", false},
        {"oss", "", "oss", true},
        {"puls", "", "puls", true},
        {"dummy", "", "dummy", true},
    };
    for (const Case& c : cases) {
        if (c.driver)
            setenv("SDL_AUDIODRIVER", c.driver, 1);
        else
            unsetenv("SDL_AUDIODRIVER");
        setenv("AUDIODEV", "/dev/dsp", 1);
        std::string out =
            korvane::test::CaptureOutput([](std::FILE* f) { FixAudioDriverEnvironment(f); });
        SCOPED_TRACE(c.driver ? c.driver : "(unset)");
        EXPECT_EQ(out, c.message);
        ASSERT_NE(std::getenv("SDL_AUDIODRIVER"), nullptr);
        EXPECT_STREQ(std::getenv("SDL_AUDIODRIVER"), c.result);
        EXPECT_EQ(std::getenv("AUDIODEV") != nullptr, c.audiodev_kept);
    }
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("AUDIODEV");
}

namespace {

// A driver that accepts only the sizes and multisample settings it is told to.
struct FakeVideo {
    bool accept_chosen = false;
    bool accept_without_multisampling = false;
    bool accept_probe = false;
    int multisample_buffers = 1;
    std::vector<std::string> calls;

    VideoModeCalls Calls() {
        VideoModeCalls video;
        video.set_mode = [this](uint32_t w, uint32_t h, uint32_t flags) {
            calls.push_back("mode " + std::to_string(w) + "x" + std::to_string(h) +
                            (flags == VideoModeFlags(true) ? " fullscreen" : ""));
            if (w == 320 && h == 240)
                return accept_probe;
            if (multisample_buffers == 0)
                return accept_without_multisampling;
            return accept_chosen;
        };
        video.set_multisample = [this](int buffers, int samples) {
            multisample_buffers = buffers;
            calls.push_back("multisample " + std::to_string(buffers) + " " +
                            std::to_string(samples));
        };
        video.quit = [this] { calls.push_back("quit"); };
        return video;
    }
};

} // namespace

TEST(VideoMode, RetryAndProbe) {
    const std::string retry = "Failed to create opengl context, trying without antialiasing.\n";
    const std::string driver =
        "Error: failed to create opengl context, please install OpenGL driver.\n";
    const std::string resolution =
        "Error: failed to create opengl context, please try another resolution.\n";
    struct Case {
        const char* name;
        bool antialiasing, accept_chosen, accept_without, accept_probe;
        VideoModeOutcome outcome;
        std::string messages;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"opens at once",
         true,
         true,
         true,
         true,
         VideoModeOutcome::opened,
         "",
         {"mode 800x600 fullscreen"}},
        {"retry succeeds",
         true,
         false,
         true,
         true,
         VideoModeOutcome::opened,
         retry + "Success! :)\n",
         {"mode 800x600 fullscreen", "multisample 0 0", "mode 800x600 fullscreen"}},
        {"retry fails, probe opens",
         true,
         false,
         false,
         true,
         VideoModeOutcome::other_resolution,
         retry + resolution,
         {"mode 800x600 fullscreen", "multisample 0 0", "mode 800x600 fullscreen", "mode 320x240",
          "quit"}},
        {"no antialiasing, no driver",
         false,
         false,
         false,
         false,
         VideoModeOutcome::no_driver,
         driver,
         {"mode 800x600 fullscreen", "mode 320x240", "quit"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeVideo video;
        video.accept_chosen = c.accept_chosen;
        video.accept_without_multisampling = c.accept_without;
        video.accept_probe = c.accept_probe;
        VideoModeOutcome outcome{};
        std::string out = korvane::test::CaptureOutput([&](std::FILE* f) {
            outcome = OpenVideoMode(video.Calls(), 800, 600, true, c.antialiasing, f);
        });
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(out, c.messages);
        EXPECT_EQ(video.calls, c.calls);
    }
}

TEST(LaunchOptions, DefaultsSizesAndAspects) {
    LaunchOptions options;
    EXPECT_EQ(options.resolution_row, 0);
    EXPECT_EQ(options.renderer, 1);
    EXPECT_TRUE(IsOn(options.fullscreen) && IsOn(options.antialiasing) && IsOn(options.music) &&
                IsOn(options.vbo));
    EXPECT_FALSE(IsOn(-1));
    Resolution desktop{1366, 768};
    EXPECT_EQ(WindowSizeOf(0, desktop).width, 1366u);
    EXPECT_EQ(WindowSizeOf(7, desktop).width, 1280u);
    EXPECT_EQ(WindowSizeOf(7, desktop).height, 720u);
    EXPECT_EQ(WindowSizeOf(11, desktop).height, 1080u);
    EXPECT_FLOAT_EQ(DisplayAspectOf(0, {800, 600}), 800.0f / 600.0f);
    EXPECT_EQ(DisplayAspectOf(1, {800, 600}), 1.3333334f);
    EXPECT_EQ(DisplayAspectOf(2, {800, 600}), 1.7777778f);
    EXPECT_EQ(DisplayAspectOf(3, {800, 600}), 1.6f);
}

TEST(Viewport, LetterboxAndPillarbox) {
    struct Case {
        uint16_t width, height;
        float aspect;
        uint16_t x, y, w, h;
    };
    const Case cases[] = {
        {800, 600, 1.3333334f, 0, 75, 800, 450},
        {1920, 1080, 1.7777778f, 0, 0, 1920, 1080},
        {1920, 1200, 1.6f, 0, 60, 1920, 1080},
        {1280, 1024, 1.3333334f, 0, 128, 1280, 768},
        {2560, 1080, 2560.0f / 1080, 320, 0, 1920, 1080},
    };
    for (const Case& c : cases) {
        Viewport v = ComputeViewport(c.width, c.height, c.aspect);
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(v.x, c.x);
        EXPECT_EQ(v.y, c.y);
        EXPECT_EQ(v.width, c.w);
        EXPECT_EQ(v.height, c.h);
    }
}
