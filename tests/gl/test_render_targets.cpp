// Render targets on a real GL context, through the framebuffer object and by copying from
// the back buffer: layers draw known pictures into textures, cube faces and tiles, and the
// tests read the pixels back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "frame/targets.h"
#include "frame/timeline.h"
#include "gl/gl_harness.h"
#include "model/pool.h"
#include "texture/image_texture.h"

using namespace korvane;
using namespace korvane::gltest;

namespace {

const Rgb kBlack{0, 0, 0};
const Rgb kRed{255, 0, 0};
const Rgb kGreen{0, 255, 0};
const Rgb kBlue{0, 0, 255};
const Rgb kWhite{255, 255, 255};
const Rgb kGrey{128, 128, 128};
const Rgb kPassColours[6] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                             {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};

Layer LayerOf(RenderType type, uint16_t rtex, uint8_t clear_flags = 0) {
    Layer layer;
    layer.render_type = type;
    layer.rtex = rtex;
    layer.clear_flags = clear_flags;
    return layer;
}

struct GlRect {
    GLint x, y, width, height;
};
GlRect CurrentViewport() {
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    return {v[0], v[1], v[2], v[3]};
}
GlRect CurrentScissorBox() {
    GLint v[4];
    glGetIntegerv(GL_SCISSOR_BOX, v);
    return {v[0], v[1], v[2], v[3]};
}
GLint BoundFramebuffer() {
    GLint name = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &name);
    return name;
}

void ExpectRect(const GlRect& rect, GLint x, GLint y, GLint width, GLint height) {
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

// After a target is finished, layers draw into the window's picture and their clears stay
// off the letterbox bars.
void ExpectDrawingIntoWindow() {
    const Viewport& v = WindowViewport();
    EXPECT_EQ(BoundFramebuffer(), 0);
    ExpectRect(CurrentViewport(), v.x, v.y, v.width, v.height);
    ExpectRect(CurrentScissorBox(), v.x, v.y, v.width, v.height);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_FALSE(GetRenderTargetState().target_active);
    EXPECT_FALSE(GetRenderTargetState().drawing_nowhere);
}

// The window's picture centre and a point in the bar below it.
Rgb WindowCentre() {
    return WindowPixel(kWindowWidth / 2, kWindowHeight / 2);
}
Rgb WindowBar() {
    return WindowPixel(5, 5);
}

class RenderTargets : public testing::TestWithParam<bool> {
  protected:
    std::unique_ptr<ResourcePool<ImageTexture>> images = CreatePool<ResourcePool<ImageTexture>>();
    std::unique_ptr<ResourcePool<CubeMapTexture>> cubes =
        CreatePool<ResourcePool<CubeMapTexture>>();

    void SetUp() override {
        ASSERT_TRUE(GlReady()) << GlFailure();
        if (Fbo() && !GetRenderCaps().fbo)
            GTEST_SKIP() << "the driver has no framebuffer objects";
        ResetWindow();
    }
    void TearDown() override { BindWindowFramebuffer(); }

    bool Fbo() const { return GetParam(); }
    void BeginFrame(bool npot = true) {
        BeginFrameTargets(CapsWith(Fbo(), npot), kWindowWidth, kWindowHeight, WindowViewport(),
                          kRendererGlsl);
        ASSERT_EQ(GetRenderTargetState().fbo, Fbo());
    }
    ImageTexture& Image(uint16_t handle) { return *PoolGet(*images, handle); }
};

INSTANTIATE_TEST_SUITE_P(Paths, RenderTargets, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Framebuffer" : "Copy");
                         });

