#include "draw/scene.h"

#include "model/project.h"

namespace korvane {

void DrawScene(Project& project, uint16_t scene_handle, uint32_t /*time*/,
               const RenderCaps& /*caps*/, uint8_t /*renderer_flag*/, float /*camera_y*/,
               float /*camera_z*/, float /*camera_x*/) {
    const Scene* scene = PoolGet(project.scenes, scene_handle);
    if (scene == nullptr)
        return;
    // Scenes are loaded without their objects so far, so there is nothing to draw; the
    // walk over scene->objects, in list order, belongs here.
}

} // namespace korvane
