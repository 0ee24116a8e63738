// korpack list: the index of a package, one entry per line.
#include "command.h"

#include <cinttypes>

namespace korvane::korpack {
namespace {

int RunList(const Arguments& arguments) {
    std::vector<PackageEntry> entries;
    FilePtr package = OpenCheckedPackage(arguments[0], entries);
    if (!package)
        return kFailure;
    for (const auto& entry : entries)
        std::printf("%s\t%" PRId64 "\t%" PRIu32 "\t%" PRIu32 "\n", entry.name.c_str(), entry.size(),
                    entry.start, entry.end);
    return kSuccess;
}

} // namespace

extern const CommandSpec kListCommand = {
    "list",
    "PKG",
    "print the entries of the package PKG",
    "One line per index record, in index order: name, size, start and end (the offset of the\n"
    "last byte), separated by tabs.\n",
    1,
    1,
    RunList,
};

} // namespace korvane::korpack