TEST_P(RenderTargets, RenderToTextureDrawsIntoTheTextureThenTheWindowAgain) {
    uint16_t t = AddImage(*images, 64, 32, kFilterMipmapped);
    BeginFrame();
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, t), *images);
    EXPECT_TRUE(GetRenderTargetState().target_active);
    EXPECT_EQ(GetRenderTargetState().current_target, t);
    ExpectRect(CurrentViewport(), 0, 0, 64, 32);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_EQ(BoundFramebuffer() != 0, Fbo());
    // A known picture: red with a green upper-right quarter. The clear is what a layer's
    // flags do; without the framebuffer it covers the whole back buffer.
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    FillViewport(kRed);
    FillRect(32, 16, 32, 16, kGreen);

    SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
    ExpectDrawingIntoWindow();
    EXPECT_EQ(GetRenderTargetState().current_target, 0u);

    ImageTexture& image = Image(t);
    EXPECT_EQ(image.width, 64u) << "a target that fits is not remade";
    EXPECT_EQ(image.height, 32u);
    TextureImage picture = ReadTexture(image.gl_texture);
    EXPECT_EQ(picture.At(0, 0), kRed);
    EXPECT_EQ(picture.At(31, 15), kRed);
    EXPECT_EQ(picture.At(32, 16), kGreen);
    EXPECT_EQ(picture.At(63, 31), kGreen);
    // A mipmapped texture drawn into is sampled from its level 0 only.
    EXPECT_EQ(image.filter, kFilterLinear);
    GLint min_filter = 0;
    glBindTexture(GL_TEXTURE_2D, image.gl_texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
    EXPECT_EQ(min_filter, GL_LINEAR);
    if (Fbo()) {
        EXPECT_NE(image.depth_renderbuffer, 0u);
        EXPECT_EQ(WindowCentre(), kBlack) << "the window is untouched by the target's layers";
    }
    EXPECT_EQ(WindowBar(), kBlack) << "the letterbox bars stay black";
}

TEST_P(RenderTargets, QuarterScreenTargetsTakeHalfTheWindow) {
    const struct {
        bool npot;
        uint32_t width, height;
    } cases[] = {{true, 160, 120}, {false, 128, 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.npot ? "npot" : "power of two");
        uint16_t t = AddImage(*images, 16, 16, kFilterNearest);
        BeginFrame(c.npot);
        SelectLayerTarget(LayerOf(RenderType::kRenderToQuarterScreenTexture, t), *images);
        ImageTexture& image = Image(t);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.channels, 3u);
        EXPECT_EQ(image.filter, kFilterLinear);
        EXPECT_EQ(image.pixels.size(), size_t{c.width} * c.height * 3);
        ExpectRect(CurrentViewport(), 0, 0, static_cast<GLint>(c.width),
                   static_cast<GLint>(c.height));
        FillViewport(kBlue);
        FillRect(0, 0, 1, 1, kWhite);
        SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
        TextureImage picture = ReadTexture(image.gl_texture);
        EXPECT_EQ(picture.width, static_cast<int>(c.width));
        EXPECT_EQ(picture.height, static_cast<int>(c.height));
        EXPECT_EQ(picture.At(0, 0), kWhite);
        EXPECT_EQ(picture.At(picture.width - 1, picture.height - 1), kBlue);
        ResetWindow();
    }
}

TEST_P(RenderTargets, CopiedTargetsAreRemadeToFitTheWindow) {
    const struct {
        bool npot;
        uint32_t copy_width, copy_height;
    } cases[] = {{true, 320, 240}, {false, 256, 128}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.npot ? "npot" : "power of two");
        uint16_t t = AddImage(*images, 1024, 1024, kFilterLinear);
        BeginFrame(c.npot);
        SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, t), *images);
        ImageTexture& image = Image(t);
        // Only a target copied from the back buffer must fit in the window.
        uint32_t width = Fbo() ? 1024 : c.copy_width;
        uint32_t height = Fbo() ? 1024 : c.copy_height;
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
        FillViewport(kGreen);
        FillRect(static_cast<int>(width) - 1, static_cast<int>(height) - 1, 1, 1, kRed);
        SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
        TextureImage picture = ReadTexture(image.gl_texture);
        EXPECT_EQ(picture.width, static_cast<int>(width));
        EXPECT_EQ(picture.height, static_cast<int>(height));
        EXPECT_EQ(picture.At(0, 0), kGreen);
        EXPECT_EQ(picture.At(picture.width - 1, picture.height - 1), kRed);
        ResetWindow();
    }
}

