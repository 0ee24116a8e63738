#include "frame/targets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "frame/timeline.h"
#include "gl/gl.h"
#include "texture/image_texture.h"

namespace korvane {

namespace {

const char* const kFramebufferIncomplete =
    "Framebuffer incomplete (status 0x%04x): render targets are copied from the window from "
    "now on.\n";

GLuint framebuffer = 0;          // shared by all targets; made once at start-up
bool framebuffer_failed = false; // an incomplete framebuffer was reported: copy from then on
RenderTargetState state;
// Whether the active target is drawn through the framebuffer; it stays so even if the
// framebuffer is given up by a later target of the same frame.
bool target_through_framebuffer = false;

// The "Render to cubemap" layer in progress, from BeginCubeMap to FinishCubeMap; none when
// its handle names no cube map with an image to draw into.
CubeMapTexture* cube_target = nullptr;
bool cube_through_framebuffer = false;
// Without the framebuffer, each pass after this one first copies the picture of the pass
// before it into its face. A cube that loses the framebuffer halfway already holds the
// faces drawn through it.
int cube_first_drawn_pass = 0;

GLenum AttachAndCheck(GLuint texture, GLuint renderbuffer, GLenum texture_target) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, texture_target, texture,
                              0);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                 renderbuffer);
    return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
}

// The framebuffer cannot take a target: say so once and draw every target by copying from
// the back buffer from now on, this frame included.
void AbandonFramebuffer(GLenum status) {
    DetachRenderTarget();
    std::fprintf(stderr, kFramebufferIncomplete, static_cast<unsigned>(status));
    framebuffer_failed = true;
    state.fbo = false;
}

void MakeDepthRenderbuffer(uint32_t& renderbuffer, uint32_t width, uint32_t height) {
    if (renderbuffer == 0) {
        GLuint name = 0;
        glGenRenderbuffersEXT(1, &name);
        renderbuffer = name;
    }
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, renderbuffer);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(width),
                             static_cast<GLsizei>(height));
}

// A mipmapped texture drawn into would keep its old smaller levels: it is sampled from
// level 0 only from then on. The texture must be bound.
void SwitchMipmappedToLinear(ImageTexture& texture) {
    if (texture.filter != kFilterMipmapped)
        return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    texture.filter = kFilterLinear;
}

// The part of a target that lies in the window; a target is never larger after
// SelectLayerTarget, but a copy must never read outside the back buffer.
GLsizei CopyWidth(uint32_t width) {
    return static_cast<GLsizei>(std::min<uint32_t>(width, state.window_width));
}
GLsizei CopyHeight(uint32_t height) {
    return static_cast<GLsizei>(std::min<uint32_t>(height, state.window_height));
}

// Without the framebuffer the target's layers were drawn into the lower left of the back
// buffer; that picture becomes the texture.
void CopyCurrentTarget(ResourcePool<ImageTexture>& image_files) {
    ImageTexture* target = PoolGet(image_files, state.current_target);
    if (target == nullptr || target->gl_texture == 0)
        return;
    glBindTexture(GL_TEXTURE_2D, target->gl_texture);
    SwitchMipmappedToLinear(*target);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, CopyWidth(target->width),
                        CopyHeight(target->height));
}

