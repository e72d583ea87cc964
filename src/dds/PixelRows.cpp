// Row decoders of the uncompressed formats that the templates of PixelRows.h do not cover.

#include "PixelRows.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvane::dds {

using namespace rows;

namespace {

// Calls pixel(pair, second, out) for every pixel of the row, `pair` being the PairBytes that
// two neighbouring pixels share and `second` whether it is the right one of them.
template <size_t PairBytes, typename Pixel>
void EachPairPixel(const RowJob& job, Pixel pixel) {
    for (uint32_t x = 0; x < job.image.width; ++x) {
        pixel(job.source + x / 2 * PairBytes, (x & 1) != 0, job.out + 4 * size_t{x});
    }
}

uint32_t Clip(int32_t value) { return value < 0 ? 0 : value > 255 ? 255 : static_cast<uint32_t>(value); }

// 8-bit Y'CbCr by the integer BT.601 rule of video decoders (limited range).
void StoreYuv8(uint8_t* out, int32_t y, int32_t u, int32_t v, uint32_t alpha) {
    const int32_t c = y - 16, d = u - 128, e = v - 128;
    Store(out, Clip((298 * c + 516 * d + 128) / 256), Clip((298 * c - 100 * d - 208 * e + 128) / 256),
          Clip((298 * c + 409 * e + 128) / 256), alpha);
}

// Samples scaled to 16 bits, BT.2020 limited range.
uint32_t UnitByte(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 1.0) return 255;
    return static_cast<uint32_t>(value * 255.0 + 0.5);
}
void StoreYuv16(uint8_t* out, uint32_t y, uint32_t u, uint32_t v, uint32_t alpha) {
    const double luma = (static_cast<double>(y) - 4096.0) / 56064.0;
    const double cb = (static_cast<double>(u) - 32768.0) / 57344.0, cr = (static_cast<double>(v) - 32768.0) / 57344.0;
    Store(out, UnitByte(luma + 1.8814 * cb), UnitByte(luma - 0.16455 * cb - 0.57135 * cr), UnitByte(luma + 1.4746 * cr),
          alpha);
}

// Unsigned floats of R11G11B10: 5 bits of exponent, `mantissaBits` of mantissa, no sign.
float SmallFloat(uint32_t bits, int mantissaBits) {
    const uint32_t exponent = bits >> mantissaBits, mantissa = bits & ((1u << mantissaBits) - 1);
    if (exponent == 31) return mantissa != 0 ? NAN : INFINITY;
    if (exponent == 0) return std::ldexp(static_cast<float>(mantissa), -14 - mantissaBits);
    return std::ldexp(static_cast<float>(mantissa | 1u << mantissaBits), static_cast<int>(exponent) - 15 - mantissaBits);
}

// The first plane's row and the chroma row of a 4:2:0 layout.
const uint8_t* ChromaRow(const RowJob& job) {
    const DdsImage& image = job.image;
    return image.pixels + image.rowBytes * image.height + image.rowBytes * (job.y / 2);
}

}  // namespace

void DecodeBgra8(const RowJob& job) { std::memcpy(job.out, job.source, size_t{job.image.width} * 4); }

void DecodeBgrx8(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[0], s[1], s[2], 255); });
}

void DecodeBgr8(const RowJob& job) {
    EachPixel<3>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[0], s[1], s[2], 255); });
}

// Red and blue trade places: red and blue masked out and their 16-bit halves swapped within
// each pixel, eight pixels at a time with SSE2, then one at a time.
void DecodeRgba8(const RowJob& job) {
    const uint8_t* source = job.source;
    uint8_t* out = job.out;
    uint32_t x = 0;
#if defined(__SSE2__)
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FF00));
    const auto swap = [keep](__m128i v) {
        const __m128i redBlue = _mm_andnot_si128(keep, v);
        return _mm_or_si128(_mm_and_si128(v, keep), _mm_shufflehi_epi16(_mm_shufflelo_epi16(redBlue, 0xB1), 0xB1));
    };
    for (; x + 8 <= job.image.width; x += 8, source += 32, out += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), swap(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), swap(b));
    }
#endif
    for (; x < job.image.width; ++x, source += 4, out += 4) {
        const uint32_t v = Load32(source);
        Store(out, v >> 16, v >> 8, v, v >> 24);
    }
}

void DecodeRgbx8(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[2], s[1], s[0], 255); });
}

void DecodeRgb10A2(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        Store(o, Scale((v >> 20) & 1023, 1023), Scale((v >> 10) & 1023, 1023), Scale(v & 1023, 1023),
              (v >> 30) * 85);
    });
}

void DecodeBgr10A2(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        Store(o, Scale(v & 1023, 1023), Scale((v >> 10) & 1023, 1023), Scale((v >> 20) & 1023, 1023),
              (v >> 30) * 85);
    });
}

