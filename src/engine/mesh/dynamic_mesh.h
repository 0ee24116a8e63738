// Dynamic meshes: meshes the engine generates from a kind and a few animated parameters and
// recomputes whenever an object that uses them is drawn: a rippling lake, a circular wave, a
// spiral and an umbrella-shaped cone. Also the cosine lookup that their trigonometry reads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mesh/mesh_data.h"
#include "model/curve.h"

namespace korvane {

struct Project;
struct XmlNode;

enum class DynamicMeshKind : uint8_t {
    kLakeWater = 0,
    kCenterwaveWater = 1,
    kSwirl = 2,
    kUmbrella = 3,
};

// Kinds outside the catalogue are kept as read, stay empty and are never updated; a number
// that does not fit the kind byte is kept as this one.
constexpr uint8_t kUnknownDynamicMeshKind = 0xff;

constexpr int kMaxDynamicMeshParameters = 32;

// The catalogue of kinds as the production tools show it: name and parameter names in order.
struct DynamicMeshDescriptor {
    const char* name;
    uint8_t parameter_count;
    std::array<const char*, 3> parameter_names;
};

inline constexpr std::array<DynamicMeshDescriptor, 4> kDynamicMeshCatalogue = {{
    {"Lake water", 1, {"Time"}},
    {"Centerwave water", 1, {"Time"}},
    {"Swirl", 2, {"X", "Y"}},
    {"Umbrella", 3, {"Sides", "Size", "Angle"}},
}};

// The water grids: 30 x 30 vertices, one unit apart.
constexpr int kWaterGridSide = 30;
constexpr int kWaterGridCells = kWaterGridSide * kWaterGridSide;

// "Lake water": an integer ripple simulation on three height fields that swap roles each step
// (a: the generation before b, b: the current one, c: the newest), and the whole time step s
// the simulation has reached.
struct LakeWaterState {
    std::array<std::vector<int32_t>, 3> fields; // a, b, c, 900 cells each
    int32_t step = 0;
};

// An umbrella has a vertex per side and one at its tip, and vertex numbers are 16-bit.
constexpr int32_t kMaxUmbrellaSides = 65534;

struct DynamicMesh {
    uint8_t kind = kUnknownDynamicMeshKind;
    std::array<uint16_t, kMaxDynamicMeshParameters> parameter_curves{}; // 0: no curve
    LakeWaterState lake;                                                // "Lake water" only
    float last_value = -1.0f; // "Centerwave water": the parameter of the last rebuild
    int32_t side_count = -1;  // "Umbrella": sides of the current arrays, -1 before any
    MeshData mesh;            // drawn from client memory, never from buffers
};

// Entry 4096 + k of the shared cosine table, k = trunc(x * 4096 / 2pi) rem 4096 with the sign
// of x: the angle quantised to 4096 steps per turn, truncated toward zero. The table must
// have been built. Any x is safe; one that is not a finite number reads entry 4096.
float CosineLookup(double x);

// A new dynamic mesh of a kind, its arrays and state as the kind starts: the water grids
// with two equal texture sets, the swirl's fan of 256 vertices at the origin, and empty arrays
// for "Umbrella" (made by its first update) and for any other kind.
DynamicMesh CreateDynamicMesh(uint8_t kind);

// Evaluates the kind's parameters at a time (a curve handle of 0, or one that names no curve,
// gives 0) and recomputes the mesh, normals included. Kinds outside the catalogue stay empty.
void UpdateDynamicMesh(DynamicMesh& mesh, ResourcePool<FunctionCurve>& curves, uint32_t time);

// The update with the parameter values given, for the kinds' own logic and its tests.
void UpdateDynamicMeshWith(DynamicMesh& mesh, const float* parameters);

// One item of the dynamic-meshes section: "type" is the kind, and the consecutive children
// named "p" hold the curve handles of its parameters (missing ones are 0, no curve). Adds the
// mesh to the project's pool; returns an error line, empty when it loaded.
std::string LoadDynamicMeshElement(const XmlNode& element, Project& project);

// What a dynamic-mesh item lacks for loading, or an empty text: it needs "type", and its
// curve handles must name curves of the curves section (curve_count of them).
std::string ValidateDynamicMeshElement(const XmlNode& element, uint32_t curve_count);

} // namespace korvane