TEST_P(RenderTargets, CubemapToTextureDrawsSixTiles) {
    // A third of 192 and a half of 128 are both in the 64 class: tiles of 64 x 64.
    uint16_t t = AddImage(*images, 192, 128, kFilterLinear);
    BeginFrame();
    SelectLayerTarget(LayerOf(RenderType::kCubemapToTexture, t), *images);
    for (int pass = 0; pass < 6; ++pass) {
        CameraAngles angles = SelectCubeTile(pass, *images);
        EXPECT_EQ(angles.z, kCubeTilePasses[pass].angles.z);
        EXPECT_EQ(angles.x, kCubeTilePasses[pass].angles.x);
        EXPECT_EQ(angles.y, kCubeTilePasses[pass].angles.y);
        ExpectRect(CurrentViewport(), 64 * (pass % 3), 64 * (pass / 3), 64, 64);
        FillViewport(kPassColours[pass]);
    }
    SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
    TextureImage picture = ReadTexture(Image(t).gl_texture);
    for (int pass = 0; pass < 6; ++pass) {
        int x = 64 * (pass % 3), y = 64 * (pass / 3);
        EXPECT_EQ(picture.At(x, y), kPassColours[pass]) << "pass " << pass;
        EXPECT_EQ(picture.At(x + 63, y + 63), kPassColours[pass]) << "pass " << pass;
    }
}

// A cube layer after a texture layer: the texture keeps its own picture on both paths (the
// copy path copies it out before the cube's passes draw over the back buffer).
TEST_P(RenderTargets, CubeLayerAfterATextureLayerLeavesTheTexturesPicture) {
    uint16_t t = AddImage(*images, 64, 32, kFilterLinear);
    uint16_t c = AddCube(*cubes, 32);
    BeginFrame();
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, t), *images);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    Layer cube = LayerOf(RenderType::kRenderToCubemap, c, 1);
    glClearColor(0, 0, 1, 1);
    BeginCubeMap(cube, *cubes, *images);
    for (int pass = 0; pass < 6; ++pass)
        SelectCubeFace(pass, cube);
    FinishCubeMap();
    FinishFrameTargets(*images);
    TextureImage picture = ReadTexture(Image(t).gl_texture);
    EXPECT_EQ(picture.At(0, 0), kRed);
    EXPECT_EQ(picture.At(63, 31), kRed);
}

TEST_P(RenderTargets, RenderToCubemapDrawsTheSixFaces) {
    uint16_t c = AddCube(*cubes, 32);
    Layer layer = LayerOf(RenderType::kRenderToCubemap, c, 1 | 2);
    BeginFrame();
    BeginCubeMap(layer, *cubes, *images);
    ExpectRect(CurrentViewport(), 0, 0, 32, 32);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    for (int pass = 0; pass < 6; ++pass) {
        // Each face is cleared by the layer's flags, then drawn.
        glClearColor(kPassColours[pass].r / 255.0f, kPassColours[pass].g / 255.0f,
                     kPassColours[pass].b / 255.0f, 1.0f);
        CameraAngles angles = SelectCubeFace(pass, layer);
        EXPECT_EQ(angles.z, kCubeFacePasses[pass].angles.z);
        EXPECT_EQ(angles.x, kCubeFacePasses[pass].angles.x);
        EXPECT_EQ(angles.y, kCubeFacePasses[pass].angles.y);
        FillRect(0, 0, 8, 8, kWhite);
    }
    FinishCubeMap();
    ExpectDrawingIntoWindow();

    const CubeMapTexture& cube = *PoolGet(*cubes, c);
    if (Fbo()) {
        EXPECT_NE(cube.depth_renderbuffer, 0u);
    }
    for (int pass = 0; pass < 6; ++pass) {
        TextureImage face = ReadTexture(cube.gl_texture, kCubeFacePasses[pass].face);
        EXPECT_EQ(face.At(0, 0), kWhite) << "pass " << pass;
        EXPECT_EQ(face.At(31, 31), kPassColours[pass]) << "pass " << pass;
    }
    // Layers drawing into the window after the cube clear only its picture.
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(WindowCentre(), kBlue);
    EXPECT_EQ(WindowBar(), kBlack);
    EXPECT_EQ(WindowPixel(kWindowWidth - 1, kWindowHeight - 1), kBlack);
}

