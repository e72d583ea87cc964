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

}  // namespace sorvane
