// The choices the launcher hands to the start-up sequence: resolution, display aspect,
// renderer and the four toggles. Toggles are +1 (on) or -1 (off); only +1 counts as on.
#pragma once

#include <cstdint>

namespace korvane {

struct LaunchOptions {
    int resolution_row = 0; // 0 = the desktop size, 1 ... 11 from kResolutionRows
    int aspect_option = 0;  // 0 auto, 1 4:3, 2 16:9, 3 16:10
    int renderer = 1;       // 0 fixed function, 1 GLSL shaders
    int fullscreen = 1;
    int antialiasing = 1;
    int music = 1;
    int vbo = 1;
};

inline bool IsOn(int toggle) {
    return toggle == 1;
}

struct Resolution {
    uint32_t width, height;
};

constexpr int kResolutionRowCount = 12;
// Rows 1 ... 11; row 0 is the desktop size read at start-up.
constexpr Resolution kResolutionRows[kResolutionRowCount] = {
    {0, 0},      {320, 240},  {400, 300},   {512, 384},  {640, 480},   {800, 600},
    {1024, 768}, {1280, 720}, {1280, 1024}, {1440, 900}, {1600, 1200}, {1920, 1080}};

// Window size of a resolution row, given the desktop size for row 0.
Resolution WindowSizeOf(int resolution_row, Resolution desktop);

// Display aspect (width / height of the display) of an aspect option for a window size.
float DisplayAspectOf(int aspect_option, Resolution window);

} // namespace korvane
