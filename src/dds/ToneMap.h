#pragma once
// Tone mapping of HDR pictures for display: the extended Reinhard curve over the picture's
// largest luminance, after an exposure, encoded to sRGB bytes. Two passes over a picture's
// rows: AccumulateRows over every pixel the picture shows (every image laid out), Finish, then
// MapRows over the same rows again, into rows as DecodeRows writes them. No copy of the picture
// is kept between the passes, and neither pass needs a buffer of the caller's.
//
// Each channel v is taken as 0 where it is NaN or negative (+Inf stays), times 2^(exposure / 10).
// Lmax is the largest finite L = 0.3r + 0.59g + 0.11b of those, or 1 where that is 0 or no L is
// finite. A channel maps to c = min(v (1 + v / Lmax^2) / (1 + v), 1), +Inf to 1, then to the
// byte floor(255 s + 0.5) of its sRGB encoding s. The bytes come from a table over the stored
// float's bits that Finish works out in double, within 1 of exact arithmetic. (Float subnormals,
// below 2^-126, lie in steps too coarse for that; they show only in a picture whose Lmax is
// below about 2^-110.)

#include <cstddef>
#include <cstdint>

#include "DdsReader.h"

namespace sorvane::dds {

class ToneMapper {
public:
    // `exposure` in tenths of a stop.
    explicit ToneMapper(int exposure) noexcept;

    // Pass 1: rows [first, first + count) of a picture that HasHdrChannels, `first` a multiple
    // of BlockHeight, as DecodeRows takes them.
    void AccumulateRows(const DdsImage& image, uint32_t first, uint32_t count) noexcept;
    // The same split over threads: each band's largest L (before exposure), then Include of
    // the largest of them before Finish.
    static double LargestLuminance(const DdsImage& image, uint32_t first, uint32_t count) noexcept;
    void Include(double largest) noexcept {
        if (largest > largest_) largest_ = largest;
    }
    // Between the passes: fixes Lmax and the table.
    void Finish() noexcept;
    // Pass 2: the same rows tone-mapped, written as DecodeRows writes them (width x 4 bytes of
    // blue, green, red, alpha a row, `stride` bytes apart). Alpha is what DecodeRows gives.
    void MapRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out, ptrdiff_t stride) const noexcept;

    // The same over pixels of red, green, blue, alpha floats (kHdrPixelFloats each) as
    // DecodeHdrRows writes them; MapRow takes alpha as DecodeRows does: the stored alpha
    // clamped to [0, 1] x 255 and rounded (NaN 0), 1 (255) for formats without.
    void Accumulate(const float* rgba, size_t pixels) noexcept;
    void MapRow(const float* rgba, uint8_t* bgra, size_t pixels) const noexcept;

    // Lmax after exposure, once Finish has run.
    double Lmax() const noexcept { return lmax_; }

private:
    uint8_t ByteOf(float v) const noexcept;

    // The byte of each float from +0 to +Inf by its exponent and top 8 bits of mantissa: the
    // byte of the step's middle. The bytes rise by at most 224 a unit of ln v (the sRGB slope,
    // 112 at 1, times at most 2 for the curve), so within a step (ln of 1 + 2^-9 either side
    // of its middle) by at most 0.44, and the rounded byte by at most 1.
    static constexpr int kDroppedBits = 15;

    double scale_;
    double largest_ = 0.0;  // the largest finite L before exposure
    double lmax_ = 1.0;
    uint8_t byte_[(0x7F800000 >> kDroppedBits) + 1] = {};
    uint8_t halfByte_[0x8000] = {};  // the same for each half without its sign, for BC6H
};

}  // namespace sorvane::dds
