#include "data/package.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

const char kUnexpectedError[] = "unexpected error";
const char kIndexNotFound[] = "Error: index not found!";
const char kRewriteCount[] = "count = %d\n";
const char kRewriteName[] = "NAME: %s\n";
const char kRewriteFileSize[] = "size of the file: %d\n";
const char kRewriteMemorySize[] = "size=%d\n";

// Offsets are 32-bit, so no byte of a package may lie at 4 GiB or beyond.
constexpr uint64_t kLargestOffset = UINT32_MAX;
constexpr size_t kCopyChunk = 64 * 1024;

PackageResult Fail(PackageStatus status, std::string message) {
    return PackageResult{status, std::move(message)};
}

PackageResult FileError(const std::string& path, const char* what, int error) {
    return Fail(PackageStatus::kFileError, path + ": " + what + ": " + std::strerror(error));
}

uint32_t ReadBigEndian(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void WriteBigEndian(unsigned char* p, uint32_t value) {
    p[0] = static_cast<unsigned char>(value >> 24);
    p[1] = static_cast<unsigned char>(value >> 16);
    p[2] = static_cast<unsigned char>(value >> 8);
    p[3] = static_cast<unsigned char>(value);
}

// An entry name for a message: quoted, control bytes shown as "?" so that a damaged index
// cannot garble the terminal.
std::string Quoted(const std::string& name) {
    std::string text = "\"";
    for (unsigned char c : name)
        text += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
    return text + "\"";
}

std::string TruncatedIndex(uint64_t record) {
    return "the index is truncated (record " + std::to_string(record) + " is cut short)";
}

// Scans the index for the first record named name, as a lookup does: the scan ends at the
// terminator, or at a short read, which prints "unexpected error".
PackageResult FindEntry(std::FILE* package, const char* name, PackageEntry& found) {
    size_t length = std::strlen(name);
    if (fseeko(package, kPackageIndexOffset, SEEK_SET) != 0)
        return Fail(PackageStatus::kDamaged, TruncatedIndex(0));
    unsigned char record[kPackageRecordSize];
    for (uint64_t e = 0;; ++e) {
        size_t got = std::fread(record, 1, sizeof record, package);
        if (got < kPackageNameFieldSize) {
            std::puts(kUnexpectedError);
            return Fail(PackageStatus::kDamaged, TruncatedIndex(e));
        }
        if (record[0] == 0)
            return Fail(PackageStatus::kAbsent, Quoted(name) + " is not in the package");
        // A stored name is followed by a NUL inside its field, so a name of 32 bytes or more
        // never matches, and neither does the empty name.
        if (length > 0 && length < kPackageNameFieldSize &&
            std::memcmp(record, name, length) == 0 && record[length] == 0) {
            if (got < sizeof record) {
                std::puts(kUnexpectedError);
                return Fail(PackageStatus::kDamaged, TruncatedIndex(e));
            }
            found.name = name;
            found.start = ReadBigEndian(record + 32);
            found.end = ReadBigEndian(record + 36);
            return {};
        }
    }
}

// Reads an entry's bytes after checking that they lie inside the file, so that a damaged
// record can neither ask for a huge allocation nor read past the end.
PackageResult ReadEntryBytes(std::FILE* package, const PackageEntry& entry,
                             std::vector<uint8_t>& bytes) {
    int64_t file_size = PackageFileSize(package);
    if (file_size < 0)
        return Fail(PackageStatus::kDamaged, "cannot find the size of the package");
    PackageResult check = CheckPackageEntry(entry, static_cast<uint64_t>(file_size));
    if (!check.ok())
        return check;
    bytes.resize(static_cast<size_t>(entry.size()));
    if (fseeko(package, static_cast<off_t>(entry.start), SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), package) != bytes.size()) {
        bytes.clear();
        return Fail(PackageStatus::kDamaged, "entry " + Quoted(entry.name) + " is cut short");
    }
    return {};
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

PackageResult CheckStorableName(const std::string& name) {
    if (name.empty() || name.size() > kMaxPackageNameLength || name.find('\0') != std::string::npos)
        return Fail(PackageStatus::kRefused,
                    Quoted(name) + ": an entry name must be 1 to 31 bytes without NUL");
    return {};
}

// An output file written under a temporary name beside its final path and renamed into place
// by Commit; destroyed uncommitted, it removes the temporary file.
class ReplacingFile {
  public:
    explicit ReplacingFile(std::string path) : path_(std::move(path)) {}
    ~ReplacingFile() {
        if (stream_)
            std::fclose(stream_);
        if (!temporary_.empty())
            unlink(temporary_.c_str());
    }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    PackageResult Open() {
        std::string pattern = path_ + ".tmp-XXXXXX";
        int fd = mkstemp(pattern.data()); // owner read and write only
        if (fd < 0)
            return FileError(path_, "cannot create", errno);
        temporary_ = pattern;
        stream_ = fdopen(fd, "wb");
        if (!stream_) {
            int error = errno;
            close(fd);
            return FileError(path_, "cannot create", error);
        }
        return {};
    }
    std::FILE* stream() const { return stream_; }
    PackageResult Write(const void* data, size_t size) {
        if (size > 0 && std::fwrite(data, 1, size, stream_) != size)
            return FileError(path_, "cannot write", errno);
        return {};
    }
    PackageResult Commit() {
        std::FILE* stream = stream_;
        stream_ = nullptr;
        if (std::fflush(stream) != 0 || std::ferror(stream)) {
            int error = errno;
            std::fclose(stream);
            return FileError(path_, "cannot write", error);
        }
        if (std::fclose(stream) != 0)
            return FileError(path_, "cannot write", errno);
        if (std::rename(temporary_.c_str(), path_.c_str()) != 0)
            return FileError(path_, "cannot replace", errno);
        temporary_.clear();
        return {};
    }

  private:
    std::string path_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
};

// Where the bytes of one entry of a package being written come from, with its planned place.
struct PlannedEntry {
    const PackageFileNode* file = nullptr;
    std::string path;    // the source file, for a file read from disk
    PackageEntry source; // the entry in the source package, for a package-sourced file
    uint64_t size = 0;
    uint64_t start = 0;
};

PackageResult PlanEntries(const PackageFileList& list, std::FILE* source_package,
                          std::vector<PlannedEntry>& plan) {
    for (const auto& file : list) {
        PackageResult name_check = CheckStorableName(file.name);
        if (!name_check.ok())
            return name_check;
    }
    uint64_t offset =
        kPackageIndexOffset + uint64_t{kPackageRecordSize} * list.size() + kPackageNameFieldSize;
    for (const auto& file : list) {
        PlannedEntry entry;
        entry.file = &file;
        if (file.contents) {
            entry.size = file.contents->size();
        } else if (file.source_directory) {
            entry.path = *file.source_directory + file.name;
            struct stat info;
            if (stat(entry.path.c_str(), &info) != 0)
                return FileError(entry.path, "cannot read", errno);
            if (!S_ISREG(info.st_mode))
                return Fail(PackageStatus::kFileError, entry.path + ": not a regular file");
            entry.size = static_cast<uint64_t>(info.st_size);
        } else {
            if (!source_package)
                return Fail(PackageStatus::kRefused,
                            Quoted(file.name) + " has no source file and no source package");
            PackageResult found = FindEntry(source_package, file.name.c_str(), entry.source);
            if (!found.ok())
                return found;
            int64_t file_size = PackageFileSize(source_package);
            PackageResult check =
                CheckPackageEntry(entry.source, file_size < 0 ? 0 : uint64_t(file_size));
            if (!check.ok())
                return check;
            entry.size = static_cast<uint64_t>(entry.source.size());
        }
        entry.start = offset;
        offset += entry.size;
        if (entry.start > kLargestOffset ||
            (entry.size > 0 && entry.start + entry.size - 1 > kLargestOffset))
            return Fail(PackageStatus::kRefused,
                        "the package would pass 4 GiB at entry " + Quoted(file.name));
        plan.push_back(std::move(entry));
    }
    return {};
}

// Copies exactly count bytes from a stream into the output.
PackageResult CopyBytes(std::FILE* from, uint64_t count, ReplacingFile& out, bool& short_read) {
    std::vector<unsigned char> chunk(kCopyChunk);
    short_read = false;
    while (count > 0) {
        size_t want = count < chunk.size() ? static_cast<size_t>(count) : chunk.size();
        size_t got = std::fread(chunk.data(), 1, want, from);
        PackageResult written = out.Write(chunk.data(), got);
        if (!written.ok())
            return written;
        if (got < want) {
            short_read = true;
            return {};
        }
        count -= got;
    }
    return {};
}

PackageResult WritePlanned(const std::vector<PlannedEntry>& plan, const std::string& output_path,
                           std::FILE* source_package, bool print_sizes) {
    ReplacingFile out(output_path);
    PackageResult result = out.Open();
    if (!result.ok())
        return result;

    // The whole index is known from the plan, so it is written before the data.
    std::vector<unsigned char> head(kPackageIndexOffset + kPackageRecordSize * plan.size() +
                                    kPackageNameFieldSize);
    std::memcpy(head.data(), kPackageHeader, sizeof kPackageHeader);
    for (size_t i = 0; i < plan.size(); ++i) {
        unsigned char* record = head.data() + kPackageIndexOffset + kPackageRecordSize * i;
        const std::string& name = plan[i].file->name;
        std::memcpy(record, name.data(), name.size());
        WriteBigEndian(record + 32, static_cast<uint32_t>(plan[i].start));
        WriteBigEndian(record + 36, static_cast<uint32_t>(plan[i].start + plan[i].size - 1));
    }
    result = out.Write(head.data(), head.size());
    if (!result.ok())
        return result;

    for (const auto& entry : plan) {
        const PackageFileNode& file = *entry.file;
        if (file.contents) {
            if (print_sizes)
                std::printf(kRewriteMemorySize, static_cast<int>(entry.size));
            result = out.Write(file.contents->data(), file.contents->size());
            if (!result.ok())
                return result;
            continue;
        }
        bool short_read = false;
        if (file.source_directory) {
            if (print_sizes)
                std::printf(kRewriteFileSize, static_cast<int>(entry.size));
            std::FILE* in = std::fopen(entry.path.c_str(), "rb");
            if (!in)
                return FileError(entry.path, "cannot read", errno);
            result = CopyBytes(in, entry.size, out, short_read);
            // A file that grew while it was copied would not match its index record either.
            bool longer = !short_read && std::fgetc(in) != EOF;
            std::fclose(in);
            if (!result.ok())
                return result;
            if (short_read || longer)
                return Fail(PackageStatus::kFileError,
                            entry.path + ": the file changed while it was packed");
        } else {
            if (fseeko(source_package, static_cast<off_t>(entry.source.start), SEEK_SET) != 0)
                short_read = true;
            else
                result = CopyBytes(source_package, entry.size, out, short_read);
            if (!result.ok())
                return result;
            if (short_read)
                return Fail(PackageStatus::kDamaged,
                            "entry " + Quoted(file.name) + " is cut short");
        }
    }
    return out.Commit();
}

PackageResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return FileError(path, "cannot read", errno);
    bytes.clear();
    unsigned char chunk[kCopyChunk];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = std::ferror(in) != 0;
    int error = errno;
    std::fclose(in);
    if (failed)
        return FileError(path, "cannot read", error);
    return {};
}

} // namespace

