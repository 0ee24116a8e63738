#include "support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "player/private_display.h"

namespace korvane::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string RunResult::Describe() const {
    std::ostringstream text;
    if (timed_out)
        text << "timed out; ";
    if (signal)
        text << "killed by signal " << signal << "; ";
    else
        text << "exit status " << exit_code << "; ";
    text << "stdout:\n" << out << "\nstderr:\n" << err;
    return text.str();
}

namespace {

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

} // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    int out_pipe[2], err_pipe[2], in_pipe[2];
    if (pipe(out_pipe) || pipe(err_pipe) || pipe(in_pipe))
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        // Its own process group, so that a timeout ends the program and its children.
        setpgid(0, 0);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0)
            _exit(126);
        for (const auto& name : options.unset_env)
            unsetenv(name.c_str());
        for (const auto& [name, value] : options.set_env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (options.started)
        options.started(static_cast<int>(pid));
    if (!options.stdin_text.empty()) {
        ssize_t ignored = write(in_pipe[1], options.stdin_text.data(), options.stdin_text.size());
        (void)ignored;
    }
    close(in_pipe[1]);

    RunResult result;
    double deadline = Now() + options.timeout_seconds;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0) {
        int wait_ms = static_cast<int>((deadline - Now()) * 1000);
        if (wait_ms <= 0) {
            result.timed_out = true;
            kill(-pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, wait_ms) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0)
            close(f.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

RunResult RunKorplayer(const std::string& folder, RunOptions options,
                       const std::vector<std::string>& arguments, std::string* display_name,
                       const std::string& program) {
    options.cwd = folder;
    auto named = [](const std::vector<std::string>& names, const char* name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    bool driver_chosen = named(options.unset_env, "SDL_AUDIODRIVER");
    for (const auto& [name, value] : options.set_env)
        driver_chosen = driver_chosen || name == "SDL_AUDIODRIVER";
    if (!driver_chosen)
        options.set_env.emplace_back("SDL_AUDIODRIVER", "dummy");

    PrivateDisplay display;
    if (!named(options.unset_env, "DISPLAY")) {
        std::string error;
        if (!display.Start(1024, 768, error))
            throw std::runtime_error("no private display for korplayer: " + error);
        options.set_env.emplace_back("DISPLAY", display.name());
        options.set_env.emplace_back("LIBGL_ALWAYS_SOFTWARE", "1");
        if (display_name)
            *display_name = display.name();
    }
    std::vector<std::string> argv = {program.empty() ? ProgramPath("korplayer") : program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, options);
}

RunResult RunKorpack(const std::string& folder, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), ProgramPath("korpack"));
    RunOptions options;
    options.cwd = folder;
    return RunProgram(arguments, options);
}

std::string ProgramPath(const std::string& name) {
    return BuildPath(name);
}
std::string BuildPath(const std::string& relative) {
    return std::string(KORVANE_BUILD_DIR) + "/" + relative;
}
std::string SourcePath(const std::string& relative) {
    return std::string(KORVANE_SOURCE_DIR) + "/" + relative;
}

std::string CaptureOutput(const std::function<void(std::FILE*)>& body) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    body(out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

std::string PackageRecord(const std::string& name, uint32_t start, uint32_t end) {
    std::string record = name;
    record.resize(32, '\0');
    for (uint32_t value : {start, end})
        for (int shift = 24; shift >= 0; shift -= 8)
            record += static_cast<char>((value >> shift) & 0xff);
    return record;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace korvane::test
