// Scenes and their objects, and DrawScene, which draws the objects of one scene through the
// camera a layer has set up.
#pragma once

#include <cstdint>

#include "gl/render_caps.h"
#include "model/pool.h"

namespace korvane {

struct Project;
struct SceneObject;

// One scene of the project's scene pool: its objects, drawn in list order. A scene without
// objects is still a scene: a layer that draws it counts as drawing.
struct Scene {
    SmallResourcePool<SceneObject> objects;
};

// Draws the scene of the given handle at a time (hundredths of a second), after the frame
// renderer has set the projection and view matrices. The camera angles (degrees) are those
// of the view matrix, for objects that face the camera.
void DrawScene(Project& project, uint16_t scene, uint32_t time, const RenderCaps& caps,
               uint8_t renderer_flag, float camera_y, float camera_z, float camera_x);

} // namespace korvane
