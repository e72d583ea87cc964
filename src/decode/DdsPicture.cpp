#include "DdsPicture.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "FaultGuard.h"
#include "Holders.h"
#include "RowLoop.h"

namespace sorvane {

namespace {

// The scratch of a band: at least one row of blocks, and otherwise about this many bytes.
constexpr size_t kScratchBytes = 256 * 1024;

struct Pass {
    const dds::DdsImage& image;
    const PixelView& view;
    PixelImage& dib;
    uint32_t unitRows;  // pixel rows of a block row
    mutable std::atomic<PluginResult> failure{kSuccess};
};

void Unpremultiply(uint8_t* pixels, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i, pixels += 4) {
        const uint32_t alpha = pixels[3];
        for (int c = 0; c < 3; ++c) {
            // colour x 255 / alpha, rounded; more than the alpha allows is full.
            const uint32_t value = alpha == 0 ? 0 : (pixels[c] * 510u + alpha) / (2 * alpha);
            pixels[c] = static_cast<uint8_t>(value > 255 ? 255 : value);
        }
    }
}

// Block rows [first, end): decoded a few at a time into scratch and written as DIB rows.
void DecodeBand(const Pass& pass, uint32_t first, uint32_t end) {
    const dds::DdsImage& image = pass.image;
    // Sized in 64 bits: a 32-bit process can hold a DIB whose rows of 4-byte pixels in blocks
    // of 4 would wrap its size_t.
    const uint64_t unitBytes = uint64_t{image.width} * 4 * pass.unitRows;
    const uint32_t chunkUnits = static_cast<uint32_t>(std::max<uint64_t>(1, kScratchBytes / unitBytes));
    const uint32_t chunkRows = chunkUnits * pass.unitRows;
    const uint64_t scratchBytes = unitBytes * chunkUnits;
    const size_t rowBytes = size_t{image.width} * 4;
    // From LocalAlloc, which answers a failure with null: operator new would throw inside the
    // runtime on a pool thread, which keeps state for every thread that has thrown.
    const LocalBlock block(scratchBytes <= SIZE_MAX ? LocalAlloc(LMEM_FIXED, static_cast<size_t>(scratchBytes)) : nullptr);
    if (!block) {
        pass.failure = kOutOfMemory;
        return;
    }
    uint8_t* const scratch = static_cast<uint8_t*>(block.get());
    const uint32_t stride = static_cast<uint32_t>(pass.dib.layout().stride);
    const uint32_t lastRow = std::min<uint64_t>(uint64_t{end} * pass.unitRows, image.height);
    for (uint32_t row = first * pass.unitRows; row < lastRow; row += chunkRows) {
        const uint32_t rows = std::min(chunkRows, lastRow - row);
        dds::DecodeRows(image, row, rows, scratch, static_cast<ptrdiff_t>(rowBytes));
        for (uint32_t i = 0; i < rows; ++i) {
            uint8_t* pixels = scratch + rowBytes * i;
            if (image.premultiplied) Unpremultiply(pixels, image.width);
            // The first DIB row in memory is the picture's bottom row.
            ConvertRowForView(pixels, pass.dib.Row(image.height - 1 - (row + i)), image.width, stride, pass.view, row + i, 0);
        }
    }
}

}  // namespace

PluginResult DecodeDdsIntoDib(const dds::DdsImage& image, const AlphaMode& mode, PixelImage& dib) noexcept {
    return DecodeDdsIntoDib(image, PixelView{mode}, dib);
}

PluginResult DecodeDdsIntoDib(const dds::DdsImage& image, const PixelView& view, PixelImage& dib) noexcept {
    if (image.pixels == nullptr) return kInternalError;
    PluginResult result = dib.Allocate(image.width, image.height, view.dibBits);
    if (result != kSuccess) return result;
    // Pictures without alpha only drop the alpha byte the decoders write (or read it as 255).
    PixelView used = view;
    if (!image.alpha) {
        used.alpha = AlphaMode{};
        used.opaque = true;
    }
    Pass pass{image, used, dib, dds::BlockHeight(image)};
    const uint32_t units = (image.height + pass.unitRows - 1) / pass.unitRows;
    ForEachRowBand(
        units, uint64_t{image.width} * 4 * pass.unitRows,
        [](const void* context, uint32_t first, uint32_t end) {
            const Pass& p = *static_cast<const Pass*>(context);
            // Each band runs guarded on its own thread: a fault ends the picture, not the host.
            if (RunGuarded([&] { DecodeBand(p, first, end); }) != 0) p.failure = kInternalError;
        },
        &pass);
    result = pass.failure.load();
    if (result != kSuccess) dib = PixelImage();
    return result;
}

PluginResult CopyDdsRowsIntoDib(const dds::DdsImage& image, PixelImage& dib) noexcept {
    // Masks are set for the legacy bit-mask layouts alone.
    const dds::ChannelMasks& m = image.masks;
    if (image.pixels == nullptr || m.bits != 16 || m.red != 0x7C00 || m.green != 0x3E0 || m.blue != 0x1F ||
        m.alpha != 0 || m.luminance) {
        return kInternalError;
    }
    const PixelImage rows(PixelLayout{image.width, image.height, 16, static_cast<intptr_t>(image.rowBytes)},
                          const_cast<uint8_t*>(image.pixels));
    return FlipRows(rows, dib);
}

}  // namespace sorvane
