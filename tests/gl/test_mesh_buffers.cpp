// Mesh files in buffer objects on a real GL context: one buffer per array present, holding
// exactly the file's arrays, both targets unbound afterwards, and every buffer deleted with
// the record that made it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/compressed_document.h"
#include "data/package.h"
#include "gl/gl_harness.h"
#include "mesh/mesh_file.h"
#include "support/support.h"

using namespace korvane;
using namespace korvane::gltest;

namespace {

// One triangle with two texture sets.
MeshData TwoSetTriangle() {
    MeshData mesh;
    mesh.vertex_count = 3;
    mesh.index_count = 3;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh.set_count = 2;
    mesh.texture_sets[0] = {0, 0, 1, 0, 0, 1};
    mesh.texture_sets[1] = {0.5f, 0.5f, 0.25f, 0.25f, 0.75f, 0.75f};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.indices = {2, 1, 0};
    return mesh;
}

template <typename T> std::vector<T> BufferContents(GLenum target, uint32_t buffer, size_t count) {
    std::vector<T> values(count);
    glBindBuffer(target, buffer);
    glGetBufferSubData(target, 0, static_cast<GLsizeiptr>(count * sizeof(T)), values.data());
    glBindBuffer(target, 0);
    return values;
}

GLint Binding(GLenum binding) {
    GLint value = -1;
    glGetIntegerv(binding, &value);
    return value;
}

TEST(MeshBuffers, OneStaticBufferPerArrayDeletedWithTheRecord) {
    ASSERT_TRUE(GlReady()) << GlFailure();
    test::TempDir dir;
    const MeshData source = TwoSetTriangle();
    const std::vector<uint8_t> layout = EncodeMeshFile(source);
    std::vector<uint8_t> framed;
    std::string message;
    ASSERT_TRUE(CompressDocument(layout.data(), layout.size(), framed, message)) << message;
    PackageFileList list;
    AppendPackageFile(list, "tri.mesh", std::nullopt).contents = framed;
    ASSERT_TRUE(WritePackage(list, dir / "m.dpk", nullptr).ok());
    std::FILE* package = std::fopen((dir / "m.dpk").c_str(), "rb");
    ASSERT_NE(package, nullptr);

    std::vector<uint32_t> names;
    {
        MeshFile record;
        MeshFileResult result = LoadMeshFile(record, package, "tri.mesh", true);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(Binding(GL_ARRAY_BUFFER_BINDING), 0);
        EXPECT_EQ(Binding(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0);
        names = {record.position_buffer, record.texture_set_buffers[0],
                 record.texture_set_buffers[1], record.normal_buffer, record.index_buffer};
        for (uint32_t name : names) {
            EXPECT_NE(name, 0u);
            EXPECT_TRUE(glIsBuffer(name));
        }
        EXPECT_EQ(record.texture_set_buffers[2], 0u); // the mesh has two sets

        EXPECT_EQ(BufferContents<float>(GL_ARRAY_BUFFER, record.position_buffer, 9),
                  source.positions);
        EXPECT_EQ(BufferContents<float>(GL_ARRAY_BUFFER, record.texture_set_buffers[1], 6),
                  source.texture_sets[1]);
        EXPECT_EQ(BufferContents<float>(GL_ARRAY_BUFFER, record.normal_buffer, 9), source.normals);
        EXPECT_EQ(BufferContents<uint16_t>(GL_ELEMENT_ARRAY_BUFFER, record.index_buffer, 3),
                  source.indices);
        GLint usage = 0;
        glBindBuffer(GL_ARRAY_BUFFER, record.position_buffer);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_USAGE, &usage);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        EXPECT_EQ(usage, GL_STATIC_DRAW);
    }
    for (uint32_t name : names) {
        EXPECT_FALSE(glIsBuffer(name)) << name;
    }

    // Without buffers, none is made, and a failed load makes none either.
    MeshFile plain;
    ASSERT_TRUE(LoadMeshFile(plain, package, "tri.mesh", false).ok());
    EXPECT_EQ(plain.position_buffer, 0u);
    MeshFile absent;
    EXPECT_FALSE(LoadMeshFile(absent, package, "rock.mesh", true).ok());
    EXPECT_EQ(absent.position_buffer, 0u);
    EXPECT_EQ(absent.index_buffer, 0u);
    std::fclose(package);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
