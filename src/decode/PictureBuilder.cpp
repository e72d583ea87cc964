#include "PictureBuilder.h"

#include <d3d9.h>

#include <atomic>

#include "D3dContext.h"
#include "D3dxLibrary.h"
#include "DdsDescription.h"
#include "DdsPicture.h"
#include "FaultGuard.h"
#include "OpaqueFormats.h"
#include "PixelConversion.h"
#include "PluginSettings.h"
#include "ReadWholeFile.h"

namespace sorvane {

namespace {

std::atomic<PictureStageHook> g_stageHook{nullptr};

void Reached(PictureStage stage) {
    if (const PictureStageHook hook = g_stageHook.load(std::memory_order_relaxed)) hook(stage);
}

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
// `sourceAlpha`: whether the source format's alpha goes as the settings say.
PluginResult BuildDib(const PictureRequest& request, const D3DSURFACE_DESC& desc,
                      const DecodeSurface& surface, const SurfaceLock& lock, const PluginSettings& settings,
                      bool sourceAlpha, LocalBlock& infoBlock, LocalBlock& bitsBlock) {
    const PixelImage source(PixelLayout{desc.Width, desc.Height, surface.sourceBits, lock.rect().Pitch},
                            static_cast<uint8_t*>(lock.rect().pBits));
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    PluginResult result = RunGuardedStep([&] {
        // A view has all 32 bits of the surface.
        if (!settings.NoView()) return ConvertForView(source, dib, PixelViewOf(settings, sourceAlpha));
        return surface.disposesAlpha ? ConvertTo24Bits(source, dib, AlphaModeOf(settings)) : FlipRows(source, dib);
    });
    if (result != kSuccess) return result;
    Reached(PictureStage::PixelsDone);
    if (Cancelled(request, 60) || Cancelled(request, 80)) return kCancelled;
    result = RunGuardedStep([&] { return TakeDibHandles(dib, infoBlock, bitsBlock); });
    Reached(PictureStage::HandedOver);
    return result;
}

// The host owns both blocks from here on, also when it cancels at 100.
PluginResult HandOver(const PictureRequest& request, LocalBlock& infoBlock, LocalBlock& bitsBlock) {
    *request.bitsOut = bitsBlock.release();
    *request.infoOut = infoBlock.release();
    return Cancelled(request, 100) ? kCancelled : kSuccess;
}

// What D3DX made of a picture it did not give: whether our reader is to take it over, and the
// source format D3DX gave it, if any.
struct D3dxFailure {
    bool ownReaderTakesOver = false;
    D3DFORMAT described = D3DFMT_UNKNOWN;
};

// D3DX loads the picture into a surface. A request that cannot make a window, a Direct3D
// object or a device, and a picture D3DX fails to load (invalid data, not implemented, a
// fault), are left to our reader.
PluginResult BuildThroughD3dx(const void* bytes, size_t size, const DdsDescription& description,
                              const PictureRequest& request, D3dxFailure& failure) {
    Reached(PictureStage::Begin);
    // Read once per picture, before the pass: the views apply to every picture.
    const PluginSettings settings = ReadPluginSettings();
    D3dContext context;
    PluginResult result = context.Create();
    if (result != kSuccess) {
        failure.ownReaderTakesOver = true;
        return result;
    }
    Reached(PictureStage::ContextMade);
    ComRef<IDirect3DSurface9> surface;
    result = context.LoadDdsSurface(bytes, size, description.image.header, surface, &failure.described,
                                    settings.NoView() ? D3DFMT_UNKNOWN : D3DFMT_A8R8G8B8);
    if (result != kSuccess) {
        failure.ownReaderTakesOver = result == kNotSupported || result == kInternalError;
        return result;
    }
    Reached(PictureStage::SurfaceLoaded);
    if (Cancelled(request, 40)) return kCancelled;

    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return ToPluginResult(hr);
    const DecodeSurface* decodeSurface = FindDecodeSurface(desc.Format);
    if (decodeSurface == nullptr) return kInternalError;
    const SurfaceLock lock(surface.get());
    if (FAILED(lock.result())) return ToPluginResult(lock.result());
    Reached(PictureStage::SurfaceLocked);

    LocalBlock infoBlock, bitsBlock;
    const bool sourceAlpha = DecodeSurfaceFor(failure.described).disposesAlpha;
    if ((result = BuildDib(request, desc, *decodeSurface, lock, settings, sourceAlpha, infoBlock, bitsBlock)) !=
        kSuccess) {
        return result;
    }
    return HandOver(request, infoBlock, bitsBlock);
}

// Our own reader: no window, no Direct3D object, no device. `dibBits` is the bit count that
// GetPictureInfo gives the picture: 16 keeps X1R5G5B5 rows as they are, as D3DX's route does.
PluginResult BuildThroughOwnReader(const dds::DdsImage& image, const PictureRequest& request, uint16_t dibBits,
                                   bool disposesAlpha) {
    if (Cancelled(request, 40)) return kCancelled;
    // Read once per picture, before the pass: the views apply to every picture.
    const PluginSettings settings = ReadPluginSettings();
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    PluginResult result = RunGuardedStep([&] {
        if (dibBits == 16 && settings.NoView()) return CopyDdsRowsIntoDib(image, dib);
        return DecodeDdsIntoDib(image, PixelViewOf(settings, disposesAlpha), dib);
    });
    if (result != kSuccess) return result;
    if (Cancelled(request, 60) || Cancelled(request, 80)) return kCancelled;
    LocalBlock infoBlock, bitsBlock;
    if ((result = RunGuardedStep([&] { return TakeDibHandles(dib, infoBlock, bitsBlock); })) != kSuccess) {
        return result;
    }
    return HandOver(request, infoBlock, bitsBlock);
}

// The core both input forms share; `bytes` is a whole DDS file image. D3DX takes the files
// routed to it while it is bound; our reader takes the rest, and whatever D3DX cannot give.
PluginResult BuildPicture(const void* bytes, size_t size, const PictureRequest& request) {
    DdsDescription description;
    const PluginResult ours = DescribeDds(bytes, size, size, description);
    if (description.route == Route::D3dx && BoundD3dx() != nullptr) {
        D3dxFailure failure;
        const PluginResult result = BuildThroughD3dx(bytes, size, description, request, failure);
        Reached(PictureStage::Released);
        if (!failure.ownReaderTakesOver || ours != kSuccess) return result;
        if (failure.described != D3DFMT_UNKNOWN) {
            // The bit count GetPictureInfo gave: that of D3DX's decode surface.
            const DecodeSurface& surface = DecodeSurfaceFor(failure.described);
            return BuildThroughOwnReader(description.image, request, surface.dibBits, surface.disposesAlpha);
        }
    }
    if (ours != kSuccess) return kNotSupported;
    return BuildThroughOwnReader(description.image, request, description.dibBits, description.disposesAlpha);
}

}  // namespace

void SetPictureStageHook(PictureStageHook hook) noexcept { g_stageHook.store(hook); }

PluginResult DecodeFromMemory(const void* bytes, intptr_t size, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    // A negative length names no image: an argument no host means, as GetPictureInfo says too.
    if (size < 0) return kInternalError;
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
