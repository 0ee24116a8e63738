// korrender as a user runs it: small productions built in code are rendered to PNG files
// and compared with golden images by a tolerance; frame lines, ranges, contact sheets, the
// private display, usage errors and productions that cannot be played.
//
// Goldens are remade only on purpose, with scripts/update-goldens (which sets
// KORVANE_UPDATE_GOLDENS=1 for these tests); a normal run never writes them.
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/package.h"
#include "mesh/mesh_file.h"
#include "support/frames.h"
#include "support/production.h"
#include "support/support.h"

namespace korvane {
namespace {

using test::Golden;
using test::Lines;
using test::LoadPng;
using test::Picture;
using test::RunResult;

// Clear colours are exact on every renderer; the margin covers rounding of colour values.
constexpr test::GoldenTolerance kTolerance{1.0, 12};

void ExpectMatchesGolden(const std::string& frame_path, const std::string& golden_name,
                         Golden role = Golden::kReference) {
    test::ExpectMatchesGolden(frame_path, golden_name, kTolerance, role);
}

// Colours as 8-bit values of a clear colour (r, g, b floats).
std::array<int, 3> Byte(float r, float g, float b) {
    auto to_byte = [](float v) { return static_cast<int>(std::lround(v * 255.0f)); };
    return {to_byte(r), to_byte(g), to_byte(b)};
}

bool Near(const std::array<int, 3>& a, const std::array<int, 3>& b) {
    for (int c = 0; c < 3; ++c)
        if (std::abs(a[c] - b[c]) > 2)
            return false;
    return true;
}

// Clear colours of the productions below.
constexpr float kRed[3] = {0.8f, 0.1f, 0.1f};
constexpr float kGreen[3] = {0.1f, 0.7f, 0.2f};
constexpr float kBlue[3] = {0.1f, 0.2f, 0.9f};
constexpr float kYellow[3] = {0.9f, 0.8f, 0.1f};
constexpr float kMagenta[3] = {0.9f, 0.1f, 0.8f};

std::array<int, 3> Byte(const float (&c)[3]) {
    return Byte(c[0], c[1], c[2]);
}

std::string Lights() {
    using test::StaticLight;
    return StaticLight(kRed[0], kRed[1], kRed[2]) + StaticLight(kGreen[0], kGreen[1], kGreen[2]) +
           StaticLight(kBlue[0], kBlue[1], kBlue[2]) +
           StaticLight(kYellow[0], kYellow[1], kYellow[2]) +
           StaticLight(kMagenta[0], kMagenta[1], kMagenta[2]);
}

test::LayerSpec ClearLayer(uint32_t light, int32_t length, int32_t space_before = 0) {
    test::LayerSpec layer;
    layer.scene = 1;
    layer.clear_light = light;
    layer.length = length;
    layer.space_before = space_before;
    return layer;
}

// Two tracks of clearing layers. Track 0: red 0 ... 200 through a perspective camera, then
// green 200 ... 400 through an orthographic one. Track 1: idle until 300, then blue until 500,
// drawn after track 0 and so over it. Past 500 nothing is current.
std::string TracksProduction() {
    test::DocumentSections s;
    s.lights = Lights();
    s.scenes = test::EmptyScene();
    test::LayerSpec green = ClearLayer(2, 200);
    for (int i = 0; i < 6; ++i)
        green.camera += test::StaticValue(0.0f);
    green.camera +=
        "<v type=\"ortographic\"/>" + test::StaticValue(100.0f) + test::StaticValue(1.7777778f);
    s.tracks = "<track>" + test::LayerXml(ClearLayer(1, 200)) + test::LayerXml(green) +
               "</track><track>" + test::LayerXml(ClearLayer(3, 200, 300)) + "</track>";
    return test::BuildDocument(s);
}

// An unlit material without culling: a colour, or the texture a texture reference names
// alone (generated reflection coordinates for cube maps).
std::string MaterialXml(const std::array<float, 3>& colour, int texture_ref = 0,
                        int coordinate_generation = 0) {
    std::string xml = "<material><backface_culling value=\"0\"/><depth_test value=\"1\"/>"
                      "<normalization value=\"0\"/><wireframe value=\"0\"/>"
                      "<blend_function value=\"2\"/><fogtype value=\"0\"/>";
    const char* names[] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i)
        xml += std::string("<") + names[i] + " type=\"static\" value=\"" +
               std::to_string(colour[i]) + "\"/>";
    xml += "<alpha type=\"static\" value=\"1\"/><linewidth type=\"static\" value=\"1\"/>"
           "<fogstart type=\"static\" value=\"0\"/><fogend type=\"static\" value=\"0\"/>"
           "<light1 value=\"0\"/><light2 value=\"0\"/><fogcolor value=\"0\"/>";
    xml += "<texture1 value=\"" + std::to_string(texture_ref) + "\" wrapmode=\"1\" cgenmode=\"" +
           std::to_string(coordinate_generation) + "\" rotation=\"0\" function=\"2\"/>";
    xml += "<texture2 value=\"0\" wrapmode=\"0\" cgenmode=\"0\" rotation=\"0\" function=\"0\"/>"
           "<texture3 value=\"0\" wrapmode=\"0\" cgenmode=\"0\" rotation=\"0\" function=\"0\"/>"
           "<enable_glsl value=\"0\"/></material>";
    return xml;
}

// An object of the square: position, rotation in degrees, scale.
std::string SquareXml(int material, const std::array<float, 3>& position,
                      const std::array<float, 3>& rotation, const std::array<float, 3>& scale) {
    std::string xml = "<object type=\"0\" object=\"1\" material=\"" + std::to_string(material) +
                      "\" font=\"0\" text=\"\">";
    for (const auto* values : {&position, &rotation, &scale})
        for (float v : *values)
            xml += test::StaticValue(v);
    return xml + "<visibility value=\"0\"/><offset value=\"0\"/><billboard value=\"0\"/></object>";
}

// Cameras of the layers: the orthographic one (x from 0 at the left to 1 at the right, y from
// 0 at the top to 1 at the bottom), and one at the origin with the field of view and aspect
// of a cube face.
std::string OrthographicCamera() {
    return test::Repeat(test::StaticValue(0), 6) + "<v type=\"ortographic\"/>" +
           test::StaticValue(100) + test::StaticValue(1.7777778f);
}
std::string CubeFaceCamera() {
    return test::Repeat(test::StaticValue(0), 6) + test::StaticValue(90) + test::StaticValue(100) +
           test::StaticValue(1);
}

// The same scene drawn through framebuffer objects and by copying from the back buffer
// agrees within this: the copy path's targets take the window's rounding of the picture.
constexpr double kPathMeanTolerance = 1.0;
constexpr int kPathMaxTolerance = 24;

// Track 0 renders into a cube map (cleared magenta), track 1 into a texture (cleared
// yellow), track 2 into the window (cleared blue), where two squares show what the targets
// hold: the texture on the left and the cube map (by reflection) on the right. Whichever way
// targets are drawn, the window shows the same, with black bars. (The cube map comes first:
// without framebuffer objects its faces are drawn in the back buffer, where a texture
// target still waiting to be copied would lose its picture.)
std::string TargetsProduction() {
    test::DocumentSections s;
    s.mesh_files = "<mesh filename=\"square.mesh\"/>";
    s.lights = Lights();
    s.image_files = "<image filename=\"target.png\" texture_format=\"0\" texture_filter=\"2\"/>";
    s.cube_maps = "<cube xp=\"face.png\" xn=\"face.png\" yp=\"face.png\" yn=\"face.png\" "
                  "zp=\"face.png\" zn=\"face.png\" texture_format=\"0\" texture_filter=\"1\"/>";
    s.texture_references = "<r type=\"1\" id=\"1\"/><r type=\"3\" id=\"1\"/>";
    s.materials = MaterialXml({1, 1, 1}, 1) + MaterialXml({1, 1, 1}, 2, 2);
    s.scenes = test::EmptyScene() + "<scene>" +
               SquareXml(1, {0.25f, 0.5f, 0}, {}, {0.3f, 0.5f, 1}) +
               SquareXml(2, {0.75f, 0.5f, 0}, {}, {0.3f, 0.5f, 1}) + "</scene>";
    test::LayerSpec to_texture = ClearLayer(4, 300);
    to_texture.type = 1;
    to_texture.rtex = 1;
    test::LayerSpec to_cube = ClearLayer(5, 300);
    to_cube.type = 3;
    to_cube.rtex = 1;
    test::LayerSpec window = ClearLayer(3, 300);
    window.scene = 2;
    window.camera = OrthographicCamera();
    s.tracks = "<track>" + test::LayerXml(to_cube) + "</track><track>" +
               test::LayerXml(to_texture) + "</track><track>" + test::LayerXml(window) + "</track>";
    return test::BuildDocument(s);
}

// Every render type: a cube map drawn live (3) from a room of six coloured walls, a texture
// (1) showing an image file with supplied mip images, a quarter-screen texture (2) showing a
// cube map of image faces by reflection with a "Link with previous" layer (4) adding to it,
// the room's six cube views in one texture (5), and the window (0) showing all of them on a
// grid of squares: the rendered texture, the quarter-screen texture and the cube views in
// the top row, the image faces, the live cube map and the image itself in the bottom row.
const std::array<float, 3> kWallColours[6] = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.8f, 0.1f},
                                              {0.1f, 0.2f, 0.9f}, {0.9f, 0.9f, 0.1f},
                                              {0.1f, 0.9f, 0.9f}, {0.9f, 0.1f, 0.9f}};
