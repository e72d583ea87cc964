#pragma once
// The pixel steps of a request: one pass from the rows of a picture (first row = top) to the
// rows of a bottom-up DIB in a new block, and the two DIB blocks handed to the host.

#include <cstdint>

#include "Holders.h"
#include "PixelImage.h"
#include "PluginResult.h"
#include "PluginSettings.h"

namespace sorvane {

// How alpha goes: dropped, or blended over a colour given as blue, green, red.
struct AlphaMode {
    bool composite;
    uint8_t blue, green, red;
};

// The alpha mode the settings ask for.
AlphaMode AlphaModeOf(const PluginSettings& settings) noexcept;

// 16- and 24-bit pictures: the rows into a new DIB block in reverse order, unchanged. A source
// row shorter than the DIB row (a pitch below it) is copied as far as it goes and the rest
// zeroed; padding is zero.
PluginResult FlipRows(const PixelImage& source, PixelImage& dib) noexcept;

// 32-bit blue, green, red, alpha pictures: read bottom-up and written as the 24-bit DIB rows
// of a new block, the alpha disposed of by `mode` on the way.
PluginResult ConvertTo24Bits(const PixelImage& source, PixelImage& dib, const AlphaMode& mode) noexcept;

// One row of `width` 32-bit pixels to 24-bit ones at `target`, the padding up to `stride`
// zeroed. Stores stay inside the row.
void ConvertRowTo24Bits(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t stride,
                        const AlphaMode& mode) noexcept;

// Moves the DIB block into bitsOut (never copied) and makes the 44-byte BITMAPINFO block of a
// bottom-up BI_RGB DIB in infoOut.
PluginResult TakeDibHandles(PixelImage& dib, LocalBlock& infoOut, LocalBlock& bitsOut) noexcept;

// One channel blended: (source x alpha + colour x (255 - alpha)) / 255, truncated.
constexpr uint8_t BlendChannel(uint32_t source, uint32_t colour, uint32_t alpha) {
    return static_cast<uint8_t>((source * alpha + colour * (255 - alpha)) / 255);
}

}  // namespace sorvane
