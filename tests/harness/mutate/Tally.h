#pragma once
// What a run counts: results per call, faults found by the checks, disagreements between the
// calls. It lives in memory the supervisor shares with its runner, so a runner that crashes
// or hangs loses nothing.

#include <cstdint>

#include "PluginResult.h"

namespace mutate {

enum Call { kInfoMemory, kInfoFile, kProbeBuffer, kProbeHandle, kDecodeMemory, kDecodeFile, kCallCount };
inline const char* const kCallNames[kCallCount] = {
    "GetPictureInfoW, memory", "GetPictureInfoW, file", "IsSupportedW, 2048 bytes",
    "IsSupportedW, file handle", "GetPictureW, memory", "GetPictureW, file"};

// Result columns: the interface's codes, then anything else.
inline const int kResultCodes[] = {sorvane::kSuccess,      sorvane::kCancelled,     sorvane::kNotSupported,
                                   sorvane::kOutOfMemory,   sorvane::kFileError,     sorvane::kInternalError,
                                   sorvane::kNotImplemented};
constexpr int kResultColumns = 8;
inline int ResultColumn(int result) {
    for (int i = 0; i < kResultColumns - 1; ++i) {
        if (kResultCodes[i] == result) return i;
    }
    return kResultColumns - 1;
}

// Faults: each is a failure of the run.
enum Fault {
    kBadResult,           // a code the call may not return
    kWroteOnFailure,      // a failed call changed the host's outputs
    kBadInfoRecord,       // a PictureInfo no host can use
    kBadDib,              // a DIB whose header or blocks are wrong
    kDibDiffersFromInfo,  // width, height or bit count other than GetPictureInfoW gave
    kSizeNotRefused,      // a width or height of 0 or >= 2^31 that was not refused with 2
    kWindowLeft,          // a window of the plug-in left on the host's thread
    kHeapDamaged,         // HeapValidate fails after a call
    kReadPastBuffer,      // the plug-in (or what it calls) read past the host's bytes
    kFaultCaught,         // a processor fault in the plug-in's code, caught by its guard
    kMemoryKept,          // the file's calls keep memory, and keep more when run again
    kFaultCount
};
inline const char* const kFaultNames[kFaultCount] = {
    "bad-result", "wrote-on-failure", "bad-info-record", "bad-dib", "dib-differs-from-info",
    "size-not-refused", "window-left", "heap-damaged", "read-past-buffer", "fault-caught",
    "memory-kept"};

// Disagreements, and faults the plug-in's guard caught in code not its own: reported, not
// failures.
enum Disagreement {
    kProbesDiffer,              // the 2048 bytes and the file handle gave different answers
    kProbeClaimsInfoRefuses,    // a probe claims what GetPictureInfoW (memory) refuses
    kInfoAcceptsProbeRefuses,   // GetPictureInfoW (memory) describes what both probes refuse
    kInfoModesDiffer,           // memory and file give different results or records
    kInfoAcceptsDecodeRefuses,  // described, then not decoded (same input mode)
    kInfoRefusesDecodeAccepts,  // refused, then decoded (same input mode)
    kDecodeModesDiffer,         // memory and file decoding give different results
    kFailureCodesDiffer,        // information and decoding both fail, with different codes
    kFaultOutsideCaught,        // a fault in what the plug-in calls (D3DX), caught by its guard
    kDisagreementCount
};
inline const char* const kDisagreementNames[kDisagreementCount] = {
    "probes-differ", "probe-claims-info-refuses", "info-accepts-probe-refuses", "info-modes-differ",
    "info-accepts-decode-refuses", "info-refuses-decode-accepts", "decode-modes-differ",
    "failure-codes-differ", "fault-outside-caught"};

struct Tally {
    uint64_t files, systematic, decoded, inputs;
    uint64_t results[kCallCount][kResultColumns];
    uint64_t microseconds[kCallCount];
    uint64_t slowest[kCallCount];          // microseconds of the slowest call
    uint64_t slowestPosition[kCallCount];  // and the file it was given
    uint64_t faults[kFaultCount];
    uint64_t disagreements[kDisagreementCount];
    uint64_t crashes, hangs;
};

}  // namespace mutate