// Without the framebuffer, targets are drawn into the back buffer with the scissor test off,
// so their clears and pictures cover the letterbox bars too. Once a picture has been copied
// out, the bars are made black again; the renderer's scissor and clear colour stay.
void ClearLetterboxBars() {
    GLfloat clear_colour[4];
    GLint scissor_box[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
    glGetIntegerv(GL_SCISSOR_BOX, scissor_box);
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glEnable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    for (const TargetRect& bar :
         LetterboxBars(state.viewport, state.window_width, state.window_height)) {
        if (bar.width == 0 || bar.height == 0)
            continue;
        glScissor(static_cast<GLint>(bar.x), static_cast<GLint>(bar.y),
                  static_cast<GLsizei>(bar.width), static_cast<GLsizei>(bar.height));
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glScissor(scissor_box[0], scissor_box[1], scissor_box[2], scissor_box[3]);
    if (!scissor)
        glDisable(GL_SCISSOR_TEST);
    glClearColor(clear_colour[0], clear_colour[1], clear_colour[2], clear_colour[3]);
}

void DrawIntoWindow() {
    const Viewport& v = state.viewport;
    glViewport(v.x, v.y, v.width, v.height);
    glScissor(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
    state.drawing_nowhere = false;
}

// A layer with nothing to draw into draws nothing, rather than drawing its picture into the
// window or into another layer's target. The empty scissor box stops its clears too.
void DrawNowhere() {
    glViewport(0, 0, 0, 0);
    glScissor(0, 0, 0, 0);
    glEnable(GL_SCISSOR_TEST);
    state.drawing_nowhere = true;
}

// What a "Simple render" layer does to an active target: finish it, and draw into the
// window's picture again.
void EndTarget(ResourcePool<ImageTexture>& image_files) {
    if (target_through_framebuffer) {
        DetachRenderTarget();
    } else {
        CopyCurrentTarget(image_files);
        ClearLetterboxBars();
    }
    DrawIntoWindow();
    state.target_active = false;
    state.current_target = 0;
}

// Attaches an image texture through the framebuffer. A texture loaded from an image may
// have a format that cannot be drawn into: remade as a plain target, it can. False when
// even that fails and the framebuffer has been given up.
bool AttachImageTarget(ImageTexture& target) {
    if (target.depth_renderbuffer == 0)
        MakeDepthRenderbuffer(target.depth_renderbuffer, target.width, target.height);
    glBindTexture(GL_TEXTURE_2D, target.gl_texture);
    SwitchMipmappedToLinear(target);
    if (AttachAndCheck(target.gl_texture, target.depth_renderbuffer, GL_TEXTURE_2D) ==
        GL_FRAMEBUFFER_COMPLETE_EXT)
        return true;
    CreateRenderTarget(target.width, target.height, target);
    GLenum status = AttachAndCheck(target.gl_texture, target.depth_renderbuffer, GL_TEXTURE_2D);
    if (status == GL_FRAMEBUFFER_COMPLETE_EXT)
        return true;
    AbandonFramebuffer(status);
    return false;
}

void CopyIntoCubeFace(int pass) {
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube_target->gl_texture);
    glCopyTexSubImage2D(kCubeFacePasses[pass].face, 0, 0, 0, 0, 0, CopyWidth(cube_target->width),
                        CopyHeight(cube_target->height));
}

void ClearByFlags(uint8_t clear_flags) {
    if (clear_flags & 1)
        glClear(GL_COLOR_BUFFER_BIT);
    if (clear_flags & 2)
        glClear(GL_DEPTH_BUFFER_BIT);
}

} // namespace

const RenderTargetState& GetRenderTargetState() {
    return state;
}

uint32_t Pow2Class(uint32_t size) {
    if (size < 64)
        return 32;
    if (size < 128)
        return 64;
    if (size < 256)
        return 128;
    return 256;
}

TargetSize QuarterScreenSize(uint16_t window_width, uint16_t window_height, bool npot) {
    uint32_t half_width = window_width >> 1;
    uint32_t half_height = window_height >> 1;
    if (npot)
        return {half_width, half_height};
    return {Pow2Class(half_width), Pow2Class(half_height)};
}

std::optional<TargetSize> CopyTargetSize(TargetSize target, uint16_t window_width,
                                         uint16_t window_height, bool npot) {
    if (target.width <= window_width && target.height <= window_height)
        return std::nullopt;
    if (npot)
        return TargetSize{window_width, window_height};
    return TargetSize{Pow2Class(window_width), Pow2Class(window_height)};
}

std::array<TargetRect, 4> LetterboxBars(const Viewport& viewport, uint16_t window_width,
                                        uint16_t window_height) {
    const uint32_t top = std::min<uint32_t>(window_height, uint32_t{viewport.y} + viewport.height);
    const uint32_t right = std::min<uint32_t>(window_width, uint32_t{viewport.x} + viewport.width);
    return {{
        {0, 0, window_width, std::min<uint32_t>(viewport.y, window_height)},
        {0, top, window_width, window_height - top},
        {0, 0, std::min<uint32_t>(viewport.x, window_width), window_height},
        {right, 0, window_width - right, window_height},
    }};
}

TargetRect CubeTileRect(int pass, TargetSize target) {
    const CubeTilePass& tile = kCubeTilePasses[static_cast<size_t>(pass) % kCubeTilePasses.size()];
    uint32_t tile_width = Pow2Class(target.width / 3);
    uint32_t tile_height = Pow2Class(target.height / 2);
    return {tile.column * tile_width, tile.row * tile_height, tile_width, tile_height};
}

void BeginFrameTargets(const RenderCaps& caps, uint32_t window_width, uint32_t window_height,
                       const Viewport& viewport, uint8_t renderer_flag) {
    state = RenderTargetState{};
    target_through_framebuffer = false;
    state.fbo = caps.fbo != 0 && framebuffer != 0 && !framebuffer_failed;
    state.npot = caps.npot != 0;
    state.window_width = static_cast<uint16_t>(window_width);
    state.window_height = static_cast<uint16_t>(window_height);
    state.half_width = static_cast<uint16_t>(state.window_width >> 1);
    state.half_height = static_cast<uint16_t>(state.window_height >> 1);
    state.viewport = viewport;
    state.renderer_flag = renderer_flag;
}

void CreateRenderTarget(uint32_t width, uint32_t height, ImageTexture& texture) {
    if (texture.gl_texture != 0) {
        GLuint old_name = texture.gl_texture;
        glDeleteTextures(1, &old_name);
        texture.gl_texture = 0;
    }
    texture.width = width;
    texture.height = height;
    texture.channels = 3;
    GLuint name = 0;
    glGenTextures(1, &name);
    texture.gl_texture = name;
    // Zeroed, so a target starts black until something is drawn into it.
    texture.pixels.assign(static_cast<size_t>(width) * 3 * height, 0);
    glBindTexture(GL_TEXTURE_2D, name);
    // The buffer's rows are packed: an odd width must not make GL read past its end.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, GL_RGB, GL_UNSIGNED_BYTE,
                 texture.pixels.empty() ? nullptr : texture.pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    texture.filter = kFilterLinear;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    if (state.fbo)
        MakeDepthRenderbuffer(texture.depth_renderbuffer, width, height);
}

bool AttachRenderTarget(uint32_t texture, uint32_t renderbuffer, uint32_t texture_target) {
    return AttachAndCheck(texture, renderbuffer, texture_target) == GL_FRAMEBUFFER_COMPLETE_EXT;
}

void DetachRenderTarget() {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void SelectLayerTarget(const Layer& layer, ResourcePool<ImageTexture>& image_files) {
    RenderType type = layer.render_type;
    if (type == RenderType::kSimpleRender) {
        if (state.target_active)
            EndTarget(image_files);
        else if (state.drawing_nowhere)
            DrawIntoWindow();
        return;
    }
    if (type != RenderType::kRenderToTexture && type != RenderType::kRenderToQuarterScreenTexture &&
        type != RenderType::kCubemapToTexture)
        return;

    if (state.target_active && !target_through_framebuffer)
        CopyCurrentTarget(image_files);
    if (layer.rtex == 0)
        return;
    ImageTexture* target = PoolGet(image_files, layer.rtex);
    if (type == RenderType::kRenderToQuarterScreenTexture && target != nullptr) {
        TargetSize wanted = QuarterScreenSize(state.window_width, state.window_height, state.npot);
        if (target->width != wanted.width || target->height != wanted.height)
            CreateRenderTarget(wanted.width, wanted.height, *target);
    }
    if (target == nullptr || target->width == 0 || target->height == 0) {
        DrawNowhere();
        return;
    }

    if (state.fbo)
        AttachImageTarget(*target);
    if (!state.fbo) {
        std::optional<TargetSize> fitted = CopyTargetSize(
            {target->width, target->height}, state.window_width, state.window_height, state.npot);
        if (fitted)
            CreateRenderTarget(fitted->width, fitted->height, *target);
    }
    glViewport(0, 0, static_cast<GLsizei>(target->width), static_cast<GLsizei>(target->height));
    glDisable(GL_SCISSOR_TEST);
    state.drawing_nowhere = false;
    state.target_active = true;
    state.current_target = layer.rtex;
    target_through_framebuffer = state.fbo;
}

void BeginCubeMap(const Layer& layer, ResourcePool<CubeMapTexture>& cube_maps,
                  ResourcePool<ImageTexture>& image_files) {
    // A texture target drawn without the framebuffer still has its picture in the back
    // buffer, which the cube's passes are about to draw over: it is copied out first, or
    // the texture would end up holding a cube face.
    if (state.target_active && !target_through_framebuffer)
        EndTarget(image_files);
    cube_target = layer.rtex == 0 ? nullptr : PoolGet(cube_maps, layer.rtex);
    if (cube_target != nullptr &&
        (cube_target->gl_texture == 0 || cube_target->width == 0 || cube_target->height == 0))
        cube_target = nullptr;
    cube_through_framebuffer = state.fbo;
    cube_first_drawn_pass = 0;
    if (cube_target == nullptr) {
        DrawNowhere();
        return;
    }
    glViewport(0, 0, static_cast<GLsizei>(cube_target->width),
               static_cast<GLsizei>(cube_target->height));
    glDisable(GL_SCISSOR_TEST);
    state.drawing_nowhere = false;
    if (!cube_through_framebuffer)
        return;
    if (cube_target->depth_renderbuffer == 0)
        MakeDepthRenderbuffer(cube_target->depth_renderbuffer, cube_target->width,
                              cube_target->height);
    // The layer clears once before its first pass: that clear belongs to the cube, not to
    // the window (whose letterbox bars it would paint, the scissor being off).
    GLenum status = AttachAndCheck(cube_target->gl_texture, cube_target->depth_renderbuffer,
                                   kCubeFacePasses[0].face);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
        AbandonFramebuffer(status);
        cube_through_framebuffer = false;
    }
}

CameraAngles SelectCubeFace(int pass, const Layer& layer) {
    if (pass < 0 || pass >= static_cast<int>(kCubeFacePasses.size()))
        return {};
    if (cube_target != nullptr) {
        if (cube_through_framebuffer) {
            GLenum status = AttachAndCheck(cube_target->gl_texture, cube_target->depth_renderbuffer,
                                           kCubeFacePasses[pass].face);
            if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
                AbandonFramebuffer(status);
                cube_through_framebuffer = false;
                cube_first_drawn_pass = pass;
            }
        } else if (pass > cube_first_drawn_pass) {
            CopyIntoCubeFace(pass - 1);
        }
    }
    ClearByFlags(layer.clear_flags);
    return kCubeFacePasses[pass].angles;
}

