#pragma once
// Reading the files that the tool hands to a plug-in.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Holders.h"

namespace spihost {

// A host hands IsSupported the first 2048 bytes of the file, zero-filled when it is shorter.
constexpr size_t kProbeBytes = 2048;

// The file opened for reading; empty with the reason in `problem` when it cannot be opened.
sorvane::FileHandle OpenForReading(const std::wstring& path, std::wstring& problem);

// Reads up to `limit` bytes from the start of the file into `bytes`.
bool ReadFileStart(const std::wstring& path, uint64_t limit, std::vector<uint8_t>& bytes,
                   std::wstring& problem);

// The first kProbeBytes of the file, zero-filled past its end, as a host hands them to
// IsSupported; `fromFile` says how many came from the file.
bool ReadProbeBytes(const std::wstring& path, std::vector<uint8_t>& head, size_t& fromFile,
                    std::wstring& problem);

}  // namespace spihost
