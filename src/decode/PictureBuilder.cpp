#include "PictureBuilder.h"

#include <d3d9.h>

#include <atomic>
#include <memory>
#include <new>

#include "D3dContext.h"
#include "DdsPicture.h"
#include "FaultGuard.h"
#include "FileBands.h"
#include "RequestPlan.h"
#include "ToneMap.h"

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

// The DIB of a laid-out picture, made and its gaps cleared: transparent black, disposed of as
// the settings say whatever the format.
PluginResult StartLayout(const RequestPlan& plan, PixelImage& dib) {
    const PluginResult result =
        dib.Allocate(static_cast<uint32_t>(plan.width), static_cast<uint32_t>(plan.height), plan.dibBits);
    if (result == kSuccess && plan.layout.gaps) ClearForView(dib, PixelViewOf(plan.settings, true));
    return result;
}

// Our reader's images of the layout, from image `first` on, each at its place.
PluginResult DrawImages(const RequestPlan& plan, const PixelView& view, size_t first, FileBands& source,
                        const PixelImage& dib) {
    for (size_t i = first; i < plan.layout.images.size(); ++i) {
        const LaidOutImage& laid = plan.layout.images[i];
        const PluginResult result =
            source.Draw(plan.description->image, laid.item, laid.mip, view, dib, static_cast<uint32_t>(laid.place.x),
                        static_cast<uint32_t>(laid.place.y));
        if (result != kSuccess) return result;
    }
    return kSuccess;
}

// Hands the DIB's two blocks on, after the reports a request gives once the pixels are done.
PluginResult FinishDib(const PictureRequest& request, PixelImage& dib, DibBlocks& blocks) {
    if (Cancelled(request, 60) || Cancelled(request, 80)) return kCancelled;
    return RunGuardedStep([&] { return TakeDibHandles(dib, blocks); });
}

// The pixel steps on the locked surface, up to the two DIB blocks: one pass into the DIB. With
// a layout the surface is its first image, and our reader draws the others.
PluginResult BuildDib(const RequestPlan& plan, const PixelImage& surface, FileBands& source,
                      const PictureRequest& request, DibBlocks& blocks) {
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    const PluginResult result = RunGuardedStep([&] {
        if (plan.LaidOut()) {
            const ImagePlace first = plan.layout.images.front().place;
            PluginResult drawn = StartLayout(plan, dib);
            if (drawn == kSuccess) {
                drawn = DrawForView(surface, dib, plan.view, static_cast<uint32_t>(first.x), static_cast<uint32_t>(first.y));
            }
            return drawn == kSuccess ? DrawImages(plan, plan.view, 1, source, dib) : drawn;
        }
        if (!plan.settings.NoView()) return ConvertForView(surface, dib, plan.view);
        return plan.surface->disposesAlpha ? ConvertTo24Bits(surface, dib, AlphaModeOf(plan.settings))
                                           : FlipRows(surface, dib);
    });
    if (result != kSuccess) return result;
    Reached(PictureStage::PixelsDone);
    const PluginResult finished = FinishDib(request, dib, blocks);
    if (finished != kCancelled) Reached(PictureStage::HandedOver);
    return finished;
}

// The host owns both blocks from here on, also when it cancels at 100.
PluginResult HandOver(const PictureRequest& request, DibBlocks& blocks) {
    *request.bitsOut = blocks.bits.release();
    *request.infoOut = blocks.info.release();
    return Cancelled(request, 100) ? kCancelled : kSuccess;
}