PackageEntryResult ReadPackageEntry(std::FILE* package, const char* name) {
    PackageEntryResult result;
    PackageEntry entry;
    PackageResult found = FindEntry(package, name, entry);
    if (found.ok())
        found = ReadEntryBytes(package, entry, result.bytes);
    result.status = found.status;
    result.message = std::move(found.message);
    return result;
}

PackageEntryResult ReadPackageEntryAsKtx(std::FILE* package, const char* name) {
    std::string twin = name;
    if (twin.size() < 3) {
        PackageEntryResult absent;
        absent.message = Quoted(twin) + " is too short to have a KTX twin";
        return absent;
    }
    twin.replace(twin.size() - 3, 3, "ktx");
    return ReadPackageEntry(package, twin.c_str());
}

bool IsPackageName(const char* name) {
    size_t length = std::strlen(name);
    return length >= 3 && std::memcmp(name + length - 3, "dpk", 3) == 0;
}

int64_t PackageFileSize(std::FILE* package) {
    if (fseeko(package, 0, SEEK_END) != 0)
        return -1;
    return static_cast<int64_t>(ftello(package));
}

PackageResult ReadPackageIndex(std::FILE* package, std::vector<PackageEntry>& entries) {
    entries.clear();
    if (fseeko(package, kPackageIndexOffset, SEEK_SET) != 0)
        return Fail(PackageStatus::kDamaged, TruncatedIndex(0));
    unsigned char record[kPackageRecordSize];
    for (uint64_t e = 0;; ++e) {
        size_t got = std::fread(record, 1, sizeof record, package);
        if (got >= kPackageNameFieldSize && record[0] == 0)
            return {};
        if (got < sizeof record)
            return Fail(PackageStatus::kDamaged, TruncatedIndex(e));
        PackageEntry entry;
        const char* field = reinterpret_cast<const char*>(record);
        entry.name.assign(field, strnlen(field, kPackageNameFieldSize));
        entry.start = ReadBigEndian(record + 32);
        entry.end = ReadBigEndian(record + 36);
        entries.push_back(std::move(entry));
    }
}

