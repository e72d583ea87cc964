#include "D3dxImage.h"

#include "D3dxLibrary.h"
#include "DdsReader.h"
#include "FaultGuard.h"

namespace sorvane {

namespace {
// The FourCCs of legacy headers that D3DX 9 reads: its block and video formats, and the
// D3DFORMAT numbers that stand in the FourCC of 16-bit and float formats.
constexpr D3dxFourCc kD3dxFourCcs[] = {
    {dds::FourCc('D', 'X', 'T', '1'), 4, true},
    {dds::FourCc('D', 'X', 'T', '2'), 8, true},
    {dds::FourCc('D', 'X', 'T', '3'), 8, true},
    {dds::FourCc('D', 'X', 'T', '4'), 8, true},
    {dds::FourCc('D', 'X', 'T', '5'), 8, true},
    {dds::FourCc('U', 'Y', 'V', 'Y'), 16, false},
    {dds::FourCc('Y', 'U', 'Y', '2'), 16, false},
    {dds::FourCc('R', 'G', 'B', 'G'), 16, false},
    {dds::FourCc('G', 'R', 'G', 'B'), 16, false},
    {36, 64, false},   // A16B16G16R16
    {110, 64, false},  // Q16W16V16U16
    {111, 16, false},  // R16F
    {112, 32, false},  // G16R16F
    {113, 64, false},  // A16B16G16R16F
    {114, 32, false},  // R32F
    {115, 64, false},  // G32R32F
    {116, 128, false}, // A32B32G32R32F
    {117, 16, false},  // CxV8U8
};

constexpr uint32_t kFourCcFlag = 0x4, kPaletteIndexed8 = 0x20;
constexpr uint64_t kPaletteBytes = 256 * 4, kHeaderEnd = 4 + 124;
}  // namespace

const D3dxFourCc* FindD3dxFourCc(uint32_t fourCc) noexcept {
    for (const D3dxFourCc& row : kD3dxFourCcs) {
        if (row.fourCc == fourCc) return &row;
    }
    return nullptr;
}

bool HasPictureBeyondBytes(const dds::DdsHeader& header, uint64_t size) noexcept {
    if (header.size == 0 || size < kHeaderEnd) return false;
    const uint64_t width = header.width, height = header.height;
    const uint32_t flags = header.pixelFormat.flags;
    uint64_t rowBytes, rows = height;
    if ((flags & kFourCcFlag) != 0) {
        const D3dxFourCc* format = FindD3dxFourCc(header.pixelFormat.fourCc);
        if (format == nullptr) return false;  // not D3DX's to load
        if (format->blockCompressed) {
            rowBytes = (width + 3) / 4 * (16 * format->bits / 8);
            rows = (height + 3) / 4;
        } else {
            rowBytes = (width * format->bits + 7) / 8;
        }
    } else {
        const uint32_t bits = header.pixelFormat.bitCount;
        if (bits > 128) return false;  // no layout D3DX reads
        rowBytes = (width * bits + 7) / 8;
    }
    uint64_t available = size - kHeaderEnd;
    if ((flags & kPaletteIndexed8) != 0) {
        if (available < kPaletteBytes) return true;
        available -= kPaletteBytes;
    }
    // rows x rowBytes may not fit 64 bits; the quotient is compared instead.
    return rowBytes != 0 && rows > available / rowBytes;
}

HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept {
    info = D3DXIMAGE_INFO{};
    const D3dxFunctions* d3dx = BoundD3dx();
    if (d3dx == nullptr) return kD3dxInvalidData;
    HRESULT hr = kD3dxInvalidData;
    if (RunGuarded([&] { hr = d3dx->GetImageInfoFromFileInMemory(bytes, size, &info); }) != 0) return kD3dxInvalidData;
    return hr;
}

HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept {
    const D3dxFunctions* d3dx = BoundD3dx();
    if (d3dx == nullptr) return kD3dxInvalidData;
    HRESULT hr = kD3dxInvalidData;
    if (RunGuarded([&] { hr = d3dx->GetImageInfoFromFileW(path, &info); }) != 0) return kD3dxInvalidData;
    return hr;
}

}  // namespace sorvane
