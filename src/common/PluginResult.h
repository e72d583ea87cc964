#pragma once
// The interface's integer result codes and the one place where HRESULTs become them.

#include <windows.h>

namespace sorvane {

using PluginResult = int;

constexpr PluginResult kSuccess = 0;
constexpr PluginResult kCancelled = 1;         // the host's progress callback asked to stop
constexpr PluginResult kNotSupported = 2;      // not DDS, or D3DX reports invalid data
constexpr PluginResult kOutOfMemory = 4;       // system or video memory
constexpr PluginResult kFileError = 6;         // the file could not be opened or read
constexpr PluginResult kInternalError = 8;     // null argument, bad mode, any other failure
constexpr PluginResult kNotImplemented = -1;

// The failure codes of Direct3D and D3DX that have a result of their own.
inline constexpr HRESULT kD3dOutOfVideoMemory = static_cast<HRESULT>(0x8876017C);  // D3DERR_OUTOFVIDEOMEMORY
inline constexpr HRESULT kD3dxInvalidData = static_cast<HRESULT>(0x88760B59);      // D3DXERR_INVALIDDATA

// Maps a failed HRESULT: 4 for the two out-of-memory codes, 2 for invalid data, 8 for every
// other code. A success code is no failure to map and gives kInternalError.
PluginResult ToPluginResult(HRESULT hr) noexcept;

// The low three bits of the mode flags choose the input; higher bits are ignored.
enum class InputMode { File, Memory, Invalid };
constexpr InputMode InputModeOf(unsigned flags) noexcept {
    switch (flags & 7u) {
    case 0: return InputMode::File;
    case 1: return InputMode::Memory;
    default: return InputMode::Invalid;
    }
}

}  // namespace sorvane
