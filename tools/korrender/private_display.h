// A private X server for machines without a display: Xvfb started on a free display number
// (it reports the one it took through -displayfd), with software OpenGL, and stopped again
// when korrender ends, even when korrender itself is killed.
#pragma once

#include <string>
#include <sys/types.h>

namespace korvane::korrender {

class PrivateDisplay {
  public:
    PrivateDisplay() = default;
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Starts Xvfb with a screen of at least width x height and sets DISPLAY (and
    // LIBGL_ALWAYS_SOFTWARE unless it is set). False with a message when it cannot.
    bool Start(int width, int height, std::string& error);
    void Stop();

  private:
    pid_t pid_ = -1;
};

} // namespace korvane::korrender
