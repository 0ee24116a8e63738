// The package archive: lookups by exact name over hand-made packages (so that reader and writer
// are checked independently), damaged indexes and entries, the writer's layout, and the list,
// rewrite and extract operations of the tools.
#include "data/package.h"

#include "support/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

using test::TempDir;

// A well-formed package of the entries, laid out by hand.
std::string MakePackage(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string index, data;
    uint32_t offset = 35 + 40 * static_cast<uint32_t>(entries.size());
    for (const auto& [name, bytes] : entries) {
        index +=
            test::PackageRecord(name, offset, offset + static_cast<uint32_t>(bytes.size()) - 1);
        offset += static_cast<uint32_t>(bytes.size());
        data += bytes;
    }
    return std::string("DP\x01", 3) + index + std::string(32, '\0') + data;
}

// A read stream over bytes in memory, like the player's open package.
class MemoryStream {
  public:
    explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {
        stream_ = fmemopen(bytes_.data(), bytes_.size(), "rb");
    }
    ~MemoryStream() {
        if (stream_)
            std::fclose(stream_);
    }
    std::FILE* get() const { return stream_; }

  private:
    std::string bytes_;
    std::FILE* stream_ = nullptr;
};

std::string AsText(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string Capture(const std::function<void()>& run) {
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

TEST(ReadPackageEntry, MatchesWholeNamesExactlyAndTakesTheFirstOfRepeats) {
    const std::string long_name(31, 'n');
    MemoryStream package(MakePackage({{"demo.xmlz", "D"},
                                      {"Demo.xmlz", "d2"},
                                      {"dup", "first"},
                                      {"dup", "second"},
                                      {"empty", ""},
                                      {long_name, "L"}}));
    struct Lookup {
        std::string name;
        PackageStatus status;
        std::string bytes;
    };
    const Lookup lookups[] = {
        {"demo.xmlz", PackageStatus::kOk, "D"},
        {"Demo.xmlz", PackageStatus::kOk, "d2"},
        {"demo", PackageStatus::kAbsent, ""},
        {"demo.xmlzx", PackageStatus::kAbsent, ""},
        {"DEMO.XMLZ", PackageStatus::kAbsent, ""},
        {"dup", PackageStatus::kOk, "first"},
        {"empty", PackageStatus::kOk, ""},
        {long_name, PackageStatus::kOk, "L"},
        {long_name + "n", PackageStatus::kAbsent, ""},
        {"", PackageStatus::kAbsent, ""},
    };
    for (const auto& lookup : lookups) {
        PackageEntryResult result = ReadPackageEntry(package.get(), lookup.name.c_str());
        EXPECT_EQ(result.status, lookup.status) << lookup.name << ": " << result.message;
        EXPECT_EQ(AsText(result.bytes), lookup.bytes) << lookup.name;
    }
    EXPECT_EQ(ReadPackageEntry(package.get(), "empty").size(), 0u);
}

TEST(ReadPackageEntry, AnIndexOfOnlyTheTerminatorHoldsNothing) {
    MemoryStream package(MakePackage({}));
    EXPECT_EQ(ReadPackageEntry(package.get(), "demo.xmlz").status, PackageStatus::kAbsent);
    EXPECT_EQ(ReadPackageEntry(package.get(), "").status, PackageStatus::kAbsent);
}

TEST(ReadPackageEntry, ATruncatedIndexEndsTheScanAsDamage) {
    const std::string whole = MakePackage({{"a", "1"}, {"b", "2"}});
    const std::string without_terminator = whole.substr(0, 3 + 80);
    struct Cut {
        std::string bytes;
        const char* name;
    };
    const Cut cuts[] = {
        {whole.substr(0, 3), "a"},           // no index at all
        {whole.substr(0, 3 + 20), "a"},      // inside the first name field
        {whole.substr(0, 3 + 40 + 35), "b"}, // inside the offsets of the match
        {without_terminator, "c"},           // records, but no terminator
    };
    for (const auto& cut : cuts) {
        MemoryStream package(cut.bytes);
        PackageEntryResult result;
        std::string out = Capture([&] { result = ReadPackageEntry(package.get(), cut.name); });
        EXPECT_EQ(result.status, PackageStatus::kDamaged) << cut.bytes.size();
        EXPECT_EQ(out, "unexpected error\n");
        EXPECT_NE(result.message.find("the index is truncated"), std::string::npos);
    }
}

TEST(ReadPackageEntry, ReportsEntriesOutsideTheFileWithoutReadingThem) {
    struct Case {
        uint32_t start;
        uint32_t end;
        PackageStatus status;
        const char* words;
    };
    // The package is 75 + 4 bytes: one record, the terminator, "data".
    const Case cases[] = {
        {75, 78, PackageStatus::kOk, ""},
        {79, 78, PackageStatus::kOk, ""}, // size 0 at the very end
        {80, 79, PackageStatus::kDamaged, "outside the file"},
        {75, 100000, PackageStatus::kDamaged, "outside the file"},
        {200, 100, PackageStatus::kDamaged, "before it starts"},
        {0, 0xFFFFFFFF, PackageStatus::kDamaged, "outside the file"},
        {0xFFFFFFFF, 0xFFFFFFFF, PackageStatus::kDamaged, "outside the file"},
        {0xFFFFFFFF, 0, PackageStatus::kDamaged, "before it starts"},
    };
    for (const auto& c : cases) {
        MemoryStream package(std::string("DP\x01", 3) + test::PackageRecord("x", c.start, c.end) +
                             std::string(32, '\0') + "data");
        PackageEntryResult result = ReadPackageEntry(package.get(), "x");
        EXPECT_EQ(result.status, c.status) << c.start << ".." << c.end;
        EXPECT_NE(result.message.find(c.words), std::string::npos) << result.message;
        if (result.found()) {
            EXPECT_EQ(AsText(result.bytes), std::string("data").substr(0, c.end + 1 - c.start));
        }
    }
}

TEST(ReadPackageEntry, FindsTheKtxTwinOfAnImage) {
    MemoryStream package(MakePackage({{"stone.png", "png"}, {"stone.ktx", "ktx"}, {"ktx", "k"}}));
    EXPECT_EQ(AsText(ReadPackageEntryAsKtx(package.get(), "stone.png").bytes), "ktx");
    EXPECT_EQ(AsText(ReadPackageEntryAsKtx(package.get(), "png").bytes), "k");
    EXPECT_EQ(ReadPackageEntryAsKtx(package.get(), "wood.png").status, PackageStatus::kAbsent);
    EXPECT_EQ(ReadPackageEntryAsKtx(package.get(), "ab").status, PackageStatus::kAbsent);
}

TEST(IsPackageName, ComparesExactlyTheLastThreeBytes) {
    const std::pair<const char*, bool> names[] = {
        {"showcase.dpk", true}, {"xdpk", true},    {"dpk", true}, {"dp", false}, {"", false},
        {"a.DPK", false},       {"a.dpk~", false},
    };
    for (const auto& [name, taken] : names)
        EXPECT_EQ(IsPackageName(name), taken) << name;
}

class PackageFiles : public testing::Test {
  protected:
    TempDir dir;
    std::string Path(const std::string& name) { return dir / name; }
    // Every name in the folder, to see that nothing half-written was left behind.
    std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(dir.path()))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PackageFiles, WritePackageLaysOutTheIndexAndData) {
    test::WriteFile(Path("five"), std::string("12345"));
    test::WriteFile(Path("seven"), std::string("abcdefg"));
    PackageFileList list;
    AppendPackageFile(list, "five", dir.path() + "/");
    AppendPackageFile(list, "seven", dir.path() + "/");
    PackageResult result = WritePackage(list, Path("out.dpk"), nullptr);
    ASSERT_TRUE(result.ok()) << result.message;

    std::string bytes = test::ReadFileText(Path("out.dpk"));
    std::string expected = std::string("DP\x01", 3) + test::PackageRecord("five", 115, 119) +
                           test::PackageRecord("seven", 120, 126) + std::string(32, '\0') +
                           "12345abcdefg";
    EXPECT_EQ(bytes, expected);
    struct stat info;
    ASSERT_EQ(stat(Path("out.dpk").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"five", "out.dpk", "seven"}));
}

