#pragma once
// Pixel images: rows somewhere in memory (a locked surface), or the DIB block being built, and
// the DIB's hand-over as the two blocks the host receives.

#include <cstddef>
#include <cstdint>

#include "Holders.h"
#include "PluginResult.h"

namespace sorvane {

struct PixelLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;  // 16, 24 or 32
    intptr_t stride = 0;        // bytes from one row's start to the next
};

// The stride of a DIB row: whole bytes, rounded up to a multiple of 4, in unsigned 32-bit
// arithmetic. Callers that size blocks use DibBlockSize, which refuses what would wrap.
uint32_t DibStride(uint32_t width, uint32_t bitsPerPixel) noexcept;

// The stride and the block size (height x stride + 4) of a DIB, or false when either does
// not fit: then no block of the right size can exist.
bool DibBlockSize(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t& stride,
                  size_t& blockSize) noexcept;

class PixelImage {
public:
    PixelImage() noexcept = default;
    // Rows that the image does not own, such as a locked surface's.
    PixelImage(const PixelLayout& layout, uint8_t* bits) noexcept : layout_(layout), bits_(bits) {}
    PixelImage(PixelImage&&) noexcept = default;
    PixelImage& operator=(PixelImage&&) noexcept = default;

    // A DIB block of its own: rows DibStride apart and height x stride + 4 bytes, the 4 bytes
    // beyond the last row zeroed. 4 when the size cannot exist or memory cannot be had; the
    // image is then left empty.
    PluginResult Allocate(uint32_t width, uint32_t height, uint32_t bitsPerPixel) noexcept;

    const PixelLayout& layout() const noexcept { return layout_; }
    uint8_t* bits() const noexcept { return bits_; }
    uint8_t* Row(uint32_t row) const noexcept { return bits_ + static_cast<intptr_t>(row) * layout_.stride; }

    // Hands the own block to the caller; the image is empty afterwards.
    HLOCAL ReleaseBlock() noexcept;

private:
    PixelLayout layout_;
    LocalBlock block_;
    uint8_t* bits_ = nullptr;
};

// The two blocks of a DIB as the host receives them, until they are handed over.
struct DibBlocks {
    LocalBlock info;  // the 44-byte BITMAPINFO
    LocalBlock bits;  // the rows
};

// Moves the DIB's block into blocks.bits (never copied) and makes the BITMAPINFO block of a
// bottom-up BI_RGB DIB in blocks.info. 8 for an image without a block of its own.
PluginResult TakeDibHandles(PixelImage& dib, DibBlocks& blocks) noexcept;

}  // namespace sorvane
