// The plug-in's exported functions (named undecorated by Sorvane.def): argument and mode
// checks, then the core. No exception crosses this boundary: the core returns codes, and
// running out of memory while converting a name or compiling the extension pattern becomes a
// code here (0 from IsSupported(W), 4 from the picture exports).

#include <windows.h>

#include <string>

#include "FormatRecognition.h"
#include "Module.h"
#include "NameConversion.h"
#include "PictureBuilder.h"
#include "PictureInformation.h"
#include "PluginApi.h"
#include "PluginInfo.h"
#include "PluginResult.h"
#include "SettingsDialog.h"

using namespace sorvane;

namespace {

// The UTF-16 cores of the picture exports. `path` is the file name of mode 0 (the ANSI exports
// pass theirs converted), `source` the memory image of mode 1.
PluginResult PictureInfoFor(const wchar_t* path, const void* source, LONG_PTR length,
                            unsigned flags, PictureInfo* info) noexcept {
    switch (InputModeOf(flags)) {
    case InputMode::File: return PictureInfoFromFile(path, info);
    case InputMode::Memory: return PictureInfoFromMemory(source, length, info);
    default: return kInternalError;
    }
}

PluginResult PictureFor(const wchar_t* path, const void* source, LONG_PTR length, unsigned flags,
                        HLOCAL* info, HLOCAL* bits, ProgressCallback progress,
                        LONG_PTR data) noexcept {
    const PictureRequest request{progress, data, info, bits};
    switch (InputModeOf(flags)) {
    case InputMode::File: return DecodeFromFile(path, request);
    case InputMode::Memory: return DecodeFromMemory(source, length, request);
    default: return kInternalError;
    }
}

// Runs `core` with the ANSI file name of mode 0 converted to UTF-16; a memory image is passed
// unchanged. Memory for the name that cannot be had gives 4.
template <typename Core>
PluginResult WithWideName(const char* source, unsigned flags, Core&& core) noexcept {
    if (InputModeOf(flags) != InputMode::File) return core(nullptr);
    try {
        const std::wstring path = AnsiToWide(source);
        return core(path.c_str());
    } catch (...) {
        return kOutOfMemory;
    }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) SetModuleInstance(instance);
    return TRUE;
}

int SPI_CALL GetPluginInfo(int index, char* buffer, int length) noexcept {
    return CopyPluginInfoA(index, buffer, length);
}

int SPI_CALL GetPluginInfoW(int index, wchar_t* buffer, int length) noexcept {
    return CopyPluginInfoW(index, buffer, length);
}

int SPI_CALL IsSupportedW(const wchar_t* name, ULONG_PTR source) noexcept {
    try {
        return IsSupportedCore(name, source);
    } catch (...) {
        return 0;
    }
}

int SPI_CALL IsSupported(const char* name, ULONG_PTR source) noexcept {
    try {
        // Hosts call it with a null name and the file's first bytes: as for IsSupportedW, the
        // header decides. A given name, even an empty one, still passes the extension test.
        if (name == nullptr) return IsSupportedCore(nullptr, source);
        const std::wstring wide = AnsiToWide(name);
        return IsSupportedCore(wide.c_str(), source);
    } catch (...) {
        return 0;
    }
}

int SPI_CALL GetPictureInfoW(const wchar_t* source, LONG_PTR length, unsigned flags,
                             PictureInfo* info) noexcept {
    if (source == nullptr || info == nullptr) return kInternalError;
    return PictureInfoFor(source, source, length, flags, info);
}

int SPI_CALL GetPictureInfo(const char* source, LONG_PTR length, unsigned flags,
                            PictureInfo* info) noexcept {
    if (source == nullptr || info == nullptr) return kInternalError;
    return WithWideName(source, flags, [&](const wchar_t* path) {
        return PictureInfoFor(path, source, length, flags, info);
    });
}

int SPI_CALL GetPictureW(const wchar_t* source, LONG_PTR length, unsigned flags, HLOCAL* info,
                         HLOCAL* bits, ProgressCallback progress, LONG_PTR data) noexcept {
    if (source == nullptr || info == nullptr || bits == nullptr) return kInternalError;
    return PictureFor(source, source, length, flags, info, bits, progress, data);
}

int SPI_CALL GetPicture(const char* source, LONG_PTR length, unsigned flags, HLOCAL* info,
                        HLOCAL* bits, ProgressCallback progress, LONG_PTR data) noexcept {
    if (source == nullptr || info == nullptr || bits == nullptr) return kInternalError;
    return WithWideName(source, flags, [&](const wchar_t* path) {
        return PictureFor(path, source, length, flags, info, bits, progress, data);
    });
}

// Exported as both GetPreview and GetPreviewW.
int SPI_CALL GetPreview(const char*, LONG_PTR, unsigned, HLOCAL*, HLOCAL*, ProgressCallback,
                        LONG_PTR) noexcept {
    return kNotImplemented;
}

int SPI_CALL ConfigurationDlg(HWND parent, int function) noexcept {
    switch (function) {
    case 0: return ShowAboutBox(parent);
    case 1: return ShowSettingsDialog(parent);
    default: return kNotImplemented;
    }
}

}  // extern "C"
