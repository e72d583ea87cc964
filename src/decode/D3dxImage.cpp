#include "D3dxImage.h"

#include <cstdint>
#include <cstring>

#include "DdsReader.h"
#include "FaultGuard.h"
#include "Holders.h"

namespace sorvane {

namespace {
constexpr uint32_t kDdsMagic = dds::FourCc('D', 'D', 'S', ' ');
// The magic, then the header's size, flags, height, width, pitch, depth and mip count.
constexpr size_t kMipCountOffset = 28;
// A 32-bit width or height allows at most 32 levels, one per halving.
constexpr uint32_t kMaxMipLevels = 32;

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

// Where header fields lie in the file, the magic included.
constexpr size_t kHeightOffset = 12, kWidthOffset = 16, kPixelFlagsOffset = 80, kFourCcOffset = 84,
                 kBitCountOffset = 88, kHeaderEnd = 128;
constexpr uint32_t kFourCcFlag = 0x4, kPaletteIndexed8 = 0x20;
constexpr size_t kPaletteBytes = 256 * 4;
}  // namespace

const D3dxFourCc* FindD3dxFourCc(uint32_t fourCc) noexcept {
    for (const D3dxFourCc& row : kD3dxFourCcs) {
        if (row.fourCc == fourCc) return &row;
    }
    return nullptr;
}

bool HasPictureBeyondBytes(const void* bytes, size_t size) noexcept {
    if (bytes == nullptr || size < kHeaderEnd) return false;
    const auto field = [bytes](size_t offset) {
        uint32_t value;
        std::memcpy(&value, static_cast<const uint8_t*>(bytes) + offset, 4);
        return value;
    };
    if (field(0) != kDdsMagic) return false;
    const uint64_t width = field(kWidthOffset), height = field(kHeightOffset);
    const uint32_t flags = field(kPixelFlagsOffset);
    uint64_t rowBytes, rows = height;
    if ((flags & kFourCcFlag) != 0) {
        const D3dxFourCc* format = FindD3dxFourCc(field(kFourCcOffset));
        if (format == nullptr) return false;  // not D3DX's to load
        if (format->blockCompressed) {
            rowBytes = (width + 3) / 4 * (16 * format->bits / 8);
            rows = (height + 3) / 4;
        } else {
            rowBytes = (width * format->bits + 7) / 8;
        }
    } else {
        const uint32_t bits = field(kBitCountOffset);
        if (bits > 128) return false;  // no layout D3DX reads
        rowBytes = (width * bits + 7) / 8;
    }
    size_t available = size - kHeaderEnd;
    if ((flags & kPaletteIndexed8) != 0) {
        if (available < kPaletteBytes) return true;
        available -= kPaletteBytes;
    }
    // rows x rowBytes may not fit 64 bits; the quotient is compared instead.
    return rowBytes != 0 && rows > available / rowBytes;
}

bool HasImplausibleDdsHeader(const void* bytes, size_t size) noexcept {
    if (bytes == nullptr || size < kMipCountOffset + 4) return false;
    // The count is tested whether or not the header's DDSD_MIPMAPCOUNT flag is set: D3DX
    // (Wine's, at least) walks it either way.
    uint32_t magic, mipLevels;
    std::memcpy(&magic, bytes, 4);
    std::memcpy(&mipLevels, static_cast<const uint8_t*>(bytes) + kMipCountOffset, 4);
    return magic == kDdsMagic && mipLevels > kMaxMipLevels;
}

namespace {

// Whether D3DX is to see these bytes: a DDS file whose counts some file can have. D3DX reads
// other formats too, but none is ours, and Wine's decoders keep memory on some (a PNG cut
// short keeps what its size asks for, megabytes a call).
bool WorthDescribing(const void* bytes, size_t size) noexcept {
    if (bytes == nullptr || size < 4) return false;
    uint32_t magic;
    std::memcpy(&magic, bytes, 4);
    return magic == kDdsMagic && !HasImplausibleDdsHeader(bytes, size);
}

// The same for a file; one that cannot be read is D3DX's to report.
bool FileWorthDescribing(const wchar_t* path) noexcept {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return true;
    uint8_t head[kMipCountOffset + 4];
    DWORD got = 0;
    if (!ReadFile(file.get(), head, sizeof head, &got, nullptr)) return true;
    return WorthDescribing(head, got);
}

}  // namespace

HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept {
    info = D3DXIMAGE_INFO{};
    HRESULT hr = kD3dxInvalidData;
    // The host's bytes may not all be readable: the header check is guarded like D3DX.
    if (RunGuarded([&] {
            if (WorthDescribing(bytes, size)) hr = D3DXGetImageInfoFromFileInMemory(bytes, size, &info);
        }) != 0) {
        return kD3dxInvalidData;
    }
    return hr;
}

HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept {
    if (!FileWorthDescribing(path)) return kD3dxInvalidData;
    HRESULT hr = kD3dxInvalidData;
    if (RunGuarded([&] { hr = D3DXGetImageInfoFromFileW(path, &info); }) != 0) {
        return kD3dxInvalidData;
    }
    return hr;
}

}  // namespace sorvane
