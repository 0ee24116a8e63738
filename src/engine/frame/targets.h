// Where layers draw: the letterboxed window picture (Viewport), and the render targets,
// cube-map passes and projections that the frame renderer switches between.
#pragma once

#include <cstdint>

#include "gl/render_caps.h"
#include "model/pool.h"

namespace korvane {

struct Layer;
struct ImageTexture;
struct CubeMapTexture;

// The 16:9 picture inside the window, in window pixels with y from the bottom.
struct Viewport {
    uint16_t x = 0, y = 0, width = 0, height = 0;
};

// The view rotations of one pass, in degrees, applied Z, then X, then Y.
struct CameraAngles {
    float z = 0, x = 0, y = 0;
};

// Size class of a target without non-power-of-two textures: 32, 64, 128 or 256.
uint32_t Pow2Class(uint32_t size);

// Resets the render-target state at the start of every frame: no target active, the frame's
// framebuffer-object choice, the window and its viewport, the renderer flag.
void BeginFrameTargets(const RenderCaps& caps, uint32_t window_width, uint32_t window_height,
                       const Viewport& viewport, uint8_t renderer_flag);

// Target switching for "Simple render", "Render to texture", "Render to quarter screen
// texture" and "Cubemap to texture" layers.
void SelectLayerTarget(const Layer& layer, ResourcePool<ImageTexture>& image_files);

// The three stages of a "Render to cubemap" layer: its viewport, the face of each of the
// six passes with its angles (clearing by the layer's flags), and the copy or detach that
// ends it.
void BeginCubeMap(const Layer& layer, ResourcePool<CubeMapTexture>& cube_maps);
CameraAngles SelectCubeFace(int pass, const Layer& layer);
void FinishCubeMap();

// Viewport and angles of one of the six tiles of a "Cubemap to texture" layer.
CameraAngles SelectCubeTile(int pass, ResourcePool<ImageTexture>& image_files);

// Ends the frame's targets: a texture target still active is finished (copied, or the
// window framebuffer bound again), so nothing carries over into the next frame.
void FinishFrameTargets(ResourcePool<ImageTexture>& image_files);

// The projection matrix of a perspective or an orthographic camera.
void SetPerspective(float field_of_view, float aspect, float near_plane, float far_plane);
void SetOrthographic(float left, float right, float bottom, float top, float near_plane,
                     float far_plane);

// Makes the program's one framebuffer object, which every texture and cube-map target
// shares; called once by the renderer set-up when framebuffer objects exist.
void CreateFramebuffer();

// Letterbox or pillarbox a 16:9 picture into a window whose display has the given
// physical width/height ratio.
Viewport ComputeViewport(uint16_t width, uint16_t height, float aspect);

} // namespace korvane
