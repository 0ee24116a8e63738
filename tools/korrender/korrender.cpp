// korrender: the offline renderer. Renders any frame or frame range of a packaged
// production to PNG files, exactly as korplayer shows it at those times: the same window
// set-up, capability report and GL state, both documents loaded as the player loads them,
// and the same frame renderer; the frames are read back from the window.
#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "frame/renderer_setup.h"
#include "frame/targets.h"
#include "frame/timeline.h"
#include "frame_images.h"
#include "gl/gl.h"
#include "load/loader.h"
#include "math/cosine_table.h"
#include "model/project.h"
#include "player/launch_options.h"
#include "player/private_display.h"
#include "player/video_mode.h"
#include "render_options.h"

namespace korvane::korrender {
namespace {

// Standard output carries the frame lines and nothing else. The engine prints its own
// diagnostics on standard output (as the player does); here they are sent to standard
// error instead, and the frame lines go to the original standard output.
std::FILE* frame_lines = stdout;

std::FILE* FrameLines() {
    return frame_lines;
}

const char* const kNoOpenGl13Message =
    "Error: OpenGL 1.3 required, please install a proper OpenGL driver.";
const char* const kCaption = "korrender";

// At most this many frames in one run, and this many on a contact sheet; thumbnails are at
// most this wide.
constexpr uint64_t kMostFrames = 1000000;
constexpr size_t kSheetFrames = 24;
constexpr int kThumbnailWidth = 160;
// Ranges longer than this show their progress on standard error.
constexpr size_t kLongRange = 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// SDL ends after everything that holds GL objects has been released.
struct SdlRunning {
    bool started = false;
    ~SdlRunning() {
        if (started)
            SDL_Quit();
    }
};

struct ProjectReleaser {
    void operator()(Project* project) const { DestroyProject(std::unique_ptr<Project>(project)); }
};
using ProjectHandle = std::unique_ptr<Project, ProjectReleaser>;

int Fail(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return kFailure;
}

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "korrender: %s (try 'korrender --help')\n", problem.c_str());
    return kUsageError;
}

// The end of the timeline: the largest end time of any track.
uint32_t TimelineEnd(const Project& project) {
    uint32_t end = 0;
    for (const Track& track : project.timeline.tracks)
        end = std::max(end, track.end_time);
    return end;
}

// Every frame starts from a black window, whatever earlier frames left in the back buffer;
// the renderer's own state (scissor, clear colour) is left as it was.
void ClearWindow() {
    GLfloat clear_colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
    glClearColor(clear_colour[0], clear_colour[1], clear_colour[2], clear_colour[3]);
}

// Progress of long ranges: a line that counts up on a terminal, a line per tenth otherwise.
class Progress {
  public:
    explicit Progress(size_t total)
        : total_(total), shown_(total > kLongRange), terminal_(isatty(2) != 0) {}
    void FrameDone(size_t done) {
        if (!shown_)
            return;
        if (terminal_) {
            std::fprintf(stderr, "\rkorrender: frame %zu of %zu", done, total_);
            if (done == total_)
                std::fputc('\n', stderr);
        } else if (done * 10 / total_ != (done - 1) * 10 / total_ || done == total_) {
            std::fprintf(stderr, "korrender: %zu of %zu frames\n", done, total_);
        }
    }

  private:
    size_t total_;
    bool shown_;
    bool terminal_;
};

// The window closed on a live display stops a long run.
bool WindowClosed() {
    SDL_Event event;
    while (SDL_PollEvent(&event))
        if (event.type == SDL_QUIT)
            return true;
    return false;
}

