#include "D3dxImage.h"

#include <cstdint>
#include <cstring>

#include "FaultGuard.h"
#include "Holders.h"

namespace sorvane {

namespace {
constexpr uint32_t kDdsMagic = 0x20534444;  // "DDS "
constexpr size_t kMipCountOffset = 28;       // magic, then the header's size, flags, height,
                                             // width, pitch, depth and mip count
// A 32-bit width or height allows at most 32 levels, one per halving.
constexpr uint32_t kMaxMipLevels = 32;
}  // namespace

bool HasImplausibleDdsHeader(const void* bytes, size_t size) noexcept {
    if (bytes == nullptr || size < kMipCountOffset + 4) return false;
    // The count is tested whether or not the header's DDSD_MIPMAPCOUNT flag is set: D3DX
    // (Wine's, at least) walks it either way.
    uint32_t magic, mipLevels;
    std::memcpy(&magic, bytes, 4);
    std::memcpy(&mipLevels, static_cast<const uint8_t*>(bytes) + kMipCountOffset, 4);
    return magic == kDdsMagic && mipLevels > kMaxMipLevels;
}

bool FileHasImplausibleDdsHeader(const wchar_t* path) noexcept {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    uint8_t head[kMipCountOffset + 4];
    DWORD got = 0;
    if (!ReadFile(file.get(), head, sizeof head, &got, nullptr)) return false;
    return HasImplausibleDdsHeader(head, got);
}

HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept {
    info = D3DXIMAGE_INFO{};
    HRESULT hr = kD3dxInvalidData;
    // The host's bytes may not all be readable: the header check is guarded like D3DX.
    if (RunGuarded([&] {
            if (!HasImplausibleDdsHeader(bytes, size)) hr = D3DXGetImageInfoFromFileInMemory(bytes, size, &info);
        }) != 0) {
        return kD3dxInvalidData;
    }
    return hr;
}

HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept {
    if (FileHasImplausibleDdsHeader(path)) return kD3dxInvalidData;
    HRESULT hr = kD3dxInvalidData;
    if (RunGuarded([&] { hr = D3DXGetImageInfoFromFileW(path, &info); }) != 0) {
        return kD3dxInvalidData;
    }
    return hr;
}

}  // namespace sorvane
