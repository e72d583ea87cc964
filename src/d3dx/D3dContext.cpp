#include "D3dContext.h"

#include <d3dx9tex.h>

#include "D3dxImage.h"
#include "D3dxLibrary.h"
#include "FaultGuard.h"
#include "Module.h"

namespace sorvane {

namespace {

constexpr wchar_t kHiddenWindowClass[] = L"Mirewick";
constexpr DWORD kBehaviourFlags = D3DCREATE_DISABLE_DRIVER_MANAGEMENT |
                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
static_assert(kBehaviourFlags == 0x122);
// The null reference device comes before the reference rasteriser.
constexpr D3DDEVTYPE kDeviceTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_NULLREF, D3DDEVTYPE_REF};

D3DPRESENT_PARAMETERS PresentParameters(HWND focus) {
    D3DPRESENT_PARAMETERS pp{};
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = focus;
    pp.Windowed = TRUE;
    return pp;
}

// A failed attempt may have written the back-buffer members; the next one starts from 0.
void ResetBackBuffer(D3DPRESENT_PARAMETERS& pp) {
    pp.BackBufferWidth = 0;
    pp.BackBufferHeight = 0;
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.BackBufferCount = 0;
}

BOOL CALLBACK TakeFirstWindow(HWND window, LPARAM found) {
    HWND child = GetTopWindow(window);
    *reinterpret_cast<HWND*>(found) = child != nullptr ? child : window;
    return FALSE;
}

}  // namespace

#if !defined(_WIN64)
FpuPrecisionGuard::FpuPrecisionGuard() noexcept {
    uint16_t control;
    uint32_t sse;
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    __asm__ __volatile__("stmxcsr %0" : "=m"(sse));
    x87_ = control;
    sse_ = sse;
    const uint16_t precision53 = static_cast<uint16_t>((control & ~0x0300u) | 0x0200u);
    __asm__ __volatile__("fldcw %0" : : "m"(precision53));
}

FpuPrecisionGuard::~FpuPrecisionGuard() {
    uint16_t control;
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    const uint16_t restored = static_cast<uint16_t>((control & ~0x0300u) | (x87_ & 0x0300u));
    __asm__ __volatile__("fldcw %0" : : "m"(restored));
}
#endif

HWND FindThreadWindow() noexcept {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), TakeFirstWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

PluginResult D3dContext::CreateHiddenWindow() noexcept {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = kHiddenWindowClass;
    // Fails harmlessly once the class exists; it is never unregistered.
    RegisterClassExW(&windowClass);

    window.reset(CreateWindowExW(0, kHiddenWindowClass, kHiddenWindowClass, WS_OVERLAPPEDWINDOW, 0,
                                 0, CW_USEDEFAULT, 0, nullptr, nullptr, ModuleInstance(), nullptr));
    if (!window) {
        const DWORD error = GetLastError();
        return error == 0 ? kInternalError : ToPluginResult(HRESULT_FROM_WIN32(error));
    }
    ShowWindow(window.get(), SW_HIDE);
    focusWindow_ = window.get();
    return kSuccess;
}

#if defined(_WIN64)
bool D3dContext::CreateDeviceThroughEx() noexcept {
    if (FAILED(Direct3DCreate9Ex(D3D_SDK_VERSION, direct3dEx.put()))) return false;
    D3DPRESENT_PARAMETERS pp = PresentParameters(focusWindow_);
    D3DDISPLAYMODEEX displayMode{};
    displayMode.Size = sizeof displayMode;
    static_assert(sizeof(D3DDISPLAYMODEEX) == 24);
    for (const D3DDEVTYPE type : kDeviceTypes) {
        HRESULT hr = E_FAIL;
        // A fault inside the driver ends this attempt like a failure.
        const DWORD fault = RunGuarded([&] {
            hr = direct3dEx->CreateDeviceEx(D3DADAPTER_DEFAULT, type, focusWindow_, kBehaviourFlags,
                                            &pp, &displayMode, deviceEx.put());
        });
        if (fault == 0 && SUCCEEDED(hr)) {
            // Without the plain interfaces the scratch surface is made through deviceEx alone.
            direct3d.Assign(direct3dEx);
            device.Assign(deviceEx);
            return true;
        }
        deviceEx.reset();
        ResetBackBuffer(pp);
    }
    direct3dEx.reset();
    return false;
}
#endif

