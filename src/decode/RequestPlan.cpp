#include "RequestPlan.h"

#include "D3dxLibrary.h"

namespace sorvane {

namespace {

// Whether our reader takes, at the settings' request, a legacy file D3DX would read. Asked only
// of files our reader reads; one condition a line.
bool OwnReaderAsked(const dds::DdsImage& image, const PluginSettings& settings) {
    // Normal Z is worked out from the channels at full precision, which D3DX's surface lacks.
    if (settings.normalZ && dds::HasVectorChannels(image)) return true;
    if (settings.reader) return true;
    // So are tone-mapped HDR colours.
    if (settings.toneMap && dds::HasHdrChannels(image)) return true;
    return false;
}

// Whether D3DX may be given the file: its header leads to D3DX and the settings do not ask for
// our reader.
bool LeadsToD3dx(const DdsDescription& description, const PluginSettings& settings) {
    if (description.route != Route::D3dx) return false;
    return description.ownReader != kSuccess || !OwnReaderAsked(description.image, settings);
}

// D3DX's description where D3DX takes the file: the plan's route and result.
void ChooseRoute(const DdsDescription& description, RequestPlan& plan) {
    const bool ours = description.ownReader == kSuccess;
    plan.result = description.ownReader;
    if (!LeadsToD3dx(description, plan.settings)) return;
#if defined(_WIN64)
    // D3DX counts in 32 bits: a larger image of its formats is no image it can describe.
    if (description.source.path == nullptr && description.source.size > 0xFFFFFFFFull) {
        plan.d3dxRefused = !ours;
        if (!ours) plan.result = kInternalError;
        return;
    }
#endif
    if (BoundD3dx() == nullptr) return;
    const HRESULT hr = DescribeImage(description.source, plan.d3dx);
    if (SUCCEEDED(hr) && IsReadableDds(plan.d3dx)) {
        plan.route = Route::D3dx;
        plan.result = kSuccess;
        return;
    }
    plan.d3dx = D3DXIMAGE_INFO{};
    plan.d3dxRefused = !ours;
    if (!ours) plan.result = FAILED(hr) ? ToPluginResult(hr) : kNotSupported;
}

}  // namespace

void PlanRequest(const DdsDescription& description, const PluginSettings& settings, RequestPlan& plan) noexcept {
    plan = RequestPlan();
    plan.description = &description;
    plan.settings = settings;
    // A layout is our reader's to work out; of a file it does not read, D3DX gives the first
    // image alone.
    if (settings.layout != PictureLayout::FirstImage && description.ownReader == kSuccess) {
        plan.result = LayOutFile(description.image, description.fileSize, settings.layout, plan.layout);
        if (plan.result != kSuccess) return;
    }
    ChooseRoute(description, plan);
    if (plan.result != kSuccess) return;

    // What the source format's pixels become: D3DX's decode surface of the format it reads (our
    // reader gives the same picture), else our reader's 24 bits.
    const dds::DdsImage& image = description.image;
    const DecodeSurface* own = nullptr;
    if (plan.route == Route::D3dx) {
        own = &DecodeSurfaceFor(plan.d3dx.Format);
    } else if (image.d3dFormat != 0) {
        own = &DecodeSurfaceFor(static_cast<D3DFORMAT>(image.d3dFormat));
    }
    plan.disposesAlpha = own != nullptr ? own->disposesAlpha : image.alpha;
    plan.view = PixelViewOf(settings, plan.disposesAlpha);
    // The alpha channel alone shows no colour to map.
    plan.toneMap = settings.toneMap && !plan.view.alphaChannel && plan.route == Route::OwnReader &&
                   dds::HasHdrChannels(image);
    // A view has all 32 bits of D3DX's surface, and gives the DIB of its own bit count.
    const bool asView = !settings.NoView();
    if (plan.route == Route::D3dx) plan.surface = asView ? FindDecodeSurface(D3DFMT_A8R8G8B8) : own;
    plan.dibBits = static_cast<uint16_t>(asView ? plan.view.dibBits : own != nullptr ? own->dibBits : 24);

    if (plan.LaidOut()) {
        plan.width = plan.layout.size.width;
        plan.height = plan.layout.size.height;
    } else if (plan.route == Route::D3dx) {
        plan.width = plan.d3dx.Width;
        plan.height = plan.d3dx.Height;
    } else {
        plan.width = image.width;
        plan.height = image.height;
    }
}

}  // namespace sorvane
