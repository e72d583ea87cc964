#pragma once
// Reading the files that the tool hands to a plug-in.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "HostHolders.h"

namespace spihost {

// A host hands IsSupported the first 2048 bytes of the file, zero-filled when it is shorter.
constexpr size_t kProbeBytes = 2048;

// The file opened for reading; empty with the reason in `problem` when it cannot be opened.
FileHolder OpenForReading(const std::wstring& path, std::wstring& problem);

// Reads up to `limit` bytes from the start of the file into `bytes`.
bool ReadFileStart(const std::wstring& path, uint64_t limit, std::vector<char>& bytes,
                   std::wstring& problem);

}  // namespace spihost
