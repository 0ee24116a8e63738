// korplayer: plays the one production packaged in the working folder. This file is the
// program's single thread of control, in the order the player runs: the environment,
// the banner, the projects, the window, the package, loading, playback and shutdown.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <string>

#include "data/package.h"
#include "frame/renderer_setup.h"
#include "frame/targets.h"
#include "frame/timeline.h"
#include "gl/gl.h"
#include "load/loader.h"
#include "math/cosine_table.h"
#include "model/project.h"
#include "player/audio_environment.h"
#include "player/launch_options.h"
#include "player/main_loop.h"
#include "player/video_mode.h"

using namespace korvane;

namespace {

const char* const kBanner = "Korvane Engine v1.2";
const char* const kFoundMessage = "Found %s.\n";
const char* const kStartingMessage = "Starting the demo.";
const char* const kNoPackageMessage = "Sux... no dpk file.";
const char* const kNoOpenGl13Message =
    "Error: OpenGL 1.3 required, please install a proper OpenGL driver.";
const char* const kByeMessage = "Bye!";
const char* const kNoDisplayMessage = "Error: cannot open a window: %s.\n";

// The loading screen is drawn only when more than this many milliseconds have passed since
// it was last drawn.
constexpr uint32_t kLoadingFrameInterval = 50;

// The first entry of the working folder, in the order the listing returns them, whose
// name ends in "dpk".
std::string FindPackageName() {
    std::string found;
    DIR* listing = opendir(".");
    if (listing == nullptr)
        return found;
    while (dirent* entry = readdir(listing)) {
        if (IsPackageName(entry->d_name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(listing);
    return found;
}

struct PackageFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using PackageFile = std::unique_ptr<std::FILE, PackageFileCloser>;

// A production that cannot be played: its error line, and the end before anything of it
// is drawn.
int Unplayable(const std::string& error, std::unique_ptr<Project> loading_project,
               std::unique_ptr<Project> demo_project) {
    std::puts(error.c_str());
    DestroyProject(std::move(loading_project));
    DestroyProject(std::move(demo_project));
    SDL_Quit();
    return 1;
}

// The orderly end: the "Bye!" path.
int Shutdown(std::unique_ptr<Project> demo_project) {
    std::puts(kByeMessage);
    DestroyProject(std::move(demo_project));
    SDL_Quit();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Line by line, so that every message is out even when the process ends at once.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bool force_pbo = argc > 1 && std::strncmp(argv[1], "-forcepbo", 9) == 0;

    FixAudioDriverEnvironment(stdout);
    std::puts(kBanner);

    std::unique_ptr<Project> loading_project = CreateProject();
    std::unique_ptr<Project> demo_project = CreateProject();

    // Only the X11 driver can make an OpenGL window; without this SDL would fall back to
    // drivers that draw text art on the terminal when there is no display.
    setenv("SDL_VIDEODRIVER", "x11", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        const char* display = std::getenv("DISPLAY");
        std::printf(kNoDisplayMessage,
                    display && *display ? SDL_GetError() : "DISPLAY is not set");
        return 1;
    }
    Resolution desktop{0, 0};
    if (const SDL_VideoInfo* info = SDL_GetVideoInfo()) {
        desktop.width = static_cast<uint32_t>(info->current_w);
        desktop.height = static_cast<uint32_t>(info->current_h);
    }

    // The launcher plugs in here; until then its defaults are the choice.
    LaunchOptions options;
    SDL_WM_SetCaption(kBanner, kBanner);

    std::string package_name = FindPackageName();
    if (package_name.empty()) {
        std::puts(kNoPackageMessage);
        return 1;
    }
    std::printf(kFoundMessage, package_name.c_str());
    PackageFile package(std::fopen(package_name.c_str(), "rb"));
    std::puts(kStartingMessage);

    BuildCosineTable();

    Resolution window = WindowSizeOf(options.resolution_row, desktop);
    float display_aspect = DisplayAspectOf(options.aspect_option, window);

    bool antialiasing = IsOn(options.antialiasing);
    if (antialiasing) {
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 2);
    }
    uint8_t renderer_flag = options.renderer == 1 ? kRendererGlsl : kRendererFixed;
    if (IsOn(options.music))
        SDL_Init(SDL_INIT_AUDIO);
    SDL_Init(SDL_INIT_TIMER);

    VideoModeCalls video_calls;
    video_calls.set_mode = [](uint32_t width, uint32_t height, uint32_t flags) {
        return SDL_SetVideoMode(static_cast<int>(width), static_cast<int>(height), 24, flags) !=
               nullptr;
    };
    video_calls.set_multisample = [](int buffers, int samples) {
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, buffers);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
    };
    video_calls.quit = [] { SDL_Quit(); };
    if (OpenVideoMode(video_calls, window.width, window.height, IsOn(options.fullscreen),
                      antialiasing, stdout) != VideoModeOutcome::opened)
        return 0;
    // With row 0 the mode takes the desktop's size; the surface says what was granted.
    if (const SDL_Surface* surface = SDL_GetVideoSurface()) {
        window.width = static_cast<uint32_t>(surface->w);
        window.height = static_cast<uint32_t>(surface->h);
        if (options.aspect_option == 0)
            display_aspect = DisplayAspectOf(0, window);
    }

    Viewport viewport = ComputeViewport(static_cast<uint16_t>(window.width),
                                        static_cast<uint16_t>(window.height), display_aspect);
    // Not glewExperimental: it would raise version flags whenever the entry points
    // resolve, and the capability checks must see the version the driver reports.
    if (glewInit() != GLEW_OK || !GLEW_VERSION_1_3) {
        SDL_Quit();
        std::puts(kNoOpenGl13Message);
        return 0;
    }

    RendererChoices choices;
    choices.vbo_toggle = IsOn(options.vbo);
    choices.force_pbo = force_pbo;
    choices.renderer_flag = renderer_flag;
    SetUpRenderer(choices, viewport, stdout, [] { SDL_GL_SwapBuffers(); });
    if (IsOn(options.fullscreen))
        SDL_ShowCursor(0);

    // Loading: the loading screen's own production first, without progress; then the
    // production itself, with the loading project played at the load percentage as its
    // time, at most once every 50 ms.
    LoadOptions loading_options;
    loading_options.caps = GetLoadingRenderCaps();
    LoadResult loading =
        LoadProject(*loading_project, package.get(), kLoadingDocument, loading_options);
    if (loading.status == LoadStatus::kFailed)
        return Unplayable(loading.error, std::move(loading_project), std::move(demo_project));

    uint32_t last_frame = 0;
    LoadOptions demo_options;
    demo_options.caps = GetRenderCaps();
    demo_options.read_music = IsOn(options.music);
    demo_options.progress = [&](uint32_t percent) {
        if (SDL_GetTicks() - last_frame <= kLoadingFrameInterval)
            return;
        RenderProject(*loading_project, percent, window.width, window.height, viewport,
                      GetLoadingRenderCaps(), GetRendererFlag());
        SDL_GL_SwapBuffers();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        last_frame = SDL_GetTicks();
    };
    last_frame = SDL_GetTicks();
    LoadResult demo = LoadProject(*demo_project, package.get(), kDemoDocument, demo_options);
    if (demo.status == LoadStatus::kFailed)
        return Unplayable(demo.error, std::move(loading_project), std::move(demo_project));

    // Music set-up plugs in here, only with music on: demo.music is the music element, its
    // "file" the Ogg Vorbis file to play (none: no music), and demo_project->music_offset
    // the demo time it starts at.

    DestroyProject(std::move(loading_project));
    demo.root.reset();

    // Without a production there is nothing to play: the player ends at once.
    if (demo.status == LoadStatus::kAbsent) {
        package.reset();
        return Shutdown(std::move(demo_project));
    }

    PlaybackHost host;
    host.render = [&](uint32_t time) {
        return RenderProject(*demo_project, time, window.width, window.height, viewport,
                             GetRenderCaps(), GetRendererFlag());
    };
    host.ticks = [] { return static_cast<uint32_t>(SDL_GetTicks()); };
    host.poll_event = [] {
        SDL_Event event;
        if (!SDL_PollEvent(&event))
            return HostEvent::none;
        return event.type == SDL_QUIT ? HostEvent::quit : HostEvent::other;
    };
    host.escape_down = [] { return SDL_GetKeyState(nullptr)[SDLK_ESCAPE] != 0; };
    host.swap = [] { SDL_GL_SwapBuffers(); };
    host.delay = [](uint32_t ms) { SDL_Delay(ms); };

    PlaybackSettings settings;
    settings.music_offset = demo_project->music_offset;
    PlaybackResult result = RunPlayback(host, settings);
    if (result.end == PlaybackEnd::quit) {
        // Closing the window ends the process at once: no "Bye!" and no clean-up.
        std::fflush(stdout);
        std::_Exit(0);
    }
    package.reset();
    return Shutdown(std::move(demo_project));
}
