#include "PictureInformation.h"

#include "D3dxImage.h"
#include "DdsPicture.h"
#include "FaultGuard.h"
#include "OpaqueFormats.h"

namespace sorvane {

namespace {

void Fill(PictureInfo* info, uint32_t width, uint32_t height, uint16_t bitsPerPixel) {
    ZeroMemory(info, sizeof *info);  // padding included
    info->width = static_cast<int32_t>(width);
    info->height = static_cast<int32_t>(height);
    info->bitsPerPixel = static_cast<int16_t>(bitsPerPixel);
}

PluginResult FillFromD3dx(HRESULT hr, const D3DXIMAGE_INFO& description, PictureInfo* info) {
    if (FAILED(hr)) return ToPluginResult(hr);
    if (!IsReadableDds(description)) return kNotSupported;
    // The bit count of the DIB that GetPicture delivers: hosts show and allocate by it, where
    // D3DX's Depth (a slice count) would mean nothing to them.
    Fill(info, description.Width, description.Height, DecodeSurfaceFor(description.Format).dibBits);
    return kSuccess;
}

// Our reader's pictures are 24-bit DIBs.
PluginResult FillFromOwnReader(const dds::DdsImage& image, PictureInfo* info) {
    Fill(info, image.width, image.height, 24);
    return kSuccess;
}

}  // namespace

PluginResult PictureInfoFromMemory(const void* bytes, intptr_t size, PictureInfo* info) noexcept {
    if (bytes == nullptr || info == nullptr) return kInternalError;
    // A negative length would reach D3DX as a huge count and let it read past the image.
    if (size < 0) return kInternalError;
    // The host's bytes may not all be readable: our reader's look at them is guarded like D3DX.
    Route route = Route::D3dx;
    dds::DdsImage image;
    bool ownReads = false;
    RunGuarded([&] {
        route = ChooseRoute(bytes, static_cast<size_t>(size));
        ownReads = OwnReaderReads(bytes, static_cast<size_t>(size), image);
    });
    if (route == Route::OwnReader) return ownReads ? FillFromOwnReader(image, info) : kNotSupported;
    if (static_cast<uint64_t>(size) > 0xFFFFFFFFull) return kInternalError;  // D3DX counts in 32 bits
    D3DXIMAGE_INFO description;
    const HRESULT hr = DescribeImageInMemory(bytes, static_cast<UINT>(size), description);
    const PluginResult result = FillFromD3dx(hr, description, info);
    // A file D3DX cannot describe may still be one our reader reads.
    return result != kSuccess && ownReads ? FillFromOwnReader(image, info) : result;
}

PluginResult PictureInfoFromFile(const wchar_t* path, PictureInfo* info) noexcept {
    if (path == nullptr || info == nullptr) return kInternalError;
    Route route;
    dds::DdsImage image;
    const bool ownReads = OwnReaderReadsFile(path, image, route);
    if (route == Route::OwnReader) return ownReads ? FillFromOwnReader(image, info) : kNotSupported;
    D3DXIMAGE_INFO description{};
    const HRESULT hr = DescribeImageFile(path, description);
    const PluginResult result = FillFromD3dx(hr, description, info);
    return result != kSuccess && ownReads ? FillFromOwnReader(image, info) : result;
}

}  // namespace sorvane