TEST_F(PackageFiles, WritePackageRefusesWhatItCannotStoreAndLeavesNoOutput) {
    test::WriteFile(Path("ok"), std::string("x"));
    test::WriteFile(Path(std::string(32, 'n')), std::string("x"));
    MemoryStream source(MakePackage({{"inside", "i"}}));
    struct Case {
        PackageFileNode file;
        PackageStatus status;
    };
    const std::string folder = dir.path() + "/";
    const Case cases[] = {
        {{std::string(32, 'n'), folder, std::nullopt}, PackageStatus::kRefused},
        {{"", std::nullopt, std::vector<uint8_t>{1}}, PackageStatus::kRefused},
        {{"missing", folder, std::nullopt}, PackageStatus::kFileError},
        {{"outside", std::nullopt, std::nullopt}, PackageStatus::kAbsent},
    };
    for (const auto& c : cases) {
        PackageFileList list;
        AppendPackageFile(list, "ok", folder);
        list.push_back(c.file);
        PackageResult result = WritePackage(list, Path("out.dpk"), source.get());
        EXPECT_EQ(result.status, c.status) << c.file.name << ": " << result.message;
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{std::string(32, 'n'), "ok"}));
    // The file at fault is named.
    PackageFileList list;
    AppendPackageFile(list, "missing", folder);
    EXPECT_EQ(WritePackage(list, Path("out.dpk"), nullptr).message.find(Path("missing")), 0u);
}

