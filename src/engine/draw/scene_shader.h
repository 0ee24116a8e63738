// The shader path of scene drawing: a mesh drawn with its material's GLSL program, one draw
// per instance with the instance's matrices as uniforms.
#pragma once

#include <cstdint>

#include "draw/scene.h"
#include "gl/render_caps.h"

namespace korvane {

struct Project;

// Draws every instance of one object draw with the program of its material: vertex data from
// the mesh file's buffer objects when caps vbo is set and the mesh has them, else from the
// client arrays (always for dynamic meshes); the camera angles (degrees) are those of the view
// matrix.
void DrawInstancesShader(Project& project, const ObjectDraw& draw, uint32_t time,
                         const RenderCaps& caps, float camera_y, float camera_z, float camera_x);

} // namespace korvane
