#pragma once
// The DIB that a plug-in hands over (a BITMAPINFO block and a pixel block), checked against
// the sizes of its blocks and written out as a .bmp file.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace spihost {

struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;          // as stored: positive for bottom-up rows, negative for top-down
    uint16_t bitCount = 0;
    uint32_t compression = 0;    // BI_RGB or BI_BITFIELDS
    uint32_t headerBytes = 0;    // biSize
    uint32_t colorTableBytes = 0;  // bit masks and palette entries after the header
    uint32_t stride = 0;         // bytes per row, a multiple of 4
    uint32_t imageBytes = 0;     // stride x rows
};

// LocalLock for the life of the object: the blocks that a plug-in hands over may be movable.
class LockedBlock {
public:
    explicit LockedBlock(HLOCAL block) noexcept
        : block_(block), data_(block != nullptr ? LocalLock(block) : nullptr),
          size_(data_ != nullptr ? LocalSize(block) : 0) {}
    ~LockedBlock() {
        if (data_ != nullptr) LocalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    const void* data() const noexcept { return data_; }
    size_t size() const noexcept { return size_; }

private:
    HLOCAL block_;
    void* data_;
    size_t size_;
};

// Reads the header at `info` and checks that the header, its colour table and the rows fit
// in blocks of `infoSize` and `bitsSize` bytes and in a .bmp file. False with the reason in
// `problem` otherwise.
bool InspectDib(const void* info, size_t infoSize, size_t bitsSize, DibLayout& layout,
                std::wstring& problem);

// The two blocks of a picture that a plug-in handed over, locked while this lives and
// checked as one DIB. The blocks stay the caller's.
class HandedDib {
public:
    HandedDib(HLOCAL info, HLOCAL bits) noexcept : info_(info), bits_(bits) {}
    // False with the reason when a block is missing or cannot be locked, or the DIB does not
    // fit them (InspectDib).
    bool Inspect(std::wstring& problem);
    const void* info() const noexcept { return info_.data(); }
    const void* bits() const noexcept { return bits_.data(); }
    const DibLayout& layout() const noexcept { return layout_; }

private:
    LockedBlock info_;
    LockedBlock bits_;
    DibLayout layout_;
};

// The file header of the .bmp that holds the DIB: the rows start right after the header
// and the colour table, which is bfOffBits.
BITMAPFILEHEADER BmpFileHeader(const DibLayout& layout);

// "37x23, 24 bits per pixel, BI_RGB, bottom-up, rows of 112 bytes"
std::wstring DescribeDib(const DibLayout& layout);

// Writes the file header, the header and colour table from `info` and the rows from `bits`.
// A file that could not be written whole is deleted. False with the reason in `problem`.
bool WriteBmpFile(const std::wstring& path, const void* info, const void* bits,
                  const DibLayout& layout, std::wstring& problem);

}  // namespace spihost
