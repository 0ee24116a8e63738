// The command line of korrender: the window and renderer choices the player's launcher would
// make, which production times to render, and where the frames go. Parsing never touches
// the package or GL, so every usage error is found before anything starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::korrender {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;

// The launcher's aspect options: automatic (the window's own ratio), 4:3, 16:9, 16:10.
enum class AspectChoice : uint8_t { kAuto = 0, kFourThree = 1, kSixteenNine = 2, kSixteenTen = 3 };

// An output file name, possibly with one integer conversion for the frame number. Kept
// split so that formatting never hands user text to printf.
struct FramePattern {
    std::string prefix;     // literal text, "%%" already turned into "%"
    std::string conversion; // e.g. "%04d"; empty: the name has no frame number
    std::string suffix;
    bool HasFrameNumber() const { return !conversion.empty(); }
    std::string Format(uint32_t frame) const;
};

// Parses a printf-style name with at most one integer conversion (d, i or u, with flags
// "-+ 0" and a width); an error text for anything else.
std::optional<FramePattern> ParseFramePattern(const std::string& text, std::string& error);

struct RenderOptions {
    bool help = false;
    uint16_t width = 640;
    uint16_t height = 360;
    AspectChoice aspect = AspectChoice::kAuto;
    bool fixed_function = false;
    bool vbo = true;
    bool force_pbo = false;
    bool verbose = false;
    // Either explicit times, or a range from `from` to `to` (or the end of the timeline)
    // at `fps` frames per second.
    std::vector<uint32_t> times;
    bool range = false;
    uint32_t from = 0;
    std::optional<uint32_t> to; // none: the end of the timeline
    uint32_t fps = 0;
    FramePattern out;
    std::string sheet;
    std::string package;
};

// The options of a command line (argv[0] excluded), or an error text saying what is wrong.
std::optional<RenderOptions> ParseRenderOptions(const std::vector<std::string>& arguments,
                                                std::string& error);

// The times of a range: from, then every 100 / fps hundredths of a second (exactly, without
// drift), up to and including `to`.
std::vector<uint32_t> RangeTimes(uint32_t from, uint32_t to, uint32_t fps);

extern const char* const kUsageText;

} // namespace korvane::korrender