TEST_P(RenderTargets, LayersWithNothingToDrawIntoDrawNowhere) {
    uint16_t cube = AddCube(*cubes, 32);
    uint16_t image = AddImage(*images, 64, 64, kFilterLinear);
    glClearColor(1, 0, 0, 1);
    auto expect_window_untouched = [&] {
        FillViewport(kRed);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(WindowCentre(), kBlack);
        EXPECT_EQ(WindowBar(), kBlack);
    };
    for (uint16_t rtex : {uint16_t{0}, uint16_t{99}}) {
        SCOPED_TRACE("cube layer with rtex " + std::to_string(rtex));
        BeginFrame();
        Layer layer = LayerOf(RenderType::kRenderToCubemap, rtex, 1);
        BeginCubeMap(layer, *cubes, *images);
        expect_window_untouched();
        for (int pass = 0; pass < 6; ++pass) {
            SelectCubeFace(pass, layer);
            expect_window_untouched();
        }
        FinishCubeMap();
        ExpectDrawingIntoWindow();
        FinishFrameTargets(*images);
    }
    {
        SCOPED_TRACE("cubemap to texture without a target");
        BeginFrame();
        SelectLayerTarget(LayerOf(RenderType::kCubemapToTexture, 0), *images);
        SelectCubeTile(0, *images);
        expect_window_untouched();
        SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
        ExpectDrawingIntoWindow();
        FinishFrameTargets(*images);
    }
    for (RenderType type : {RenderType::kRenderToTexture, RenderType::kCubemapToTexture,
                            RenderType::kRenderToQuarterScreenTexture}) {
        SCOPED_TRACE("a target handle that names nothing, type " +
                     std::to_string(static_cast<int>(type)));
        BeginFrame();
        SelectLayerTarget(LayerOf(type, 77), *images);
        EXPECT_TRUE(GetRenderTargetState().drawing_nowhere);
        expect_window_untouched();
        // A frame that ends so leaves nothing behind.
        FinishFrameTargets(*images);
        ExpectDrawingIntoWindow();
    }
    EXPECT_EQ(ReadTexture(Image(image).gl_texture).At(0, 0), kGrey);
    EXPECT_EQ(
        ReadTexture(PoolGet(*cubes, cube)->gl_texture, GL_TEXTURE_CUBE_MAP_NEGATIVE_X).At(0, 0),
        kBlack);
    // The window is drawn into again.
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(WindowCentre(), kRed);
    EXPECT_EQ(WindowBar(), kBlack);
}

TEST_P(RenderTargets, TargetHandleZeroKeepsTheTargetAsItWas) {
    uint16_t t = AddImage(*images, 64, 64, kFilterLinear);
    BeginFrame();
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, t), *images);
    FillViewport(kRed);
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, 0), *images);
    EXPECT_TRUE(GetRenderTargetState().target_active);
    EXPECT_EQ(GetRenderTargetState().current_target, t);
    ExpectRect(CurrentViewport(), 0, 0, 64, 64);
    FillRect(0, 0, 32, 64, kGreen);
    SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
    TextureImage picture = ReadTexture(Image(t).gl_texture);
    EXPECT_EQ(picture.At(0, 0), kGreen);
    EXPECT_EQ(picture.At(63, 0), kRed);
}

TEST_P(RenderTargets, AFrameEndingInATargetFinishesIt) {
    uint16_t t = AddImage(*images, 64, 64, kFilterMipmapped);
    BeginFrame();
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, t), *images);
    FillViewport(kRed);
    FinishFrameTargets(*images);
    ExpectDrawingIntoWindow();
    EXPECT_EQ(ReadTexture(Image(t).gl_texture).At(63, 63), kRed);
    EXPECT_EQ(Image(t).filter, kFilterLinear);

    // The next frame's first window layer draws into the window, not into the texture.
    ResetWindow();
    BeginFrame();
    SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    FillRect(0, 0, 10, 10, kGreen);
    EXPECT_EQ(WindowCentre(), kBlue);
    EXPECT_EQ(WindowBar(), kBlack);
    EXPECT_EQ(WindowPixel(0, WindowViewport().y), kGreen);
    EXPECT_EQ(ReadTexture(Image(t).gl_texture).At(0, 0), kRed);
    FinishFrameTargets(*images);
    ExpectDrawingIntoWindow();
}

class TargetRecords : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(GlReady()) << GlFailure();
        ResetWindow();
    }
};

