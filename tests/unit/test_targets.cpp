// The computations behind render targets that need no GL context: target size classes,
// the sizes targets are remade at, the cube face and tile tables, the projection matrices
// and the per-frame target state.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "frame/targets.h"
#include "math/matrices.h"

using namespace korvane;

namespace {

// Column-major matrix times the column vector (x, y, z, 1).
std::array<float, 4> Transform(const Matrix4& m, float x, float y, float z) {
    std::array<float, 4> out{};
    for (int row = 0; row < 4; ++row)
        out[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    return out;
}

} // namespace

TEST(Pow2Class, SizeClassesAndTheirBoundaries) {
    const struct {
        uint32_t size, expected;
    } cases[] = {{0, 32},    {1, 32},    {63, 32},   {64, 64},   {127, 64},
                 {128, 128}, {255, 128}, {256, 256}, {540, 256}, {100000, 256}};
    for (const auto& c : cases)
        EXPECT_EQ(Pow2Class(c.size), c.expected) << "size " << c.size;
}

TEST(TargetSizes, QuarterScreenFollowsTheWindowOnlyWithNpot) {
    TargetSize with_npot = QuarterScreenSize(1920, 1080, true);
    EXPECT_EQ(with_npot.width, 960u);
    EXPECT_EQ(with_npot.height, 540u);
    TargetSize without = QuarterScreenSize(1920, 1080, false);
    EXPECT_EQ(without.width, 256u);
    EXPECT_EQ(without.height, 256u);
    // Odd sizes are halved by a shift; small windows fall into the small classes.
    TargetSize odd = QuarterScreenSize(641, 361, true);
    EXPECT_EQ(odd.width, 320u);
    EXPECT_EQ(odd.height, 180u);
    TargetSize small = QuarterScreenSize(320, 180, false);
    EXPECT_EQ(small.width, 128u);
    EXPECT_EQ(small.height, 64u);
}

TEST(TargetSizes, CopiedTargetsAreRemadeOnlyWhenLargerThanTheWindow) {
    auto npot = CopyTargetSize({1024, 1024}, 800, 600, true);
    ASSERT_TRUE(npot.has_value());
    EXPECT_EQ(npot->width, 800u);
    EXPECT_EQ(npot->height, 600u);
    auto pow2 = CopyTargetSize({1024, 1024}, 800, 600, false);
    ASSERT_TRUE(pow2.has_value());
    EXPECT_EQ(pow2->width, 256u);
    EXPECT_EQ(pow2->height, 256u);
    // Too tall alone is enough; a target that fits, up to the window's own size, stays.
    EXPECT_TRUE(CopyTargetSize({256, 601}, 800, 600, false).has_value());
    EXPECT_FALSE(CopyTargetSize({800, 600}, 800, 600, false).has_value());
    EXPECT_FALSE(CopyTargetSize({512, 512}, 800, 600, false).has_value());
}

TEST(TargetSizes, LetterboxBarsSurroundThePicture) {
    auto expect_rect = [](const TargetRect& r, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
        EXPECT_EQ(r.x, x);
        EXPECT_EQ(r.y, y);
        EXPECT_EQ(r.width, w);
        EXPECT_EQ(r.height, h);
    };
    // A 4:3 window: bars below and above, none at the sides.
    auto letterbox = LetterboxBars(ComputeViewport(800, 600, 1.3333334f), 800, 600);
    expect_rect(letterbox[0], 0, 0, 800, 75);
    expect_rect(letterbox[1], 0, 525, 800, 75);
    EXPECT_EQ(letterbox[2].width, 0u);
    EXPECT_EQ(letterbox[3].width, 0u);
    // A picture narrower than its window: bars at the sides only.
    Viewport pillar{160, 0, 1600, 900};
    auto pillarbox = LetterboxBars(pillar, 1920, 900);
    EXPECT_EQ(pillarbox[0].height, 0u);
    EXPECT_EQ(pillarbox[1].height, 0u);
    expect_rect(pillarbox[2], 0, 0, 160, 900);
    expect_rect(pillarbox[3], 1760, 0, 160, 900);
    // The whole window: no bar at all.
    for (const TargetRect& bar : LetterboxBars(Viewport{0, 0, 1920, 1080}, 1920, 1080))
        EXPECT_EQ(uint64_t{bar.width} * bar.height, 0u);
}

TEST(CubeTables, FacesAndAnglesOfTheSixPasses) {
    // Pass order -X, +X, +Y, -Y, +Z, -Z; GL face targets 0x8515 (+X) ... 0x851A (-Z).
    const uint32_t faces[6] = {0x8516, 0x8515, 0x8517, 0x8518, 0x8519, 0x851A};
    const float angles[6][3] = {{180, 0, 270},  {180, 0, 90},  {180, 270, 180},
                                {180, 90, 180}, {180, 0, 180}, {0, 180, 180}};
    for (int pass = 0; pass < 6; ++pass) {
        EXPECT_EQ(kCubeFacePasses[pass].face, faces[pass]) << "pass " << pass;
        EXPECT_EQ(kCubeFacePasses[pass].angles.z, angles[pass][0]) << "pass " << pass;
        EXPECT_EQ(kCubeFacePasses[pass].angles.x, angles[pass][1]) << "pass " << pass;
        EXPECT_EQ(kCubeFacePasses[pass].angles.y, angles[pass][2]) << "pass " << pass;
    }
}

TEST(CubeTables, TilesOfA512By256Target) {
    const uint32_t xs[6] = {0, 128, 256, 0, 128, 256};
    const uint32_t ys[6] = {0, 0, 0, 128, 128, 128};
    const float angles[6][3] = {{180, 0, 0},    {180, 0, 180}, {180, 270, 270},
                                {180, 90, 270}, {180, 0, 270}, {0, 180, 270}};
    for (int pass = 0; pass < 6; ++pass) {
        TargetRect tile = CubeTileRect(pass, {512, 256});
        EXPECT_EQ(tile.x, xs[pass]) << "pass " << pass;
        EXPECT_EQ(tile.y, ys[pass]) << "pass " << pass;
        EXPECT_EQ(tile.width, 128u) << "pass " << pass;
        EXPECT_EQ(tile.height, 128u) << "pass " << pass;
        EXPECT_EQ(kCubeTilePasses[pass].angles.z, angles[pass][0]) << "pass " << pass;
        EXPECT_EQ(kCubeTilePasses[pass].angles.x, angles[pass][1]) << "pass " << pass;
        EXPECT_EQ(kCubeTilePasses[pass].angles.y, angles[pass][2]) << "pass " << pass;
    }
    // Tiles take the size classes of a third and a half of the target, whatever its size.
    TargetRect wide = CubeTileRect(5, {960, 540});
    EXPECT_EQ(wide.width, 256u);
    EXPECT_EQ(wide.height, 256u);
    EXPECT_EQ(wide.x, 512u);
    EXPECT_EQ(wide.y, 256u);
}

TEST(Projection, PerspectiveOfACubeFace) {
    // 90 degrees, aspect 1: f = 1 / tan(45 degrees) = 1; d = 1 / (0.1 - 100).
    SetPerspective(90.0f, 1.0f, 0.1f, 100.0f);
    const Matrix4& m = GetMatrixSet().projection;
    const float d = 1.0f / (0.1f - 100.0f);
    EXPECT_FLOAT_EQ(m[0], 1.0f);
    EXPECT_FLOAT_EQ(m[5], 1.0f);
    EXPECT_FLOAT_EQ(m[10], -100.1f / 99.9f);
    EXPECT_FLOAT_EQ(m[11], -1.0f);
    EXPECT_FLOAT_EQ(m[14], -20.0f / 99.9f);
    EXPECT_FLOAT_EQ(m[14], d * 20.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15})
        EXPECT_EQ(m[i], 0.0f) << "element " << i;
    // The near plane lands on depth -1 and the far plane on +1.
    auto near_point = Transform(m, 0, 0, -0.1f);
    auto far_point = Transform(m, 0, 0, -100.0f);
    EXPECT_NEAR(near_point[2] / near_point[3], -1.0f, 1e-5);
    EXPECT_NEAR(far_point[2] / far_point[3], 1.0f, 1e-5);
}

