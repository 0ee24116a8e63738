// Scene objects without a GL context: reading object elements and their manipulator entries,
// the checks of the scenes section, object time and visibility, the instance of an object
// and its model matrix, billboards included.
#include "draw/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "data/xml.h"
#include "load/loader.h"
#include "math/matrices.h"
#include "model/project.h"
#include "support/production.h"

namespace korvane {
namespace {

using test::DynamicValue;
using test::Repeat;
using test::StaticValue;

std::unique_ptr<XmlNode> Parse(const std::string& xml) {
    return ParseXml(xml.c_str());
}

// An object element: its attributes, nine transform values, then the visibility curve, the
// time offset, the billboard switch and any manipulator entries.
std::string ObjectXml(const std::string& attributes, const std::string& transform,
                      const std::string& tail = "<v value=\"0\"/><o value=\"0\"/><b value=\"0\"/>",
                      const std::string& manipulators = "") {
    return "<object " + attributes + ">" + transform + tail + manipulators + "</object>";
}

const std::string kModelAttributes = "type=\"0\" object=\"1\" material=\"1\" font=\"0\" text=\"\"";
const std::string kStill = Repeat(StaticValue(0), 6) + Repeat(StaticValue(1), 3);

TEST(SceneObjectLoadingTest, ReadsAttributesValuesAndTheFixedChildren) {
    auto root = Parse(ObjectXml("type=\"1\" object=\"3\" material=\"2\" font=\"4\" text=\"Hello\"",
                                StaticValue(1.5f) + DynamicValue(2) + StaticValue(-3) +
                                    StaticValue(90) + "<v type=\"Dynamic\" value=\"4\"/>" +
                                    DynamicValue(5) + Repeat(StaticValue(2), 3),
                                "<vis value=\"6\"/><off value=\"-50.75\"/><bb value=\"1\"/>"));
    SceneObject object;
    LoadSceneObject(*root->first_child, object);
    EXPECT_EQ(object.kind, 1);
    EXPECT_EQ(object.mesh, 3);
    EXPECT_EQ(object.material, 2);
    EXPECT_EQ(object.font, 4);
    EXPECT_STREQ(object.text.data(), "Hello");
    EXPECT_FLOAT_EQ(StaticValueOf(object.transform[kObjectPositionX]), 1.5f);
    EXPECT_EQ(CurveHandleOf(object.transform[kObjectPositionY]), 2u);
    EXPECT_FLOAT_EQ(StaticValueOf(object.transform[kObjectRotationX]), 90.0f);
    // Only the exact word "dynamic" names a curve; bit 9 is the billboard.
    EXPECT_EQ(object.dynamic_bits, (1u << 1) | (1u << 5) | kBillboardBit);
    EXPECT_FLOAT_EQ(StaticValueOf(object.transform[kObjectRotationY]), 4.0f);
    EXPECT_EQ(object.visibility_curve, 6);
    EXPECT_FLOAT_EQ(object.time_offset, -50.75f);
    EXPECT_EQ(object.manipulator_count, 0);
}

TEST(SceneObjectLoadingTest, OnlyTheValueOneMakesABillboard) {
    for (const char* value : {"0", "2", "-1", "yes"}) {
        auto root = Parse(
            ObjectXml(kModelAttributes, kStill,
                      std::string("<v value=\"0\"/><o value=\"0\"/><b value=\"") + value + "\"/>"));
        SceneObject object;
        LoadSceneObject(*root->first_child, object);
        EXPECT_EQ(object.dynamic_bits & kBillboardBit, 0) << value;
    }
}

TEST(SceneObjectLoadingTest, KeepsAtMostSevenManipulatorEntries) {
    const std::string placer = "<m type=\"3\"><manipulator type=\"1.9\" model=\"2.7\"/>" +
                               StaticValue(0.5f) + DynamicValue(7) + Repeat(StaticValue(0), 13) +
                               DynamicValue(9) + DynamicValue(8) + "</m>";
    const std::string multiplier = "<m type=\"1\">" + StaticValue(3) + StaticValue(2) + "</m>";
    auto root = Parse(ObjectXml(kModelAttributes, kStill,
                                "<v value=\"0\"/><o value=\"0\"/><b value=\"0\"/>",
                                placer + Repeat(multiplier, 7)));
    SceneObject object;
    LoadSceneObject(*root->first_child, object);
    EXPECT_EQ(object.manipulator_count, kMaxManipulators);

    const ManipulatorEntry& p = object.manipulators[0];
    EXPECT_EQ(p.kind, 3);
    EXPECT_EQ(p.second_model_source, 1) << "any source but 0 is a dynamic mesh";
    EXPECT_EQ(p.second_model, 2) << "truncated";
    EXPECT_FLOAT_EQ(StaticValueOf(p.parameters[0]), 0.5f);
    // Parameter 0 is bit 7 of the first flag byte, parameter 15 bit 0 of the second; the
    // seventeenth parameter is not kept.
    EXPECT_EQ(p.dynamic_flags, (std::array<uint8_t, 2>{0x40, 0x01}));
    for (int j = 0; j < kManipulatorParameters; ++j)
        EXPECT_EQ(ManipulatorParameterDynamic(p, j), j == 1 || j == 15) << j;
    EXPECT_EQ(CurveHandleOf(p.parameters[1]), 7u);

    const ManipulatorEntry& m = object.manipulators[1];
    EXPECT_EQ(m.kind, 1);
    EXPECT_EQ(m.second_model, 0);
    EXPECT_FLOAT_EQ(StaticValueOf(m.parameters[0]), 3.0f);
    EXPECT_FLOAT_EQ(StaticValueOf(m.parameters[1]), 2.0f);
}

TEST(SceneObjectLoadingTest, LongTextsAreCutToThirtyOneBytes) {
    auto root = Parse(ObjectXml("type=\"2\" object=\"0\" material=\"0\" font=\"1\" text=\"" +
                                    std::string(40, 'x') + "\"",
                                kStill));
    SceneObject object;
    LoadSceneObject(*root->first_child, object);
    EXPECT_EQ(std::string(object.text.data()), std::string(31, 'x'));
}

TEST(SceneValidationTest, NamesTheObjectAndWhatItLacks) {
    SceneReferences references;
    references.curves = 2;
    references.materials = 1;
    references.mesh_files = 1;
    references.dynamic_meshes = 2;
    references.fonts = 1;
    const std::string tail = "<v value=\"0\"/><o value=\"0\"/><b value=\"0\"/>";
    const std::string ok = ObjectXml(kModelAttributes, kStill);
    const struct {
        const char* name;
        std::string xml;
        std::vector<std::string> problems;
    } cases[] = {
        {"valid objects",
         ok + ObjectXml("type=\"1\" object=\"2\" material=\"0\"", kStill) +
             ObjectXml("type=\"2\" object=\"0\" material=\"0\" font=\"1\" "
                       "text=\"31 bytes of text, no more, ok!\"",
                       kStill),
         {}},
        {"mesh file",
         ok + ObjectXml("type=\"0\" object=\"2\" material=\"1\"", kStill),
         {"object 2: mesh file 2 does not exist"}},
        {"kind 256, kept in a byte, is a model",
         ObjectXml("type=\"256\" object=\"2\" material=\"1\"", kStill),
         {"object 1: mesh file 2 does not exist"}},
        {"dynamic mesh",
         ObjectXml("type=\"1\" object=\"3\" material=\"1\"", kStill),
         {"object 1: dynamic mesh 3 does not exist"}},
        {"material",
         ObjectXml("type=\"0\" object=\"1\" material=\"2\"", kStill),
         {"object 1: material 2 does not exist"}},
        {"missing attribute",
         ObjectXml("type=\"0\" material=\"1\"", kStill),
         {"object 1: the attribute \"object\" is missing"}},
        {"font and text of text objects",
         ObjectXml("type=\"2\" object=\"0\" material=\"0\" font=\"2\" text=\"" +
                       std::string(32, 'x') + "\"",
                   kStill),
         {"object 1: font 2 does not exist",
          "object 1: the text is 32 bytes long, at most 31 fit"}},
        {"too few children",
         ObjectXml(kModelAttributes, kStill, "<v value=\"0\"/>"),
         {"object 1: the object has 10 children, 12 expected at least"}},
        {"transform curve",
         ObjectXml(kModelAttributes,
                   Repeat(StaticValue(0), 4) + DynamicValue(3) + Repeat(StaticValue(1), 4)),
         {"object 1, rotation y: curve 3 does not exist"}},
        {"transform value without value",
         ObjectXml(kModelAttributes, Repeat(StaticValue(0), 8) + "<v type=\"static\"/>"),
         {"object 1, scale z: the attribute \"value\" is missing"}},
        {"visibility curve",
         ObjectXml(kModelAttributes, kStill, "<v value=\"3\"/><o value=\"0\"/><b value=\"0\"/>"),
         {"object 1, visibility: curve 3 does not exist"}},
        {"eight manipulators",
         ObjectXml(kModelAttributes, kStill, tail,
                   Repeat("<m type=\"4\">" + StaticValue(0) + "</m>", 8)),
         {"object 1: the object has 8 manipulators, at most 7 are allowed"}},
        {"manipulator parameter curve",
         ObjectXml(kModelAttributes, kStill, tail, "<m type=\"4\">" + DynamicValue(5) + "</m>"),
         {"object 1, manipulator 1, parameter 1: curve 5 does not exist"}},
        {"seventeen parameters",
         ObjectXml(kModelAttributes, kStill, tail,
                   "<m type=\"0\">" + Repeat(StaticValue(0), 17) + "</m>"),
         {"object 1, manipulator 1: the manipulator has 17 parameters, at most 16 are allowed"}},
        {"second model of a Model placer",
         ObjectXml(kModelAttributes, kStill, tail,
                   "<m type=\"3\"><manipulator type=\"1\" model=\"3\"/></m><m type=\"3\">"
                   "<manipulator type=\"0\" model=\"1\"/></m><m type=\"2\">"
                   "<manipulator type=\"0\" model=\"9\"/></m>"),
         {"object 1, manipulator 1, second model: dynamic mesh 3 does not exist"}},
    };
    for (const auto& c : cases) {
        auto root = Parse("<scene>" + c.xml + "</scene>");
        EXPECT_EQ(ValidateSceneElement(*root->first_child, references), c.problems) << c.name;
    }
}

TEST(SceneValidationTest, AScenesObjectsFitItsList) {
    auto root = Parse("<scene>" + Repeat(ObjectXml(kModelAttributes, kStill), 256) + "</scene>");
    SceneReferences references;
    references.materials = 1;
    references.mesh_files = 1;
    EXPECT_EQ(ValidateSceneElement(*root->first_child, references),
              std::vector<std::string>{"the scene has 256 objects, at most 255 are allowed"});
}

TEST(SceneLoadingTest, ObjectsAreReadIntoTheirScenesInOrder) {
    test::DocumentSections s;
    s.materials = "<m/>";
    s.dynamic_meshes = "<d type=\"2\"/><d type=\"0\"/>";
    s.scenes = "<scene>" + ObjectXml("type=\"1\" object=\"1\" material=\"1\"", kStill) +
               ObjectXml("type=\"1\" object=\"2\" material=\"1\"", kStill) + "</scene><scene/>";
    s.tracks = test::TrackXml(test::LayerXml({}));
    auto project = CreateProject();
    LoadResult result =
        LoadProjectDocument(*project, nullptr, Parse(test::BuildDocument(s)), "demo.xmlz", {});
    ASSERT_EQ(result.status, LoadStatus::kLoaded) << result.error;
    ASSERT_EQ(project->scenes.count, 2);
    const Scene& first = *PoolGetAt(project->scenes, 1);
    ASSERT_EQ(first.objects.count, 2);
    EXPECT_EQ(PoolGetAt(first.objects, 1)->mesh, 1);
    EXPECT_EQ(PoolGetAt(first.objects, 2)->mesh, 2);
    EXPECT_EQ(PoolGetAt(project->scenes, 2)->objects.count, 0);
    DestroyProject(std::move(project));
}

TEST(ObjectTimeTest, TruncatesAndWrapsToThirtyTwoBits) {
    EXPECT_EQ(ObjectTime(20, 0.0f), 20u);
    EXPECT_EQ(ObjectTime(20, 0.7f), 20u);
    EXPECT_EQ(ObjectTime(20, 30.0f), 50u);
    // Before the layer's start: wrapped, so that curves that do not loop show their end.
    EXPECT_EQ(ObjectTime(20, -50.0f), 4294967266u);
    EXPECT_EQ(ObjectTime(20, -20.5f), 0u) << "-0.5 truncates to 0";
    // Sums far outside 32 bits wrap as well: 3 * 2^32 + 2048, and -(2 * 2^32) - 1024.
    EXPECT_EQ(ObjectTime(0, 12884901888.0f + 2048.0f), 2048u);
    EXPECT_EQ(ObjectTime(0, -8589934592.0f - 1024.0f), 4294966272u);
    EXPECT_EQ(ObjectTime(0, std::nanf("")), 0u);
}

TEST(ObjectVisibilityTest, ACurveOfExactlyOneShowsTheObject) {
    ResourcePool<FunctionCurve> curves;
    for (float level : {1.0f, 0.999f, 2.0f}) {
        FunctionCurve& curve = *PoolGet(curves, PoolAdd(curves));
        curve.segment_count = 1;
        curve.segment_kinds[0] = CurveKind::kConstant;
        curve.segment_lengths[0] = 100;
        curve.segment_parameters[0][0] = level;
    }
    SceneObject object;
    EXPECT_TRUE(ObjectVisible(object, 10, curves)) << "no curve";
    const bool expected[] = {true, false, true};
    for (uint16_t handle = 1; handle <= 3; ++handle) {
        object.visibility_curve = handle;
        EXPECT_EQ(ObjectVisible(object, 10, curves), expected[handle - 1]) << handle;
    }
}

TEST(ObjectInstanceTest, OneInstanceOfTheTransformAtTheObjectTime) {
    ResourcePool<FunctionCurve> curves;
    FunctionCurve& curve = *PoolGet(curves, PoolAdd(curves));
    curve.segment_count = 1;
    curve.segment_kinds[0] = CurveKind::kLinear;
    curve.segment_lengths[0] = 1000;
    curve.segment_parameters[0][0] = 2.0f; // 2x
    SceneObject object;
    for (int n = 0; n < kObjectValues; ++n)
        object.transform[n] = MakeStaticValue(static_cast<float>(n));
    object.transform[kObjectRotationZ] = MakeDynamicValue(1);
    object.dynamic_bits = (1u << kObjectRotationZ) | kBillboardBit;
    InstanceList instances(3); // whatever the list held before is replaced
    BuildObjectInstances(object, 40, curves, instances);
    ASSERT_EQ(instances.size(), 1u);
    EXPECT_EQ(instances[0].values, (std::array<float, kObjectValues>{0, 1, 2, 3, 4, 80, 6, 7, 8}));
}

// A point through the model matrix.
std::array<float, 3> Transform(const Matrix4& m, float x, float y, float z) {
    return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
            m[2] * x + m[6] * y + m[10] * z + m[14]};
}

void ExpectNear(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-5f) << "component " << i;
}

