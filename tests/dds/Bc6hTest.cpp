#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "BlockBits.h"
#include "BlockDecoders.h"

namespace sorvane::dds {
namespace {

using blocktest::BlockWriter;
using blocktest::Lerp;
using Halves = std::array<uint16_t, 48>;

// The blocks below are put together field by field from the format's documentation of each
// mode's header (Put writes a field from its lowest bit up; PutReversed from its highest bit
// down, as the documentation's "rw[10:15]"). The endpoints each block decodes to, and their
// halves, are worked out by hand in the comments; the decoder's own mode table plays no part.

// `bits` bits of `value`, the highest first.
BlockWriter& PutReversed(BlockWriter& block, int value, int bits) {
    for (int bit = bits - 1; bit >= 0; --bit) block.Put(value >> bit & 1, 1);
    return block;
}

// Two-region blocks use partition 17: region 1 is texels 1, 2, 3 and 7, and its anchor is
// texel 2, not its first texel (1). Every region has a texel of index 0 and one of the
// largest index, so each endpoint shows as it is.
constexpr char kRegionOfTexel[] = "0111000100000000";
constexpr std::array<int, 16> kIndex3 = {0, 7, 3, 0, 5, 4, 1, 2, 7, 0, 6, 5, 4, 3, 2, 6};
constexpr std::array<int, 16> kIndex4 = {7, 15, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14};

BlockWriter& PutTwoRegionIndices(BlockWriter& block) { return block.Put(17, 5).PutIndices(kIndex3, 3, {0, 2}); }
BlockWriter& PutOneRegionIndices(BlockWriter& block) { return block.PutIndices(kIndex4, 4, {0}); }

// Mode 11 (code 00011): ten-bit endpoints as they are, one region.
BlockWriter Code3(const std::array<int, 6>& e) {
    BlockWriter block;
    block.Put(3, 5);
    for (int v : e) block.Put(v, 10);
    return PutOneRegionIndices(block);
}

// Mode 12 (code 00111): an 11-bit base, 9-bit deltas; the base's bit 10 follows each delta.
BlockWriter Code7(int rw, int gw, int bw, int rx, int gx, int bx) {
    BlockWriter block;
    block.Put(7, 5).Put(rw, 10).Put(gw, 10).Put(bw, 10);
    block.Put(rx, 9).Put(rw >> 10, 1).Put(gx, 9).Put(gw >> 10, 1).Put(bx, 9).Put(bw >> 10, 1);
    return PutOneRegionIndices(block);
}

// Mode 14 (code 01111): a 16-bit base, 4-bit deltas; bits 15 down to 10 of the base follow
// each delta.
BlockWriter Code15(int rw, int gw, int bw, int rx = 0, int gx = 0, int bx = 0) {
    BlockWriter block;
    block.Put(15, 5).Put(rw, 10).Put(gw, 10).Put(bw, 10);
    PutReversed(block.Put(rx, 4), rw >> 10, 6);
    PutReversed(block.Put(gx, 4), gw >> 10, 6);
    PutReversed(block.Put(bx, 4), bw >> 10, 6);
    return PutOneRegionIndices(block);
}

// Mode 1 (code 00): a 10-bit base w, 5-bit deltas x, y, z, two regions.
struct Code0Fields {
    int rw, gw, bw, rx, gx, bx, ry, gy, by, rz, gz, bz;
};
BlockWriter Code0(const Code0Fields& f) {
    BlockWriter block;
    block.Put(0, 2).Put(f.gy >> 4, 1).Put(f.by >> 4, 1).Put(f.bz >> 4, 1);
    block.Put(f.rw, 10).Put(f.gw, 10).Put(f.bw, 10);
    block.Put(f.rx, 5).Put(f.gz >> 4, 1).Put(f.gy, 4).Put(f.gx, 5).Put(f.bz, 1).Put(f.gz, 4);
    block.Put(f.bx, 5).Put(f.bz >> 1, 1).Put(f.by, 4).Put(f.ry, 5).Put(f.bz >> 2, 1).Put(f.rz, 5).Put(f.bz >> 3, 1);
    return PutTwoRegionIndices(block);
}

// Mode 10 (code 11110): 6-bit endpoints as they are, two regions, the bits of y and z spread
// over the header.
BlockWriter Code30(const Code0Fields& f) {
    BlockWriter block;
    block.Put(30, 5).Put(f.rw, 6).Put(f.gz >> 4, 1).Put(f.bz, 1).Put(f.bz >> 1, 1).Put(f.by >> 4, 1);
    block.Put(f.gw, 6).Put(f.gy >> 5, 1).Put(f.by >> 5, 1).Put(f.bz >> 2, 1).Put(f.gy >> 4, 1);
    block.Put(f.bw, 6).Put(f.gz >> 5, 1).Put(f.bz >> 3, 1).Put(f.bz >> 5, 1).Put(f.bz >> 4, 1);
    block.Put(f.rx, 6).Put(f.gy, 4).Put(f.gx, 6).Put(f.gz, 4).Put(f.bx, 6).Put(f.by, 4).Put(f.ry, 6).Put(f.rz, 6);
    return PutTwoRegionIndices(block);
}

// The documented unquantization of an endpoint of `bits` bits, and the final scaling to a half.
int Unquantize(int x, int bits, bool isSigned) {
    if (!isSigned) {
        if (bits >= 15 || x == 0) return x;
        return x == (1 << bits) - 1 ? 0xFFFF : ((x << 15) + 0x4000) >> (bits - 1);
    }
    if (bits >= 16) return x;
    const int m = std::abs(x);
    const int u = m == 0 ? 0 : m >= (1 << (bits - 1)) - 1 ? 0x7FFF : ((m << 15) + 0x4000) >> (bits - 1);
    return x < 0 ? -u : u;
}

uint16_t Finish(int x, bool isSigned) {
    if (!isSigned) return static_cast<uint16_t>(x * 31 / 64);
    return static_cast<uint16_t>(x < 0 ? 0x8000 | (-x * 31 / 32) : x * 31 / 32);
}

constexpr uint16_t kNeg = 0x8000;

struct HandBlock {
    const char* what;
    BlockWriter block;
    bool isSigned;
    int regions;
    int endpointBits;
    // r, g, b of endpoint 0 then endpoint 1, region 0 then region 1: after the deltas and
    // sign extension, and as halves.
    std::array<int, 12> endpoints;
    std::array<uint16_t, 12> halves;
};

// Unsigned 10-bit x (0 < x < 1023) unquantizes to 64x + 32, a half of 31x + 15; signed, a
// magnitude m below 511 to 64m + 32 and a half of 62m + 31. Unsigned 6-bit x gives a half of
// 496x + 248, signed 6-bit 992m + 496; the largest code gives 0xFFFF (half 0x7BFF), and a
// signed magnitude of at least 2^(bits-1) - 1 gives 0x7FFF (half 0x7BFF).
const Code0Fields kCode0 = {100, 1000, 3, 5, 0x1F, 0x10, 0x0F, 0x11, 0x02, 0x1F, 0x13, 0x15};
const Code0Fields kCode30 = {10, 63, 0, 1, 2, 62, 33, 0x30, 0x25, 5, 0x2A, 0x2D};

const HandBlock kHandBlocks[] = {
    // Deltas +5, -1, -16 (region 0's second endpoint), +15, -15, +2 and -1, -13, -11 (region
    // 1's), added to the base and wrapped to 10 bits: blue 3 - 16 = -13 wraps to 1011.
    {"code 0, unsigned", Code0(kCode0), false, 2, 10,
     {100, 1000, 3, 105, 999, 1011, 115, 985, 5, 99, 987, 1016},
     {3115, 31015, 108, 3270, 30984, 31356, 3580, 30550, 170, 3084, 30612, 31511}},
    // The same bits signed: the base's green 1000 is -24, and the sums are signed 10-bit.
    {"code 0, signed", Code0(kCode0), true, 2, 10,
     {100, -24, 3, 105, -25, -13, 115, -39, 5, 99, -37, -8},
     {6231, kNeg | 1519, 217, 6541, kNeg | 1581, kNeg | 837, 7161, kNeg | 2449, 341, 6169, kNeg | 2325,
      kNeg | 527}},
    // No deltas: each endpoint as stored, y's and z's bits gathered from all over the header.
    {"code 30, unsigned", Code30(kCode30), false, 2, 6,
     {10, 63, 0, 1, 2, 62, 33, 48, 37, 5, 42, 45},
     {5208, 0x7BFF, 0, 744, 1240, 31000, 16616, 24056, 18600, 2728, 21080, 22568}},
    // Signed: 63 is -1, 62 is -2, 33 is -31 (the largest magnitude), 48 is -16, 37 is -27,
    // 42 is -22, 45 is -19.
    {"code 30, signed", Code30(kCode30), true, 2, 6,
     {10, -1, 0, 1, 2, -2, -31, -16, -27, 5, -22, -19},
     {10416, kNeg | 1488, 0, 1488, 2480, kNeg | 2480, kNeg | 0x7BFF, kNeg | 16368, kNeg | 27280, 5456, kNeg | 22320,
      kNeg | 19344}},
    // 512 unquantizes to 32800 (half 15887), 1 to 96 (half 46).
    {"code 3, unsigned", Code3({1023, 0, 512, 0, 1023, 1}), false, 1, 10,
     {1023, 0, 512, 0, 1023, 1, 0, 0, 0, 0, 0, 0},
     {0x7BFF, 0, 15887, 0, 0x7BFF, 46, 0, 0, 0, 0, 0, 0}},
    // -1, -512 (past the largest magnitude), 511, 5, 0, -2.
    {"code 3, signed", Code3({0x3FF, 0x200, 0x1FF, 5, 0, 0x3FE}), true, 1, 10,
     {-1, -512, 511, 5, 0, -2, 0, 0, 0, 0, 0, 0},
     {kNeg | 93, kNeg | 0x7BFF, 0x7BFF, 341, 0, kNeg | 155, 0, 0, 0, 0, 0, 0}},
    // Base bit 10 comes after each delta: red 1027 (1024 + 3), delta -1 gives 1026; green 0 and
    // -256 wraps to 1792; blue 2047 (the largest code) and +1 wraps to 0. Unsigned 11-bit x
    // unquantizes to 32x + 16.
    {"code 7, unsigned", Code7(1027, 0, 2047, 0x1FF, 0x100, 1), false, 1, 11,
     {1027, 0, 2047, 1026, 1792, 0, 0, 0, 0, 0, 0, 0},
     {15926, 0, 0x7BFF, 15910, 27783, 0, 0, 0, 0, 0, 0, 0}},
    // Bits 15 to 10 of the base come highest first: red 0x8405 and +7, green 0 and -1 (wraps
    // to 0xFFFF), blue 0x1234 and -8. Unsigned 16-bit endpoints are used as they are.
    {"code 15, unsigned", Code15(0x8405, 0, 0x1234, 7, 0xF, 0x8), false, 1, 16,
     {0x8405, 0, 0x1234, 0x840C, 0xFFFF, 0x122C, 0, 0, 0, 0, 0, 0},
     {16370, 0, 2257, 16373, 0x7BFF, 2253, 0, 0, 0, 0, 0, 0}},
};

Halves DecodeHalves(const BlockWriter& block, bool isSigned) {
    Halves halves;
    DecodeBc6hBlockHalf(block.Data(), isSigned, halves.data());
    return halves;
}

TEST(Bc6h, HandAssembledBlocksDecodeEveryTexel) {
    for (const HandBlock& b : kHandBlocks) {
        SCOPED_TRACE(b.what);
        const Halves halves = DecodeHalves(b.block, b.isSigned);
        const int largest = b.regions == 2 ? 7 : 15;
        for (int t = 0; t < 16; ++t) {
            const int region = b.regions == 2 ? kRegionOfTexel[t] - '0' : 0;
            const int index = b.regions == 2 ? kIndex3[t] : kIndex4[t];
            const int weight = b.regions == 2 ? blocktest::kWeights3[index] : blocktest::kWeights4[index];
            for (int c = 0; c < 3; ++c) {
                const int e0 = 6 * region + c, e1 = 6 * region + 3 + c;
                const int x = Lerp(Unquantize(b.endpoints[e0], b.endpointBits, b.isSigned),
                                   Unquantize(b.endpoints[e1], b.endpointBits, b.isSigned), weight);
                EXPECT_EQ(halves[3 * t + c], Finish(x, b.isSigned)) << "texel " << t << " channel " << c;
                if (index == 0) {
                    EXPECT_EQ(halves[3 * t + c], b.halves[e0]) << "texel " << t << " channel " << c;
                } else if (index == largest) {
                    EXPECT_EQ(halves[3 * t + c], b.halves[e1]) << "texel " << t << " channel " << c;
                }
            }
        }
    }
}

// Red of endpoints 0 and 1 worked out by hand; other channels are 0.
struct KnownRed {
    const char* what;
    int code;
    bool isSigned;
    int r0, r1;  // as stored
    uint16_t half0, half1;
};

const KnownRed kKnownReds[] = {
    // 1020 -> ((1020 << 15) + 0x4000) >> 9 = 65312 -> * 31 / 64 = 31635;
    // 1020 + 15 wraps to 11 -> 736 -> 356.
    {"delta wraps past the top", 0, false, 1020, 15, 31635, 356},
    // 3 -> 224 -> 108; delta 0b10000 is -16: 3 - 16 wraps to 1011 -> 64736 -> 31356.
    {"negative delta wraps below 0", 0, false, 3, 16, 108, 31356},
    // 510 -> 32672 -> * 31 / 32 = 31651; 510 + 15 = 525 is -499 in 10 bits -> -31968 -> -30969.
    {"signed sum wraps to negative", 0, true, 510, 15, 31651, 0x8000 | 30969},
    // 524 is -500 -> -32032 -> -31031; -500 - 16 = -516 wraps to 508 -> 32544 -> 31527.
    {"signed sum wraps to positive", 0, true, 524, 16, 0x8000 | 31031, 31527},
    // The largest code gives 0xFFFF, which scales to the largest finite half.
    {"unsigned extremes", 3, false, 1023, 0, 0x7BFF, 0},
    // -512 and 511 are at or past the largest magnitude, 0x7FFF -> 31743.
    {"signed extremes", 3, true, 512, 511, 0x8000 | 0x7BFF, 0x7BFF},
    // 16-bit endpoints are used as they are: -1 scales to a magnitude of 0 but keeps its sign;
    // -32768 scales to 0x7C00, -infinity with the sign, as the format's arithmetic has it.
    // A delta of 1 wraps 0xFFFF to 0.
    {"signed 16-bit, smallest negative", 15, true, 0xFFFF, 1, 0x8000, 0},
    {"signed 16-bit, most negative", 15, true, 0x8000, 0, 0xFC00, 0xFC00},
};

TEST(Bc6h, KnownEndpoints) {
    for (const KnownRed& k : kKnownReds) {
        SCOPED_TRACE(k.what);
        const BlockWriter block = k.code == 0   ? Code0({k.r0, 0, 0, k.r1, 0, 0, 0, 0, 0, 0, 0, 0})
                                  : k.code == 3 ? Code3({k.r0, 0, 0, k.r1, 0, 0})
                                                : Code15(k.r0, 0, 0, k.r1);
        const Halves halves = DecodeHalves(block, k.isSigned);
        // Texels of index 0 and of the largest index, both in region 0.
        const int texelOf0 = k.code == 0 ? 0 : 2, texelOf1 = k.code == 0 ? 8 : 1;
        EXPECT_EQ(halves[3 * texelOf0], k.half0);
        EXPECT_EQ(halves[3 * texelOf1], k.half1);
        EXPECT_EQ(halves[3 * texelOf0 + 1], 0);
    }
}

TEST(Bc6h, ReservedModesGiveZero) {
    std::array<uint8_t, kBlockOutputBytes> black{};
    for (int t = 0; t < 16; ++t) black[4 * t + 3] = 255;
    for (int code : {19, 23, 27, 31}) {
        for (bool isSigned : {false, true}) {
            uint8_t block[16];
            std::fill(block, block + 16, 0xE7);
            block[0] = static_cast<uint8_t>(0xE0 | code);
            Halves halves;
            halves.fill(0x5555);
            DecodeBc6hBlockHalf(block, isSigned, halves.data());
            EXPECT_EQ(halves, Halves{}) << "code " << code;
            std::array<uint8_t, kBlockOutputBytes> bgra;
            DecodeBc6hBlock(block, isSigned, bgra.data());
            EXPECT_EQ(bgra, black) << "code " << code;
        }
    }
}

// A half as a byte by float arithmetic: clamped to [0, 1] (negatives to 0), times 255,
// rounded to nearest.
int ReferenceByte(int h) {
    const int exponent = h >> 10 & 31, mantissa = h & 0x3FF;
    const double v = exponent ? std::ldexp(1024 + mantissa, exponent - 25) : std::ldexp(mantissa, -24);
    return h & 0x8000 ? 0 : static_cast<int>(std::lround(std::min(v, 1.0) * 255));
}

// Unsigned mode 15 keeps 16-bit endpoints as they are, so an endpoint of ceil(h * 64 / 31)
// gives exactly the half h: every finite positive half goes through the byte conversion.
TEST(Bc6h, BytesAreHalvesClampedScaledAndRounded) {
    uint8_t bgra[kBlockOutputBytes];
    const uint8_t* texel = bgra + 4 * 2;  // index 0
    for (int h = 0; h <= 0x7BFF; ++h) {
        const int x = (h * 64 + 30) / 31;
        DecodeBc6hBlock(Code15(x, x / 2, 0x7FFF).Data(), false, bgra);
        ASSERT_EQ(texel[2], ReferenceByte(h)) << "half " << h;
        ASSERT_EQ(texel[1], ReferenceByte(x / 2 * 31 / 64)) << "half " << h;
        ASSERT_EQ(texel[0], 255);  // 0x7FFF * 31 / 64 = 0x3DFF, about 1.5
        ASSERT_EQ(texel[3], 255);
    }
    // Signed -0, -infinity and another negative.
    DecodeBc6hBlock(Code15(0xFFFF, 0x8000, 0x8123).Data(), true, bgra);
    EXPECT_EQ(texel[0] | texel[1] | texel[2], 0);
}

// Any 16 bytes decode without a write past the output.
TEST(BptcBlocks, AnyBlockStaysInItsOutput) {
    std::mt19937 random(11);
    uint8_t block[16], bgra[kBlockOutputBytes + 4], bc7[kBlockOutputBytes + 4];
    uint16_t halves[48 + 4];
    for (int i = 0; i < 4096; ++i) {
        for (uint8_t& b : block) b = static_cast<uint8_t>(random());
        block[0] = static_cast<uint8_t>(i);
        std::fill(halves, halves + 52, 0xA5A5);
        std::fill(bgra, bgra + sizeof bgra, 0xA5);
        std::fill(bc7, bc7 + sizeof bc7, 0xA5);
        DecodeBc6hBlockHalf(block, i & 256, halves);
        DecodeBc6hBlock(block, i & 256, bgra);
        DecodeBc7Block(block, bc7);
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(halves[48 + k], 0xA5A5);
            ASSERT_EQ(bgra[kBlockOutputBytes + k], 0xA5);
            ASSERT_EQ(bc7[kBlockOutputBytes + k], 0xA5);
        }
    }
}

}  // namespace
}  // namespace sorvane::dds
