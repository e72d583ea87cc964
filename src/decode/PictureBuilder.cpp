#include "PictureBuilder.h"

#include <d3d9.h>

#include "D3dContext.h"
#include "FaultGuard.h"
#include "OpaqueFormats.h"
#include "PixelConversion.h"
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

// The core both input forms share; `bytes` is a whole DDS file image.
PluginResult BuildPicture(const void* bytes, size_t size, const PictureRequest& request) {
    D3dContext context;
    PluginResult result = context.Create();
    if (result != kSuccess) return result;
    ComRef<IDirect3DSurface9> surface;
    if ((result = context.LoadDdsSurface(bytes, size, surface)) != kSuccess) return result;
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
    // The host owns both blocks from here on, also when it cancels at 100.
    *request.bitsOut = bitsBlock.release();
    *request.infoOut = infoBlock.release();
    return Cancelled(request, 100) ? kCancelled : kSuccess;
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
