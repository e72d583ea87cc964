#include "HdrRows.h"

#include <cstring>

#include "BlockDecoders.h"
#include "PixelRows.h"

namespace sorvane::dds {

namespace {

float FromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void StorePixel(uint8_t* out, float red, float green, float blue, float alpha) {
    const float pixel[kHdrPixelFloats] = {red, green, blue, alpha};
    std::memcpy(out, pixel, sizeof pixel);
}

constexpr size_t kPixelBytes = kHdrPixelFloats * sizeof(float);

}  // namespace

// Built from the bits rather than by ldexp, and without a branch: a row of halves is the hot
// loop of both passes, and small values (subnormal halves) come and go at random in real data.
float HalfValue(uint16_t half) {
    const uint32_t sign = uint32_t{half & 0x8000u} << 16, rest = half & 0x7FFFu;
    float subnormal = static_cast<float>(rest) * 0x1p-24f;  // exact below 0x400
    uint32_t subnormalBits;
    std::memcpy(&subnormalBits, &subnormal, sizeof subnormalBits);
    // Rebias the exponent from 15 to 127; exponent 31 (infinity, NaN) becomes 255.
    const uint32_t normalBits = (rest << 13) + (rest >= 0x7C00 ? (255 - 31) << 23 : (127 - 15) << 23);
    return FromBits(sign | (rest < 0x400 ? subnormalBits : normalBits));
}

template <int Bits, int Channels>
void DecodeHdrFloats(const RowJob& job) {
    const uint8_t* source = job.source;
    uint8_t* out = job.out;
    for (uint32_t x = 0; x < job.image.width; ++x, source += Bits / 8 * Channels, out += kPixelBytes) {
        float c[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (int i = 0; i < Channels; ++i) {
            const uint8_t* p = source + i * (Bits / 8);
            c[i] = Bits == 16 ? HalfValue(rows::Load16(p)) : rows::LoadFloat(p);
        }
        if (Channels == 1) c[1] = c[2] = c[0];
        StorePixel(out, c[0], c[1], c[2], c[3]);
    }
}

template void DecodeHdrFloats<16, 1>(const RowJob&);
template void DecodeHdrFloats<16, 2>(const RowJob&);
template void DecodeHdrFloats<16, 4>(const RowJob&);
template void DecodeHdrFloats<32, 1>(const RowJob&);
template void DecodeHdrFloats<32, 2>(const RowJob&);
template void DecodeHdrFloats<32, 3>(const RowJob&);
template void DecodeHdrFloats<32, 4>(const RowJob&);

// Its floats are halves without the sign bit and with 6 or 5 bits of mantissa.
void DecodeHdrR11G11B10(const RowJob& job) {
    const uint8_t* source = job.source;
    uint8_t* out = job.out;
    for (uint32_t x = 0; x < job.image.width; ++x, source += 4, out += kPixelBytes) {
        const uint32_t v = rows::Load32(source);
        StorePixel(out, HalfValue(static_cast<uint16_t>((v & 0x7FF) << 4)),
                   HalfValue(static_cast<uint16_t>(((v >> 11) & 0x7FF) << 4)),
                   HalfValue(static_cast<uint16_t>((v >> 22) << 5)), 1.0f);
    }
}

// Mantissas m of 9 bits under a shared exponent e: m x 2^(e - 24), the power a normal float.
void DecodeHdrRgb9E5(const RowJob& job) {
    const uint8_t* source = job.source;
    uint8_t* out = job.out;
    for (uint32_t x = 0; x < job.image.width; ++x, source += 4, out += kPixelBytes) {
        const uint32_t v = rows::Load32(source);
        const float step = FromBits(((v >> 27) + 127 - 24) << 23);
        StorePixel(out, static_cast<float>(v & 511) * step, static_cast<float>((v >> 9) & 511) * step,
                   static_cast<float>((v >> 18) & 511) * step, 1.0f);
    }
}

template <bool Signed>
void DecodeHdrBc6h(const RowJob& job) {
    static_assert(kPixelBytes == 16, "a texel of CopyBlockTexels");
    rows::CopyBlockTexels(job, [](const uint8_t* block, uint8_t* texels) {
        uint16_t halves[3 * kBlockTexels];
        DecodeBc6hBlockHalf(block, Signed, halves);
        for (int t = 0; t < kBlockTexels; ++t) {
            const uint16_t* texel = halves + 3 * t;
            StorePixel(texels + kPixelBytes * t, HalfValue(texel[0]), HalfValue(texel[1]), HalfValue(texel[2]), 1.0f);
        }
    });
}

template void DecodeHdrBc6h<false>(const RowJob&);
template void DecodeHdrBc6h<true>(const RowJob&);

}  // namespace sorvane::dds
