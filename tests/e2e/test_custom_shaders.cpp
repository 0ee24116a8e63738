// Materials with their own GLSL shaders, as korrender draws them: small productions built in
// code whose custom programs write colours from uniforms driven by curves, read the
// material's textures through the fixed names, and fail to compile. The shader path runs
// the custom programs; the fixed-function path draws the same materials by their ordinary
// fields.
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "mesh/mesh_file.h"
#include "support/frames.h"
#include "support/production.h"
#include "support/support.h"

namespace korvane {
namespace {

using test::LoadPng;
using test::Picture;
using test::RunResult;
using test::StaticValue;

using Colour = std::array<float, 3>;

std::array<int, 3> Byte(const Colour& c) {
    std::array<int, 3> b;
    for (int i = 0; i < 3; ++i)
        b[i] = static_cast<int>(std::lround(std::clamp(c[i], 0.0f, 1.0f) * 255.0f));
    return b;
}

// The shaders every custom material below starts from: the square placed by the fixed
// matrix names, and a fragment colour made of the uniform slots.
const char kModelviewVertex[] = "attribute vec4 Position;\n"
                                "uniform mat4 Projection;\n"
                                "uniform mat4 Modelview;\n"
                                "void main(void)\n"
                                "{\n"
                                "  gl_Position = Projection * Modelview * Position;\n"
                                "}\n";
const char kSplitMatricesVertex[] =
    "attribute vec4 Position;\n"
    "uniform mat4 Projection;\n"
    "uniform mat4 Viewmatrix;\n"
    "uniform mat4 Modelmatrix;\n"
    "void main(void)\n"
    "{\n"
    "  gl_Position = Projection * Viewmatrix * Modelmatrix * Position;\n"
    "}\n";
// u1 and u3 from curves; the comparison is written escaped, as documents hold it.
const char kUniformFragment[] = "uniform float u1;\n"
                                "uniform float u3;\n"
                                "void main(void)\n"
                                "{\n"
                                "  float blue = u1 &lt; 0.5 ? 0.75 : 0.0;\n"
                                "  gl_FragColor = vec4(u1, u3, blue, 1.0);\n"
                                "}\n";

// A material: every property, its fixed-function colour and texture, and custom shaders
// with the given uniform attributes ("u1=\"1\" ...") when texts are given.
struct CustomMaterial {
    Colour colour{1, 1, 1};
    int texture = 0; // a texture reference, drawn alone by the fixed-function path
    std::string uniforms;
    std::string vertex;
    std::string fragment;
};

std::string MaterialXml(const CustomMaterial& m) {
    std::string xml = "<material><backface_culling value=\"0\"/><depth_test value=\"1\"/>"
                      "<normalization value=\"0\"/><wireframe value=\"0\"/>"
                      "<blend_function value=\"2\"/><fogtype value=\"0\"/>";
    const char* names[] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i)
        xml += std::string("<") + names[i] + " type=\"static\" value=\"" +
               std::to_string(m.colour[i]) + "\"/>";
    xml += "<alpha type=\"static\" value=\"1\"/><linewidth type=\"static\" value=\"1\"/>"
           "<fogstart type=\"static\" value=\"0\"/><fogend type=\"static\" value=\"0\"/>"
           "<light1 value=\"0\"/><light2 value=\"0\"/><fogcolor value=\"0\"/>";
    xml += "<texture1 value=\"" + std::to_string(m.texture) +
           "\" wrapmode=\"1\" cgenmode=\"0\" rotation=\"0\" function=\"2\"/>"
           "<texture2 value=\"0\" wrapmode=\"0\" cgenmode=\"0\" rotation=\"0\" function=\"0\"/>"
           "<texture3 value=\"0\" wrapmode=\"0\" cgenmode=\"0\" rotation=\"0\" function=\"0\"/>";
    const bool custom = !m.fragment.empty();
    xml += std::string("<enable_glsl value=\"") + (custom ? "1" : "0") + "\"/>";
    xml += "<glsl_uniforms " + m.uniforms + "/>";
    xml += "<vertex_shader>" + m.vertex + "</vertex_shader>";
    xml += "<fragment_shader>" + m.fragment + "</fragment_shader></material>";
    return xml;
}

// The square with a material, centred at (x, y) of the orthographic camera (x from 0 at the
// left to 1 at the right, y from 0 at the top to 1 at the bottom), 0.3 across.
std::string SquareXml(int material, float x, float y) {
    std::string xml = "<object type=\"0\" object=\"1\" material=\"" + std::to_string(material) +
                      "\" font=\"0\" text=\"\">";
    for (float v : {x, y, 0.0f, 0.0f, 0.0f, 0.0f, 0.3f, 0.3f, 0.3f})
        xml += StaticValue(v);
    return xml + "<visibility value=\"0\"/><offset value=\"0\"/><billboard value=\"0\"/></object>";
}

// Where the squares stand, and their centres in the 160 x 90 frame.
constexpr float kSquareX[3] = {0.2f, 0.5f, 0.8f};
constexpr int kCentreX[3] = {32, 80, 128};
constexpr int kCentreY = 45;

const Colour kClear{0.1f, 0.1f, 0.15f};

// A production of squares side by side, one per material in order, over the clear colour,
// with curve 1 constant at 0.25 and curve 2 rising from 0.1 by 0.004 a hundredth.
std::string SquaresProduction(const std::vector<CustomMaterial>& materials) {
    test::DocumentSections s;
    s.mesh_files = "<mesh filename=\"square.mesh\"/>";
    s.curves = "<curve type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\">"
               "<segment type=\"0\" length=\"1000\"><p>0.25</p></segment></curve>"
               "<curve type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\">"
               "<segment type=\"1\" length=\"1000\"><p>0.004</p><p>0.1</p></segment></curve>";
    s.lights = test::StaticLight(kClear[0], kClear[1], kClear[2]);
    s.image_files = "<image filename=\"quarters.png\" texture_format=\"0\" texture_filter=\"1\"/>";
    s.texture_references = "<r type=\"1\" id=\"1\"/>";
    s.scenes = "<scene>";
    for (size_t i = 0; i < materials.size(); ++i) {
        s.materials += MaterialXml(materials[i]);
        s.scenes += SquareXml(static_cast<int>(i + 1), kSquareX[i], 0.5f);
    }
    s.scenes += "</scene>";
    test::LayerSpec layer;
    layer.clear_light = 1;
    layer.length = 1000;
    layer.camera = test::Repeat(StaticValue(0), 6) + "<v type=\"ortographic\"/>" +
                   StaticValue(100) + StaticValue(1.7777778f);
    s.tracks = test::TrackXml(test::LayerXml(layer));
    return test::BuildDocument(s);
}

// Curve 1 in slot u1 and curve 2 in slot u3, at time 100: (0.25, 0.5, 0.75).
const std::array<int, 3> kUniformColour = Byte({0.25f, 0.5f, 0.75f});

class CustomShaders : public testing::Test {
  protected:
    test::TempDir dir;

