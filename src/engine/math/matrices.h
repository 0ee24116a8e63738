// The program's one set of transform matrices. Transforms are built step by step by
// post-multiplying, in the manner of the fixed-function pipeline, and the finished matrices
// are handed to OpenGL (LoadMatrix) or to shader uniforms.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

// Column-major, as OpenGL takes them: element 4c + r is row r of column c, and a
// translation sits in elements 12, 13 and 14. Points are column vectors multiplied from the
// right.
using Matrix4 = std::array<float, 16>;
using Matrix3 = std::array<float, 9>;

// The slot numbers that callers pass to the operations below.
enum class MatrixSlot : uint8_t {
    kModel = 0,
    kProjection = 1,
    kTexture = 2,
    kView = 3,
    kModelview = 4,
    kPlacer = 5,
};

struct MatrixSet {
    Matrix4 model{};
    Matrix4 projection{};
    Matrix4 texture{};
    Matrix4 view{};
    Matrix4 modelview{};
    Matrix4 placer{}; // the Model placer manipulator's transform
    Matrix4 identity{};
    Matrix3 normal{}; // inverse transpose of the modelview's upper-left 3 x 3
};

// The program's one set; all zeros until ResetMatrices has run.
MatrixSet& GetMatrixSet();

// Stores the identity and copies it into the modelview, model, view and projection
// matrices; the texture and placer matrices are reset by the code that uses them.
void ResetMatrices();

// M <- M * T(x, y, z), for the model, view, placer and texture matrices; other slots are left
// alone. Only column 3 changes (the matrices translated are affine).
void Translate(MatrixSlot slot, float x, float y, float z);

// M <- M * R, a right-handed rotation by degrees about one axis, for every slot but the
// modelview matrix, which is only ever computed.
void RotateX(MatrixSlot slot, float degrees);
void RotateY(MatrixSlot slot, float degrees);
void RotateZ(MatrixSlot slot, float degrees);

// M <- M * S(x, y, z), for the model and placer matrices; other slots are left alone.
void Scale(MatrixSlot slot, float x, float y, float z);

// modelview <- view * model.
void ComputeModelview();

// normal <- inverse transpose of the modelview's upper-left 3 x 3.
void ComputeNormalMatrix();

// Loads the projection, texture or modelview matrix into OpenGL's matrix of that kind and
// leaves GL_MODELVIEW selected; other slots load nothing.
void LoadMatrix(MatrixSlot slot);

// Each of count points (x, y, z) becomes the first three components of placer * (x, y, z, 1);
// there is no division by w.
std::vector<float> TransformByPlacer(const float* points, std::size_t count);

} // namespace korvane
