// korplayer as a user runs it: in a folder with (or without) a package, on a real X
// display, checking what it prints and how it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/production.h"
#include "support/support.h"
#include "support/x11.h"

using namespace korvane::test;

namespace {

RunResult RunPlayer(const TempDir& dir, RunOptions options = {}, std::string* display = nullptr) {
    return RunKorplayer(dir.path(), options, {}, display);
}

// A production whose first frame draws nothing (its one layer has no scene): it ends at
// once, on a clock of 0.
void WriteQuickProduction(const std::string& path) {
    DocumentSections sections;
    LayerSpec layer;
    layer.scene = 0;
    layer.length = 500;
    sections.tracks = "<track>" + LayerXml(layer) + "</track>";
    WriteProductionPackage(path, BuildDocument(sections));
}

// A production that plays for a quarter of an hour unless it is stopped.
void WriteLongProduction(const std::string& path) {
    DocumentSections sections;
    sections.scenes = EmptyScene();
    LayerSpec layer;
    layer.length = 90000;
    sections.tracks = "<track>" + LayerXml(layer) + "</track>";
    WriteProductionPackage(path, BuildDocument(sections));
}

const char* const kWindowTitle = "Korvane Engine v1.2";

// The lines that are not the antialiasing retry, which depends on the display's visuals.
std::vector<std::string> WithoutRetry(const std::string& out) {
    std::vector<std::string> lines;
    for (const auto& line : Lines(out))
        if (line != "Failed to create opengl context, trying without antialiasing." &&
            line != "Success! :)")
            lines.push_back(line);
    return lines;
}

} // namespace

TEST(Korplayer, WithoutPackageSaysSoAndFails) {
    TempDir dir;
    WriteFile(dir / "notes.txt", "not a package");
    WriteFile(dir / "dp", "too short a name");
    RunResult run = RunPlayer(dir);
    EXPECT_EQ(run.exit_code, 1) << run.Describe();
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{"Korvane Engine v1.2", "Sux... no dpk file."}));
}

TEST(Korplayer, ProductionWhoseFirstFrameDrawsNothingEndsWithoutAFigure) {
    TempDir dir;
    WriteQuickProduction(dir / "quick.dpk");
    RunResult run = RunPlayer(dir);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    auto lines = WithoutRetry(run.out);
    ASSERT_GE(lines.size(), 6u) << run.Describe();
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"Korvane Engine v1.2", "Found quick.dpk.",
                                        "Starting the demo.", std::string(74, '=')}));
    EXPECT_EQ(lines[lines.size() - 2], std::string(74, '='))
        << "the report is the last thing before the end";
    EXPECT_EQ(lines.back(), "Bye!");
    EXPECT_EQ(run.out.find("Benchmark"), std::string::npos)
        << "a clock of 0 has no frame rate: no nan, no inf, no line";
}

// Plays the long production and does to its window what a user would, again every fifth
// of a second until the player has ended (its window is made anew when the video mode is
// retried, so one early event may meet a window that is already gone).
RunResult PlayAndThen(const std::function<void(const std::string& display, unsigned long)>& act) {
    TempDir dir;
    WriteLongProduction(dir / "long.dpk");
    RunResult run;
    std::atomic<int> pid{0};
    std::atomic<bool> ended{false};
    RunOptions options;
    options.started = [&](int started) { pid = started; };
    std::string display;
    std::thread player([&] {
        run = RunPlayer(dir, options, &display);
        ended = true;
    });
    while (pid == 0 && !ended)
        std::this_thread::yield();
    for (int attempt = 0; attempt < 300 && !ended; ++attempt) {
        unsigned long window = FindWindowOfProcess(display, pid, kWindowTitle, 0.2);
        if (window != 0)
            act(display, window);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    player.join();
    return run;
}

TEST(Korplayer, EscapeEndsPlaybackWithByeAndNoFigure) {
    RunResult run = PlayAndThen([](const std::string& display, unsigned long window) {
        PressKey(display, window, "Escape");
    });
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    ASSERT_FALSE(Lines(run.out).empty());
    EXPECT_EQ(Lines(run.out).back(), "Bye!");
    EXPECT_EQ(run.out.find("Benchmark"), std::string::npos) << run.Describe();
}

TEST(Korplayer, ClosingTheWindowEndsAtOnceWithNothingMore) {
    RunResult run = PlayAndThen(
        [](const std::string& display, unsigned long window) { CloseWindow(display, window); });
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    ASSERT_FALSE(Lines(run.out).empty());
    EXPECT_EQ(Lines(run.out).back(), std::string(74, '='))
        << "nothing is printed after the start of playback";
    EXPECT_EQ(run.err, "");
}

TEST(Korplayer, TakesTheFirstPackageTheListingReturns) {
    TempDir dir;
    // "xdpk" qualifies without a dot; "dp" and "a.dp" do not.
    for (const char* name : {"b.dpk", "xdpk", "a.dp", "dp"})
        WriteQuickProduction(dir / name);
    std::string first;
    DIR* listing = opendir(dir.path().c_str());
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "b.dpk" || name == "xdpk") {
            first = name;
            break;
        }
    }
    closedir(listing);
    RunResult run = RunPlayer(dir);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    auto lines = WithoutRetry(run.out);
    ASSERT_GE(lines.size(), 2u) << run.Describe();
    EXPECT_EQ(lines[1], "Found " + first + ".");
}

TEST(Korplayer, AudioDriverFixUpComesBeforeTheBanner) {
    struct Case {
        const char* driver; // nullptr: not set
        std::vector<std::string> first_lines;
    };
    const Case cases[] = {
        {nullptr, {"Changing SDL_AUDIODRIVER to alsa.", "Korvane Engine v1.2"}},
        {"pulseaudio", {"Changing SDL_AUDIODRIVER from pulse to alsa.", "Korvane Engine v1.2"}},
        {"oss", {"Korvane Engine v1.2", "Sux... no dpk file."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver ? c.driver : "(not set)");
        TempDir dir;
        RunOptions options;
        if (c.driver)
            options.set_env = {{"SDL_AUDIODRIVER", c.driver}};
        else
            options.unset_env = {"SDL_AUDIODRIVER"};
        RunResult run = RunPlayer(dir, options);
        auto lines = Lines(run.out);
        ASSERT_GE(lines.size(), 2u) << run.Describe();
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), c.first_lines);
    }
}

TEST(Korplayer, RefusesDriversBelowOpenGl13) {
    TempDir dir;
    WriteQuickProduction(dir / "quick.dpk");
    RunOptions options;
    options.set_env = {{"MESA_GL_VERSION_OVERRIDE", "1.2"}};
    RunResult run = RunPlayer(dir, options);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    auto lines = WithoutRetry(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Error: OpenGL 1.3 required, please install a proper OpenGL driver.");
}

TEST(Korplayer, WithoutAnyDisplaySaysSoAndFails) {
    TempDir dir;
    WriteQuickProduction(dir / "quick.dpk");
    RunOptions options;
    options.unset_env = {"DISPLAY"};
    RunResult run = RunPlayer(dir, options);
    EXPECT_EQ(run.exit_code, 1) << run.Describe();
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{"Korvane Engine v1.2",
                                        "Error: cannot open a window: DISPLAY is not set."}))
        << run.Describe();
}
