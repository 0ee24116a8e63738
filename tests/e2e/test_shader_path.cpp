// The shader path against the fixed-function path, as korrender draws them: the same
// production rendered with "--renderer glsl" and "--renderer fixed" gives the same frames.
// Unlit, untextured surfaces are computed the same way on both paths and must agree to the
// byte; lighting and fog are evaluated per vertex by the fixed-function pipeline and by the
// generated programs in their own order, and wire lines are rasterised as lines by one path
// and as polygon outlines by the other, so frames with those agree within a stated tolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "data/compressed_document.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_file.h"
#include "support/frames.h"
#include "support/production.h"
#include "support/support.h"

namespace korvane {
namespace {

using test::Compare;
using test::Difference;
using Frame = test::Picture;

Frame LoadFrame(const std::string& path) {
    return test::LoadPng(path);
}

class ShaderPath : public testing::Test {
  protected:
    test::TempDir dir;

    std::string Path(const std::string& name) const { return dir / name; }

    // Renders the frames at the given times with one renderer; the frames in time order.
    std::vector<Frame> Render(const std::string& package, const std::string& renderer,
                              const std::vector<uint32_t>& times, const std::string& size) {
        std::vector<std::string> arguments = {test::ProgramPath("korrender"), "--renderer",
                                              renderer, "--size", size};
        for (uint32_t time : times) {
            arguments.push_back("--time");
            arguments.push_back(std::to_string(time));
        }
        arguments.push_back("--out");
        arguments.push_back(Path(renderer + "%03d.png"));
        arguments.push_back(package);
        test::RunOptions options;
        options.cwd = dir.path();
        options.timeout_seconds = 300;
        const test::RunResult run = test::RunProgram(arguments, options);
        EXPECT_EQ(run.exit_code, 0) << run.Describe();
        std::vector<Frame> frames;
        for (size_t i = 0; i < times.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%03zu.png", i);
            frames.push_back(LoadFrame(Path(renderer + name)));
            EXPECT_GT(frames.back().width, 0) << "no frame " << renderer << name;
        }
        return frames;
    }
};

// The bundled production's scenes mix unlit and lit surfaces, fog and wire lines. Lit and
// fogged surfaces differ by a level or two where the paths round differently (per pixel
// here, per vertex there); wire lines are drawn from line lists on one path and as polygon
// edges on the other, so the pixels along them differ: a dense wire net covers up to about
// one percent of the frame.
TEST_F(ShaderPath, BundledProductionLooksTheSameOnBothPaths) {
    const std::string package = test::BuildPath("showcase/showcase.dpk");
    // Two frames of each scene: forms (lit, a wire cube), water (lit and fogged, a wire
    // net), ink and umbrellas (subtraction, wire ribs), sprites (billboards, a fogged torus).
    const std::vector<uint32_t> times = {300, 1250, 1700, 2250, 2500, 3100, 3400, 3950};
    const std::vector<Frame> glsl = Render(package, "glsl", times, "640x360");
    const std::vector<Frame> fixed = Render(package, "fixed", times, "640x360");
    for (size_t i = 0; i < times.size(); ++i) {
        SCOPED_TRACE("time " + std::to_string(times[i]));
        if (glsl[i].width == 0 || fixed[i].width == 0)
            continue;
        ASSERT_EQ(glsl[i].width, fixed[i].width);
        const Difference d = Compare(glsl[i], fixed[i]);
        EXPECT_LE(d.mean, 0.5) << d.Describe();
        EXPECT_LE(d.over_2, 0.025) << d.Describe();
        EXPECT_LE(d.over_8, 0.01) << d.Describe();
    }
}

// A document of unlit, untextured quads over a clear colour, one material per blend row, some
// overlapping and tilted in depth, one with a colour that follows a curve (a uniform on the
// shader path), seen through a turned camera.
std::string MaterialXml(float r, float g, float b, float a, int blend, int depth_test, int culling,
                        const std::string& red_override = "") {
    std::ostringstream xml;
    xml << "<material><backface_culling value=\"" << culling << "\"/><depth_test value=\""
        << depth_test << "\"/><normalization value=\"0\"/><wireframe value=\"0\"/>"
        << "<blend_function value=\"" << blend << "\"/><fogtype value=\"0\"/>";
    if (red_override.empty())
        xml << "<red type=\"static\" value=\"" << r << "\"/>";
    else
        xml << red_override;
    xml << "<green type=\"static\" value=\"" << g << "\"/><blue type=\"static\" value=\"" << b
        << "\"/><alpha type=\"static\" value=\"" << a << "\"/>"
        << "<linewidth type=\"static\" value=\"1\"/><fogstart type=\"static\" value=\"0\"/>"
        << "<fogend type=\"static\" value=\"0\"/><light1 value=\"0\"/><light2 value=\"0\"/>"
        << "<fogcolor value=\"0\"/>";
    for (int t = 1; t <= 3; ++t)
        xml << "<texture" << t << " value=\"0\" wrapmode=\"0\" cgenmode=\"0\" rotation=\"0\" "
            << "function=\"0\"/>";
    xml << "<enable_glsl value=\"0\"/><vertex_shader/><fragment_shader/></material>";
    return xml.str();
}

std::string ObjectXml(int material, std::vector<float> transform) {
    std::ostringstream xml;
    xml << "<object type=\"0\" object=\"1\" material=\"" << material << "\" font=\"0\" text=\"\">";
    for (float value : transform)
        xml << test::StaticValue(value);
    xml << "<visibility value=\"0\"/><time_offset value=\"0\"/><billboard value=\"0\"/>"
        << "</object>";
    return xml.str();
}

std::vector<uint8_t> QuadMeshEntry() {
    MeshData quad;
    quad.vertex_count = 4;
    quad.index_count = 6;
    quad.positions = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    quad.set_count = 1;
    quad.texture_sets[0] = {0, 0, 1, 0, 1, 1, 0, 1};
    quad.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    quad.indices = {0, 1, 2, 0, 2, 3};
    const std::vector<uint8_t> layout = EncodeMeshFile(quad);
    std::vector<uint8_t> framed;
    std::string message;
    EXPECT_TRUE(CompressDocument(layout.data(), layout.size(), framed, message)) << message;
    return framed;
}

std::string UnlitProduction() {
    test::DocumentSections s;
    s.mesh_files = "<mesh filename=\"quad.mesh\"/>";
    // Curve 1: red rises from 0.2 by 0.004 per hundredth of a second.
    s.curves = "<curve type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\">"
               "<segment type=\"1\" length=\"1000\"><p>0.004</p><p>0.2</p></segment></curve>";
    s.lights = test::StaticLight(0.15f, 0.2f, 0.35f);
    s.materials = MaterialXml(0.9f, 0.3f, 0.1f, 1.0f, 2, 1, 1) +  // opaque
                  MaterialXml(0.1f, 0.8f, 0.3f, 0.5f, 0, 1, 0) +  // alpha blended
                  MaterialXml(0.2f, 0.2f, 0.7f, 1.0f, 1, 0, 0) +  // added
                  MaterialXml(0.6f, 0.6f, 0.1f, 0.25f, 3, 1, 0) + // premultiplied
                  MaterialXml(0.7f, 0.1f, 0.6f, 0.6f, 4, 0, 0) +  // subtracted
                  MaterialXml(0.0f, 0.4f, 0.9f, 0.75f, 0, 1, 1,   // animated red
                              "<red type=\"dynamic\" value=\"1\"/>");
    // Position, rotation about x, y and z in degrees, scale: quads in front of the camera,
    // overlapping, some turned so that depth varies across them.
    s.scenes = "<scene>" + ObjectXml(1, {-1.5f, 0.5f, -6, 0, 30, 10, 1.2f, 1, 1}) +
               ObjectXml(2, {-0.5f, 0, -5, 20, 0, 0, 1, 1.3f, 1}) +
               ObjectXml(3, {0.8f, 0.3f, -5.5f, 0, -25, 45, 1, 1, 1}) +
               ObjectXml(4, {1.8f, -0.6f, -4.5f, 0, 0, -15, 0.8f, 0.8f, 1}) +
               ObjectXml(5, {0, -0.8f, -4, 10, 10, 0, 2.5f, 0.4f, 1}) +
               ObjectXml(6, {-2.2f, -1.0f, -7, -30, 40, 0, 1, 1, 1}) +
               ObjectXml(1, {2.5f, 1.2f, -8, 0, 180, 0, 1, 1, 1}) + // turned away: culled
               "</scene>";
    test::LayerSpec layer;
    layer.scene = 1;
    layer.clear_light = 1;
    layer.length = 1000;
    for (float value : {0.2f, 0.3f, 0.0f, 4.0f, -6.0f, 3.0f, 55.0f, 100.0f, 1.7777778f})
        layer.camera += test::StaticValue(value);
    s.tracks = "<track>" + test::LayerXml(layer) + "</track>";
    return test::BuildDocument(s);
}

TEST_F(ShaderPath, UnlitSurfacesAgreeToTheByte) {
    const std::string package = Path("unlit.dpk");
    test::WriteProductionPackage(package, UnlitProduction(), "", {{"quad.mesh", QuadMeshEntry()}});
    const std::vector<uint32_t> times = {0, 50, 120};
    const std::vector<Frame> glsl = Render(package, "glsl", times, "480x270");
    const std::vector<Frame> fixed = Render(package, "fixed", times, "480x270");
    for (size_t i = 0; i < times.size(); ++i) {
        SCOPED_TRACE("time " + std::to_string(times[i]));
        if (glsl[i].width == 0 || fixed[i].width == 0)
            continue;
        const Difference d = Compare(glsl[i], fixed[i]);
        EXPECT_EQ(d.largest, 0) << d.Describe();
    }
    // The frames are not trivially equal: the animated quad changes between the times.
    if (glsl.size() == 3 && glsl[0].width > 0 && glsl[2].width > 0) {
        EXPECT_GT(Compare(glsl[0], glsl[2]).mean, 0.0);
    }
}

} // namespace
} // namespace korvane