const std::array<int, 3> kSkyColours[6] = {{250, 140, 20},  {120, 40, 160},  {20, 130, 130},
                                           {128, 128, 128}, {240, 240, 240}, {110, 70, 30}};

std::string RenderTypesProduction() {
    test::DocumentSections s;
    s.mesh_files = "<mesh filename=\"square.mesh\"/>";
    s.lights = test::StaticLight(0.2f, 0.2f, 0.25f) + test::StaticLight(0, 0, 0);
    s.image_files = "<image filename=\"photo.png\" texture_format=\"0\" texture_filter=\"2\"/>"
                    "<image filename=\"canvas.png\" texture_format=\"0\" texture_filter=\"2\"/>"
                    "<image filename=\"quarter.png\" texture_format=\"0\" texture_filter=\"1\"/>"
                    "<image filename=\"tiles.png\" texture_format=\"0\" texture_filter=\"1\"/>";
    s.cube_maps = "<cube xp=\"sky0.png\" xn=\"sky1.png\" yp=\"sky2.png\" yn=\"sky3.png\" "
                  "zp=\"sky4.png\" zn=\"sky5.png\" texture_format=\"0\" texture_filter=\"1\"/>"
                  "<cube xp=\"live.png\" xn=\"live.png\" yp=\"live.png\" yn=\"live.png\" "
                  "zp=\"live.png\" zn=\"live.png\" texture_format=\"0\" texture_filter=\"1\"/>";
    // References 1 to 4: the image files; 5 and 6: the cube maps.
    s.texture_references = "<r type=\"1\" id=\"1\"/><r type=\"1\" id=\"2\"/><r type=\"1\" "
                           "id=\"3\"/><r type=\"1\" id=\"4\"/><r type=\"3\" id=\"1\"/>"
                           "<r type=\"3\" id=\"2\"/>";
    // Materials 1 to 6 show references 1 to 6; 7 to 12 are the walls.
    for (int ref = 1; ref <= 6; ++ref)
        s.materials += MaterialXml({1, 1, 1}, ref, ref >= 5 ? 2 : 0);
    for (const auto& colour : kWallColours)
        s.materials += MaterialXml(colour);
    // Scene 1: the image filling the picture. 2: the image faces by reflection, filling it
    // (set back from the eye, so that no corner lies where a reflection has no direction).
    // 3: the room, walls two units from the origin. 4: a small image in a corner. 5: the grid.
    s.scenes = "<scene>" + SquareXml(1, {0.5f, 0.5f, 0}, {}, {1, 1, 1}) + "</scene>";
    s.scenes += "<scene>" + SquareXml(5, {0.5f, 0.5f, -0.5f}, {}, {1, 1, 1}) + "</scene>";
    const std::array<float, 3> walls[6][2] = {{{2, 0, 0}, {0, 90, 0}}, {{-2, 0, 0}, {0, 90, 0}},
                                              {{0, 2, 0}, {90, 0, 0}}, {{0, -2, 0}, {90, 0, 0}},
                                              {{0, 0, 2}, {0, 0, 0}},  {{0, 0, -2}, {0, 0, 0}}};
    s.scenes += "<scene>";
    for (int w = 0; w < 6; ++w)
        s.scenes += SquareXml(7 + w, walls[w][0], walls[w][1], {4, 4, 4});
    s.scenes += "</scene>";
    s.scenes += "<scene>" + SquareXml(1, {0.15f, 0.2f, 0}, {}, {0.2f, 0.3f, 1}) + "</scene>";
    s.scenes += "<scene>";
    const int grid[6] = {2, 3, 4, 5, 6, 1};
    for (int cell = 0; cell < 6; ++cell)
        s.scenes += SquareXml(grid[cell], {(cell % 3 + 0.5f) / 3, (cell / 3 + 0.5f) / 2, 0}, {},
                              {0.3f, 0.45f, 1});
    s.scenes += "</scene>";

    auto layer = [](uint32_t scene, int type, uint32_t rtex, const std::string& camera,
                    bool clear = true) {
        test::LayerSpec settings;
        settings.scene = scene;
        settings.type = type;
        settings.rtex = rtex;
        settings.length = 1000;
        settings.clear_light = 2;
        settings.clear_color_buffer = clear ? 1 : 0;
        settings.clear_z_buffer = clear ? 1 : 0;
        settings.camera = camera;
        return test::TrackXml(test::LayerXml(settings));
    };
    // The cube map comes first: without framebuffer objects its faces are drawn in the
    // back buffer, where a texture target waiting to be copied would lose its picture.
    s.tracks = layer(3, 3, 2, CubeFaceCamera()) + layer(1, 1, 2, OrthographicCamera()) +
               layer(2, 2, 3, OrthographicCamera()) + layer(4, 4, 0, OrthographicCamera(), false) +
               layer(3, 5, 4, CubeFaceCamera());
    test::LayerSpec window;
    window.scene = 5;
    window.length = 1000;
    window.clear_light = 1;
    window.camera = OrthographicCamera();
    s.tracks += test::TrackXml(test::LayerXml(window));
    return test::BuildDocument(s);
}

