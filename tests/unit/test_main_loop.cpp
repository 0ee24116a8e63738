// The frame loop's timing rules, driven through a scripted host instead of SDL.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "player/main_loop.h"
#include "support/support.h"

using namespace korvane;

namespace {

// A production of a given length on a clock that advances by a fixed step per frame.
struct ScriptedHost {
    uint32_t now = 1000;         // SDL ticks
    uint32_t step = 1;           // ticks added by every swap
    uint32_t production_end = 0; // hundredths: frames at this time or later draw nothing
    int escape_from_frame = -1;  // Escape is down from this frame on (counted from 0)
    int quit_at_frame = -1;      // a window close arrives at this frame
    int frames = 0;
    bool audio_started = false;
    bool decoder_started = false;
    AudioClockSample audio;
    std::vector<uint32_t> rendered_times;
    std::vector<uint32_t> delays;

    PlaybackHost Host() {
        PlaybackHost host;
        host.render = [this](uint32_t time) {
            rendered_times.push_back(time);
            return time < production_end ? 1 : 0;
        };
        host.ticks = [this] { return now; };
        host.poll_event = [this] {
            return frames++ == quit_at_frame ? HostEvent::quit : HostEvent::none;
        };
        host.escape_down = [this] {
            return escape_from_frame >= 0 && frames - 1 >= escape_from_frame;
        };
        host.swap = [this] { now += step; };
        host.delay = [this](uint32_t ms) {
            delays.push_back(ms);
            now += ms;
            audio.ready = 1; // the decoder catches up while we wait
            if (audio.callback_time == 0)
                audio.callback_time = now;
        };
        host.start_audio = [this] { audio_started = true; };
        host.start_decoder = [this] { decoder_started = true; };
        host.reset_audio_counter = [this] { audio.bytes_before = 0; };
        host.audio_clock = [this] { return audio; };
        host.audio_buffer_frames = [] { return 8192u; };
        return host;
    }
};

} // namespace

TEST(MainLoop, ProductionOfTenSecondsAtSixtyFramesReportsSixtyFps) {
    ScriptedHost script;
    script.step = 10000 / 600; // not exact: the clock is set by hand below
    script.production_end = 1000;
    PlaybackHost host = script.Host();
    // 600 frames, then the clock reads exactly ten seconds.
    host.swap = [&] { script.now = 1000 + (script.frames >= 600 ? 10000 : script.frames * 16); };
    PlaybackSettings settings;
    PlaybackResult result;
    std::string out = korvane::test::CaptureOutput([&](std::FILE* f) {
        settings.out = f;
        result = RunPlayback(host, settings);
    });
    EXPECT_EQ(result.end, PlaybackEnd::finished);
    EXPECT_EQ(result.frame_count, 600);
    EXPECT_EQ(result.demo_clock, 10000u);
    EXPECT_EQ(out, "Benchmark result: 60.00 fps\n");
}

TEST(MainLoop, ProductionThatDrawsNothingEndsWithoutAFigure) {
    ScriptedHost script; // production_end 0: the first frame draws nothing
    PlaybackSettings settings;
    PlaybackResult result;
    std::string out = korvane::test::CaptureOutput([&](std::FILE* f) {
        settings.out = f;
        result = RunPlayback(script.Host(), settings);
    });
    EXPECT_EQ(result.end, PlaybackEnd::finished);
    EXPECT_EQ(result.frame_count, 0);
    EXPECT_EQ(script.rendered_times, std::vector<uint32_t>{0});
    EXPECT_EQ(out, "") << "a clock of 0 has no frame rate; nan or inf must not be printed";
}

TEST(MainLoop, BenchmarkFigure) {
    EXPECT_LT(BenchmarkFramesPerSecond(0, 0), 0.0f);
    EXPECT_LT(BenchmarkFramesPerSecond(5, 0), 0.0f);
    EXPECT_FLOAT_EQ(BenchmarkFramesPerSecond(600, 10000), 60.0f);
    EXPECT_FLOAT_EQ(BenchmarkFramesPerSecond(0, 500), 0.0f);
}

TEST(MainLoop, WallClockTimesAreHundredthsOfTheElapsedMilliseconds) {
    ScriptedHost script;
    script.step = 25;
    script.production_end = 10;
    PlaybackSettings settings;
    settings.out = std::fopen("/dev/null", "w");
    RunPlayback(script.Host(), settings);
    std::fclose(settings.out);
    EXPECT_EQ(script.rendered_times, (std::vector<uint32_t>{0, 2, 5, 7, 10}));
}