    std::string Path(const std::string& name) const { return dir / name; }

    std::string WritePackage(const std::string& demo_xml) {
        const std::string package = Path("custom.dpk");
        test::WriteProductionPackage(
            package, demo_xml, "",
            {{"square.mesh", test::SquareMeshEntry()}, {"quarters.png", test::QuartersPng(64)}});
        return package;
    }

    // Renders the frame at time 100; the run, and the picture in `picture`.
    RunResult Render(const std::string& package, const std::string& renderer, Picture& picture,
                     const std::vector<std::string>& extra = {}) {
        const std::string frame = Path(renderer + ".png");
        std::vector<std::string> arguments = {test::ProgramPath("korrender"),
                                              "--renderer",
                                              renderer,
                                              "--size",
                                              "160x90",
                                              "--time",
                                              "100",
                                              "--out",
                                              frame};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(package);
        test::RunOptions options;
        options.cwd = dir.path();
        RunResult run = test::RunProgram(arguments, options);
        EXPECT_EQ(run.exit_code, 0) << run.Describe();
        picture = LoadPng(frame);
        EXPECT_TRUE(picture.ok()) << "no frame; " << run.Describe();
        return run;
    }
};

// Lines of a text that begin with "Error:".
std::vector<std::string> ErrorLines(const std::string& text) {
    std::vector<std::string> errors;
    for (const std::string& line : test::Lines(text))
        if (line.rfind("Error:", 0) == 0)
            errors.push_back(line);
    return errors;
}

TEST_F(CustomShaders, UniformSlotsCarryTheirCurvesIntoTheProgram) {
    // The same fragment shader placed once through "Modelview" and once through
    // "Viewmatrix" and "Modelmatrix"; the third square is an ordinary material.
    CustomMaterial through_modelview;
    through_modelview.colour = {0.9f, 0.3f, 0.1f};
    through_modelview.uniforms = "u1=\"1\" u3=\"2\"";
    through_modelview.vertex = kModelviewVertex;
    through_modelview.fragment = kUniformFragment;
    CustomMaterial through_split = through_modelview;
    through_split.vertex = kSplitMatricesVertex;
    CustomMaterial ordinary;
    ordinary.colour = {0.2f, 0.7f, 0.3f};
    const std::string package =
        WritePackage(SquaresProduction({through_modelview, through_split, ordinary}));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--no-vbo"}}) {
        SCOPED_TRACE(extra.empty() ? "buffer objects" : "client arrays");
        Picture p;
        const RunResult run = Render(package, "glsl", p, extra);
        ASSERT_TRUE(p.ok());
        EXPECT_TRUE(ErrorLines(run.err).empty()) << run.err;
        test::ExpectPixelNear(p, kCentreX[0], kCentreY, kUniformColour, "through Modelview");
        test::ExpectPixelNear(p, kCentreX[1], kCentreY, kUniformColour,
                              "through Viewmatrix, Modelmatrix");
        test::ExpectPixelNear(p, kCentreX[2], kCentreY, Byte(ordinary.colour),
                              "the ordinary material");
        // The squares are 48 pixels wide and 27 high: their edges lie where the matrices put
        // them.
        test::ExpectPixelNear(p, kCentreX[0] - 22, kCentreY + 10, kUniformColour,
                              "inside the first");
        test::ExpectPixelNear(p, kCentreX[0] - 26, kCentreY, Byte(kClear), "left of the first");
        test::ExpectPixelNear(p, kCentreX[1], kCentreY - 16, Byte(kClear), "above the second");
    }
}

