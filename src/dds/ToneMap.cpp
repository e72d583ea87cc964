#include "ToneMap.h"

#include <cmath>
#include <cstring>

#include "BitReader.h"
#include "BlockDecoders.h"
#include "DdsFormat.h"
#include "HdrRows.h"
#include "PixelRows.h"

namespace sorvane::dds {

namespace {

double SrgbEncode(double c) { return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

// NaN and negatives (-Inf, -0 included) become 0.
double Positive(float v) { return v > 0.0f ? v : 0.0; }

uint32_t Bits(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

float FromBits(uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Pixel rows as floats, kChunk pixels at a time into a buffer of our own: calls
// chunk(rgba, row - first, x, pixels).
constexpr uint32_t kChunk = 256;

template <typename Chunk>
void EachChunk(const DdsImage& image, uint32_t first, uint32_t count, Chunk chunk) {
    float rgba[kChunk * kHdrPixelFloats];
    const size_t pixelBytes = image.format->pixelBits / 8;
    DdsImage part = image;
    for (uint32_t y = first; y < first + count; ++y) {
        const uint8_t* source = image.pixels + y * image.rowBytes;
        for (uint32_t x = 0; x < image.width; x += kChunk) {
            part.width = image.width - x < kChunk ? image.width - x : kChunk;
            image.format->hdr(RowJob{part, source + x * pixelBytes, 1, reinterpret_cast<uint8_t*>(rgba), 0, y});
            chunk(rgba, y - first, x, part.width);
        }
    }
}

// BC6H a block at a time, as its palette: calls block(palette, entryOfTexel, used, rows,
// columns, row - first, x), `used` the entries the texels inside the picture name (bit e for
// entry e); a reserved mode's texels name entry 0, which is 0.
template <bool Signed, typename Block>
void EachBc6hBlock(const DdsImage& image, uint32_t first, uint32_t count, Block block) {
    uint16_t palette[32][3];
    uint8_t entryOfTexel[kBlockTexels];
    for (uint32_t y = first; y < first + count; y += 4) {
        const uint32_t rows = first + count - y < 4 ? first + count - y : 4;
        const uint8_t* source = image.pixels + (y / 4) * image.rowBytes;
        for (uint32_t x = 0; x < image.width; x += 4) {
            if (!DecodeBc6hBlockPalette(source + x / 4 * 16, Signed, palette, entryOfTexel)) {
                std::memset(palette[0], 0, sizeof palette[0]);
                std::memset(entryOfTexel, 0, sizeof entryOfTexel);
            }
            const uint32_t columns = image.width - x < 4 ? image.width - x : 4;
            uint32_t used = 0;
            for (uint32_t r = 0; r < rows; ++r) {
                for (uint32_t c = 0; c < columns; ++c) used |= 1u << entryOfTexel[4 * r + c];
            }
            block(palette, entryOfTexel, used, rows, columns, y - first, x);
        }
    }
}

// BC6H by its blocks, other formats by chunks of their float rows; nothing for other pictures.
template <typename Block, typename Chunk>
void EachUnit(const DdsImage& image, uint32_t first, uint32_t count, Block block, Chunk chunk) {
    if (!HasHdrChannels(image)) return;
    if (image.format->hdr == DecodeHdrBc6h<false>) {
        EachBc6hBlock<false>(image, first, count, block);
    } else if (image.format->hdr == DecodeHdrBc6h<true>) {
        EachBc6hBlock<true>(image, first, count, block);
    } else {
        EachChunk(image, first, count, chunk);
    }
}

double Luminance(double r, double g, double b) { return 0.3 * r + 0.59 * g + 0.11 * b; }

// The largest finite L of float pixels, and `largest` itself.
double LargestOf(const float* rgba, size_t pixels, double largest) {
    for (size_t i = 0; i < pixels; ++i, rgba += kHdrPixelFloats) {
        const double l = Luminance(Positive(rgba[0]), Positive(rgba[1]), Positive(rgba[2]));
        if (l > largest && std::isfinite(l)) largest = l;
    }
    return largest;
}

}  // namespace

ToneMapper::ToneMapper(int exposure) noexcept : scale_(std::exp2(exposure / 10.0)) {}

// Before exposure in double: L of finite floats is finite, and exposure (a positive factor)
// keeps the order, so the largest L after exposure is the largest before, scaled.
void ToneMapper::Accumulate(const float* rgba, size_t pixels) noexcept { largest_ = LargestOf(rgba, pixels, largest_); }

// Only steps between `low` and `high` need the curve: below v = min(2^-14, Lmax / 2^8),
// c <= v + (v / Lmax)^2 < 0.5 / (255 x 12.92), byte 0; from v = Lmax on (+Inf with it),
// c >= 1. In between the curve stays under 1.
void ToneMapper::Finish() noexcept {
    lmax_ = largest_ > 0.0 ? largest_ * scale_ : 1.0;
    const double inverseSquare = 1.0 / (lmax_ * lmax_);
    const double low = std::fmin(0x1p-14, lmax_ * 0x1p-8) / scale_, high = lmax_ / scale_;
    constexpr uint32_t kLast = 0x7F800000 >> kDroppedBits;
    const auto step = [](double x) { return x < 0x1p128 ? Bits(static_cast<float>(x)) >> kDroppedBits : kLast; };
    const uint32_t first = step(low), last = step(high) < kLast ? step(high) : kLast;
    std::memset(byte_, 0, first);
    for (uint32_t key = first; key <= last; ++key) {
        const double v = FromBits(key << kDroppedBits | 1u << (kDroppedBits - 1)) * scale_;
        const double c = v < lmax_ ? v * (1.0 + v * inverseSquare) / (1.0 + v) : 1.0;
        byte_[key] = static_cast<uint8_t>(std::floor(255 * SrgbEncode(c < 1.0 ? c : 1.0) + 0.5));
    }
    std::memset(byte_ + last + 1, 255, kLast - last);
    byte_[0] = 0;
    for (uint32_t h = 0; h < 0x8000; ++h) halfByte_[h] = ByteOf(HalfValue(static_cast<uint16_t>(h)));
}

uint8_t ToneMapper::ByteOf(float v) const noexcept {
    // NaN and negatives, whose bits lie above +Inf's, take step 0: +0's, byte 0.
    const uint32_t bits = Bits(v);
    return byte_[bits <= 0x7F800000 ? bits >> kDroppedBits : 0];
}

void ToneMapper::MapRow(const float* rgba, uint8_t* bgra, size_t pixels) const noexcept {
    for (size_t i = 0; i < pixels; ++i, rgba += kHdrPixelFloats, bgra += 4) {
        bgra[0] = ByteOf(rgba[2]);
        bgra[1] = ByteOf(rgba[1]);
        bgra[2] = ByteOf(rgba[0]);
        bgra[3] = static_cast<uint8_t>(rows::FloatByte(rgba[3]));
    }
}

// BC6H goes by its palette, as its 8-bit rows do: each entry a texel names is reckoned once,
// not each texel's three halves. Other formats go through their float rows.
void ToneMapper::AccumulateRows(const DdsImage& image, uint32_t first, uint32_t count) noexcept {
    Include(LargestLuminance(image, first, count));
}

double ToneMapper::LargestLuminance(const DdsImage& image, uint32_t first, uint32_t count) noexcept {
    double largest = 0.0;
    const auto block = [&](const uint16_t (*palette)[3], const uint8_t*, uint32_t used, uint32_t, uint32_t, uint32_t,
                           uint32_t) {
        for (; used != 0; used &= used - 1) {
            const uint16_t* half = palette[__builtin_ctz(used)];
            const double l = Luminance(Positive(HalfValue(half[0])), Positive(HalfValue(half[1])),
                                       Positive(HalfValue(half[2])));
            if (l > largest && std::isfinite(l)) largest = l;
        }
    };
    EachUnit(image, first, count, block, [&](const float* rgba, uint32_t, uint32_t, uint32_t pixels) {
        largest = LargestOf(rgba, pixels, largest);
    });
    return largest;
}

void ToneMapper::MapRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out,
                         ptrdiff_t stride) const noexcept {
    const auto block = [&](const uint16_t (*palette)[3], const uint8_t* entryOfTexel, uint32_t used, uint32_t rows,
                           uint32_t columns, uint32_t row, uint32_t x) {
        // A negative half (sign bit set) is 0.
        const auto byte = [this](uint16_t half) { return half < 0x8000 ? uint32_t{halfByte_[half]} : 0u; };
        uint32_t colour[32];
        for (; used != 0; used &= used - 1) {
            const int e = __builtin_ctz(used);
            colour[e] = byte(palette[e][2]) | byte(palette[e][1]) << 8 | byte(palette[e][0]) << 16 | 0xFF000000u;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* texel = out + static_cast<ptrdiff_t>(row + r) * stride + 4 * size_t{x};
            for (uint32_t c = 0; c < columns; ++c, texel += 4) StoreLe32(texel, colour[entryOfTexel[4 * r + c]]);
        }
    };
    EachUnit(image, first, count, block, [&](const float* rgba, uint32_t row, uint32_t x, uint32_t pixels) {
        MapRow(rgba, out + static_cast<ptrdiff_t>(row) * stride + 4 * size_t{x}, pixels);
    });
}

}  // namespace sorvane::dds