// D3DX loads the picture into a surface. A request that cannot make a window, a Direct3D
// object or a device, and a picture D3DX fails to load (invalid data, not implemented, a
// fault), are left to our reader: `ownReaderTakesOver`. D3DX loads from the whole file in memory.
PluginResult BuildThroughD3dx(const RequestPlan& plan, FileBands& source, const PictureRequest& request,
                              bool& ownReaderTakesOver) {
    const void* bytes = nullptr;
    size_t size = 0;
    PluginResult result = source.WholeFile(bytes, size);
    if (result != kSuccess) return result;
    Reached(PictureStage::Begin);
    D3dContext context;
    result = context.Create();
    if (result != kSuccess) {
        ownReaderTakesOver = true;
        return result;
    }
    Reached(PictureStage::ContextMade);
    ComRef<IDirect3DSurface9> surface;
    result = context.LoadDdsSurface(
        SurfaceSource{bytes, size, plan.description->image.header, plan.d3dx, *plan.surface}, surface);
    if (result != kSuccess) {
        ownReaderTakesOver = result == kNotSupported || result == kInternalError;
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

    const PixelImage locked(PixelLayout{desc.Width, desc.Height, decodeSurface->sourceBits, lock.rect().Pitch},
                            static_cast<uint8_t*>(lock.rect().pBits));
    DibBlocks blocks;
    if ((result = BuildDib(plan, locked, source, request, blocks)) != kSuccess) return result;
    return HandOver(request, blocks);
}

// The tone mapper of the plan's HDR pictures, once it has measured every image they show: a
// first pass over the file's bands, which the drawing reads again.
PluginResult MeasureImages(const RequestPlan& plan, FileBands& source, std::unique_ptr<dds::ToneMapper>& mapper) {
    mapper.reset(new (std::nothrow) dds::ToneMapper(plan.settings.exposure));
    if (!mapper) return kOutOfMemory;
    const dds::DdsImage& image = plan.description->image;
    double largest = 0.0;
    PluginResult result = kSuccess;
    for (size_t i = 0; result == kSuccess && i < plan.layout.images.size(); ++i) {
        result = source.Measure(image, plan.layout.images[i].item, plan.layout.images[i].mip, largest);
    }
    if (!plan.LaidOut()) result = source.Measure(image, 0, 0, largest);
    mapper->Include(largest);
    mapper->Finish();
    return result;
}

// Our own reader: no window, no Direct3D object, no device. Tone mapping takes two passes, and
// the host hears between them.
PluginResult BuildThroughOwnReader(const RequestPlan& plan, FileBands& source, const PictureRequest& request) {
    if (Cancelled(request, 40)) return kCancelled;
    const dds::DdsImage& image = plan.description->image;
    PixelView view = plan.view;
    std::unique_ptr<dds::ToneMapper> mapper;
    if (plan.toneMap) {
        const PluginResult measured = MeasureImages(plan, source, mapper);
        if (measured != kSuccess) return measured;
        if (Cancelled(request, 50)) return kCancelled;
        view.toneMapper = mapper.get();
    }
    PixelImage dib;
    // The host's picture is allocated here: nothing from it may reach the host.
    const PluginResult result = RunGuardedStep([&] {
        if (plan.LaidOut()) {
            const PluginResult made = StartLayout(plan, dib);
            return made == kSuccess ? DrawImages(plan, view, 0, source, dib) : made;
        }
        // 16 bits keep X1R5G5B5 rows as they are, as D3DX's route does.
        if (plan.dibBits == 16) return source.CopyRows(image, dib);
        return source.Decode(image, view, dib);
    });
    if (result != kSuccess) return result;
    DibBlocks blocks;
    const PluginResult finished = FinishDib(request, dib, blocks);
    return finished == kSuccess ? HandOver(request, blocks) : finished;
}

// The core both input forms share. The plan's route takes the file; our reader takes over
// whatever D3DX cannot give of a file it reads, reading a file band by band.
PluginResult BuildPicture(FileBands& source, const DdsDescription& description, const PictureRequest& request) {
    // Read once per picture, before the pass: the views apply to every picture.
    RequestPlan plan;
    PlanRequest(description, ReadPluginSettings(), plan);
    // D3DX describes the picture as it loads it: a picture it refuses is none it can read.
    if (plan.result != kSuccess) return plan.d3dxRefused ? kNotSupported : plan.result;
    if (plan.route == Route::D3dx) {
        bool ownReaderTakesOver = false;
        const PluginResult result = BuildThroughD3dx(plan, source, request, ownReaderTakesOver);
        Reached(PictureStage::Released);
        // D3DX needs the whole file and a surface as large as the picture besides the DIB: a
        // picture that has no memory for them may still fit our reader's way, from the file's bands.
        if (result == kOutOfMemory) {
            ownReaderTakesOver = true;
            source.ReleaseWholeFile();
        }
        if (!ownReaderTakesOver || description.ownReader != kSuccess) return result;
    }
    return BuildThroughOwnReader(plan, source, request);
}

}  // namespace

void SetPictureStageHook(PictureStageHook hook) noexcept { g_stageHook.store(hook); }

PluginResult DecodeFromMemory(const void* bytes, intptr_t size, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    // A negative length names no image: an argument no host means, as GetPictureInfo says too.
    if (size < 0) return kInternalError;
    DdsDescription description;
    DescribeDds(bytes, static_cast<size_t>(size), static_cast<size_t>(size), description);
    FileBands source(description.source.bytes, description.source.size);
    return BuildPicture(source, description, request);
}

PluginResult DecodeFromFile(const wchar_t* path, const PictureRequest& request) noexcept {
    if (Cancelled(request, 0)) return kCancelled;
    // Its head and size only: the rest is read as the route needs it.
    FileBands source;
    const PluginResult result = source.Open(path);
    if (result != kSuccess) return result;
    if (Cancelled(request, 20)) return kCancelled;
    DdsDescription description;
    source.Describe(description);
    return BuildPicture(source, description, request);
}

}  // namespace sorvane