// Each channel (v - 384) / 510, clamped: the extended range of the XR_BIAS format.
void DecodeXrBias(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        auto biased = [](uint32_t c) { return c <= 384 ? 0u : c >= 894 ? 255u : Scale(c - 384, 510); };
        Store(o, biased((v >> 20) & 1023), biased((v >> 10) & 1023), biased(v & 1023), (v >> 30) * 85);
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

void DecodeB5G5R5X1(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, Widen(v & 31, 5), Widen((v >> 5) & 31, 5), Widen((v >> 10) & 31, 5), 255);
    });
}

void DecodeB4G4R4A4(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, (v & 15) * 17, ((v >> 4) & 15) * 17, ((v >> 8) & 15) * 17, (v >> 12) * 17);
    });
}

void DecodeB4G4R4X4(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, (v & 15) * 17, ((v >> 4) & 15) * 17, ((v >> 8) & 15) * 17, 255);
    });
}

// Red in the top nibble, alpha in the lowest.
void DecodeA4B4G4R4(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        Store(o, ((v >> 4) & 15) * 17, ((v >> 8) & 15) * 17, (v >> 12) * 17, (v & 15) * 17);
    });
}

void DecodeB2G3R3(const RowJob& job) {
    EachPixel<1>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, Widen(s[0] & 3, 2), Widen((s[0] >> 2) & 7, 3), Widen(s[0] >> 5, 3), 255);
    });
}

void DecodeB2G3R3A8(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, Widen(s[0] & 3, 2), Widen((s[0] >> 2) & 7, 3), Widen(s[0] >> 5, 3), s[1]);
    });
}

void DecodeRgba16(const RowJob& job) { DecodeNorm<16, Kind::Unorm, 4>(job); }

void DecodeRgba16Float(const RowJob& job) { DecodeFloats<16, 4>(job); }

void DecodeRgba32Float(const RowJob& job) { DecodeFloats<32, 4>(job); }

// G16R16, and the twins of G16R16F and G32R32F: blue is 255.
void DecodeRg16(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, 255, Scale(Load16(s + 2), 65535), Scale(Load16(s), 65535), 255);
    });
}

void DecodeRg16Float(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, 255, FloatByte(HalfToFloat(Load16(s + 2))), FloatByte(HalfToFloat(Load16(s))), 255);
    });
}

void DecodeRg32Float(const RowJob& job) {
    EachPixel<8>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, 255, FloatByte(LoadFloat(s + 4)), FloatByte(LoadFloat(s)), 255);
    });
}

void DecodeR16Float(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) { Store(o, 255, 255, FloatByte(HalfToFloat(Load16(s))), 255); });
}

void DecodeR32Float(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, 255, 255, FloatByte(LoadFloat(s)), 255); });
}

void DecodeR11G11B10Float(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        Store(o, FloatByte(SmallFloat(v >> 22, 5)), FloatByte(SmallFloat((v >> 11) & 0x7FF, 6)),
              FloatByte(SmallFloat(v & 0x7FF, 6)), 255);
    });
}

// Three 9-bit mantissas of one shared exponent: m x 2^(e - 24).
void DecodeRgb9E5(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        const int exponent = static_cast<int>(v >> 27) - 24;
        auto channel = [exponent](uint32_t m) { return FloatByte(std::ldexp(static_cast<float>(m), exponent)); };
        Store(o, channel((v >> 18) & 511), channel((v >> 9) & 511), channel(v & 511), 255);
    });
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

void DecodeL8A8(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[0], s[0], s[0], s[1]); });
}

void DecodeL4A4(const RowJob& job) {
    EachPixel<1>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t grey = (s[0] & 15) * 17;
        Store(o, grey, grey, grey, (s[0] >> 4) * 17);
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

// Depth is grey and stencil ignored; the stencil views show the stencil byte as grey.
void DecodeD24(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t grey = Scale(Load32(s) & 0xFFFFFF, 0xFFFFFF);
        Store(o, grey, grey, grey, 255);
    });
}

void DecodeStencilOf24(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[3], s[3], s[3], 255); });
}

void DecodeD32Float(const RowJob& job) { DecodeFloats<32, 1>(job); }

void DecodeD32FloatOf64(const RowJob& job) {
    EachPixel<8>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t grey = FloatByte(LoadFloat(s));
        Store(o, grey, grey, grey, 255);
    });
}

void DecodeStencilOf64(const RowJob& job) {
    EachPixel<8>(job, [](const uint8_t* s, uint8_t* o) { Store(o, s[4], s[4], s[4], 255); });
}

// Palette entries hold red, green, blue and flags; the picture is opaque.
void DecodePalette8(const RowJob& job) {
    const uint8_t* palette = job.image.palette;
    EachPixel<1>(job, [palette](const uint8_t* s, uint8_t* o) {
        const uint8_t* entry = palette + 4 * size_t{s[0]};
        Store(o, entry[2], entry[1], entry[0], 255);
    });
}

