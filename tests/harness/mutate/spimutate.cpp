// spimutate: feeds an import-filter plug-in damaged DDS files and judges every answer. Each
// file is made from a seed file by a recipe of the run's seed and the file's number, so one
// number makes the same file again. A supervisor runs the files in a runner process and starts
// a new runner after the file that crashed or hung the last one.

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "FaultReport.h"
#include "FileRun.h"
#include "Holders.h"
#include "HostConsole.h"
#include "HostFiles.h"
#include "HostPlugin.h"
#include "Mutations.h"
#include "Tally.h"
#include "TestSupport.h"

namespace mutate {

namespace {

using spihost::Utf8;
using sorvane::test::CommittedPrivateBytes;
using sorvane::test::WriteFileBytes;

#if defined(_WIN64)
constexpr const char* kToolName = "spimutate64";
#else
constexpr const char* kToolName = "spimutate32";
#endif

constexpr DWORD kHangExitCode = 0x4A4E47;   // the supervisor ends a hung runner with it
constexpr DWORD kCannotRun = 2;             // the runner found no plug-in, or cannot write
constexpr DWORD kCrashExitCode = 3;         // the runner's last-chance handler
constexpr uint64_t kUnlimited = UINT64_MAX;
constexpr uint64_t kKeptPerKind = 10;       // files kept of each fault and disagreement
constexpr int64_t kMemoryKeptLimit = 1 << 20;  // committed bytes a file's calls may keep
constexpr int kMemoryKeptReruns = 3;          // runs more that must keep it too

struct Options {
    std::wstring plugin, samples, inputs, out = L"spimutate-out";
    uint64_t seed = 1, first = 0, count = 500;
    double minutes = 0;
    uint32_t decodeEvery = 10, timeoutSeconds = 20;
    HANDLE shared = nullptr, parent = nullptr;  // given to a runner
};

// The supervisor's and its runner's common memory.
struct Shared {
    Tally tally;
    volatile LONG64 next;       // position of the next file: inputs first, then file numbers
    volatile LONG64 current;    // the position being run; -1 before the first
    volatile LONG call;         // the call running, -1 between calls
    volatile LONG64 callStart;  // GetTickCount64 when it started
    volatile LONG stop;         // the supervisor's time is up: end after this file
    volatile LONG finished;     // no file is left
    char fault[256];            // the runner's last fault, described
    char recipe[512];
    uint64_t kept[kFaultCount + kDisagreementCount];
    int64_t memoryAtStart, memoryNow, handlesAtStart, handlesNow;
    uint64_t measuredFiles;
    uint64_t inputCount, systematicCount;  // set by the runner
};

Shared* g_shared = nullptr;

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    return n == 0 || n >= std::size(full) ? path : std::wstring(full, n);
}

// The files `pattern` matches in `dir`, in name order.
std::vector<std::wstring> FilesIn(const std::wstring& dir, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const sorvane::FileSearch search(FindFirstFileW((dir + L"\\" + pattern).c_str(), &found));
    if (!search) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
    } while (FindNextFileW(search.get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Seed> LoadFiles(const std::wstring& dir) {
    std::vector<Seed> files;
    if (dir.empty()) return files;
    for (const std::wstring& name : FilesIn(dir, L"*.dds")) {
        Seed seed{Utf8(name), {}};
        std::wstring problem;
        if (spihost::ReadFileStart(dir + L"\\" + name, UINT64_MAX, seed.bytes, problem)) files.push_back(std::move(seed));
    }
    return files;
}

int64_t HandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : -1;
}

std::string Describe(const Options& o, uint64_t position, uint64_t inputCount) {
    return position < inputCount ? "input " + std::to_string(position)
                                 : "file " + std::to_string(o.first + position - inputCount);
}

std::wstring KeptName(const char* kind, const std::string& which) {
    std::string name = std::string(kind) + "-" + which + ".dds";
    std::replace(name.begin(), name.end(), ' ', '-');
    return std::wstring(name.begin(), name.end());
}

// Counts the file at `position` as run, also when it then crashes or hangs the runner.
void Count(const Options& o, Shared& s, uint64_t position) {
    ++s.tally.files;
    if (position < s.inputCount) {
        ++s.tally.inputs;
    } else {
        const uint64_t index = o.first + position - s.inputCount;
        s.tally.systematic += index % 2 == 0 && index / 2 < s.systematicCount;
    }
}

// ---- the runner --------------------------------------------------------------------------

void MarkCall(int call) {
    if (call >= 0) {
        g_shared->call = call;
        g_shared->callStart = static_cast<LONG64>(GetTickCount64());
    } else {
        g_shared->callStart = 0;
        g_shared->call = -1;
    }
}

// The runner's last word before it ends: the supervisor reports the crash.
void NoteCrash(const std::wstring& description) {
    std::snprintf(g_shared->fault, sizeof g_shared->fault, "%s", Utf8(description).c_str());
}

void Record(const Options& o, Shared& s, uint64_t position, const MutatedFile& file, const FileResult& r) {
    Tally& t = s.tally;
    const std::string which = Describe(o, position, s.inputCount);
    for (int call = 0; call < kCallCount; ++call) {
        if (r.results[call] != kNotCalled) ++t.results[call][ResultColumn(r.results[call])];
        t.microseconds[call] += r.microseconds[call];
        if (r.microseconds[call] > t.slowest[call]) {
            t.slowest[call] = r.microseconds[call];
            t.slowestPosition[call] = position;
        }
    }
    const auto keep = [&](int slot, const char* kind, const std::wstring& folder) {
        if (s.kept[slot]++ >= kKeptPerKind) return false;
        CreateDirectoryW(folder.c_str(), nullptr);
        WriteFileBytes(folder + L"\\" + KeptName(kind, which), file.bytes);
        return true;
    };
    for (const Finding& f : r.faults) {
        ++t.faults[f.fault];
        if (keep(f.fault, kFaultNames[f.fault], o.out)) {
            Print("FAULT %s (%s): %s\n", which.c_str(), file.recipe.c_str(), f.what.c_str());
        }
    }
    std::string results;
    for (int call = 0; call < kCallCount; ++call) {
        results += r.results[call] == kNotCalled ? " -" : " " + std::to_string(r.results[call]);
    }
    for (int d = 0; d < kDisagreementCount; ++d) {
        if (!r.disagreements[d]) continue;
        ++t.disagreements[d];
        if (keep(kFaultCount + d, kDisagreementNames[d], o.out + L"\\examples")) {
            FILE* log = _wfopen((o.out + L"\\examples\\examples.txt").c_str(), L"a");
            if (log != nullptr) {
                std::fprintf(log, "%s %s (%s): results%s%s%s\n", kDisagreementNames[d], which.c_str(),
                             file.recipe.c_str(), results.c_str(), d == kFaultOutsideCaught ? "; " : "",
                             d == kFaultOutsideCaught ? r.outsideFault.c_str() : "");
                std::fclose(log);
            }
        }
    }
}

int RunRunner(const Options& o) {
    g_shared = static_cast<Shared*>(MapViewOfFile(o.shared, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    if (g_shared == nullptr) return kCannotRun;
    Shared& s = *g_shared;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    spihost::InstallFaultReport(NoteCrash, kCrashExitCode);
    WatchFaults();

    spihost::HostPlugin plugin;
    std::wstring problem;
    if (!plugin.Load(o.plugin, problem)) {
        Print("%s: cannot load %s: %s\n", kToolName, Utf8(o.plugin).c_str(), Utf8(problem).c_str());
        return kCannotRun;
    }
    if (!plugin.GetPictureInfoW || !plugin.IsSupportedW || !plugin.GetPictureW) {
        Print("%s: %s lacks the W exports\n", kToolName, Utf8(o.plugin).c_str());
        return kCannotRun;
    }
    std::vector<Seed> seeds = MakeSeeds(), samples = LoadFiles(o.samples);
    seeds.insert(seeds.end(), samples.begin(), samples.end());
    const Mutator mutator(std::move(seeds), o.seed);
    const std::vector<Seed> inputs = LoadFiles(o.inputs);
    const std::wstring path = o.out + L"\\current.dds";
    const uint64_t total = o.count == kUnlimited ? kUnlimited : inputs.size() + o.count;
    s.inputCount = inputs.size();
    s.systematicCount = mutator.SystematicCount();
    if (s.next == 0) {
        Print("%s: %zu seed files, %llu systematic edits of them, %zu inputs\n", kToolName, mutator.SeedCount(),
              mutator.SystematicCount(), inputs.size());
    }

    uint64_t done = 0;
    while (s.stop == 0 && WaitForSingleObject(o.parent, 0) == WAIT_TIMEOUT) {
        const uint64_t position = static_cast<uint64_t>(s.next);
        if (position >= total) {
            s.finished = 1;
            break;
        }
        s.current = static_cast<LONG64>(position);
        Count(o, s, position);
        const bool input = position < inputs.size();
        const uint64_t index = o.first + (position - inputs.size());
        MutatedFile file = input ? MutatedFile{inputs[position].bytes, inputs[position].name}
                                 : mutator.Make(index);
        std::snprintf(s.recipe, sizeof s.recipe, "%s", file.recipe.c_str());
        if (!WriteFileBytes(path, file.bytes)) {
            Print("%s: cannot write %s\n", kToolName, Utf8(path).c_str());
            return kCannotRun;
        }
        // Oversized files that D3DX describes are those whose decoding sizes surfaces.
        const Decode decode = o.decodeEvery == 0                            ? Decode::Never
                              : input || index / 2 % o.decodeEvery == 0 ? Decode::Always
                              : file.oversize                           ? Decode::IfDescribed
                                                                        : Decode::Never;
        const int64_t before = CommittedPrivateBytes();
        FileResult result = RunFile(plugin, file.bytes, path, decode, MarkCall);
        const int64_t after = CommittedPrivateBytes();
        if (after - before > kMemoryKeptLimit) {
            // Memory kept once may be a cache filled or the heap's new high-water mark, and
            // Wine's device cycles commit and release a few MiB now and then (see make soak);
            // kept by each of the same calls' next runs too, it is lost.
            std::string kept = std::to_string((after - before) / 1024) + " KiB";
            int64_t mark = after;
            for (int run = 0; run < kMemoryKeptReruns && !kept.empty(); ++run) {
                RunFile(plugin, file.bytes, path, decode, MarkCall);
                const int64_t now = CommittedPrivateBytes();
                if (now - mark > kMemoryKeptLimit) {
                    kept += ", " + std::to_string((now - mark) / 1024) + " KiB";
                } else {
                    kept.clear();
                }
                mark = now;
            }
            if (!kept.empty()) result.faults.push_back({kMemoryKept, "the calls kept " + kept + " run after run"});
        }
        Record(o, s, position, file, result);
        s.tally.decoded += result.results[kDecodeMemory] != kNotCalled;
        s.next = static_cast<LONG64>(position + 1);
        // Leaks show as growth once the first calls have set up what stays.
        if (++done % 50 == 0) {
            if (done == 50) {
                s.memoryAtStart = CommittedPrivateBytes();
                s.handlesAtStart = HandleCount();
                s.measuredFiles = 0;
            } else {
                s.memoryNow = CommittedPrivateBytes();
                s.handlesNow = HandleCount();
                s.measuredFiles = done - 50;
            }
        }
    }
    return 0;
}

// ---- the supervisor ----------------------------------------------------------------------

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

HANDLE StartRunner(const Options& o, HANDLE shared, HANDLE parent) {
    wchar_t exe[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
    std::wstring line = Quote(exe) + L" " + Quote(o.plugin) + L" --runner " +
                        std::to_wstring(reinterpret_cast<uintptr_t>(shared)) + L" " +
                        std::to_wstring(reinterpret_cast<uintptr_t>(parent)) + L" --seed " + std::to_wstring(o.seed) +
                        L" --first " + std::to_wstring(o.first) + L" --count " + std::to_wstring(o.count) +
                        L" --decode-every " + std::to_wstring(o.decodeEvery) + L" --out " + Quote(o.out);
    if (!o.samples.empty()) line += L" --samples " + Quote(o.samples);
    if (!o.inputs.empty()) line += L" --inputs " + Quote(o.inputs);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (const HANDLE h : {startup.hStdOutput, startup.hStdError}) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void ClearKeptFiles(const Options& o) {
    for (const std::wstring& dir : {o.out, o.out + L"\\examples"}) {
        for (const std::wstring& name : FilesIn(dir, L"*.dds")) DeleteFileW((dir + L"\\" + name).c_str());
        DeleteFileW((dir + L"\\examples.txt").c_str());
    }
}

void PrintSummary(const Options& o, const Shared& s, double seconds) {
    const Tally& t = s.tally;
    Print("%s: %llu files (%llu inputs, %llu systematic, %llu random; %llu decoded from memory and file) in %.1f s: "
          "%.1f files/s\n",
          kToolName, t.files, t.inputs, t.systematic, t.files - t.inputs - t.systematic, t.decoded, seconds,
          seconds > 0 ? t.files / seconds : 0.0);
    Print("  %-28s", "results");
    for (int c = 0; c < kResultColumns - 1; ++c) Print("%9d", kResultCodes[c]);
    Print("%9s  ms/call  slowest\n", "other");
    for (int call = 0; call < kCallCount; ++call) {
        Print("  %-28s", kCallNames[call]);
        uint64_t calls = 0;
        for (int c = 0; c < kResultColumns; ++c) {
            Print("%9llu", t.results[call][c]);
            calls += t.results[call][c];
        }
        Print("  %7.2f  %.0f ms", calls != 0 ? t.microseconds[call] / 1000.0 / calls : 0.0, t.slowest[call] / 1000.0);
        if (calls != 0) Print(" (%s)", Describe(o, t.slowestPosition[call], s.inputCount).c_str());
        Print("\n");
    }
    uint64_t faults = 0;
    for (const uint64_t n : t.faults) faults += n;
    Print("  crashes %llu, hangs %llu, faults %llu\n", t.crashes, t.hangs, faults);
    for (int f = 0; f < kFaultCount; ++f) {
        if (t.faults[f] != 0) Print("    %-30s %llu\n", kFaultNames[f], t.faults[f]);
    }
    Print("  disagreements and faults caught outside the plug-in (reported, not failures; examples in\n"
          "  %s\\examples):\n", Utf8(o.out).c_str());
    for (int d = 0; d < kDisagreementCount; ++d) Print("    %-30s %llu\n", kDisagreementNames[d], t.disagreements[d]);
    if (s.measuredFiles != 0) {
        Print("  last runner over its last %llu files: committed private memory %lld -> %lld KiB, ", s.measuredFiles,
              s.memoryAtStart / 1024, s.memoryNow / 1024);
        // Wine counts no handles.
        if (s.handlesAtStart > 0) Print("handles %lld -> %lld\n", s.handlesAtStart, s.handlesNow); else Print("no handle count\n");
    }
}

int RunSupervisor(Options o) {
    o.out = FullPath(o.out);
    CreateDirectoryW(o.out.c_str(), nullptr);
    ClearKeptFiles(o);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, sizeof(Shared), nullptr);
    HANDLE parent = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &parent, SYNCHRONIZE, TRUE, 0);
    auto* s = static_cast<Shared*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    if (s == nullptr || parent == nullptr) return 2;
    s->current = -1;
    s->call = -1;

    Print("%s: %s, seed %llu, files from %llu, ", kToolName, Utf8(o.plugin).c_str(), o.seed, o.first);
    if (o.count == kUnlimited) Print("for %.1f minutes", o.minutes); else Print("%llu of them", o.count);
    Print(", decoding N where N/2 is a multiple of %u, and oversized ones described; --first N --count 1 makes N again\n",
          o.decodeEvery);
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG deadline = o.minutes > 0 ? started + static_cast<ULONGLONG>(o.minutes * 60000) : 0;
    ULONGLONG lastReport = started;
    for (;;) {
        const LONG64 startedAt = s->next;
        const HANDLE runner = StartRunner(o, mapping, parent);
        if (runner == nullptr) {
            Print("%s: cannot start a runner (error %lu)\n", kToolName, GetLastError());
            return 2;
        }
        bool hung = false;
        while (WaitForSingleObject(runner, 200) == WAIT_TIMEOUT) {
            const ULONGLONG now = GetTickCount64();
            if (deadline != 0 && now >= deadline) s->stop = 1;
            const ULONGLONG callStart = static_cast<ULONGLONG>(s->callStart);
            if (callStart != 0 && now > callStart && now - callStart > o.timeoutSeconds * 1000ull) {
                hung = true;
                TerminateProcess(runner, kHangExitCode);
                WaitForSingleObject(runner, INFINITE);
                break;
            }
            if (now - lastReport >= 60000) {
                lastReport = now;
                Print("%s: %llu files, %.1f files/s, %llu crashes, %llu hangs\n", kToolName, s->tally.files,
                      s->tally.files * 1000.0 / (now - started), s->tally.crashes, s->tally.hangs);
            }
        }
        DWORD exitCode = 0;
        GetExitCodeProcess(runner, &exitCode);
        CloseHandle(runner);
        if (!hung && exitCode == 0 && (s->finished != 0 || s->stop != 0)) break;
        if (exitCode == kCannotRun || s->current < startedAt) {
            Print("%s: the runner stopped (exit %lu) before file %lld\n", kToolName, exitCode, startedAt);
            return 2;
        }
        const uint64_t position = static_cast<uint64_t>(s->current);
        const std::string which = Describe(o, position, s->inputCount);
        const char* call = s->call >= 0 && s->call < kCallCount ? kCallNames[s->call] : "between calls";
        const std::wstring kept = o.out + L"\\" + KeptName(hung ? "hang" : "crash", which);
        CopyFileW((o.out + L"\\current.dds").c_str(), kept.c_str(), FALSE);
        if (hung) {
            ++s->tally.hangs;
            Print("HANG %s (%s): %s ran over %u s; kept as %s\n", which.c_str(), s->recipe, call, o.timeoutSeconds,
                  Utf8(kept).c_str());
        } else {
            ++s->tally.crashes;
            Print("CRASH %s (%s): %s: %s (runner exit 0x%lX); kept as %s\n", which.c_str(), s->recipe, call,
                  s->fault[0] != 0 ? s->fault : "no fault noted", exitCode, Utf8(kept).c_str());
        }
        s->fault[0] = 0;
        s->callStart = 0;
        s->call = -1;
        s->next = static_cast<LONG64>(position + 1);
        if (s->stop != 0) break;
    }
    PrintSummary(o, *s, (GetTickCount64() - started) / 1000.0);
    uint64_t faults = s->tally.crashes + s->tally.hangs;
    for (const uint64_t n : s->tally.faults) faults += n;
    return faults == 0 ? 0 : 1;
}

void PrintUsage() {
    Print("usage: %s PLUGIN [--seed N] [--first N] [--count N | --minutes M] [--decode-every K]\n"
          "       [--timeout SECONDS] [--samples DIR] [--inputs DIR] [--out DIR]\n"
          "Makes file N of a run from the seed files (its own and DIR's *.dds with --samples) by a\n"
          "recipe of the seed and N, and gives each to GetPictureInfoW and IsSupportedW in both forms;\n"
          "files N with N/2 a multiple of K (none with 0), and oversized ones, also to GetPictureW from\n"
          "memory and from the file. --inputs runs DIR's *.dds unchanged first, with every call. Crashes, hangs\n"
          "and faults keep their file in --out (default spimutate-out) and fail the run (exit 1).\n",
          kToolName);
}

bool ParseOptions(int argc, wchar_t** argv, Options& o) {
    if (argc < 2 || argv[1][0] == L'-') return false;
    o.plugin = argv[1];
    bool counted = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring a = argv[i];
        const bool hasValue = i + 1 < argc;
        const auto number = [&](uint64_t& out) {
            if (!hasValue) return false;
            wchar_t* end = nullptr;
            out = std::wcstoull(argv[++i], &end, 10);
            return *end == L'\0';
        };
        uint64_t value = 0;
        if (a == L"--seed") { if (!number(o.seed)) return false; }
        else if (a == L"--first") { if (!number(o.first)) return false; }
        else if (a == L"--count") { if (!number(o.count)) return false; counted = true; }
        else if (a == L"--decode-every") { if (!number(value)) return false; o.decodeEvery = static_cast<uint32_t>(value); }
        else if (a == L"--timeout") { if (!number(value) || value == 0) return false; o.timeoutSeconds = static_cast<uint32_t>(value); }
        else if (a == L"--minutes" && hasValue) { o.minutes = std::wcstod(argv[++i], nullptr); if (o.minutes <= 0) return false; }
        else if (a == L"--samples" && hasValue) o.samples = argv[++i];
        else if (a == L"--inputs" && hasValue) o.inputs = argv[++i];
        else if (a == L"--out" && hasValue) o.out = argv[++i];
        else if (a == L"--runner" && i + 2 < argc) {
            o.shared = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(argv[++i], nullptr, 10)));
            o.parent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(argv[++i], nullptr, 10)));
        } else {
            return false;
        }
    }
    if (o.minutes > 0 && !counted) o.count = kUnlimited;
    return true;
}

}  // namespace

}  // namespace mutate

int wmain(int argc, wchar_t** argv) {
    mutate::Options options;
    if (!mutate::ParseOptions(argc, argv, options)) {
        mutate::PrintUsage();
        return 2;
    }
    return options.shared != nullptr ? mutate::RunRunner(options) : mutate::RunSupervisor(options);
}
