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

// Reads the header at `info` and checks that the header, its colour table and the rows fit
// in blocks of `infoSize` and `bitsSize` bytes and in a .bmp file. False with the reason in
// `problem` otherwise.
bool InspectDib(const void* info, size_t infoSize, size_t bitsSize, DibLayout& layout,
                std::wstring& problem);

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
