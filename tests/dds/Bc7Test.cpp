#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

#include "BlockBits.h"
#include "BlockDecoders.h"

namespace sorvane::dds {
namespace {

using blocktest::Lerp;
using Rgba = std::array<int, 4>;

// A block and the texels it must give, worked out from its fields.
struct Bc7Case {
    const char* name;
    int mode, partitionBits, partition;
    const char* subsetOfTexel;  // the partition's row in the format's table
    std::vector<int> anchors;
    int colourBits, alphaBits;  // alpha bits 0: alpha is 255
    std::vector<Rgba> ends;     // as stored, two per subset
    std::vector<int> pBits;     // one per endpoint, or one per subset when shared
    int indexBits;
    std::array<int, 16> index;
    int rotation = 0, selector = 0, index2Bits = 0;  // modes 4 and 5
    std::array<int, 16> index2 = {};
};

void PrintTo(const Bc7Case& c, std::ostream* os) { *os << c.name; }

// An n-bit endpoint value widened to a byte by repeating its top bits below it.
int Widen(int v, int n) { return v << (8 - n) | v >> (2 * n - 8); }

const int* Weights(int bits) {
    return bits == 2 ? blocktest::kWeights2 : bits == 3 ? blocktest::kWeights3 : blocktest::kWeights4;
}

class Bc7 : public ::testing::TestWithParam<Bc7Case> {};

TEST_P(Bc7, DecodesEveryTexel) {
    const Bc7Case& c = GetParam();
    blocktest::BlockWriter block;
    block.Put(1 << c.mode, c.mode + 1).Put(c.partition, c.partitionBits);
    if (c.index2Bits) block.Put(c.rotation, 2).Put(c.selector, c.mode == 4 ? 1 : 0);
    for (int channel = 0; channel < 4; ++channel) {
        for (const Rgba& end : c.ends) block.Put(end[channel], channel < 3 ? c.colourBits : c.alphaBits);
    }
    for (int p : c.pBits) block.Put(p, 1);
    block.PutIndices(c.index, c.indexBits, c.anchors);
    if (c.index2Bits) block.PutIndices(c.index2, c.index2Bits, {0});
    ASSERT_EQ(block.Position(), 128);

    const int hasP = c.pBits.empty() ? 0 : 1;
    std::vector<Rgba> ends;
    for (size_t e = 0; e < c.ends.size(); ++e) {
        const int p = hasP ? c.pBits[c.pBits.size() < c.ends.size() ? e / 2 : e] : 0;
        Rgba end;
        for (int ch = 0; ch < 4; ++ch) {
            const int bits = ch < 3 ? c.colourBits : c.alphaBits;
            end[ch] = bits ? Widen(c.ends[e][ch] << hasP | p, bits + hasP) : 255;
        }
        ends.push_back(end);
    }
    // The selector gives colour the second index set; alpha takes the one colour does not.
    const bool colour2 = c.selector, alpha2 = c.index2Bits && !c.selector;
    uint8_t bgra[kBlockOutputBytes];
    DecodeBc7Block(block.Data(), bgra);
    for (int t = 0; t < 16; ++t) {
        const int s = c.subsetOfTexel[t] - '0';
        Rgba expected;
        for (int ch = 0; ch < 4; ++ch) {
            const bool second = ch < 3 ? colour2 : alpha2;
            const int weight = Weights(second ? c.index2Bits : c.indexBits)[second ? c.index2[t] : c.index[t]];
            expected[ch] = Lerp(ends[2 * s][ch], ends[2 * s + 1][ch], weight);
        }
        if (c.rotation) std::swap(expected[3], expected[c.rotation - 1]);
        EXPECT_EQ((Rgba{bgra[4 * t + 2], bgra[4 * t + 1], bgra[4 * t], bgra[4 * t + 3]}), expected) << "texel " << t;
    }
}

// Each subset's anchor index is stored a bit short, and only the format's table says which
// texel that is: the partitions here put it elsewhere than the subset's first texel, and the
// three-subset ones list their anchors in the opposite order to their texels.
const Bc7Case kCases[] = {
    {"Mode0ThreeSubsetsPBits", 0, 4, 2, "0000200122112211", {0, 8, 15}, 4, 0,
     {{1, 2, 3, 0}, {14, 13, 12, 0}, {5, 0, 9, 0}, {10, 15, 2, 0}, {0, 7, 15, 0}, {15, 8, 0, 0}},
     {1, 0, 0, 1, 1, 0}, 3, {0, 1, 2, 3, 4, 5, 6, 7, 3, 6, 5, 4, 3, 2, 1, 2}},
    {"Mode1SharedPBits", 1, 6, 17, "0111000100000000", {0, 2}, 6, 0,
     {{0, 63, 10, 0}, {63, 0, 50, 0}, {20, 40, 60, 0}, {33, 1, 7, 0}},
     {1, 0}, 3, {0, 7, 3, 5, 1, 2, 6, 4, 7, 6, 5, 4, 3, 2, 1, 0}},
    {"Mode2AnchorsBeforeTheirOrder", 2, 6, 24, "0122012200110000", {0, 3, 5}, 5, 0,
     {{31, 0, 7, 0}, {0, 31, 24, 0}, {16, 8, 4, 0}, {2, 30, 17, 0}, {9, 9, 9, 0}, {27, 3, 12, 0}},
     {}, 2, {0, 3, 2, 1, 2, 0, 3, 1, 3, 2, 1, 3, 2, 1, 0, 3}},
    {"Mode3AnchorAt8", 3, 6, 35, "0011001111001100", {0, 8}, 7, 0,
     {{127, 0, 64, 0}, {1, 126, 63, 0}, {100, 50, 25, 0}, {12, 111, 90, 0}},
     {0, 1, 1, 0}, 2, {0, 1, 2, 3, 3, 2, 1, 0, 1, 3, 2, 0, 1, 2, 3, 0}},
    {"Mode4AlphaIndicesRotatedIntoRed", 4, 0, 0, "0000000000000000", {0}, 5, 6,
     {{3, 30, 17, 40}, {28, 5, 31, 58}}, {}, 2, {1, 3, 2, 0, 3, 1, 0, 2, 2, 3, 0, 1, 1, 0, 3, 2},
     1, 0, 3, {3, 7, 0, 5, 6, 1, 4, 2, 7, 0, 5, 3, 1, 6, 2, 4}},
    {"Mode4SelectorAndGreenRotation", 4, 0, 0, "0000000000000000", {0}, 5, 6,
     {{3, 30, 17, 40}, {28, 5, 31, 58}}, {}, 2, {1, 3, 2, 0, 3, 1, 0, 2, 2, 3, 0, 1, 1, 0, 3, 2},
     2, 1, 3, {3, 7, 0, 5, 6, 1, 4, 2, 7, 0, 5, 3, 1, 6, 2, 4}},
    {"Mode5", 5, 0, 0, "0000000000000000", {0}, 7, 8, {{3, 120, 64, 9}, {127, 0, 77, 250}}, {}, 2,
     {1, 3, 2, 0, 3, 1, 0, 2, 2, 3, 0, 1, 1, 0, 3, 2}, 0, 0, 2, {0, 1, 3, 2, 1, 0, 3, 3, 2, 1, 0, 0, 1, 2, 3, 1}},
    {"Mode5BlueRotation", 5, 0, 0, "0000000000000000", {0}, 7, 8, {{3, 120, 64, 9}, {127, 0, 77, 250}}, {}, 2,
     {1, 3, 2, 0, 3, 1, 0, 2, 2, 3, 0, 1, 1, 0, 3, 2}, 3, 0, 2, {0, 1, 3, 2, 1, 0, 3, 3, 2, 1, 0, 0, 1, 2, 3, 1}},
    {"Mode6Alpha4BitIndices", 6, 0, 0, "0000000000000000", {0}, 7, 7,
     {{16, 0, 127, 127}, {112, 127, 0, 5}}, {1, 0}, 4, {7, 15, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14}},
    {"Mode7AlphaTwoSubsets", 7, 6, 16, "0000100011101111", {0, 15}, 5, 5,
     {{31, 0, 3, 31}, {0, 31, 28, 0}, {10, 20, 30, 15}, {25, 5, 1, 16}},
     {0, 1, 1, 0}, 2, {0, 3, 2, 1, 3, 2, 1, 0, 2, 3, 1, 0, 1, 2, 3, 1}},
};

INSTANTIATE_TEST_SUITE_P(Modes, Bc7, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Bc7Block, ReservedModeIsTransparentBlack) {
    uint8_t block[16];
    std::fill(block, block + 16, 0xFF);
    block[0] = 0;
    uint8_t bgra[kBlockOutputBytes];
    std::fill(bgra, bgra + kBlockOutputBytes, 0x55);
    DecodeBc7Block(block, bgra);
    for (uint8_t b : bgra) EXPECT_EQ(b, 0);
}

}  // namespace
}  // namespace sorvane::dds
