#pragma once
// Picture information without decoding: D3DX describes the image, no device is made.

#include <cstdint>

#include "PluginApi.h"
#include "PluginResult.h"

namespace sorvane {

// The image given in memory: `size` is the host's pointer-wide byte count.
PluginResult PictureInfoFromMemory(const void* bytes, intptr_t size, PictureInfo* info) noexcept;
// The image named by `path`; D3DX opens and reads the file itself.
PluginResult PictureInfoFromFile(const wchar_t* path, PictureInfo* info) noexcept;

}  // namespace sorvane
