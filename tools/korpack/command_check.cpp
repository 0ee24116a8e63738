// korpack check: whether the player can play a package, without opening a window. Both
// documents go through the same checks the player makes before it builds anything.
#include "command.h"

#include "load/loader.h"

namespace korvane::korpack {
namespace {

int RunCheck(const Arguments& arguments) {
    const std::string& path = arguments[0];
    std::vector<PackageEntry> entries;
    FilePtr package = OpenCheckedPackage(path, entries);
    if (!package)
        return kFailure;
    std::vector<std::string> problems;
    CheckProjectDocument(package.get(), kLoadingDocument, false, problems);
    // The player reads the music element whenever music is switched on, so it is required.
    CheckProjectDocument(package.get(), kDemoDocument, true, problems);
    for (const std::string& problem : problems)
        std::fprintf(stderr, "%s\n", problem.c_str());
    if (problems.empty()) {
        std::printf("%s: ok\n", path.c_str());
        return kSuccess;
    }
    std::printf("%s: %zu problem%s\n", path.c_str(), problems.size(),
                problems.size() == 1 ? "" : "s");
    return kFailure;
}

} // namespace

extern const CommandSpec kCheckCommand = {
    "check",
    "PKG",
    "check that the player can play the package PKG",
    "Reads loading.xmlz and demo.xmlz, each if the package holds it, and checks them as the\n"
    "player does before it builds anything: all sections present (the music section of\n"
    "demo.xmlz too), the attributes the loader reads, handles that name existing items,\n"
    "counts within their limits (24 tracks are read, 255 layers per track, 16 segments per\n"
    "curve, 24 parameters per segment) and a production of at most 6 hours. Every problem is\n"
    "printed on standard error as the player would print it; standard output gets\n"
    "\"PKG: ok\" or \"PKG: N problems\". Status 1 when there is any problem or the package\n"
    "itself is damaged.\n",
    1,
    1,
    RunCheck,
};

} // namespace korvane::korpack
