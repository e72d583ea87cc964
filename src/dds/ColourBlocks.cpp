// BC1 to BC5 in plain C++: the colours and levels of a block worked out once, then each texel
// a table look-up stored as one word straight into its row.

#include <algorithm>
#include <cstring>

#include "BitReader.h"
#include "BlockDecoders.h"
#include "ColourLevels.h"

namespace sorvane::dds {

using namespace colour;

namespace {

// Stores texel(t) for the 16 texels of a block, four rows `stride` apart.
template <typename Texel>
inline void PutBlock(uint8_t* out, ptrdiff_t stride, const Texel& texel) {
    for (int y = 0; y < 4; ++y, out += stride) {
        StoreLe32(out, texel(4 * y));
        StoreLe32(out + 4, texel(4 * y + 1));
        StoreLe32(out + 8, texel(4 * y + 2));
        StoreLe32(out + 12, texel(4 * y + 3));
    }
}

// A channel block's levels as the words they give: level << shift, with `fill` set.
inline void LevelWords(const uint8_t* block, bool isSigned, uint32_t multiplier, uint32_t fill, uint32_t* words) {
    const uint64_t levels = ChannelLevels(block, isSigned);
    for (int i = 0; i < 8; ++i) words[i] = static_cast<uint32_t>(levels >> (8 * i) & 0xFF) * multiplier | fill;
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

}  // namespace

namespace portable {

void Bc1(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 8, out += 16) {
        uint32_t palette[4];
        ColourPalette(blocks, true, 0xFF000000, palette);
        const uint32_t colours = ColourIndices(blocks);
        PutBlock(out, stride, [&](int t) { return palette[colours >> (2 * t) & 3]; });
    }
}

void Bc2(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        uint32_t palette[4];
        ColourPalette(blocks + 8, false, 0, palette);
        const uint32_t colours = ColourIndices(blocks + 8);
        const uint64_t alphas = LoadLe64(blocks);
        // A 4-bit alpha n shows as n * 17.
        PutBlock(out, stride, [&](int t) {
            return palette[colours >> (2 * t) & 3] | static_cast<uint32_t>(alphas >> (4 * t) & 15) * 0x11000000;
        });
    }
}

void Bc3(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        uint32_t palette[4], alpha[8];
        ColourPalette(blocks + 8, false, 0, palette);
        LevelWords(blocks, false, 1u << 24, 0, alpha);
        const uint32_t colours = ColourIndices(blocks + 8);
        const uint64_t alphas = ChannelIndices(blocks);
        PutBlock(out, stride, [&](int t) { return palette[colours >> (2 * t) & 3] | alpha[alphas >> (3 * t) & 7]; });
    }
}

template <bool Signed>
void Bc4(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 8, out += 16) {
        uint32_t grey[8];
        LevelWords(blocks, Signed, 0x010101, 0xFF000000, grey);
        const uint64_t levels = ChannelIndices(blocks);
        PutBlock(out, stride, [&](int t) { return grey[levels >> (3 * t) & 7]; });
    }
}
template void Bc4<false>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
template void Bc4<true>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;

template <bool Signed>
void Bc5(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        uint32_t red[8], green[8];
        LevelWords(blocks, Signed, 1u << 16, 0, red);
        LevelWords(blocks + 8, Signed, 1u << 8, 0xFF000000, green);
        const uint64_t reds = ChannelIndices(blocks), greens = ChannelIndices(blocks + 8);
        PutBlock(out, stride, [&](int t) { return red[reds >> (3 * t) & 7] | green[greens >> (3 * t) & 7]; });
    }
}
template void Bc5<false>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
template void Bc5<true>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;

}  // namespace portable

void DecodeBc5BlockVectors(const uint8_t* block, bool isSigned, double* xy) noexcept {
    ChannelVectors(block, isSigned, xy, 2);
    ChannelVectors(block + 8, isSigned, xy + 1, 2);
}

}  // namespace sorvane::dds
