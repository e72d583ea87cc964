#pragma once
// The focus window, Direct3D object and device of one GetPicture request, and the loading of
// the request's picture into a scratch surface. The device never renders: it exists so that a
// D3DPOOL_SCRATCH surface can be made for D3DX to decode into.

#include <d3d9.h>

#include <cstddef>
#include <cstdint>

#include "ComRef.h"
#include "Holders.h"
#include "PluginResult.h"

namespace sorvane {

namespace dds {
struct DdsHeader;
}

#if !defined(_WIN64)
// Sets the thread's x87 precision to 53 bits for the life of the context and puts the
// recorded precision back afterwards. The SSE control word is recorded, never changed.
class FpuPrecisionGuard {
public:
    FpuPrecisionGuard() noexcept;
    ~FpuPrecisionGuard();
    FpuPrecisionGuard(const FpuPrecisionGuard&) = delete;
    FpuPrecisionGuard& operator=(const FpuPrecisionGuard&) = delete;

    uint32_t recordedX87() const noexcept { return x87_; }

private:
    uint32_t x87_;
    uint32_t sse_;  // recorded with the x87 word; only the x87 precision is ever changed
};
#endif

// The first window that the calling thread's enumeration offers, or its topmost child; null
// when the thread has no window.
HWND FindThreadWindow() noexcept;

class D3dContext {
public:
    D3dContext() noexcept = default;
    D3dContext(const D3dContext&) = delete;
    D3dContext& operator=(const D3dContext&) = delete;

    // Finds or makes the focus window and creates the device. 0 when a device exists after it.
    PluginResult Create() noexcept;

    PluginResult CreateScratchSurface(UINT width, UINT height, D3DFORMAT format,
                                      ComRef<IDirect3DSurface9>& surface) noexcept;

    // Loads the top-level image of the DDS file image `bytes` into a new scratch surface in
    // the decode-surface format of its source format; `header` is the file's header as its
    // description read it. `described`, if given, receives the source format of a picture D3DX
    // describes as one a host can be given, whether or not the load then succeeds; it is left
    // as it was otherwise. `surfaceFormat`, when not D3DFMT_UNKNOWN, is the decode surface to
    // use whatever the source format (a view of the settings needs all 32 bits).
    PluginResult LoadDdsSurface(const void* bytes, size_t size, const dds::DdsHeader& header,
                                ComRef<IDirect3DSurface9>& surface, D3DFORMAT* described = nullptr,
                                D3DFORMAT surfaceFormat = D3DFMT_UNKNOWN) noexcept;
    // The same for bytes not yet described.
    PluginResult LoadDdsSurface(const void* bytes, size_t size, ComRef<IDirect3DSurface9>& surface) noexcept;

    HWND focusWindow() const noexcept { return focusWindow_; }
    bool ownsWindow() const noexcept { return static_cast<bool>(window); }
    IDirect3DDevice9* plainDevice() const noexcept { return device.get(); }

private:
    PluginResult CreateHiddenWindow() noexcept;
    PluginResult CreatePlainDevice() noexcept;
#if defined(_WIN64)
    bool CreateDeviceThroughEx() noexcept;
#endif

    // Declaration order is release order reversed: the device goes first, the window last.
#if !defined(_WIN64)
    FpuPrecisionGuard fpuPrecisionGuard;
#endif
    OwnedWindow window;
#if defined(_WIN64)
    ComRef<IDirect3D9Ex> direct3dEx;
    ComRef<IDirect3DDevice9Ex> deviceEx;
#endif
    ComRef<IDirect3D9> direct3d;
    ComRef<IDirect3DDevice9> device;
    HWND focusWindow_ = nullptr;
};

}  // namespace sorvane
