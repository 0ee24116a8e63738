#include "math/matrices.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace korvane {
namespace {

using Vec3 = std::array<float, 3>;

constexpr MatrixSlot kRotatableSlots[] = {MatrixSlot::kModel, MatrixSlot::kProjection,
                                          MatrixSlot::kTexture, MatrixSlot::kView,
                                          MatrixSlot::kPlacer};

Matrix4& SlotMatrix(MatrixSlot slot) {
    MatrixSet& set = GetMatrixSet();
    switch (slot) {
    case MatrixSlot::kModel:
        return set.model;
    case MatrixSlot::kProjection:
        return set.projection;
    case MatrixSlot::kTexture:
        return set.texture;
    case MatrixSlot::kView:
        return set.view;
    case MatrixSlot::kModelview:
        return set.modelview;
    default:
        return set.placer;
    }
}

// M * (x, y, z, 1), first three components.
Vec3 Apply(const Matrix4& m, const Vec3& p) {
    Vec3 out;
    for (int row = 0; row < 3; ++row) {
        out[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
    }
    return out;
}

void ExpectNear(const Vec3& actual, const Vec3& expected) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-6f) << "component " << i;
    }
}

bool SameSet(const MatrixSet& a, const MatrixSet& b) {
    return a.model == b.model && a.projection == b.projection && a.texture == b.texture &&
           a.view == b.view && a.modelview == b.modelview && a.placer == b.placer &&
           a.identity == b.identity && a.normal == b.normal;
}

class MatricesTest : public testing::Test {
  protected:
    void SetUp() override {
        GetMatrixSet() = MatrixSet{};
        ResetMatrices();
        GetMatrixSet().texture = GetMatrixSet().identity;
        GetMatrixSet().placer = GetMatrixSet().identity;
    }
};

TEST(MatricesResetTest, ResetLeavesTextureAndPlacerAlone) {
    MatrixSet& set = GetMatrixSet();
    set = MatrixSet{};
    set.texture[0] = 7.0f;
    set.placer[5] = 9.0f;
    set.model[3] = 4.0f;
    ResetMatrices();
    const Matrix4 identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(set.identity, identity);
    EXPECT_EQ(set.model, identity);
    EXPECT_EQ(set.view, identity);
    EXPECT_EQ(set.projection, identity);
    EXPECT_EQ(set.modelview, identity);
    EXPECT_EQ(set.texture[0], 7.0f);
    EXPECT_EQ(set.placer[5], 9.0f);
}

TEST_F(MatricesTest, TranslateMovesTheOriginOfTheSlot) {
    Translate(MatrixSlot::kModel, 1, 2, 3);
    const Matrix4& model = GetMatrixSet().model;
    EXPECT_EQ(model[12], 1.0f);
    EXPECT_EQ(model[13], 2.0f);
    EXPECT_EQ(model[14], 3.0f);
    EXPECT_EQ(model[15], 1.0f);
    EXPECT_EQ(GetMatrixSet().view, GetMatrixSet().identity);
}

TEST_F(MatricesTest, RotationsMapUnitVectorsRightHanded) {
    struct Case {
        void (*rotate)(MatrixSlot, float);
        float degrees;
        Vec3 from;
        Vec3 to;
    };
    const Case cases[] = {
        {RotateX, 90, {0, 1, 0}, {0, 0, 1}},   {RotateX, 90, {0, 0, 1}, {0, -1, 0}},
        {RotateY, 90, {0, 0, 1}, {1, 0, 0}},   {RotateY, 90, {1, 0, 0}, {0, 0, -1}},
        {RotateZ, 90, {1, 0, 0}, {0, 1, 0}},   {RotateZ, 90, {0, 1, 0}, {-1, 0, 0}},
        {RotateZ, -90, {1, 0, 0}, {0, -1, 0}}, {RotateX, 90, {1, 0, 0}, {1, 0, 0}},
    };
    for (MatrixSlot slot : kRotatableSlots) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "slot " << static_cast<int>(slot));
            SetUp();
            c.rotate(slot, c.degrees);
            ExpectNear(Apply(SlotMatrix(slot), c.from), c.to);
        }
    }
    // 180 degrees through the float conversion of the angle.
    SetUp();
    RotateZ(MatrixSlot::kPlacer, 180);
    ExpectNear(Apply(GetMatrixSet().placer, {1, 0, 0}), {-1, 0, 0});
}