PluginResult D3dContext::CreatePlainDevice() noexcept {
    direct3d.reset(Direct3DCreate9(D3D_SDK_VERSION));
    if (!direct3d) return kInternalError;
    D3DPRESENT_PARAMETERS pp = PresentParameters(focusWindow_);
    PluginResult result = kInternalError;
    for (const D3DDEVTYPE type : kDeviceTypes) {
        result = RunGuardedStep([&] {
            const HRESULT hr = direct3d->CreateDevice(D3DADAPTER_DEFAULT, type, focusWindow_,
                                                      kBehaviourFlags, &pp, device.put());
            return FAILED(hr) ? ToPluginResult(hr) : kSuccess;
        });
        if (result == kSuccess) return kSuccess;
        device.reset();
        ResetBackBuffer(pp);
    }
    direct3d.reset();
    return result;
}

PluginResult D3dContext::Create() noexcept {
    focusWindow_ = FindThreadWindow();
    if (focusWindow_ == nullptr) {
        const PluginResult result = CreateHiddenWindow();
        if (result != kSuccess) return result;
    }
#if defined(_WIN64)
    if (CreateDeviceThroughEx()) return kSuccess;
#endif
    return CreatePlainDevice();
}

PluginResult D3dContext::CreateScratchSurface(UINT width, UINT height, D3DFORMAT format,
                                              ComRef<IDirect3DSurface9>& surface) noexcept {
    PluginResult result = kInternalError;
#if defined(_WIN64)
    if (deviceEx) {
        const HRESULT hr = deviceEx->CreateOffscreenPlainSurfaceEx(width, height, format, D3DPOOL_SCRATCH,
                                                                   surface.put(), nullptr, 0);
        if (SUCCEEDED(hr)) return kSuccess;
        result = ToPluginResult(hr);
    }
#endif
    if (device) {
        const HRESULT hr =
            device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SCRATCH, surface.put(), nullptr);
        if (SUCCEEDED(hr)) return kSuccess;
        result = ToPluginResult(hr);
    }
    return result;
}

PluginResult D3dContext::LoadDdsSurface(const SurfaceSource& source, ComRef<IDirect3DSurface9>& surface) noexcept {
    const D3dxFunctions* d3dx = BoundD3dx();
    if (d3dx == nullptr) return kNotSupported;
    // Direct3D sizes surfaces in 32 bits: a larger one may be "created" with a wrapped size
    // that D3DX then writes past. No such surface can be had, so it counts as no memory.
    // D3DX may describe such sizes: it checks the file's length in 32 bits, which wraps too.
    const D3DXIMAGE_INFO& info = source.info;
    const uint64_t pixelBytes = source.target.sourceBits / 8;
    if (uint64_t{info.Width} * info.Height * pixelBytes > 0xFFFFFFFFull) return kOutOfMemory;
    // D3DX's own check of the length wraps for wide pixels, faces and slices just the same: a
    // picture that is not all there is refused before D3DX reads past it.
    if (HasPictureBeyondBytes(source.header, source.size)) return kNotSupported;
    const PluginResult created = CreateScratchSurface(info.Width, info.Height, source.target.format, surface);
    if (created != kSuccess) return created;

    const RECT rect{0, 0, static_cast<LONG>(info.Width), static_cast<LONG>(info.Height)};
    return RunGuardedStep([&] {
        const HRESULT hr = d3dx->LoadSurfaceFromFileInMemory(surface.get(), nullptr, &rect, source.bytes,
                                                             static_cast<UINT>(source.size), &rect, D3DX_DEFAULT, 0,
                                                             nullptr);
        return FAILED(hr) ? ToPluginResult(hr) : kSuccess;
    });
}

}  // namespace sorvane
