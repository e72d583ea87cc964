#pragma once
// Whether a file is one this plug-in reads: an extension test, then a header probe by D3DX.

#include <windows.h>

#include <cstdint>

#include "PluginResult.h"

namespace sorvane {

// IsSupportedW: 1 when the plug-in reads the file, else 0. `source` is the address of the
// file's first 2048 bytes (above 0xFFFF), a file handle of the host, or 0.
int IsSupportedCore(const wchar_t* name, ULONG_PTR source);

}  // namespace sorvane
