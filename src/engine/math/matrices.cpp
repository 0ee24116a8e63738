#include "math/matrices.h"

#include <cmath>
#include <math.h>

#include "gl/gl.h"

namespace korvane {

namespace {

MatrixSet matrix_set{};

constexpr float kPi = 3.14159265358979323846f;

// Single precision, scaled by 1/180 before pi: the rounding that stored productions were
// made with.
float DegreesToRadians(float degrees) {
    return degrees * (1.0f / 180.0f) * kPi;
}

void SinCos(float radians, float& s, float& c) {
#if defined(__GLIBC__)
    sincosf(radians, &s, &c);
#else
    s = std::sin(radians);
    c = std::cos(radians);
#endif
}

constexpr uint8_t SlotBit(MatrixSlot slot) {
    return static_cast<uint8_t>(1u << static_cast<uint8_t>(slot));
}

// Which slots each operation works on; it leaves every other slot alone. The modelview is
// only ever computed, and the projection only ever built whole or rotated.
constexpr uint8_t kRotatableSlots = SlotBit(MatrixSlot::kModel) | SlotBit(MatrixSlot::kProjection) |
                                    SlotBit(MatrixSlot::kTexture) | SlotBit(MatrixSlot::kView) |
                                    SlotBit(MatrixSlot::kPlacer);
constexpr uint8_t kTranslatableSlots = SlotBit(MatrixSlot::kModel) | SlotBit(MatrixSlot::kTexture) |
                                       SlotBit(MatrixSlot::kView) | SlotBit(MatrixSlot::kPlacer);
constexpr uint8_t kScalableSlots = SlotBit(MatrixSlot::kModel) | SlotBit(MatrixSlot::kPlacer);

// The matrix of a slot, when the slot is one of the allowed ones.
Matrix4* SlotMatrix(MatrixSlot slot, uint8_t allowed_slots) {
    if ((allowed_slots & SlotBit(slot)) == 0)
        return nullptr;
    switch (slot) {
    case MatrixSlot::kModel:
        return &matrix_set.model;
    case MatrixSlot::kProjection:
        return &matrix_set.projection;
    case MatrixSlot::kTexture:
        return &matrix_set.texture;
    case MatrixSlot::kView:
        return &matrix_set.view;
    case MatrixSlot::kModelview:
        return &matrix_set.modelview;
    case MatrixSlot::kPlacer:
        return &matrix_set.placer;
    }
    return nullptr;
}

// Column a <- c * A + s * B and column b <- c * B - s * A, both from the old columns: the
// product with a rotation in the plane of the two axes.
void RotateColumns(MatrixSlot slot, float degrees, int a, int b) {
    Matrix4* matrix = SlotMatrix(slot, kRotatableSlots);
    if (matrix == nullptr) {
        return;
    }
    float s;
    float c;
    SinCos(DegreesToRadians(degrees), s, c);
    Matrix4& m = *matrix;
    for (int row = 0; row < 4; ++row) {
        const float column_a = m[4 * a + row];
        const float column_b = m[4 * b + row];
        m[4 * a + row] = c * column_a + s * column_b;
        m[4 * b + row] = c * column_b - s * column_a;
    }
}

} // namespace

MatrixSet& GetMatrixSet() {
    return matrix_set;
}

void ResetMatrices() {
    matrix_set.identity = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                           0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    matrix_set.modelview = matrix_set.identity;
    matrix_set.model = matrix_set.identity;
    matrix_set.view = matrix_set.identity;
    matrix_set.projection = matrix_set.identity;
}

void Translate(MatrixSlot slot, float x, float y, float z) {
    Matrix4* matrix = SlotMatrix(slot, kTranslatableSlots);
    if (matrix == nullptr) {
        return;
    }
    Matrix4& m = *matrix;
    m[12] += m[0] * x + m[4] * y + m[8] * z;
    m[13] += m[1] * x + m[5] * y + m[9] * z;
    m[14] += m[2] * x + m[6] * y + m[10] * z;
}

void RotateX(MatrixSlot slot, float degrees) {
    RotateColumns(slot, degrees, 1, 2);
}
void RotateY(MatrixSlot slot, float degrees) {
    RotateColumns(slot, degrees, 2, 0);
}
void RotateZ(MatrixSlot slot, float degrees) {
    RotateColumns(slot, degrees, 0, 1);
}

void Scale(MatrixSlot slot, float x, float y, float z) {
    Matrix4* matrix = SlotMatrix(slot, kScalableSlots);
    if (matrix == nullptr) {
        return;
    }
    Matrix4& m = *matrix;
    for (int row = 0; row < 4; ++row) {
        m[row] *= x;
        m[4 + row] *= y;
        m[8 + row] *= z;
    }
}

void ComputeModelview() {
    const Matrix4& v = matrix_set.view;
    const Matrix4& m = matrix_set.model;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            matrix_set.modelview[4 * column + row] =
                v[row] * m[4 * column] + v[4 + row] * m[4 * column + 1] +
                v[8 + row] * m[4 * column + 2] + v[12 + row] * m[4 * column + 3];
        }
    }
}

