#include "draw/scene.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "data/xml.h"
#include "draw/material.h"
#include "draw/material_fixed.h"
#include "draw/scene_shader.h"
#include "draw/shader_program.h"
#include "gl/gl.h"
#include "math/matrices.h"
#include "mesh/dynamic_mesh.h"
#include "mesh/mesh_file.h"
#include "model/document.h"
#include "model/project.h"

namespace korvane {

namespace {

constexpr char kManipulatorElement[] = "manipulator";
constexpr char kTooFewChildren[] = "the object has %u children, %u expected at least";
constexpr char kTextTooLong[] = "the text is %u bytes long, at most %u fit";
constexpr char kTooManyScenes[] = "more scenes than the pool holds";
constexpr char kTooManyObjects[] = "the scene has more objects than its list holds";

// The children of an object after its transform values, by position.
constexpr uint32_t kVisibilityChild = 9;
constexpr uint32_t kTimeOffsetChild = 10;
constexpr uint32_t kBillboardChild = 11;
// Manipulators that look up a second model ("Model placer").
constexpr uint8_t kModelPlacer = 3;

constexpr std::array<const char*, kObjectValues> kObjectValueNames = {
    "position x", "position y", "position z", "rotation x", "rotation y",
    "rotation z", "scale x",    "scale y",    "scale z",
};

long IntegerOf(const XmlNode& element, const char* name) {
    return ReadDocumentInteger(GetXmlAttribute(element, name));
}

// A handle field read as the document gives it; a number the field cannot hold names none,
// rather than another item by wrapping (documents that hold one are refused when checked).
uint16_t HandleOf(long value) {
    return value > 0 && value <= UINT16_MAX ? static_cast<uint16_t>(value) : 0;
}

// The second model of a manipulator is given as real numbers, truncated.
long TruncatedOf(const XmlNode& element, const char* name) {
    const float value = ReadDocumentReal(GetXmlAttribute(element, name));
    if (!(std::fabs(value) < 2147483648.0f))
        return 0;
    return static_cast<long>(value);
}

bool IsManipulatorElement(const XmlNode& node) {
    return node.name && *node.name == kManipulatorElement;
}

void LoadManipulatorEntry(const XmlNode& element, ManipulatorEntry& entry) {
    entry.kind = static_cast<uint8_t>(IntegerOf(element, "type"));
    const XmlNode* child = element.first_child.get();
    if (child != nullptr && IsManipulatorElement(*child)) {
        entry.second_model_source = TruncatedOf(*child, "type") != 0 ? 1 : 0;
        entry.second_model = HandleOf(TruncatedOf(*child, "model"));
        child = child->next_sibling.get();
    }
    for (int j = 0; j < kManipulatorParameters && child != nullptr;
         ++j, child = child->next_sibling.get()) {
        bool dynamic = false;
        entry.parameters[j] = LoadAnimatedValue(*child, DynamicWords::kOnlyDynamic, dynamic);
        if (dynamic)
            entry.dynamic_flags[j / 8] |= static_cast<uint8_t>(0x80u >> (j % 8));
    }
}

struct Problems {
    std::vector<std::string>& lines;

