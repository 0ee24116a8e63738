// korpack: the package tool. Creates, lists and unpacks packages, builds the package of a
// production folder, and compresses and inflates documents in the size-prefixed zlib framing.
#include "command.h"

#include <cstring>

namespace korvane::korpack {
namespace {

const CommandSpec* const kCommands[] = {
#define KORPACK_COMMAND_ADDRESS(spec) &spec,
    KORPACK_COMMAND_TABLE(KORPACK_COMMAND_ADDRESS)
#undef KORPACK_COMMAND_ADDRESS
};

bool IsHelp(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

void PrintOverview(std::FILE* out) {
    std::fprintf(out, "Usage: korpack COMMAND ARGUMENTS...\n\n"
                      "The package tool of the Korvane engine.\n\nCommands:\n");
    for (const CommandSpec* command : kCommands) {
        std::string usage = std::string(command->name) + " " + command->arguments;
        std::fprintf(out, "  %-30s %s\n", usage.c_str(), command->summary);
    }
    std::fprintf(out, "\n'korpack COMMAND --help' tells more about one command.\n"
                      "Exit status: 0 success, 1 failure, 2 wrong usage.\n");
}

void PrintCommandHelp(const CommandSpec& command) {
    std::printf("Usage: korpack %s %s\n\n%s\n\n%s", command.name, command.arguments,
                command.summary, command.help);
}

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "korpack: %s (try 'korpack --help')\n", problem.c_str());
    return kUsageError;
}

int Main(int argc, char** argv) {
    if (argc < 2)
        return UsageError("no command given");
    if (IsHelp(argv[1])) {
        PrintOverview(stdout);
        return kSuccess;
    }
    for (const CommandSpec* command : kCommands) {
        if (std::strcmp(argv[1], command->name) != 0)
            continue;
        if (argc == 3 && IsHelp(argv[2])) {
            PrintCommandHelp(*command);
            return kSuccess;
        }
        Arguments arguments(argv + 2, argv + argc);
        int count = static_cast<int>(arguments.size());
        if (count < command->min_arguments ||
            (command->max_arguments >= 0 && count > command->max_arguments)) {
            std::fprintf(stderr, "korpack: usage: korpack %s %s\n", command->name,
                         command->arguments);
            return kUsageError;
        }
        return command->run(arguments);
    }
    return UsageError(std::string("unknown command '") + argv[1] + "'");
}

} // namespace
} // namespace korvane::korpack

int main(int argc, char** argv) {
    return korvane::korpack::Main(argc, argv);
}
