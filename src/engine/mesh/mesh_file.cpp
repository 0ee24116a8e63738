#include "mesh/mesh_file.h"

#include <cstring>
#include <utility>

#include "data/compressed_document.h"
#include "data/package.h"
#include "data/xml.h"
#include "gl/gl.h"
#include "model/project.h"

namespace korvane {

// The arrays are copied out of the file bytes as they are stored.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "mesh files are little-endian");

namespace {

inline constexpr char kFilenameAttribute[] = "filename";

MeshFileResult Damaged(const char* name, const std::string& problem) {
    return MeshFileResult{MeshFileStatus::kDamaged, std::string(name) + ": " + problem};
}

template <typename T> void CopyArray(std::vector<T>& array, const uint8_t* from, size_t count) {
    array.resize(count);
    if (count > 0) {
        std::memcpy(array.data(), from, count * sizeof(T));
    }
}

template <typename T> void AppendBytes(std::vector<uint8_t>& out, const T* values, size_t count) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(values);
    out.insert(out.end(), bytes, bytes + count * sizeof(T));
}

uint32_t MakeBuffer(GLenum target, const void* data, size_t bytes) {
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
    return buffer;
}

void MakeBuffers(MeshFile& record) {
    const MeshData& mesh = record.mesh;
    const size_t vertices = mesh.vertex_count;
    record.position_buffer = MakeBuffer(GL_ARRAY_BUFFER, mesh.positions.data(), 12 * vertices);
    for (int set = 0; set < mesh.set_count; ++set) {
        record.texture_set_buffers[set] =
            MakeBuffer(GL_ARRAY_BUFFER, mesh.texture_sets[set].data(), 8 * vertices);
    }
    record.normal_buffer = MakeBuffer(GL_ARRAY_BUFFER, mesh.normals.data(), 12 * vertices);
    record.index_buffer =
        MakeBuffer(GL_ELEMENT_ARRAY_BUFFER, mesh.indices.data(), 2 * size_t{mesh.index_count});
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

} // namespace

MeshFile::~MeshFile() {
    uint32_t* names[] = {&position_buffer,        &texture_set_buffers[0], &texture_set_buffers[1],
                         &texture_set_buffers[2], &normal_buffer,          &index_buffer};
    for (uint32_t* name : names) {
        if (*name != 0) {
            GLuint buffer = *name;
            glDeleteBuffers(1, &buffer);
            *name = 0;
        }
    }
}

MeshFileResult ParseMeshFile(const uint8_t* bytes, size_t size, const char* name, MeshData& mesh) {
    mesh = MeshData();
    if (size < kMeshFileHeaderSize) {
        return Damaged(name, std::to_string(size) + " bytes are too few for the 4-byte header");
    }
    const uint32_t vertices = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8;
    const uint32_t sets = bytes[2];
    if (sets == 0) {
        return Damaged(name, "the texture set count is 0; a mesh file has at least one set");
    }
    // 12 bytes of position, 12 of normal and 8 per texture set for every vertex.
    const uint64_t vertex_bytes = uint64_t{24 + 8 * sets} * vertices;
    if (size - kMeshFileHeaderSize < vertex_bytes) {
        return Damaged(name, "the file has " + std::to_string(size) + " bytes, too few for " +
                                 std::to_string(vertices) + " vertices with " +
                                 std::to_string(sets) + " texture sets (" +
                                 std::to_string(kMeshFileHeaderSize + vertex_bytes) +
                                 " bytes before the indices)");
    }
    const uint64_t index_bytes = size - kMeshFileHeaderSize - vertex_bytes;
    if (index_bytes % 2 != 0) {
        return Damaged(name, "the index data has an odd byte count (" +
                                 std::to_string(index_bytes) + ")");
    }
    const uint64_t indices = index_bytes / 2;
    if (indices % 3 != 0) {
        return Damaged(name, std::to_string(indices) + " indices do not make whole triangles");
    }
    if (indices > UINT32_MAX) {
        return Damaged(name, std::to_string(indices) + " indices are more than a mesh can hold");
    }

    const uint8_t* at = bytes + kMeshFileHeaderSize;
    const uint8_t* index_data = at + vertex_bytes;
    for (uint64_t i = 0; i < indices; ++i) {
        const uint32_t index = uint32_t{index_data[2 * i]} | uint32_t{index_data[2 * i + 1]} << 8;
        if (index >= vertices) {
            return Damaged(name, "index " + std::to_string(index) + " is beyond the " +
                                     std::to_string(vertices) + " vertices (triangle " +
                                     std::to_string(i / 3 + 1) + ")");
        }
    }

    mesh.vertex_count = static_cast<uint16_t>(vertices);
    mesh.index_count = static_cast<uint32_t>(indices);
    mesh.set_count = static_cast<uint8_t>(sets < kMaxTextureSets ? sets : kMaxTextureSets);
    CopyArray(mesh.positions, at, 3 * size_t{vertices});
    at += 12 * size_t{vertices};
    for (uint32_t set = 0; set < sets; ++set) {
        // Sets beyond the third take their place in the file but are not kept.
        if (set < kMaxTextureSets) {
            CopyArray(mesh.texture_sets[set], at, 2 * size_t{vertices});
        }
        at += 8 * size_t{vertices};
    }
    CopyArray(mesh.normals, at, 3 * size_t{vertices});
    CopyArray(mesh.indices, index_data, mesh.index_count);
    return {};
}

MeshFileResult DecodeMeshFile(const uint8_t* entry, size_t entry_size, const char* name,
                              MeshData& mesh) {
    mesh = MeshData();
    InflatedEntry inflated = InflateEntry(entry, entry_size);
    if (!inflated.ok()) {
        return Damaged(name, inflated.message);
    }
    return ParseMeshFile(inflated.bytes.data(), inflated.bytes.size(), name, mesh);
}

MeshFileResult LoadMeshFile(MeshFile& record, std::FILE* package, const char* filename,
                            bool use_buffers) {
    PackageEntryResult entry = ReadPackageEntry(package, filename);
    if (!entry.found()) {
        if (entry.status == PackageStatus::kAbsent) {
            return MeshFileResult{MeshFileStatus::kAbsent,
                                  std::string(filename) + ": not in the package"};
        }
        return Damaged(filename, entry.message);
    }
    MeshFileResult result =
        DecodeMeshFile(entry.bytes.data(), entry.bytes.size(), filename, record.mesh);
    if (result.ok() && use_buffers) {
        MakeBuffers(record);
    }
    return result;
}

std::vector<uint8_t> EncodeMeshFile(const MeshData& mesh) {
    const int sets = mesh.set_count < 1 ? 1 : mesh.set_count > 3 ? 3 : mesh.set_count;
    const size_t vertices = mesh.vertex_count;
    std::vector<uint8_t> out;
    out.reserve(kMeshFileHeaderSize + (24 + 8 * sets) * vertices + 2 * size_t{mesh.index_count});
    out.push_back(static_cast<uint8_t>(mesh.vertex_count & 0xff));
    out.push_back(static_cast<uint8_t>(mesh.vertex_count >> 8));
    out.push_back(static_cast<uint8_t>(sets));
    out.push_back(0);
    AppendBytes(out, mesh.positions.data(), 3 * vertices);
    for (int set = 0; set < sets; ++set) {
        if (set < mesh.set_count) {
            AppendBytes(out, mesh.texture_sets[set].data(), 2 * vertices);
        } else {
            out.insert(out.end(), 8 * vertices, 0); // a mesh without sets gets zeros
        }
    }
    AppendBytes(out, mesh.normals.data(), 3 * vertices);
    AppendBytes(out, mesh.indices.data(), mesh.index_count);
    return out;
}

MeshFileResult LoadMeshFileElement(const XmlNode& element, Project& project, std::FILE* package,
                                   bool use_buffers) {
    const uint16_t handle = PoolAdd(project.mesh_files);
    if (handle == 0) {
        return MeshFileResult{MeshFileStatus::kDamaged,
                              "more mesh files than the pool holds (" +
                                  std::to_string(ResourcePool<MeshFile>::kCapacity) + ")"};
    }
    const char* filename = GetXmlAttribute(element, kFilenameAttribute);
    if (filename == nullptr) {
        return MeshFileResult{MeshFileStatus::kDamaged, ValidateMeshFileElement(element)};
    }
    return LoadMeshFile(*PoolGet(project.mesh_files, handle), package, filename, use_buffers);
}

std::string ValidateMeshFileElement(const XmlNode& element) {
    if (GetXmlAttribute(element, kFilenameAttribute) == nullptr) {
        return std::string("the attribute \"") + kFilenameAttribute + "\" is missing";
    }
    return std::string();
}

} // namespace korvane
