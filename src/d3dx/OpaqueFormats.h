#pragma once
// The source formats treated as carrying no alpha, and the decode surfaces they lead to.

#include <windows.h>

#include <d3d9types.h>

#include <cstdint>
#include <memory>
#include <set>

namespace sorvane {

// The set of the 21 opaque source formats, built on first use under a lock of its own and
// only read afterwards. The plug-in has one (see IsOpaqueFormat); its lock is FormatSetLock,
// the system's only lock.
class OpaqueFormatSet {
public:
    OpaqueFormatSet() noexcept;
    ~OpaqueFormatSet();
    OpaqueFormatSet(const OpaqueFormatSet&) = delete;
    OpaqueFormatSet& operator=(const OpaqueFormatSet&) = delete;

    bool Contains(D3DFORMAT format) noexcept;
    // How often the set has been built: 1 once it was used.
    int BuildCount() noexcept;

private:
    CRITICAL_SECTION lock_;
    std::unique_ptr<const std::set<D3DFORMAT>> set_;
    int builds_ = 0;
};

// True when `format` is one of the 21 opaque source formats.
bool IsOpaqueFormat(D3DFORMAT format) noexcept;

// A surface format D3DX decodes into, and what picture building makes of its pixels.
struct DecodeSurface {
    D3DFORMAT format;
    uint32_t sourceBits;  // bits per pixel of the locked image
    uint16_t dibBits;     // biBitCount of the DIB
    bool disposesAlpha;   // the alpha goes as the settings say
};

// The decode surface of a source format: A8R8G8B8 for a source that may carry alpha,
// X1R5G5B5 for an X1R5G5B5 source, R8G8B8 for every other opaque source.
const DecodeSurface& DecodeSurfaceFor(D3DFORMAT source) noexcept;
// The row of a surface format; null for a format that is no decode surface.
const DecodeSurface* FindDecodeSurface(D3DFORMAT surface) noexcept;

}  // namespace sorvane
