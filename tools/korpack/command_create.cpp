// korpack create: a package of the given files, one entry per file named by its base name.
#include "command.h"

#include <set>

namespace korvane::korpack {
namespace {

int RunCreate(const Arguments& arguments) {
    const std::string& output = arguments[0];
    PackageFileList list;
    std::set<std::string> names;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& path = arguments[i];
        std::string name = BaseName(path);
        if (name.empty())
            return Fail(path, "not a file name");
        if (name.size() > kMaxPackageNameLength)
            return Fail(path, "the entry name \"" + name + "\" is longer than 31 bytes");
        if (!names.insert(name).second)
            return Fail(path, "another file given is also named \"" + name + "\"");
        AppendPackageFile(list, name, path.substr(0, path.size() - name.size()));
    }
    PackageResult result = WritePackage(list, output, nullptr);
    if (!result.ok())
        return FailPackage(output, result);
    return kSuccess;
}

} // namespace

extern const CommandSpec kCreateCommand = {
    "create",
    "OUT FILE...",
    "write the package OUT holding the files",
    "Each FILE becomes one entry, named by its base name (at most 31 bytes), in the order\n"
    "given. OUT is replaced only once it is complete.\n",
    2,
    -1,
    RunCreate,
};

} // namespace korvane::korpack
