#include "PictureBuilder.h"

#include <d3d9.h>

#include "D3dContext.h"
#include "DdsPicture.h"
#include "FaultGuard.h"
#include "OpaqueFormats.h"
#include "PixelConversion.h"
#include "PluginSettings.h"
#include "ReadWholeFile.h"

namespace sorvane {

namespace {

// The host's callback, if any: true when it asks to stop.
bool Cancelled(const PictureRequest& request, int numerator) {
    return request.progress != nullptr && request.progress(numerator, 100, request.progressData) != 0;
}

// A lock on the whole surface, read-only; unlocked when it ends, if the lock succeeded.
class SurfaceLock {
public:
    explicit SurfaceLock(IDirect3DSurface9* surface) noexcept {
        surface->AddRef();
        surface_.reset(surface);
        hr_ = surface_->LockRect(&rect_, nullptr, D3DLOCK_READONLY);
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    ~SurfaceLock() {
        if (SUCCEEDED(hr_)) surface_->UnlockRect();
    }

    HRESULT result() const noexcept { return hr_; }
    const D3DLOCKED_RECT& rect() const noexcept { return rect_; }

private:
    ComRef<IDirect3DSurface9> surface_;
    D3DLOCKED_RECT rect_{};
    HRESULT hr_;
};

// The pixel steps on the locked surface, up to the two DIB blocks: one pass into the DIB.
PluginResult BuildDib(const PictureRequest& request, const D3DSURFACE_DESC& desc,
                      const DecodeSurface& surface, const SurfaceLock& lock, LocalBlock& infoBlock,
                      LocalBlock& bitsBlock) {
    const PixelImage source(PixelLayout{desc.Width, desc.Height, surface.sourceBits, lock.rect().Pitch},
                            static_cast<uint8_t*>(lock.rect().pBits));
    // Read once per picture with alpha, before the pass, and never for an opaque one.
    const AlphaMode mode = surface.disposesAlpha ? AlphaModeOf(ReadPluginSettings()) : AlphaMode{};
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    PluginResult result = RunGuardedStep([&] {
        return surface.disposesAlpha ? ConvertTo24Bits(source, dib, mode) : FlipRows(source, dib);
    });
    if (result != kSuccess) return result;
    if (Cancelled(request, 60) || Cancelled(request, 80)) return kCancelled;
    return RunGuardedStep([&] { return TakeDibHandles(dib, infoBlock, bitsBlock); });
}

// The host owns both blocks from here on, also when it cancels at 100.
PluginResult HandOver(const PictureRequest& request, LocalBlock& infoBlock, LocalBlock& bitsBlock) {
    *request.bitsOut = bitsBlock.release();
    *request.infoOut = infoBlock.release();
    return Cancelled(request, 100) ? kCancelled : kSuccess;
}

// What D3DX made of a picture it did not load, for our reader to take over.
struct D3dxLoadFailure {
    bool failed = false;
    D3DFORMAT described = D3DFMT_UNKNOWN;  // the source format it gave the picture, if any
};

// D3DX loads the picture into a surface; `load` tells whether D3DX itself failed it.
PluginResult BuildThroughD3dx(const void* bytes, size_t size, const PictureRequest& request, D3dxLoadFailure& load) {
    D3dContext context;
    PluginResult result = context.Create();
    if (result != kSuccess) return result;
    ComRef<IDirect3DSurface9> surface;
    if ((result = context.LoadDdsSurface(bytes, size, surface, &load.described)) != kSuccess) {
        load.failed = true;
        return result;
    }
    if (Cancelled(request, 40)) return kCancelled;

    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return ToPluginResult(hr);
    const DecodeSurface* decodeSurface = FindDecodeSurface(desc.Format);
    if (decodeSurface == nullptr) return kInternalError;
    const SurfaceLock lock(surface.get());
    if (FAILED(lock.result())) return ToPluginResult(lock.result());

    LocalBlock infoBlock, bitsBlock;
    if ((result = BuildDib(request, desc, *decodeSurface, lock, infoBlock, bitsBlock)) != kSuccess) return result;
    return HandOver(request, infoBlock, bitsBlock);
}

// Our own reader: no window, no Direct3D object, no device. `dibBits` is the bit count that
// GetPictureInfo gives the picture: 16 keeps X1R5G5B5 rows as they are, as D3DX's route does.
PluginResult BuildThroughOwnReader(const dds::DdsImage& image, const PictureRequest& request, uint16_t dibBits) {
    if (Cancelled(request, 40)) return kCancelled;
    // Read once per picture with alpha, before the pass, and never for one without.
    const AlphaMode mode = image.alpha ? AlphaModeOf(ReadPluginSettings()) : AlphaMode{};
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    PluginResult result = RunGuardedStep([&] {
        return dibBits == 16 ? CopyDdsRowsIntoDib(image, dib) : DecodeDdsIntoDib(image, mode, dib);
    });
    if (result != kSuccess) return result;
    if (Cancelled(request, 60) || Cancelled(request, 80)) return kCancelled;
    LocalBlock infoBlock, bitsBlock;
    if ((result = RunGuardedStep([&] { return TakeDibHandles(dib, infoBlock, bitsBlock); })) != kSuccess) {
        return result;
    }
    return HandOver(request, infoBlock, bitsBlock);
}

// Our reader on the bytes, which the host may have described longer than they are: a fault
// while reading the header reads nothing.
bool OwnReaderReadsGuarded(const void* bytes, size_t size, dds::DdsImage& image) {
    bool reads = false;
    return RunGuarded([&] { reads = OwnReaderReads(bytes, size, image); }) == 0 && reads;
}

// The core both input forms share; `bytes` is a whole DDS file image. The route is chosen from
// the header; a picture D3DX describes but fails to load (invalid data, not implemented, a
// fault) goes to our reader when it reads the file.
PluginResult BuildPicture(const void* bytes, size_t size, const PictureRequest& request) {
    Route route = Route::D3dx;
    RunGuarded([&] { route = ChooseRoute(bytes, size); });
    dds::DdsImage image;
    if (route == Route::OwnReader) {
        return OwnReaderReadsGuarded(bytes, size, image) ? BuildThroughOwnReader(image, request, 24) : kNotSupported;
    }
    D3dxLoadFailure load;
    const PluginResult result = BuildThroughD3dx(bytes, size, request, load);
    if (load.failed && (result == kNotSupported || result == kInternalError) &&
        OwnReaderReadsGuarded(bytes, size, image)) {
        // The bit count GetPictureInfo gave: that of D3DX's decoding surface where D3DX
        // describes the picture, else our reader's 24.
        const uint16_t dibBits = load.described != D3DFMT_UNKNOWN ? DecodeSurfaceFor(load.described).dibBits : 24;
        return BuildThroughOwnReader(image, request, dibBits);
    }
    return result;
}

}  // namespace

PluginResult DecodeFromMemory(const void* bytes, intptr_t size, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    // A negative length names no image (the 64-bit build refuses it as over 4 GiB anyway).
    if (size < 0) return kNotSupported;
    return BuildPicture(bytes, static_cast<size_t>(size), request);
}

PluginResult DecodeFromFile(const wchar_t* path, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    LocalBlock block;
    size_t size = 0;
    const PluginResult result = ReadWholeFile(path, block, size);
    if (result != kSuccess) return result;
    if (Cancelled(request, 20)) return kCancelled;
    return BuildPicture(block.get(), size, request);
}

}  // namespace sorvane