test::PackageEntries RenderTypesEntries() {
    // The photo ships its own level 1 and level 2.
    test::PackageEntries entries = {{"square.mesh", test::SquareMeshEntry()},
                                    {"photo.png", test::QuartersPng(64)},
                                    {"photo_mm1.png", test::QuartersPng(32)},
                                    {"photo_mm2.png", test::QuartersPng(16)},
                                    {"canvas.png", test::SolidPng(128, 128, {0, 0, 0})},
                                    {"quarter.png", test::SolidPng(32, 32, {0, 0, 0})},
                                    {"tiles.png", test::SolidPng(192, 128, {0, 0, 0})},
                                    {"live.png", test::SolidPng(64, 64, {0, 0, 0})}};
    for (int f = 0; f < 6; ++f)
        entries.push_back(
            {"sky" + std::to_string(f) + ".png", test::SolidPng(16, 16, kSkyColours[f])});
    return entries;
}

class Korrender : public testing::Test {
  protected:
    test::TempDir dir;

    std::string Path(const std::string& name) const { return dir / name; }

    std::string WritePackage(const std::string& name, const std::string& demo_xml,
                             const std::string& loading_xml = "",
                             test::PackageEntries entries = {}) {
        if (entries.empty())
            entries = {{"target.png", test::SolidPng(32, 32, {90, 90, 90})},
                       {"face.png", test::SolidPng(32, 32, {90, 90, 90})},
                       {"square.mesh", test::SquareMeshEntry()}};
        test::WriteProductionPackage(Path(name), demo_xml, loading_xml, entries);
        return Path(name);
    }

