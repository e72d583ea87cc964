#pragma once
// The plan of one request, worked out once from the file's description, the settings and,
// where D3DX takes the file, D3DX's own description: the route, which images stand where, the
// view, and the DIB's size and bit count. Picture information answers from it and decoding
// carries it out, so the two agree by construction.

#include <cstdint>

#include "D3dxImage.h"
#include "DdsDescription.h"
#include "OpaqueFormats.h"
#include "PixelConversion.h"
#include "PluginResult.h"
#include "PluginSettings.h"
#include "ImagePlacement.h"

namespace sorvane {

struct RequestPlan {
    // 0 when there is a picture to give; else what an information request answers.
    PluginResult result = kNotSupported;
    // D3DX was to take the file and gives no picture of it (it refused it, or it is too large
    // for D3DX's 32-bit counts), and our reader does not read it either: a decoding request,
    // which asks D3DX as it loads, answers 2 for that whatever the code.
    bool d3dxRefused = false;
    Route route = Route::OwnReader;
    const DdsDescription* description = nullptr;
    PluginSettings settings;
    D3DXIMAGE_INFO d3dx{};                  // D3DX's description, on its route
    const DecodeSurface* surface = nullptr;  // D3DX's route: the surface D3DX decodes into
    // The images of a layout of the settings and their places; empty for the first picture
    // alone, which stands at the DIB's top-left pixel.
    FileLayout layout;
    bool disposesAlpha = false;  // the source format's alpha goes as the settings say
    PixelView view;
    // Our reader's HDR colours are tone-mapped: measured over every image shown, then mapped.
    bool toneMap = false;
    uint64_t width = 0, height = 0;  // the DIB's
    uint16_t dibBits = 24;           // the DIB's biBitCount

    bool LaidOut() const noexcept { return !layout.images.empty(); }
};

// Works out the plan of a request on the described file with the settings given. The
// description must outlive the plan. D3DX is asked for its description here, where the route
// leads to it.
void PlanRequest(const DdsDescription& description, const PluginSettings& settings, RequestPlan& plan) noexcept;

}  // namespace sorvane