    void Add(const std::string& where, const std::string& problem) {
        lines.push_back(where + ": " + problem);
    }
    const char* Require(const std::string& where, const XmlNode& node, const char* name) {
        const char* value = GetXmlAttribute(node, name);
        if (value == nullptr)
            Add(where, FormatProblem(kMissingAttribute, name));
        return value;
    }
    void CheckHandle(const std::string& where, const char* text, const char* kind, uint32_t count,
                     bool zero_is_none) {
        if (text == nullptr)
            return;
        const long handle = ReadDocumentInteger(text);
        if (handle == 0 && zero_is_none)
            return;
        if (handle < 1 || static_cast<unsigned long>(handle) > count)
            Add(where, FormatProblem(kNamesNothing, kind, handle));
    }
    // An animated value with "type" and "value"; only the word "dynamic" names a curve.
    void CheckAnimatedValue(const std::string& where, const XmlNode& element, uint32_t curves) {
        const char* type = Require(where, element, "type");
        const char* value = Require(where, element, "value");
        if (type != nullptr && IsDynamicWord(type, DynamicWords::kOnlyDynamic))
            CheckHandle(where, value, "curve", curves, false);
    }
};

void ValidateManipulator(Problems& problems, const std::string& where, const XmlNode& element,
                         const SceneReferences& references) {
    const char* kind = problems.Require(where, element, "type");
    const XmlNode* child = element.first_child.get();
    if (child != nullptr && IsManipulatorElement(*child)) {
        const std::string model_where = where + ", second model";
        const char* source = problems.Require(model_where, *child, "type");
        const char* model = problems.Require(model_where, *child, "model");
        // Only the Model placer looks its second model up.
        if (kind != nullptr && static_cast<uint8_t>(ReadDocumentInteger(kind)) == kModelPlacer &&
            source != nullptr && model != nullptr) {
            const long handle = TruncatedOf(*child, "model");
            const bool mesh_file = TruncatedOf(*child, "type") == 0;
            const uint32_t count = mesh_file ? references.mesh_files : references.dynamic_meshes;
            if (handle != 0 && (handle < 1 || static_cast<unsigned long>(handle) > count))
                problems.Add(
                    model_where,
                    FormatProblem(kNamesNothing, mesh_file ? "mesh file" : "dynamic mesh", handle));
        }
        child = child->next_sibling.get();
    }
    uint32_t parameters = 0;
    for (; child != nullptr; child = child->next_sibling.get(), ++parameters)
        if (parameters < static_cast<uint32_t>(kManipulatorParameters))
            problems.CheckAnimatedValue(where + ", parameter " + std::to_string(parameters + 1),
                                        *child, references.curves);
    if (parameters > static_cast<uint32_t>(kManipulatorParameters))
        problems.Add(where, FormatProblem(kTooMany, "manipulator", parameters, "parameters",
                                          static_cast<unsigned>(kManipulatorParameters)));
}

void ValidateObject(Problems& problems, const std::string& where, const XmlNode& element,
                    const SceneReferences& references) {
    const char* type = problems.Require(where, element, "type");
    const char* mesh = problems.Require(where, element, "object");
    const char* material = problems.Require(where, element, "material");
    // The kind is kept in a byte, as the loader keeps it.
    const auto kind = static_cast<SceneObjectKind>(static_cast<uint8_t>(ReadDocumentInteger(type)));
    if (type != nullptr && kind == SceneObjectKind::kModel)
        problems.CheckHandle(where, mesh, "mesh file", references.mesh_files, true);
    if (type != nullptr && kind == SceneObjectKind::kDynamicMesh)
        problems.CheckHandle(where, mesh, "dynamic mesh", references.dynamic_meshes, true);
    problems.CheckHandle(where, material, "material", references.materials, true);
    if (type != nullptr && kind == SceneObjectKind::kText) {
        problems.CheckHandle(where, problems.Require(where, element, "font"), "font",
                             references.fonts, true);
        if (const char* text = problems.Require(where, element, "text")) {
            const size_t length = std::strlen(text);
            if (length >= kObjectTextSize)
                problems.Add(where, FormatProblem(kTextTooLong, static_cast<unsigned>(length),
                                                  static_cast<unsigned>(kObjectTextSize - 1)));
        }
    }

    uint32_t children = 0;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get())
        ++children;
    if (children < kObjectFixedChildren) {
        problems.Add(where, FormatProblem(kTooFewChildren, children, kObjectFixedChildren));
        return;
    }
    const uint32_t manipulators = children - kObjectFixedChildren;
    if (manipulators > static_cast<uint32_t>(kMaxManipulators))
        problems.Add(where, FormatProblem(kTooMany, "object", manipulators, "manipulators",
                                          static_cast<unsigned>(kMaxManipulators)));