    RunResult Run(std::vector<std::string> arguments, test::RunOptions options = {}) {
        arguments.insert(arguments.begin(), test::ProgramPath("korrender"));
        options.cwd = dir.path();
        return test::RunProgram(arguments, options);
    }

    // Renders one 160 x 90 frame; the frame's path.
    std::string RenderFrame(const std::string& package, uint32_t time, const std::string& name,
                            std::vector<std::string> extra = {},
                            const test::RunOptions& options = {}) {
        std::vector<std::string> arguments = {"--size", "160x90",  "--time", std::to_string(time),
                                              "--out",  Path(name)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(package);
        RunResult run = Run(arguments, options);
        EXPECT_EQ(run.exit_code, 0) << run.Describe();
        return Path(name);
    }
};

TEST_F(Korrender, FramesOfSeveralTracksMatchTheirGoldens) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    const struct {
        uint32_t time;
        const char* golden;
        int layers;
    } frames[] = {
        {100, "korrender_tracks_red_in_depth.png", 1},
        {250, "korrender_tracks_green_orthographic.png", 1},
        {350, "korrender_tracks_blue_over_green.png", 2},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.golden);
        RunResult run = Run({"--size", "160x90", "--time", std::to_string(f.time), "--out",
                             Path(f.golden), package});
        ASSERT_EQ(run.exit_code, 0) << run.Describe();
        EXPECT_EQ(Lines(run.out), std::vector<std::string>{"time=" + std::to_string(f.time) +
                                                           " layers=" + std::to_string(f.layers) +
                                                           " file=" + Path(f.golden)});
        EXPECT_EQ(run.err, "") << "the capability report stays off the output";
        ExpectMatchesGolden(Path(f.golden), f.golden);
    }
}

