// Scenes and their objects, and DrawScene, which draws the objects of one scene through the
// camera a layer has set up: models and dynamic meshes, each placed by its nine animated
// transform values, shown or hidden by its visibility curve, drawn with its material.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gl/render_caps.h"
#include "model/curve.h"
#include "model/pool.h"

namespace korvane {

struct MeshData;
struct MeshFile;
struct Project;
struct XmlNode;

enum class SceneObjectKind : uint8_t {
    kModel = 0,       // a mesh file
    kDynamicMesh = 1, // recomputed for the object's time
    kText = 2,        // a line of glyph meshes of a font
};

// The nine transform values of an object, in their stored order (rotations in degrees).
enum ObjectValue : uint8_t {
    kObjectPositionX = 0,
    kObjectPositionY,
    kObjectPositionZ,
    kObjectRotationX,
    kObjectRotationY,
    kObjectRotationZ,
    kObjectScaleX,
    kObjectScaleY,
    kObjectScaleZ,
};
constexpr int kObjectValues = 9;

// Bits 0 to 8 of an object's dynamic bits say which transform values hold curve handles;
// bit 9 turns the object to face the camera.
constexpr uint16_t kBillboardBit = 1u << 9;

// An object element's children: nine transform values, the visibility curve, the time
// offset and the billboard switch; every further child is a manipulator entry.
constexpr uint32_t kObjectFixedChildren = 12;
constexpr int kMaxManipulators = 7;
constexpr int kManipulatorParameters = 16;
// A text of at most 31 bytes and its terminating zero.
constexpr size_t kObjectTextSize = 32;

// One step of an object's manipulator list, as the document gives it: the manipulators
// that turn an object into many instances read these.
struct ManipulatorEntry {
    uint8_t kind = 0;
    uint16_t second_model = 0;              // a mesh handle, 0 = none
    uint8_t second_model_source = 0;        // 0: the mesh-file pool; 1: the dynamic-mesh pool
    std::array<uint8_t, 2> dynamic_flags{}; // bit 7 of byte 0 is parameter 0 ... bit 0 of byte 1
                                            // is parameter 15
    std::array<AnimatedValue, kManipulatorParameters> parameters{};
};

inline bool ManipulatorParameterDynamic(const ManipulatorEntry& entry, int parameter) {
    return ((entry.dynamic_flags[parameter / 8] >> (7 - parameter % 8)) & 1u) != 0;
}

struct SceneObject {
    uint8_t kind = 0;  // a SceneObjectKind; other values draw nothing
    uint16_t mesh = 0; // mesh-file handle for models, dynamic-mesh handle for dynamic meshes
    uint16_t material = 0;
    std::array<AnimatedValue, kObjectValues> transform{};
    uint16_t dynamic_bits = 0; // see kBillboardBit
    uint16_t font = 0;
    std::array<char, kObjectTextSize> text{};
    uint16_t visibility_curve = 0; // 0 = always visible
    float time_offset = 0.0f;      // added to the layer's time
    uint8_t manipulator_count = 0;
    std::array<ManipulatorEntry, kMaxManipulators> manipulators{};
};

// One scene of the project's scene pool: its objects, drawn in list order. A scene without
// objects is still a scene: a layer that draws it counts as drawing.
struct Scene {
    SmallResourcePool<SceneObject> objects;
};

// One placement of an object's mesh: position, rotation about x, y and z in degrees, scale.
struct ModelInstance {
    std::array<float, kObjectValues> values{};
};
using InstanceList = std::vector<ModelInstance>;

// Reads one object element (see kObjectFixedChildren). Children the element lacks leave
// their fields at 0; manipulator entries past the seventh are not read.
void LoadSceneObject(const XmlNode& element, SceneObject& object);

// One item of the scenes section: adds a scene to the project's pool and reads its object
// elements into its list. Returns an error line, empty when it loaded.
std::string LoadSceneElement(const XmlNode& element, Project& project);

// The number of items of the pools that scene objects name.
struct SceneReferences {
    uint32_t curves = 0;
    uint32_t materials = 0;
    uint32_t mesh_files = 0;
    uint32_t dynamic_meshes = 0;
    uint32_t fonts = 0;
};

// What a scenes item lacks for loading: at most 255 objects, each with its attributes
// ("type", "object", "material"; "font" and "text" of at most 31 bytes for text), its twelve
// fixed children with what they read, at most seven manipulator entries of at most 16
// parameters, and handles that name items (0 means none, but not for the curve of a dynamic
// value). One line per problem, starting with the object (and manipulator) it concerns.
std::vector<std::string> ValidateSceneElement(const XmlNode& element,
                                              const SceneReferences& references);

// The object's time for a layer time: the whole part of time + offset, wrapped to 32 bits,
// so that an object running ahead of its layer's start sees a very late time.
uint32_t ObjectTime(uint32_t time, float time_offset);

// Whether an object shows at its time: without a visibility curve always; with one, while
// the curve is at least 1.
bool ObjectVisible(const SceneObject& object, uint32_t object_time,
                   ResourcePool<FunctionCurve>& curves);

// The object's instances at its time, into a list whose storage is reused from frame to
// frame.
void BuildObjectInstances(const SceneObject& object, uint32_t object_time,
                          ResourcePool<FunctionCurve>& curves, InstanceList& instances);

// Builds the model matrix of an instance in the matrix set: translate (x + pen, y, z); for a
// billboard, turn back the camera's rotation (angles in degrees); rotate about x, y and z;
// scale. The pen moves glyphs of a text along the line; it is 0 for everything else.
void BuildInstanceMatrix(const ModelInstance& instance, float pen, bool billboard, float camera_y,
                         float camera_z, float camera_x);

// One draw of a mesh with a material, as both renderer paths take it.
struct ObjectDraw {
    const SceneObject* object = nullptr;
    MeshData* mesh = nullptr;       // never none
    const MeshFile* file = nullptr; // the mesh file whose buffer objects may be drawn from;
                                    // none for dynamic meshes, which use client arrays
    bool dynamic_mesh = false;
    uint16_t material = 0;
    const InstanceList* instances = nullptr;
    bool billboard = false;
    float pen = 0.0f;
};

// The fixed-function path: vertex and texture-coordinate sources, then per pass of the
// material's pass plan the material and every instance.
void DrawInstancesFixed(Project& project, const ObjectDraw& draw, uint32_t time,
                        const RenderCaps& caps, float camera_y, float camera_z, float camera_x);

// Draws the scene of the given handle at a time (hundredths of a second), after the frame
// renderer has set the projection and view matrices. The camera angles (degrees) are those
// of the view matrix, for objects that face the camera. The renderer flag selects the
// fixed-function or the shader path; caps vbo selects buffer objects for models.
void DrawScene(Project& project, uint16_t scene, uint32_t time, const RenderCaps& caps,
               uint8_t renderer_flag, float camera_y, float camera_z, float camera_x);

} // namespace korvane
