#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "BlockDecoders.h"

namespace sorvane::dds {
namespace {

using Texel = std::array<int, 4>;  // blue, green, red, alpha
using Decode = void (*)(const uint8_t*, uint8_t*);

// A block whose texel i takes palette entry `pick[i]`; the palette is worked out by hand from
// the endpoints.
struct BlockCase {
    const char* name;
    Decode decode;
    std::vector<uint8_t> block;
    std::vector<Texel> palette;
    std::array<int, 16> pick;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }

void Bc4(const uint8_t* b, uint8_t* out) { DecodeBc4Block(b, false, out); }
void Bc4Signed(const uint8_t* b, uint8_t* out) { DecodeBc4Block(b, true, out); }
void Bc5(const uint8_t* b, uint8_t* out) { DecodeBc5Block(b, false, out); }
void Bc5Signed(const uint8_t* b, uint8_t* out) { DecodeBc5Block(b, true, out); }

constexpr std::array<int, 16> kIndexOfTexel = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
constexpr std::array<int, 16> kEightLevels = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
// 2-bit indices 0, 1, 2, 3 repeated: 0b11100100 per byte.
const std::vector<uint8_t> kColourIndices = {0xE4, 0xE4, 0xE4, 0xE4};
// 3-bit indices 0..7 then 7..0.
const std::vector<uint8_t> kChannelIndices = {0x88, 0xC6, 0xFA, 0x77, 0x39, 0x05};

std::vector<uint8_t> Join(std::vector<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Texel Grey(int v) { return {v, v, v, 255}; }

const BlockCase kCases[] = {
    // 5-6-5 endpoints widen by bit replication: red 3 is 24 (rounding would give 25), green 40
    // is 162; four colours at 1/3 and 2/3, truncated.
    {"BC1 four colours", DecodeBc1Block, Join({{0x00, 0x1D, 0x1F, 0x00}, kColourIndices}),
     {{0, 162, 24, 255}, {255, 0, 0, 255}, {85, 108, 16, 255}, {170, 54, 8, 255}}, kIndexOfTexel},
    // Colour 0 <= colour 1: the midpoint and transparent black.
    {"BC1 three colours", DecodeBc1Block, Join({{0x1F, 0x00, 0x00, 0xF8}, kColourIndices}),
     {{255, 0, 0, 255}, {0, 0, 255, 255}, {127, 0, 127, 255}, {0, 0, 0, 0}}, kIndexOfTexel},
    // BC2 and BC3 read colour 0 <= colour 1 with four colours; BC2's alpha nibbles are x 17.
    {"BC2", DecodeBc2Block, Join({{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}, {0x1F, 0x00, 0x00, 0xF8}, {0, 0, 0, 0}}),
     {{255, 0, 0, 0}, {255, 0, 0, 17}, {255, 0, 0, 34}, {255, 0, 0, 51}, {255, 0, 0, 68}, {255, 0, 0, 85},
      {255, 0, 0, 102}, {255, 0, 0, 119}, {255, 0, 0, 136}, {255, 0, 0, 153}, {255, 0, 0, 170}, {255, 0, 0, 187},
      {255, 0, 0, 204}, {255, 0, 0, 221}, {255, 0, 0, 238}, {255, 0, 0, 255}},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
    {"BC3 eight alpha levels", DecodeBc3Block, Join({{200, 10}, kChannelIndices, {0x1F, 0x00, 0x00, 0xF8}, kColourIndices}),
     {{255, 0, 0, 200}, {0, 0, 255, 10}, {170, 0, 85, 172}, {85, 0, 170, 145}, {255, 0, 0, 118}, {0, 0, 255, 91},
      {170, 0, 85, 64}, {85, 0, 170, 37}, {255, 0, 0, 37}, {0, 0, 255, 64}, {170, 0, 85, 91}, {85, 0, 170, 118},
      {255, 0, 0, 145}, {0, 0, 255, 172}, {170, 0, 85, 10}, {85, 0, 170, 200}},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
    // a0 <= a1: six levels between them, then 0 and 255.
    {"BC4 six levels", Bc4, Join({{10, 200}, kChannelIndices}),
     {Grey(10), Grey(200), Grey(48), Grey(86), Grey(124), Grey(162), Grey(0), Grey(255)}, kEightLevels},
    {"BC4 eight levels", Bc4, Join({{200, 10}, kChannelIndices}),
     {Grey(200), Grey(10), Grey(172), Grey(145), Grey(118), Grey(91), Grey(64), Grey(37)}, kEightLevels},
    // Signed: -128 reads as -127; levels truncate toward zero, then show as (x + 1) / 2.
    {"BC4 signed six levels", Bc4Signed, Join({{0x80, 0x7F}, kChannelIndices}),
     {Grey(0), Grey(255), Grey(51), Grey(102), Grey(153), Grey(204), Grey(0), Grey(255)}, kEightLevels},
    {"BC4 signed eight levels", Bc4Signed, Join({{0x7F, 0x81}, kChannelIndices}),
     {Grey(255), Grey(0), Grey(218), Grey(182), Grey(146), Grey(109), Grey(73), Grey(37)}, kEightLevels},
    // Red and green from two channel blocks; blue is 0.
    {"BC5", Bc5, Join({{200, 10}, kChannelIndices, {10, 200}, kChannelIndices}),
     {{0, 10, 200, 255}, {0, 200, 10, 255}, {0, 48, 172, 255}, {0, 86, 145, 255}, {0, 124, 118, 255},
      {0, 162, 91, 255}, {0, 0, 64, 255}, {0, 255, 37, 255}},
     kEightLevels},
    {"BC5 signed", Bc5Signed, Join({{0x81, 0x80}, kChannelIndices, {0x00, 0x00}, kChannelIndices}),
     {{0, 128, 0, 255}, {0, 128, 0, 255}, {0, 128, 0, 255}, {0, 128, 0, 255}, {0, 128, 0, 255}, {0, 128, 0, 255},
      {0, 0, 0, 255}, {0, 255, 255, 255}},
     kEightLevels},
};

class ColourBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(ColourBlocks, GiveTheWorkedOutTexels) {
    const BlockCase& c = GetParam();
    uint8_t out[kBlockOutputBytes];
    c.decode(c.block.data(), out);
    for (int i = 0; i < kBlockTexels; ++i) {
        const Texel& want = c.palette.at(c.pick[i]);
        EXPECT_EQ((Texel{out[4 * i], out[4 * i + 1], out[4 * i + 2], out[4 * i + 3]}), want) << "texel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ColourBlocks, testing::ValuesIn(kCases));

}  // namespace
}  // namespace sorvane::dds