void FinishCubeMap() {
    if (cube_target != nullptr) {
        if (cube_through_framebuffer) {
            DetachRenderTarget();
        } else {
            CopyIntoCubeFace(static_cast<int>(kCubeFacePasses.size()) - 1);
            // A texture target still to be copied has its picture in the back buffer, bars
            // included; its own finish cleans them.
            if (!state.target_active || target_through_framebuffer)
                ClearLetterboxBars();
        }
    }
    cube_target = nullptr;
    const Viewport& v = state.viewport;
    glViewport(v.x, v.y, v.width, v.height);
    // Layers drawing into the window again must not clear the letterbox bars; a texture
    // target still active is drawn without the scissor, as when it was selected.
    glScissor(v.x, v.y, v.width, v.height);
    if (state.target_active)
        glDisable(GL_SCISSOR_TEST);
    else
        glEnable(GL_SCISSOR_TEST);
    state.drawing_nowhere = false;
}

CameraAngles SelectCubeTile(int pass, ResourcePool<ImageTexture>& image_files) {
    if (pass < 0 || pass >= static_cast<int>(kCubeTilePasses.size()))
        return {};
    const ImageTexture* target =
        state.target_active ? PoolGet(image_files, state.current_target) : nullptr;
    if (target == nullptr || state.drawing_nowhere) {
        DrawNowhere();
    } else {
        TargetRect tile = CubeTileRect(pass, {target->width, target->height});
        glViewport(static_cast<GLint>(tile.x), static_cast<GLint>(tile.y),
                   static_cast<GLsizei>(tile.width), static_cast<GLsizei>(tile.height));
    }
    return kCubeTilePasses[pass].angles;
}