TEST_F(Korrender, NarrowDisplaysGetBlackBars) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    const std::string frame = RenderFrame(package, 350, "bars.png", {"--aspect", "4:3"});
    ExpectMatchesGolden(frame, "korrender_tracks_letterbox_4x3.png");
    // 160 x 90 at 4:3: a picture 67 rows high from row 11 (counted from the bottom).
    Picture picture = LoadPng(frame);
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(picture.At(80, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(picture.At(80, 89 - 11), Byte(kBlue)) << "the picture's lowest row";
    EXPECT_EQ(picture.At(80, 89 - 10), (std::array<int, 3>{0, 0, 0})) << "the bar below";
    EXPECT_EQ(picture.At(80, 89 - 77), Byte(kBlue)) << "the picture's top row";
    EXPECT_EQ(picture.At(80, 89 - 78), (std::array<int, 3>{0, 0, 0})) << "the bar above";
}

TEST_F(Korrender, EveryRendererChoiceDrawsTheSameFrame) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    const std::vector<std::vector<std::string>> choices = {
        {"--renderer", "fixed"}, {"--no-vbo"}, {"--forcepbo"}, {"--renderer", "glsl"}};
    int n = 0;
    for (const auto& choice : choices) {
        SCOPED_TRACE(choice.front());
        const std::string frame =
            RenderFrame(package, 350, "choice" + std::to_string(n++) + ".png", choice);
        ExpectMatchesGolden(frame, "korrender_tracks_blue_over_green.png", Golden::kCompareOnly);
    }
}

TEST_F(Korrender, TextureAndCubeTargetsShowInTheWindowOnBothPaths) {
    const std::string package = WritePackage("targets.dpk", TargetsProduction());
    test::RunOptions copy_path;
    copy_path.set_env = {
        {"MESA_EXTENSION_OVERRIDE", "-GL_EXT_framebuffer_object -GL_ARB_framebuffer_object"}};
    const std::vector<std::string> fixed = {"--aspect", "4:3", "--renderer", "fixed"};
    const std::string framebuffer = RenderFrame(package, 100, "framebuffer.png", fixed);
    const std::string copied = RenderFrame(package, 100, "copied.png", fixed, copy_path);
    ExpectMatchesGolden(framebuffer, "korrender_targets_4x3.png");
    ExpectMatchesGolden(copied, "korrender_targets_4x3.png", Golden::kCompareOnly);
    for (const std::string& frame : {framebuffer, copied}) {
        SCOPED_TRACE(frame);
        Picture picture = LoadPng(frame);
        ASSERT_TRUE(picture.ok());
        for (int x : {0, 80, 159}) {
            EXPECT_EQ(picture.At(x, 89), (std::array<int, 3>{0, 0, 0})) << "lower bar at " << x;
            EXPECT_EQ(picture.At(x, 0), (std::array<int, 3>{0, 0, 0})) << "upper bar at " << x;
            EXPECT_EQ(picture.At(x, 45), Byte(kBlue)) << "picture at " << x;
        }
        // The picture is 160 x 67 from row 11: the squares' middles.
        EXPECT_TRUE(Near(picture.At(40, 45), Byte(kYellow)))
            << "the texture target: " << test::DescribePixel(picture.At(40, 45));
        EXPECT_TRUE(Near(picture.At(120, 45), Byte(kMagenta)))
            << "the cube target: " << test::DescribePixel(picture.At(120, 45));
    }
}

