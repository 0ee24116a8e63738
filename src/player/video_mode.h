// Opening the OpenGL video mode: one retry without antialiasing when multisampling is
// what failed, and a small probe mode that tells a missing driver from a resolution the
// driver refuses. The SDL calls come in through VideoModeCalls so tests can refuse them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

namespace korvane {

struct VideoModeCalls {
    // SDL_SetVideoMode with 24 bits per pixel; true when a surface came back.
    std::function<bool(uint32_t width, uint32_t height, uint32_t flags)> set_mode;
    std::function<void(int buffers, int samples)> set_multisample;
    std::function<void()> quit; // SDL_Quit
};

enum class VideoModeOutcome {
    opened,
    no_driver,        // not even the 320 x 240 probe opened
    other_resolution, // the probe opened: the chosen size is what failed
};

// Flags of the player's window: hardware surface, OpenGL, asynchronous blits, and
// fullscreen when asked for.
uint32_t VideoModeFlags(bool fullscreen);

VideoModeOutcome OpenVideoMode(const VideoModeCalls& calls, uint32_t width, uint32_t height,
                               bool fullscreen, bool antialiasing, std::FILE* out);

} // namespace korvane
