// korplayer as a user runs it: in a folder with (or without) a package, on a real X
// display, checking what it prints and how it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <vector>

#include "support/support.h"

using namespace korvane::test;

namespace {

RunResult RunPlayer(const TempDir& dir, RunOptions options = {}) {
    options.cwd = dir.path();
    bool driver_given = false;
    for (const auto& [name, value] : options.set_env)
        driver_given = driver_given || name == "SDL_AUDIODRIVER";
    bool driver_removed = std::find(options.unset_env.begin(), options.unset_env.end(),
                                    "SDL_AUDIODRIVER") != options.unset_env.end();
    if (!driver_given && !driver_removed)
        options.set_env.emplace_back("SDL_AUDIODRIVER", "dummy");
    return RunProgram({ProgramPath("korplayer")}, options);
}

void CopyShowcase(const TempDir& dir, const std::string& as = "showcase.dpk") {
    std::filesystem::copy_file(BuildPath("showcase/showcase.dpk"), dir / as);
}

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
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"Korvane Engine v1.2", "Sux... no dpk file."}));
}

TEST(Korplayer, PlaysAnEmptyProductionAndEndsAtOnce) {
    TempDir dir;
    CopyShowcase(dir);
    RunResult run = RunPlayer(dir);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    EXPECT_EQ(WithoutRetry(run.out),
              (std::vector<std::string>{"Korvane Engine v1.2", "Found showcase.dpk.",
                                        "Starting the demo.", "Bye!"}))
        << "a production that ends on its first frame prints no benchmark figure";
    EXPECT_EQ(run.out.find("nan"), std::string::npos);
}

TEST(Korplayer, TakesTheFirstPackageTheListingReturns) {
    TempDir dir;
    // "xdpk" qualifies without a dot; "dp" and "a.dp" do not.
    for (const char* name : {"b.dpk", "xdpk", "a.dp", "dp"})
        CopyShowcase(dir, name);
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
    TempDir dir;
    RunOptions options;
    options.set_env = {{"SDL_AUDIODRIVER", "pulseaudio"}};
    RunResult run = RunPlayer(dir, options);
    ASSERT_GE(Lines(run.out).size(), 2u) << run.Describe();
    EXPECT_EQ(Lines(run.out)[0], "Changing SDL_AUDIODRIVER from pulse to alsa.");
    EXPECT_EQ(Lines(run.out)[1], "Korvane Engine v1.2");
}

TEST(Korplayer, RefusesDriversBelowOpenGl13) {
    TempDir dir;
    CopyShowcase(dir);
    RunOptions options;
    options.set_env = {{"MESA_GL_VERSION_OVERRIDE", "1.2"}};
    RunResult run = RunPlayer(dir, options);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    auto lines = WithoutRetry(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Error: OpenGL 1.3 required, please install a proper OpenGL driver.");
}

TEST(Korplayer, WithoutAnyDisplayExplainsThatOpenGlIsMissing) {
    TempDir dir;
    CopyShowcase(dir);
    RunOptions options;
    options.unset_env = {"DISPLAY"};
    RunResult run = RunPlayer(dir, options);
    EXPECT_EQ(run.exit_code, 0) << run.Describe();
    auto lines = WithoutRetry(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Error: failed to create opengl context, please install OpenGL driver.");
}
