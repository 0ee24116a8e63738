// Driving a program's window from a test the way a user would: find it by its title on an
// X display, press a key in it, or close it as a window manager's close button does.
#pragma once

#include <string>

namespace korvane::test {

// The X window id of the window with this title that the process made (tests running at
// the same time may show windows of the same title), waiting for it to appear; 0 when
// none appeared in time.
unsigned long FindWindowOfProcess(const std::string& display, int pid, const std::string& title,
                                  double timeout_seconds);

// Sends a key press (and no release: the key stays down) to the window.
bool PressKey(const std::string& display, unsigned long window, const std::string& key_name);

// Asks the window to close, as the close button of a window manager does.
bool CloseWindow(const std::string& display, unsigned long window);

} // namespace korvane::test
