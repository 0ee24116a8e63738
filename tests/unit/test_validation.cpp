// Checking documents before they are built: one broken document per kind of problem, each
// with the exact line it gives, and the lenient readings that stay accepted.
#include "load/validation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/xml.h"
#include "support/production.h"

namespace korvane {
namespace {

using test::BuildDocument;
using test::DocumentSections;
using test::DynamicValue;
using test::EmptyScene;
using test::LayerSpec;
using test::LayerXml;
using test::StaticLight;
using test::StaticValue;

using test::kFlatCurve;
using test::Repeat;
using test::TrackXml;

std::string Without(std::string text, const std::string& part) {
    size_t at = text.find(part);
    EXPECT_NE(at, std::string::npos) << part;
    if (at != std::string::npos)
        text.erase(at, part.size());
    return text;
}

// A production that passes every check: three curves, two lights, two scenes, an image file
// and a cube map to refer to, and one track of one layer.
DocumentSections Valid() {
    DocumentSections s;
    s.curves = Repeat(kFlatCurve, 3);
    s.lights = StaticLight(1, 0, 0) + StaticLight(0, 1, 0);
    s.image_files = "<image filename=\"a.png\" texture_format=\"0\" texture_filter=\"1\"/>";
    s.cube_maps = "<cube xp=\"\" xn=\"\" yp=\"\" yn=\"\" zp=\"\" zn=\"\" texture_format=\"0\" "
                  "texture_filter=\"1\"/>";
    s.scenes = EmptyScene() + EmptyScene();
    s.tracks = TrackXml(LayerXml({}));
    return s;
}

LayerSpec Layer(uint32_t scene, int32_t space_before, int32_t length) {
    LayerSpec layer;
    layer.scene = scene;
    layer.space_before = space_before;
    layer.length = length;
    return layer;
}

LayerSpec WithCamera(const std::string& camera) {
    LayerSpec layer;
    layer.camera = camera;
    return layer;
}

LayerSpec OfType(int type, uint32_t rtex) {
    LayerSpec layer;
    layer.type = type;
    layer.rtex = rtex;
    return layer;
}

std::string Statics(int count) {
    return Repeat(StaticValue(0), count);
}

std::vector<std::string> Check(const std::string& xml, bool read_music = true) {
    std::vector<std::string> problems;
    auto root = ParseXml(xml.c_str());
    bool ok = ValidateDocument(*root, "demo.xmlz", read_music, problems);
    EXPECT_EQ(ok, problems.empty());
    return problems;
}

struct BrokenCase {
    const char* name;
    std::string xml;
    std::string line;
    bool read_music = true;
};

std::vector<BrokenCase> BrokenDocuments() {
    std::vector<BrokenCase> cases;
    auto add = [&](const char* name, DocumentSections s, const std::string& line) {
        cases.push_back({name, BuildDocument(s), line});
    };
    DocumentSections s;

    // Missing sections.
    cases.push_back({"thirteen sections", "<p>" + Repeat("<s/>", 13) + "</p>",
                     "Error: demo.xmlz: tracks: the section is missing (the document has 13 "
                     "sections)."});
    cases.push_back({"no music with music on", "<p>" + Repeat("<s/>", 13) + "<t><track/></t></p>",
                     "Error: demo.xmlz: music: the section is missing (the document has 14 "
                     "sections)."});
    cases.push_back({"no element at all", "",
                     "Error: demo.xmlz: texture operators: the section is missing (the document "
                     "has 0 sections)."});

    // Missing attributes and children.
    s = Valid();
    s.tracks = TrackXml(Without(LayerXml({}), " length=\"100\""));
    add("layer without length", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: the attribute \"length\" is missing.");
    s = Valid();
    s.tracks = TrackXml(Without(LayerXml(OfType(1, 1)), " rtex=\"1\""));
    add("texture target without rtex", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: the attribute \"rtex\" is missing.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(WithCamera(Statics(8))));
    add("camera of eight values", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: the camera has 8 values, 9 expected.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(WithCamera(Statics(9) + StaticValue(1))));
    add("camera of ten values", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: the camera has 10 values, 9 expected.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(WithCamera(Statics(6) + "<v type=\"static\"/>" + Statics(2))));
    add("field of view without value", s,
        "Error: demo.xmlz: tracks, track 1, layer 1, camera projection: the attribute \"value\" "
        "is missing.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(WithCamera(Statics(1) + "<v value=\"1\"/>" + Statics(7))));
    add("camera value without type", s,
        "Error: demo.xmlz: tracks, track 1, layer 1, camera position y: the attribute \"type\" "
        "is missing.");
    s = Valid();
    s.curves = "<c type=\"0\" loop_type=\"0\" loop_begin=\"0\"/>";
    add("curve without loop_end", s,
        "Error: demo.xmlz: curves, curve 1: the attribute \"loop_end\" is missing.");
    s = Valid();
    s.curves = std::string(kFlatCurve) +
               "<c type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\"><s type=\"1\"/></c>";
    add("segment without length", s,
        "Error: demo.xmlz: curves, curve 2, segment 1: the attribute \"length\" is missing.");
    s = Valid();
    s.lights = "<light><a>" + Statics(3) + "</a><d>" + Statics(3) + "</d></light>";
    add("light of two parts", s,
        "Error: demo.xmlz: lights, light 1: the light has 2 parts, 3 expected.");
    s = Valid();
    s.lights = "<light><a>" + Statics(3) + "</a><d>" + Statics(2) + "</d><p>" + Statics(3) +
               "</p></light>";
    add("diffuse colour of two values", s,
        "Error: demo.xmlz: lights, light 1: the diffuse colour has 2 values, 3 expected.");
    s = Valid();
    s.lights = "<light><a>" + Statics(3) + "</a><d>" + Statics(1) + "<v type=\"dynamic\"/>" +
               Statics(1) + "</d><p>" + Statics(3) + "</p></light>";
    add("light value without value", s,
        "Error: demo.xmlz: lights, light 1, diffuse colour, value 2: the attribute \"value\" is "
        "missing.");
    s = Valid();
    s.music_attributes = "file=\"music.ogg\"";
    add("music file without offset", s,
        "Error: demo.xmlz: music: the attribute \"offset\" is missing.");

