#pragma once
// One GetPicture request: from a DDS memory image or file to the two DIB blocks of the host.

#include <cstdint>

#include "PluginApi.h"
#include "PluginResult.h"

namespace sorvane {

// Where the request reports progress and hands the picture over.
struct PictureRequest {
    ProgressCallback progress;  // may be null: no reports, no cancellation
    LONG_PTR progressData;
    HLOCAL* infoOut;  // receives the BITMAPINFO block
    HLOCAL* bitsOut;  // receives the pixel-bits block
};

PluginResult DecodeFromMemory(const void* bytes, intptr_t size, const PictureRequest& request) noexcept;
PluginResult DecodeFromFile(const wchar_t* path, const PictureRequest& request) noexcept;

// The stages of a request on D3DX's route, in order, for measurements of the real path.
enum class PictureStage {
    Begin,          // D3DX's route starts
    ContextMade,    // window, Direct3D object and device
    SurfaceLoaded,  // D3DX has decoded into the scratch surface
    SurfaceLocked,  // the pixel steps start
    PixelsDone,     // the DIB's rows are written
    HandedOver,     // the DIB's two blocks are made
    Released,       // the lock, the surface and the context are gone
};
using PictureStageHook = void (*)(PictureStage stage);
// Called on the request's thread as each stage is reached; null (the default) for none.
void SetPictureStageHook(PictureStageHook hook) noexcept;

}  // namespace sorvane
