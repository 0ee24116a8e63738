// Scenes on screen through the fixed-function pipeline, as korrender draws them: frames of the
// bundled production compared with golden images, and small scenes built in code whose
// pixels follow from their numbers (flat colour, the light equation, linear fog, blending,
// visibility curves, billboards). Every frame is drawn with and without buffer objects. The
// production's custom shaders, which only the shader path runs, have one frame of their own.
//
// Goldens are remade only on purpose: KORVANE_UPDATE_GOLDENS=1 with this suite's filter
// (KorrenderScenes.*); a normal run never writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "math/matrices.h"
#include "mesh/mesh_file.h"
#include "support/frames.h"
#include "support/production.h"
#include "support/support.h"

namespace korvane {
namespace {

using test::Compare;
using test::Difference;
using test::Golden;
using test::LoadPng;
using test::Picture;
using test::RunResult;
using test::StaticValue;

// Lines and shading may round differently from one rasteriser to the next.
constexpr test::GoldenTolerance kTolerance{1.0, 24};

void ExpectMatchesGolden(const std::string& frame_path, const std::string& golden_name,
                         Golden role = Golden::kReference) {
    test::ExpectMatchesGolden(frame_path, golden_name, kTolerance, role);
}

using Colour = std::array<float, 3>;

std::array<int, 3> Byte(const Colour& c) {
    std::array<int, 3> b;
    for (int i = 0; i < 3; ++i)
        b[i] = static_cast<int>(std::lround(std::clamp(c[i], 0.0f, 1.0f) * 255.0f));
    return b;
}

// A pixel within two steps of a colour: 8-bit rounding of the colour and of the lighting.
void ExpectPixel(const Picture& picture, int x, int y, const Colour& expected,
                 const std::string& what) {
    test::ExpectPixelNear(picture, x, y, Byte(expected), what);
}

// A material element: every property, with the given values over plain defaults (depth
// test on, opaque blending, white, no lights, fog or textures).
struct MaterialSpec {
    int culling = 0, depth_test = 1, normalization = 0, blend = 2, fog_type = 0;
    Colour colour{1, 1, 1};
    float alpha = 1;
    float fog_start = 0, fog_end = 0;
    int light1 = 0, light2 = 0, fog_colour = 0;
};

std::string MaterialXml(const MaterialSpec& m) {
    std::ostringstream xml;
    auto value = [&](const char* name, float v) {
        xml << "<" << name << " type=\"static\" value=\"" << v << "\"/>";
    };
    xml << "<material><backface_culling value=\"" << m.culling << "\"/><depth_test value=\""
        << m.depth_test << "\"/><normalization value=\"" << m.normalization
        << "\"/><wireframe value=\"0\"/><blend_function value=\"" << m.blend
        << "\"/><fogtype value=\"" << m.fog_type << "\"/>";
    value("red", m.colour[0]);
    value("green", m.colour[1]);
    value("blue", m.colour[2]);
    value("alpha", m.alpha);
    value("linewidth", 1);
    value("fogstart", m.fog_start);
    value("fogend", m.fog_end);
    xml << "<light1 value=\"" << m.light1 << "\"/><light2 value=\"" << m.light2
        << "\"/><fogcolor value=\"" << m.fog_colour << "\"/>";
    for (int t = 1; t <= 3; ++t)
        xml << "<texture" << t << " value=\"0\" wrapmode=\"0\" cgenmode=\"0\" rotation=\"0\" "
            << "function=\"0\"/>";
    xml << "<enable_glsl value=\"0\"/></material>";
    return xml.str();
}

// An object of the square: position, rotation in degrees, uniform scale.
struct ObjectSpec {
    int material = 1;
    std::array<float, 3> position{};
    std::array<float, 3> rotation{};
    float scale = 1;
    int visibility = 0;
    float time_offset = 0;
    bool billboard = false;
};

std::string ObjectXml(const ObjectSpec& o) {
    std::ostringstream xml;
    xml << "<object type=\"0\" object=\"1\" material=\"" << o.material
        << "\" font=\"0\" text=\"\">";
    for (float v : o.position)
        xml << StaticValue(v);
    for (float v : o.rotation)
        xml << StaticValue(v);
    for (int i = 0; i < 3; ++i)
        xml << StaticValue(o.scale);
    xml << "<visibility value=\"" << o.visibility << "\"/><offset value=\"" << o.time_offset
        << "\"/><billboard value=\"" << (o.billboard ? 1 : 0) << "\"/></object>";
    return xml.str();
}

std::string LightXml(const Colour& ambient, const Colour& diffuse,
                     const std::array<float, 3>& position) {
    std::string xml = "<light><ambient>";
    for (float v : ambient)
        xml += StaticValue(v);
    xml += "</ambient><diffuse>";
    for (float v : diffuse)
        xml += StaticValue(v);
    xml += "</diffuse><position>";
    for (float v : position)
        xml += StaticValue(v);
    return xml + "</position></light>";
}

// A curve of one constant segment.
std::string ConstantCurve(float value) {
    std::ostringstream xml;
    xml << "<curve type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\"><s type=\"0\" "
           "length=\"100\"><p>"
        << value << "</p></s></curve>";
    return xml.str();
}

// The orthographic camera of layers: x from 0 at the left to 1 at the right, y from 0 at the
// top to 1 at the bottom, looking down -z.
std::string OrthographicCamera() {
    return test::Repeat(StaticValue(0), 6) + "<v type=\"ortographic\"/>" + StaticValue(100) +
           StaticValue(1.7777778f);
}

// A perspective camera at the origin, turned by the angles in degrees (field of view 60).
std::string TurnedCamera(float x, float y, float z) {
    return test::Repeat(StaticValue(0), 3) + StaticValue(x) + StaticValue(y) + StaticValue(z) +
           StaticValue(60) + StaticValue(100) + StaticValue(1.7777778f);
}

struct SceneSpec {
    std::string curves;
    std::string lights; // light 1 is the clear colour
    std::vector<MaterialSpec> materials;
    std::vector<ObjectSpec> objects;
    std::string camera; // empty: the layer's static perspective camera
};

std::string SceneDocument(const SceneSpec& spec) {
    test::DocumentSections s;
    s.mesh_files = "<mesh filename=\"square.mesh\"/>";
    s.curves = spec.curves;
    s.lights = spec.lights;
    for (const MaterialSpec& m : spec.materials)
        s.materials += MaterialXml(m);
    s.scenes = "<scene>";
    for (const ObjectSpec& o : spec.objects)
        s.scenes += ObjectXml(o);
    s.scenes += "</scene>";
    test::LayerSpec layer;
    layer.clear_light = 1;
    layer.camera = spec.camera;
    s.tracks = test::TrackXml(test::LayerXml(layer));
    return test::BuildDocument(s);
}

constexpr int kWidth = 160;
constexpr int kHeight = 90;

class KorrenderScenes : public testing::Test {
  protected:
    test::TempDir dir;

