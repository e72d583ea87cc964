#pragma once
// Which reader a request takes, chosen from the header bytes alone, before any device exists.

#include <cstddef>

namespace sorvane {

enum class Route {
    D3dx,       // a legacy header of a format D3DX 9 reads: D3DX, with our reader behind it
    OwnReader,  // the DX10 header, or a FourCC D3DX 9 does not know
};

Route ChooseRoute(const void* bytes, size_t size) noexcept;

// Whether our reader reads the file whose first bytes these are, from its header alone.
bool OwnReaderReadsHeader(const void* bytes, size_t size) noexcept;

}  // namespace sorvane
