// What every korpack command shares: its entry in the command table, the exit statuses, and
// the functions that open packages and report failures as one line "korpack: FILE: problem".
#pragma once

#include "data/package.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace korvane::korpack {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;

using Arguments = std::vector<std::string>;

// One command. Each lives in its own file command_NAME.cpp, which defines its CommandSpec;
// korpack checks the argument count before run is called.
struct CommandSpec {
    const char* name;
    const char* arguments; // shown after the name in usage lines
    const char* summary;   // one line for korpack --help
    const char* help;      // the rest of korpack NAME --help
    int min_arguments;
    int max_arguments; // -1: no limit
    int (*run)(const Arguments& arguments);
};

// The command table, in the order korpack --help lists the commands: one line per command,
// naming the CommandSpec its file defines.
#define KORPACK_COMMAND_TABLE(ENTRY)                                                               \
    ENTRY(kCreateCommand)                                                                          \
    ENTRY(kListCommand)                                                                            \
    ENTRY(kExtractCommand)                                                                         \
    ENTRY(kBuildCommand)                                                                           \
    ENTRY(kCheckCommand)                                                                           \
    ENTRY(kCompressCommand)                                                                        \
    ENTRY(kDecompressCommand)                                                                      \
    ENTRY(kMeshCommand)

#define KORPACK_DECLARE_COMMAND(spec) extern const CommandSpec spec;
KORPACK_COMMAND_TABLE(KORPACK_DECLARE_COMMAND)
#undef KORPACK_DECLARE_COMMAND

struct FileCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Prints "korpack: FILE: problem" on standard error and returns kFailure.
int Fail(const std::string& file, const std::string& problem);
// Prints "korpack: message" on standard error and returns kFailure.
int FailMessage(const std::string& message);
// Reports a failed package operation: the package is named for damage and absent entries,
// the message names the file at fault otherwise.
int FailPackage(const std::string& package_path, const PackageResult& result);

// Opens a package for reading and checks its header. Prints the failure and returns null.
FilePtr OpenPackage(const std::string& path);
// Opens a package and reads and checks its whole index, so that a damaged package is reported
// before anything is done with it. Prints the failure and returns null.
FilePtr OpenCheckedPackage(const std::string& path, std::vector<PackageEntry>& entries);

// Reads a whole file; prints the failure and returns false.
bool ReadInputFile(const std::string& path, std::vector<uint8_t>& bytes);

// The last component of a path ("a/b/c.png" gives "c.png").
std::string BaseName(const std::string& path);

} // namespace korvane::korpack