void FinishFrameTargets(ResourcePool<ImageTexture>& image_files) {
    if (state.target_active)
        EndTarget(image_files);
    else if (state.drawing_nowhere)
        DrawIntoWindow();
}

Matrix4 PerspectiveMatrix(float field_of_view, float aspect, float near_plane, float far_plane) {
    // The half angle in radians: degrees / 360 in single precision, times pi in double.
    float turns = field_of_view * 0.0027777778f;
    float half_angle = static_cast<float>(static_cast<double>(turns) * 3.14159265358979323846);
    float f = 1.0f / std::tan(half_angle);
    float d = 1.0f / (near_plane - far_plane);
    Matrix4 m{};
    m[0] = f / aspect;
    m[5] = f;
    m[10] = (near_plane + far_plane) * d;
    m[11] = -1.0f;
    m[14] = d * (2.0f * far_plane * near_plane);
    return m;
}

Matrix4 OrthographicMatrix(float left, float right, float bottom, float top, float near_plane,
                           float far_plane) {
    float a = 1.0f / (right - left);
    float b = 1.0f / (top - bottom);
    float e = 1.0f / (near_plane - far_plane);
    Matrix4 m{};
    m[0] = 2.0f * a;
    m[5] = 2.0f * b;
    m[10] = 2.0f * e;
    m[12] = -(left + right) * a;
    m[13] = -(bottom + top) * b;
    m[14] = e * (far_plane + near_plane);
    m[15] = 1.0f;
    return m;
}

