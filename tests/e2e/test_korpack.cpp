// korpack as a user runs it: round trips through create, list, extract, build, compress and
// decompress; one clear line and status 1 for every kind of broken input; status 2 for wrong
// usage; and outputs that are never left half-written.
#include "data/compressed_document.h"
#include "data/package.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace korvane {
namespace {

using test::Lines;
using test::ReadFileText;
using test::RunResult;
using test::WriteFile;

class Korpack : public testing::Test {
  protected:
    test::TempDir dir;

    RunResult Run(std::vector<std::string> arguments) {
        return test::RunKorpack(dir.path(), std::move(arguments));
    }
    std::string Path(const std::string& name) { return dir / name; }
    void Write(const std::string& name, const std::string& bytes) { WriteFile(Path(name), bytes); }
    std::vector<std::string> Listing(const std::string& sub = "") {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(Path(sub)))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Korpack, CreateListAndExtractRoundTrip) {
    Write("a.txt", "hello");
    std::filesystem::create_directory(Path("sub"));
    Write("sub/b.bin", std::string("\0\1\2\3\4\5\6", 7));
    RunResult created = Run({"create", "out.dpk", "a.txt", "sub/b.bin"});
    ASSERT_EQ(created.exit_code, 0) << created.Describe();
    EXPECT_EQ(created.err, "");

    RunResult listed = Run({"list", "out.dpk"});
    ASSERT_EQ(listed.exit_code, 0) << listed.Describe();
    EXPECT_EQ(listed.out, "a.txt\t5\t115\t119\nb.bin\t7\t120\t126\n");

    RunResult all = Run({"extract", "out.dpk", "all"});
    ASSERT_EQ(all.exit_code, 0) << all.Describe();
    EXPECT_EQ(Listing("all"), (std::vector<std::string>{"a.txt", "b.bin"}));
    EXPECT_EQ(ReadFileText(Path("all/a.txt")), "hello");
    EXPECT_EQ(ReadFileText(Path("all/b.bin")), ReadFileText(Path("sub/b.bin")));

    RunResult some = Run({"extract", "out.dpk", "some", "b.bin"});
    ASSERT_EQ(some.exit_code, 0) << some.Describe();
    EXPECT_EQ(Listing("some"), (std::vector<std::string>{"b.bin"}));
}

TEST_F(Korpack, BuildPacksAProductionFolderTheEngineCanRead) {
    std::filesystem::create_directories(Path("prod/assets"));
    const std::string demo = "<demo><textures><texture width=\"256\"/></textures></demo>\n";
    Write("prod/demo.xml", demo);
    Write("prod/loading.xml", "<demo/>");
    Write("prod/image.png", std::string("\x89PNG\r\n", 6));
    Write("prod/assets/skipped.txt", "not packed");
    RunResult built = Run({"build", "prod", "prod.dpk"});
    ASSERT_EQ(built.exit_code, 0) << built.Describe();

    RunResult listed = Run({"list", "prod.dpk"});
    std::vector<std::string> names;
    for (const auto& line : Lines(listed.out))
        names.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(names, (std::vector<std::string>{"demo.xmlz", "image.png", "loading.xmlz"}));

    std::FILE* package = std::fopen(Path("prod.dpk").c_str(), "rb");
    ASSERT_NE(package, nullptr);
    CompressedDocument document = LoadCompressedDocument(package, "demo.xmlz");
    EXPECT_TRUE(document.ok()) << document.message;
    EXPECT_EQ(document.text, demo);
    PackageEntryResult image = ReadPackageEntry(package, "image.png");
    EXPECT_EQ(std::string(image.bytes.begin(), image.bytes.end()), "\x89PNG\r\n");
    std::fclose(package);

    ASSERT_EQ(Run({"extract", "prod.dpk", "x", "demo.xmlz"}).exit_code, 0);
    RunResult inflated = Run({"decompress", "x/demo.xmlz", "demo.out"});
    ASSERT_EQ(inflated.exit_code, 0) << inflated.Describe();
    EXPECT_EQ(ReadFileText(Path("demo.out")), demo);

    // Building again next to the old package leaves that package out of the new one.
    RunResult again = Run({"build", ".", "self.dpk"});
    ASSERT_EQ(again.exit_code, 0) << again.Describe();
    ASSERT_EQ(Run({"build", ".", "self.dpk"}).exit_code, 0);
    EXPECT_EQ(Run({"list", "self.dpk"}).out.find("self.dpk"), std::string::npos);
}

TEST_F(Korpack, CompressAndDecompressRoundTrip) {
    for (const std::string& text : {std::string(), std::string("x"), std::string(100000, 'a')}) {
        Write("in", text);
        ASSERT_EQ(Run({"compress", "in", "in.z"}).exit_code, 0);
        RunResult back = Run({"decompress", "in.z", "out"});
        ASSERT_EQ(back.exit_code, 0) << back.Describe();
        EXPECT_EQ(ReadFileText(Path("out")), text);
    }
}

TEST_F(Korpack, ReportsBrokenInputInOneLineNamingTheFile) {
    Write("a.txt", "hello");
    Write("good.dpk", std::string("DP\x01", 3) + test::PackageRecord("a", 75, 75) +
                          std::string(32, '\0') + "A");
    Write("truncated.dpk", ReadFileText(Path("good.dpk")).substr(0, 50));
    Write("outside.dpk",
          std::string("DP\x01", 3) + test::PackageRecord("a", 75, 900) + std::string(32, '\0'));
    Write("backwards.dpk",
          std::string("DP\x01", 3) + test::PackageRecord("a", 75, 10) + std::string(32, '\0'));
    Write("empty", "");
    Write("damaged.xmlz", std::string("\x20\0\0\0\x78\x5e\xff\xff", 8));
    Write(std::string(32, 'n'), "long");
    struct Case {
        std::vector<std::string> arguments;
        std::string line_start;
        std::string words;
    };
    const Case cases[] = {
        {{"list", "truncated.dpk"}, "korpack: truncated.dpk: ", "index is truncated"},
        {{"list", "outside.dpk"}, "korpack: outside.dpk: ", "outside the file"},
        {{"list", "backwards.dpk"}, "korpack: backwards.dpk: ", "before it starts"},
        {{"list", "a.txt"}, "korpack: a.txt: ", "not a package"},
        {{"list", "empty"}, "korpack: empty: ", "not a package"},
        {{"list", "missing.dpk"}, "korpack: missing.dpk: ", "No such file"},
        {{"list", "."}, "korpack: .: ", "Is a directory"},
        {{"extract", "truncated.dpk", "x"}, "korpack: truncated.dpk: ", "index is truncated"},
        {{"extract", "good.dpk", "x", "a", "nothere"}, "korpack: good.dpk: ", "\"nothere\""},
        {{"create", "out.dpk", "a.txt", "missing.txt"}, "korpack: missing.txt: ", "No such file"},
        {{"create", "out.dpk", std::string(32, 'n')}, "korpack: nnnn", "longer than 31 bytes"},
        {{"create", "out.dpk", "a.txt", "./a.txt"}, "korpack: ./a.txt: ", "also named"},
        {{"create", "nodir/out.dpk", "a.txt"}, "korpack: nodir/out.dpk: ", "No such file"},
        {{"build", "nodir", "out.dpk"}, "korpack: nodir: ", "cannot read the folder"},
        {{"decompress", "damaged.xmlz", "out"}, "korpack: damaged.xmlz: ", "damaged"},
        {{"decompress", "a.txt", "out"}, "korpack: a.txt: ", "size prefix"},
        {{"decompress", "empty", "out"}, "korpack: empty: ", "too few"},
        {{"compress", "missing", "out"}, "korpack: missing: ", "No such file"},
    };
    for (const auto& c : cases) {
        RunResult result = Run(c.arguments);
        std::string command = c.arguments[0] + " " + c.arguments[1];
        EXPECT_EQ(result.exit_code, 1) << command << "\n" << result.Describe();
        ASSERT_EQ(Lines(result.err).size(), 1u) << command << "\n" << result.Describe();
        EXPECT_EQ(result.err.rfind(c.line_start, 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.words), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "") << command;
    }
    // No failure left an output or a temporary file behind.
    EXPECT_EQ(Listing(), (std::vector<std::string>{"a.txt", "backwards.dpk", "damaged.xmlz",
                                                   "empty", "good.dpk", std::string(32, 'n'),
                                                   "outside.dpk", "truncated.dpk"}));
}

TEST_F(Korpack, AFailedWriteKeepsTheOldOutput) {
    Write("a.txt", "hello");
    Write("out.dpk", "OLD");
    EXPECT_EQ(Run({"create", "out.dpk", "a.txt", "missing.txt"}).exit_code, 1);
    EXPECT_EQ(ReadFileText(Path("out.dpk")), "OLD");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"a.txt", "out.dpk"}));
}

TEST_F(Korpack, WrongUsageEndsWithStatus2) {
    const std::vector<std::string> usages[] = {
        {},
        {"pack"},
        {"create", "out.dpk"},
        {"list"},
        {"list", "a", "b"},
        {"extract", "p.dpk"},
        {"build", "dir"},
        {"compress", "in"},
        {"decompress", "a", "b", "c"},
    };
    for (const auto& arguments : usages) {
        RunResult result = Run(arguments);
        EXPECT_EQ(result.exit_code, 2) << result.Describe();
        EXPECT_EQ(Lines(result.err).size(), 1u) << result.Describe();
        EXPECT_EQ(result.err.rfind("korpack: ", 0), 0u) << result.err;
    }
}

TEST_F(Korpack, HelpDescribesTheCommands) {
    RunResult help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* command : {"create", "list", "extract", "build", "compress", "decompress"})
        EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    RunResult build = Run({"build", "--help"});
    EXPECT_EQ(build.exit_code, 0);
    EXPECT_NE(build.out.find("Usage: korpack build DIR OUT"), std::string::npos);
    EXPECT_NE(build.out.find("Subfolders of DIR are not packed"), std::string::npos);
}

} // namespace
} // namespace korvane
