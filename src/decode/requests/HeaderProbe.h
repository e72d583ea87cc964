#pragma once
// The header probe behind IsSupported: whether a file's first bytes (or, when they do not
// tell, the file on disk) are a DDS picture the plug-in reads.

#include <cstdint>

#include "PluginResult.h"

namespace sorvane {

// Byte count of the header probe, as wide as the build's own counts.
#if defined(_WIN64)
using ProbeCount = int64_t;
#else
using ProbeCount = int32_t;
#endif

// 0 when the bytes' header is one our reader reads, or D3DX describes them (then the file
// `name`, when they refuse) as DDS with a pixel format it names. A name that is no file on
// disk, or a directory, also gives 0 (the caller has matched its extension). Every other
// outcome is a nonzero code.
PluginResult ProbeHeader(const void* bytes, ProbeCount count, const wchar_t* name) noexcept;

}  // namespace sorvane
