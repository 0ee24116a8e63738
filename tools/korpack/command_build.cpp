// korpack build: the package of a production folder, documents compressed.
#include "command.h"

#include "data/compressed_document.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace korvane::korpack {
namespace {

const char kDocumentSuffix[] = ".xml";

bool IsDocument(const std::string& name) {
    size_t n = sizeof kDocumentSuffix - 1;
    return name.size() >= n && name.compare(name.size() - n, n, kDocumentSuffix) == 0;
}

int RunBuild(const Arguments& arguments) {
    const std::string& directory = arguments[0];
    const std::string& output = arguments[1];
    namespace fs = std::filesystem;

    std::vector<std::string> files;
    std::error_code error;
    fs::directory_iterator listing(directory, error);
    if (error)
        return Fail(directory, "cannot read the folder: " + error.message());
    for (const auto& item : listing) {
        std::error_code ignored;
        // A package left in the folder by an earlier build is not packed into the new one.
        if (item.is_regular_file(ignored) && !fs::equivalent(item.path(), output, ignored))
            files.push_back(item.path().filename().string());
    }
    std::sort(files.begin(), files.end());

    PackageFileList list;
    std::map<std::string, std::string> made_from; // entry name -> file name
    for (const auto& file : files) {
        std::string path = directory + "/" + file;
        std::string name = IsDocument(file) ? file + "z" : file;
        if (name.size() > kMaxPackageNameLength)
            return Fail(path, "the entry name \"" + name + "\" is longer than 31 bytes");
        auto [other, inserted] = made_from.emplace(name, file);
        if (!inserted)
            return Fail(path, "the entry name \"" + name + "\" is also made from " + other->second);
        if (!IsDocument(file)) {
            AppendPackageFile(list, name, directory + "/");
            continue;
        }
        std::vector<uint8_t> text;
        if (!ReadInputFile(path, text))
            return kFailure;
        std::vector<uint8_t> framed;
        std::string message;
        if (!CompressDocument(text.data(), text.size(), framed, message))
            return Fail(path, message);
        AppendPackageFile(list, name, std::nullopt).contents = std::move(framed);
    }
    PackageResult result = WritePackage(list, output, nullptr);
    if (!result.ok())
        return FailPackage(output, result);
    return kSuccess;
}

} // namespace

extern const CommandSpec kBuildCommand = {
    "build",
    "DIR OUT",
    "write the package OUT of the production folder DIR",
    "Every regular file at the top level of DIR becomes one entry, in sorted name order.\n"
    "A document NAME.xml is stored compressed as the entry NAME.xmlz (see 'compress'); every\n"
    "other file is stored as it is. Subfolders of DIR are not packed. Entry names are at\n"
    "most 31 bytes.\n",
    2,
    2,
    RunBuild,
};

} // namespace korvane::korpack
