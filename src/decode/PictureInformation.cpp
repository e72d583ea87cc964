#include "PictureInformation.h"

#include "D3dxImage.h"
#include "D3dxLibrary.h"
#include "DdsDescription.h"
#include "OpaqueFormats.h"
#include "PixelConversion.h"
#include "PluginSettings.h"
#include "ViewLayout.h"

namespace sorvane {

namespace {

// `bitsPerPixel` is the picture's own DIB; a view of the settings gives its DIB instead, as
// decoding will.
void Fill(PictureInfo* info, const PluginSettings& settings, uint64_t width, uint64_t height, uint16_t bitsPerPixel) {
    if (!settings.NoView()) bitsPerPixel = static_cast<uint16_t>(PixelViewOf(settings, true).dibBits);
    ZeroMemory(info, sizeof *info);  // padding included
    info->width = static_cast<int32_t>(width);
    info->height = static_cast<int32_t>(height);
    info->bitsPerPixel = static_cast<int16_t>(bitsPerPixel);
}

// D3DX's answer where `askD3dx` and D3DX describes the file; else our reader's, if it reads
// the file; else D3DX's failure, or 2 where D3DX was not asked. A layout of the settings is
// our reader's to work out, as decoding does, for every file it reads.
template <typename Describe>
PluginResult Answer(PluginResult ours, const DdsDescription& description, bool askD3dx, PictureInfo* info,
                    Describe&& describe) {
    const PluginSettings settings = ReadPluginSettings();
    if (settings.layout != PictureLayout::FirstImage && ours == kSuccess) {
        FileLayout layout;
        const PluginResult result = LayOutFile(description.image, description.fileSize, settings.layout, layout);
        if (result == kSuccess) Fill(info, settings, layout.size.width, layout.size.height, description.dibBits);
        return result;
    }
    PluginResult result = kNotSupported;
    if (askD3dx) {
        D3DXIMAGE_INFO d3dx{};
        const HRESULT hr = describe(d3dx);
        result = FAILED(hr) ? ToPluginResult(hr) : IsReadableDds(d3dx) ? kSuccess : kNotSupported;
        // The bit count of the DIB that GetPicture delivers: hosts show and allocate by it, where
        // D3DX's Depth (a slice count) would mean nothing to them.
        if (result == kSuccess) {
            Fill(info, settings, d3dx.Width, d3dx.Height, DecodeSurfaceFor(d3dx.Format).dibBits);
            return kSuccess;
        }
    }
    if (ours != kSuccess) return result;
    Fill(info, settings, description.image.width, description.image.height, description.dibBits);
    return kSuccess;
}

bool D3dxDescribes(const DdsDescription& description) {
    return description.route == Route::D3dx && BoundD3dx() != nullptr;
}

}  // namespace

PluginResult PictureInfoFromMemory(const void* bytes, intptr_t size, PictureInfo* info) noexcept {
    // A negative length names no image, and would reach D3DX as a huge count.
    if (bytes == nullptr || info == nullptr || size < 0) return kInternalError;
    DdsDescription description;
    const PluginResult ours = DescribeDds(bytes, static_cast<size_t>(size), static_cast<size_t>(size), description);
    // D3DX counts in 32 bits: a larger image of its formats is no image it can describe.
    const bool fitsD3dx = static_cast<uint64_t>(size) <= 0xFFFFFFFFull;
    if (!fitsD3dx && description.route == Route::D3dx && ours != kSuccess) return kInternalError;
    return Answer(ours, description, fitsD3dx && D3dxDescribes(description), info, [&](D3DXIMAGE_INFO& d3dx) {
        return DescribeImageInMemory(bytes, static_cast<UINT>(size), d3dx);
    });
}

PluginResult PictureInfoFromFile(const wchar_t* path, PictureInfo* info) noexcept {
    if (path == nullptr || info == nullptr) return kInternalError;
    DdsDescription description;
    const PluginResult ours = DescribeDdsFile(path, description);
    // A file we cannot open is D3DX's to report, where D3DX is there.
    if (ours == kFileError) description.route = Route::D3dx;
    if (ours == kFileError && BoundD3dx() == nullptr) return kFileError;
    // D3DX opens the file by name itself.
    return Answer(ours, description, D3dxDescribes(description), info,
                  [&](D3DXIMAGE_INFO& d3dx) { return DescribeImageFile(path, d3dx); });
}

}  // namespace sorvane
