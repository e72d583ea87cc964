#include "PictureInformation.h"

#include "D3dxImage.h"
#include "OpaqueFormats.h"

namespace sorvane {

namespace {

PluginResult FillPictureInfo(HRESULT hr, const D3DXIMAGE_INFO& description, PictureInfo* info) {
    if (FAILED(hr)) return ToPluginResult(hr);
    if (!IsReadableDds(description)) return kNotSupported;
    ZeroMemory(info, sizeof *info);  // padding included
    info->width = static_cast<int32_t>(description.Width);
    info->height = static_cast<int32_t>(description.Height);
    // The bit count of the DIB that GetPicture delivers: hosts show and allocate by it, where
    // D3DX's Depth (a slice count) would mean nothing to them.
    info->bitsPerPixel = static_cast<int16_t>(DecodeSurfaceFor(description.Format).dibBits);
    return kSuccess;
}

}  // namespace

PluginResult PictureInfoFromMemory(const void* bytes, intptr_t size, PictureInfo* info) noexcept {
    if (bytes == nullptr || info == nullptr) return kInternalError;
    // A negative length would reach D3DX as a huge count and let it read past the image.
    if (size < 0 || static_cast<uint64_t>(size) > 0xFFFFFFFFull) return kInternalError;
    D3DXIMAGE_INFO description;
    const HRESULT hr = DescribeImageInMemory(bytes, static_cast<UINT>(size), description);
    return FillPictureInfo(hr, description, info);
}

PluginResult PictureInfoFromFile(const wchar_t* path, PictureInfo* info) noexcept {
    if (path == nullptr || info == nullptr) return kInternalError;
    D3DXIMAGE_INFO description{};
    const HRESULT hr = DescribeImageFile(path, description);
    return FillPictureInfo(hr, description, info);
}

}  // namespace sorvane
