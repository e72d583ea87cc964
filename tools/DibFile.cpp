#include "DibFile.h"

#include <cstring>

#include "Holders.h"
#include "HostConsole.h"

namespace spihost {

namespace {

constexpr uint64_t kLargestBmp = 0xFFFFFFFFull;  // bfSize is 32 bits

bool Fail(std::wstring& problem, const std::wstring& why) {
    problem = why;
    return false;
}

bool WriteAll(HANDLE file, const void* data, uint32_t size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

bool InspectDib(const void* info, size_t infoSize, size_t bitsSize, DibLayout& layout,
                std::wstring& problem) {
    if (info == nullptr || infoSize < sizeof(BITMAPINFOHEADER)) {
        return Fail(problem, Format(L"the BITMAPINFO block holds %zu bytes, fewer than a "
                                    L"BITMAPINFOHEADER", info == nullptr ? size_t{0} : infoSize));
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, info, sizeof header);
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > infoSize) {
        return Fail(problem, Format(L"biSize %lu does not fit a block of %zu bytes",
                                    static_cast<unsigned long>(header.biSize), infoSize));
    }
    if (header.biWidth <= 0) return Fail(problem, Format(L"biWidth %ld is not positive", header.biWidth));
    if (header.biHeight == 0 || header.biHeight == INT32_MIN) {
        return Fail(problem, Format(L"biHeight %ld is no row count", header.biHeight));
    }
    if (header.biPlanes != 1) return Fail(problem, Format(L"biPlanes is %u, not 1", header.biPlanes));
    const uint16_t bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return Fail(problem, Format(L"biBitCount %u is not a DIB bit count", bits));
    }
    const bool bitfields = header.biCompression == BI_BITFIELDS;
    if (header.biCompression != BI_RGB && !(bitfields && (bits == 16 || bits == 32))) {
        return Fail(problem, Format(L"biCompression %lu with %u bits per pixel is not a layout "
                                    L"of plain rows", static_cast<unsigned long>(header.biCompression), bits));
    }
    // Pictures of 8 bits or fewer have a palette of 2^bits entries unless biClrUsed says
    // fewer; deeper ones may carry an optional palette of biClrUsed entries.
    const uint64_t paletteMax = bits <= 8 ? (1u << bits) : 256u;
    const uint64_t entries = header.biClrUsed != 0 ? header.biClrUsed : (bits <= 8 ? paletteMax : 0);
    if (entries > paletteMax) {
        return Fail(problem, Format(L"biClrUsed %lu is more than %u bits per pixel can use",
                                    static_cast<unsigned long>(header.biClrUsed), bits));
    }
    // With a plain 40-byte header, BI_BITFIELDS puts three masks before the palette.
    const uint64_t masks = bitfields && header.biSize == sizeof(BITMAPINFOHEADER) ? 12 : 0;
    const uint64_t colorTable = masks + entries * sizeof(RGBQUAD);
    if (header.biSize + colorTable > infoSize) {
        return Fail(problem, Format(L"the header and colour table need %llu bytes, the block "
                                    L"holds %zu", static_cast<unsigned long long>(header.biSize + colorTable),
                                    infoSize));
    }
    const uint64_t rows = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight) : header.biHeight;
    const uint64_t stride = (static_cast<uint64_t>(header.biWidth) * bits + 31) / 32 * 4;
    // Both factors are below 2^34 and 2^31, so the product fits in 64 bits.
    const uint64_t image = stride * rows;
    if (image > bitsSize) {
        return Fail(problem, Format(L"%llu rows of %llu bytes need %llu bytes, the pixel block "
                                    L"holds %zu", static_cast<unsigned long long>(rows),
                                    static_cast<unsigned long long>(stride),
                                    static_cast<unsigned long long>(image), bitsSize));
    }
    if (sizeof(BITMAPFILEHEADER) + header.biSize + colorTable + image > kLargestBmp) {
        return Fail(problem, L"the picture is too large for a .bmp file");
    }
    layout.width = header.biWidth;
    layout.height = header.biHeight;
    layout.bitCount = bits;
    layout.compression = header.biCompression;
    layout.headerBytes = header.biSize;
    layout.colorTableBytes = static_cast<uint32_t>(colorTable);
    layout.stride = static_cast<uint32_t>(stride);
    layout.imageBytes = static_cast<uint32_t>(image);
    return true;
}

bool HandedDib::Inspect(std::wstring& problem) {
    if (info_.data() == nullptr || bits_.data() == nullptr) {
        return Fail(problem, L"a block it handed over is missing or cannot be locked");
    }
    return InspectDib(info_.data(), info_.size(), bits_.size(), layout_, problem);
}

BITMAPFILEHEADER BmpFileHeader(const DibLayout& layout) {
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + layout.headerBytes +
                                        layout.colorTableBytes);
    file.bfSize = file.bfOffBits + layout.imageBytes;
    return file;
}

std::wstring DescribeDib(const DibLayout& layout) {
    const long rows = layout.height < 0 ? -static_cast<long>(layout.height) : layout.height;
    std::wstring text = Format(L"%ldx%ld, %u bits per pixel, %ls, %ls, rows of %lu bytes",
                               static_cast<long>(layout.width), rows, layout.bitCount,
                               layout.compression == BI_BITFIELDS ? L"BI_BITFIELDS" : L"BI_RGB",
                               layout.height > 0 ? L"bottom-up" : L"top-down",
                               static_cast<unsigned long>(layout.stride));
    if (layout.colorTableBytes != 0) {
        text += Format(L", %lu bytes of masks and colours",
                       static_cast<unsigned long>(layout.colorTableBytes));
    }
    return text;
}

bool WriteBmpFile(const std::wstring& path, const void* info, const void* bits,
                  const DibLayout& layout, std::wstring& problem) {
    const BITMAPFILEHEADER file = BmpFileHeader(layout);
    {
        const HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            return Fail(problem, L"cannot create the file: " + DescribeWin32Error(GetLastError()));
        }
        const sorvane::FileHandle out(created);
        if (WriteAll(out.get(), &file, sizeof file) &&
            WriteAll(out.get(), info, layout.headerBytes + layout.colorTableBytes) &&
            WriteAll(out.get(), bits, layout.imageBytes)) {
            return true;
        }
        problem = L"cannot write the file: " + DescribeWin32Error(GetLastError());
    }
    DeleteFileW(path.c_str());
    return false;
}

}  // namespace spihost
