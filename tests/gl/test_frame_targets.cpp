// Whole frames through RenderProject on both target paths: layers of several tracks that
// render into textures, cube maps and the window, built in code, with the pixels read back.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "draw/light.h"
#include "draw/scene.h"
#include "frame/targets.h"
#include "frame/timeline.h"
#include "gl/gl_harness.h"
#include "model/project.h"

using namespace korvane;
using namespace korvane::gltest;

namespace {

const Rgb kBlack{0, 0, 0};
const Rgb kYellow{255, 255, 0};
const Rgb kGreen{0, 255, 0};
const Rgb kBlue{0, 0, 255};
const Rgb kMagenta{255, 0, 255};

class FrameTargets : public testing::TestWithParam<bool> {
  protected:
    std::unique_ptr<Project> project = CreateProject();
    uint16_t yellow = 0, green = 0, blue = 0, magenta = 0;

    void SetUp() override {
        ASSERT_TRUE(GlReady()) << GlFailure();
        if (GetParam() && !GetRenderCaps().fbo)
            GTEST_SKIP() << "the driver has no framebuffer objects";
        ResetWindow();
        PoolAdd(project->scenes); // scene 1: nothing to draw, but drawing it counts
        yellow = AddLight(kYellow);
        green = AddLight(kGreen);
        blue = AddLight(kBlue);
        magenta = AddLight(kMagenta);
    }
    void TearDown() override {
        BindWindowFramebuffer();
        DestroyProject(std::move(project));
    }

    uint16_t AddLight(Rgb colour) {
        uint16_t handle = PoolAdd(project->lights);
        Light& light = *PoolGet(project->lights, handle);
        light.values[kLightDiffuseRed] = MakeStaticValue(colour.r / 255.0f);
        light.values[kLightDiffuseGreen] = MakeStaticValue(colour.g / 255.0f);
        light.values[kLightDiffuseBlue] = MakeStaticValue(colour.b / 255.0f);
        return handle;
    }

    // A layer of scene 1 clearing colour and depth with a light's colour, after the last
    // layer of its track, entered as loading enters it.
    void AddLayer(int track, RenderType type, uint16_t rtex, uint16_t clear_light,
                  uint8_t clear_flags = 1 | 2) {
        SmallResourcePool<Layer>& layers = project->timeline.tracks[track].layers;
        uint32_t position = layers.count;
        uint32_t start = position == 0 ? 0 : PoolGetAt(layers, position)->end;
        Layer& layer = *PoolGet(layers, PoolAdd(layers));
        layer.scene = 1;
        layer.length = 100;
        layer.render_type = type;
        layer.rtex = rtex;
        layer.clear_light = clear_light;
        layer.clear_flags = clear_flags;
        layer.values[kLayerFieldOfView] = MakeStaticValue(90.0f);
        layer.values[kLayerFar] = MakeStaticValue(100.0f);
        layer.values[kLayerAspect] = MakeStaticValue(1.0f);
        AddLayerToTimeline(start, start + 100, position, static_cast<uint32_t>(track),
                           project->timeline);
    }

    int32_t Render(uint32_t time) {
        return RenderProject(*project, time, kWindowWidth, kWindowHeight, WindowViewport(),
                             CapsWith(GetParam(), true), kRendererGlsl);
    }

    void ExpectWindowBlueWithBlackBars() {
        EXPECT_EQ(WindowPixel(kWindowWidth / 2, kWindowHeight / 2), kBlue);
        EXPECT_EQ(WindowPixel(0, WindowViewport().y), kBlue);
        for (int x : {0, kWindowWidth / 2, kWindowWidth - 1}) {
            EXPECT_EQ(WindowPixel(x, 0), kBlack) << "lower bar at " << x;
            EXPECT_EQ(WindowPixel(x, WindowViewport().y - 1), kBlack) << "lower bar at " << x;
            EXPECT_EQ(WindowPixel(x, kWindowHeight - 1), kBlack) << "upper bar at " << x;
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Paths, FrameTargets, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Framebuffer" : "Copy");
                         });

TEST_P(FrameTargets, LinkWithPreviousDrawsIntoTheSameTexture) {
    uint16_t texture = AddImage(project->image_files, 64, 64, kFilterMipmapped);
    AddLayer(0, RenderType::kRenderToTexture, texture, yellow);
    AddLayer(1, RenderType::kLinkWithPrevious, 0, green, 1);
    AddLayer(2, RenderType::kSimpleRender, 0, blue);
    EXPECT_EQ(Render(50), 3);
    ExpectWindowBlueWithBlackBars();
    TextureImage picture = ReadTexture(PoolGet(project->image_files, texture)->gl_texture);
    EXPECT_EQ(picture.At(0, 0), kGreen);
    EXPECT_EQ(picture.At(63, 63), kGreen);
}

TEST_P(FrameTargets, CubeLayersFillEveryFaceAndLeaveTheWindowAlone) {
    uint16_t cube = AddCube(project->cube_maps, 32);
    uint16_t tiles = AddImage(project->image_files, 192, 128, kFilterLinear);
    AddLayer(0, RenderType::kRenderToCubemap, cube, magenta);
    AddLayer(1, RenderType::kCubemapToTexture, tiles, yellow);
    AddLayer(2, RenderType::kSimpleRender, 0, blue);
    EXPECT_EQ(Render(50), 3);
    ExpectWindowBlueWithBlackBars();
    const CubeMapTexture& faces = *PoolGet(project->cube_maps, cube);
    for (const CubeFacePass& pass : kCubeFacePasses) {
        TextureImage face = ReadTexture(faces.gl_texture, pass.face);
        EXPECT_EQ(face.At(0, 0), kMagenta) << "face " << std::hex << pass.face;
        EXPECT_EQ(face.At(31, 31), kMagenta) << "face " << std::hex << pass.face;
    }
    TextureImage picture = ReadTexture(PoolGet(project->image_files, tiles)->gl_texture);
    EXPECT_EQ(picture.At(0, 0), kYellow);
    EXPECT_EQ(picture.At(191, 127), kYellow);
}

TEST_P(FrameTargets, AFrameEndingInATargetLeavesTheNextFrameClean) {
    uint16_t texture = AddImage(project->image_files, 64, 64, kFilterLinear);
    // Track 0 ends in a texture target at time 150; track 1 draws into the window at 150.
    AddLayer(0, RenderType::kSimpleRender, 0, green);
    AddLayer(0, RenderType::kRenderToTexture, texture, yellow);
    AddLayer(1, RenderType::kSimpleRender, 0, blue);
    AddLayer(1, RenderType::kRenderToTexture, texture, yellow);
    AddLayer(1, RenderType::kLinkWithPrevious, 0, 0, 0);
    EXPECT_EQ(Render(150), 2);
    EXPECT_EQ(ReadTexture(PoolGet(project->image_files, texture)->gl_texture).At(10, 10), kYellow);
    // The next frame's first layer draws into the window, not into the texture.
    EXPECT_EQ(Render(50), 2);
    ExpectWindowBlueWithBlackBars();
    EXPECT_EQ(ReadTexture(PoolGet(project->image_files, texture)->gl_texture).At(10, 10), kYellow);
}

} // namespace