TEST_F(Korrender, EveryRenderTypeDrawsTheSameFrameOnBothTargetPaths) {
    const std::string package =
        WritePackage("render_types.dpk", RenderTypesProduction(), "", RenderTypesEntries());
    test::RunOptions copy_path;
    copy_path.set_env = {
        {"MESA_EXTENSION_OVERRIDE", "-GL_EXT_framebuffer_object -GL_ARB_framebuffer_object"}};
    const std::vector<std::string> fixed = {"--renderer", "fixed", "--size", "320x180"};
    const std::string framebuffer = RenderFrame(package, 100, "types_framebuffer.png", fixed);
    const std::string copied = RenderFrame(package, 100, "types_copied.png", fixed, copy_path);
    ExpectMatchesGolden(framebuffer, "korrender_render_types.png");
    const Picture a = LoadPng(framebuffer);
    const Picture b = LoadPng(copied);
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_EQ(a.rgb.size(), b.rgb.size());
    uint64_t total = 0;
    int largest = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const int d = std::abs(int{a.rgb[i]} - int{b.rgb[i]});
        total += static_cast<uint64_t>(d);
        largest = std::max(largest, d);
    }
    const double mean = static_cast<double>(total) / static_cast<double>(a.rgb.size());
    std::printf("framebuffer objects against copies: mean channel difference %.4f, largest %d\n",
                mean, largest);
    EXPECT_LE(mean, kPathMeanTolerance);
    EXPECT_LE(largest, kPathMaxTolerance);

    // Cells of the grid are 106 x 90 pixels; quarters of an image sit 26 pixels either way
    // of a cell's middle.
    for (const Picture* picture : {&a, &b}) {
        auto cell = [&](int column, int row, int dx, int dy) {
            return picture->At(53 + 107 * column + dx, 45 + 90 * row + dy);
        };
        // The image itself (bottom right), upright: its first row at the top.
        EXPECT_TRUE(Near(cell(2, 1, -20, -20), test::kPngQuarters[0]));
        EXPECT_TRUE(Near(cell(2, 1, 20, -20), test::kPngQuarters[1]));
        EXPECT_TRUE(Near(cell(2, 1, -20, 20), test::kPngQuarters[2]));
        EXPECT_TRUE(Near(cell(2, 1, 20, 20), test::kPngQuarters[3]));
        // The texture it was rendered into (top left) holds it as drawn, bottom row first.
        EXPECT_TRUE(Near(cell(0, 0, -20, -20), test::kPngQuarters[2]))
            << test::DescribePixel(cell(0, 0, -20, -20));
        EXPECT_TRUE(Near(cell(0, 0, 20, 20), test::kPngQuarters[1]))
            << test::DescribePixel(cell(0, 0, 20, 20));
    }
}

// The bundled production's gallery: procedural textures, image files with supplied mip
// images, a sky cube map, a monitor showing a texture a layer renders, and a ring reflecting
// a cube map drawn live. Its frame is the same through framebuffer objects, through copies
// and with generated shaders, in a window that holds the 256 x 256 monitor picture (a target
// copied from a smaller window would be remade at the window's size).
TEST_F(Korrender, TheShowcaseGalleryLooksTheSameOnEveryPath) {
    const std::string package = test::BuildPath("showcase/showcase.dpk");
    ASSERT_TRUE(std::filesystem::exists(package)) << package;
    test::RunOptions copy_path;
    copy_path.set_env = {
        {"MESA_EXTENSION_OVERRIDE", "-GL_EXT_framebuffer_object -GL_ARB_framebuffer_object"}};
    const std::vector<std::string> size = {"--size", "480x270"};
    auto with = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), size.begin(), size.end());
        return arguments;
    };
    ExpectMatchesGolden(RenderFrame(package, 4600, "gallery.png", with({"--renderer", "fixed"})),
                        "korrender_showcase_gallery.png");
    ExpectMatchesGolden(
        RenderFrame(package, 4600, "gallery_copied.png", with({"--renderer", "fixed"}), copy_path),
        "korrender_showcase_gallery.png", Golden::kCompareOnly);
    ExpectMatchesGolden(
        RenderFrame(package, 4600, "gallery_glsl.png", with({"--renderer", "glsl"})),
        "korrender_showcase_gallery.png", Golden::kCompareOnly);
}