TEST_F(PackageFiles, WritePackageRefusesOffsetsPast4GiB) {
    // A sparse file: the size decides, before a byte is copied.
    int fd = ::open(Path("huge").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t{1} << 32), 0);
    ::close(fd);
    PackageFileList list;
    AppendPackageFile(list, "huge", dir.path() + "/");
    PackageResult result = WritePackage(list, Path("out.dpk"), nullptr);
    EXPECT_EQ(result.status, PackageStatus::kRefused);
    EXPECT_NE(result.message.find("4 GiB"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("out.dpk")));
}

TEST_F(PackageFiles, RewritePackageMayReplaceItsSourceAndPrintsItsProgress) {
    test::WriteFile(Path("game.dpk"), MakePackage({{"old", "1234567"}, {"gone", "zz"}}));
    test::WriteFile(Path("new"), std::string("abcde"));
    std::FILE* source = std::fopen(Path("game.dpk").c_str(), "rb");
    ASSERT_NE(source, nullptr);
    PackageFileList list;
    ASSERT_TRUE(ListPackageEntries(source, list).ok());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "old");
    EXPECT_FALSE(list[0].source_directory);
    ASSERT_TRUE(RemovePackageFile(list, 1));
    AppendPackageFile(list, "new", dir.path() + "/");
    PackageResult result;
    std::string out = Capture([&] { result = RewritePackage(list, Path("game.dpk"), source); });
    std::fclose(source);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(out, "count = 1\nNAME: old\nsize=7\nsize of the file: 5\n");
    EXPECT_EQ(test::ReadFileText(Path("game.dpk")),
              MakePackage({{"old", "1234567"}, {"new", "abcde"}}));
}

TEST_F(PackageFiles, WritePackageCopiesEntriesFromASourcePackage) {
    test::WriteFile(Path("src.dpk"), MakePackage({{"a", "AAA"}, {"a", "shadowed"}, {"b", ""}}));
    std::FILE* source = std::fopen(Path("src.dpk").c_str(), "rb");
    PackageFileList list;
    AppendPackageFile(list, "b", std::nullopt);
    AppendPackageFile(list, "a", std::nullopt);
    AppendPackageFile(list, "c", std::nullopt).contents = std::vector<uint8_t>{'C'};
    PackageResult result = WritePackage(list, Path("src.dpk"), source);
    std::fclose(source);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(test::ReadFileText(Path("src.dpk")),
              MakePackage({{"b", ""}, {"a", "AAA"}, {"c", "C"}}));
}

