// Fuzz target for the OBJ import of the mesh converter: any text either gives a mesh that
// the mesh-file reader accepts back unchanged, or a problem with the line it was found on.
#include "fuzz_check.h"
#include "mesh/mesh_file.h"
#include "mesh/obj_import.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    MeshData mesh;
    ObjImportResult result = ImportObj(reinterpret_cast<const char*>(data), size, mesh);
    if (!result.ok()) {
        FuzzCheck(mesh.vertex_count == 0 && mesh.indices.empty());
        return 0;
    }
    FuzzCheck(result.line == 0 && mesh.vertex_count > 0 && mesh.set_count == 1);
    std::vector<uint8_t> bytes = EncodeMeshFile(mesh);
    MeshData read;
    FuzzCheck(ParseMeshFile(bytes.data(), bytes.size(), "fuzz.obj", read).ok());
    // Compared as bytes: normals of huge coordinates may be NaN, which equals nothing.
    FuzzCheck(EncodeMeshFile(read) == bytes);
    return 0;
}
