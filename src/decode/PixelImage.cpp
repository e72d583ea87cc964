#include "PixelImage.h"

#include <new>

namespace sorvane {

uint32_t DibStride(uint32_t width, uint32_t bitsPerPixel) noexcept {
    return (((width * bitsPerPixel + 7) >> 3) + 3) & ~3u;
}

bool DibBlockSize(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t& stride,
                  size_t& blockSize) noexcept {
    const uint64_t wide = ((((uint64_t{width} * bitsPerPixel + 7) >> 3) + 3) & ~uint64_t{3});
    if (wide > 0x7FFFFFFF) return false;  // rows are addressed with a signed stride
    const uint64_t need = uint64_t{height} * wide + 4;
    if (need > SIZE_MAX) return false;
    stride = static_cast<uint32_t>(wide);
    blockSize = static_cast<size_t>(need);
    return true;
}

PluginResult PixelImage::Allocate(uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                                  LocalBlock& spare) noexcept {
    uint32_t stride;
    size_t need;
    if (!DibBlockSize(width, height, bitsPerPixel, stride, need)) return kOutOfMemory;
    std::unique_ptr<PixelLayout> layout(new (std::nothrow) PixelLayout{width, height, bitsPerPixel, static_cast<intptr_t>(stride), {}});
    if (!layout) return kOutOfMemory;
    layout_ = std::move(layout);

    if (spare && LocalSize(spare.get()) >= need) {
        // Trade places: the image owns the former spare, its own block (or none) is spare now.
        LocalBlock taken(spare.release());
        spare = std::move(block_);
        block_ = std::move(taken);
    } else {
        block_.reset(LocalAlloc(LMEM_FIXED, need));
        if (!block_) {
            bits_ = nullptr;
            return kOutOfMemory;
        }
    }
    bits_ = static_cast<uint8_t*>(block_.get());
    return kSuccess;
}

void PixelImage::Adopt(PixelImage& other, LocalBlock& spare) noexcept {
    if (block_ && (!spare || LocalSize(spare.get()) < LocalSize(block_.get()))) {
        spare = std::move(block_);  // frees the former spare
    }
    layout_ = std::move(other.layout_);
    block_ = std::move(other.block_);
    bits_ = static_cast<uint8_t*>(block_.get());
    other.bits_ = nullptr;
}

PluginResult PixelImage::Describe(uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                                  intptr_t stride, uint8_t* bits) noexcept {
    std::unique_ptr<PixelLayout> layout(new (std::nothrow) PixelLayout{width, height, bitsPerPixel, stride, {}});
    if (!layout) return kOutOfMemory;
    layout_ = std::move(layout);
    block_.reset();
    bits_ = bits;
    return kSuccess;
}

HLOCAL PixelImage::ReleaseBlock() noexcept {
    bits_ = nullptr;
    return block_.release();
}

}  // namespace sorvane
