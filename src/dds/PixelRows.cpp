// Row decoders of the uncompressed formats. A format with a D3D9 twin gives what D3DX 9 makes
// of the twin: a channel the format lacks is 255, and a channel of fewer than 8 bits widens by
// repeating its bits. Wider channels become round(value x 255 / maximum); float channels are
// clamped to [0, 1] first.

#include <cmath>
#include <cstring>

#include "DdsFormat.h"

namespace sorvane::dds {

namespace {

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

void Store(uint8_t* out, uint32_t blue, uint32_t green, uint32_t red, uint32_t alpha) {
    out[0] = static_cast<uint8_t>(blue);
    out[1] = static_cast<uint8_t>(green);
    out[2] = static_cast<uint8_t>(red);
    out[3] = static_cast<uint8_t>(alpha);
}

// round(value x 255 / maximum) in integers.
constexpr uint32_t Scale(uint32_t value, uint32_t maximum) {
    return static_cast<uint32_t>((uint64_t{value} * 510 + maximum) / (uint64_t{maximum} * 2));
}

// A channel of `bits` bits (1 to 8) widened to 8 by repeating its bits below it.
constexpr uint32_t Widen(uint32_t value, uint32_t bits) {
    uint32_t out = 0, filled = 0;
    for (; filled < 8; filled += bits) out = out << bits | value;
    return out >> (filled - 8);
}
static_assert(Widen(3, 5) == 24 && Widen(33, 6) == 134 && Widen(1, 1) == 255 && Widen(2, 2) == 170);

float HalfToFloat(uint16_t h) {
    const uint32_t sign = (h >> 15) & 1, exponent = (h >> 10) & 31, mantissa = h & 1023;
    float value;
    if (exponent == 0) {
        value = std::ldexp(static_cast<float>(mantissa), -24);
    } else if (exponent == 31) {
        value = mantissa != 0 ? NAN : INFINITY;
    } else {
        value = std::ldexp(static_cast<float>(mantissa | 1024), static_cast<int>(exponent) - 25);
    }
    return sign ? -value : value;
}

// Clamped to [0, 1], times 255, rounded to nearest; NaN is 0.
uint32_t FloatByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<uint32_t>(value * 255.0f + 0.5f);
}

float LoadFloat(const uint8_t* p) {
    const uint32_t bits = Load32(p);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// Calls pixel(source, out) for every pixel of the row.
template <size_t Bytes, typename Pixel>
void EachPixel(const RowJob& job, Pixel pixel) {
    const uint8_t* source = job.source;
    uint8_t* out = job.out;
    for (uint32_t x = 0; x < job.image.width; ++x, source += Bytes, out += 4) pixel(source, out);
}

}  // namespace

void DecodeBgra8(const RowJob& job) { std::memcpy(job.out, job.source, size_t{job.image.width} * 4); }

void DecodeBgrx8(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[0], s[1], s[2], 255); });
}

void DecodeRgba8(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[2], s[1], s[0], s[3]); });
}

void DecodeRgb10A2(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        Store(o, Scale((v >> 20) & 1023, 1023), Scale((v >> 10) & 1023, 1023), Scale(v & 1023, 1023),
              (v >> 30) * 85);
    });
}

void DecodeB5G6R5(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, Widen(v & 31, 5), Widen((v >> 5) & 63, 6), Widen(v >> 11, 5), 255);
    });
}

void DecodeB5G5R5A1(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, Widen(v & 31, 5), Widen((v >> 5) & 31, 5), Widen((v >> 10) & 31, 5), (v >> 15) * 255);
    });
}

void DecodeB4G4R4A4(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, (v & 15) * 17, ((v >> 4) & 15) * 17, ((v >> 8) & 15) * 17, (v >> 12) * 17);
    });
}

void DecodeRgba16(const RowJob& job) {
    EachPixel<8>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, Scale(Load16(s + 4), 65535), Scale(Load16(s + 2), 65535), Scale(Load16(s), 65535),
              Scale(Load16(s + 6), 65535));
    });
}

