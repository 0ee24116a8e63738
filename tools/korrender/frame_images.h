// Frames as pictures: RGB images with rows from the top, as seen on screen, written as PNG
// files, and the contact sheet that shows a run's frames side by side in time order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::korrender {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width x height x 3, rows from the top
};

// Reads the window's back buffer, turning GL's bottom-up rows into top-down ones.
RgbImage ReadWindowImage(int width, int height);

// False when the file cannot be written.
bool WritePng(const std::string& path, const RgbImage& image);

// A copy at most max_width wide (and as tall as the aspect gives), each pixel the mean of
// the pixels it covers.
RgbImage Thumbnail(const RgbImage& image, int max_width);

// The frames of a contact sheet: all of them up to a limit, else that many evenly spaced
// ones from the first to the last (indices into a list of frame_count frames).
std::vector<size_t> SheetFrameIndices(size_t frame_count, size_t limit);

struct SheetEntry {
    uint32_t time;
    RgbImage thumbnail;
};

// Thumbnails in a grid, left to right and top to bottom in the order given, each labelled
// with its time, on a dark background.
RgbImage ContactSheet(const std::vector<SheetEntry>& entries);

} // namespace korvane::korrender
