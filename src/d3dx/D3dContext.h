#pragma once
// The focus window, Direct3D object and device of one GetPicture request, and the loading of
// the request's picture into a scratch surface. The device never renders: it exists so that a
// D3DPOOL_SCRATCH surface can be made for D3DX to decode into.

#include <d3d9.h>
#include <d3dx9tex.h>

#include <cstddef>
#include <cstdint>

#include "ComRef.h"
#include "DdsReader.h"
#include "Holders.h"
#include "OpaqueFormats.h"
#include "PluginResult.h"

namespace sorvane {

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

// A picture for D3DX to load: the whole DDS file image in memory, its header as read, D3DX's
// description of it (IsReadableDds) and the decode surface it is to be loaded into.
struct SurfaceSource {
    const void* bytes;
    size_t size;
    const dds::DdsHeader& header;
    const D3DXIMAGE_INFO& info;
    const DecodeSurface& target;
};

class D3dContext {
public:
    D3dContext() noexcept = default;
    D3dContext(const D3dContext&) = delete;
    D3dContext& operator=(const D3dContext&) = delete;

    // Finds or makes the focus window and creates the device. 0 when a device exists after it.
    PluginResult Create() noexcept;

    PluginResult CreateScratchSurface(UINT width, UINT height, D3DFORMAT format,
                                      ComRef<IDirect3DSurface9>& surface) noexcept;

    // Loads the top-level image of the source into a new scratch surface of the source's
    // decode surface. 2 for a picture that does not lie within the bytes, 4 for a surface
    // larger than 4 GiB.
    PluginResult LoadDdsSurface(const SurfaceSource& source, ComRef<IDirect3DSurface9>& surface) noexcept;

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
