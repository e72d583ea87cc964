#pragma once
// Pixel images in local-memory blocks: the layout, the stride rule of DIBs and the recycling
// of blocks through the request's spare slot.

#include <cstdint>
#include <memory>
#include <vector>

#include "Holders.h"
#include "PluginResult.h"

namespace sorvane {

struct PixelLayout {
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerPixel;  // 16, 24 or 32
    intptr_t stride;        // bytes from one row's start to the next
    std::vector<uint32_t> colorTable;  // for 8 bits or fewer; never used here
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
    PixelImage(const PixelImage&) = delete;
    PixelImage& operator=(const PixelImage&) = delete;

    // A new layout (stride DibStride) and a block of height x stride + 4 bytes, the spare
    // taken instead of a new allocation when it is large enough. 4 when memory or the size
    // cannot be had: without a layout the image keeps its old one; without a block it has
    // the new layout and no block.
    PluginResult Allocate(uint32_t width, uint32_t height, uint32_t bitsPerPixel, LocalBlock& spare) noexcept;

    // Becomes the image that `other` describes. This image's old block becomes the spare
    // when the spare is empty or smaller; `other` is left with neither layout nor block.
    void Adopt(PixelImage& other, LocalBlock& spare) noexcept;

    // Describes pixels that the image does not own (a locked surface): 4 without memory.
    PluginResult Describe(uint32_t width, uint32_t height, uint32_t bitsPerPixel, intptr_t stride,
                          uint8_t* bits) noexcept;

    const PixelLayout* layout() const noexcept { return layout_.get(); }
    uint8_t* bits() const noexcept { return bits_; }
    bool ownsBlock() const noexcept { return static_cast<bool>(block_); }
    // Hands the own block to the caller; the image keeps its layout and no bits.
    HLOCAL ReleaseBlock() noexcept;
    void DropLayout() noexcept { layout_.reset(); }

private:
    std::unique_ptr<PixelLayout> layout_;
    LocalBlock block_;
    uint8_t* bits_ = nullptr;
};

}  // namespace sorvane
