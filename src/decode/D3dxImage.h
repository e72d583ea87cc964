#pragma once
// The D3DX image services the plug-in relies on, each call made inside the fault guard.

#include <d3dx9tex.h>

namespace sorvane {

constexpr HRESULT kD3dxInvalidData = static_cast<HRESULT>(0x88760B59);  // D3DXERR_INVALIDDATA

// D3DXGetImageInfoFromFileInMemory into `info`, which is zeroed first. A fault or exception
// inside D3DX counts as D3DXERR_INVALIDDATA.
HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept;

// D3DXGetImageInfoFromFileW into `info` (not cleared here). A fault or exception inside D3DX
// counts as D3DXERR_INVALIDDATA.
HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept;

// A DDS file whose pixel format D3DX can name.
inline bool IsReadableDds(const D3DXIMAGE_INFO& info) noexcept {
    return info.ImageFileFormat == D3DXIFF_DDS && info.Format != D3DFMT_UNKNOWN;
}

}  // namespace sorvane