TEST(PackageFileList, RemovesByIndexAndReportsAMissingIndex) {
    PackageFileList list;
    for (const char* name : {"a", "b", "c"})
        AppendPackageFile(list, name, std::nullopt);
    EXPECT_TRUE(RemovePackageFile(list, 0));
    EXPECT_EQ(list.front().name, "b");
    bool removed = true;
    std::string out = Capture([&] { removed = RemovePackageFile(list, 2); });
    EXPECT_FALSE(removed);
    EXPECT_EQ(out, "Error: index not found!\n");
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(RemovePackageFile(list, 1));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().name, "b");
}

TEST(ListPackageEntries, KeepsTheRecordsBeforeATruncation) {
    MemoryStream package(MakePackage({{"a", "1"}, {"b", "2"}}).substr(0, 3 + 40 + 10));
    PackageFileList list;
    PackageResult result;
    std::string out = Capture([&] { result = ListPackageEntries(package.get(), list); });
    EXPECT_EQ(result.status, PackageStatus::kDamaged);
    EXPECT_EQ(out, "unexpected error\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "a");
}

TEST_F(PackageFiles, ExtractPackageWritesEachNameOnceWithTheFirstRecordsData) {
    MemoryStream package(MakePackage({{"a.txt", "first"}, {"b", ""}, {"a.txt", "second"}}));
    PackageResult result = ExtractPackage(package.get(), dir.path() + "/");
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(test::ReadFileText(Path("a.txt")), "first");
    EXPECT_EQ(test::ReadFileText(Path("b")), "");
    struct stat info;
    ASSERT_EQ(stat(Path("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"a.txt", "b"}));
}

TEST_F(PackageFiles, ExtractPackageChecksEverythingBeforeWriting) {
    std::string damaged_entry = std::string("DP\x01", 3) + test::PackageRecord("ok", 115, 115) +
                                test::PackageRecord("bad", 116, 5000) + std::string(32, '\0') +
                                "xy";
    const std::pair<std::string, PackageStatus> packages[] = {
        {MakePackage({{"ok", "1"}, {"../escape", "2"}}), PackageStatus::kRefused},
        {MakePackage({{"ok", "1"}, {"..", "2"}}), PackageStatus::kRefused},
        {damaged_entry, PackageStatus::kDamaged},
        {MakePackage({{"ok", "1"}, {"b", "2"}}).substr(0, 60), PackageStatus::kDamaged},
    };
    for (const auto& [bytes, status] : packages) {
        MemoryStream package(bytes);
        PackageResult result = ExtractPackage(package.get(), dir.path() + "/");
        EXPECT_EQ(result.status, status) << result.message;
    }
    EXPECT_TRUE(Listing().empty());
}

TEST_F(PackageFiles, ExtractPackageFilesTakesPackageEntriesAndFiles) {
    test::WriteFile(Path("disk"), std::string("from disk"));
    std::filesystem::create_directory(Path("out"));
    MemoryStream package(MakePackage({{"one", "1"}, {"two", "22"}}));
    PackageFileList list;
    AppendPackageFile(list, "two", std::nullopt);
    AppendPackageFile(list, "disk", dir.path() + "/");
    PackageResult result = ExtractPackageFiles(list, package.get(), Path("out") + "/");
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(test::ReadFileText(Path("out/two")), "22");
    EXPECT_EQ(test::ReadFileText(Path("out/disk")), "from disk");

    // A name the package lacks is found missing before anything is written.
    std::filesystem::create_directory(Path("none"));
    PackageFileList wrong;
    AppendPackageFile(wrong, "one", std::nullopt);
    AppendPackageFile(wrong, "three", std::nullopt);
    result = ExtractPackageFiles(wrong, package.get(), Path("none") + "/");
    EXPECT_EQ(result.status, PackageStatus::kAbsent);
    EXPECT_NE(result.message.find("\"three\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(Path("none")));
}

} // namespace
} // namespace korvane