TEST_F(Korrender, ARangeToTheEndWritesNumberedFrames) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    RunResult run = Run({"--size", "160x90", "--from", "0", "--to", "end", "--fps", "4", "--out",
                         Path("frame_%03d.png"), package});
    ASSERT_EQ(run.exit_code, 0) << run.Describe();
    // The timeline ends at 500: 21 frames, 25 hundredths apart.
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 21u) << run.out;
    EXPECT_EQ(lines.front(), "time=0 layers=1 file=" + Path("frame_000.png"));
    EXPECT_EQ(lines[10], "time=250 layers=1 file=" + Path("frame_010.png"));
    EXPECT_EQ(lines[14], "time=350 layers=2 file=" + Path("frame_014.png"));
    EXPECT_EQ(lines.back(), "time=500 layers=1 file=" + Path("frame_020.png"));
    const struct {
        const char* file;
        std::array<int, 3> colour;
    } expected[] = {{"frame_000.png", Byte(kRed)},
                    {"frame_010.png", Byte(kGreen)},
                    {"frame_014.png", Byte(kBlue)},
                    {"frame_020.png", Byte(kBlue)}};
    for (const auto& e : expected) {
        Picture picture = LoadPng(Path(e.file));
        ASSERT_TRUE(picture.ok()) << e.file;
        EXPECT_TRUE(Near(picture.At(80, 45), e.colour))
            << e.file << ": " << test::DescribePixel(picture.At(80, 45));
    }
    EXPECT_FALSE(std::filesystem::exists(Path("frame_021.png")));
}

TEST_F(Korrender, TimesAreRenderedInTheOrderGivenAndSheetsInTimeOrder) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    RunResult run = Run({"--size", "160x90", "--time", "600", "--time", "100", "--time", "250",
                         "--out", Path("t%d.png"), "--sheet", Path("sheet.png"), package});
    ASSERT_EQ(run.exit_code, 0) << run.Describe();
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "time=600 layers=0 file=" + Path("t0.png"),
                                  "time=100 layers=1 file=" + Path("t1.png"),
                                  "time=250 layers=1 file=" + Path("t2.png"),
                              }));
    // Past the end of every track the window stays black.
    Picture after_end = LoadPng(Path("t0.png"));
    ASSERT_TRUE(after_end.ok());
    EXPECT_EQ(after_end.At(80, 45), (std::array<int, 3>{0, 0, 0}));

    // Three thumbnails in one row: 100, 250, 600.
    Picture sheet = LoadPng(Path("sheet.png"));
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(sheet.width, 6 + 3 * (160 + 6));
    EXPECT_EQ(sheet.height, 6 + 90 + 16 + 6);
    EXPECT_TRUE(Near(sheet.At(6 + 80, 6 + 45), Byte(kRed)));
    EXPECT_TRUE(Near(sheet.At(6 + 166 + 80, 6 + 45), Byte(kGreen)));
    EXPECT_EQ(sheet.At(6 + 2 * 166 + 80, 6 + 45), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(Korrender, LongRangesShowAtMost24FramesOnTheSheet) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    RunResult run = Run({"--size", "320x180", "--from", "0", "--to", "500", "--fps", "10", "--out",
                         Path("f%04d.png"), "--sheet", Path("sheet.png"), package});
    ASSERT_EQ(run.exit_code, 0) << run.Describe();
    EXPECT_EQ(Lines(run.out).size(), 51u);
    EXPECT_NE(run.err.find("51 of 51 frames"), std::string::npos) << "progress on stderr";
    // 24 thumbnails, halved to 160 x 90, six to a row; the first at 0 (red), the last at 500
    // (blue).
    Picture sheet = LoadPng(Path("sheet.png"));
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(sheet.width, 6 + 6 * (160 + 6));
    EXPECT_EQ(sheet.height, 6 + 4 * (90 + 16 + 6));
    EXPECT_TRUE(Near(sheet.At(6 + 80, 6 + 45), Byte(kRed)));
    EXPECT_TRUE(Near(sheet.At(6 + 5 * 166 + 80, 6 + 3 * 112 + 45), Byte(kBlue)));
}

TEST_F(Korrender, StartsItsOwnDisplayWhenThereIsNone) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    test::RunOptions options;
    options.unset_env = {"DISPLAY"};
    const std::string frame = RenderFrame(package, 250, "own_display.png", {}, options);
    ExpectMatchesGolden(frame, "korrender_tracks_green_orthographic.png", Golden::kCompareOnly);
}