void SetPerspective(float field_of_view, float aspect, float near_plane, float far_plane) {
    GetMatrixSet().projection = PerspectiveMatrix(field_of_view, aspect, near_plane, far_plane);
}

void SetOrthographic(float left, float right, float bottom, float top, float near_plane,
                     float far_plane) {
    GetMatrixSet().projection = OrthographicMatrix(left, right, bottom, top, near_plane, far_plane);
}

void CreateFramebuffer() {
    if (framebuffer == 0)
        glGenFramebuffersEXT(1, &framebuffer);
}

Viewport ComputeViewport(uint16_t width, uint16_t height, float aspect) {
    Viewport viewport;
    if (static_cast<double>(aspect) < 1.7777777777) {
        // Narrower than 16:9: bars above and below.
        float h = aspect * (static_cast<float>(height) * 0.5625f);
        int bar_height = static_cast<int>(h);
        viewport.x = 0;
        viewport.y = static_cast<uint16_t>((height - bar_height) / 2);
        viewport.width = width;
        viewport.height = static_cast<uint16_t>(bar_height);
    } else {
        // As wide as 16:9 or wider: bars left and right.
        float w = (1.7777778f / aspect) * static_cast<float>(width);
        int picture_width = static_cast<int>(w);
        viewport.x = static_cast<uint16_t>((width - picture_width) / 2);
        viewport.y = 0;
        viewport.width = static_cast<uint16_t>(picture_width);
        viewport.height = height;
    }
    return viewport;
}

} // namespace korvane
