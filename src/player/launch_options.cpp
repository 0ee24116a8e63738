#include "player/launch_options.h"

namespace korvane {

Resolution WindowSizeOf(int resolution_row, Resolution desktop) {
    if (resolution_row <= 0 || resolution_row >= kResolutionRowCount)
        return desktop;
    return kResolutionRows[resolution_row];
}

float DisplayAspectOf(int aspect_option, Resolution window) {
    switch (aspect_option) {
    case 1:
        return 1.3333334f;
    case 2:
        return 1.7777778f;
    case 3:
        return 1.6f;
    default:
        return static_cast<float>(window.width) / static_cast<float>(window.height);
    }
}

} // namespace korvane
