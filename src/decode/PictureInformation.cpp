#include "PictureInformation.h"

#include "D3dxImage.h"

namespace sorvane {

namespace {

// The DIB that GetPicture delivers: 16-bit 5-5-5 for an X1R5G5B5 source, 24-bit for every
// other. Hosts show and allocate by this; D3DX's Depth (slice count) means nothing to them.
int16_t DeliveredBitsPerPixel(D3DFORMAT source) {
    return source == D3DFMT_X1R5G5B5 ? 16 : 24;
}

PluginResult FillPictureInfo(HRESULT hr, const D3DXIMAGE_INFO& description, PictureInfo* info) {
    if (FAILED(hr)) return ToPluginResult(hr);
    if (!IsReadableDds(description)) return kNotSupported;
    ZeroMemory(info, sizeof *info);  // padding included
    info->width = static_cast<int32_t>(description.Width);
    info->height = static_cast<int32_t>(description.Height);
    info->bitsPerPixel = DeliveredBitsPerPixel(description.Format);
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
