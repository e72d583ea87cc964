#pragma once
// The import-filter plug-in interface as the host sees it: the picture-information record,
// the progress callback, the calling convention of the exports and their binding by name.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(_WIN64)
#define SPI_CALL
#else
#define SPI_CALL __stdcall
#endif

namespace sorvane {

// The host's progress callback: nonzero asks the plug-in to stop.
using ProgressCallback = int(SPI_CALL*)(int numerator, int denominator, LONG_PTR data);

#if !defined(_WIN64)
#pragma pack(push, 1)
#endif
struct PictureInfo {
    int32_t originX;
    int32_t originY;
    int32_t width;
    int32_t height;
    uint16_t densityX;
    uint16_t densityY;
    int16_t bitsPerPixel;
    HLOCAL textInfo;
};
#if !defined(_WIN64)
#pragma pack(pop)
#endif

#if defined(_WIN64)
static_assert(sizeof(PictureInfo) == 32 && offsetof(PictureInfo, textInfo) == 24);
#else
static_assert(sizeof(PictureInfo) == 26 && offsetof(PictureInfo, textInfo) == 22);
#endif
static_assert(offsetof(PictureInfo, bitsPerPixel) == 20);

// Export signatures, for hosts and tests that bind the exports by name.
using GetPluginInfoFn = int(SPI_CALL*)(int index, char* buffer, int length);
using GetPluginInfoWFn = int(SPI_CALL*)(int index, wchar_t* buffer, int length);
using IsSupportedFn = int(SPI_CALL*)(const char* name, ULONG_PTR source);
using IsSupportedWFn = int(SPI_CALL*)(const wchar_t* name, ULONG_PTR source);
using GetPictureInfoFn = int(SPI_CALL*)(const char* source, LONG_PTR length, unsigned flags,
                                        PictureInfo* info);
using GetPictureInfoWFn = int(SPI_CALL*)(const wchar_t* source, LONG_PTR length, unsigned flags,
                                         PictureInfo* info);
using GetPictureFn = int(SPI_CALL*)(const char* source, LONG_PTR length, unsigned flags,
                                    HLOCAL* info, HLOCAL* bits, ProgressCallback progress,
                                    LONG_PTR data);
using GetPictureWFn = int(SPI_CALL*)(const wchar_t* source, LONG_PTR length, unsigned flags,
                                     HLOCAL* info, HLOCAL* bits, ProgressCallback progress,
                                     LONG_PTR data);
using ConfigurationDlgFn = int(SPI_CALL*)(HWND parent, int function);

// The eleven exports of a loaded plug-in, bound by name as a host binds them.
struct PluginExports {
    GetPluginInfoFn GetPluginInfo = nullptr;
    GetPluginInfoWFn GetPluginInfoW = nullptr;
    IsSupportedFn IsSupported = nullptr;
    IsSupportedWFn IsSupportedW = nullptr;
    GetPictureInfoFn GetPictureInfo = nullptr;
    GetPictureInfoWFn GetPictureInfoW = nullptr;
    GetPictureFn GetPicture = nullptr;
    GetPictureWFn GetPictureW = nullptr;
    GetPictureFn GetPreview = nullptr;  // GetPreview and GetPreviewW are one function
    GetPictureWFn GetPreviewW = nullptr;
    ConfigurationDlgFn ConfigurationDlg = nullptr;
};

// Calls visit(name, slot) for every export, in the interface's order.
template <typename Exports, typename Visit>
void ForEachExport(Exports& e, Visit&& visit) {
    visit("GetPluginInfo", e.GetPluginInfo);
    visit("GetPluginInfoW", e.GetPluginInfoW);
    visit("IsSupported", e.IsSupported);
    visit("IsSupportedW", e.IsSupportedW);
    visit("GetPictureInfo", e.GetPictureInfo);
    visit("GetPictureInfoW", e.GetPictureInfoW);
    visit("GetPicture", e.GetPicture);
    visit("GetPictureW", e.GetPictureW);
    visit("GetPreview", e.GetPreview);
    visit("GetPreviewW", e.GetPreviewW);
    visit("ConfigurationDlg", e.ConfigurationDlg);
}

// Binds every export that `module` has; the missing ones stay null.
inline PluginExports BindPluginExports(HMODULE module) {
    PluginExports exports;
    ForEachExport(exports, [module](const char* name, auto& slot) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void*>(GetProcAddress(module, name)));
    });
    return exports;
}

}  // namespace sorvane
