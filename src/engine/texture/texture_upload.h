// Uploading texture images held in client memory: one level of a 2D texture or cube face,
// and UploadMipChain, which derives the smaller levels of a 2D texture with integer box
// filters, taking a production's own level 1 and level 2 images where it ships them.
#pragma once

#include <cstdint>

#include "texture/image_texture.h"

namespace korvane {

// The GL format of 8-bit image data by its channel count: 1 GL_LUMINANCE, 3 GL_RGB, any
// other count GL_RGBA.
uint32_t ImagePixelFormat(uint32_t channels);

struct MipSize {
    uint32_t width = 0, height = 0;
};

// The size of the level below one of width x height: each side halved (integer division)
// but never below 1, the sizes GL expects of a complete chain.
MipSize NextMipSize(uint32_t width, uint32_t height);

// Whether UploadMipChain processes images of this channel count (1, 3 or 4).
bool MipChainChannels(uint32_t channels);

// Computes one level (width x height, NextMipSize of the previous level) from the level
// above it. A level one pixel wide or high averages pairs of the previous level's pixels
// in memory order; any other level averages 2 x 2 blocks. Sums are integers and the shifts
// truncate, so the result is the same on every machine.
void ComputeMipLevel(const uint8_t* previous, uint32_t previous_width, uint32_t width,
                     uint32_t height, uint32_t channels, uint8_t* level);

// glTexImage2D of one level from tightly packed rows (unpack alignment 1 for the call, 4
// afterwards), so that rows of any byte length upload as they are stored. The pixel format
// follows ImagePixelFormat; the texture must be bound to the target's texture kind.
void UploadTextureLevel(uint32_t target, int level, uint32_t internal_format, uint32_t width,
                        uint32_t height, uint32_t channels, const uint8_t* pixels);

// Computes and uploads levels 1 and below of the 2D texture bound to GL_TEXTURE_2D, whose
// level 0 (width x height, channels) the caller has uploaded; the chain ends with 1 x 1.
// Level 1 and level 2 are copied from the supplied images where given with exactly the
// level's size and the base image's channel count; every level below is derived from the
// one above it. Channel counts other than 1, 3 and 4 upload nothing. level_0 is not changed.
void UploadMipChain(uint32_t width, uint32_t height, const uint8_t* level_0, uint32_t channels,
                    uint32_t internal_format, const DecodedImage* level_1,
                    const DecodedImage* level_2);

} // namespace korvane