int Run(const RenderOptions& options) {
    // The package first: a production that cannot be opened fails before any window does.
    File package(std::fopen(options.package.c_str(), "rb"));
    if (!package)
        return Fail("Error: " + options.package + ": the package cannot be opened (" +
                    std::strerror(errno) + ").");

    PrivateDisplay display;
    const char* existing_display = std::getenv("DISPLAY");
    if (existing_display == nullptr || existing_display[0] == '\0') {
        std::string error;
        if (!display.Start(options.width, options.height, error))
            return Fail("korrender: no display, and no private one: " + error);
        setenv("DISPLAY", display.name().c_str(), 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    }

    SdlRunning sdl;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0)
        return Fail(std::string("korrender: SDL cannot start: ") + SDL_GetError());
    sdl.started = true;
    SDL_WM_SetCaption(kCaption, kCaption);
    BuildCosineTable();

    // The player's windowed mode, without antialiasing.
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    SDL_Surface* surface =
        SDL_SetVideoMode(options.width, options.height, 24, VideoModeFlags(false));
    if (surface == nullptr)
        return Fail(std::string("korrender: no OpenGL window of that size: ") + SDL_GetError());
    const uint16_t width = static_cast<uint16_t>(surface->w);
    const uint16_t height = static_cast<uint16_t>(surface->h);
    const Viewport viewport = ComputeViewport(
        width, height,
        DisplayAspectOf(static_cast<int>(options.aspect), Resolution{width, height}));
    if (glewInit() != GLEW_OK || !GLEW_VERSION_1_3)
        return Fail(kNoOpenGl13Message);

    RendererChoices choices;
    choices.vbo_toggle = options.vbo;
    choices.force_pbo = options.force_pbo;
    choices.renderer_flag = options.fixed_function ? kRendererFixed : kRendererGlsl;
    File quiet;
    std::FILE* report = stderr;
    if (!options.verbose) {
        quiet.reset(std::fopen("/dev/null", "w"));
        report = quiet.get();
    }
    if (report == nullptr)
        return Fail("korrender: /dev/null cannot be opened");
    SetUpRenderer(choices, viewport, report, [] { SDL_GL_SwapBuffers(); });

    // Both documents, as the player loads them; the loading screen's production is checked
    // and built, and then discarded without being drawn.
    {
        ProjectHandle loading_project(CreateProject().release());
        LoadOptions loading_options;
        loading_options.caps = GetLoadingRenderCaps();
        LoadResult loading =
            LoadProject(*loading_project, package.get(), kLoadingDocument, loading_options);
        if (loading.status == LoadStatus::kFailed)
            return Fail(loading.error);
    }
    ProjectHandle demo_project(CreateProject().release());
    LoadOptions demo_options;
    demo_options.caps = GetRenderCaps();
    demo_options.read_music = true; // the launcher's default; the music itself is not played
    LoadResult demo = LoadProject(*demo_project, package.get(), kDemoDocument, demo_options);
    if (demo.status == LoadStatus::kFailed)
        return Fail(demo.error);
    if (demo.status == LoadStatus::kAbsent)
        return Fail("Error: " + options.package + ": the package holds no " + kDemoDocument +
                    ", so there is nothing to play.");
    demo.root.reset();
    package.reset();

    std::vector<uint32_t> times = options.times;
    if (options.range) {
        const uint32_t to = options.to ? *options.to : TimelineEnd(*demo_project);
        if (to < options.from)
            return UsageError("--from " + std::to_string(options.from) +
                              " lies after the end of the timeline (" + std::to_string(to) + ")");
        if (uint64_t{to - options.from} * options.fps / 100 + 1 > kMostFrames)
            return UsageError("the range has more than " + std::to_string(kMostFrames) + " frames");
        times = RangeTimes(options.from, to, options.fps);
    }

    // The sheet shows frames in time order, evenly spaced when there are many.
    std::vector<bool> on_sheet(times.size(), false);
    std::vector<SheetEntry> sheet_entries;
    if (!options.sheet.empty()) {
        std::vector<size_t> by_time(times.size());
        for (size_t i = 0; i < times.size(); ++i)
            by_time[i] = i;
        std::stable_sort(by_time.begin(), by_time.end(),
                         [&](size_t a, size_t b) { return times[a] < times[b]; });
        for (size_t index : SheetFrameIndices(times.size(), kSheetFrames))
            on_sheet[by_time[index]] = true;
    }

    Progress progress(times.size());
    for (size_t frame = 0; frame < times.size(); ++frame) {
        const uint32_t time = times[frame];
        ClearWindow();
        const int32_t layers = RenderProject(*demo_project, time, width, height, viewport,
                                             GetRenderCaps(), GetRendererFlag());
        RgbImage image = ReadWindowImage(width, height);
        const std::string path = options.out.Format(static_cast<uint32_t>(frame));
        if (!WritePng(path, image))
            return Fail("korrender: " + path + " cannot be written.");
        std::fprintf(FrameLines(), "time=%u layers=%d file=%s\n", time, layers, path.c_str());
        if (on_sheet[frame])
            sheet_entries.push_back({time, Thumbnail(image, kThumbnailWidth)});
        SDL_GL_SwapBuffers();
        progress.FrameDone(frame + 1);
        if (WindowClosed())
            return Fail("korrender: the window was closed; rendering stopped.");
    }

    if (!options.sheet.empty()) {
        std::stable_sort(sheet_entries.begin(), sheet_entries.end(),
                         [](const SheetEntry& a, const SheetEntry& b) { return a.time < b.time; });
        if (!WritePng(options.sheet, ContactSheet(sheet_entries)))
            return Fail("korrender: " + options.sheet + " cannot be written.");
    }
    return kSuccess;
}

} // namespace

void KeepStandardOutputForFrames() {
    std::fflush(stdout);
    int frames = dup(STDOUT_FILENO);
    if (frames < 0)
        return;
    if (std::FILE* stream = fdopen(frames, "w")) {
        std::setvbuf(stream, nullptr, _IOLBF, 0);
        frame_lines = stream;
        dup2(STDERR_FILENO, STDOUT_FILENO);
    } else {
        close(frames);
    }
}

} // namespace korvane::korrender

int main(int argc, char** argv) {
    using namespace korvane::korrender;
    // Line by line, so that a caller sees each frame as soon as it is written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string error;
    std::optional<RenderOptions> options =
        ParseRenderOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options)
        return UsageError(error);
    if (options->help) {
        std::fputs(kUsageText, stdout);
        return kSuccess;
    }
    KeepStandardOutputForFrames();
    return Run(*options);
}