TEST(MainLoop, EscapeEndsWithoutBenchmarkAndWindowCloseEndsAtOnce) {
    {
        ScriptedHost script;
        script.production_end = 100000;
        script.escape_from_frame = 3;
        PlaybackSettings settings;
        PlaybackResult result;
        std::string out = korvane::test::CaptureOutput([&](std::FILE* f) {
            settings.out = f;
            result = RunPlayback(script.Host(), settings);
        });
        EXPECT_EQ(result.end, PlaybackEnd::escape);
        EXPECT_EQ(result.frame_count, 4);
        EXPECT_EQ(out, "");
    }
    {
        ScriptedHost script;
        script.production_end = 100000;
        script.quit_at_frame = 2;
        PlaybackSettings settings;
        PlaybackResult result = RunPlayback(script.Host(), settings);
        EXPECT_EQ(result.end, PlaybackEnd::quit);
        EXPECT_EQ(result.frame_count, 3);
    }
}

TEST(MainLoop, PreRollRunsOnTheWallClockThenStartsTheMusic) {
    ScriptedHost script;
    script.step = 100;
    script.production_end = 100000;
    script.escape_from_frame = 8;
    PlaybackSettings settings;
    settings.music = true;
    settings.music_offset = 500;
    PlaybackResult result;
    std::string out = korvane::test::CaptureOutput([&](std::FILE* f) {
        settings.out = f;
        result = RunPlayback(script.Host(), settings);
    });
    EXPECT_TRUE(script.decoder_started);
    EXPECT_TRUE(script.audio_started);
    // Pre-roll frames at 0, 100, ... 500 ms; the one after 500 ms starts the device.
    ASSERT_GE(script.rendered_times.size(), 7u);
    EXPECT_EQ(
        std::vector<uint32_t>(script.rendered_times.begin(), script.rendered_times.begin() + 7),
        (std::vector<uint32_t>{0, 10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(out, "Audio buffer size:8192\n");
}

TEST(MainLoop, EscapeDuringPreRollNeverStartsTheDevice) {
    ScriptedHost script;
    script.step = 100;
    script.production_end = 100000;
    script.escape_from_frame = 1;
    PlaybackSettings settings;
    settings.music = true;
    settings.music_offset = 5000;
    settings.out = std::fopen("/dev/null", "w");
    PlaybackResult result = RunPlayback(script.Host(), settings);
    std::fclose(settings.out);
    EXPECT_FALSE(script.audio_started);
    EXPECT_EQ(result.end, PlaybackEnd::escape);
    // Two pre-roll frames, then the main loop draws one more and sees Escape still down.
    EXPECT_EQ(result.frame_count, 3);
}

TEST(MainLoop, MusicClockFollowsTheCallbackAndHoldsWhileStarved) {
    ScriptedHost script;
    script.production_end = 100000;
    script.escape_from_frame = 4;
    script.audio.ready = 0;
    PlaybackHost host = script.Host();
    int swaps = 0;
    host.swap = [&] {
        ++swaps;
        script.now += 10;
        // The callback hands over 32768 bytes per block; the third frame finds it starved.
        script.audio.ready = swaps == 2 ? 0 : 1;
        script.audio.bytes_before = 32768u * static_cast<uint32_t>(swaps);
        script.audio.callback_time = script.now;
    };
    PlaybackSettings settings;
    settings.music = true;
    settings.out = std::fopen("/dev/null", "w");
    RunPlayback(host, settings);
    std::fclose(settings.out);
    // Offset 0: the device starts at once and the loop waits until data was delivered.
    EXPECT_TRUE(script.audio_started);
    ASSERT_EQ(script.rendered_times.size(), 5u);
    EXPECT_EQ(script.rendered_times[0], 0u);
    EXPECT_EQ(script.rendered_times[1], 18u);                      // 32768 / 176.4 = 185.7 ms
    EXPECT_EQ(script.rendered_times[2], script.rendered_times[1]); // starved: clock held
    EXPECT_EQ(script.rendered_times[3], 55u);                      // 98304 / 176.4 = 557.3 ms
}

TEST(MainLoop, MusicDemoClockFormula) {
    AudioClockSample sample;
    sample.bytes_before = 176400; // one second of music
    sample.callback_time = 2000;
    sample.ready = 1;
    EXPECT_EQ(MusicDemoClock(sample, 0, 2000), 1000u);
    EXPECT_EQ(MusicDemoClock(sample, 5000, 2040), 6040u);
    sample.bytes_before = 100; // 0.567 ms truncates toward zero
    EXPECT_EQ(MusicDemoClock(sample, 0, 2000), 0u);
}
