// korpack mesh: a Wavefront OBJ model converted into a mesh file, the compressed layout the
// player reads from packages.
#include "command.h"

#include "data/compressed_document.h"
#include "mesh/mesh_file.h"
#include "mesh/obj_import.h"

namespace korvane::korpack {
namespace {

int RunMesh(const Arguments& arguments) {
    const std::string& input_path = arguments[0];
    std::vector<uint8_t> text;
    if (!ReadInputFile(input_path, text))
        return kFailure;
    MeshData mesh;
    ObjImportResult imported =
        ImportObj(reinterpret_cast<const char*>(text.data()), text.size(), mesh);
    if (!imported.ok()) {
        std::string where = input_path;
        if (imported.line != 0)
            where += ":" + std::to_string(imported.line);
        return Fail(where, imported.problem);
    }
    std::vector<uint8_t> layout = EncodeMeshFile(mesh);
    std::vector<uint8_t> framed;
    std::string message;
    if (!CompressDocument(layout.data(), layout.size(), framed, message))
        return Fail(input_path, message);
    PackageResult written = WriteFileReplacing(arguments[1], framed.data(), framed.size());
    if (!written.ok())
        return FailMessage(written.message);
    return kSuccess;
}

} // namespace

extern const CommandSpec kMeshCommand = {
    "mesh",
    "IN.obj OUT",
    "convert the Wavefront OBJ model IN.obj into the mesh file OUT",
    "Reads the positions (v), texture coordinates (vt), normals (vn) and faces (f) of IN.obj;\n"
    "polygons are cut into fans of triangles and negative indices count back from the last\n"
    "item defined. Every distinct combination of position, coordinates and normal that a face\n"
    "names becomes one vertex, at most 65535 of them. Without vt the mesh gets one set of\n"
    "zero coordinates; unless every face vertex names a normal, smooth normals are computed.\n"
    "Other statements (o, g, s, usemtl, mtllib, l, ...) are ignored. OUT is compressed as in\n"
    "'compress'; a malformed line is reported as IN.obj:LINE.\n",
    2,
    2,
    RunMesh,
};

} // namespace korvane::korpack