// A palette index, then alpha.
void DecodePalette8Alpha8(const RowJob& job) {
    const uint8_t* palette = job.image.palette;
    EachPixel<2>(job, [palette](const uint8_t* s, uint8_t* o) {
        const uint8_t* entry = palette + 4 * size_t{s[0]};
        Store(o, entry[2], entry[1], entry[0], s[1]);
    });
}

// Bump layouts with a luminance: signed U and V as red and green, unsigned L as blue.
void DecodeL6V5U5(const RowJob& job) {
    EachPixel<2>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load16(s);
        auto signed5 = [](uint32_t c) { return SignedByte<5>(static_cast<int32_t>(c ^ 16) - 16); };
        Store(o, Scale(v >> 10, 63), signed5((v >> 5) & 31), signed5(v & 31), 255);
    });
}

void DecodeX8L8V8U8(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        Store(o, s[2], SignedByte<8>(static_cast<int8_t>(s[1])), SignedByte<8>(static_cast<int8_t>(s[0])), 255);
    });
}

// U, V and W signed in bits 0-9, 10-19 and 20-29; alpha in 30-31.
void DecodeA2W10V10U10(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        auto signed10 = [](uint32_t c) { return SignedByte<10>(static_cast<int32_t>(c ^ 512) - 512); };
        Store(o, signed10((v >> 20) & 1023), signed10((v >> 10) & 1023), signed10(v & 1023), (v >> 30) * 85);
    });
}

// Packed RGB: a pair of pixels shares red and blue.
void DecodeR8G8B8G8(const RowJob& job) {
    EachPairPixel<4>(job, [](const uint8_t* p, bool second, uint8_t* o) { Store(o, p[2], p[second ? 3 : 1], p[0], 255); });
}

void DecodeG8R8G8B8(const RowJob& job) {
    EachPairPixel<4>(job, [](const uint8_t* p, bool second, uint8_t* o) { Store(o, p[3], p[second ? 2 : 0], p[1], 255); });
}

// 4:2:2 and 4:4:4 Y'CbCr, 8 bits a sample.
void DecodeYuy2(const RowJob& job) {
    EachPairPixel<4>(job, [](const uint8_t* p, bool second, uint8_t* o) { StoreYuv8(o, p[second ? 2 : 0], p[1], p[3], 255); });
}

void DecodeUyvy(const RowJob& job) {
    EachPairPixel<4>(job, [](const uint8_t* p, bool second, uint8_t* o) { StoreYuv8(o, p[second ? 3 : 1], p[0], p[2], 255); });
}

void DecodeAyuv(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) { StoreYuv8(o, s[2], s[1], s[0], s[3]); });
}

void DecodeNv12(const RowJob& job) {
    const uint8_t* chroma = ChromaRow(job);
    for (uint32_t x = 0; x < job.image.width; ++x) {
        const uint8_t* uv = chroma + x / 2 * 2;
        StoreYuv8(job.out + 4 * size_t{x}, job.source[x], uv[0], uv[1], 255);
    }
}

// 10- and 16-bit Y'CbCr, samples scaled to 16 bits. 10-bit samples stored in 16 keep them in
// the high bits: Mask clears the unused low ones.
void DecodeY410(const RowJob& job) {
    EachPixel<4>(job, [](const uint8_t* s, uint8_t* o) {
        const uint32_t v = Load32(s);
        StoreYuv16(o, ((v >> 10) & 1023) << 6, (v & 1023) << 6, ((v >> 20) & 1023) << 6, (v >> 30) * 85);
    });
}

void DecodeY416(const RowJob& job) {
    EachPixel<8>(job, [](const uint8_t* s, uint8_t* o) {
        StoreYuv16(o, Load16(s + 2), Load16(s), Load16(s + 4), Scale(Load16(s + 6), 65535));
    });
}

template <uint16_t Mask>
void DecodeY2x6(const RowJob& job) {
    EachPairPixel<8>(job, [](const uint8_t* p, bool second, uint8_t* o) {
        StoreYuv16(o, Load16(p + (second ? 4 : 0)) & Mask, Load16(p + 2) & Mask, Load16(p + 6) & Mask, 255);
    });
}
template void DecodeY2x6<0xFFC0>(const RowJob&);
template void DecodeY2x6<0xFFFF>(const RowJob&);

template <uint16_t Mask>
void DecodeP0x6(const RowJob& job) {
    const uint8_t* chroma = ChromaRow(job);
    for (uint32_t x = 0; x < job.image.width; ++x) {
        const uint8_t* uv = chroma + x / 2 * 4;
        StoreYuv16(job.out + 4 * size_t{x}, Load16(job.source + 2 * size_t{x}) & Mask, Load16(uv) & Mask,
                   Load16(uv + 2) & Mask, 255);
    }
}
template void DecodeP0x6<0xFFC0>(const RowJob&);
template void DecodeP0x6<0xFFFF>(const RowJob&);

// Legacy layouts given by bit masks (8, 16, 24 or 32 bits a pixel) that D3DX 9 does not name:
// each channel widened or scaled from its mask's width; a channel without a mask is 255. A grey
// level fills all three colours.
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
