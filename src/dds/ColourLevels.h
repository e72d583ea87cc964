#pragma once
// What every path of the BC1 to BC5 runs works out once a block: the four colours of a colour
// block, the eight levels of a channel block, and their indices. Endpoints widen by bit
// replication and interpolate with truncating integer division, as the common decoders of
// these formats do.

#include <cstdint>

#include "BitReader.h"

namespace sorvane::dds::colour {

inline uint32_t Widen565(uint32_t c) {
    const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return (b << 3 | b >> 2) | (g << 2 | g >> 4) << 8 | (r << 3 | r >> 2) << 16;
}

// (a * wa + b * wb) / divisor per byte of blue, green, red.
inline uint32_t Mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, uint32_t divisor) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * wa + cb * wb) / divisor) << shift;
    }
    return out;
}

// The colours of a colour block (8 bytes) as words 0xAARRGGBB. BC1 alone has the three-colour
// mode (colour 0 <= colour 1) with transparent black; the others always have four colours.
// Alpha is `alpha` for each colour but transparent black.
inline void ColourPalette(const uint8_t* block, bool allowThreeColours, uint32_t alpha, uint32_t* palette) {
    const uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    const uint32_t e0 = Widen565(c0), e1 = Widen565(c1);
    const bool four = c0 > c1 || !allowThreeColours;
    palette[0] = e0 | alpha;
    palette[1] = e1 | alpha;
    palette[2] = (four ? Mix(e0, e1, 2, 1, 3) : Mix(e0, e1, 1, 1, 2)) | alpha;
    palette[3] = four ? Mix(e0, e1, 1, 2, 3) | alpha : 0;
}

// The 2-bit indices of a colour block, texel 0 lowest.
inline uint32_t ColourIndices(const uint8_t* block) {
    return block[4] | block[5] << 8 | block[6] << 16 | uint32_t{block[7]} << 24;
}

// The eight levels of a channel block (8 bytes), level i in byte i: six between the endpoints
// and 0, 255 when e0 <= e1. A signed block's levels lie between -127 and 127 (a stored -128 is
// -127) and show as (x + 1) / 2, rounded. Built in a register: a look-up of stored bytes just
// written would wait for the stores.
inline uint64_t ChannelLevels(const uint8_t* block, bool isSigned) {
    int e0 = block[0], e1 = block[1], low = 0, high = 255;
    if (isSigned) {
        e0 = static_cast<int8_t>(block[0]) < -127 ? -127 : static_cast<int8_t>(block[0]);
        e1 = static_cast<int8_t>(block[1]) < -127 ? -127 : static_cast<int8_t>(block[1]);
        low = -127;
        high = 127;
    }
    int levels[8] = {e0, e1};
    if (e0 > e1) {
        for (int i = 1; i < 7; ++i) levels[i + 1] = (e0 * (7 - i) + e1 * i) / 7;
    } else {
        for (int i = 1; i < 5; ++i) levels[i + 1] = (e0 * (5 - i) + e1 * i) / 5;
        levels[6] = low;
        levels[7] = high;
    }
    uint64_t shown = 0;
    for (int i = 0; i < 8; ++i) {
        // (x / 127 + 1) / 2 * 255 = (x + 127) * 255 / 254, rounded to nearest.
        const int level = isSigned ? ((levels[i] + 127) * 255 * 2 + 254) / 508 : levels[i];
        shown |= static_cast<uint64_t>(level) << (8 * i);
    }
    return shown;
}

// The 3-bit indices of a channel block, texel 0 lowest (48 bits).
inline uint64_t ChannelIndices(const uint8_t* block) { return LoadLe64(block) >> 16; }

}  // namespace sorvane::dds::colour