TEST_F(TargetRecords, FreshTargetsAreBlackAndRecordsReleaseTheirObjects) {
    auto images = CreatePool<ResourcePool<ImageTexture>>();
    uint16_t t = AddImage(*images, 8, 8, kFilterMipmapped, kWhite);
    ImageTexture& image = *PoolGet(*images, t);
    GLuint loaded = image.gl_texture;
    BeginFrameTargets(CapsWith(GetRenderCaps().fbo != 0, true), kWindowWidth, kWindowHeight,
                      WindowViewport(), kRendererGlsl);
    // An odd width: the packed rows of the buffer are read as they are.
    CreateRenderTarget(33, 5, image);
    EXPECT_FALSE(glIsTexture(loaded)) << "the loaded texture is deleted";
    EXPECT_EQ(image.width, 33u);
    EXPECT_EQ(image.height, 5u);
    EXPECT_EQ(image.channels, 3u);
    EXPECT_EQ(image.filter, kFilterLinear);
    TextureImage picture = ReadTexture(image.gl_texture);
    ASSERT_EQ(picture.width, 33);
    ASSERT_EQ(picture.height, 5);
    for (size_t i = 0; i < picture.rgb.size(); ++i)
        ASSERT_EQ(picture.rgb[i], 0) << "byte " << i;
    GLuint texture = image.gl_texture;
    GLuint renderbuffer = image.depth_renderbuffer;
    EXPECT_EQ(renderbuffer != 0, GetRenderCaps().fbo != 0);
    images.reset();
    EXPECT_FALSE(glIsTexture(texture));
    if (renderbuffer != 0) {
        EXPECT_FALSE(glIsRenderbufferEXT(renderbuffer));
    }
}

// A framebuffer that cannot take a target is reported once, and targets are copied from the
// window from then on. Giving the framebuffer up lasts for the program, so the scenario runs
// in a child process of its own.
int FramebufferFallbackScenario() {
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "check failed: %s\n", what);
            ++failures;
        }
    };
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    auto images = CreatePool<ResourcePool<ImageTexture>>();
    // Wider than any texture can be: neither the loaded texture nor a remade one attaches.
    uint16_t t = PoolAdd(*images);
    ImageTexture& image = *PoolGet(*images, t);
    image.width = static_cast<uint32_t>(max_size) + 1;
    image.height = 1;
    GLuint name = 0;
    glGenTextures(1, &name);
    image.gl_texture = name;

    BeginFrameTargets(CapsWith(true, true), kWindowWidth, kWindowHeight, WindowViewport(),
                      kRendererGlsl);
    check(GetRenderTargetState().fbo, "the frame starts with the framebuffer");
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, t), *images);
    check(!GetRenderTargetState().fbo, "the frame goes on without the framebuffer");
    check(BoundFramebuffer() == 0, "the window is bound again");
    check(image.width == kWindowWidth && image.height == kWindowHeight,
          "the target is remade to fit the window");
    FillViewport(kGreen);
    SelectLayerTarget(LayerOf(RenderType::kSimpleRender, 0), *images);
    check(ReadTexture(image.gl_texture).At(kWindowWidth - 1, kWindowHeight - 1) == kGreen,
          "the target is copied from the window");

    // The next frame asks for the framebuffer again and copies.
    uint16_t other = AddImage(*images, 64, 64, kFilterLinear);
    BeginFrameTargets(CapsWith(true, true), kWindowWidth, kWindowHeight, WindowViewport(),
                      kRendererGlsl);
    check(!GetRenderTargetState().fbo, "later frames copy");
    SelectLayerTarget(LayerOf(RenderType::kRenderToTexture, other), *images);
    check(BoundFramebuffer() == 0, "later targets are not attached");
    FillViewport(kBlue);
    FinishFrameTargets(*images);
    check(ReadTexture(PoolGet(*images, other)->gl_texture).At(63, 63) == kBlue,
          "later targets are copied");
    return failures;
}

TEST(FramebufferFallback, AnIncompleteFramebufferIsReportedAndTargetsAreCopied) {
    ASSERT_TRUE(GlReady()) << GlFailure();
    if (!GetRenderCaps().fbo)
        GTEST_SKIP() << "the driver has no framebuffer objects";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ResetWindow();
            int failures = FramebufferFallbackScenario();
            std::fflush(stderr);
            std::_Exit(failures == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0),
        "Framebuffer incomplete \\(status 0x[0-9a-f]+\\): render targets are copied from "
        "the window from now on\\.");
}

} // namespace
