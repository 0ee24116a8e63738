// The package archive: one file holding everything a production needs, read entry by entry by
// name (each lookup scans the index at the head of the file), and the file list, writer and
// extractors that build and unpack packages for the tools.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Layout: the header "DP" and version 1, then 40-byte index records (a 32-byte NUL-padded
// name, big-endian start and inclusive end offsets), 32 zero bytes, then the data.
inline constexpr unsigned char kPackageHeader[3] = {0x44, 0x50, 0x01};
inline constexpr uint32_t kPackageIndexOffset = 3;
inline constexpr uint32_t kPackageRecordSize = 40;
inline constexpr uint32_t kPackageNameFieldSize = 32;
inline constexpr size_t kMaxPackageNameLength = 31;

enum class PackageStatus {
    kOk,
    kAbsent,    // the package holds no entry of that name
    kDamaged,   // the package itself is broken: truncated index, entry outside the file, ...
    kFileError, // a file other than the package could not be read or written
    kRefused,   // the request cannot be stored: a name too long, a package past 4 GiB, ...
};

// Outcome of a package operation; message is one line saying what is wrong. For kDamaged and
// kAbsent it describes the package without naming it, so callers print "PACKAGE: message";
// otherwise it names the file or entry at fault.
struct PackageResult {
    PackageStatus status = PackageStatus::kOk;
    std::string message;
    bool ok() const { return status == PackageStatus::kOk; }
};

struct PackageEntryResult {
    PackageStatus status = PackageStatus::kAbsent;
    std::vector<uint8_t> bytes; // a copy of the entry's data when found
    std::string message;
    bool found() const { return status == PackageStatus::kOk; }
    uint32_t size() const { return static_cast<uint32_t>(bytes.size()); }
};

// A copy of the data of the first index record whose name equals name exactly. A short read of
// the index prints "unexpected error" and ends the scan (kDamaged); an entry whose bytes do not
// lie inside the file is kDamaged and nothing is allocated for it.
PackageEntryResult ReadPackageEntry(std::FILE* package, const char* name);
// The same lookup for the KTX twin of an image: the last three characters of the name are
// replaced by "ktx" (stone.png is looked up as stone.ktx). Names shorter than 3 are absent.
PackageEntryResult ReadPackageEntryAsKtx(std::FILE* package, const char* name);

// Whether a directory entry is taken for the package: its last three bytes are "dpk".
bool IsPackageName(const char* name);

// One index record as stored.
struct PackageEntry {
    std::string name;
    uint32_t start = 0;
    uint32_t end = 0; // inclusive; start - 1 for an empty entry
    int64_t size() const { return int64_t{end} - start + 1; } // negative when damaged
};

// The whole index, without printing anything; stops at the terminator.
PackageResult ReadPackageIndex(std::FILE* package, std::vector<PackageEntry>& entries);
// Whether an entry's bytes lie inside a package of file_size bytes.
PackageResult CheckPackageEntry(const PackageEntry& entry, uint64_t file_size);
// Size of an open file, or -1.
int64_t PackageFileSize(std::FILE* package);

// Building packages. Each file names the entry it becomes and where its bytes come from: the
// file source_directory + name (the directory is a prefix, so it ends in "/" unless it is
// empty), the bytes held in contents, or, with neither, the entry of that name in a source
// package.
struct PackageFileNode {
    std::string name;
    std::optional<std::string> source_directory;
    std::optional<std::vector<uint8_t>> contents;
};
using PackageFileList = std::vector<PackageFileNode>;

PackageFileNode& AppendPackageFile(PackageFileList& list, std::string name,
                                   std::optional<std::string> source_directory);
// Removes the file at a 0-based index; beyond the end prints "Error: index not found!" and
// leaves the list unchanged.
bool RemovePackageFile(PackageFileList& list, size_t index);
// One file per index record, in index order, without a source directory. A short read of the
// index prints "unexpected error"; the list then holds the records read before it.
PackageResult ListPackageEntries(std::FILE* package, PackageFileList& list);

// Writes a package of the listed files, in order, to output_path. The output is written under
// a temporary name and renamed into place only when complete, with permissions read and write
// for the owner; so a failure leaves no half-written package, and the source package may be
// the output. Names must be 1 to 31 bytes; a package past 4 GiB is refused.
PackageResult WritePackage(const PackageFileList& list, const std::string& output_path,
                           std::FILE* source_package);
// Like WritePackage, but reads every package-sourced entry into memory first, printing
// "count = %d", "NAME: %s" for each of them, "size of the file: %d" for each file read from
// disk and "size=%d" for each entry written from memory.
PackageResult RewritePackage(const PackageFileList& list, const std::string& output_path,
                             std::FILE* source_package);
// Writes every entry of the package to directory + name (the first record of a repeated name
// wins, as in a lookup). The whole index is checked before anything is written; names that are
// not plain file names ("..", anything with "/") are refused.
PackageResult ExtractPackage(std::FILE* package, const std::string& directory);
// Writes every listed file to directory + name, from its source file, its contents or the
// entry of that name in the package.
PackageResult ExtractPackageFiles(const PackageFileList& list, std::FILE* package,
                                  const std::string& directory);

// Writes a whole file under a temporary name and renames it into place (mode 0600).
PackageResult WriteFileReplacing(const std::string& path, const void* data, size_t size);

} // namespace korvane