void ComputeNormalMatrix() {
    const Matrix4& mv = matrix_set.modelview;
    const float a00 = mv[0], a01 = mv[4], a02 = mv[8];
    const float a10 = mv[1], a11 = mv[5], a12 = mv[9];
    const float a20 = mv[2], a21 = mv[6], a22 = mv[10];

    // Cofactor c_rc of A, stored at column c, row r: the transpose of the adjugate.
    Matrix3 cofactors = {
        a11 * a22 - a12 * a21, a02 * a21 - a01 * a22, a01 * a12 - a02 * a11, // column 0
        a12 * a20 - a10 * a22, a00 * a22 - a02 * a20, a02 * a10 - a00 * a12, // column 1
        a10 * a21 - a11 * a20, a01 * a20 - a00 * a21, a00 * a11 - a01 * a10, // column 2
    };
    const float det = a00 * (a11 * a22 - a12 * a21) + a01 * (a12 * a20 - a10 * a22) +
                      a02 * (a10 * a21 - a11 * a20);
    // An object scaled flat has no inverse, yet its cofactors still turn normals the right
    // way (onto the flattened axis); dividing by a zero determinant would make them NaN.
    if (det != 0.0f) {
        for (float& entry : cofactors) {
            entry /= det;
        }
    }
    matrix_set.normal = cofactors;
}

void LoadMatrix(MatrixSlot slot) {
#if defined(KORVANE_GLES2)
    // Shaders take every matrix as a uniform; there are no fixed-function matrices to load.
    (void)slot;
#else
    switch (slot) {
    case MatrixSlot::kProjection:
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(matrix_set.projection.data());
        glMatrixMode(GL_MODELVIEW);
        break;
    case MatrixSlot::kTexture:
        glMatrixMode(GL_TEXTURE);
        glLoadMatrixf(matrix_set.texture.data());
        glMatrixMode(GL_MODELVIEW);
        break;
    case MatrixSlot::kModelview:
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(matrix_set.modelview.data());
        break;
    default:
        break;
    }
#endif
}

std::vector<float> TransformByPlacer(const float* points, std::size_t count) {
    const Matrix4& p = matrix_set.placer;
    std::vector<float> placed(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const float x = points[3 * i];
        const float y = points[3 * i + 1];
        const float z = points[3 * i + 2];
        placed[3 * i] = p[0] * x + p[4] * y + p[8] * z + p[12];
        placed[3 * i + 1] = p[1] * x + p[5] * y + p[9] * z + p[13];
        placed[3 * i + 2] = p[2] * x + p[6] * y + p[10] * z + p[14];
    }
    return placed;
}

} // namespace korvane
