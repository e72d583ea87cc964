#pragma once
// The D3DX image services the plug-in relies on, each call made inside the fault guard.

#include <d3dx9tex.h>

#include <cstddef>
#include <cstdint>

#include "PluginResult.h"

namespace sorvane {

// True when `bytes` start with a DDS header whose counts no valid file has (more mip levels
// than any size allows): D3DX would spend minutes walking such a file, so it is refused first.
bool HasImplausibleDdsHeader(const void* bytes, size_t size) noexcept;

// A FourCC of legacy headers that D3DX 9 reads, with the bits of a pixel it stands for.
struct D3dxFourCc {
    uint32_t fourCc;
    uint8_t bits;        // of a pixel; a 4 x 4 block holds 16 of them
    bool blockCompressed;
};
// The row of `fourCc`, or null when D3DX does not read it.
const D3dxFourCc* FindD3dxFourCc(uint32_t fourCc) noexcept;

// True when `bytes` start with a legacy DDS header of a format D3DX reads whose first picture,
// counted in 64 bits, does not lie within `size` bytes. D3DX counts the whole file in 32 bits,
// so a file that asks for 4 GiB or more (wide pixels, six faces, slices) passes its check with
// a wrapped count, and loading the picture then reads past the bytes.
bool HasPictureBeyondBytes(const void* bytes, size_t size) noexcept;

// D3DXGetImageInfoFromFileInMemory into `info`, which is zeroed first. Bytes without the DDS
// magic or with an implausible header, and a fault or exception inside D3DX, count as
// D3DXERR_INVALIDDATA.
HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept;

// D3DXGetImageInfoFromFileW into `info` (not cleared here). The same bytes as above, and a
// fault or exception inside D3DX, count as D3DXERR_INVALIDDATA.
HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept;

// A size a host's record can hold: D3DX describes headers with a width or height of 0, or of
// 2^31 and more, which are no picture.
inline bool HasRecordSize(const D3DXIMAGE_INFO& info) noexcept {
    return info.Width != 0 && info.Height != 0 && info.Width <= 0x7FFFFFFF && info.Height <= 0x7FFFFFFF;
}

// A DDS file whose pixel format D3DX can name, of a size a host's record can hold.
inline bool IsReadableDds(const D3DXIMAGE_INFO& info) noexcept {
    return info.ImageFileFormat == D3DXIFF_DDS && info.Format != D3DFMT_UNKNOWN && HasRecordSize(info);
}

}  // namespace sorvane
