#include "mesh/dynamic_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "data/xml.h"
#include "math/cosine_table.h"
#include "mesh/normals.h"
#include "model/project.h"

namespace korvane {

namespace {

inline constexpr char kTypeAttribute[] = "type";
inline constexpr char kParameterElement[] = "p";

// 4096 / 2pi: radians to steps of the cosine table.
constexpr double kCosineStepsPerRadian = 651.8986469;
constexpr double kPi = 3.14159265358979323846;

// Maps rand()'s range 0 ... 2^31 - 1 onto the 900 cells of the lake.
constexpr float kRandomToCell = 4.1909516e-07f;
constexpr int32_t kLakeFirstInnerCell = kWaterGridSide;
constexpr int32_t kLakeEndInnerCell = kWaterGridCells - kWaterGridSide;

constexpr int kSwirlVertices = 256;

// trunc(x) as a 32-bit integer; values beyond the range saturate and NaN gives 0, where a
// plain conversion would be undefined. Parameters come from curves a document defines.
int32_t TruncToInt32(double x) {
    if (!(x == x)) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT32_MAX;
    }
    if (x <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(x);
}

// The step counter plus a small offset, as the float it is compared with.
float StepPlus(int32_t step, int32_t offset) {
    return static_cast<float>(int64_t{step} + offset);
}

void MakeWaterGrid(MeshData& mesh) {
    mesh = MeshData();
    mesh.vertex_count = kWaterGridCells;
    mesh.set_count = 2;
    mesh.positions.assign(3 * kWaterGridCells, 0.0f);
    mesh.normals.assign(3 * kWaterGridCells, 0.0f);
    std::vector<float> coordinates(2 * kWaterGridCells);
    const float unit = 1.0f / kWaterGridSide;
    for (int i = 0; i < kWaterGridSide; ++i) {
        for (int j = 0; j < kWaterGridSide; ++j) {
            const int v = kWaterGridSide * i + j;
            mesh.positions[3 * v] = static_cast<float>(i);
            mesh.positions[3 * v + 2] = static_cast<float>(j);
            coordinates[2 * v] = static_cast<float>(i) * unit;
            coordinates[2 * v + 1] = static_cast<float>(j) * unit;
        }
    }
    mesh.texture_sets[0] = coordinates;
    mesh.texture_sets[1] = std::move(coordinates);
    // All first triangles of the 29 x 29 squares, then all second ones.
    const int squares = kWaterGridSide - 1;
    mesh.indices.reserve(6 * squares * squares);
    for (int pass = 0; pass < 2; ++pass) {
        for (int r = 0; r < squares; ++r) {
            for (int c = 0; c < squares; ++c) {
                const int a = kWaterGridSide * r + c;
                const int second = pass == 0 ? a + 1 : a + kWaterGridSide + 1;
                const int third = pass == 0 ? a + kWaterGridSide + 1 : a + kWaterGridSide;
                mesh.indices.push_back(static_cast<uint16_t>(a));
                mesh.indices.push_back(static_cast<uint16_t>(second));
                mesh.indices.push_back(static_cast<uint16_t>(third));
            }
        }
    }
    mesh.index_count = static_cast<uint32_t>(mesh.indices.size());
}

void MakeSwirl(MeshData& mesh) {
    mesh = MeshData();
    mesh.vertex_count = kSwirlVertices;
    mesh.positions.assign(3 * kSwirlVertices, 0.0f);
    mesh.normals.assign(3 * kSwirlVertices, 0.0f);
    mesh.indices.reserve(3 * (kSwirlVertices - 1));
    for (int k = 1; k < kSwirlVertices - 1; ++k) {
        mesh.indices.insert(mesh.indices.end(),
                            {0, static_cast<uint16_t>(k), static_cast<uint16_t>(k + 1)});
    }
    mesh.indices.insert(mesh.indices.end(), {0, kSwirlVertices - 1, 1});
    mesh.index_count = static_cast<uint32_t>(mesh.indices.size());
}

// Each water vertex's distance from the grid point (15, 15), which the centre wave fades with.
const std::array<float, kWaterGridCells>& CenterDistances() {
    static const std::array<float, kWaterGridCells> distances = [] {
        std::array<float, kWaterGridCells> table{};
        for (int i = 0; i < kWaterGridSide; ++i) {
            for (int j = 0; j < kWaterGridSide; ++j) {
                const int di = i - 15, dj = j - 15;
                table[kWaterGridSide * i + j] =
                    static_cast<float>(std::sqrt(static_cast<double>(di * di + dj * dj)));
            }
        }
        return table;
    }();
    return distances;
}

void LakeWaterStep(LakeWaterState& lake) {
    std::copy(lake.fields[1].begin(), lake.fields[1].end(), lake.fields[0].begin());
    // The newest generation becomes the current one; the old current one still holds the
    // generation before it, which the new generation is computed against in place.
    std::swap(lake.fields[1], lake.fields[2]);
    const int32_t* b = lake.fields[1].data();
    int32_t* c = lake.fields[2].data();
    for (int32_t cell = kLakeFirstInnerCell; cell < kLakeEndInnerCell; ++cell) {
        int32_t v =
            ((b[cell + 1] + b[cell - 1] + b[cell - kWaterGridSide] + b[cell + kWaterGridSide]) >>
             1) -
            c[cell];
        v = v - (v >> 5);
        // Crests are cut at 4 (an integer above 4.8 is one of 5 and more); troughs are not.
        if (v > 4) {
            v = 4;
        }
        c[cell] = v;
    }
    for (int32_t row = 0; row < kWaterGridSide; ++row) {
        c[kWaterGridSide * row] = 0;
        c[kWaterGridSide * row + kWaterGridSide - 1] = 0;
    }
    int32_t* drops = lake.fields[1].data();
    for (const int32_t depth : {-6, -5, -6, -5}) {
        // The product of the largest numbers rand() gives rounds up to 900, one past the
        // last cell; those drops fall into the last cell.
        int32_t cell = static_cast<int32_t>(static_cast<float>(std::rand()) * kRandomToCell);
        cell = std::min(cell, kWaterGridCells - 1);
        drops[cell] = depth;
    }
}

void UpdateLakeWater(DynamicMesh& mesh, float t) {
    LakeWaterState& lake = mesh.lake;
    // A jump in time resynchronises the simulation instead of running it to catch up.
    if (t >= StepPlus(lake.step, 2) || t <= StepPlus(lake.step, -2)) {
        lake.step = TruncToInt32(t);
    }
    if (t >= StepPlus(lake.step, 1)) {
        lake.step = TruncToInt32(t);
        LakeWaterStep(lake);
    }
    float f = std::fabs(t - static_cast<float>(lake.step));
    if (f > 1.0f) {
        f = f - std::trunc(f);
    }
    const int32_t* a = lake.fields[0].data();
    const int32_t* b = lake.fields[1].data();
    const int32_t* c = lake.fields[2].data();
    float* positions = mesh.mesh.positions.data();
    const float rest = 1.0f - f;
    for (int32_t cell = 0; cell < kWaterGridCells; ++cell) {
        // The two blended generations are weighed in float, the sum is taken in double.
        const float older = rest * static_cast<float>(a[cell]);
        const float newer = f * static_cast<float>(c[cell]);
        positions[3 * cell + 1] =
            static_cast<float>(0.2 * (0.5 * older + 0.5 * newer + 0.5 * b[cell]));
    }
    ComputeSmoothNormals(mesh.mesh);
}

void UpdateCenterwaveWater(DynamicMesh& mesh, float t) {
    if (std::fabs(t - mesh.last_value) < 0.01) {
        return;
    }
    mesh.last_value = t;
    const std::array<float, kWaterGridCells>& distances = CenterDistances();
    float* positions = mesh.mesh.positions.data();
    for (int v = 0; v < kWaterGridCells; ++v) {
        const float d = distances[v];
        positions[3 * v + 1] =
            d > 14.0f ? 0.0f : static_cast<float>((14.0f - d) * 0.1 * CosineLookup(d - t));
    }
    ComputeSmoothNormals(mesh.mesh);
}

void UpdateSwirl(DynamicMesh& mesh, float x, float y) {
    float* positions = mesh.mesh.positions.data();
    for (int k = 1; k < kSwirlVertices; ++k) {
        const float a = x * static_cast<float>(k);
        const float c = CosineLookup(a);
        const float n = CosineLookup(a + 1.5707963266);
        const float radius = y + static_cast<float>(k);
        positions[3 * k] = c * (radius + c);
        positions[3 * k + 1] = n * (radius + n);
        positions[3 * k + 2] = 0.0f;
    }
    ComputeSmoothNormals(mesh.mesh);
}

void RebuildUmbrella(MeshData& mesh, int32_t sides) {
    const int32_t vertices = sides + 1;
    mesh.vertex_count = static_cast<uint16_t>(vertices);
    mesh.index_count = 3 * static_cast<uint32_t>(sides);
    mesh.set_count = 1;
    mesh.positions.assign(3 * size_t(vertices), 0.0f);
    mesh.normals.assign(3 * size_t(vertices), 0.0f);
    mesh.texture_sets[0].assign(2 * size_t(vertices), 0.0f);
    mesh.texture_sets[1].clear();
    mesh.texture_sets[2].clear();
    mesh.indices.resize(mesh.index_count);
    for (int32_t k = 1; k <= sides; ++k) {
        uint16_t* triangle = mesh.indices.data() + 3 * (k - 1);
        triangle[0] = 0;
        triangle[1] = static_cast<uint16_t>(k);
        triangle[2] = static_cast<uint16_t>(k + 1);
    }
    mesh.indices.back() = 1; // the last triangle closes the ring: (0, N, 1)
    // Lines made for the old triangles would name vertices the new arrays may not have.
    mesh.line_indices.reset();
}

void UpdateUmbrella(DynamicMesh& mesh, float sides, float size, float angle) {
    // Fewer than three sides (or no number at all) make a triangle.
    const float at_least_three = sides >= 3.0f ? sides : 3.0f;
    const int32_t n = std::min(TruncToInt32(at_least_three), kMaxUmbrellaSides);
    const float radius = static_cast<float>(size * std::cos(kPi / 2 - angle));
    const float height = static_cast<float>(size * std::cos(angle));
    if (n != mesh.side_count) {
        mesh.side_count = n;
        RebuildUmbrella(mesh.mesh, n);
    }
    float* positions = mesh.mesh.positions.data();
    float* coordinates = mesh.mesh.texture_sets[0].data();
    positions[0] = positions[1] = positions[2] = 0.0f;
    coordinates[0] = coordinates[1] = 0.5f;
    const double step = 2 * kPi / n;
    for (int32_t k = 1; k <= n; ++k) {
        const double theta = k * step;
        const double across = std::cos(theta);
        const double along = std::cos(kPi / 2 - theta);
        positions[3 * k] = static_cast<float>(radius * across);
        positions[3 * k + 1] = -height;
        positions[3 * k + 2] = static_cast<float>(radius * along);
        coordinates[2 * k] = static_cast<float>((across + 1) * 0.5);
        coordinates[2 * k + 1] = static_cast<float>((along + 1) * 0.5);
    }
    ComputeSmoothNormals(mesh.mesh);
}

std::string MissingAttribute(const char* name) {
    return std::string("the attribute \"") + name + "\" is missing";
}

// The curve handle a "p" child holds, as read (before it is narrowed to 16 bits).
long ParameterCurve(const XmlNode& child) {
    return ReadDocumentInteger(child.text ? child.text->c_str() : nullptr);
}

bool IsParameterElement(const XmlNode& node) {
    return node.name && *node.name == kParameterElement;
}

} // namespace

float CosineLookup(double x) {
    const double scaled = x * kCosineStepsPerRadian;
    int32_t k = 0;
    if (scaled > -2147483648.0 && scaled < 2147483648.0) {
        k = static_cast<int32_t>(scaled) % kCosineStepsPerTurn;
    } else if (std::isfinite(scaled)) {
        k = static_cast<int32_t>(std::fmod(std::trunc(scaled), kCosineStepsPerTurn));
    }
    return GetCosineTable()[kCosineStepsPerTurn + k];
}

DynamicMesh CreateDynamicMesh(uint8_t kind) {
    DynamicMesh mesh;
    mesh.kind = kind;
    switch (static_cast<DynamicMeshKind>(kind)) {
    case DynamicMeshKind::kLakeWater:
        MakeWaterGrid(mesh.mesh);
        for (std::vector<int32_t>& field : mesh.lake.fields) {
            field.assign(kWaterGridCells, 0);
        }
        mesh.lake.step = 0;
        break;
    case DynamicMeshKind::kCenterwaveWater:
        MakeWaterGrid(mesh.mesh);
        mesh.last_value = -1.0f;
        break;
    case DynamicMeshKind::kSwirl:
        MakeSwirl(mesh.mesh);
        break;
    default:
        mesh.side_count = -1;
        break;
    }
    return mesh;
}

void UpdateDynamicMeshWith(DynamicMesh& mesh, const float* parameters) {
    // The arrays a kind writes into are made by CreateDynamicMesh; a record that was not made
    // by it keeps its arrays untouched.
    const bool has_grid = mesh.mesh.positions.size() == 3 * size_t{kWaterGridCells};
    switch (static_cast<DynamicMeshKind>(mesh.kind)) {
    case DynamicMeshKind::kLakeWater:
        if (has_grid && mesh.lake.fields[0].size() == kWaterGridCells) {
            UpdateLakeWater(mesh, parameters[0]);
        }
        break;
    case DynamicMeshKind::kCenterwaveWater:
        if (has_grid) {
            UpdateCenterwaveWater(mesh, parameters[0]);
        }
        break;
    case DynamicMeshKind::kSwirl:
        if (mesh.mesh.positions.size() == 3 * size_t{kSwirlVertices}) {
            UpdateSwirl(mesh, parameters[0], parameters[1]);
        }
        break;
    case DynamicMeshKind::kUmbrella:
        UpdateUmbrella(mesh, parameters[0], parameters[1], parameters[2]);
        break;
    default:
        break;
    }
}

void UpdateDynamicMesh(DynamicMesh& mesh, ResourcePool<FunctionCurve>& curves, uint32_t time) {
    if (mesh.kind >= kDynamicMeshCatalogue.size()) {
        return;
    }
    const int count = kDynamicMeshCatalogue[mesh.kind].parameter_count;
    std::array<float, 3> parameters{};
    for (int i = 0; i < count; ++i) {
        parameters[i] = EvaluateCurveHandle(curves, mesh.parameter_curves[i], time);
    }
    UpdateDynamicMeshWith(mesh, parameters.data());
}

std::string LoadDynamicMeshElement(const XmlNode& element, Project& project) {
    const uint16_t handle = PoolAdd(project.dynamic_meshes);
    if (handle == 0) {
        return "more dynamic meshes than the pool holds (" +
               std::to_string(ResourcePool<DynamicMesh>::kCapacity) + ")";
    }
    DynamicMesh& record = *PoolGet(project.dynamic_meshes, handle);
    const char* type = GetXmlAttribute(element, kTypeAttribute);
    if (type == nullptr) {
        return MissingAttribute(kTypeAttribute);
    }
    const long kind = ReadDocumentInteger(type);
    record = CreateDynamicMesh(kind >= 0 && kind <= UINT8_MAX ? static_cast<uint8_t>(kind)
                                                              : kUnknownDynamicMeshKind);
    int i = 0;
    for (const XmlNode* child = element.first_child.get();
         child != nullptr && IsParameterElement(*child) && i < kMaxDynamicMeshParameters;
         child = child->next_sibling.get(), ++i) {
        const long curve = ParameterCurve(*child);
        // A number no handle can hold names no curve, rather than another one by wrapping.
        record.parameter_curves[i] =
            curve > 0 && curve <= UINT16_MAX ? static_cast<uint16_t>(curve) : 0;
    }
    return std::string();
}

std::string ValidateDynamicMeshElement(const XmlNode& element, uint32_t curve_count) {
    if (GetXmlAttribute(element, kTypeAttribute) == nullptr) {
        return MissingAttribute(kTypeAttribute);
    }
    int i = 0;
    for (const XmlNode* child = element.first_child.get();
         child != nullptr && IsParameterElement(*child) && i < kMaxDynamicMeshParameters;
         child = child->next_sibling.get(), ++i) {
        const long curve = ParameterCurve(*child);
        if (curve < 0 || curve > static_cast<long>(curve_count)) {
            return "parameter " + std::to_string(i + 1) + ": curve " + std::to_string(curve) +
                   " does not exist";
        }
    }
    return std::string();
}

} // namespace korvane
