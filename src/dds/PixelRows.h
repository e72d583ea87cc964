#pragma once
// Row decoders of the uncompressed formats, and the channel arithmetic they share. A format with
// a D3D9 twin gives what D3DX 9 makes of the twin: a channel the format lacks is 255, and a
// channel of fewer than 8 bits widens by repeating its bits. Other formats follow the channel
// rules: one channel is grey, two give red and green with blue 0, three are opaque, four carry
// alpha. Wide unsigned channels become round(value x 255 / maximum), signed ones
// (x + 1) / 2 with x = max(value / (2^(n-1) - 1), -1), float ones are clamped to [0, 1]; all
// round half up. Decoders are per row and chosen by the format's row: no per-pixel dispatch.

#include <cmath>
#include <cstring>

#include "DdsFormat.h"

namespace sorvane::dds::rows {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

inline void Store(uint8_t* out, uint32_t blue, uint32_t green, uint32_t red, uint32_t alpha) {
    out[0] = static_cast<uint8_t>(blue);
    out[1] = static_cast<uint8_t>(green);
    out[2] = static_cast<uint8_t>(red);
    out[3] = static_cast<uint8_t>(alpha);
}

// round(value x 255 / maximum) in integers.
constexpr uint32_t Scale(uint32_t value, uint32_t maximum) {
    return static_cast<uint32_t>((uint64_t{value} * 510 + maximum) / (uint64_t{maximum} * 2));
}

// A signed value of `bits` bits shown as (x + 1) / 2 x 255, x = max(value / m, -1) with
// m = 2^(bits-1) - 1: ((value + m) x 510 + 2m) / 4m in integers.
template <int Bits>
constexpr uint32_t SignedByte(int32_t value) {
    constexpr int64_t m = (int64_t{1} << (Bits - 1)) - 1;
    const int64_t v = value < -m ? -m : value;
    return static_cast<uint32_t>(((v + m) * 510 + 2 * m) / (4 * m));
}
static_assert(SignedByte<8>(-128) == 0 && SignedByte<8>(-127) == 0 && SignedByte<8>(0) == 128 &&
              SignedByte<8>(127) == 255 && SignedByte<16>(-32767) == 0 && SignedByte<32>(0x7FFFFFFF) == 255);

// A channel of `bits` bits (1 to 8) widened to 8 by repeating its bits below it.
constexpr uint32_t Widen(uint32_t value, uint32_t bits) {
    uint32_t out = 0, filled = 0;
    for (; filled < 8; filled += bits) out = out << bits | value;
    return out >> (filled - 8);
}
static_assert(Widen(3, 5) == 24 && Widen(33, 6) == 134 && Widen(1, 1) == 255 && Widen(2, 2) == 170);

inline float HalfToFloat(uint16_t h) {
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
inline uint32_t FloatByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<uint32_t>(value * 255.0f + 0.5f);
}

inline float LoadFloat(const uint8_t* p) {
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

// Channels 0 to 3 (red, green, blue, alpha as stored) shown by the channel rules.
template <int Channels>
void StoreChannels(uint8_t* out, const uint32_t* c) {
    if constexpr (Channels == 1) {
        Store(out, c[0], c[0], c[0], 255);
    } else if constexpr (Channels == 2) {
        Store(out, 0, c[1], c[0], 255);
    } else if constexpr (Channels == 3) {
        Store(out, c[2], c[1], c[0], 255);
    } else {
        Store(out, c[2], c[1], c[0], c[3]);
    }
}

enum class Kind { Unorm, Snorm };

// A channel of 8, 16 or 32 bits at p.
template <int Bits, Kind K>
uint32_t NormChannel(const uint8_t* p) {
    const uint32_t v = Bits == 8 ? p[0] : Bits == 16 ? Load16(p) : Load32(p);
    if constexpr (K == Kind::Unorm) {
        return Bits == 8 ? v : Scale(v, Bits == 16 ? 0xFFFF : 0xFFFFFFFF);
    } else if constexpr (Bits == 8) {
        return SignedByte<8>(static_cast<int8_t>(v));
    } else if constexpr (Bits == 16) {
        return SignedByte<16>(static_cast<int16_t>(v));
    } else {
        return SignedByte<32>(static_cast<int32_t>(v));
    }
}

// Integer channels of one width, all unsigned or all signed, in red, green, blue, alpha order:
// the UNORM, SNORM, UINT and SINT families and the bump layouts.
template <int Bits, Kind K, int Channels>
void DecodeNorm(const RowJob& job) {
    EachPixel<Bits / 8 * Channels>(job, [](const uint8_t* s, uint8_t* o) {
        uint32_t c[4];
        for (int i = 0; i < Channels; ++i) c[i] = NormChannel<Bits, K>(s + i * (Bits / 8));
        StoreChannels<Channels>(o, c);
    });
}

// Two integer channels of one width as a normal's x and y at full precision (the vectors of
// DdsFormat): 2v - 1 for unsigned v in [0, 1], max(value / m, -1) for signed ones.
template <int Bits, Kind K>
void DecodeVectors(const RowJob& job) {
    constexpr double kMax = K == Kind::Unorm ? (1u << Bits) - 1 : (1u << (Bits - 1)) - 1;
    const uint8_t* source = job.source;
    uint8_t* out = job.out;
    for (uint32_t x = 0; x < job.image.width; ++x, source += Bits / 4, out += 16) {
        double xy[2];
        for (int i = 0; i < 2; ++i) {
            const uint8_t* p = source + i * (Bits / 8);
            if constexpr (K == Kind::Unorm) {
                xy[i] = 2 * ((Bits == 8 ? p[0] : Load16(p)) / kMax) - 1;
            } else {
                const int32_t v = Bits == 8 ? int32_t{static_cast<int8_t>(p[0])}
                                            : int32_t{static_cast<int16_t>(Load16(p))};
                xy[i] = v < -kMax ? -1.0 : v / kMax;
            }
        }
        std::memcpy(out, xy, sizeof xy);
    }
}

// Float channels (16 or 32 bits) by the channel rules.
template <int Bits, int Channels>
void DecodeFloats(const RowJob& job) {
    EachPixel<Bits / 8 * Channels>(job, [](const uint8_t* s, uint8_t* o) {
        uint32_t c[4];
        for (int i = 0; i < Channels; ++i) {
            const uint8_t* p = s + i * (Bits / 8);
            c[i] = FloatByte(Bits == 16 ? HalfToFloat(Load16(p)) : LoadFloat(p));
        }
        StoreChannels<Channels>(o, c);
    });
}

// A row of 4 x 4 blocks of 16 bytes whose 16 texels `decode(block, texels)` writes at 16 bytes
// each, row by row: the texels copied into the job's rows, 16 bytes a pixel.
template <typename Decode>
void CopyBlockTexels(const RowJob& job, Decode decode) {
    alignas(16) uint8_t texels[16 * 16];
    const uint32_t width = job.image.width;
    for (uint32_t x = 0; x < width; x += 4) {
        decode(job.source + x / 4 * 16, texels);
        const size_t bytes = 16 * size_t{width - x < 4 ? width - x : 4};
        for (uint32_t row = 0; row < job.rows; ++row) {
            std::memcpy(job.out + row * job.stride + 16 * size_t{x}, texels + 64 * row, bytes);
        }
    }
}

}  // namespace sorvane::dds::rows

namespace sorvane::dds {

// The row decoders of PixelRows.cpp.
void DecodeBgra8(const RowJob& job);
void DecodeBgrx8(const RowJob& job);
void DecodeBgr8(const RowJob& job);
void DecodeRgba8(const RowJob& job);
void DecodeRgbx8(const RowJob& job);
void DecodeRgb10A2(const RowJob& job);
void DecodeBgr10A2(const RowJob& job);
void DecodeXrBias(const RowJob& job);
void DecodeB5G6R5(const RowJob& job);
void DecodeB5G5R5A1(const RowJob& job);
void DecodeB5G5R5X1(const RowJob& job);
void DecodeB4G4R4A4(const RowJob& job);
void DecodeB4G4R4X4(const RowJob& job);
void DecodeA4B4G4R4(const RowJob& job);
void DecodeB2G3R3(const RowJob& job);
void DecodeB2G3R3A8(const RowJob& job);
void DecodeRgba16(const RowJob& job);
void DecodeRgba16Float(const RowJob& job);
void DecodeRgba32Float(const RowJob& job);
void DecodeRg16(const RowJob& job);
void DecodeRg16Float(const RowJob& job);
void DecodeRg32Float(const RowJob& job);
void DecodeR16Float(const RowJob& job);
void DecodeR32Float(const RowJob& job);
void DecodeR11G11B10Float(const RowJob& job);
void DecodeRgb9E5(const RowJob& job);
void DecodeR8(const RowJob& job);
void DecodeRg8(const RowJob& job);
void DecodeR16(const RowJob& job);
void DecodeL8A8(const RowJob& job);
void DecodeL4A4(const RowJob& job);
void DecodeA8(const RowJob& job);
void DecodeR1(const RowJob& job);
void DecodeD24(const RowJob& job);
void DecodeStencilOf24(const RowJob& job);
void DecodeD32Float(const RowJob& job);
void DecodeD32FloatOf64(const RowJob& job);
void DecodeStencilOf64(const RowJob& job);
void DecodePalette8(const RowJob& job);
void DecodePalette8Alpha8(const RowJob& job);
void DecodeL6V5U5(const RowJob& job);
void DecodeX8L8V8U8(const RowJob& job);
void DecodeA2W10V10U10(const RowJob& job);
void DecodeR8G8B8G8(const RowJob& job);
void DecodeG8R8G8B8(const RowJob& job);
void DecodeYuy2(const RowJob& job);
void DecodeUyvy(const RowJob& job);
void DecodeAyuv(const RowJob& job);
void DecodeNv12(const RowJob& job);
void DecodeY410(const RowJob& job);
void DecodeY416(const RowJob& job);
template <uint16_t Mask>
void DecodeY2x6(const RowJob& job);  // Y210 (Mask 0xFFC0) and Y216
template <uint16_t Mask>
void DecodeP0x6(const RowJob& job);  // P010 (Mask 0xFFC0) and P016
void DecodeMasks(const RowJob& job);

}  // namespace sorvane::dds
