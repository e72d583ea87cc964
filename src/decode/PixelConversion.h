#pragma once
// The pixel steps of a request: one pass from the rows of a picture (first row = top) to the
// rows of a bottom-up DIB in a new block, the alpha disposed of or a view of the settings
// made on the way.

#include <cstdint>

#include "Holders.h"
#include "PixelImage.h"
#include "PluginResult.h"
#include "PluginSettings.h"

namespace sorvane::dds {
class ToneMapper;
}

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

// How a picture's 32-bit pixels (blue, green, red, alpha) become DIB pixels when the settings
// ask for a view. With only `alpha` set it is the plain 24-bit conversion, byte for byte.
struct PixelView {
    AlphaMode alpha{};          // the disposal of a 24-bit colour picture
    bool checkerboard = false;  // a Composite `alpha` blends over the checkerboard, not its colour
    bool alphaChannel = false;  // red = green = blue = alpha; nothing disposed of
    bool opaque = false;        // the alpha byte carries nothing and reads as 255
    uint32_t dibBits = 24;      // or 32: straight alpha, nothing disposed of
    bool normalZ = false;       // our reader's two-channel pictures get the reconstructed blue
    // Our reader's HDR pictures: their colours tone-mapped by this, once it has measured every
    // image the picture shows; null for the colours as stored.
    const dds::ToneMapper* toneMapper = nullptr;
};

// The view the settings ask for, for a picture whose format has alpha or not. Layouts and
// normal Z are not steps of ConvertRowForView: the caller places the images, and our reader
// reconstructs blue before the row is converted.
PixelView PixelViewOf(const PluginSettings& settings, bool hasAlpha) noexcept;

// One row of `width` 32-bit pixels to a DIB row of view.dibBits at `target`, the padding up
// to `stride` zeroed. The row's first pixel lies at `column`, `pictureRow` of the whole
// picture, counted from its top-left pixel (not from the DIB's bottom row): the checkerboard
// is placed by them. The 32-bit channel view is opaque grey. Stores stay inside the row.
void ConvertRowForView(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t stride, const PixelView& view,
                       uint32_t pictureRow, uint32_t column) noexcept;

// ConvertTo24Bits for a view: the 32-bit picture into a new DIB of view.dibBits, bottom-up.
PluginResult ConvertForView(const PixelImage& source, PixelImage& dib, const PixelView& view) noexcept;

// A picture of `width` pixels placed in a DIB with its top-left pixel at column `left`, row
// `top` (counted from the DIB's top row): where each of its rows starts, and how many bytes
// from there are its to write: to the row's end (padding included) for a picture that reaches
// the right edge, else its own pixels alone.
struct PlacedRows {
    const PixelImage& dib;
    uint32_t left, top, width;

    uint32_t PixelBytes() const noexcept { return dib.layout().bitsPerPixel / 8; }
    uint8_t* Row(uint32_t pictureRow) const noexcept {
        return dib.Row(dib.layout().height - 1 - (top + pictureRow)) + size_t{PixelBytes()} * left;
    }
    uint32_t Bytes() const noexcept {
        return left + width == dib.layout().width ? static_cast<uint32_t>(dib.layout().stride) - PixelBytes() * left
                                                  : PixelBytes() * width;
    }
};

// The same into a DIB of view.dibBits already made, with the picture's top-left pixel at
// column `left`, row `top` (counted from the DIB's top row). Only its own pixels are written,
// and the row padding where it reaches the right edge. 8 when it does not fit.
PluginResult DrawForView(const PixelImage& source, const PixelImage& dib, const PixelView& view, uint32_t left,
                         uint32_t top) noexcept;

// Every pixel of the DIB as a transparent black pixel shows in the view (the colour, the
// checkerboard, black, or 0 alpha), padding zeroed: the gaps of a laid-out picture.
void ClearForView(const PixelImage& dib, const PixelView& view) noexcept;

// The light and dark squares of the checkerboard, and their side in pixels.
inline constexpr uint8_t kCheckerLight = 255, kCheckerDark = 204;
inline constexpr uint32_t kCheckerSquare = 8;

// One channel blended: (source x alpha + colour x (255 - alpha)) / 255, truncated.
constexpr uint8_t BlendChannel(uint32_t source, uint32_t colour, uint32_t alpha) {
    return static_cast<uint8_t>((source * alpha + colour * (255 - alpha)) / 255);
}

}  // namespace sorvane
