#include "OpaqueFormats.h"

#include <algorithm>
#include <new>

namespace sorvane {

namespace {

constexpr D3DFORMAT kOpaqueFormats[] = {
    D3DFMT_R16F,     D3DFMT_G16R16F,  D3DFMT_G8R8_G8B8, D3DFMT_R8G8_B8G8, D3DFMT_UYVY,
    D3DFMT_YUY2,     D3DFMT_R32F,     D3DFMT_G32R32F,   D3DFMT_L6V5U5,    D3DFMT_X8L8V8U8,
    D3DFMT_R8G8B8,   D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,    D3DFMT_X1R5G5B5,  D3DFMT_R3G3B2,
    D3DFMT_X4R4G4B4, D3DFMT_X8B8G8R8, D3DFMT_G16R16,    D3DFMT_P8,        D3DFMT_L8,
    D3DFMT_L16,
};
static_assert(sizeof kOpaqueFormats / sizeof kOpaqueFormats[0] == 21);

constexpr DecodeSurface kDecodeSurfaces[] = {
    {D3DFMT_R8G8B8, 24, 24, false},
    {D3DFMT_A8R8G8B8, 32, 24, true},
    {D3DFMT_X1R5G5B5, 16, 16, false},  // the DIB's 5-5-5 layout: rows are copied unchanged
};

// Alive from the module's static initialisation to its unload.
OpaqueFormatSet FormatSet;

}  // namespace

OpaqueFormatSet::OpaqueFormatSet() noexcept { InitializeCriticalSection(&lock_); }
OpaqueFormatSet::~OpaqueFormatSet() { DeleteCriticalSection(&lock_); }

bool OpaqueFormatSet::Contains(D3DFORMAT format) noexcept {
    EnterCriticalSection(&lock_);
    bool found;
    try {
        if (!set_) {
            set_ = std::make_unique<const std::set<D3DFORMAT>>(std::begin(kOpaqueFormats),
                                                               std::end(kOpaqueFormats));
            ++builds_;
        }
        found = set_->count(format) != 0;
    } catch (const std::bad_alloc&) {
        // Without memory for the set the table answers the same question.
        found = std::find(std::begin(kOpaqueFormats), std::end(kOpaqueFormats), format) !=
                std::end(kOpaqueFormats);
    }
    LeaveCriticalSection(&lock_);
    return found;
}

int OpaqueFormatSet::BuildCount() noexcept {
    EnterCriticalSection(&lock_);
    const int count = builds_;
    LeaveCriticalSection(&lock_);
    return count;
}

bool IsOpaqueFormat(D3DFORMAT format) noexcept { return FormatSet.Contains(format); }

const DecodeSurface& DecodeSurfaceFor(D3DFORMAT source) noexcept {
    const D3DFORMAT surface = !IsOpaqueFormat(source)          ? D3DFMT_A8R8G8B8
                              : source == D3DFMT_X1R5G5B5 ? D3DFMT_X1R5G5B5
                                                          : D3DFMT_R8G8B8;
    return *FindDecodeSurface(surface);
}

const DecodeSurface* FindDecodeSurface(D3DFORMAT surface) noexcept {
    for (const DecodeSurface& row : kDecodeSurfaces) {
        if (row.format == surface) return &row;
    }
    return nullptr;
}

}  // namespace sorvane
