#include "FileRun.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "DibFile.h"
#include "FaultReport.h"
#include "HostConsole.h"
#include "HostFiles.h"
#include "Holders.h"
#include "PluginResult.h"

namespace mutate {

namespace {

using sorvane::PictureInfo;
using spihost::kProbeBytes;
constexpr uint8_t kInfoFill = 0xA5;
const HLOCAL kHandleFill = reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(0xA5A5A5A5A5A5A5A5ull));

std::string Text(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The bytes a host hands over, placed so that they end where a no-access page starts: a read
// past them faults, and the fault is noted even when the plug-in's guard then handles it.
uintptr_t g_guardPages[2];
class HostBytes {
public:
    HostBytes(int slot, const uint8_t* data, size_t size, size_t capacity) : slot_(slot) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        const size_t page = system.dwPageSize, rounded = (capacity + page - 1) / page * page;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, rounded + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base_ == nullptr) return;
        DWORD old;
        VirtualProtect(base_ + rounded, page, PAGE_NOACCESS, &old);
        data_ = base_ + rounded - capacity;
        if (size != 0) std::memcpy(data_, data, size);
        std::memset(data_ + size, 0, capacity - size);
        g_guardPages[slot] = reinterpret_cast<uintptr_t>(base_ + rounded);
    }
    ~HostBytes() {
        g_guardPages[slot_] = 0;
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
    }
    HostBytes(const HostBytes&) = delete;
    HostBytes& operator=(const HostBytes&) = delete;
    const uint8_t* data() const { return data_; }

private:
    int slot_;
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
};

// Faults seen during the current call, on any thread of the process.
std::atomic<long> g_faultCount{0}, g_pastBufferCount{0};
std::atomic<uintptr_t> g_faultAddress{0};
std::atomic<unsigned long> g_faultCode{0};

bool IsProcessorFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: case EXCEPTION_ILLEGAL_INSTRUCTION: case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW: case EXCEPTION_STACK_OVERFLOW: case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_PRIV_INSTRUCTION: case EXCEPTION_IN_PAGE_ERROR: case STATUS_HEAP_CORRUPTION:
        return true;
    default:
        return false;
    }
}

LONG CALLBACK NoteFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (!IsProcessorFault(record->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    if (g_faultCount++ == 0) {
        g_faultCode = record->ExceptionCode;
        g_faultAddress = reinterpret_cast<uintptr_t>(record->ExceptionAddress);
    }
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        const uintptr_t at = record->ExceptionInformation[1];
        for (const uintptr_t page : g_guardPages) {
            if (page != 0 && at >= page && at - page < 4096) ++g_pastBufferCount;
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

std::string PlaceOf(uintptr_t address) { return spihost::Utf8(spihost::PlaceOf(reinterpret_cast<const void*>(address))); }

// A header that declares a width or height of 0 or of 2^31 or more (a DX10 1-D texture's
// height is 1 whatever the header says), which GetPictureInfoW and GetPictureW must refuse
// with 2.
bool DeclaresNoPictureSize(const std::vector<uint8_t>& b, uint32_t& width, uint32_t& height) {
    const auto get = [&b](size_t at) { uint32_t v; std::memcpy(&v, b.data() + at, 4); return v; };
    if (b.size() < 128 || get(0) != 0x20534444) return false;
    width = get(16);
    height = get(12);
    const bool dx10 = (get(80) & 0x4) != 0 && get(84) == 0x30315844;
    if (dx10 && b.size() >= 148 && get(132) == 2) height = 1;
    return width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF;
}

std::string InfoProblem(const PictureInfo& info) {
    if (info.width <= 0 || info.height <= 0) return Text("width %d, height %d", info.width, info.height);
    if (info.bitsPerPixel != 16 && info.bitsPerPixel != 24) return Text("bitsPerPixel %d", info.bitsPerPixel);
    if (info.textInfo != nullptr) return "textInfo is not null";
    return "";
}

// What the interface promises beyond a sane DIB: a 40-byte header, plain bottom-up rows of 24
// bits, or 16 for a 5-5-5 picture.
std::string DibProblem(HLOCAL infoBlock, HLOCAL bitsBlock, spihost::DibLayout& seen) {
    spihost::HandedDib dib(infoBlock, bitsBlock);
    std::wstring problem;
    if (!dib.Inspect(problem)) return spihost::Utf8(problem);
    seen = dib.layout();
    if (seen.headerBytes != sizeof(BITMAPINFOHEADER) || seen.compression != BI_RGB) {
        return Text("biSize %lu, biCompression %lu", static_cast<unsigned long>(seen.headerBytes),
                    static_cast<unsigned long>(seen.compression));
    }
    if (seen.height <= 0) return Text("biHeight %ld, top-down rows", static_cast<long>(seen.height));
    if (seen.bitCount != 24 && seen.bitCount != 16) return Text("biBitCount %u", seen.bitCount);
    return "";
}

BOOL CALLBACK CountAndClose(HWND window, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    DestroyWindow(window);
    return TRUE;
}

// Windows the plug-in left on this thread: closed once counted, so one fault is one finding.
int CloseThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountAndClose, reinterpret_cast<LPARAM>(&count));
    return count;
}

int SPI_CALL KeepGoing(int, int, LONG_PTR) { return 0; }

bool IsIn(HMODULE module, uintptr_t address) {
    HMODULE found = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<const wchar_t*>(address), &found) &&
           found == module;
}