    uint32_t n = 0;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get(), ++n) {
        if (n < static_cast<uint32_t>(kObjectValues)) {
            problems.CheckAnimatedValue(where + ", " + kObjectValueNames[n], *child,
                                        references.curves);
        } else if (n == kVisibilityChild) {
            const std::string child_where = where + ", visibility";
            problems.CheckHandle(child_where, problems.Require(child_where, *child, "value"),
                                 "curve", references.curves, true);
        } else if (n == kTimeOffsetChild) {
            problems.Require(where + ", time offset", *child, "value");
        } else if (n == kBillboardChild) {
            problems.Require(where + ", billboard", *child, "value");
        } else if (n - kObjectFixedChildren < static_cast<uint32_t>(kMaxManipulators)) {
            ValidateManipulator(
                problems, where + ", manipulator " + std::to_string(n - kObjectFixedChildren + 1),
                *child, references);
        }
    }
}

// The vertex, normal and index sources of one draw, and the texture-coordinate sources the
// material's stages read: set 1 for stage 1, set 2 for stage 2 when the mesh has two sets,
// set 3 for stage 3 when it has three, set 1 otherwise. Dynamic meshes are always drawn
// from client memory.
bool BindVertexSources(const ObjectDraw& draw, const RenderCaps& caps, TexCoordSources& sources) {
    const MeshData& mesh = *draw.mesh;
    const MeshFile* file = draw.file;
    const bool buffers =
        caps.vbo && !draw.dynamic_mesh && file != nullptr && file->position_buffer != 0;
    if (buffers) {
        glBindBuffer(GL_ARRAY_BUFFER, file->position_buffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, file->normal_buffer);
        glNormalPointer(GL_FLOAT, 0, nullptr);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, file->index_buffer);
        for (int stage = 0; stage < kTextureStages; ++stage)
            sources.buffers[stage] =
                file->texture_set_buffers[TextureSetForStage(mesh.set_count, stage)];
        return true;
    }
    // Client arrays are read only while no buffer is bound to either target.
    if (caps.vbo) {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
    glVertexPointer(3, GL_FLOAT, 0, mesh.positions.data());
    glNormalPointer(GL_FLOAT, 0, mesh.normals.data());
    for (int stage = 0; stage < kTextureStages; ++stage) {
        const std::vector<float>& set =
            mesh.texture_sets[TextureSetForStage(mesh.set_count, stage)];
        sources.arrays[stage] = set.empty() ? nullptr : set.data();
    }
    return false;
}

} // namespace

void LoadSceneObject(const XmlNode& element, SceneObject& object) {
    object = SceneObject{};
    object.kind = static_cast<uint8_t>(IntegerOf(element, "type"));
    object.mesh = HandleOf(IntegerOf(element, "object"));
    object.material = HandleOf(IntegerOf(element, "material"));
    object.font = HandleOf(IntegerOf(element, "font"));
    if (const char* text = GetXmlAttribute(element, "text"))
        std::strncpy(object.text.data(), text, kObjectTextSize - 1);

    uint32_t n = 0;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get(), ++n) {
        if (n < static_cast<uint32_t>(kObjectValues)) {
            bool dynamic = false;
            object.transform[n] = LoadAnimatedValue(*child, DynamicWords::kOnlyDynamic, dynamic);
            if (dynamic)
                object.dynamic_bits |= static_cast<uint16_t>(1u << n);
        } else if (n == kVisibilityChild) {
            object.visibility_curve = HandleOf(IntegerOf(*child, "value"));
        } else if (n == kTimeOffsetChild) {
            object.time_offset = ReadDocumentReal(GetXmlAttribute(*child, "value"));
        } else if (n == kBillboardChild) {
            if (IntegerOf(*child, "value") == 1)
                object.dynamic_bits |= kBillboardBit;
        } else if (object.manipulator_count < kMaxManipulators) {
            LoadManipulatorEntry(*child, object.manipulators[object.manipulator_count]);
            ++object.manipulator_count;
        }
    }
}

