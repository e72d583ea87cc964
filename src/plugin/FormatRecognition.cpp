#include "FormatRecognition.h"

#include <shlwapi.h>

#include <cwchar>
#include <regex>

#include "D3dxImage.h"
#include "DdsRoute.h"
#include "FaultGuard.h"
#include "PluginInfo.h"

namespace sorvane {

namespace {

// Compiled once per process and only read afterwards. A local static is initialised under the
// runtime's guard, so two first calls at the same moment compile it once; an initialisation that
// throws leaves it uncreated and the next call tries again. Its destructor is registered with the
// module's own exit list, which the runtime of a DLL runs when the DLL is unloaded, so nothing is
// left behind that points into an unloaded plug-in.
const std::wregex& ExtensionPattern() {
    static const std::wregex pattern(
        Texts().extensionPattern, std::regex_constants::ECMAScript | std::regex_constants::icase);
    return pattern;
}

bool IsAccepted(PluginResult result) noexcept { return result == kSuccess; }

}  // namespace

bool MatchesDdsExtension(const wchar_t* extension) {
    const std::wregex& pattern = ExtensionPattern();
    const wchar_t* end = extension + std::wcslen(extension);
    return std::regex_match(extension, end, pattern, std::regex_constants::match_any);
}

PluginResult ProbeHeader(const void* bytes, ProbeCount count, const wchar_t* name) noexcept {
    if (bytes == nullptr || count < 0) return kInternalError;
#if defined(_WIN64)
    // D3DX takes a 32-bit count; a larger one would be cut, not refused.
    if (count > ProbeCount{0xFFFFFFFF}) return kInternalError;
#endif
    // Files our reader reads are claimed from their header alone.
    bool ownReads = false;
    RunGuarded([&] { ownReads = OwnReaderReadsHeader(bytes, static_cast<size_t>(count)); });
    if (ownReads) return kSuccess;
    D3DXIMAGE_INFO info;
    HRESULT hr = DescribeImageInMemory(bytes, static_cast<UINT>(count), info);
    if (FAILED(hr) && name != nullptr && name[0] != L'\0') {
        // A name that is no file (a member of an archive, say) or that names a directory cannot
        // be examined further; its extension has matched, and that decides.
        const DWORD attributes = GetFileAttributesW(name);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kSuccess;
        }
        hr = DescribeImageFile(name, info);
    }
    if (FAILED(hr)) return ToPluginResult(hr);
    return IsReadableDds(info) ? kSuccess : kNotSupported;
}

int IsSupportedCore(const wchar_t* name, ULONG_PTR source) {
    if (name != nullptr) {
        const wchar_t* extension = PathFindExtensionW(name);
        if (extension != nullptr && !MatchesDdsExtension(extension)) return 0;
    }
    if ((source & ~ULONG_PTR{0xFFFF}) != 0) {
        return IsAccepted(ProbeHeader(reinterpret_cast<const void*>(source), kProbeSize, name));
    }
    if (source == 0) return 0;

    // A small value is an open file handle of the host: the header is read from the file's
    // start, and the handle is left positioned after the bytes read.
    const HANDLE file = reinterpret_cast<HANDLE>(source);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    BYTE header[kProbeSize];
    DWORD read = 0;
    if (!ReadFile(file, header, kProbeSize, &read, nullptr)) return 0;
    return IsAccepted(ProbeHeader(header, static_cast<ProbeCount>(read), name));
}

}  // namespace sorvane