TEST_F(CustomShaders, TheFixedFunctionRendererDrawsTheMaterialsOwnFields) {
    CustomMaterial custom;
    custom.colour = {0.9f, 0.3f, 0.1f};
    custom.uniforms = "u1=\"1\" u3=\"2\"";
    custom.vertex = kModelviewVertex;
    custom.fragment = kUniformFragment;
    // Its shaders are never built there: a broken text goes unnoticed.
    CustomMaterial broken = custom;
    broken.colour = {0.3f, 0.4f, 0.9f};
    broken.fragment = "void main(void) { gl_FragColor = undefined_colour; }\n";
    const std::string package = WritePackage(SquaresProduction({custom, broken}));
    Picture p;
    const RunResult run = Render(package, "fixed", p);
    ASSERT_TRUE(p.ok());
    EXPECT_TRUE(ErrorLines(run.err).empty()) << run.err;
    test::ExpectPixelNear(p, kCentreX[0], kCentreY, Byte(custom.colour),
                          "the first material's colour");
    test::ExpectPixelNear(p, kCentreX[1], kCentreY, Byte(broken.colour),
                          "the second material's colour");
}

TEST_F(CustomShaders, TheMaterialsTextureReachesTheProgramThroughTheFixedNames) {
    // The first square shows the image through its generated program; the second reads it through
    // "Texture0" at "TexCoordIn1" and writes it with red and blue swapped, so that it cannot be the
    // generated program.
    CustomMaterial generated;
    generated.texture = 1;
    CustomMaterial swapped;
    swapped.texture = 1;
    swapped.vertex = "attribute vec4 Position;\n"
                     "attribute vec2 TexCoordIn1;\n"
                     "uniform mat4 Projection;\n"
                     "uniform mat4 Modelview;\n"
                     "varying vec2 Coordinate;\n"
                     "void main(void)\n"
                     "{\n"
                     "  Coordinate = TexCoordIn1;\n"
                     "  gl_Position = Projection * Modelview * Position;\n"
                     "}\n";
    swapped.fragment = "uniform sampler2D Texture0;\n"
                       "varying vec2 Coordinate;\n"
                       "void main(void)\n"
                       "{\n"
                       "  gl_FragColor = texture2D(Texture0, Coordinate).bgra;\n"
                       "}\n";
    const std::string package = WritePackage(SquaresProduction({generated, swapped}));
    Picture p;
    Render(package, "glsl", p);
    ASSERT_TRUE(p.ok());
    // The middles of the four quarters of each square.
    std::vector<std::array<int, 3>> seen;
    for (int dy : {-7, 7})
        for (int dx : {-12, 12}) {
            const std::array<int, 3> plain = p.At(kCentreX[0] + dx, kCentreY + dy);
            seen.push_back(plain);
            test::ExpectPixelNear(p, kCentreX[1] + dx, kCentreY + dy,
                                  {plain[2], plain[1], plain[0]}, "the swapped quarter");
        }
    // Every quarter of the image shows, each once.
    for (const auto& quarter : test::kPngQuarters)
        EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                                [&](const std::array<int, 3>& c) {
                                    for (int i = 0; i < 3; ++i)
                                        if (std::abs(c[i] - quarter[i]) > 2)
                                            return false;
                                    return true;
                                }),
                  1)
            << test::DescribePixel(quarter);
}

TEST_F(CustomShaders, AShaderThatDoesNotCompileIsReportedOnceAndTheFrameStillRenders) {
    CustomMaterial good;
    good.uniforms = "u1=\"1\" u3=\"2\"";
    good.vertex = kModelviewVertex;
    good.fragment = kUniformFragment;
    CustomMaterial broken = good;
    broken.fragment = "void main(void) { gl_FragColor = undefined_colour; }\n";
    const std::string package = WritePackage(SquaresProduction({good, broken}));
    Picture p;
    const RunResult run = Render(package, "glsl", p);
    ASSERT_TRUE(p.ok());
    const std::vector<std::string> errors = ErrorLines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    const std::string prefix = "Error: material 2: the shader program does not link: ";
    EXPECT_EQ(errors[0].rfind(prefix, 0), 0u) << errors[0];
    // The driver's log names the fragment shader's problem.
    EXPECT_NE(errors[0].find("FS:"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("undefined_colour"), std::string::npos) << errors[0];
    // Standard output keeps only the frame line.
    EXPECT_EQ(test::Lines(run.out).size(), 1u) << run.out;
    // The other material draws as ever.
    test::ExpectPixelNear(p, kCentreX[0], kCentreY, kUniformColour, "the good material");
}

} // namespace
} // namespace korvane
