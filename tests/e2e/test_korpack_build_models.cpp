// korpack build with models: every NAME.obj of a production folder becomes the mesh file
// NAME.mesh of the package, as 'korpack mesh' would write it; a malformed model stops the
// build, named by file and line, and leaves no package.
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

using test::Lines;
using test::RunResult;

class KorpackBuildModels : public testing::Test {
  protected:
    test::TempDir dir;

    RunResult Run(std::vector<std::string> arguments) {
        return test::RunKorpack(dir.path(), std::move(arguments));
    }
    std::string Path(const std::string& name) { return dir / name; }
};

const char kQuad[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                     "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                     "f 1/1 2/2 3/3 4/4\n";

TEST_F(KorpackBuildModels, ModelsBecomeMeshFilesTheEngineLoads) {
    std::filesystem::create_directories(Path("prod"));
    test::WriteFile(Path("prod/demo.xml"), "<demo/>");
    test::WriteFile(Path("prod/quad.obj"), kQuad);
    test::WriteFile(Path("prod/notes.object"), "kept as it is");
    RunResult built = Run({"build", "prod", "prod.dpk"});
    ASSERT_EQ(built.exit_code, 0) << built.Describe();

    std::vector<std::string> names;
    for (const auto& line : Lines(Run({"list", "prod.dpk"}).out))
        names.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(names, (std::vector<std::string>{"demo.xmlz", "notes.object", "quad.mesh"}));

    // The same bytes as the converter's.
    ASSERT_EQ(Run({"mesh", "prod/quad.obj", "quad.mesh"}).exit_code, 0);
    ASSERT_EQ(Run({"extract", "prod.dpk", "x", "quad.mesh"}).exit_code, 0);
    EXPECT_EQ(test::ReadFileBytes(Path("x/quad.mesh")), test::ReadFileBytes(Path("quad.mesh")));

    std::FILE* package = std::fopen(Path("prod.dpk").c_str(), "rb");
    ASSERT_NE(package, nullptr);
    MeshFile record;
    MeshFileResult loaded = LoadMeshFile(record, package, "quad.mesh", false);
    std::fclose(package);
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    EXPECT_EQ(record.mesh.vertex_count, 4);
    EXPECT_EQ(record.mesh.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
}

TEST_F(KorpackBuildModels, AModelThatCannotBeConvertedStopsTheBuild) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string err;
    } cases[] = {
        {"malformed model",
         {{"good.obj", kQuad}, {"bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 3\n"}},
         "korpack: prod/bad.obj:3: index 3 names no position (2 defined so far)\n"},
        {"model and mesh file of one name",
         {{"quad.mesh", "bytes"}, {"quad.obj", kQuad}},
         "korpack: prod/quad.obj: the entry name \"quad.mesh\" is also made from quad.mesh\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Path("prod"));
        std::filesystem::create_directories(Path("prod"));
        for (const auto& [name, text] : c.files)
            test::WriteFile(Path("prod/" + name), text);
        RunResult built = Run({"build", "prod", "prod.dpk"});
        EXPECT_EQ(built.exit_code, 1) << built.Describe();
        EXPECT_EQ(built.err, c.err);
        EXPECT_FALSE(std::filesystem::exists(Path("prod.dpk")));
    }
}

TEST_F(KorpackBuildModels, HelpNamesTheConversion) {
    RunResult help = Run({"build", "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("NAME.obj is converted into the mesh file NAME.mesh"),
              std::string::npos)
        << help.out;
}

} // namespace
} // namespace korvane
