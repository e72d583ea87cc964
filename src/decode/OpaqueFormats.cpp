#include "OpaqueFormats.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>

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

// FormatSetLock: the system's only lock, alive from the module's static initialisation to its
// unload, around the first build of the set and every lookup.
class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() noexcept { EnterCriticalSection(&section_); }
    void Leave() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

CriticalSection FormatSetLock;
std::unique_ptr<const std::set<D3DFORMAT>> g_opaqueFormats;  // destroyed at unload
int g_buildCount = 0;

}  // namespace

bool IsOpaqueFormat(D3DFORMAT format) noexcept {
    FormatSetLock.Enter();
    bool found;
    try {
        if (!g_opaqueFormats) {
            g_opaqueFormats = std::make_unique<const std::set<D3DFORMAT>>(std::begin(kOpaqueFormats),
                                                                          std::end(kOpaqueFormats));
            ++g_buildCount;
        }
        found = g_opaqueFormats->count(format) != 0;
    } catch (const std::bad_alloc&) {
        // Without memory for the set the table answers the same question.
        found = std::find(std::begin(kOpaqueFormats), std::end(kOpaqueFormats), format) !=
                std::end(kOpaqueFormats);
    }
    FormatSetLock.Leave();
    return found;
}

D3DFORMAT DecodeSurfaceFormat(D3DFORMAT source) noexcept {
    if (!IsOpaqueFormat(source)) return D3DFMT_A8R8G8B8;
    return source == D3DFMT_X1R5G5B5 ? D3DFMT_X1R5G5B5 : D3DFMT_R8G8B8;
}

uint32_t SurfaceBitsPerPixel(D3DFORMAT format) noexcept {
    switch (format) {
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_A8R8G8B8: return 32;
    case D3DFMT_X1R5G5B5: return 16;
    default: return 0;
    }
}

int OpaqueFormatSetBuildCount() noexcept {
    FormatSetLock.Enter();
    const int count = g_buildCount;
    FormatSetLock.Leave();
    return count;
}

}  // namespace sorvane
