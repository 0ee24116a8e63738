// Shared by the tests: temporary folders, files, and running the real programs
// with their own working folder and environment, capturing what they print.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

struct RunOptions {
    std::string cwd;                                          // empty: the test's own
    std::vector<std::pair<std::string, std::string>> set_env; // set before the run
    std::vector<std::string> unset_env;                       // removed before the run
    std::string stdin_text;                                   // fed to the program
    int timeout_seconds = 120;
    std::function<void(int pid)> started; // told the program's process id once it runs
};

struct RunResult {
    int exit_code = -1; // the exit status when the program exited
    int signal = 0;     // the signal that ended it, 0 when it exited
    bool timed_out = false;
    std::string out;              // standard output
    std::string err;              // standard error
    std::string Describe() const; // for failure messages: status, signal and both streams
};

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// Runs korplayer in a folder with its arguments, as a user would: on a private X display of
// its own (fullscreen windows on a shared display wait for each other's keyboard grab; a
// caller that removes DISPLAY gets none) and with SDL's silent audio driver unless the
// caller chooses one. `display`, when given, is the display's name for the caller.
// `program` is the player to run: build/korplayer unless another build of it is named.
RunResult RunKorplayer(const std::string& folder, RunOptions options = {},
                       const std::vector<std::string>& arguments = {},
                       std::string* display = nullptr, const std::string& program = "");

// Runs korpack with its arguments in a folder.
RunResult RunKorpack(const std::string& folder, std::vector<std::string> arguments);

// Path of a program built by this build: build/korplayer, build/korpack, ...
std::string ProgramPath(const std::string& name);
// Path inside the build tree and inside the source tree.
std::string BuildPath(const std::string& relative);
std::string SourcePath(const std::string& relative);

// What a piece of code writes to the stream it is given.
std::string CaptureOutput(const std::function<void(std::FILE*)>& body);

// One 40-byte package index record as stored: the NUL-padded name, then the big-endian
// start and inclusive end offsets. For packages laid out by hand.
std::string PackageRecord(const std::string& name, uint32_t start, uint32_t end);

// Splits a text into its lines (without the line ends).
std::vector<std::string> Lines(const std::string& text);

} // namespace korvane::test
