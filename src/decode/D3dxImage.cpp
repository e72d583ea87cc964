#include "D3dxImage.h"

#include "FaultGuard.h"

namespace sorvane {

HRESULT DescribeImageInMemory(const void* bytes, UINT size, D3DXIMAGE_INFO& info) noexcept {
    info = D3DXIMAGE_INFO{};
    HRESULT hr = kD3dxInvalidData;
    if (RunGuarded([&] { hr = D3DXGetImageInfoFromFileInMemory(bytes, size, &info); }) != 0) {
        return kD3dxInvalidData;
    }
    return hr;
}

HRESULT DescribeImageFile(const wchar_t* path, D3DXIMAGE_INFO& info) noexcept {
    HRESULT hr = kD3dxInvalidData;
    if (RunGuarded([&] { hr = D3DXGetImageInfoFromFileW(path, &info); }) != 0) {
        return kD3dxInvalidData;
    }
    return hr;
}

}  // namespace sorvane