PackageResult CheckPackageEntry(const PackageEntry& entry, uint64_t file_size) {
    if (entry.size() < 0)
        return Fail(PackageStatus::kDamaged,
                    "entry " + Quoted(entry.name) + " ends at " + std::to_string(entry.end) +
                        " before it starts at " + std::to_string(entry.start));
    if (uint64_t{entry.start} + static_cast<uint64_t>(entry.size()) > file_size)
        return Fail(PackageStatus::kDamaged,
                    "entry " + Quoted(entry.name) + " lies outside the file (bytes " +
                        std::to_string(entry.start) + " to " + std::to_string(entry.end) + " of " +
                        std::to_string(file_size) + ")");
    return {};
}

PackageFileNode& AppendPackageFile(PackageFileList& list, std::string name,
                                   std::optional<std::string> source_directory) {
    list.push_back(PackageFileNode{std::move(name), std::move(source_directory), std::nullopt});
    return list.back();
}

bool RemovePackageFile(PackageFileList& list, size_t index) {
    if (index >= list.size()) {
        std::puts(kIndexNotFound);
        return false;
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

PackageResult ListPackageEntries(std::FILE* package, PackageFileList& list) {
    std::vector<PackageEntry> entries;
    PackageResult result = ReadPackageIndex(package, entries);
    if (result.status == PackageStatus::kDamaged)
        std::puts(kUnexpectedError);
    list.clear();
    for (auto& entry : entries)
        AppendPackageFile(list, std::move(entry.name), std::nullopt);
    return result;
}

PackageResult WritePackage(const PackageFileList& list, const std::string& output_path,
                           std::FILE* source_package) {
    std::vector<PlannedEntry> plan;
    PackageResult result = PlanEntries(list, source_package, plan);
    if (!result.ok())
        return result;
    return WritePlanned(plan, output_path, source_package, false);
}

PackageResult RewritePackage(const PackageFileList& list, const std::string& output_path,
                             std::FILE* source_package) {
    PackageFileList in_memory = list;
    int count = 0;
    for (const auto& file : in_memory)
        if (!file.source_directory && !file.contents)
            ++count;
    std::printf(kRewriteCount, count);
    for (auto& file : in_memory) {
        if (file.source_directory || file.contents)
            continue;
        std::printf(kRewriteName, file.name.c_str());
        if (!source_package)
            return Fail(PackageStatus::kRefused,
                        Quoted(file.name) + " has no source file and no source package");
        PackageEntryResult entry = ReadPackageEntry(source_package, file.name.c_str());
        if (!entry.found())
            return Fail(entry.status, std::move(entry.message));
        file.contents = std::move(entry.bytes);
    }
    std::vector<PlannedEntry> plan;
    PackageResult result = PlanEntries(in_memory, source_package, plan);
    if (!result.ok())
        return result;
    return WritePlanned(plan, output_path, source_package, true);
}

PackageResult ExtractPackage(std::FILE* package, const std::string& directory) {
    std::vector<PackageEntry> entries;
    PackageResult result = ReadPackageIndex(package, entries);
    if (!result.ok())
        return result;
    int64_t file_size = PackageFileSize(package);
    for (const auto& entry : entries) {
        result = CheckPackageEntry(entry, file_size < 0 ? 0 : static_cast<uint64_t>(file_size));
        if (!result.ok())
            return result;
        if (!IsPlainFileName(entry.name))
            return Fail(PackageStatus::kRefused,
                        "entry " + Quoted(entry.name) + " is not a plain file name");
    }
    std::set<std::string> written;
    std::vector<uint8_t> bytes;
    for (const auto& entry : entries) {
        if (!written.insert(entry.name).second)
            continue;
        result = ReadEntryBytes(package, entry, bytes);
        if (!result.ok())
            return result;
        result = WriteFileReplacing(directory + entry.name, bytes.data(), bytes.size());
        if (!result.ok())
            return result;
    }
    return {};
}

PackageResult ExtractPackageFiles(const PackageFileList& list, std::FILE* package,
                                  const std::string& directory) {
    // Everything that can be checked is checked before the first file is written.
    std::vector<PackageEntry> sources(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const PackageFileNode& file = list[i];
        if (!IsPlainFileName(file.name))
            return Fail(PackageStatus::kRefused, Quoted(file.name) + " is not a plain file name");
        if (file.source_directory || file.contents)
            continue;
        if (!package)
            return Fail(PackageStatus::kRefused,
                        Quoted(file.name) + " has no source file and no package");
        PackageResult found = FindEntry(package, file.name.c_str(), sources[i]);
        if (!found.ok())
            return found;
        int64_t file_size = PackageFileSize(package);
        found = CheckPackageEntry(sources[i], file_size < 0 ? 0 : uint64_t(file_size));
        if (!found.ok())
            return found;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < list.size(); ++i) {
        const PackageFileNode& file = list[i];
        PackageResult result;
        if (file.contents)
            bytes = *file.contents;
        else if (file.source_directory)
            result = ReadWholeFile(*file.source_directory + file.name, bytes);
        else
            result = ReadEntryBytes(package, sources[i], bytes);
        if (!result.ok())
            return result;
        result = WriteFileReplacing(directory + file.name, bytes.data(), bytes.size());
        if (!result.ok())
            return result;
    }
    return {};
}

PackageResult WriteFileReplacing(const std::string& path, const void* data, size_t size) {
    ReplacingFile out(path);
    PackageResult result = out.Open();
    if (result.ok())
        result = out.Write(data, size);
    if (result.ok())
        result = out.Commit();
    return result;
}

} // namespace korvane