TEST(InstanceMatrixTest, TranslatesRotatesXThenYThenZAndScales) {
    ResetMatrices();
    ModelInstance instance;
    instance.values = {1, 2, 3, 90, 90, 0, 2, 1, 1};
    BuildInstanceMatrix(instance, 0.5f, false, 40, 50, 60);
    // (1, 0, 0) scaled to (2, 0, 0); Ry(90) takes it to (0, 0, -2); Rx(90) to (0, 2, 0);
    // then the translation with the pen added to x.
    ExpectNear(Transform(GetMatrixSet().model, 1, 0, 0), {1.5f, 4, 3});
    ExpectNear(Transform(GetMatrixSet().model, 0, 0, 1), {1.5f + 1, 2, 3});
}

TEST(InstanceMatrixTest, ABillboardFacesTheCameraWhateverItsAngles) {
    ResetMatrices();
    MatrixSet& matrices = GetMatrixSet();
    ModelInstance instance;
    instance.values = {3, -1, 2, 0, 0, 0, 1, 1, 1};
    const float angles[][3] = {{0, 0, 0}, {35, 15, -20}, {-120, 0, 80}, {200, 45, 10}};
    for (const auto& a : angles) {
        const float y = a[0], z = a[1], x = a[2];
        matrices.view = matrices.identity;
        RotateZ(MatrixSlot::kView, z);
        RotateX(MatrixSlot::kView, x);
        RotateY(MatrixSlot::kView, y);
        Translate(MatrixSlot::kView, -4, 1, 6);
        BuildInstanceMatrix(instance, 0.0f, true, y, z, x);
        ComputeModelview();
        // The object's axes stay the viewer's axes: only its position moves.
        const Matrix4& mv = matrices.modelview;
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                EXPECT_NEAR(mv[4 * c + r], c == r ? 1.0f : 0.0f, 1e-5f)
                    << "angles " << y << ", " << z << ", " << x;
    }
}

} // namespace
} // namespace korvane
