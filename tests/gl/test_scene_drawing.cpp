// Textured materials on the fixed-function path, drawn through DrawScene from projects built
// in code: the combiners of the stages with real textures, the same three-texture picture
// from one pass or two whatever the renderer offers, and meshes without texture coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "draw/material.h"
#include "draw/light.h"
#include "draw/material_fixed.h"
#include "draw/scene.h"
#include "frame/targets.h"
#include "gl/gl_harness.h"
#include "math/cosine_table.h"
#include "math/matrices.h"
#include "mesh/dynamic_mesh.h"
#include "mesh/mesh_file.h"
#include "model/project.h"

using namespace korvane;
using namespace korvane::gltest;

namespace {

// The window's picture is 320 x 180 from row 30; the orthographic camera below maps x 0 ... 1
// to its width and y 0 ... 1 from its top to its bottom.
Rgb PicturePixel(float x, float y) {
    const Viewport& v = WindowViewport();
    return WindowPixel(v.x + static_cast<int>(x * v.width),
                       v.y + v.height - 1 - static_cast<int>(y * v.height));
}

bool Near(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
}

Rgb Byte(float r, float g, float b) {
    auto to = [](float v) { return static_cast<uint8_t>(std::lround(std::fmin(v, 1.0f) * 255)); };
    return {to(r), to(g), to(b)};
}

class SceneDrawing : public testing::Test {
  protected:
    std::unique_ptr<Project> project = CreateProject();
    uint16_t scene = 0;

    void SetUp() override {
        ASSERT_TRUE(GlReady()) << GlFailure();
        ResetWindow();
        BuildCosineTable(); // the swirl's trigonometry reads it
        scene = PoolAdd(project->scenes);
        MatrixSet& matrices = GetMatrixSet();
        SetOrthographic(0.0f, 1.0f, 1.0f, 0.0f, -1.0f, 1.0f);
        LoadMatrix(MatrixSlot::kProjection);
        matrices.view = matrices.identity;
    }
    void TearDown() override { DestroyProject(std::move(project)); }

    // A solid image texture and a reference to it.
    uint32_t AddTexture(Rgb colour) {
        const uint16_t image = AddImage(project->image_files, 8, 8, kFilterNearest, colour);
        const uint16_t handle = PoolAdd(project->texture_refs);
        TextureRef& ref = *PoolGet(project->texture_refs, handle);
        ref.kind = TextureRefKind::kImage;
        ref.handle = image;
        return handle;
    }

    // An unlit, opaque material of a colour.
    Material& AddMaterial(float r, float g, float b, uint16_t& handle) {
        handle = PoolAdd(project->materials);
        Material& m = *PoolGet(project->materials, handle);
        m.depth_test = 1;
        m.blend_function = 2;
        m.values[kMaterialRed] = MakeStaticValue(r);
        m.values[kMaterialGreen] = MakeStaticValue(g);
        m.values[kMaterialBlue] = MakeStaticValue(b);
        return m;
    }

    // A square mesh file of one texture set, drawn from client arrays.
    uint16_t AddSquare() {
        const uint16_t handle = PoolAdd(project->mesh_files);
        MeshData& mesh = PoolGet(project->mesh_files, handle)->mesh;
        mesh.vertex_count = 4;
        mesh.positions = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
        mesh.set_count = 1;
        mesh.texture_sets[0] = {0, 0, 1, 0, 1, 1, 0, 1};
        mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
        mesh.indices = {0, 1, 2, 0, 2, 3};
        mesh.index_count = 6;
        return handle;
    }

    void AddObject(SceneObjectKind kind, uint16_t mesh, uint16_t material, float x, float y,
                   float scale) {
        Scene& s = *PoolGet(project->scenes, scene);
        SceneObject& object = *PoolGet(s.objects, PoolAdd(s.objects));
        object.kind = static_cast<uint8_t>(kind);
        object.mesh = mesh;
        object.material = material;
        object.transform[kObjectPositionX] = MakeStaticValue(x);
        object.transform[kObjectPositionY] = MakeStaticValue(y);
        for (int n = kObjectScaleX; n <= kObjectScaleZ; ++n)
            object.transform[n] = MakeStaticValue(scale);
    }

