#include "DdsPicture.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "FaultGuard.h"
#include "Holders.h"
#include "RowLoop.h"
#include "ToneMap.h"

namespace sorvane {

namespace {

// The scratch of a band: at least one row of blocks, and otherwise about this many bytes.
constexpr size_t kScratchBytes = 256 * 1024;

struct Pass {
    const dds::DdsImage& image;
    const PixelView& view;
    PlacedRows place;     // where the picture's rows lie in the DIB
    uint32_t unitRows;    // pixel rows of a block row
    bool normalZ;         // blue becomes the reconstructed Z of the two channels
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

// From LocalAlloc, which answers a failure with null: operator new would throw inside the
// runtime on a pool thread, which keeps state for every thread that has thrown.
LocalBlock Scratch(uint64_t bytes) {
    return LocalBlock(bytes <= SIZE_MAX ? LocalAlloc(LMEM_FIXED, static_cast<size_t>(bytes)) : nullptr);
}

// The blue of `rows` decoded rows from picture row `first` on, `rowBytes` apart, replaced by
// the Z of their two channels at full precision; `vectors` holds a unit row of them.
void ReconstructBlue(const Pass& pass, uint32_t first, uint32_t rows, uint8_t* pixels, size_t rowBytes,
                     uint8_t* vectors) {
    const uint32_t width = pass.image.width;
    for (uint32_t unit = 0; unit < rows; unit += pass.unitRows) {
        const uint32_t count = std::min(pass.unitRows, rows - unit);
        dds::DecodeVectorRows(pass.image, first + unit, count, vectors, static_cast<ptrdiff_t>(width) * 16);
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t* row = pixels + rowBytes * (unit + i);
            const uint8_t* xy = vectors + size_t{width} * 16 * i;
            for (uint32_t x = 0; x < width; ++x, xy += 16) {
                double pair[2];
                std::memcpy(pair, xy, sizeof pair);
                row[4 * size_t{x}] = NormalZBlue(pair[0], pair[1]);
            }
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
    const size_t rowBytes = size_t{image.width} * 4;
    const LocalBlock block = Scratch(unitBytes * chunkUnits);
    const LocalBlock vectors = pass.normalZ ? Scratch(unitBytes * 4) : LocalBlock();
    if (!block || (pass.normalZ && !vectors)) {
        pass.failure = kOutOfMemory;
        return;
    }
    uint8_t* const scratch = static_cast<uint8_t*>(block.get());
    const uint32_t lastRow = std::min<uint64_t>(uint64_t{end} * pass.unitRows, image.height);
    const uint32_t targetBytes = pass.place.Bytes();
    for (uint32_t row = first * pass.unitRows; row < lastRow; row += chunkRows) {
        const uint32_t rows = std::min(chunkRows, lastRow - row);
        if (pass.view.toneMapper != nullptr) {
            pass.view.toneMapper->MapRows(image, row, rows, scratch, static_cast<ptrdiff_t>(rowBytes));
        } else {
            dds::DecodeRows(image, row, rows, scratch, static_cast<ptrdiff_t>(rowBytes));
        }
        if (pass.normalZ) ReconstructBlue(pass, row, rows, scratch, rowBytes, static_cast<uint8_t*>(vectors.get()));
        for (uint32_t i = 0; i < rows; ++i) {
            uint8_t* pixels = scratch + rowBytes * i;
            if (image.premultiplied) Unpremultiply(pixels, image.width);
            ConvertRowForView(pixels, pass.place.Row(row + i), image.width, targetBytes, pass.view,
                              pass.place.top + row + i, pass.place.left);
        }
    }
}

}  // namespace

PluginResult DecodeDdsIntoDib(const dds::DdsImage& image, const PixelView& view, PixelImage& dib) noexcept {
    if (image.pixels == nullptr) return kInternalError;
    PluginResult result = dib.Allocate(image.width, image.height, view.dibBits);
    if (result == kSuccess) result = DrawDdsImage(image, view, dib, 0, 0);
    if (result != kSuccess) dib = PixelImage();
    return result;
}

PluginResult DrawDdsImage(const dds::DdsImage& image, const PixelView& view, const PixelImage& dib, uint32_t left,
                          uint32_t top) noexcept {
    const PixelLayout& to = dib.layout();
    if (image.pixels == nullptr || dib.bits() == nullptr || uint64_t{left} + image.width > to.width ||
        uint64_t{top} + image.height > to.height) {
        return kInternalError;
    }
    // Pictures without alpha only drop the alpha byte the decoders write (or read it as 255).
    PixelView used = view;
    if (!image.alpha) {
        used.alpha = AlphaMode{};
        used.opaque = true;
    }
    Pass pass{image, used, PlacedRows{dib, left, top, image.width}, dds::BlockHeight(image),
              view.normalZ && dds::HasVectorChannels(image)};
    const uint32_t units = (image.height + pass.unitRows - 1) / pass.unitRows;
    ForEachRowBand(
        units, uint64_t{image.width} * 4 * pass.unitRows,
        [](const void* context, uint32_t first, uint32_t end) {
            const Pass& p = *static_cast<const Pass*>(context);
            // Each band runs guarded on its own thread: a fault ends the picture, not the host.
            if (RunGuarded([&] { DecodeBand(p, first, end); }) != 0) p.failure = kInternalError;
        },
        &pass);
    return pass.failure.load();
}

PluginResult MeasureDdsImage(const dds::DdsImage& image, double& largest) noexcept {
    struct Measure {
        const dds::DdsImage& image;
        uint32_t unitRows;
        mutable std::atomic<double> largest{0.0};
        mutable std::atomic<PluginResult> failure{kSuccess};
    } measure{image, dds::BlockHeight(image)};
    if (image.pixels == nullptr) return kInternalError;
    const uint32_t units = (image.height + measure.unitRows - 1) / measure.unitRows;
    ForEachRowBand(
        units, uint64_t{image.width} * 4 * measure.unitRows,
        [](const void* context, uint32_t first, uint32_t end) {
            const auto& m = *static_cast<const Measure*>(context);
            const uint32_t row = first * m.unitRows;
            const uint32_t rows = std::min<uint64_t>(uint64_t{end} * m.unitRows, m.image.height) - row;
            double band = 0.0;
            if (RunGuarded([&] { band = dds::ToneMapper::LargestLuminance(m.image, row, rows); }) != 0) {
                m.failure = kInternalError;
            }
            double seen = m.largest.load();
            while (band > seen && !m.largest.compare_exchange_weak(seen, band)) {
            }
        },
        &measure);
    largest = std::max(largest, measure.largest.load());
    return measure.failure.load();
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

uint8_t NormalZBlue(double x, double y) noexcept {
    const double square = 1.0 - x * x - y * y;
    // Also NaN lands here: a channel that is no number gives a flat z.
    const double z = square > 0.0 ? std::sqrt(square) : 0.0;
    const double blue = std::floor(255.0 * (z + 1.0) / 2.0 + 0.5);
    return static_cast<uint8_t>(blue > 255.0 ? 255.0 : blue);
}

}  // namespace sorvane
