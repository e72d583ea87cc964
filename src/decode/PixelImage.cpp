#include "PixelImage.h"

#include <cstring>

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

PluginResult PixelImage::Allocate(uint32_t width, uint32_t height, uint32_t bitsPerPixel) noexcept {
    *this = PixelImage();
    uint32_t stride;
    size_t need;
    if (!DibBlockSize(width, height, bitsPerPixel, stride, need)) return kOutOfMemory;
    block_.reset(LocalAlloc(LMEM_FIXED, need));
    if (!block_) return kOutOfMemory;
    layout_ = PixelLayout{width, height, bitsPerPixel, static_cast<intptr_t>(stride)};
    bits_ = static_cast<uint8_t*>(block_.get());
    // The DIB's 4 extra bytes carry nothing; they are zero so that no byte handed over is
    // left as it came from the heap.
    std::memset(bits_ + (need - 4), 0, 4);
    return kSuccess;
}

HLOCAL PixelImage::ReleaseBlock() noexcept {
    HLOCAL block = block_.release();
    *this = PixelImage();
    return block;
}

PluginResult TakeDibHandles(PixelImage& dib, DibBlocks& blocks) noexcept {
    const PixelLayout layout = dib.layout();
    if (dib.bits() == nullptr) return kInternalError;
    blocks.bits.reset(dib.ReleaseBlock());
    blocks.info.reset(LocalAlloc(LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD)));
    if (!blocks.info) return kOutOfMemory;
    auto* header = static_cast<BITMAPINFOHEADER*>(blocks.info.get());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = static_cast<LONG>(layout.width);
    header->biHeight = static_cast<LONG>(layout.height);  // positive: bottom-up rows
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(layout.bitsPerPixel);
    header->biCompression = BI_RGB;
    return kSuccess;
}

}  // namespace sorvane
