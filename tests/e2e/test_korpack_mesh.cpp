// korpack mesh as a user runs it: an OBJ model becomes a mesh file that the engine loads from
// a package; malformed models are named by file and line with status 1 and leave no output.
#include "mesh/mesh_file.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace korvane {
namespace {

using test::RunResult;

class KorpackMesh : public testing::Test {
  protected:
    test::TempDir dir;

    RunResult Run(std::vector<std::string> arguments) {
        return test::RunKorpack(dir.path(), std::move(arguments));
    }
    std::string Path(const std::string& name) { return dir / name; }
};

TEST_F(KorpackMesh, ConvertedModelLoadsFromAPackage) {
    test::WriteFile(Path("quad.obj"), "# quad\n"
                                      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                      "f 1/1 2/2 3/3 4/4\n");
    RunResult converted = Run({"mesh", "quad.obj", "quad.mesh"});
    ASSERT_EQ(converted.exit_code, 0) << converted.Describe();
    EXPECT_EQ(converted.err, "");

    RunResult created = Run({"create", "meshes.dpk", "quad.mesh"});
    ASSERT_EQ(created.exit_code, 0) << created.Describe();
    std::FILE* package = std::fopen(Path("meshes.dpk").c_str(), "rb");
    ASSERT_NE(package, nullptr);
    MeshFile record;
    MeshFileResult loaded = LoadMeshFile(record, package, "quad.mesh", false);
    std::fclose(package);
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    const MeshData& mesh = record.mesh;
    EXPECT_EQ(mesh.vertex_count, 4);
    EXPECT_EQ(mesh.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(mesh.set_count, 1);
    EXPECT_EQ(mesh.texture_sets[0], (std::vector<float>{0, 0, 1, 0, 1, 1, 0, 1}));
    // The model has no normals: computed, facing +z.
    EXPECT_EQ(mesh.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}));
}

TEST_F(KorpackMesh, FailuresNameTheFileAndLine) {
    test::WriteFile(Path("bad.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n");
    test::WriteFile(Path("empty.obj"), "# nothing\n");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"mesh", "bad.obj", "out.mesh"},
         1,
         "korpack: bad.obj:4: index 4 names no position (3 defined so far)\n"},
        {{"mesh", "empty.obj", "out.mesh"}, 1, "korpack: empty.obj: there are no faces\n"},
        {{"mesh", "absent.obj", "out.mesh"}, 1, "korpack: absent.obj: cannot open: "},
        {{"mesh", "bad.obj"}, 2, "korpack: usage: korpack mesh IN.obj OUT\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        RunResult result = Run(c.arguments);
        EXPECT_EQ(result.exit_code, c.status) << result.Describe();
        EXPECT_EQ(result.err.rfind(c.err, 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(Path("out.mesh")));
    }
}

TEST_F(KorpackMesh, HelpListsTheCommand) {
    RunResult overview = Run({"--help"});
    EXPECT_NE(overview.out.find("mesh IN.obj OUT"), std::string::npos) << overview.out;
    RunResult help = Run({"mesh", "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("65535"), std::string::npos) << help.out;
}

} // namespace
} // namespace korvane