    // Handles that name nothing.
    s = Valid();
    s.tracks = TrackXml(LayerXml({}) + LayerXml({}) + LayerXml(Layer(7, 0, 100)));
    add("scene", s, "Error: demo.xmlz: tracks, track 1, layer 3: scene 7 does not exist.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(Layer(65537, 0, 100)));
    add("scene past the width of its field", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: scene 65537 does not exist.");
    s = Valid();
    s.tracks = TrackXml(LayerXml({}));
    s.tracks.replace(s.tracks.find("id=\"1\""), 6, "id=\"-1\"");
    add("negative scene", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: scene -1 does not exist.");
    s = Valid();
    LayerSpec lit;
    lit.clear_light = 3;
    s.tracks = TrackXml(LayerXml(lit));
    add("clear colour", s, "Error: demo.xmlz: tracks, track 1, layer 1: light 3 does not exist.");
    s = Valid();
    s.tracks = TrackXml(LayerXml({}) + LayerXml(OfType(5, 2)));
    add("texture target", s,
        "Error: demo.xmlz: tracks, track 1, layer 2: image file 2 does not exist.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(OfType(3, 2)));
    add("cube map target", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: cube map 2 does not exist.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(WithCamera(Statics(4) + DynamicValue(4) + Statics(4))));
    add("camera curve", s,
        "Error: demo.xmlz: tracks, track 1, layer 1, camera rotation y: curve 4 does not exist.");
    s = Valid();
    s.tracks = TrackXml(LayerXml(WithCamera(Statics(6) + DynamicValue(0) + Statics(2))));
    add("camera curve 0", s,
        "Error: demo.xmlz: tracks, track 1, layer 1, camera projection: curve 0 does not exist.");
    s = Valid();
    s.lights = "<light><a>" + Statics(3) + "</a><d>" + Statics(3) + "</d><p>" + Statics(2) +
               DynamicValue(9) + "</p></light>";
    add("light curve", s,
        "Error: demo.xmlz: lights, light 1, position, value 3: curve 9 does not exist.");

    // Counts beyond a capacity.
    s = Valid();
    s.tracks = TrackXml(Repeat(LayerXml(Layer(1, 0, 1)), 256));
    add("256 layers", s,
        "Error: demo.xmlz: tracks, track 1: the track has 256 layers, at most 255 are allowed.");
    s = Valid();
    s.tracks = "";
    add("no track", s, "Error: demo.xmlz: tracks: the section has no track.");
    s = Valid();
    s.curves = "<c type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\">" +
               Repeat("<s type=\"0\" length=\"1\"><p>1</p></s>", 17) + "</c>";
    add("17 segments", s,
        "Error: demo.xmlz: curves, curve 1: the curve has 17 segments, at most 16 are allowed.");
    s = Valid();
    s.curves = std::string(kFlatCurve) + kFlatCurve +
               "<c type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\"><s type=\"4\" "
               "length=\"9\">" +
               Repeat("<p>0</p>", 25) + "</s></c>";
    add("25 parameters", s,
        "Error: demo.xmlz: curves, curve 3, segment 1: the segment has 25 parameters, at most 24 "
        "are allowed.");
    s = Valid();
    s.curves = Repeat(kFlatCurve, 4097);
    add("4097 curves", s,
        "Error: demo.xmlz: curves: the section has 4097 items, at most 4096 are allowed.");

    // Time lines the timeline cannot hold.
    s = Valid();
    s.tracks = TrackXml(LayerXml(Layer(1, 100, 1080000)) + LayerXml(Layer(1, 0, 1079901)));
    add("longer than six hours", s,
        "Error: demo.xmlz: tracks, track 1, layer 2: the layer ends at 2160001 hundredths of a "
        "second, after the longest production the player takes (2160000).");
    s = Valid();
    s.tracks = TrackXml(LayerXml(Layer(1, 2147483647, 2147483647)));
    add("lengths that overflow 32 bits", s,
        "Error: demo.xmlz: tracks, track 1, layer 1: the layer ends at 4294967294 hundredths of "
        "a second, after the longest production the player takes (2160000).");
    s = Valid();
    s.tracks = TrackXml(LayerXml({}) + LayerXml(Layer(1, 10, -20)));
    add("negative length", s,
        "Error: demo.xmlz: tracks, track 1, layer 2: space_before + length is -10, so the layer "
        "would end before it starts.");
    return cases;
}

TEST(ValidationTest, EachKindOfProblemGivesItsLine) {
    for (const BrokenCase& c : BrokenDocuments()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c.xml, c.read_music), std::vector<std::string>{c.line});
    }
}

TEST(ValidationTest, EveryProblemIsReportedInDocumentOrder) {
    DocumentSections s = Valid();
    s.curves = "<c type=\"0\" loop_type=\"0\"/>";
    LayerSpec layer = Layer(3, 0, 100);
    layer.clear_light = 5;
    s.tracks = TrackXml(LayerXml(layer)) + TrackXml(LayerXml(WithCamera(Statics(2))));
    EXPECT_EQ(Check(BuildDocument(s)),
              (std::vector<std::string>{
                  "Error: demo.xmlz: curves, curve 1: the attribute \"loop_begin\" is missing.",
                  "Error: demo.xmlz: curves, curve 1: the attribute \"loop_end\" is missing.",
                  "Error: demo.xmlz: tracks, track 1, layer 1: scene 3 does not exist.",
                  "Error: demo.xmlz: tracks, track 1, layer 1: light 5 does not exist.",
                  "Error: demo.xmlz: tracks, track 2, layer 1: the camera has 2 values, 9 "
                  "expected.",
              }));
}

TEST(ValidationTest, AfterABrokenTimeLineLaterLayersAreNotMeasured) {
    // One line for the layer that broke the track, none for those after it; other tracks
    // are measured on their own.
    DocumentSections s = Valid();
    s.tracks = TrackXml(LayerXml(Layer(1, 0, -5)) + LayerXml(Layer(1, 0, 2160000))) +
               TrackXml(LayerXml(Layer(1, 0, 2160000)));
    EXPECT_EQ(Check(BuildDocument(s)),
              (std::vector<std::string>{"Error: demo.xmlz: tracks, track 1, layer 1: "
                                        "space_before + length is -5, so the layer would end "
                                        "before it starts."}));
}

TEST(ValidationTest, LenientReadingsStayAccepted) {
    struct Case {
        const char* name;
        std::string xml;
        bool read_music;
    };
    std::vector<Case> cases;
    DocumentSections s = Valid();
    cases.push_back({"a valid production", BuildDocument(s), true});
    cases.push_back(
        {"no music section with music off", Without(BuildDocument(s), "<music />"), false});

    s = Valid();
    std::string layer = LayerXml(Layer(1, 0, 100));
    size_t at = layer.find("id=\"1\"");
    layer.replace(at, 6, "id=\"scene\"");
    at = layer.find("length=\"100\"");
    layer.replace(at, 12, "length=\" 250 hundredths\"");
    s.tracks = TrackXml(layer);
    cases.push_back({"text that is not a number reads 0", BuildDocument(s), true});

    s = Valid();
    s.tracks = TrackXml(
        LayerXml(WithCamera("<v type=\"Dynamic\" value=\"99\"/><v type=\"curve\" value=\"1\"/>" +
                            Statics(4) + "<v type=\"ortographic\"/>" + Statics(2))));
    cases.push_back(
        {"unknown type words are static, ortographic reads no value", BuildDocument(s), true});

    s = Valid();
    s.tracks = TrackXml(LayerXml(
        WithCamera(Statics(2) + DynamicValue(3) + Statics(3) + DynamicValue(1) + Statics(2))));
    cases.push_back({"dynamic values naming existing curves", BuildDocument(s), true});

    s = Valid();
    s.tracks = TrackXml(LayerXml(OfType(0, 9)) + LayerXml(OfType(4, 9)) + LayerXml(OfType(7, 9)) +
                        LayerXml(OfType(1, 0)) + LayerXml(OfType(3, 1)) + LayerXml(OfType(2, 1)));
    cases.push_back({"rtex is only a handle for target types; 0 is none", BuildDocument(s), true});

    s = Valid();
    s.tracks = Repeat(TrackXml(LayerXml({})), 24) + TrackXml(LayerXml(Layer(99, 0, -1)));
    cases.push_back({"tracks past the 24th are ignored", BuildDocument(s), true});

    s = Valid();
    s.tracks = TrackXml(LayerXml(Layer(1, -50, 100)) + LayerXml(Layer(0, 0, 0)) +
                        LayerXml(Layer(1, 0, 2160000 - 50)));
    cases.push_back({"a negative space_before within the layer, and exactly six hours",
                     BuildDocument(s), true});

    s = Valid();
    s.tracks = TrackXml(Repeat(LayerXml(Layer(1, 0, 1)), 255));
    cases.push_back({"255 layers", BuildDocument(s), true});

    s = Valid();
    s.music_attributes = "offset=\"500\"";
    cases.push_back({"an offset without a music file", BuildDocument(s), true});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c.xml, c.read_music), std::vector<std::string>{});
    }
}

} // namespace
} // namespace korvane
