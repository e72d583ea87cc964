#pragma once
// The pixel steps of a request: the bottom-up row copy out of the locked surface, the
// reduction of 32-bit pixels to 24 bits with the alpha disposed of, and the DIB blocks.

#include <cstdint>

#include "Holders.h"
#include "PixelImage.h"
#include "PluginSettings.h"
#include "PluginResult.h"

namespace sorvane {

// How alpha goes: dropped, or blended over a colour given as blue, green, red.
struct AlphaMode {
    bool composite;
    uint8_t blue, green, red;
};

// The alpha mode the settings ask for.
AlphaMode AlphaModeOf(const PluginSettings& settings) noexcept;

// Copies the rows into a new DIB-strided block in reverse order (first row in memory = the
// picture's bottom row). A source row shorter than the DIB row is copied as far as it goes
// and the rest zeroed; padding is zero.
PluginResult FlipRows(PixelImage& image, LocalBlock& spare) noexcept;

// 32-bit blue, green, red, alpha pixels to 24-bit ones, the alpha disposed of by `mode`.
PluginResult ConvertTo24Bits(PixelImage& image, LocalBlock& spare, const AlphaMode& mode) noexcept;

// Moves the image's block into bitsOut (never copied) and makes the 44-byte BITMAPINFO block
// of a bottom-up BI_RGB DIB in infoOut.
PluginResult TakeDibHandles(PixelImage& image, LocalBlock& infoOut, LocalBlock& bitsOut) noexcept;

// One channel blended: (source x alpha + colour x (255 - alpha)) / 255, truncated.
constexpr uint8_t BlendChannel(uint32_t source, uint32_t colour, uint32_t alpha) {
    return static_cast<uint8_t>((source * alpha + colour * (255 - alpha)) / 255);
}

}  // namespace sorvane
