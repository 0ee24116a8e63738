#include "render_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvane::korrender {

const char* const kUsageText =
    "Usage: korrender [OPTIONS] (--time T ... | --from T --to T|end --fps N) --out PATH "
    "PACKAGE\n"
    "\n"
    "Renders frames of the production in PACKAGE exactly as korplayer shows them, to PNG\n"
    "files. T is the production's own time in hundredths of a second.\n"
    "\n"
    "Frames:\n"
    "  --time T             render the frame at T; repeat for more frames\n"
    "  --from T --to T|end --fps N\n"
    "                       render N frames per second, from the --from time up to the\n"
    "                       --to time (end: the end of the timeline)\n"
    "  --out PATH           the PNG file; for several frames a pattern with one integer\n"
    "                       conversion for the frame number from 0, e.g. frame%04d.png\n"
    "  --sheet PATH         also write a contact sheet of the frames (at most 24, evenly\n"
    "                       spaced) in time order\n"
    "\n"
    "Window and renderer (the launcher's choices):\n"
    "  --size WxH           window size (default 640x360)\n"
    "  --aspect A           display aspect: auto, 4:3, 16:9 or 16:10 (default auto);\n"
    "                       the 16:9 picture is letterboxed with black bars\n"
    "  --renderer R         glsl or fixed (default glsl)\n"
    "  --no-vbo             no vertex buffer objects\n"
    "  --forcepbo           pixel buffer objects even below OpenGL 2.1\n"
    "  --verbose            print the graphics capability report on standard error\n"
    "  --help               show this text\n"
    "\n"
    "Every frame starts from a black window. One line per frame on standard output:\n"
    "time=T layers=N file=PATH. Without a DISPLAY a private Xvfb server is started.\n"
    "Exit status: 0 success, 1 a package or document that cannot be played (or another\n"
    "failure), 2 wrong usage.\n";

namespace {

constexpr uint32_t kSmallestSide = 16;
constexpr uint32_t kLargestSide = 8192;
constexpr size_t kLargestFieldWidth = 32;

// A whole unsigned decimal number of 32 bits, nothing else.
bool ParseUnsigned(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool ParseSize(const std::string& text, uint16_t& width, uint16_t& height) {
    size_t x = text.find('x');
    if (x == std::string::npos)
        return false;
    uint32_t w = 0, h = 0;
    if (!ParseUnsigned(text.substr(0, x), w) || !ParseUnsigned(text.substr(x + 1), h))
        return false;
    if (w < kSmallestSide || h < kSmallestSide || w > kLargestSide || h > kLargestSide)
        return false;
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    return true;
}

} // namespace

std::string FramePattern::Format(uint32_t frame) const {
    if (!HasFrameNumber())
        return prefix + suffix;
    char number[64];
    std::snprintf(number, sizeof number, conversion.c_str(), frame);
    return prefix + number + suffix;
}

std::optional<FramePattern> ParseFramePattern(const std::string& text, std::string& error) {
    FramePattern pattern;
    std::string* literal = &pattern.prefix;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *literal += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            *literal += '%';
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && std::strchr("-+ 0", text[end]) != nullptr)
            ++end;
        size_t width_begin = end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        if (end >= text.size() || std::strchr("diu", text[end]) == nullptr) {
            error = "'" + text +
                    "' is not a frame file pattern: only one integer conversion "
                    "(such as %d or %04d) may follow a %";
            return std::nullopt;
        }
        if (end - width_begin > 2 ||
            (end > width_begin && std::strtoul(text.substr(width_begin, end - width_begin).c_str(),
                                               nullptr, 10) > kLargestFieldWidth)) {
            error = "'" + text + "': the frame number is wider than 32 characters";
            return std::nullopt;
        }
        if (pattern.HasFrameNumber()) {
            error = "'" + text + "' has more than one frame number conversion";
            return std::nullopt;
        }
        // The number is printed as unsigned, whatever the conversion letter says.
        pattern.conversion = text.substr(i, end - i) + "u";
        literal = &pattern.suffix;
        i = end;
    }
    return pattern;
}

