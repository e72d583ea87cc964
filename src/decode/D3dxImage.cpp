#include "D3dxImage.h"

#include "D3dxLibrary.h"
#include "DdsFormat.h"
#include "DdsReader.h"
#include "FaultGuard.h"

namespace sorvane {

namespace {
constexpr uint32_t kFourCcFlag = 0x4, kPaletteIndexed8 = 0x20;
constexpr uint64_t kPaletteBytes = 256 * 4, kHeaderEnd = 4 + 124;
}  // namespace

const dds::LegacyFormat* D3dxFourCcRow(const dds::DdsPixelFormatHeader& pf) noexcept {
    if ((pf.flags & kFourCcFlag) == 0) return nullptr;
    const dds::LegacyFormat* row = dds::FindLegacyFormat(pf, true);
    return row != nullptr && row->d3dFormat != 0 ? row : nullptr;
}

bool HasPictureBeyondBytes(const dds::DdsHeader& header, uint64_t size) noexcept {
    if (header.size == 0 || size < kHeaderEnd) return false;
    // D3DX's layout of the pixels: a FourCC stands for its format's pixel or block, any other
    // layout for the header's bit count.
    const uint64_t width = header.width, height = header.height;
    const uint32_t flags = header.pixelFormat.flags;
    uint64_t rowBytes, rows = height;
    if ((flags & kFourCcFlag) != 0) {
        const dds::LegacyFormat* row = D3dxFourCcRow(header.pixelFormat);
        if (row == nullptr) return false;  // not D3DX's to load
        if (row->format->blockBytes != 0) {
            rowBytes = (width + 3) / 4 * row->format->blockBytes;
            rows = (height + 3) / 4;
        } else {
            rowBytes = (width * row->format->pixelBits + 7) / 8;
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
