#pragma once
// Whether a file is one this plug-in reads: an extension test on the name, then a header probe
// that lets D3DX identify the file's first bytes (or, when it refuses them, the file on disk).

#include <windows.h>

#include <cstdint>

#include "PluginResult.h"

namespace sorvane {

// The host hands over, or the file handle gives, at most this many of the file's first bytes.
constexpr DWORD kProbeSize = 2048;

// True when `extension` (what PathFindExtensionW returns: the dot and what follows it, or an
// empty string) is ".dds" in any letter case. The pattern is compiled on first use; when that
// throws (std::bad_alloc), the exception travels on and the next call compiles again.
bool MatchesDdsExtension(const wchar_t* extension);

// IsSupportedW: 1 when the plug-in reads the file, else 0. `source` is the address of the file's
// first 2048 bytes (any bit above the low 16 set), a file handle of the host, or 0. Throws
// std::bad_alloc when the extension pattern cannot be compiled; the exports catch it.
int IsSupportedCore(const wchar_t* name, ULONG_PTR source);

}  // namespace sorvane
