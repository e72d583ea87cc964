#include "PluginResult.h"

namespace sorvane {

PluginResult ToPluginResult(HRESULT hr) noexcept {
    switch (hr) {
    case E_OUTOFMEMORY:
    case kD3dOutOfVideoMemory: return kOutOfMemory;
    case kD3dxInvalidData: return kNotSupported;
    default: return kInternalError;
    }
}

}  // namespace sorvane
