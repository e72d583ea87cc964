#pragma once
// Reads a whole file into one local-memory block, so a file request decodes like a memory image.

#include <cstddef>

#include "Holders.h"
#include "PluginResult.h"

namespace sorvane {

// On 0 `block` holds exactly the file's bytes (LMEM_FIXED; a zero-length block for an empty
// file) and `size` their count. On failure (6: open, size or read failed, or a short read;
// 4: no memory) `block` may still hold the allocation, which the caller's holder frees.
// The file is opened with read sharing only: one held open for writing gives 6.
PluginResult ReadWholeFile(const wchar_t* path, LocalBlock& block, size_t& size) noexcept;
// The same for a file already open, from its first byte whatever was read of it before.
PluginResult ReadOpenFile(HANDLE file, LocalBlock& block, size_t& size) noexcept;

}  // namespace sorvane