std::string LoadSceneElement(const XmlNode& element, Project& project) {
    Scene* scene = PoolGet(project.scenes, PoolAdd(project.scenes));
    if (scene == nullptr)
        return kTooManyScenes;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get()) {
        SceneObject* object = PoolGet(scene->objects, PoolAdd(scene->objects));
        if (object == nullptr)
            return kTooManyObjects;
        LoadSceneObject(*child, *object);
    }
    return std::string();
}

std::vector<std::string> ValidateSceneElement(const XmlNode& element,
                                              const SceneReferences& references) {
    std::vector<std::string> lines;
    Problems problems{lines};
    uint32_t objects = 0;
    for (const XmlNode* child = element.first_child.get(); child != nullptr;
         child = child->next_sibling.get())
        ValidateObject(problems, "object " + std::to_string(++objects), *child, references);
    const uint32_t capacity = SmallResourcePool<SceneObject>::kCapacity;
    if (objects > capacity)
        lines.push_back(FormatProblem(kTooMany, "scene", objects, "objects", capacity));
    return lines;
}

uint32_t ObjectTime(uint32_t time, float time_offset) {
    const float sum = static_cast<float>(time) + time_offset;
    if (!std::isfinite(sum))
        return 0;
    // Truncation first, then the value modulo 2^32: -30 becomes 2^32 - 30.
    constexpr double kWrap = 4294967296.0;
    double wrapped = std::fmod(std::trunc(static_cast<double>(sum)), kWrap);
    if (wrapped < 0.0)
        wrapped += kWrap;
    return static_cast<uint32_t>(wrapped);
}

bool ObjectVisible(const SceneObject& object, uint32_t object_time,
                   ResourcePool<FunctionCurve>& curves) {
    if (object.visibility_curve == 0)
        return true;
    return !(EvaluateCurveHandle(curves, object.visibility_curve, object_time) < 1.0f);
}

void BuildObjectInstances(const SceneObject& object, uint32_t object_time,
                          ResourcePool<FunctionCurve>& curves, InstanceList& instances) {
    instances.clear();
    ModelInstance instance;
    for (int n = 0; n < kObjectValues; ++n)
        instance.values[n] = ResolveAnimatedValue(
            object.transform[n], (object.dynamic_bits >> n) & 1u, object_time, curves);
    instances.push_back(instance);
    // The object's manipulator entries (object.manipulators) turn this one instance into
    // many here, once manipulators exist; until then every object is drawn once.
}

void BuildInstanceMatrix(const ModelInstance& instance, float pen, bool billboard, float camera_y,
                         float camera_z, float camera_x) {
    MatrixSet& matrices = GetMatrixSet();
    const std::array<float, kObjectValues>& v = instance.values;
    matrices.model = matrices.identity;
    Translate(MatrixSlot::kModel, v[kObjectPositionX] + pen, v[kObjectPositionY],
              v[kObjectPositionZ]);
    if (billboard) {
        // The inverse of the view's rotation Rz * Rx * Ry: the object faces the viewer.
        RotateY(MatrixSlot::kModel, -camera_y);
        RotateX(MatrixSlot::kModel, -camera_x);
        RotateZ(MatrixSlot::kModel, -camera_z);
    }
    RotateX(MatrixSlot::kModel, v[kObjectRotationX]);
    RotateY(MatrixSlot::kModel, v[kObjectRotationY]);
    RotateZ(MatrixSlot::kModel, v[kObjectRotationZ]);
    Scale(MatrixSlot::kModel, v[kObjectScaleX], v[kObjectScaleY], v[kObjectScaleZ]);
}

