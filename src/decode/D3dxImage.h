#pragma once
// The D3DX image services the plug-in relies on, each call made inside the fault guard.

#include <d3dx9tex.h>

#include <cstddef>

#include "PluginResult.h"

namespace sorvane {

// True when `bytes` start with a DDS header whose counts no valid file has (more mip levels
// than any size allows): D3DX would spend minutes walking such a file, so it is refused first.
bool HasImplausibleDdsHeader(const void* bytes, size_t size) noexcept;
// The same test on the first bytes of a file; false when the file cannot be read.
bool FileHasImplausibleDdsHeader(const wchar_t* path) noexcept;

// D3DXGetImageInfoFromFileInMemory into `info`, which is zeroed first. A fault or exception
// inside D3DX counts as D3DXERR_INVALIDDATA.
HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept;

// D3DXGetImageInfoFromFileW into `info` (not cleared here). A fault or exception inside D3DX
// counts as D3DXERR_INVALIDDATA.
HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept;

// A DDS file whose pixel format D3DX can name, of a size a host's record can hold: D3DX
// describes headers with a width or height of 0, or of 2^31 and more, which are no picture.
inline bool IsReadableDds(const D3DXIMAGE_INFO& info) noexcept {
    return info.ImageFileFormat == D3DXIFF_DDS && info.Format != D3DFMT_UNKNOWN && info.Width != 0 &&
           info.Height != 0 && info.Width <= 0x7FFFFFFF && info.Height <= 0x7FFFFFFF;
}

}  // namespace sorvane
