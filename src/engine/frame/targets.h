// Where layers draw: the letterboxed window picture (Viewport), and the render targets,
// cube-map passes and projections that the frame renderer switches between. Targets are
// drawn through the program's one framebuffer object when the driver has one, and by
// copying from the window's back buffer otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "gl/render_caps.h"
#include "math/matrices.h"
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

struct TargetSize {
    uint32_t width = 0, height = 0;
};

// A rectangle of a target or of the window, y from the bottom.
struct TargetRect {
    uint32_t x = 0, y = 0, width = 0, height = 0;
};

// The state of drawing targets during one frame. Reset at the start of every frame; one
// instance for the whole program.
struct RenderTargetState {
    bool target_active = false; // a texture target is being drawn into
    bool fbo = false;           // targets are drawn through the framebuffer object
    bool npot = false;          // targets may have any size
    uint16_t window_width = 0, window_height = 0;
    uint16_t half_width = 0, half_height = 0;
    Viewport viewport; // the window's picture, where "Simple render" layers draw
    uint8_t renderer_flag = kRendererGlsl;
    uint32_t current_target = 0; // image-file handle being drawn into, 0 = none
    // A cube layer or a "Cubemap to texture" layer that has nothing to draw into draws
    // nowhere (empty viewport and scissor box) until a layer picks a target again.
    bool drawing_nowhere = false;
};

const RenderTargetState& GetRenderTargetState();

// Size class of a target without non-power-of-two textures: 32, 64, 128 or 256.
uint32_t Pow2Class(uint32_t size);

// The size of a "Render to quarter screen texture" target in a window.
TargetSize QuarterScreenSize(uint16_t window_width, uint16_t window_height, bool npot);

// Without framebuffer objects a target is copied from the back buffer, so it must fit in
// the window: the size to remake a target at, or none when it fits.
std::optional<TargetSize> CopyTargetSize(TargetSize target, uint16_t window_width,
                                         uint16_t window_height, bool npot);

// The parts of the window outside its picture: below, above, left and right of the viewport
// (empty rectangles where there is no bar).
std::array<TargetRect, 4> LetterboxBars(const Viewport& viewport, uint16_t window_width,
                                        uint16_t window_height);

// The six passes of a "Render to cubemap" layer: the face each pass draws into, as a GL
// cube-map face target, and the view angles that look through that face.
struct CubeFacePass {
    uint32_t face;
    CameraAngles angles;
};
inline constexpr std::array<CubeFacePass, 6> kCubeFacePasses = {{
    {0x8516, {180, 0, 270}},   // GL_TEXTURE_CUBE_MAP_NEGATIVE_X
    {0x8515, {180, 0, 90}},    // GL_TEXTURE_CUBE_MAP_POSITIVE_X
    {0x8517, {180, 270, 180}}, // GL_TEXTURE_CUBE_MAP_POSITIVE_Y
    {0x8518, {180, 90, 180}},  // GL_TEXTURE_CUBE_MAP_NEGATIVE_Y
    {0x8519, {180, 0, 180}},   // GL_TEXTURE_CUBE_MAP_POSITIVE_Z
    {0x851A, {0, 180, 180}},   // GL_TEXTURE_CUBE_MAP_NEGATIVE_Z
}};

// The six passes of a "Cubemap to texture" layer: a 3 x 2 grid of tiles (column, row from
// the bottom) and the angles of the cube view each tile shows.
struct CubeTilePass {
    uint8_t column, row;
    CameraAngles angles;
};
inline constexpr std::array<CubeTilePass, 6> kCubeTilePasses = {{
    {0, 0, {180, 0, 0}},
    {1, 0, {180, 0, 180}},
    {2, 0, {180, 270, 270}},
    {0, 1, {180, 90, 270}},
    {1, 1, {180, 0, 270}},
    {2, 1, {0, 180, 270}},
}};

// The tile of a pass (0 ... 5) inside a target of the given size.
TargetRect CubeTileRect(int pass, TargetSize target);

// Resets the render-target state at the start of every frame: no target active, the frame's
// framebuffer-object choice, the window and its viewport, the renderer flag.
void BeginFrameTargets(const RenderCaps& caps, uint32_t window_width, uint32_t window_height,
                       const Viewport& viewport, uint8_t renderer_flag);

// (Re)makes an image texture as a render target of a size: a new RGB texture with linear
// filtering, and the depth renderbuffer when framebuffer objects are in use.
void CreateRenderTarget(uint32_t width, uint32_t height, ImageTexture& texture);

// Binds the program's framebuffer object with the texture (level 0 of a 2D texture or of a
// cube face) as its colour and the renderbuffer as its depth. False when the framebuffer
// turns out incomplete.
bool AttachRenderTarget(uint32_t texture, uint32_t renderbuffer, uint32_t texture_target);

// Binds the window's framebuffer again.
void DetachRenderTarget();

// Target switching for "Simple render", "Render to texture", "Render to quarter screen
// texture" and "Cubemap to texture" layers.
void SelectLayerTarget(const Layer& layer, ResourcePool<ImageTexture>& image_files);

// The three stages of a "Render to cubemap" layer: its viewport, the face of each of the
// six passes with its angles (clearing by the layer's flags), and the copy or detach that
// ends it.
void BeginCubeMap(const Layer& layer, ResourcePool<CubeMapTexture>& cube_maps,
                  ResourcePool<ImageTexture>& image_files);
CameraAngles SelectCubeFace(int pass, const Layer& layer);
void FinishCubeMap();

// Viewport and angles of one of the six tiles of a "Cubemap to texture" layer.
CameraAngles SelectCubeTile(int pass, ResourcePool<ImageTexture>& image_files);

// Ends the frame's targets: a texture target still active is finished (copied, or the
// window framebuffer bound again), so nothing carries over into the next frame.
void FinishFrameTargets(ResourcePool<ImageTexture>& image_files);

// The projection matrix of a perspective or an orthographic camera; the Set forms write
// the program's projection matrix.
Matrix4 PerspectiveMatrix(float field_of_view, float aspect, float near_plane, float far_plane);
Matrix4 OrthographicMatrix(float left, float right, float bottom, float top, float near_plane,
                           float far_plane);
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
