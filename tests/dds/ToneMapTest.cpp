#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "DdsReader.h"
#include "DdsWriter.h"
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

// The table's bytes against exact arithmetic, for every half and every 2^12th float, at Lmax
// from tiny to huge and exposures at both ends.
TEST(ToneMap, MapsWithinOneOfExactArithmetic) {
    std::vector<float> rgba;
    for (uint32_t h = 0; h <= 0xFFFF; ++h) rgba.insert(rgba.end(), {HalfValue(static_cast<uint16_t>(h)), 0, 0, 1});
    for (uint32_t bits = 0; bits <= 0x7F800000; bits += 1 << 12) {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        rgba.insert(rgba.end(), {value, 0, 0, 1});
    }
    const size_t pixels = rgba.size() / kHdrPixelFloats;
    for (const float largest : {1e-20f, 0.01f, 1.0f, 3000.0f, 1e30f}) {
        for (const int exposure : {-100, 0, 100}) {
            SCOPED_TRACE(testing::Message() << "Lmax " << largest << " exposure " << exposure);
            ToneMapper mapper(exposure);
            const Pixel grey = {largest, largest, largest, 1};
            mapper.Accumulate(grey.data(), 1);
            mapper.Finish();
            const double scale = std::exp2(exposure / 10.0), lmax = double{largest} * scale;
            ASSERT_NEAR(mapper.Lmax(), lmax, 1e-9 * lmax);
            std::vector<uint8_t> bgra(4 * pixels);
            mapper.MapRow(rgba.data(), bgra.data(), pixels);
            for (size_t i = 0; i < pixels; ++i) {
                const float x = rgba[kHdrPixelFloats * i];
                const double v = x > 0 ? x * scale : 0.0;
                const double c = std::isinf(v) ? 1.0 : std::fmin(v * (1 + v / (lmax * lmax)) / (1 + v), 1.0);
                const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
                const int exact = static_cast<int>(std::floor(255 * s + 0.5));
                ASSERT_NEAR(bgra[4 * i + 2], exact, 1) << "value " << x;
                ASSERT_EQ(bgra[4 * i], 0);
            }
        }
    }
}

// The rows API (BC6H by its palette, the others in chunks of their float rows) against the
// float rows mapped whole: random blocks (every mode, reserved ones too) and random halves, in
// pictures with partial blocks and rows longer than a chunk, over bands.
TEST(ToneMap, RowsAgreeWithTheirFloatRows) {
    const struct {
        uint32_t dxgi, width, height;
        size_t bytes;
    } kPictures[] = {{95, 9, 7, 3 * 2 * 16}, {96, 9, 7, 3 * 2 * 16}, {10, 301, 3, 301 * 3 * 8}};
    std::mt19937 random(25);
    for (const auto& p : kPictures) {
        SCOPED_TRACE(p.dxgi);
        test::Dx10Image dx10;
        dx10.dxgi = p.dxgi, dx10.width = p.width, dx10.height = p.height;
        for (size_t i = 0; i < p.bytes; ++i) dx10.data.push_back(static_cast<uint8_t>(random()));
        const test::Bytes file = test::WriteDx10Dds(dx10);
        DdsImage image;
        ASSERT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok);
        std::vector<float> rgba(size_t{p.width} * p.height * kHdrPixelFloats);
        DecodeHdrRows(image, 0, p.height, rgba.data(), static_cast<ptrdiff_t>(p.width * kHdrPixelFloats));
        ToneMapper whole(0), rows(0);
        whole.Accumulate(rgba.data(), size_t{p.width} * p.height);
        for (uint32_t y = 0; y < p.height; y += 4) rows.AccumulateRows(image, y, std::min(4u, p.height - y));
        whole.Finish();
        rows.Finish();
        EXPECT_EQ(rows.Lmax(), whole.Lmax());
        std::vector<uint8_t> expected(size_t{p.width} * p.height * 4), out(expected.size());
        whole.MapRow(rgba.data(), expected.data(), size_t{p.width} * p.height);
        for (uint32_t y = 0; y < p.height; y += 4) {
            rows.MapRows(image, y, std::min(4u, p.height - y), out.data() + size_t{y} * p.width * 4, static_cast<ptrdiff_t>(p.width) * 4);
        }
        EXPECT_EQ(out, expected);
    }
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
