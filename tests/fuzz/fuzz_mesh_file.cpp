// Fuzz target for mesh files: any bytes, read as the inflated layout or as a framed entry,
// either give a mesh whose arrays agree with its counts and whose indices all name vertices,
// or a named error and an empty mesh.
#include "fuzz_check.h"
#include "mesh/mesh_file.h"
#include "mesh/normals.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void CheckMesh(const korvane::MeshFileResult& result, const korvane::MeshData& mesh) {
    if (!result.ok()) {
        FuzzCheck(!result.error.empty() && result.error.find('\n') == std::string::npos);
        FuzzCheck(mesh.vertex_count == 0 && mesh.positions.empty() && mesh.indices.empty());
        return;
    }
    const size_t vertices = mesh.vertex_count;
    FuzzCheck(mesh.set_count >= 1 && mesh.set_count <= 3);
    FuzzCheck(mesh.positions.size() == 3 * vertices && mesh.normals.size() == 3 * vertices);
    for (int set = 0; set < 3; ++set)
        FuzzCheck(mesh.texture_sets[set].size() == (set < mesh.set_count ? 2 * vertices : 0));
    FuzzCheck(mesh.indices.size() == mesh.index_count && mesh.index_count % 3 == 0);
    for (uint16_t index : mesh.indices)
        FuzzCheck(index < vertices);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    MeshData mesh;
    MeshFileResult result = ParseMeshFile(data, size, "fuzz.mesh", mesh);
    CheckMesh(result, mesh);
    if (result.ok()) {
        // What was accepted writes back to the same bytes, and is safe to compute with.
        if (data[2] <= 3) {
            std::vector<uint8_t> written = EncodeMeshFile(mesh);
            FuzzCheck(written.size() == size && std::memcmp(written.data(), data, 3) == 0 &&
                      std::memcmp(written.data() + 4, data + 4, size - 4) == 0);
        }
        ComputeSmoothNormals(mesh);
    }

    MeshData framed;
    CheckMesh(DecodeMeshFile(data, size, "fuzz.mesh", framed), framed);
    return 0;
}
