#include "command.h"

#include <cerrno>
#include <cstring>

namespace korvane::korpack {

int Fail(const std::string& file, const std::string& problem) {
    std::fprintf(stderr, "korpack: %s: %s\n", file.c_str(), problem.c_str());
    return kFailure;
}

int FailMessage(const std::string& message) {
    std::fprintf(stderr, "korpack: %s\n", message.c_str());
    return kFailure;
}

int FailPackage(const std::string& package_path, const PackageResult& result) {
    if (result.status == PackageStatus::kDamaged || result.status == PackageStatus::kAbsent)
        return Fail(package_path, result.message);
    return FailMessage(result.message);
}

FilePtr OpenPackage(const std::string& path) {
    FilePtr package(std::fopen(path.c_str(), "rb"));
    if (!package) {
        Fail(path, std::string("cannot open: ") + std::strerror(errno));
        return nullptr;
    }
    unsigned char header[sizeof kPackageHeader];
    size_t got = std::fread(header, 1, sizeof header, package.get());
    if (got < sizeof header && std::ferror(package.get())) {
        Fail(path, std::string("cannot read: ") + std::strerror(errno));
        return nullptr;
    }
    if (got < sizeof header || std::memcmp(header, kPackageHeader, sizeof header) != 0) {
        Fail(path, "not a package (it does not start with \"DP\" and version 1)");
        return nullptr;
    }
    return package;
}

FilePtr OpenCheckedPackage(const std::string& path, std::vector<PackageEntry>& entries) {
    FilePtr package = OpenPackage(path);
    if (!package)
        return nullptr;
    PackageResult result = ReadPackageIndex(package.get(), entries);
    int64_t file_size = PackageFileSize(package.get());
    for (size_t i = 0; result.ok() && i < entries.size(); ++i)
        result = CheckPackageEntry(entries[i], file_size < 0 ? 0 : uint64_t(file_size));
    if (!result.ok()) {
        FailPackage(path, result);
        return nullptr;
    }
    return package;
}

bool ReadInputFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        Fail(path, std::string("cannot open: ") + std::strerror(errno));
        return false;
    }
    bytes.clear();
    unsigned char chunk[64 * 1024];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(in.get())) {
        Fail(path, std::string("cannot read: ") + std::strerror(errno));
        return false;
    }
    return true;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace korvane::korpack
