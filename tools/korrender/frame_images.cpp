#include "frame_images.h"

#include <stb_image_write.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "gl/gl.h"

namespace korvane::korrender {

namespace {

constexpr int kSheetColumns = 6;
constexpr int kSheetMargin = 6;
constexpr int kGlyphScale = 2;
constexpr int kGlyphWidth = 3;
constexpr int kGlyphHeight = 5;
constexpr int kLabelHeight = kGlyphHeight * kGlyphScale + kSheetMargin;
constexpr uint8_t kSheetBackground = 32;
constexpr uint8_t kLabelColour = 220;

// Digits and the decimal point of the labels, five rows of three pixels each (bit 2 is the
// left column).
constexpr std::array<std::array<uint8_t, kGlyphHeight>, 11> kGlyphs = {{
    {7, 5, 5, 5, 7}, // 0
    {2, 6, 2, 2, 7}, // 1
    {7, 1, 7, 4, 7}, // 2
    {7, 1, 7, 1, 7}, // 3
    {5, 5, 7, 1, 1}, // 4
    {7, 4, 7, 1, 7}, // 5
    {7, 4, 7, 5, 7}, // 6
    {7, 1, 1, 1, 1}, // 7
    {7, 5, 7, 5, 7}, // 8
    {7, 5, 7, 1, 7}, // 9
    {0, 0, 0, 0, 2}, // .
}};

void PutPixel(RgbImage& image, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
        return;
    size_t i = (static_cast<size_t>(y) * image.width + x) * 3;
    image.pixels[i] = r;
    image.pixels[i + 1] = g;
    image.pixels[i + 2] = b;
}

// The time in seconds with two decimals, as "12.50".
void DrawLabel(RgbImage& image, int x, int y, uint32_t time) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%02u", time / 100, time % 100);
    for (const char* c = text; *c != '\0'; ++c) {
        const auto& glyph = kGlyphs[*c == '.' ? 10 : static_cast<size_t>(*c - '0')];
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int column = 0; column < kGlyphWidth; ++column)
                if (glyph[row] & (4 >> column))
                    for (int dy = 0; dy < kGlyphScale; ++dy)
                        for (int dx = 0; dx < kGlyphScale; ++dx)
                            PutPixel(image, x + column * kGlyphScale + dx,
                                     y + row * kGlyphScale + dy, kLabelColour, kLabelColour,
                                     kLabelColour);
        x += (kGlyphWidth + 1) * kGlyphScale;
    }
}

} // namespace

RgbImage ReadWindowImage(int width, int height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    const size_t row_bytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> bottom_up(row_bytes * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    image.pixels.resize(bottom_up.size());
    for (int row = 0; row < height; ++row)
        std::memcpy(&image.pixels[row * row_bytes], &bottom_up[(height - 1 - row) * row_bytes],
                    row_bytes);
    return image;
}

bool WritePng(const std::string& path, const RgbImage& image) {
    return stbi_write_png(path.c_str(), image.width, image.height, 3, image.pixels.data(),
                          image.width * 3) != 0;
}

RgbImage Thumbnail(const RgbImage& image, int max_width) {
    if (image.width <= max_width)
        return image;
    RgbImage thumb;
    thumb.width = max_width;
    thumb.height = std::max(1, (image.height * max_width + image.width / 2) / image.width);
    thumb.pixels.resize(static_cast<size_t>(thumb.width) * thumb.height * 3);
    for (int y = 0; y < thumb.height; ++y) {
        int y0 = y * image.height / thumb.height;
        int y1 = std::max(y0 + 1, (y + 1) * image.height / thumb.height);
        for (int x = 0; x < thumb.width; ++x) {
            int x0 = x * image.width / thumb.width;
            int x1 = std::max(x0 + 1, (x + 1) * image.width / thumb.width);
            uint32_t sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c)
                        sum[c] +=
                            image.pixels[(static_cast<size_t>(sy) * image.width + sx) * 3 + c];
            uint32_t count = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 3; ++c)
                thumb.pixels[(static_cast<size_t>(y) * thumb.width + x) * 3 + c] =
                    static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return thumb;
}

std::vector<size_t> SheetFrameIndices(size_t frame_count, size_t limit) {
    std::vector<size_t> indices;
    if (frame_count <= limit) {
        for (size_t i = 0; i < frame_count; ++i)
            indices.push_back(i);
        return indices;
    }
    // The first and the last frame are always shown; the rest are spread evenly between.
    for (size_t i = 0; i < limit; ++i)
        indices.push_back((i * (frame_count - 1) + (limit - 1) / 2) / (limit - 1));
    return indices;
}

RgbImage ContactSheet(const std::vector<SheetEntry>& entries) {
    RgbImage sheet;
    if (entries.empty())
        return sheet;
    int cell_width = 0, cell_height = 0;
    for (const SheetEntry& entry : entries) {
        cell_width = std::max(cell_width, entry.thumbnail.width);
        cell_height = std::max(cell_height, entry.thumbnail.height);
    }
    const int count = static_cast<int>(entries.size());
    const int columns = std::min(count, kSheetColumns);
    const int rows = (count + columns - 1) / columns;
    const int step_x = cell_width + kSheetMargin;
    const int step_y = cell_height + kLabelHeight + kSheetMargin;
    sheet.width = kSheetMargin + columns * step_x;
    sheet.height = kSheetMargin + rows * step_y;
    sheet.pixels.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, kSheetBackground);
    for (int i = 0; i < count; ++i) {
        const RgbImage& thumb = entries[i].thumbnail;
        const int left = kSheetMargin + (i % columns) * step_x;
        const int top = kSheetMargin + (i / columns) * step_y;
        for (int y = 0; y < thumb.height; ++y)
            std::memcpy(&sheet.pixels[(static_cast<size_t>(top + y) * sheet.width + left) * 3],
                        &thumb.pixels[static_cast<size_t>(y) * thumb.width * 3],
                        static_cast<size_t>(thumb.width) * 3);
        DrawLabel(sheet, left, top + thumb.height + kSheetMargin / 2, entries[i].time);
    }
    return sheet;
}

} // namespace korvane::korrender
