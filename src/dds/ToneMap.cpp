#include "ToneMap.h"

#include <cmath>

#include "DdsReader.h"
#include "PixelRows.h"

namespace sorvane::dds {

namespace {

// c in [0, 1] in steps of 1 / kSteps, to the nearest step. The encoding rises at most 12.92 x
// 255 a unit (its slope at the knee), so half a step moves it by at most 0.41 of a byte and the
// rounded byte by at most 1.
constexpr int kSteps = 4096;

double SrgbEncode(double c) { return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

struct SrgbTable {
    uint8_t byte[kSteps + 1];
    SrgbTable() {
        for (int i = 0; i <= kSteps; ++i) byte[i] = static_cast<uint8_t>(std::floor(255 * SrgbEncode(double(i) / kSteps) + 0.5));
    }
};

const SrgbTable& Table() {
    static const SrgbTable table;
    return table;
}

// NaN and negatives (-Inf, -0 included) become 0.
double Positive(float v) { return v > 0.0f ? v : 0.0; }

}  // namespace

uint8_t SrgbByte(double c) noexcept {
    const double clamped = c > 0.0 ? (c < 1.0 ? c : 1.0) : 0.0;
    return Table().byte[static_cast<int>(clamped * kSteps + 0.5)];
}

ToneMapper::ToneMapper(int exposure) noexcept : scale_(std::exp2(exposure / 10.0)) {}

// Before exposure in double: L of finite floats is finite, and exposure (a positive factor)
// keeps the order, so the largest L after exposure is the largest before, scaled.
void ToneMapper::Accumulate(const float* rgba, size_t pixels) noexcept {
    double largest = largest_;
    for (size_t i = 0; i < pixels; ++i, rgba += kHdrPixelFloats) {
        const double l = 0.3 * Positive(rgba[0]) + 0.59 * Positive(rgba[1]) + 0.11 * Positive(rgba[2]);
        if (l > largest && std::isfinite(l)) largest = l;
    }
    largest_ = largest;
}

void ToneMapper::Finish() noexcept {
    lmax_ = largest_ > 0.0 ? largest_ * scale_ : 1.0;
    inverseSquare_ = 1.0 / (lmax_ * lmax_);
}

// v >= Lmax maps to 1 or above (v^2 >= Lmax^2), +Inf with it; below, the curve stays under 1.
void ToneMapper::MapRow(const float* rgba, uint8_t* bgra, size_t pixels) const noexcept {
    const uint8_t* table = Table().byte;
    const double scale = scale_, lmax = lmax_, inverseSquare = inverseSquare_;
    const auto map = [&](float channel) {
        const double v = Positive(channel) * scale;
        const double c = v < lmax ? v * (1.0 + v * inverseSquare) / (1.0 + v) : 1.0;
        return table[static_cast<int>((c < 1.0 ? c : 1.0) * kSteps + 0.5)];
    };
    for (size_t i = 0; i < pixels; ++i, rgba += kHdrPixelFloats, bgra += 4) {
        bgra[0] = map(rgba[2]);
        bgra[1] = map(rgba[1]);
        bgra[2] = map(rgba[0]);
        bgra[3] = static_cast<uint8_t>(rows::FloatByte(rgba[3]));
    }
}

}  // namespace sorvane::dds
