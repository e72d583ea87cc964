#include "D3dxLibrary.h"

#include <windows.h>

#include <atomic>

namespace sorvane {

namespace {

template <typename F>
bool Bind(HMODULE library, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

// The same search as the load-time import it replaces, so that a host that ships the DLL
// beside its program still finds it.
const D3dxFunctions* Load() noexcept {
    static D3dxFunctions functions;
    const HMODULE library = LoadLibraryW(L"d3dx9_31.dll");
    if (library == nullptr) return nullptr;
    // Never freed: the functions stay valid for every later request.
    if (!Bind(library, "D3DXGetImageInfoFromFileInMemory", functions.GetImageInfoFromFileInMemory) ||
        !Bind(library, "D3DXGetImageInfoFromFileW", functions.GetImageInfoFromFileW) ||
        !Bind(library, "D3DXLoadSurfaceFromFileInMemory", functions.LoadSurfaceFromFileInMemory)) {
        return nullptr;
    }
    return &functions;
}

std::atomic<bool> g_usable{true};

}  // namespace

const D3dxFunctions* BoundD3dx() noexcept {
    if (!g_usable.load()) return nullptr;
    // A local static is initialised once, under the runtime's guard.
    static const D3dxFunctions* const bound = Load();
    return bound;
}

void SetD3dxUsable(bool usable) noexcept { g_usable.store(usable); }

}  // namespace sorvane
