// Scenes and their objects, and DrawScene, which draws the objects of one scene through the
// camera a layer has set up.
#pragma once

#include <cstdint>

#include "gl/render_caps.h"

namespace korvane {

struct Project;

// Draws the scene of the given handle at a time (hundredths of a second), after the frame
// renderer has set the projection and view matrices. The camera angles (degrees) are those
// of the view matrix, for objects that face the camera.
void DrawScene(Project& project, uint16_t scene, uint32_t time, const RenderCaps& caps,
               uint8_t renderer_flag, float camera_y, float camera_z, float camera_x);

} // namespace korvane
