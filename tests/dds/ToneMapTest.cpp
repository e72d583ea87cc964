#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "DdsReader.h"
#include "HdrRows.h"
#include "PixelRows.h"
#include "ToneMap.h"

namespace sorvane::dds {
namespace {

using Pixel = std::array<float, kHdrPixelFloats>;
constexpr float kInf = INFINITY, kNaN = NAN;

// Pixels fed one at a time, then mapped: Lmax and the bytes, worked out with exact arithmetic
// (c = v (1 + v / Lmax^2) / (1 + v), s its sRGB encoding, floor(255 s + 0.5)).
struct ToneCase {
    const char* name;
    int exposure;
    std::vector<Pixel> rgba;
    double lmax;
    std::vector<std::array<int, 4>> bgra;
};

void PrintTo(const ToneCase& c, std::ostream* os) { *os << c.name; }

const ToneCase kToneCases[] = {
    // L = 0.9 and 0.295. Green 0.5: c = 0.5391, 194.44.
    {"Lmax from red", 0, {{3, 0, 0, 1}, {0, 0.5f, 0, 1}}, 0.9, {{0, 0, 255, 255}, {0, 194, 0, 255}}},
    // x 2^-1.5: Lmax 0.3182, v 0.1768: 172.49; x 2^1.5: 220.22.
    {"exposure -15", -15, {{3, 0, 0, 1}, {0, 0.5f, 0, 1}}, 0.9 * std::exp2(-1.5), {{0, 0, 255, 255}, {0, 172, 0, 255}}},
    {"exposure +15", 15, {{3, 0, 0, 1}, {0, 0.5f, 0, 1}}, 0.9 * std::exp2(1.5), {{0, 0, 255, 255}, {0, 220, 0, 255}}},
    // Red 0.0101 maps to c = 0.0101 beyond the knee: 26.13 (12.92 c would give 33.78); green
    // 0.002 below it: 7.09.
    {"either side of the knee", 0, {{1, 1, 1, 1}, {0.0101f, 0.002f, 0, 1}}, 1, {{255, 255, 255, 255}, {0, 7, 26, 255}}},
    // +Inf maps to 1 and does not count in Lmax; NaN and negatives are 0; alpha as DecodeRows.
    {"non-finite values", 0, {{kInf, kNaN, -1, kNaN}, {-kInf, 0, 0, 2}, {0.5f, 0.5f, 0.5f, 0.5f}}, 0.5,
     {{0, 0, 255, 0}, {0, 0, 0, 255}, {255, 255, 255, 128}}},
    {"nothing finite above 0: Lmax 1", 10, {{0, 0, 0, 1}, {-2, kNaN, kInf, 1}}, 1, {{0, 0, 0, 255}, {255, 0, 0, 255}}},
};

class ToneMapping : public testing::TestWithParam<ToneCase> {};

TEST_P(ToneMapping, FollowsTheRules) {
    const ToneCase& c = GetParam();
    ToneMapper mapper(c.exposure);
    for (const Pixel& pixel : c.rgba) mapper.Accumulate(pixel.data(), 1);
    mapper.Finish();
    EXPECT_NEAR(mapper.Lmax(), c.lmax, 1e-6 * c.lmax);
    std::vector<uint8_t> bgra(4 * c.rgba.size());
    mapper.MapRow(c.rgba[0].data(), bgra.data(), c.rgba.size());
    for (size_t i = 0; i < c.rgba.size(); ++i) {
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(bgra[4 * i + k], c.bgra[i][k], 1) << "pixel " << i << " byte " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Pixels, ToneMapping, testing::ValuesIn(kToneCases));

// The table's bytes against the encoding computed exactly, over 2^22 steps of [0, 1] (a
// thousand within each of the table's).
TEST(ToneMap, SrgbTableIsWithinOneOfExactArithmetic) {
    constexpr int kSamples = 1 << 22;
    int worst = 0;
    for (int i = 0; i <= kSamples; ++i) {
        const double c = double(i) / kSamples;
        const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
        worst = std::max(worst, std::abs(SrgbByte(c) - static_cast<int>(std::floor(255 * s + 0.5))));
    }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(SrgbByte(0), 0);
    EXPECT_EQ(SrgbByte(1), 255);
}

// Every half against the reader's other conversion, bit for bit (NaNs as NaNs).
TEST(ToneMap, HalfValueIsExactForEveryHalf) {
    for (uint32_t h = 0; h <= 0xFFFF; ++h) {
        const float ours = HalfValue(static_cast<uint16_t>(h)), theirs = rows::HalfToFloat(static_cast<uint16_t>(h));
        if (std::isnan(theirs)) {
            ASSERT_TRUE(std::isnan(ours)) << std::hex << h;
        } else {
            ASSERT_EQ(std::memcmp(&ours, &theirs, sizeof ours), 0) << std::hex << h << ": " << ours << " " << theirs;
        }
    }
}

}  // namespace
}  // namespace sorvane::dds
