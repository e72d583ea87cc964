#include "PictureBuilder.h"

#include <d3d9.h>

#include <atomic>

#include "D3dContext.h"
#include "D3dxLibrary.h"
#include "DdsDescription.h"
#include "FaultGuard.h"
#include "FileBands.h"
#include "OpaqueFormats.h"
#include "PixelConversion.h"
#include "PluginSettings.h"
#include "ViewLayout.h"

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

// A file our reader draws images of: its bytes as D3DX takes them (none on our reader's route
// from a file), where our reader finds them, and its header as described.
struct FileImages {
    const void* bytes;
    size_t size;
    const dds::DdsImage& image;
    FileBands& source;
};

// The DIB of a laid-out picture, made and its gaps cleared: transparent black, disposed of as
// the settings say whatever the format.
PluginResult StartLayout(const FileLayout& layout, const PluginSettings& settings, const PixelView& view,
                         PixelImage& dib) {
    const PluginResult result = dib.Allocate(static_cast<uint32_t>(layout.size.width),
                                             static_cast<uint32_t>(layout.size.height), view.dibBits);
    if (result == kSuccess && layout.gaps) ClearForView(dib, PixelViewOf(settings, true));
    return result;
}

// Our reader's images of the layout, from image `first` on, each at its place.
PluginResult DrawImages(const FileLayout& layout, size_t first, const FileImages& file, const PixelView& view,
                        const PixelImage& dib) {
    for (size_t i = first; i < layout.images.size(); ++i) {
        const LaidOutImage& laid = layout.images[i];
        const PluginResult result = file.source.Draw(file.image, laid.item, laid.mip, view, dib,
                                                     static_cast<uint32_t>(laid.place.x),
                                                     static_cast<uint32_t>(laid.place.y));
        if (result != kSuccess) return result;
    }
    return kSuccess;
}

// Hands the DIB's two blocks on, after the reports a request gives once the pixels are done.
PluginResult FinishDib(const PictureRequest& request, PixelImage& dib, LocalBlock& infoBlock, LocalBlock& bitsBlock) {
    if (Cancelled(request, 60) || Cancelled(request, 80)) return kCancelled;
    return RunGuardedStep([&] { return TakeDibHandles(dib, infoBlock, bitsBlock); });
}