TEST(Projection, PerspectiveOfAWideCamera) {
    // 60 degrees at 16:9: f = 1 / tan(30 degrees) = sqrt(3).
    Matrix4 m = PerspectiveMatrix(60.0f, 1.7777778f, 0.1f, 1000.0f);
    EXPECT_FLOAT_EQ(m[5], 1.7320508f);
    EXPECT_FLOAT_EQ(m[0], 1.7320508f / 1.7777778f);
    EXPECT_FLOAT_EQ(m[10], -1000.1f / 999.9f);
    EXPECT_FLOAT_EQ(m[14], -200.0f / 999.9f);
}

TEST(Projection, OrthographicOfALayerCamera) {
    // The layers' camera: x from 0 at the left to 1 at the right, y from 0 at the top to 1
    // at the bottom, z from -1 to 1.
    SetOrthographic(0.0f, 1.0f, 1.0f, 0.0f, -1.0f, 1.0f);
    const Matrix4& m = GetMatrixSet().projection;
    const float expected[16] = {2, 0, 0, 0, 0, -2, 0, 0, 0, 0, -1, 0, -1, 1, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(m[i], expected[i]) << "element " << i;
    auto top_left = Transform(m, 0, 0, 0);
    auto bottom_right = Transform(m, 1, 1, 0);
    EXPECT_FLOAT_EQ(top_left[0], -1.0f);
    EXPECT_FLOAT_EQ(top_left[1], 1.0f);
    EXPECT_FLOAT_EQ(bottom_right[0], 1.0f);
    EXPECT_FLOAT_EQ(bottom_right[1], -1.0f);

    Matrix4 general = OrthographicMatrix(-2.0f, 6.0f, -1.0f, 3.0f, 1.0f, 9.0f);
    EXPECT_FLOAT_EQ(general[0], 0.25f);
    EXPECT_FLOAT_EQ(general[5], 0.5f);
    EXPECT_FLOAT_EQ(general[10], -0.25f);
    EXPECT_FLOAT_EQ(general[12], -0.5f);
    EXPECT_FLOAT_EQ(general[13], -0.5f);
    EXPECT_FLOAT_EQ(general[14], -1.25f);
}

TEST(RenderTargetState, EveryFrameStartsWithoutATarget) {
    RenderCaps caps;
    caps.fbo = 1;
    caps.npot = 1;
    BeginFrameTargets(caps, 641, 361, Viewport{0, 0, 641, 361}, kRendererFixed);
    const RenderTargetState& state = GetRenderTargetState();
    EXPECT_FALSE(state.target_active);
    EXPECT_EQ(state.current_target, 0u);
    EXPECT_EQ(state.half_width, 320);
    EXPECT_EQ(state.half_height, 180);
    EXPECT_TRUE(state.npot);
    EXPECT_EQ(state.renderer_flag, kRendererFixed);
    // Without the program's framebuffer object (never made here) targets are copied.
    EXPECT_FALSE(state.fbo);
}
