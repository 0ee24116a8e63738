// Playback: the pre-roll on the wall clock, the frame loop, the demo clock (from the wall
// clock or from the audio callback's count of bytes played) and the benchmark line. The
// loop talks to SDL, GL and the music through PlaybackHost, so that its timing rules can
// be driven by tests without a window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

namespace korvane {

enum class HostEvent { none, quit, other };

// Values the audio callback publishes; the main loop reads them once per frame.
struct AudioClockSample {
    uint32_t bytes_before = 0;  // bytes played before the latest callback that delivered data
    uint32_t callback_time = 0; // SDL ticks of that callback, 0 until the first one
    uint32_t ready = 0;         // whether the latest callback found enough data
};

struct PlaybackHost {
    std::function<int32_t(uint32_t time)> render; // draws one frame; layers drawn
    std::function<uint32_t()> ticks;              // milliseconds since start-up
    std::function<HostEvent()> poll_event;        // takes at most one event
    std::function<bool()> escape_down;            // keyboard state of Escape
    std::function<void()> swap;
    std::function<void(uint32_t ms)> delay;
    // Music side; unused when there is no music.
    std::function<void()> start_audio;             // un-pause the device
    std::function<void()> start_decoder;           // start the decode thread
    std::function<void()> reset_audio_counter;     // bytes before = 0
    std::function<AudioClockSample()> audio_clock; // the published values
    std::function<uint32_t()> audio_buffer_frames; // sample frames per device buffer
};

enum class PlaybackEnd {
    finished, // the production drew nothing: it is over
    escape,   // Escape was down
    quit,     // the window was closed: end the process at once
};

struct PlaybackResult {
    PlaybackEnd end = PlaybackEnd::finished;
    int32_t frame_count = 0;
    uint32_t demo_clock = 0; // milliseconds
};

struct PlaybackSettings {
    bool music = false;        // music state +1: a decoder and an open device exist
    uint32_t music_offset = 0; // milliseconds of demo time before the music starts
    std::FILE* out = stdout;   // where the audio buffer and benchmark lines go
};

// The demo clock while the device plays: the music position of the latest callback's
// block plus the wall time since that callback. The byte count passes through single
// precision, the sum is formed in double precision and truncated toward zero.
uint32_t MusicDemoClock(const AudioClockSample& sample, uint32_t music_offset, uint32_t now);

// Frames per second for the benchmark line, or a negative value when there is no sound
// figure to print (a clock of 0: the production ended on its first frame).
float BenchmarkFramesPerSecond(int32_t frame_count, uint32_t demo_clock);

// Runs playback from its start to its end. Prints "Audio buffer size:%u\n" when music
// plays and the benchmark line when the production reaches its end.
PlaybackResult RunPlayback(const PlaybackHost& host, const PlaybackSettings& settings);

} // namespace korvane