std::optional<RenderOptions> ParseRenderOptions(const std::vector<std::string>& arguments,
                                                std::string& error) {
    RenderOptions options;
    std::string out_text;
    bool have_out = false, have_from = false, have_to = false, have_fps = false;
    std::vector<std::string> packages;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return false;
            }
            into = arguments[++i];
            return true;
        };
        std::string text;
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        } else if (argument == "--size") {
            if (!value(text))
                return std::nullopt;
            if (!ParseSize(text, options.width, options.height)) {
                error = "--size takes WxH with sides from 16 to 8192, not '" + text + "'";
                return std::nullopt;
            }
        } else if (argument == "--aspect") {
            if (!value(text))
                return std::nullopt;
            if (text == "auto")
                options.aspect = AspectChoice::kAuto;
            else if (text == "4:3")
                options.aspect = AspectChoice::kFourThree;
            else if (text == "16:9")
                options.aspect = AspectChoice::kSixteenNine;
            else if (text == "16:10")
                options.aspect = AspectChoice::kSixteenTen;
            else {
                error = "--aspect takes auto, 4:3, 16:9 or 16:10, not '" + text + "'";
                return std::nullopt;
            }
        } else if (argument == "--renderer") {
            if (!value(text))
                return std::nullopt;
            if (text != "glsl" && text != "fixed") {
                error = "--renderer takes glsl or fixed, not '" + text + "'";
                return std::nullopt;
            }
            options.fixed_function = text == "fixed";
        } else if (argument == "--no-vbo") {
            options.vbo = false;
        } else if (argument == "--forcepbo") {
            options.force_pbo = true;
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--time") {
            uint32_t time = 0;
            if (!value(text))
                return std::nullopt;
            if (!ParseUnsigned(text, time)) {
                error = "--time takes hundredths of a second, not '" + text + "'";
                return std::nullopt;
            }
            options.times.push_back(time);
        } else if (argument == "--from") {
            if (!value(text))
                return std::nullopt;
            if (!ParseUnsigned(text, options.from)) {
                error = "--from takes hundredths of a second, not '" + text + "'";
                return std::nullopt;
            }
            have_from = true;
        } else if (argument == "--to") {
            if (!value(text))
                return std::nullopt;
            uint32_t to = 0;
            if (text == "end") {
                options.to.reset();
            } else if (ParseUnsigned(text, to)) {
                options.to = to;
            } else {
                error = "--to takes hundredths of a second or end, not '" + text + "'";
                return std::nullopt;
            }
            have_to = true;
        } else if (argument == "--fps") {
            if (!value(text))
                return std::nullopt;
            if (!ParseUnsigned(text, options.fps) || options.fps == 0 || options.fps > 1000) {
                error = "--fps takes a whole number of frames per second from 1 to 1000, not '" +
                        text + "'";
                return std::nullopt;
            }
            have_fps = true;
        } else if (argument == "--out") {
            if (!value(out_text))
                return std::nullopt;
            have_out = true;
        } else if (argument == "--sheet") {
            if (!value(options.sheet))
                return std::nullopt;
            if (options.sheet.empty()) {
                error = "--sheet needs a file name";
                return std::nullopt;
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option '" + argument + "'";
            return std::nullopt;
        } else {
            packages.push_back(argument);
        }
    }

    options.range = have_from || have_to || have_fps;
    if (options.range && !options.times.empty()) {
        error = "--time cannot be combined with --from, --to and --fps";
        return std::nullopt;
    }
    if (options.range && !(have_from && have_to && have_fps)) {
        error = "a range needs all of --from, --to and --fps";
        return std::nullopt;
    }
    if (!options.range && options.times.empty()) {
        error = "no frame to render: give --time T or --from T --to T --fps N";
        return std::nullopt;
    }
    if (options.range && options.to && *options.to < options.from) {
        error = "--to " + std::to_string(*options.to) + " lies before --from " +
                std::to_string(options.from);
        return std::nullopt;
    }
    if (!have_out || out_text.empty()) {
        error = "no output: give --out PATH";
        return std::nullopt;
    }
    std::optional<FramePattern> pattern = ParseFramePattern(out_text, error);
    if (!pattern)
        return std::nullopt;
    bool several = options.range || options.times.size() > 1;
    if (several && !pattern->HasFrameNumber()) {
        error = "several frames need an --out pattern with a frame number, such as frame%04d.png";
        return std::nullopt;
    }
    options.out = *pattern;
    if (packages.size() != 1) {
        error = packages.empty() ? "no package given" : "more than one package given";
        return std::nullopt;
    }
    options.package = packages.front();
    return options;
}

std::vector<uint32_t> RangeTimes(uint32_t from, uint32_t to, uint32_t fps) {
    std::vector<uint32_t> times;
    if (fps == 0 || to < from)
        return times;
    for (uint64_t frame = 0;; ++frame) {
        uint64_t time = from + frame * 100 / fps;
        if (time > to)
            break;
        times.push_back(static_cast<uint32_t>(time));
    }
    return times;
}

} // namespace korvane::korrender