// The pixel steps on the locked surface, up to the two DIB blocks: one pass into the DIB.
// `sourceAlpha`: whether the source format's alpha goes as the settings say. With a `layout`
// the surface is its first image, and our reader draws the others.
PluginResult BuildDib(const PictureRequest& request, const D3DSURFACE_DESC& desc, const DecodeSurface& surface,
                      const SurfaceLock& lock, const PluginSettings& settings, bool sourceAlpha,
                      const FileLayout* layout, const FileImages& file, LocalBlock& infoBlock,
                      LocalBlock& bitsBlock) {
    const PixelImage source(PixelLayout{desc.Width, desc.Height, surface.sourceBits, lock.rect().Pitch},
                            static_cast<uint8_t*>(lock.rect().pBits));
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    const PluginResult result = RunGuardedStep([&] {
        // A view has all 32 bits of the surface.
        const PixelView view = PixelViewOf(settings, sourceAlpha);
        if (layout != nullptr) {
            const ImagePlace first = layout->images.front().place;
            PluginResult drawn = StartLayout(*layout, settings, view, dib);
            if (drawn == kSuccess) {
                drawn = DrawForView(source, dib, view, static_cast<uint32_t>(first.x), static_cast<uint32_t>(first.y));
            }
            return drawn == kSuccess ? DrawImages(*layout, 1, file, view, dib) : drawn;
        }
        if (!settings.NoView()) return ConvertForView(source, dib, view);
        return surface.disposesAlpha ? ConvertTo24Bits(source, dib, AlphaModeOf(settings)) : FlipRows(source, dib);
    });
    if (result != kSuccess) return result;
    Reached(PictureStage::PixelsDone);
    const PluginResult finished = FinishDib(request, dib, infoBlock, bitsBlock);
    if (finished != kCancelled) Reached(PictureStage::HandedOver);
    return finished;
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
PluginResult BuildThroughD3dx(const FileImages& file, const DdsDescription& description,
                              const PictureRequest& request, const PluginSettings& settings,
                              const FileLayout* layout, D3dxFailure& failure) {
    Reached(PictureStage::Begin);
    D3dContext context;
    PluginResult result = context.Create();
    if (result != kSuccess) {
        failure.ownReaderTakesOver = true;
        return result;
    }
    Reached(PictureStage::ContextMade);
    ComRef<IDirect3DSurface9> surface;
    result = context.LoadDdsSurface(file.bytes, file.size, description.image.header, surface, &failure.described,
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
    if ((result = BuildDib(request, desc, *decodeSurface, lock, settings, sourceAlpha, layout, file, infoBlock,
                           bitsBlock)) != kSuccess) {
        return result;
    }
    return HandOver(request, infoBlock, bitsBlock);
}

// Our own reader: no window, no Direct3D object, no device. `dibBits` is the bit count that
// GetPictureInfo gives the picture: 16 keeps X1R5G5B5 rows as they are, as D3DX's route does.
PluginResult BuildThroughOwnReader(const FileImages& file, const PictureRequest& request,
                                   const PluginSettings& settings, const FileLayout* layout, uint16_t dibBits,
                                   bool disposesAlpha) {
    if (Cancelled(request, 40)) return kCancelled;
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    const PluginResult result = RunGuardedStep([&] {
        const PixelView view = PixelViewOf(settings, disposesAlpha);
        if (layout != nullptr) {
            const PluginResult made = StartLayout(*layout, settings, view, dib);
            return made == kSuccess ? DrawImages(*layout, 0, file, view, dib) : made;
        }
        if (dibBits == 16 && settings.NoView()) return file.source.CopyRows(file.image, dib);
        return file.source.Decode(file.image, view, dib);
    });
    if (result != kSuccess) return result;
    LocalBlock infoBlock, bitsBlock;
    const PluginResult finished = FinishDib(request, dib, infoBlock, bitsBlock);
    return finished == kSuccess ? HandOver(request, infoBlock, bitsBlock) : finished;
}

// The core both input forms share. D3DX takes the files routed to it while it is bound, from
// the whole file in memory; our reader takes the rest, and whatever D3DX cannot give, reading a
// file band by band.
PluginResult BuildPicture(FileBands& source, const PictureRequest& request) {
    DdsDescription description;
    const PluginResult ours = source.Describe(description);
    // Read once per picture, before the pass: the views apply to every picture.
    const PluginSettings settings = ReadPluginSettings();
    FileImages file{nullptr, 0, description.image, source};
    // A layout our reader works out: of a file it does not read, D3DX gives the first image alone.
    FileLayout layout;
    const FileLayout* laidOut = nullptr;
    if (settings.layout != PictureLayout::FirstImage && ours == kSuccess) {
        const PluginResult result = LayOutFile(description.image, source.size(), settings.layout, layout);
        if (result != kSuccess) return result;
        laidOut = &layout;
    }
    // Normal Z is worked out from the channels at full precision, which D3DX's surface lacks.
    const bool fullPrecision = settings.normalZ && ours == kSuccess && dds::HasVectorChannels(description.image);
    if (description.route == Route::D3dx && !fullPrecision && BoundD3dx() != nullptr) {
        D3dxFailure failure;
        PluginResult result = source.WholeFile(file.bytes, file.size);
        if (result == kSuccess) {
            result = BuildThroughD3dx(file, description, request, settings, laidOut, failure);
            Reached(PictureStage::Released);
        }
        // D3DX needs the whole file and a surface as large as the picture besides the DIB: a
        // picture that has no memory for them may still fit our reader's way, from the file's bands.
        if (result == kOutOfMemory) {
            failure.ownReaderTakesOver = true;
            source.ReleaseWholeFile();
        }
        if (!failure.ownReaderTakesOver || ours != kSuccess) return result;
        if (failure.described != D3DFMT_UNKNOWN) {
            // The bit count GetPictureInfo gave: that of D3DX's decode surface.
            const DecodeSurface& surface = DecodeSurfaceFor(failure.described);
            return BuildThroughOwnReader(file, request, settings, laidOut, surface.dibBits,
                                         surface.disposesAlpha);
        }
    }
    if (ours != kSuccess) return kNotSupported;
    return BuildThroughOwnReader(file, request, settings, laidOut, description.dibBits,
                                 description.disposesAlpha);
}

}  // namespace

void SetPictureStageHook(PictureStageHook hook) noexcept { g_stageHook.store(hook); }

PluginResult DecodeFromMemory(const void* bytes, intptr_t size, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    // A negative length names no image: an argument no host means, as GetPictureInfo says too.
    if (size < 0) return kInternalError;
    FileBands source(bytes, static_cast<size_t>(size));
    return BuildPicture(source, request);
}

PluginResult DecodeFromFile(const wchar_t* path, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    // Its head and size only: the rest is read as the route needs it.
    FileBands source;
    const PluginResult result = source.Open(path);
    if (result != kSuccess) return result;
    if (Cancelled(request, 20)) return kCancelled;
    return BuildPicture(source, request);
}

}  // namespace sorvane