TEST_F(MatricesTest, OperationsPostMultiply) {
    // model = T * Rz: the point is rotated first, then moved.
    Translate(MatrixSlot::kModel, 5, 0, 0);
    RotateZ(MatrixSlot::kModel, 90);
    Scale(MatrixSlot::kModel, 2, 3, 4);
    ExpectNear(Apply(GetMatrixSet().model, {1, 0, 0}), {5, 2, 0});
    ExpectNear(Apply(GetMatrixSet().model, {0, 0, 1}), {5, 0, 4});
    // Translating after a rotation moves along the rotated axes.
    SetUp();
    RotateZ(MatrixSlot::kView, 90);
    Translate(MatrixSlot::kView, 1, 0, 0);
    ExpectNear(Apply(GetMatrixSet().view, {0, 0, 0}), {0, 1, 0});
}

TEST_F(MatricesTest, SlotsAnOperationDoesNotServeStayUnchanged) {
    const MatrixSet before = GetMatrixSet();
    const auto unknown = static_cast<MatrixSlot>(6);
    for (MatrixSlot slot : {MatrixSlot::kModelview, unknown}) {
        RotateX(slot, 30);
        RotateY(slot, 30);
        RotateZ(slot, 30);
    }
    for (MatrixSlot slot : {MatrixSlot::kProjection, MatrixSlot::kModelview, unknown}) {
        Translate(slot, 1, 2, 3);
    }
    for (MatrixSlot slot : {MatrixSlot::kProjection, MatrixSlot::kTexture, MatrixSlot::kView,
                            MatrixSlot::kModelview, unknown}) {
        Scale(slot, 2, 2, 2);
    }
    EXPECT_TRUE(SameSet(GetMatrixSet(), before));
}

TEST_F(MatricesTest, ModelviewIsViewTimesModel) {
    Translate(MatrixSlot::kView, 1, 0, 0);
    RotateZ(MatrixSlot::kModel, 90);
    ComputeModelview();
    // view * model takes (1, 0, 0) to (0, 1, 0) and then to (1, 1, 0); the other order
    // would give (0, 2, 0).
    ExpectNear(Apply(GetMatrixSet().modelview, {1, 0, 0}), {1, 1, 0});
    EXPECT_FLOAT_EQ(GetMatrixSet().modelview[15], 1.0f);
}

TEST_F(MatricesTest, NormalMatrixIsTheInverseTranspose) {
    MatrixSet& set = GetMatrixSet();
    RotateX(MatrixSlot::kModel, 30);
    RotateY(MatrixSlot::kModel, 40);
    RotateZ(MatrixSlot::kModel, 50);
    Translate(MatrixSlot::kView, 3, 4, 5);
    ComputeModelview();
    ComputeNormalMatrix();
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_NEAR(set.normal[3 * column + row], set.modelview[4 * column + row], 1e-6f);
        }
    }

    SetUp();
    Scale(MatrixSlot::kModel, 2, 2, 2);
    ComputeModelview();
    ComputeNormalMatrix();
    EXPECT_EQ(set.normal, (Matrix3{0.5f, 0, 0, 0, 0.5f, 0, 0, 0, 0.5f}));

    // A shear: checked against the defining property N^T * A = I.
    SetUp();
    set.model = {1, 0, 0, 0, 2, 1, 0, 0, 0, 3, 1, 0, 0, 0, 0, 1};
    ComputeModelview();
    ComputeNormalMatrix();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k) {
                sum += set.normal[3 * i + k] * set.modelview[4 * j + k];
            }
            EXPECT_NEAR(sum, i == j ? 1.0f : 0.0f, 1e-6f);
        }
    }
}

TEST_F(MatricesTest, NormalMatrixOfAFlattenedObjectIsFinite) {
    MatrixSet& set = GetMatrixSet();
    Scale(MatrixSlot::kModel, 1, 1, 0);
    ComputeModelview();
    ComputeNormalMatrix();
    // Every normal of the flattened object turns onto the z axis.
    EXPECT_EQ(set.normal, (Matrix3{0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST_F(MatricesTest, TransformByPlacerUsesOnlyThePlacerAndNoDivision) {
    RotateZ(MatrixSlot::kModel, 90);
    RotateZ(MatrixSlot::kPlacer, 90);
    Translate(MatrixSlot::kPlacer, 0, 0, 2);
    GetMatrixSet().placer[15] = 4.0f;
    const float points[] = {1, 0, 0, 0, 0, 1};
    const std::vector<float> placed = TransformByPlacer(points, 2);
    ASSERT_EQ(placed.size(), 6u);
    ExpectNear({placed[0], placed[1], placed[2]}, {0, 1, 2});
    ExpectNear({placed[3], placed[4], placed[5]}, {0, 0, 3});
    EXPECT_TRUE(TransformByPlacer(points, 0).empty());
}

} // namespace
} // namespace korvane
