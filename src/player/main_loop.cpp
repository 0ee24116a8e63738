#include "player/main_loop.h"

#include <cstdint>

namespace korvane {

namespace {

const char* const kAudioBufferMessage = "Audio buffer size:%u\n";
const char* const kBenchmarkMessage = "Benchmark result: %.2f fps\n";

// What happened to the frame after it was drawn.
enum class FrameStep { go_on, escape, quit };

// Steps 2 to 5 of a frame, shared by the pre-roll and the main loop: count the frame,
// take one event, look at Escape, swap. Escape is read after the event is taken, since
// taking it is what brings the keyboard state up to date.
FrameStep FinishFrame(const PlaybackHost& host, PlaybackResult& result) {
    ++result.frame_count;
    if (host.poll_event() == HostEvent::quit)
        return FrameStep::quit;
    if (host.escape_down())
        return FrameStep::escape;
    host.swap();
    return FrameStep::go_on;
}

} // namespace

uint32_t MusicDemoClock(const AudioClockSample& sample, uint32_t music_offset, uint32_t now) {
    double position = static_cast<double>(static_cast<float>(sample.bytes_before)) * (1.0 / 176.4);
    double clock = position + static_cast<double>(music_offset) -
                   static_cast<double>(sample.callback_time) + static_cast<double>(now);
    return static_cast<uint32_t>(static_cast<int64_t>(clock));
}

float BenchmarkFramesPerSecond(int32_t frame_count, uint32_t demo_clock) {
    // A production that ends on its first frame has a clock of 0, and frames / 0 seconds
    // is no figure at all: the line is left out rather than printing nan or inf.
    if (demo_clock == 0)
        return -1.0f;
    return static_cast<float>(frame_count) / (static_cast<float>(demo_clock) * 0.001f);
}

PlaybackResult RunPlayback(const PlaybackHost& host, const PlaybackSettings& settings) {
    PlaybackResult result;
    uint32_t clock_base = 0;

    // Start of playback.
    if (settings.music)
        host.reset_audio_counter();
    if (!settings.music) {
        clock_base = host.ticks();
    } else {
        host.start_decoder();
        if (settings.music_offset == 0) {
            host.start_audio();
            // The first frame waits for the first block of music, so that the clock
            // starts from the music's own position.
            while (!host.audio_clock().ready)
                host.delay(10);
        } else {
            clock_base = host.ticks();
        }
        std::fprintf(settings.out, kAudioBufferMessage, host.audio_buffer_frames());
    }
    bool benchmark = true;

    // Pre-roll: with a music offset the production runs on the wall clock until the
    // music is due, with the device still paused.
    if (settings.music_offset != 0) {
        for (;;) {
            if (host.render(result.demo_clock / 10) == 0)
                break;
            FrameStep step = FinishFrame(host, result);
            if (step == FrameStep::quit) {
                result.end = PlaybackEnd::quit;
                return result;
            }
            if (step == FrameStep::escape) {
                benchmark = false;
                break;
            }
            result.demo_clock = host.ticks() - clock_base;
            if (result.demo_clock > settings.music_offset) {
                if (settings.music)
                    host.start_audio();
                break;
            }
        }
    }

    // Main loop.
    for (;;) {
        if (host.render(result.demo_clock / 10) == 0) {
            result.end = PlaybackEnd::finished;
            float fps = BenchmarkFramesPerSecond(result.frame_count, result.demo_clock);
            if (benchmark && fps >= 0.0f)
                std::fprintf(settings.out, kBenchmarkMessage, static_cast<double>(fps));
            return result;
        }
        FrameStep step = FinishFrame(host, result);
        if (step == FrameStep::quit) {
            result.end = PlaybackEnd::quit;
            return result;
        }
        if (step == FrameStep::escape) {
            result.end = PlaybackEnd::escape;
            return result;
        }
        if (!settings.music) {
            result.demo_clock = host.ticks() - clock_base;
            continue;
        }
        AudioClockSample sample = host.audio_clock();
        if (!sample.ready) {
            // The music buffer ran low: hold the clock so the next frame shows the same
            // moment, and give the decoder time to refill.
            host.delay(10);
        } else if (sample.callback_time != 0) {
            result.demo_clock = MusicDemoClock(sample, settings.music_offset, host.ticks());
        } else {
            result.demo_clock = 0;
        }
    }
}

} // namespace korvane
