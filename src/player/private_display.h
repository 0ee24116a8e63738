// A private X server: Xvfb started on a free display number (it reports the one it took
// through -displayfd) and stopped again when its owner ends, even when the owner is killed.
// korrender renders on one when there is no display; tests give each player its own, since
// fullscreen windows on one display wait for each other's keyboard grab.
#pragma once

#include <string>
#include <sys/types.h>

namespace korvane {

class PrivateDisplay {
  public:
    PrivateDisplay() = default;
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Starts Xvfb with a screen of at least width x height. False with a message when it
    // cannot.
    bool Start(int width, int height, std::string& error);
    void Stop();

    // The display's name for DISPLAY, e.g. ":3"; empty while none runs.
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

} // namespace korvane
