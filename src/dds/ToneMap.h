#pragma once
// Tone mapping of HDR pictures for display: the extended Reinhard curve over the picture's
// largest luminance, after an exposure, encoded to sRGB bytes. Two passes over the rows that
// DecodeHdrRows gives: Accumulate every pixel the picture shows (every image laid out), Finish,
// then MapRow the same rows again. No copy of the picture is kept between the passes.
//
// Each channel v is taken as 0 where it is NaN or negative (+Inf stays), times 2^(exposure / 10).
// Lmax is the largest finite L = 0.3r + 0.59g + 0.11b of those, or 1 where that is 0 or no L is
// finite. A channel maps to c = min(v (1 + v / Lmax^2) / (1 + v), 1), +Inf to 1, then to the
// byte floor(255 s + 0.5) of its sRGB encoding s. Arithmetic in double; the sRGB encoding comes
// from a table, within 1 of exact arithmetic.

#include <cstddef>
#include <cstdint>

namespace sorvane::dds {

class ToneMapper {
public:
    // `exposure` in tenths of a stop.
    explicit ToneMapper(int exposure) noexcept;

    // Pass 1: pixels of red, green, blue, alpha floats (kHdrPixelFloats each), as DecodeHdrRows
    // writes them.
    void Accumulate(const float* rgba, size_t pixels) noexcept;
    // Between the passes: fixes Lmax.
    void Finish() noexcept;
    // Pass 2: the same pixels as blue, green, red, alpha bytes. Alpha is what DecodeRows gives
    // for the format: the stored alpha clamped to [0, 1] x 255 rounded (NaN 0), 1 for formats
    // without alpha giving 255.
    void MapRow(const float* rgba, uint8_t* bgra, size_t pixels) const noexcept;

    // Lmax after exposure, once Finish has run.
    double Lmax() const noexcept { return lmax_; }

private:
    double scale_;
    double largest_ = 0.0;  // the largest finite L before exposure
    double lmax_ = 1.0;
    double inverseSquare_ = 1.0;
};

// The byte of the sRGB encoding of c in [0, 1] (clamped), as MapRow takes it from its table.
uint8_t SrgbByte(double c) noexcept;

}  // namespace sorvane::dds
