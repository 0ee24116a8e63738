#include "player/video_mode.h"

#include <SDL.h>

namespace korvane {

namespace {
const char* const kRetryMessage = "Failed to create opengl context, trying without antialiasing.";
const char* const kRetrySuccessMessage = "Success! :)";
const char* const kNoDriverMessage =
    "Error: failed to create opengl context, please install OpenGL driver.";
const char* const kOtherResolutionMessage =
    "Error: failed to create opengl context, please try another resolution.";
} // namespace

uint32_t VideoModeFlags(bool fullscreen) {
    uint32_t flags = SDL_HWSURFACE | SDL_OPENGL | SDL_ASYNCBLIT;
    if (fullscreen)
        flags |= SDL_FULLSCREEN;
    return flags;
}

VideoModeOutcome OpenVideoMode(const VideoModeCalls& calls, uint32_t width, uint32_t height,
                               bool fullscreen, bool antialiasing, std::FILE* out) {
    uint32_t flags = VideoModeFlags(fullscreen);
    if (calls.set_mode(width, height, flags))
        return VideoModeOutcome::opened;
    if (antialiasing) {
        std::fprintf(out, "%s\n", kRetryMessage);
        calls.set_multisample(0, 0);
        if (calls.set_mode(width, height, flags)) {
            std::fprintf(out, "%s\n", kRetrySuccessMessage);
            return VideoModeOutcome::opened;
        }
    }
    // A small windowed mode tells whether OpenGL works at all.
    bool probe = calls.set_mode(320, 240, VideoModeFlags(false));
    calls.quit();
    std::fprintf(out, "%s\n", probe ? kOtherResolutionMessage : kNoDriverMessage);
    return probe ? VideoModeOutcome::other_resolution : VideoModeOutcome::no_driver;
}

} // namespace korvane
