#include "player/audio_environment.h"

#include <cstdlib>
#include <cstring>

namespace korvane {

namespace {
const char* const kUnsetMessage = "Changing SDL_AUDIODRIVER to alsa.";
const char* const kPulseMessage = "Changing SDL_AUDIODRIVER from pulse to alsa.";
} // namespace

void FixAudioDriverEnvironment(std::FILE* out) {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (driver == nullptr) {
        std::fprintf(out, "%s\n", kUnsetMessage);
    } else if (std::strncmp(driver, "pulse", 5) == 0) {
        // A prefix test: "pulseaudio" is one of the family too.
        std::fprintf(out, "%s\n", kPulseMessage);
    } else {
        return;
    }
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    unsetenv("AUDIODEV");
}

} // namespace korvane
