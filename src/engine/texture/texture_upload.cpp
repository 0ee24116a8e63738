#include "texture/texture_upload.h"

#include <cstring>
#include <vector>

#include "gl/gl.h"

namespace korvane {

namespace {

// The alignment GL assumes for client images unless told otherwise.
constexpr GLint kDefaultUnpackAlignment = 4;

size_t LevelBytes(uint32_t width, uint32_t height, uint32_t channels) {
    return static_cast<size_t>(width) * height * channels;
}

// A supplied level is used only when it is exactly the level the chain needs.
const uint8_t* SuppliedPixels(const DecodedImage* supplied, MipSize size, uint32_t channels) {
    if (supplied == nullptr || supplied->width != size.width || supplied->height != size.height ||
        supplied->channels != channels ||
        supplied->pixels.size() != LevelBytes(size.width, size.height, channels))
        return nullptr;
    return supplied->pixels.data();
}

} // namespace

uint32_t ImagePixelFormat(uint32_t channels) {
    if (channels == 1)
        return GL_LUMINANCE;
    if (channels == 3)
        return GL_RGB;
    return GL_RGBA;
}

MipSize NextMipSize(uint32_t width, uint32_t height) {
    return {width > 1 ? width / 2 : 1, height > 1 ? height / 2 : 1};
}

bool MipChainChannels(uint32_t channels) {
    return channels == 1 || channels == 3 || channels == 4;
}

void ComputeMipLevel(const uint8_t* previous, uint32_t previous_width, uint32_t width,
                     uint32_t height, uint32_t channels, uint8_t* level) {
    if (width == 1 || height == 1) {
        const size_t values = LevelBytes(width, height, channels);
        for (size_t pixel = 0, v = 0; v < values; ++pixel) {
            const uint8_t* pair = previous + 2 * pixel * channels;
            for (uint32_t c = 0; c < channels; ++c, ++v)
                level[v] = static_cast<uint8_t>((pair[c] + pair[channels + c]) >> 1);
        }
        return;
    }
    const size_t previous_row = static_cast<size_t>(previous_width) * channels;
    const size_t row_values = static_cast<size_t>(width) * channels;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* top = previous + 2 * y * previous_row;
        const uint8_t* bottom = top + previous_row;
        uint8_t* out = level + y * row_values;
        for (uint32_t x = 0; x < width; ++x) {
            const size_t left = 2 * static_cast<size_t>(x) * channels;
            const size_t right = left + channels;
            for (uint32_t c = 0; c < channels; ++c)
                out[x * channels + c] = static_cast<uint8_t>(
                    (top[left + c] + top[right + c] + bottom[left + c] + bottom[right + c]) >> 2);
        }
    }
}

void UploadTextureLevel(uint32_t target, int level, uint32_t internal_format, uint32_t width,
                        uint32_t height, uint32_t channels, const uint8_t* pixels) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(target, level, static_cast<GLint>(internal_format), static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, ImagePixelFormat(channels), GL_UNSIGNED_BYTE,
                 pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, kDefaultUnpackAlignment);
}

void UploadMipChain(uint32_t width, uint32_t height, const uint8_t* level_0, uint32_t channels,
                    uint32_t internal_format, const DecodedImage* level_1,
                    const DecodedImage* level_2) {
    if (!MipChainChannels(channels) || width == 0 || height == 0 || level_0 == nullptr) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, kDefaultUnpackAlignment);
        return;
    }
    // Two levels at a time: the one above and the one being made.
    std::vector<uint8_t> previous(level_0, level_0 + LevelBytes(width, height, channels));
    std::vector<uint8_t> current;
    MipSize above{width, height};
    for (int level = 1; above.width > 1 || above.height > 1; ++level) {
        const MipSize size = NextMipSize(above.width, above.height);
        current.resize(LevelBytes(size.width, size.height, channels));
        const uint8_t* supplied = level == 1   ? SuppliedPixels(level_1, size, channels)
                                  : level == 2 ? SuppliedPixels(level_2, size, channels)
                                               : nullptr;
        if (supplied != nullptr)
            std::memcpy(current.data(), supplied, current.size());
        else
            ComputeMipLevel(previous.data(), above.width, size.width, size.height, channels,
                            current.data());
        UploadTextureLevel(GL_TEXTURE_2D, level, internal_format, size.width, size.height, channels,
                           current.data());
        previous.swap(current);
        above = size;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, kDefaultUnpackAlignment);
}

} // namespace korvane
