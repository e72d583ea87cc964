#pragma once
// One file through the plug-in as hosts hand it over: GetPictureInfoW and IsSupportedW in both
// forms, GetPictureW from memory and from the file when asked; each answer judged.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HostPlugin.h"
#include "Tally.h"

namespace mutate {

constexpr int kNotCalled = 0x7FFF;

struct Finding {
    Fault fault;
    std::string what;
};

struct FileResult {
    int results[kCallCount];
    uint64_t microseconds[kCallCount] = {};
    std::vector<Finding> faults;
    bool disagreements[kDisagreementCount] = {};
    std::string outsideFault;  // where a fault the plug-in's guard caught happened
};

// Called with the call about to start, and with -1 when it has returned: the watchdog times it.
using CallMarker = void (*)(int call);

// Notes processor faults raised inside calls, also those the plug-in's guard then handles.
// Once per process, before the first call.
void WatchFaults();

enum class Decode { Never, IfDescribed, Always };

// `path` holds `bytes` already; it is also the name given to IsSupportedW. IfDescribed decodes
// when GetPictureInfoW (memory) succeeded.
FileResult RunFile(const spihost::HostPlugin& plugin, const std::vector<uint8_t>& bytes,
                   const std::wstring& path, Decode decode, CallMarker mark);

}  // namespace mutate