void DrawInstancesFixed(Project& project, const ObjectDraw& draw, uint32_t time,
                        const RenderCaps& caps, float camera_y, float camera_z, float camera_x) {
    Material* material = PoolGet(project.materials, draw.material);
    const MeshData& mesh = *draw.mesh;
    if (material == nullptr || mesh.index_count == 0 || draw.instances->empty())
        return;

    TexCoordSources sources;
    const bool buffers = BindVertexSources(draw, caps, sources);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);

    const Material* passes[2] = {material, nullptr};
    int pass_count = 1;
    if (const PassPlan* plan = material->pass_plan.get(); plan != nullptr && !plan->single_pass) {
        passes[0] = plan->first_pass.get();
        passes[1] = plan->second_pass.get();
        pass_count = plan->pass_count < 2 ? plan->pass_count : 2;
    }
    const GLvoid* indices = buffers ? nullptr : mesh.indices.data();
    MatrixSet& matrices = GetMatrixSet();
    for (int pass = 0; pass < pass_count; ++pass) {
        // Each pass's material places its lights while the modelview is the camera's view
        // alone, so that light positions are world positions: for the second pass too, after
        // the first has left the last instance's modelview loaded.
        matrices.model = matrices.identity;
        ComputeModelview();
        LoadMatrix(MatrixSlot::kModelview);
        ApplyMaterialFixed(passes[pass], project, time, camera_y, camera_x, caps, sources);
        for (const ModelInstance& instance : *draw.instances) {
            BuildInstanceMatrix(instance, draw.pen, draw.billboard, camera_y, camera_z, camera_x);
            ComputeModelview();
            LoadMatrix(MatrixSlot::kModelview);
            glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(mesh.index_count), GL_UNSIGNED_SHORT,
                           indices);
        }
    }

    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void DrawScene(Project& project, uint16_t scene_handle, uint32_t time, const RenderCaps& caps,
               uint8_t renderer_flag, float camera_y, float camera_z, float camera_x) {
    Scene* scene = PoolGet(project.scenes, scene_handle);
    if (scene == nullptr)
        return;
    // One list for every object of every frame: its storage is kept.
    static InstanceList instances;
    for (uint32_t position = 1; position <= scene->objects.count; ++position) {
        const SceneObject* object = PoolGetAt(scene->objects, position);
        if (object == nullptr)
            continue;
        const uint32_t object_time = ObjectTime(time, object->time_offset);
        if (!ObjectVisible(*object, object_time, project.curves))
            continue;

        ObjectDraw draw;
        draw.object = object;
        switch (static_cast<SceneObjectKind>(object->kind)) {
        case SceneObjectKind::kModel: {
            MeshFile* file =
                object->material != 0 ? PoolGet(project.mesh_files, object->mesh) : nullptr;
            if (file == nullptr)
                continue;
            draw.mesh = &file->mesh;
            draw.file = file;
            break;
        }
        case SceneObjectKind::kDynamicMesh: {
            DynamicMesh* dynamic =
                object->material != 0 ? PoolGet(project.dynamic_meshes, object->mesh) : nullptr;
            if (dynamic == nullptr)
                continue;
            UpdateDynamicMesh(*dynamic, project.curves, object_time);
            draw.mesh = &dynamic->mesh;
            draw.dynamic_mesh = true;
            break;
        }
        case SceneObjectKind::kText:
            // Text is drawn glyph by glyph with the meshes and materials of its font, each
            // glyph as a model shifted by the pen; fonts come later, so text objects are
            // skipped here.
            continue;
        default:
            continue;
        }
        draw.material = object->material;
        draw.billboard = (object->dynamic_bits & kBillboardBit) != 0;
        BuildObjectInstances(*object, object_time, project.curves, instances);
        draw.instances = &instances;
        if (renderer_flag == kRendererFixed)
            DrawInstancesFixed(project, draw, object_time, caps, camera_y, camera_z, camera_x);
        else
            DrawInstancesShader(project, draw, object_time, caps, camera_y, camera_z, camera_x);
    }
}

} // namespace korvane
