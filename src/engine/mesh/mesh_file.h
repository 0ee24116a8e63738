// Mesh files: indexed triangle meshes stored compressed in the package, read and checked once
// at load time, and (for the production itself, when the driver has them) copied into GL
// buffer objects. Also the writer of the same layout, for the tools and the tests.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mesh/mesh_data.h"

namespace korvane {

struct Project;
struct XmlNode;

// The inflated layout, all values little-endian: vertex count V (u16), set count S (u8, 1 or
// more), a reserved byte, then 12V bytes of positions, 8V bytes per texture set, 12V bytes of
// normals and the u16 triangle indices up to the end.
constexpr uint32_t kMeshFileHeaderSize = 4;

// A mesh of the project's mesh-file pool. The six GL buffer names are 0 when no buffers were
// made; the record deletes those it made, so it is not copied.
struct MeshFile {
    MeshData mesh;
    uint32_t position_buffer = 0;
    std::array<uint32_t, kMaxTextureSets> texture_set_buffers{};
    uint32_t normal_buffer = 0;
    uint32_t index_buffer = 0;

    MeshFile() = default;
    ~MeshFile();
    MeshFile(const MeshFile&) = delete;
    MeshFile& operator=(const MeshFile&) = delete;
};

enum class MeshFileStatus {
    kOk,
    kAbsent,  // the package holds no entry of that name
    kDamaged, // the package, the compressed entry or the layout is broken
};

// Outcome of reading a mesh file. error is one line naming the file and the problem, e.g.
// "rock.mesh: index 812 is beyond the 200 vertices".
struct MeshFileResult {
    MeshFileStatus status = MeshFileStatus::kOk;
    std::string error;
    bool ok() const { return status == MeshFileStatus::kOk; }
};

// Lays the inflated bytes of a mesh file out into mesh, after checking that the counts agree
// with the byte count and that every index names a vertex. name is only used in the error.
// The mesh is left empty on failure.
MeshFileResult ParseMeshFile(const uint8_t* bytes, size_t size, const char* name, MeshData& mesh);

// Inflates a framed entry (4-byte size and zlib stream) and parses it.
MeshFileResult DecodeMeshFile(const uint8_t* entry, size_t entry_size, const char* name,
                              MeshData& mesh);

// Reads the entry filename from the package into the record. With use_buffers, the arrays are
// also copied into buffer objects (GL_STATIC_DRAW); the GL context must be current.
MeshFileResult LoadMeshFile(MeshFile& record, std::FILE* package, const char* filename,
                            bool use_buffers);

// The inflated bytes of a mesh (its set count clamped to 1 ... 3), as ParseMeshFile reads them.
std::vector<uint8_t> EncodeMeshFile(const MeshData& mesh);

// One item of the mesh-files section: adds a record to the project's mesh-file pool (so that
// the handles of later items keep their numbers, even when this one fails) and loads the entry
// its "filename" attribute names into it.
MeshFileResult LoadMeshFileElement(const XmlNode& element, Project& project, std::FILE* package,
                                   bool use_buffers);

// What a mesh-files item lacks for loading, or an empty text: it needs "filename".
std::string ValidateMeshFileElement(const XmlNode& element);

} // namespace korvane
