#pragma once
// The D3DX image services the plug-in relies on, each call made inside the fault guard, and
// what the plug-in checks of a legacy file before D3DX may load it.

#include <d3dx9tex.h>

#include <cstddef>
#include <cstdint>

#include "DdsReader.h"
#include "PluginResult.h"

namespace sorvane {

// A file as D3DX is given it: a DDS file image (or its head) in memory, or, where `path` is
// set, the file by name, which D3DX opens and reads itself.
struct D3dxSource {
    const void* bytes = nullptr;
    size_t size = 0;
    const wchar_t* path = nullptr;
};

// The row of the format a legacy header's FourCC names, where the FourCC flag is set and D3DX 9
// reads that format; null otherwise.
const dds::LegacyFormat* D3dxFourCcRow(const dds::DdsPixelFormatHeader& pf) noexcept;

// True when `header` (as read from a file of `size` bytes) is a legacy header of a format D3DX
// reads whose first picture, counted in 64 bits, does not lie within the file. D3DX counts the
// whole file in 32 bits, so a file that asks for 4 GiB or more (wide pixels, six faces,
// slices) passes its check with a wrapped count, and loading the picture then reads past the
// bytes.
bool HasPictureBeyondBytes(const dds::DdsHeader& header, uint64_t size) noexcept;

// D3DXGetImageInfoFromFileW for a source with a path, else D3DXGetImageInfoFromFileInMemory,
// into `info`, which is zeroed first. A fault or exception inside D3DX, and D3DX not bound,
// count as D3DXERR_INVALIDDATA. Callers give D3DX only files whose description routes them to
// it (the DDS magic, counts D3DX can walk) and in-memory sizes that fit 32 bits.
HRESULT DescribeImage(const D3dxSource& source, D3DXIMAGE_INFO& info) noexcept;

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
