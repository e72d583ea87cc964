#include "PictureBuilder.h"

namespace sorvane {

PluginResult DecodeFromMemory(const void* bytes, intptr_t size, const PictureRequest& request) noexcept {
    return kInternalError;
}

PluginResult DecodeFromFile(const wchar_t* path, const PictureRequest& request) noexcept {
    return kInternalError;
}

}  // namespace sorvane