class Judge {
public:
    Judge(HMODULE module, FileResult& r, CallMarker mark) : module_(module), r_(r), mark_(mark) {}

    template <typename Body>
    int Run(enum Call call, Body&& body) {
        g_faultCount = 0;
        g_pastBufferCount = 0;
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceCounter(&start);
        mark_(call);
        const int result = body();
        mark_(-1);
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        r_.microseconds[call] = static_cast<uint64_t>((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart);
        r_.results[call] = result;
        if (g_pastBufferCount != 0) {
            Add(kReadPastBuffer, call, Text("read past the host's bytes at %s", PlaceOf(g_faultAddress).c_str()));
        } else if (g_faultCount != 0 && IsIn(module_, g_faultAddress)) {
            Add(kFaultCaught, call, Text("exception 0x%08lX at %s, result %d", g_faultCode.load(),
                                         PlaceOf(g_faultAddress).c_str(), result));
        } else if (g_faultCount != 0) {
            r_.disagreements[kFaultOutsideCaught] = true;
            r_.outsideFault = Text("%s: exception 0x%08lX at %s", kCallNames[call], g_faultCode.load(),
                                   PlaceOf(g_faultAddress).c_str());
        }
        return result;
    }
    void Add(Fault fault, enum Call call, const std::string& what) {
        r_.faults.push_back({fault, std::string(kCallNames[call]) + ": " + what});
    }

private:
    HMODULE module_;
    FileResult& r_;
    CallMarker mark_;
};

}  // namespace

void WatchFaults() { AddVectoredExceptionHandler(1, NoteFault); }