TEST_F(Korrender, UsageErrorsEndWithStatus2) {
    const std::string package = WritePackage("tracks.dpk", TracksProduction());
    const std::string out = Path("out.png");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus", "--time", "1", "--out", out, package},
        {"--size", "10x10", "--time", "1", "--out", out, package},
        {"--size", "640", "--time", "1", "--out", out, package},
        {"--aspect", "5:4", "--time", "1", "--out", out, package},
        {"--renderer", "vulkan", "--time", "1", "--out", out, package},
        {"--time", "1.5", "--out", out, package},
        {"--time", "-1", "--out", out, package},
        {"--time", "100", "--from", "0", "--to", "end", "--fps", "10", "--out", Path("f%d.png"),
         package},
        {"--from", "0", "--fps", "10", "--out", Path("f%d.png"), package},
        {"--from", "200", "--to", "100", "--fps", "10", "--out", Path("f%d.png"), package},
        {"--from", "900", "--to", "end", "--fps", "10", "--out", Path("f%d.png"), package},
        {"--from", "0", "--to", "end", "--fps", "0", "--out", Path("f%d.png"), package},
        {"--time", "1", "--time", "2", "--out", out, package},
        {"--time", "1", "--out", Path("f%s.png"), package},
        {"--time", "1", "--time", "2", "--out", Path("f%d_%d.png"), package},
        {"--time", "1", "--out", Path("f%ld.png"), package},
        {"--time", "1", "--out", Path("f%.png"), package},
        {"--time", "1", package},
        {"--time", "1", "--out", out},
        {"--time", "1", "--out", out, package, package},
        {"--time", "1", "--out"},
    };
    for (const auto& arguments : cases) {
        std::string joined;
        for (const auto& a : arguments)
            joined += a + " ";
        SCOPED_TRACE(joined);
        RunResult run = Run(arguments);
        EXPECT_EQ(run.exit_code, 2) << run.Describe();
        EXPECT_EQ(run.out, "");
        ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("korrender: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(out));

    RunResult help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0) << help.Describe();
    EXPECT_EQ(help.out.rfind("Usage: korrender", 0), 0u) << help.out;
}

TEST_F(Korrender, ProductionsThatCannotBePlayedEndWithStatus1) {
    test::DocumentSections broken;
    broken.lights = Lights();
    broken.scenes = test::EmptyScene();
    broken.tracks = "<track>" + test::LayerXml(ClearLayer(1, 100)) +
                    test::LayerXml(ClearLayer(9, 100)) + "</track>";
    const std::string broken_demo = WritePackage("broken_demo.dpk", test::BuildDocument(broken));
    const std::string broken_loading =
        WritePackage("broken_loading.dpk", TracksProduction(), "<production/>");
    std::filesystem::create_directory(Path("folder.dpk"));
    test::WriteFile(Path("not_a_package.dpk"), std::string("this is no package"));
    PackageFileList files;
    AppendPackageFile(files, "readme.txt", std::nullopt).contents = std::vector<uint8_t>{'h', 'i'};
    ASSERT_TRUE(korvane::WritePackage(files, Path("no_demo.dpk"), nullptr).ok());

    // A damaged index is also reported by the package reader itself, as in the player; here
    // that line goes to standard error with the rest, and standard output stays empty.
    const std::string damaged =
        "Error: loading.xmlz: the package is damaged: the index is truncated (record 0 is cut "
        "short).";
    const struct {
        std::string package;
        std::string line;
        bool reader_line; // the package reader's own "unexpected error" comes first
    } cases[] = {
        {Path("missing.dpk"),
         "Error: " + Path("missing.dpk") +
             ": the package cannot be opened (No such file or directory).",
         false},
        {broken_demo, "Error: demo.xmlz: tracks, track 1, layer 2: light 9 does not exist.", false},
        {broken_loading,
         "Error: loading.xmlz: texture operators: the section is missing (the document has 0 "
         "sections).",
         false},
        {Path("no_demo.dpk"),
         "Error: " + Path("no_demo.dpk") +
             ": the package holds no demo.xmlz, so there is nothing to play.",
         false},
        {Path("not_a_package.dpk"), damaged, true},
        {Path("folder.dpk"), damaged, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package);
        RunResult run = Run({"--time", "0", "--out", Path("frame.png"), c.package});
        EXPECT_EQ(run.exit_code, 1) << run.Describe();
        EXPECT_EQ(run.out, "");
        std::vector<std::string> expected = {c.line};
        if (c.reader_line)
            expected.insert(expected.begin(), "unexpected error");
        EXPECT_EQ(Lines(run.err), expected);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("frame.png")));
}

} // namespace
} // namespace korvane
