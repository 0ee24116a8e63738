#include "player/private_display.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

// Xvfb reports its display within a fraction of a second; a loaded machine may need more.
constexpr int kStartTimeoutMs = 15000;

int64_t NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

} // namespace

PrivateDisplay::~PrivateDisplay() {
    Stop();
}

bool PrivateDisplay::Start(int width, int height, std::string& error) {
    int report[2];
    if (pipe(report) != 0) {
        error = std::string("cannot start Xvfb: ") + std::strerror(errno);
        return false;
    }
    // The screen is at least as large as the window; a common size otherwise.
    const std::string screen =
        std::to_string(std::max(width, 1024)) + "x" + std::to_string(std::max(height, 768)) + "x24";
    const std::string fd = std::to_string(report[1]);
    pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start Xvfb: ") + std::strerror(errno);
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (pid == 0) {
        // The server goes when its owner goes, however it ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(report[0]);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        std::vector<const char*> argv = {"Xvfb",     "-displayfd",   fd.c_str(),  "-screen",
                                         "0",        screen.c_str(), "-nolisten", "tcp",
                                         "-noreset", "+extension",   "GLX",       nullptr};
        execvp(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(report[1]);
    pid_ = pid;

    std::string number;
    const int64_t deadline = NowMs() + kStartTimeoutMs;
    bool done = false;
    while (!done) {
        int wait_ms = static_cast<int>(deadline - NowMs());
        if (wait_ms <= 0) {
            error = "Xvfb did not report a display";
            break;
        }
        pollfd p = {report[0], POLLIN, 0};
        int ready = poll(&p, 1, wait_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buffer[32];
        ssize_t n = read(report[0], buffer, sizeof buffer);
        if (n <= 0) {
            error = "Xvfb could not be started (is it installed?)";
            break;
        }
        for (ssize_t i = 0; i < n && !done; ++i) {
            if (buffer[i] == '\n')
                done = true;
            else if (buffer[i] >= '0' && buffer[i] <= '9' && number.size() < 10)
                number += buffer[i];
        }
    }
    close(report[0]);
    if (!done || number.empty()) {
        if (error.empty())
            error = "Xvfb did not report a display";
        Stop();
        return false;
    }
    name_ = ":" + number;
    return true;
}

void PrivateDisplay::Stop() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    name_.clear();
}

} // namespace korvane
