// BC1 to BC5: colour blocks of two 5-6-5 endpoints and 2-bit indices, and channel blocks of two
// 8-bit endpoints and 3-bit indices. Endpoints widen by bit replication and interpolate with
// truncating integer division, as the common decoders of these formats do.

#include <algorithm>
#include <cstring>

#include "BitReader.h"
#include "BlockDecoders.h"

namespace sorvane::dds {

namespace {

uint32_t Widen565(uint32_t c) {
    const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return (b << 3 | b >> 2) | (g << 2 | g >> 4) << 8 | (r << 3 | r >> 2) << 16;
}

// (a * wa + b * wb) / divisor per byte of blue, green, red.
uint32_t Mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, uint32_t divisor) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * wa + cb * wb) / divisor) << shift;
    }
    return out;
}

// The colour half of BC1, BC2 and BC3 as 16 words 0xAARRGGBB. BC1 alone has the three-colour
// mode with transparent black; the others always have four colours.
void DecodeColours(const uint8_t* block, bool allowThreeColours, uint32_t* texels) {
    const uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    const uint32_t e0 = Widen565(c0), e1 = Widen565(c1);
    uint32_t palette[4] = {e0 | 0xFF000000, e1 | 0xFF000000, 0, 0};
    if (c0 > c1 || !allowThreeColours) {
        palette[2] = Mix(e0, e1, 2, 1, 3) | 0xFF000000;
        palette[3] = Mix(e0, e1, 1, 2, 3) | 0xFF000000;
    } else {
        palette[2] = Mix(e0, e1, 1, 1, 2) | 0xFF000000;
        palette[3] = 0;  // transparent black
    }
    const uint32_t indices = block[4] | block[5] << 8 | block[6] << 16 | uint32_t{block[7]} << 24;
    for (int i = 0; i < kBlockTexels; ++i) texels[i] = palette[(indices >> (2 * i)) & 3];
}

// Eight levels between two 8-bit endpoints (six and 0, 255 when e0 <= e1), as integers.
void ChannelLevels(int e0, int e1, int* levels) {
    levels[0] = e0;
    levels[1] = e1;
    if (e0 > e1) {
        for (int i = 1; i < 7; ++i) levels[i + 1] = (e0 * (7 - i) + e1 * i) / 7;
    } else {
        for (int i = 1; i < 5; ++i) levels[i + 1] = (e0 * (5 - i) + e1 * i) / 5;
        levels[6] = 0;
        levels[7] = 255;
    }
}

// A signed channel: the same levels between -127 and 127 (a stored -128 is -127), the
// extremes -127 and 127, then shown as (x + 1) / 2 in bytes, rounded.
void SignedChannelLevels(int8_t s0, int8_t s1, uint8_t* shown) {
    const int e0 = s0 < -127 ? -127 : s0, e1 = s1 < -127 ? -127 : s1;
    int levels[8] = {e0, e1};
    if (e0 > e1) {
        for (int i = 1; i < 7; ++i) levels[i + 1] = (e0 * (7 - i) + e1 * i) / 7;
    } else {
        for (int i = 1; i < 5; ++i) levels[i + 1] = (e0 * (5 - i) + e1 * i) / 5;
        levels[6] = -127;
        levels[7] = 127;
    }
    // (x / 127 + 1) / 2 * 255 = (x + 127) * 255 / 254, rounded to nearest.
    for (int i = 0; i < 8; ++i) shown[i] = static_cast<uint8_t>(((levels[i] + 127) * 255 * 2 + 254) / 508);
}

// One channel block (8 bytes): 16 values, through the levels of its endpoints.
void DecodeChannel(const uint8_t* block, bool isSigned, uint8_t* values) {
    uint8_t levels[8];
    if (isSigned) {
        SignedChannelLevels(static_cast<int8_t>(block[0]), static_cast<int8_t>(block[1]), levels);
    } else {
        int wide[8];
        ChannelLevels(block[0], block[1], wide);
        for (int i = 0; i < 8; ++i) levels[i] = static_cast<uint8_t>(wide[i]);
    }
    uint64_t indices = 0;
    for (int i = 7; i >= 2; --i) indices = indices << 8 | block[i];
    for (int i = 0; i < kBlockTexels; ++i) values[i] = levels[(indices >> (3 * i)) & 7];
}

