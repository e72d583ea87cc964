#include "FormatRecognition.h"

#include <shlwapi.h>

#include <cwchar>
#include <regex>

#include "HeaderProbe.h"
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
