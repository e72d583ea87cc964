#include "HeaderProbe.h"

#include <windows.h>

#include "D3dxImage.h"
#include "D3dxLibrary.h"
#include "DdsDescription.h"

namespace sorvane {

namespace {

// D3DX's verdict on the bytes, or on the file by name, where the description routes the file
// to D3DX and D3DX is bound; an outcome D3DX refuses otherwise.
HRESULT DescribeThroughD3dx(const DdsDescription& description, const void* bytes, ProbeCount count,
                            const wchar_t* path, D3DXIMAGE_INFO& info) {
    if (description.route != Route::D3dx || BoundD3dx() == nullptr) return kD3dxInvalidData;
    return path != nullptr ? DescribeImageFile(path, info) : DescribeImageInMemory(bytes, static_cast<UINT>(count), info);
}

}  // namespace

PluginResult ProbeHeader(const void* bytes, ProbeCount count, const wchar_t* name) noexcept {
    if (bytes == nullptr || count < 0) return kInternalError;
#if defined(_WIN64)
    // D3DX takes a 32-bit count; a larger one would be cut, not refused.
    if (count > ProbeCount{0xFFFFFFFF}) return kInternalError;
#endif
    // Files our reader reads are claimed from their header alone.
    DdsDescription description;
    if (DescribeDds(bytes, static_cast<size_t>(count), 0, description) == kSuccess) return kSuccess;
    D3DXIMAGE_INFO info;
    HRESULT hr = DescribeThroughD3dx(description, bytes, count, nullptr, info);
    if (FAILED(hr) && name != nullptr && name[0] != L'\0') {
        // A name that is no file (a member of an archive, say) or that names a directory cannot
        // be examined further; its extension has matched, and that decides.
        const DWORD attributes = GetFileAttributesW(name);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kSuccess;
        }
        // The file's own head first (the host may have handed over fewer bytes), then D3DX by name.
        if (DescribeDdsFile(name, description) == kSuccess) return kSuccess;
        hr = DescribeThroughD3dx(description, nullptr, 0, name, info);
    }
    if (FAILED(hr)) return ToPluginResult(hr);
    return IsReadableDds(info) ? kSuccess : kNotSupported;
}

}  // namespace sorvane
