#pragma once
// The source formats treated as carrying no alpha, and the decode-surface choice they drive.

#include <windows.h>

#include <d3d9types.h>

#include <cstdint>

namespace sorvane {

// True when `format` is one of the 21 opaque source formats. The set is built on the first
// call, under the one lock of the system.
bool IsOpaqueFormat(D3DFORMAT format) noexcept;

// The surface format D3DX decodes a source of `format` into: A8R8G8B8 for a source that may
// carry alpha, X1R5G5B5 for an X1R5G5B5 source, R8G8B8 for every other opaque source.
D3DFORMAT DecodeSurfaceFormat(D3DFORMAT source) noexcept;

// Bits per pixel of the three decode-surface formats; 0 for any other format.
uint32_t SurfaceBitsPerPixel(D3DFORMAT format) noexcept;

// How often the set has been built in this process (1 after first use).
int OpaqueFormatSetBuildCount() noexcept;

}  // namespace sorvane
