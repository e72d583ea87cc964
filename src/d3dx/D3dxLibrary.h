#pragma once
// D3DX 9 (d3dx9_31.dll) bound on first use. It comes only with the legacy DirectX runtime, so a
// stock Windows lacks it: the plug-in then works without it, through our own reader.

#include <d3dx9tex.h>

namespace sorvane {

struct D3dxFunctions {
    decltype(&D3DXGetImageInfoFromFileInMemory) GetImageInfoFromFileInMemory;
    decltype(&D3DXGetImageInfoFromFileW) GetImageInfoFromFileW;
    decltype(&D3DXLoadSurfaceFromFileInMemory) LoadSurfaceFromFileInMemory;
};

// The three functions the plug-in uses, or null when the library or one of them cannot be had.
// The library is loaded once per process, by the first caller (others wait for it), and kept
// loaded for the life of the process; a failed load is not tried again.
const D3dxFunctions* BoundD3dx() noexcept;

// For measurements and tests in one process: with false, requests go on as where D3DX is
// missing (BoundD3dx gives null); true again restores it.
void SetD3dxUsable(bool usable) noexcept;

}  // namespace sorvane
