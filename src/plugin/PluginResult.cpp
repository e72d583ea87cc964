#include "PluginResult.h"

namespace sorvane {

namespace {
constexpr HRESULT kOutOfVideoMemory = static_cast<HRESULT>(0x8876017C);  // D3DERR_OUTOFVIDEOMEMORY
constexpr HRESULT kInvalidData = static_cast<HRESULT>(0x88760B59);       // D3DXERR_INVALIDDATA
}  // namespace

PluginResult ToPluginResult(HRESULT hr) noexcept {
    switch (hr) {
    case E_OUTOFMEMORY:
    case kOutOfVideoMemory: return kOutOfMemory;
    case kInvalidData: return kNotSupported;
    default: return kInternalError;
    }
}

}  // namespace sorvane