// One channel block's 16 values at full precision, in [-1, 1], every `step` doubles of `values`:
// the levels of DecodeChannel before they are rounded to bytes.
void ChannelVectors(const uint8_t* block, bool isSigned, double* values, int step) {
    double e0 = block[0], e1 = block[1], low = 0, high = 255;
    if (isSigned) {
        // A stored -128 is -127.
        e0 = std::max(-127, int{static_cast<int8_t>(block[0])});
        e1 = std::max(-127, int{static_cast<int8_t>(block[1])});
        low = -127;
        high = 127;
    }
    double levels[8] = {e0, e1};
    const int steps = e0 > e1 ? 7 : 5;
    for (int i = 1; i < steps; ++i) levels[i + 1] = (e0 * (steps - i) + e1 * i) / steps;
    if (steps == 5) {
        levels[6] = low;
        levels[7] = high;
    }
    for (double& level : levels) level = isSigned ? level / 127 : 2 * (level / 255) - 1;
    uint64_t indices = 0;
    for (int i = 7; i >= 2; --i) indices = indices << 8 | block[i];
    for (int i = 0; i < kBlockTexels; ++i) values[step * i] = levels[(indices >> (3 * i)) & 7];
}

void StoreTexels(const uint32_t* texels, uint8_t* bgra) {
    for (int i = 0; i < kBlockTexels; ++i) StoreLe32(bgra + 4 * i, texels[i]);
}

}  // namespace

void DecodeBc1Block(const uint8_t* block, uint8_t* bgra) noexcept {
    uint32_t texels[kBlockTexels];
    DecodeColours(block, true, texels);
    StoreTexels(texels, bgra);
}

void DecodeBc2Block(const uint8_t* block, uint8_t* bgra) noexcept {
    uint32_t texels[kBlockTexels];
    DecodeColours(block + 8, false, texels);
    for (int i = 0; i < kBlockTexels; ++i) {
        const uint32_t nibble = (block[i / 2] >> (4 * (i & 1))) & 15;
        texels[i] = (texels[i] & 0xFFFFFF) | (nibble * 17) << 24;
    }
    StoreTexels(texels, bgra);
}

void DecodeBc3Block(const uint8_t* block, uint8_t* bgra) noexcept {
    uint32_t texels[kBlockTexels];
    DecodeColours(block + 8, false, texels);
    uint8_t alpha[kBlockTexels];
    DecodeChannel(block, false, alpha);
    for (int i = 0; i < kBlockTexels; ++i) texels[i] = (texels[i] & 0xFFFFFF) | uint32_t{alpha[i]} << 24;
    StoreTexels(texels, bgra);
}

void DecodeBc4Block(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept {
    uint8_t grey[kBlockTexels];
    DecodeChannel(block, isSigned, grey);
    for (int i = 0; i < kBlockTexels; ++i) {
        const uint32_t g = grey[i];
        StoreLe32(bgra + 4 * i, g | g << 8 | g << 16 | 0xFF000000);
    }
}

void DecodeBc5Block(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept {
    uint8_t red[kBlockTexels], green[kBlockTexels];
    DecodeChannel(block, isSigned, red);
    DecodeChannel(block + 8, isSigned, green);
    for (int i = 0; i < kBlockTexels; ++i) {
        StoreLe32(bgra + 4 * i, uint32_t{green[i]} << 8 | uint32_t{red[i]} << 16 | 0xFF000000);
    }
}

void DecodeBc5BlockVectors(const uint8_t* block, bool isSigned, double* xy) noexcept {
    ChannelVectors(block, isSigned, xy, 2);
    ChannelVectors(block + 8, isSigned, xy + 1, 2);
}

}  // namespace sorvane::dds
