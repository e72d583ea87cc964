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

using blocktest::Lerp;
using Halves = std::array<uint16_t, 48>;

// Each mode's header as the format's table writes it, mode bits left out: fields in block
// order, v[a:b] storing bit b of v first and stepping towards bit a.
struct ModeCase {
    int code;
    int regions;
    bool transformed;
    int endpointBits;
    std::array<int, 3> deltaBits;
    const char* layout;
};

const ModeCase kModes[] = {
    {0, 2, true, 10, {5, 5, 5},
     "g2[4],b2[4],b3[4],r0[9:0],g0[9:0],b0[9:0],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {1, 2, true, 7, {6, 6, 6},
     "g2[5],g3[4],g3[5],r0[6:0],b3[0],b3[1],b2[4],g0[6:0],b2[5],b3[2],g2[4],b0[6:0],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {2, 2, true, 11, {5, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[4:0],r0[10],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {6, 2, true, 11, {4, 5, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],g3[4],g2[3:0],g1[4:0],g0[10],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[3:0],b3[0],b3[2],r3[3:0],g2[4],b3[3]"},
    {10, 2, true, 11, {4, 4, 5},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],b2[4],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],"
     "b1[4:0],b0[10],b2[3:0],r2[3:0],b3[1],b3[2],r3[3:0],b3[4],b3[3]"},
    {14, 2, true, 9, {5, 5, 5},
     "r0[8:0],b2[4],g0[8:0],g2[4],b0[8:0],b3[4],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {18, 2, true, 8, {6, 5, 5},
     "r0[7:0],g3[4],b2[4],g0[7:0],b3[2],g2[4],b0[7:0],b3[3],b3[4],r1[5:0],g2[3:0],g1[4:0],"
     "b3[0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[5:0],r3[5:0]"},
    {22, 2, true, 8, {5, 6, 5},
     "r0[7:0],b3[0],b2[4],g0[7:0],g2[5],g2[4],b0[7:0],g3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[5:0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {26, 2, true, 8, {5, 5, 6},
     "r0[7:0],b3[1],b2[4],g0[7:0],b2[5],g2[4],b0[7:0],b3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[4:0],b3[0],g3[3:0],b1[5:0],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {30, 2, false, 6, {6, 6, 6},
     "r0[5:0],g3[4],b3[0],b3[1],b2[4],g0[5:0],g2[5],b2[5],b3[2],g2[4],b0[5:0],g3[5],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {3, 1, false, 10, {10, 10, 10}, "r0[9:0],g0[9:0],b0[9:0],r1[9:0],g1[9:0],b1[9:0]"},
    {7, 1, true, 11, {9, 9, 9}, "r0[9:0],g0[9:0],b0[9:0],r1[8:0],r0[10],g1[8:0],g0[10],b1[8:0],b0[10]"},
    {11, 1, true, 12, {8, 8, 8},
     "r0[9:0],g0[9:0],b0[9:0],r1[7:0],r0[10:11],g1[7:0],g0[10:11],b1[7:0],b0[10:11]"},
    {15, 1, true, 16, {4, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10:15],g1[3:0],g0[10:15],b1[3:0],b0[10:15]"},
};

void PrintTo(const ModeCase& m, std::ostream* os) { *os << "mode code " << m.code; }

// The blocks use partition 17: region 1's anchor is texel 2, not its first texel (1).
constexpr char kRegionOfTexel[] = "0111000100000000";
constexpr std::array<int, 16> kIndex3 = {0, 7, 3, 6, 5, 4, 1, 2, 7, 0, 6, 5, 4, 3, 2, 1};
constexpr std::array<int, 16> kIndex4 = {7, 15, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14};

// raw: r0, g0, b0, r1, ... as stored.
blocktest::BlockWriter Block(const ModeCase& m, const std::array<int, 12>& raw) {
    blocktest::BlockWriter block;
    block.Put(m.code, m.code < 2 ? 2 : 5);
    for (const char* s = m.layout; *s;) {
        const int value = (s[1] - '0') * 3 + (s[0] == 'r' ? 0 : s[0] == 'g' ? 1 : 2);
        char* end;
        const int a = static_cast<int>(std::strtol(s + 3, &end, 10));
        const int b = *end == ':' ? static_cast<int>(std::strtol(end + 1, &end, 10)) : a;
        for (int bit = b;; bit += a >= b ? 1 : -1) {
            block.Put(raw[value] >> bit & 1, 1);
            if (bit == a) break;
        }
        s = end[1] == ',' ? end + 2 : end + 1;
    }
    if (m.regions == 2) {
        block.Put(17, 5).PutIndices(kIndex3, 3, {0, 2});
    } else {
        block.PutIndices(kIndex4, 4, {0});
    }
    return block;
}

Halves Decode(const ModeCase& m, const std::array<int, 12>& raw, bool isSigned) {
    Halves halves;
    DecodeBc6hBlockHalf(Block(m, raw).Data(), isSigned, halves.data());
    return halves;
}

int SignExtend(int v, int bits) {
    v &= (1 << bits) - 1;
    return v >= 1 << (bits - 1) ? v - (1 << bits) : v;
}

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

class Bc6hMode : public ::testing::TestWithParam<std::tuple<ModeCase, bool>> {};

TEST_P(Bc6hMode, DecodesEveryTexel) {
    const auto& [m, isSigned] = GetParam();
    std::mt19937 random(static_cast<unsigned>(m.code));
    for (int round = 0; round < 8; ++round) {
        std::array<int, 12> raw{}, endpoint{};
        for (int v = 0; v < 6 * m.regions; ++v) {
            const bool delta = v >= 3 && m.transformed;
            const int width = delta ? m.deltaBits[v % 3] : m.endpointBits;
            raw[v] = static_cast<int>(random() & ((1u << width) - 1));
            endpoint[v] = isSigned || delta ? SignExtend(raw[v], width) : raw[v];
            if (delta) {
                endpoint[v] = (endpoint[v] + endpoint[v % 3]) & ((1 << m.endpointBits) - 1);
                if (isSigned) endpoint[v] = SignExtend(endpoint[v], m.endpointBits);
            }
        }
        for (int& e : endpoint) e = Unquantize(e, m.endpointBits, isSigned);

        const Halves halves = Decode(m, raw, isSigned);
        for (int t = 0; t < 16; ++t) {
            const int region = m.regions == 2 ? kRegionOfTexel[t] - '0' : 0;
            const int weight = m.regions == 2 ? blocktest::kWeights3[kIndex3[t]] : blocktest::kWeights4[kIndex4[t]];
            for (int c = 0; c < 3; ++c) {
                const int x = Lerp(endpoint[6 * region + c], endpoint[6 * region + 3 + c], weight);
                ASSERT_EQ(halves[3 * t + c], Finish(x, isSigned))
                    << "round " << round << " texel " << t << " channel " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, Bc6hMode, ::testing::Combine(::testing::ValuesIn(kModes), ::testing::Bool()),
                         [](const auto& info) {
                             return "Code" + std::to_string(std::get<0>(info.param).code) +
                                    (std::get<1>(info.param) ? "Signed" : "Unsigned");
                         });

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
        const ModeCase& m = kModes[k.code == 0 ? 0 : k.code == 3 ? 10 : 13];
        const Halves halves = Decode(m, {k.r0, 0, 0, k.r1}, k.isSigned);
        // Texels of index 0 and of the largest index, both in region 0.
        const int texelOf0 = m.regions == 2 ? 0 : 2, texelOf1 = m.regions == 2 ? 8 : 1;
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
    const ModeCase& m = kModes[13];
    uint8_t bgra[kBlockOutputBytes];
    const uint8_t* texel = bgra + 4 * 2;  // index 0
    for (int h = 0; h <= 0x7BFF; ++h) {
        const int x = (h * 64 + 30) / 31;
        DecodeBc6hBlock(Block(m, {x, x / 2, 0x7FFF}).Data(), false, bgra);
        ASSERT_EQ(texel[2], ReferenceByte(h)) << "half " << h;
        ASSERT_EQ(texel[1], ReferenceByte(x / 2 * 31 / 64)) << "half " << h;
        ASSERT_EQ(texel[0], 255);  // 0x7FFF * 31 / 64 = 0x3DFF, about 1.5
        ASSERT_EQ(texel[3], 255);
    }
    // Signed -0, -infinity and another negative.
    DecodeBc6hBlock(Block(m, {0xFFFF, 0x8000, 0x8123}).Data(), true, bgra);
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