void DecodeRgba16Float(const RowJob& job) {
    EachPixel<8>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, FloatByte(HalfToFloat(Load16(s + 4))), FloatByte(HalfToFloat(Load16(s + 2))),
              FloatByte(HalfToFloat(Load16(s))), FloatByte(HalfToFloat(Load16(s + 6))));
    });
}

void DecodeRgba32Float(const RowJob& job) {
    EachPixel<16>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, FloatByte(LoadFloat(s + 8)), FloatByte(LoadFloat(s + 4)), FloatByte(LoadFloat(s)),
              FloatByte(LoadFloat(s + 12)));
    });
}

void DecodeRg16(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, 255, Scale(Load16(s + 2), 65535), Scale(Load16(s), 65535), 255);
    });
}

void DecodeR16Float(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) { Store(o, 255, 255, FloatByte(HalfToFloat(Load16(s))), 255); });
}

void DecodeR32Float(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, 255, 255, FloatByte(LoadFloat(s)), 255); });
}

// One-channel formats without a twin are grey; two-channel ones give red and green.
void DecodeR8(const RowJob& job) {
    EachPixel<1>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[0], s[0], s[0], 255); });
}

void DecodeRg8(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) { Store(o, 0, s[1], s[0], 255); });
}

void DecodeR16(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t grey = Scale(Load16(s), 65535);
        Store(o, grey, grey, grey, 255);
    });
}

// D3DX gives an alpha-only pixel white colour channels.
void DecodeA8(const RowJob& job) {
    EachPixel<1>(job, [](const uint8_t* s, uint8_t* o) { Store(o, 255, 255, 255, s[0]); });
}

// 1 bit a pixel, the most significant bit first.
void DecodeR1(const RowJob& job) {
    for (uint32_t x = 0; x < job.image.width; ++x) {
        const uint32_t grey = (job.source[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
        Store(job.out + 4 * size_t{x}, grey, grey, grey, 255);
    }
}

// Palette entries hold red, green, blue and flags; the picture is opaque.
void DecodePalette8(const RowJob& job) {
    const uint8_t* palette = job.image.palette;
    EachPixel<1>(job, [palette](const uint8_t* s, uint8_t* o) {
        const uint8_t* entry = palette + 4 * size_t{s[0]};
        Store(o, entry[2], entry[1], entry[0], 255);
    });
}

// Legacy layouts given by bit masks (8, 16, 24 or 32 bits a pixel): each channel widened or
// scaled from its mask's width; a channel without a mask is 255. A grey level fills all three
// colours.
void DecodeMasks(const RowJob& job) {
    const ChannelMasks& m = job.image.masks;
    struct Channel {
        uint32_t mask, shift, bits;
        uint32_t Of(uint32_t pixel) const {
            if (mask == 0) return 255;
            const uint32_t value = (pixel & mask) >> shift;
            return bits <= 8 ? Widen(value, bits) : Scale(value, mask >> shift);
        }
    };
    auto channel = [](uint32_t mask) {
        uint32_t shift = 0, bits = 0;
        while (mask != 0 && ((mask >> shift) & 1) == 0) ++shift;
        while (shift + bits < 32 && ((mask >> (shift + bits)) & 1) != 0) ++bits;
        return Channel{mask, shift, bits};
    };
    const Channel red = channel(m.red), green = channel(m.green), blue = channel(m.blue), alpha = channel(m.alpha);
    const uint32_t bytes = m.bits / 8;
    const uint8_t* source = job.source;
    for (uint32_t x = 0; x < job.image.width; ++x, source += bytes) {
        uint32_t pixel = 0;
        for (uint32_t i = 0; i < bytes; ++i) pixel |= uint32_t{source[i]} << (8 * i);
        const uint32_t r = red.Of(pixel);
        Store(job.out + 4 * size_t{x}, m.luminance ? r : blue.Of(pixel), m.luminance ? r : green.Of(pixel), r,
              alpha.Of(pixel));
    }
}

}  // namespace sorvane::dds