    std::string Path(const std::string& name) const { return dir / name; }

    std::string WritePackage(const std::string& name, const std::string& demo_xml) {
        test::WriteProductionPackage(Path(name), demo_xml, "",
                                     {{"square.mesh", test::SquareMeshEntry()}});
        return Path(name);
    }

    // Renders one frame with the fixed-function renderer; the path of the PNG.
    std::string Render(const std::string& package, uint32_t time, const std::string& name,
                       std::vector<std::string> extra = {}, const test::RunOptions& base = {},
                       const std::string& size = "160x90") {
        std::vector<std::string> arguments = {
            test::ProgramPath("korrender"), "--renderer", "fixed",   "--size", size, "--time",
            std::to_string(time),           "--out",      Path(name)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(package);
        test::RunOptions options = base;
        options.cwd = dir.path();
        RunResult run = test::RunProgram(arguments, options);
        EXPECT_EQ(run.exit_code, 0) << run.Describe();
        return Path(name);
    }

    // The frame of a scene document at a time, drawn with buffer objects; the same frame
    // without them must agree.
    Picture RenderScene(const std::string& xml, uint32_t time = 50,
                        const test::RunOptions& options = {}) {
        const std::string package = WritePackage("scene.dpk", xml);
        const Picture with = LoadPng(Render(package, time, "vbo.png", {}, options));
        const Picture without = LoadPng(Render(package, time, "novbo.png", {"--no-vbo"}, options));
        EXPECT_TRUE(with.ok() && without.ok());
        if (with.ok() && without.ok()) {
            const Difference d = Compare(with, without);
            EXPECT_EQ(d.largest, 0) << "buffer objects and client arrays draw different frames";
        }
        return with;
    }
};

const Colour kGrey{0.25f, 0.25f, 0.25f};

TEST_F(KorrenderScenes, AFlatSquareInAnOrthographicCameraKeepsItsColour) {
    SceneSpec spec;
    spec.lights = LightXml({}, kGrey, {});
    MaterialSpec flat;
    flat.colour = {0.2f, 0.6f, 0.4f};
    spec.materials = {flat};
    // Half the picture's width and height, in its top left quarter.
    ObjectSpec square;
    square.position = {0.25f, 0.25f, 0};
    square.scale = 0.5f;
    spec.objects = {square};
    spec.camera = OrthographicCamera();
    const Picture p = RenderScene(SceneDocument(spec));
    ASSERT_TRUE(p.ok());
    ExpectPixel(p, 40, 22, flat.colour, "the square");
    ExpectPixel(p, 2, 2, flat.colour, "the square's top left corner");
    ExpectPixel(p, 77, 42, flat.colour, "the square's bottom right corner");
    ExpectPixel(p, 83, 22, kGrey, "right of the square");
    ExpectPixel(p, 40, 48, kGrey, "below the square");
    ExpectPixel(p, 120, 67, kGrey, "the other quarters");
}

TEST_F(KorrenderScenes, ALitSquareFollowsTheLightEquation) {
    // GL_LIGHT1 of the material: colour * ambient + colour * diffuse * max(0, n . l), with
    // the colour as both ambient and diffuse material and no global ambient light.
    const Colour colour{0.5f, 0.8f, 1.0f};
    const Colour ambient{0.2f, 0.1f, 0.0f};
    const Colour diffuse{0.6f, 0.5f, 0.4f};
    SceneSpec spec;
    // Lights 2 and 3 are far away: straight in front of the squares on the left, and 45
    // degrees to the right of the top right one.
    spec.lights = LightXml({}, kGrey, {}) + LightXml(ambient, diffuse, {0.25f, 0.5f, 1.0e4f}) +
                  LightXml(ambient, diffuse, {1.0e4f + 0.75f, 0.25f, 1.0e4f});
    MaterialSpec front;
    front.colour = colour;
    front.normalization = 1;
    front.light1 = 2;
    MaterialSpec side = front;
    side.light1 = 3;
    // Without normalisation the scaled square's normals are twice as long as they should be.
    MaterialSpec unnormalised = front;
    unnormalised.normalization = 0;
    spec.materials = {front, side, unnormalised};
    // Three of the picture's quarters: top left, top right, bottom left.
    const std::array<float, 2> places[] = {{0.25f, 0.25f}, {0.75f, 0.25f}, {0.25f, 0.75f}};
    for (int i = 0; i < 3; ++i) {
        ObjectSpec square;
        square.material = i + 1;
        square.position = {places[i][0], places[i][1], 0};
        square.scale = 0.5f;
        spec.objects.push_back(square);
    }
    spec.camera = OrthographicCamera();
    const Picture p = RenderScene(SceneDocument(spec));
    ASSERT_TRUE(p.ok());
    auto lit = [&](float n_dot_l) {
        Colour c;
        for (int i = 0; i < 3; ++i)
            c[i] = colour[i] * ambient[i] + colour[i] * diffuse[i] * n_dot_l;
        return c;
    };
    ExpectPixel(p, 40, 22, lit(1.0f), "facing the light");
    ExpectPixel(p, 120, 22, lit(std::sqrt(0.5f)), "lit at 45 degrees");
    ExpectPixel(p, 40, 67, lit(2.0f), "normals scaled by 1 / 0.5");
    ExpectPixel(p, 120, 67, kGrey, "the empty quarter");
}

TEST_F(KorrenderScenes, FogBlendsLinearlyWithTheEyeDistance) {
    SceneSpec spec;
    spec.lights = LightXml({}, kGrey, {}) + LightXml({}, {0, 0, 1}, {});
    MaterialSpec blue_fog;
    blue_fog.colour = {1, 0, 0};
    blue_fog.fog_type = 1;
    blue_fog.fog_start = 5;
    blue_fog.fog_end = 15;
    blue_fog.fog_colour = 2;
    MaterialSpec white_fog;
    white_fog.colour = {0, 0, 0};
    white_fog.fog_type = 2;
    white_fog.fog_start = 0;
    white_fog.fog_end = 40;
    // Type 3 turns fog on as well, leaving the hint.
    MaterialSpec odd_type = white_fog;
    odd_type.fog_type = 3;
    spec.materials = {blue_fog, white_fog, odd_type};
    // At a distance of 10 in front of the camera: halfway between 5 and 15, a quarter of
    // the way from 0 to 40.
    ObjectSpec square;
    square.position = {-4, 0, -10};
    square.scale = 3;
    spec.objects.push_back(square);
    square.material = 2;
    square.position = {0, 0, -10};
    spec.objects.push_back(square);
    square.material = 3;
    square.position = {4, 0, -10};
    spec.objects.push_back(square);
    const Picture p = RenderScene(SceneDocument(spec));
    ASSERT_TRUE(p.ok());
    // 10 * tan 30 = 5.77 units are half the picture's height, 45 pixels: 7.8 pixels a unit.
    ExpectPixel(p, 80 - 31, 45, {0.5f, 0, 0.5f}, "blue fog");
    ExpectPixel(p, 80, 45, {0.25f, 0.25f, 0.25f}, "white fog");
    ExpectPixel(p, 80 + 31, 45, {0.25f, 0.25f, 0.25f}, "fog of type 3");
}

// Light 1 clears to (0.5, 0.6, 0.7); three squares side by side: added, subtracted, and an
// opaque one drawn after the subtracted one, which must find the equation added again.
std::string BlendingDocument() {
    SceneSpec spec;
    spec.lights = LightXml({}, {0.5f, 0.6f, 0.7f}, {});
    MaterialSpec added;
    added.blend = 1;
    added.colour = {0.3f, 0.2f, 0.1f};
    MaterialSpec subtracted;
    subtracted.blend = 4;
    subtracted.colour = {0.4f, 0.2f, 0.8f};
    subtracted.alpha = 0.5f;
    MaterialSpec opaque;
    opaque.blend = 0;
    opaque.colour = {0.1f, 0.9f, 0.1f};
    spec.materials = {added, subtracted, opaque};
    for (int i = 0; i < 3; ++i) {
        ObjectSpec square;
        square.material = i + 1;
        square.position = {0.2f + 0.3f * i, 0.5f, 0};
        square.scale = 0.2f;
        spec.objects.push_back(square);
    }
    spec.camera = OrthographicCamera();
    return SceneDocument(spec);
}

TEST_F(KorrenderScenes, AdditiveAndSubtractiveBlending) {
    const Picture p = RenderScene(BlendingDocument());
    ASSERT_TRUE(p.ok());
    ExpectPixel(p, 32, 45, {0.8f, 0.8f, 0.8f}, "added");
    // Reverse subtraction: the background less colour * alpha.
    ExpectPixel(p, 80, 45, {0.3f, 0.5f, 0.3f}, "subtracted");
    ExpectPixel(p, 128, 45, {0.1f, 0.9f, 0.1f}, "opaque after the subtracted one");
}

TEST_F(KorrenderScenes, WithoutBlendSubtractTheSubtractiveFactorsAdd) {
    test::RunOptions driver;
    driver.set_env = {{"MESA_EXTENSION_OVERRIDE", "-GL_EXT_blend_subtract"}};
    const Picture p = RenderScene(BlendingDocument(), 50, driver);
    ASSERT_TRUE(p.ok());
    // GL_SRC_ALPHA, GL_ONE with the equation OpenGL starts with: the background plus
    // colour * alpha.
    ExpectPixel(p, 80, 45, {0.7f, 0.7f, 1.0f}, "subtractive without the extension");
    ExpectPixel(p, 32, 45, {0.8f, 0.8f, 0.8f}, "added");
}

TEST_F(KorrenderScenes, VisibilityCurvesShowAtOneAndHideBelow) {
    SceneSpec spec;
    // Curves: 1.0, 0.999, and a line 0.02 t over 100 hundredths (ending at 2).
    spec.curves = ConstantCurve(1.0f) + ConstantCurve(0.999f) +
                  "<curve type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\"><s "
                  "type=\"1\" length=\"100\"><p>0.02</p><p>0</p></s></curve>";
    spec.lights = LightXml({}, kGrey, {});
    MaterialSpec white;
    spec.materials = {white};
    const struct {
        int curve;
        float offset;
    } objects[] = {
        {0, 0},   // no curve: always shown
        {1, 0},   // exactly 1: shown
        {2, 0},   // 0.999: hidden
        {3, 0},   // 0.4 at the object time 20: hidden
        {3, -50}, // object time 20 - 50 wraps to near 2^32: the curve's end, 2: shown
    };
    for (int i = 0; i < 5; ++i) {
        ObjectSpec square;
        square.position = {0.1f + 0.2f * i, 0.5f, 0};
        square.scale = 0.1f;
        square.visibility = objects[i].curve;
        square.time_offset = objects[i].offset;
        spec.objects.push_back(square);
    }
    spec.camera = OrthographicCamera();
    const Picture p = RenderScene(SceneDocument(spec), 20);
    ASSERT_TRUE(p.ok());
    const bool shown[] = {true, true, false, false, true};
    for (int i = 0; i < 5; ++i)
        ExpectPixel(p, 16 + 32 * i, 45, shown[i] ? Colour{1, 1, 1} : kGrey,
                    "object " + std::to_string(i + 1));
}

TEST_F(KorrenderScenes, ABillboardFacesTheTurnedCamera) {
    const float x = -20, y = 35, z = 15;
    // The point 5 units straight ahead of the camera: the inverse of its rotation
    // Rz * Rx * Ry applied to (0, 0, -5).
    ResetMatrices();
    RotateY(MatrixSlot::kModel, -y);
    RotateX(MatrixSlot::kModel, -x);
    RotateZ(MatrixSlot::kModel, -z);
    const Matrix4& m = GetMatrixSet().model;
    const std::array<float, 3> ahead = {-5 * m[8], -5 * m[9], -5 * m[10]};

    SceneSpec spec;
    spec.lights = LightXml({}, kGrey, {});
    MaterialSpec facing;
    facing.culling = 1; // a square seen from behind would not be drawn
    facing.colour = {0.9f, 0.5f, 0.1f};
    spec.materials = {facing};
    ObjectSpec square;
    square.position = ahead;
    square.scale = 2;
    square.billboard = true;
    spec.objects = {square};
    spec.camera = TurnedCamera(x, y, z);
    const Picture p = RenderScene(SceneDocument(spec));
    ASSERT_TRUE(p.ok());
    // An upright square in the middle: half its side, 1 unit at a distance of 5, is
    // 1 / (5 tan 30) of half the picture's height, 15.6 pixels. Its corners are where a
    // turned square would not reach.
    for (int dx : {-13, 0, 13})
        for (int dy : {-13, 0, 13})
            ExpectPixel(p, 80 + dx, 45 + dy, facing.colour,
                        "inside at " + std::to_string(dx) + ", " + std::to_string(dy));
    for (const auto& [dx, dy] : {std::pair{-19, 0}, {19, 0}, {0, -19}, {0, 19}})
        ExpectPixel(p, 80 + dx, 45 + dy, kGrey,
                    "outside at " + std::to_string(dx) + ", " + std::to_string(dy));
}

// The bundled production at moments of each of its scenes.
TEST_F(KorrenderScenes, TheShowcaseMatchesItsGoldens) {
    const std::string package = test::BuildPath("showcase/showcase.dpk");
    ASSERT_TRUE(std::filesystem::exists(package)) << package;
    const struct {
        uint32_t time;
        const char* golden;
    } frames[] = {
        {300, "scenes_showcase_forms.png"},
        {1900, "scenes_showcase_water.png"},
        {2700, "scenes_showcase_ink.png"},
        {3700, "scenes_showcase_sprites.png"},
        // Custom shaders over pedestals of three textures: here the shader materials draw by
        // their fixed-function fields, the pedestals in one pass of three stages.
        {5500, "scenes_showcase_shaders.png"},
        {6100, "scenes_showcase_shaders_close.png"},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.golden);
        const std::string name = std::to_string(f.time);
        ExpectMatchesGolden(Render(package, f.time, name + ".png", {}, {}, "320x180"), f.golden);
        ExpectMatchesGolden(
            Render(package, f.time, name + "_novbo.png", {"--no-vbo"}, {}, "320x180"), f.golden,
            Golden::kCompareOnly);
    }
}

// The custom shaders of the bundled production as their own programs draw them: the plasma
// sphere and the glowing torus, which the fixed-function frames above cannot show.
TEST_F(KorrenderScenes, TheShowcaseCustomShadersMatchTheirGolden) {
    const std::string package = test::BuildPath("showcase/showcase.dpk");
    ASSERT_TRUE(std::filesystem::exists(package)) << package;
    const char golden[] = "scenes_showcase_shaders_glsl.png";
    ExpectMatchesGolden(Render(package, 5800, "glsl.png", {"--renderer", "glsl"}, {}, "320x180"),
                        golden);
    ExpectMatchesGolden(
        Render(package, 5800, "glsl_novbo.png", {"--renderer", "glsl", "--no-vbo"}, {}, "320x180"),
        golden, Golden::kCompareOnly);
}

} // namespace
} // namespace korvane