    void Draw(const RenderCaps& caps) {
        // A renderer of fewer units than the driver's leaves the others alone, where a real
        // driver of that many units would have none: switch them all off first.
        for (int unit = 0; unit < 4; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glDisable(GL_TEXTURE_2D);
        }
        glActiveTexture(GL_TEXTURE0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DrawScene(*project, scene, 0, caps, kRendererFixed, 0, 0, 0);
    }
};

TEST_F(SceneDrawing, TwoStagesCombineColourAndTextures) {
    const uint32_t red = AddTexture({200, 100, 50});
    const uint32_t blue = AddTexture({0, 40, 80});
    const uint16_t square = AddSquare();
    uint16_t material = 0;
    Material& m = AddMaterial(0.5f, 1.0f, 0.5f, material);
    m.textures = {red, blue, 0};
    m.functions = {0, 0, 0}; // colour * texture 1, then + texture 2
    AddObject(SceneObjectKind::kModel, square, material, 0.5f, 0.5f, 0.5f);
    PlanMaterialPasses(m, GetRenderCaps());
    Draw(GetRenderCaps());
    const Rgb expected = Byte(0.5f * 200 / 255 + 0.0f, 1.0f * 100 / 255 + 40.0f / 255,
                              0.5f * 50 / 255 + 80.0f / 255);
    EXPECT_TRUE(Near(PicturePixel(0.5f, 0.5f), expected))
        << PicturePixel(0.5f, 0.5f) << ", expected " << expected;
    EXPECT_EQ(PicturePixel(0.1f, 0.5f), (Rgb{0, 0, 0})) << "outside the square";
}

TEST_F(SceneDrawing, ThreeTexturesGiveOnePictureInOnePassOrTwo) {
    const uint32_t t1 = AddTexture({100, 100, 100});
    const uint32_t t2 = AddTexture({20, 0, 40});
    const uint32_t t3 = AddTexture({120, 200, 60});
    const uint16_t square = AddSquare();
    // Stage 1 takes the texture alone, stage 2 adds texture 2, and the third texture comes
    // in multiplied by the colour: 100 + 20 + 0.5 * 120, and so on.
    const Rgb expected = Byte((100 + 20 + 0.5f * 120) / 255, (100 + 0 + 0.25f * 200) / 255,
                              (100 + 40 + 1.0f * 60) / 255);
    RenderCaps driver = GetRenderCaps();
    ASSERT_GE(driver.texture_units, 3) << "the test driver offers four units";
    const struct {
        const char* name;
        uint8_t units, combine4, combine3;
        bool single_pass;
    } renderers[] = {
        {"NV_texture_env_combine4", 4, 1, 0, true},
        {"ATI_texture_env_combine3", 4, 0, 1, true},
        {"two texture units", 2, 0, 0, false},
        {"four units without combiners", 4, 0, 0, false},
    };
    for (const auto& r : renderers) {
        SCOPED_TRACE(r.name);
        RenderCaps caps = driver;
        caps.texture_units = r.units;
        caps.combine4 = r.combine4;
        caps.combine3 = r.combine3;
        if ((r.combine4 && !GLEW_NV_texture_env_combine4) ||
            (r.combine3 && !GLEW_ATI_texture_env_combine3))
            continue; // the driver cannot run that combiner
        DestroyPool(project->materials);
        uint16_t material = 0;
        Material& m = AddMaterial(0.5f, 0.25f, 1.0f, material);
        m.textures = {t1, t2, t3};
        m.functions = {2, 0, 0};
        PlanMaterialPasses(m, caps);
        EXPECT_EQ(m.pass_plan->single_pass, r.single_pass ? 1 : 0);
        Scene& s = *PoolGet(project->scenes, scene);
        DestroyPool(s.objects);
        AddObject(SceneObjectKind::kModel, square, material, 0.5f, 0.5f, 0.5f);
        Draw(caps);
        EXPECT_TRUE(Near(PicturePixel(0.5f, 0.5f), expected))
            << PicturePixel(0.5f, 0.5f) << ", expected " << expected;
    }
}

TEST_F(SceneDrawing, AMeshWithoutTextureCoordinatesDrawsTextured) {
    // A swirl has no texture coordinates: its textured stage reads the current coordinates
    // instead of a null array, with and without buffer objects.
    for (float level : {0.05f, 5.0f}) {
        FunctionCurve& curve = *PoolGet(project->curves, PoolAdd(project->curves));
        curve.segment_count = 1;
        curve.segment_kinds[0] = CurveKind::kConstant;
        curve.segment_lengths[0] = 100;
        curve.segment_parameters[0][0] = level;
    }
    const uint16_t swirl = PoolAdd(project->dynamic_meshes);
    DynamicMesh& mesh = *PoolGet(project->dynamic_meshes, swirl);
    mesh = CreateDynamicMesh(static_cast<uint8_t>(DynamicMeshKind::kSwirl));
    mesh.parameter_curves[0] = 1; // X: 0.05 radians a vertex
    mesh.parameter_curves[1] = 2; // Y: 5
    ASSERT_EQ(mesh.mesh.set_count, 0);
    const uint32_t grey = AddTexture({128, 128, 128});
    uint16_t material = 0;
    Material& m = AddMaterial(1.0f, 0.5f, 0.0f, material);
    m.textures = {grey, 0, 0};
    // About 130 units of the swirl's middle are covered by its fan: 0.26 of the picture.
    AddObject(SceneObjectKind::kDynamicMesh, swirl, material, 0.5f, 0.5f, 0.002f);
    for (uint8_t vbo : {0, 1}) {
        SCOPED_TRACE(vbo ? "buffer objects" : "client arrays");
        RenderCaps caps = GetRenderCaps();
        caps.vbo = vbo;
        Draw(caps);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        const Rgb expected = Byte(128.0f / 255, 0.5f * 128 / 255, 0);
        EXPECT_TRUE(Near(PicturePixel(0.55f, 0.5f), expected))
            << PicturePixel(0.55f, 0.5f) << ", expected " << expected;
        EXPECT_EQ(PicturePixel(0.95f, 0.1f), (Rgb{0, 0, 0})) << "beyond the swirl";
    }
}

} // namespace

// Every pass places the material's lights while the modelview is the camera's view alone:
// the second pass of a split material must not place them with the last instance's model
// matrix, or they would move with the object.
TEST_F(SceneDrawing, EveryPassPlacesItsLightsInTheWorld) {
    const uint16_t light = PoolAdd(project->lights); // at the origin
    uint16_t material_handle = 0;
    Material& material = AddMaterial(1, 1, 1, material_handle);
    material.light1 = light;
    material.textures = {AddTexture({100, 100, 100}), AddTexture({100, 100, 100}),
                         AddTexture({100, 100, 100})};
    RenderCaps caps = GetRenderCaps();
    caps.texture_units = 2;
    caps.combine4 = caps.combine3 = caps.vbo = 0;
    PlanMaterialPasses(material, caps);
    ASSERT_EQ(material.pass_plan->single_pass, 0) << "three textures on two units: two passes";
    AddObject(SceneObjectKind::kModel, AddSquare(), material_handle, 0.75f, 0.5f, 0.25f);
    Draw(caps);
    GLfloat eye[4];
    glGetLightfv(GL_LIGHT1, GL_POSITION, eye);
    EXPECT_FLOAT_EQ(eye[0], 0.0f);
    EXPECT_FLOAT_EQ(eye[1], 0.0f);
    EXPECT_FLOAT_EQ(eye[2], 0.0f);
}
