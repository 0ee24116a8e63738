// The audio-driver fix-up made before SDL starts: an unset driver, or one of the pulse
// family, is replaced by alsa, and AUDIODEV is dropped with it; any other choice stands.
#pragma once

#include <cstdio>

namespace korvane {

void FixAudioDriverEnvironment(std::FILE* out);

} // namespace korvane
