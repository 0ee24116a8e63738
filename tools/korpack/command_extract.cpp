// korpack extract: writes the entries of a package, or some of them, into a folder.
#include "command.h"

#include <filesystem>

namespace korvane::korpack {
namespace {

int RunExtract(const Arguments& arguments) {
    const std::string& package_path = arguments[0];
    const std::string& directory = arguments[1];
    std::vector<PackageEntry> entries;
    FilePtr package = OpenCheckedPackage(package_path, entries);
    if (!package)
        return kFailure;
    for (size_t i = 2; i < arguments.size(); ++i) {
        bool present = false;
        for (const auto& entry : entries)
            present = present || entry.name == arguments[i];
        if (!present)
            return Fail(package_path, "\"" + arguments[i] + "\" is not in the package");
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        return Fail(directory, "cannot create the folder: " + error.message());

    PackageResult result;
    if (arguments.size() == 2) {
        result = ExtractPackage(package.get(), directory + "/");
    } else {
        PackageFileList list;
        for (size_t i = 2; i < arguments.size(); ++i)
            AppendPackageFile(list, arguments[i], std::nullopt);
        result = ExtractPackageFiles(list, package.get(), directory + "/");
    }
    if (!result.ok())
        return FailPackage(package_path, result);
    return kSuccess;
}

} // namespace

extern const CommandSpec kExtractCommand = {
    "extract",
    "PKG DIR [NAME...]",
    "write the entries of PKG (or the NAMEs) into DIR",
    "Every entry, or each NAME, becomes the file DIR/NAME; DIR is created when missing. A NAME\n"
    "that is not in the package is an error and nothing is written. When a name is repeated\n"
    "in the index, the first record wins, as it does for the player.\n",
    2,
    -1,
    RunExtract,
};

} // namespace korvane::korpack