FileResult RunFile(const spihost::HostPlugin& plugin, const std::vector<uint8_t>& bytes,
                   const std::wstring& path, Decode when, CallMarker mark) {
    FileResult r;
    for (int& result : r.results) result = kNotCalled;
    Judge judge(plugin.module.get(), r, mark);
    const HostBytes image(0, bytes.data(), bytes.size(), bytes.size());
    const auto* memory = reinterpret_cast<const wchar_t*>(image.data());
    const auto length = static_cast<LONG_PTR>(bytes.size());

    PictureInfo infos[2];
    for (int mode = 0; mode < 2; ++mode) {
        const enum Call call = mode == 0 ? kInfoMemory : kInfoFile;
        PictureInfo& info = infos[mode];
        std::memset(&info, kInfoFill, sizeof info);
        const int result = judge.Run(call, [&] {
            return mode == 0 ? plugin.GetPictureInfoW(memory, length, 1, &info)
                             : plugin.GetPictureInfoW(path.c_str(), 0, 0, &info);
        });
        PictureInfo fill;
        std::memset(&fill, kInfoFill, sizeof fill);
        if (!spihost::IsInterfaceResult(result)) judge.Add(kBadResult, call, Text("result %d", result));
        if (result != 0 && std::memcmp(&info, &fill, sizeof info) != 0) {
            judge.Add(kWroteOnFailure, call, Text("result %d, record changed", result));
        }
        if (result == 0 && !InfoProblem(info).empty()) judge.Add(kBadInfoRecord, call, InfoProblem(info));
    }

    const HostBytes head(1, bytes.data(), std::min(bytes.size(), kProbeBytes), kProbeBytes);
    judge.Run(kProbeBuffer, [&] { return plugin.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(head.data())); });
    const sorvane::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) {
        judge.Run(kProbeHandle, [&] { return plugin.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(file.get())); });
    }
    for (const enum Call call : {kProbeBuffer, kProbeHandle}) {
        const int result = r.results[call];
        if (result != kNotCalled && result != 0 && result != 1) judge.Add(kBadResult, call, Text("result %d", result));
    }

    const bool decode = when == Decode::Always || (when == Decode::IfDescribed && r.results[kInfoMemory] == 0);
    spihost::DibLayout dibs[2];
    for (int mode = 0; decode && mode < 2; ++mode) {
        const enum Call call = mode == 0 ? kDecodeMemory : kDecodeFile;
        HLOCAL infoBlock = kHandleFill, bitsBlock = kHandleFill;
        const int result = judge.Run(call, [&] {
            return mode == 0 ? plugin.GetPictureW(memory, length, 1, &infoBlock, &bitsBlock, KeepGoing, 0)
                             : plugin.GetPictureW(path.c_str(), 0, 0, &infoBlock, &bitsBlock, KeepGoing, 0);
        });
        if (!spihost::IsInterfaceResult(result)) judge.Add(kBadResult, call, Text("result %d", result));
        if (result != 0 && (infoBlock != kHandleFill || bitsBlock != kHandleFill)) {
            judge.Add(kWroteOnFailure, call, Text("result %d, handles %p %p", result, infoBlock, bitsBlock));
        }
        if (result == 0) {
            const sorvane::LocalBlock infoHeld(infoBlock), bitsHeld(bitsBlock);
            const std::string problem = DibProblem(infoBlock, bitsBlock, dibs[mode]);
            if (!problem.empty()) judge.Add(kBadDib, call, problem);
            const PictureInfo& info = infos[mode];
            const spihost::DibLayout& dib = dibs[mode];
            // A DIB too broken to read has no size to compare.
            if (dib.width != 0 && r.results[mode == 0 ? kInfoMemory : kInfoFile] == 0 &&
                (dib.width != info.width || dib.height != info.height || dib.bitCount != info.bitsPerPixel)) {
                judge.Add(kDibDiffersFromInfo, call,
                          Text("DIB %dx%d %u bits, information %dx%d %d bits", static_cast<int>(dib.width),
                               static_cast<int>(dib.height), dib.bitCount, info.width, info.height,
                               info.bitsPerPixel));
            }
        }
        if (const int windows = CloseThreadWindows()) judge.Add(kWindowLeft, call, Text("%d windows", windows));
        if (!HeapValidate(GetProcessHeap(), 0, nullptr)) judge.Add(kHeapDamaged, call, "the process heap");
    }

    uint32_t width = 0, height = 0;
    if (DeclaresNoPictureSize(bytes, width, height)) {
        for (const enum Call call : {kInfoMemory, kInfoFile, kDecodeMemory, kDecodeFile}) {
            const int result = r.results[call];
            if (result != kNotCalled && result != sorvane::kNotSupported) {
                judge.Add(kSizeNotRefused, call, Text("%ux%u gave %d", width, height, result));
            }
        }
    }

    const int* res = r.results;
    bool* d = r.disagreements;
    const bool claimed = res[kProbeBuffer] == 1 || res[kProbeHandle] == 1;
    d[kProbesDiffer] = res[kProbeHandle] != kNotCalled && res[kProbeBuffer] != res[kProbeHandle];
    d[kProbeClaimsInfoRefuses] = claimed && res[kInfoMemory] != 0;
    d[kInfoAcceptsProbeRefuses] = !claimed && res[kInfoMemory] == 0;
    d[kInfoModesDiffer] = res[kInfoMemory] != res[kInfoFile] ||
                          (res[kInfoMemory] == 0 && (infos[0].width != infos[1].width || infos[0].height != infos[1].height ||
                                                     infos[0].bitsPerPixel != infos[1].bitsPerPixel));
    if (decode) {
        for (int mode = 0; mode < 2; ++mode) {
            const int info = res[mode == 0 ? kInfoMemory : kInfoFile], picture = res[mode == 0 ? kDecodeMemory : kDecodeFile];
            d[kInfoAcceptsDecodeRefuses] |= info == 0 && picture != 0;
            d[kInfoRefusesDecodeAccepts] |= info != 0 && picture == 0;
            d[kFailureCodesDiffer] |= info != 0 && picture != 0 && info != picture;
        }
        d[kDecodeModesDiffer] = res[kDecodeMemory] != res[kDecodeFile];
    }
    return r;
}

}  // namespace mutate
