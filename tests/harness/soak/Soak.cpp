// A soak of the built plug-in: many requests in one process, on both routes, next to a bare
// loop of what every D3DX request makes and destroys (a window, a Direct3D object, a device),
// both measured the same way. The plug-in's own allocations are counted through its imports,
// so growth beyond them is the platform's. It starts with a burst of requests for one picture
// large enough for the helper threads, and prints the most threads and committed memory the
// process had during it. A measuring program: it asserts nothing.
#include <windows.h>

#include <tlhelp32.h>

#include <d3d9.h>
#include <d3dx9tex.h>

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "DdsWriter.h"
#include "AllocationWatch.h"
#include "ComRef.h"
#include "Holders.h"
#include "PluginApi.h"
#include "PluginIdentity.h"
#include "TestSupport.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr int kBurstRequests = 2000;

double MiB(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// One cycle of what a D3DX request makes around its picture; with `file`, also the scratch
// surface D3DX loads it into.
bool BareCycle(const Bytes* file) {
    const OwnedWindow window(CreateWindowExW(0, L"STATIC", L"soak", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                                             nullptr, nullptr, nullptr));
    if (!window) return false;
    ComRef<IDirect3D9> d3d;
    d3d.reset(Direct3DCreate9(D3D_SDK_VERSION));
    ComRef<IDirect3DDevice9> device;
    if (d3d) {
        D3DPRESENT_PARAMETERS pp{};
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window.get();
        pp.Windowed = TRUE;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window.get(), 0x122, &pp, device.put());
    }
    ComRef<IDirect3DSurface9> surface;
    if (device && file != nullptr &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(128, 96, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, surface.put(),
                                                      nullptr))) {
        D3DXLoadSurfaceFromFileInMemory(surface.get(), nullptr, nullptr, file->data(),
                                        static_cast<UINT>(file->size()), nullptr, D3DX_DEFAULT, 0, nullptr);
    }
    // The holders release in reverse: the surface, the device, Direct3D, then the window.
    return static_cast<bool>(device);
}

int ThreadCount() {
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    const DWORD process = GetCurrentProcessId();
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == process;
    }
    return count;
}

// The most threads and committed memory of the process while `requests` run back to back,
// sampled every few milliseconds by a thread of its own (counted among the threads).
struct BurstPeaks {
    int threadsBefore = 0, peakThreads = 0;
    uint64_t committedBefore = 0, peakCommitted = 0;
    double seconds = 0;
};

template <typename Request>
BurstPeaks Burst(int requests, const Request& request, int& failures) {
    BurstPeaks peaks;
    peaks.threadsBefore = ThreadCount();
    peaks.committedBefore = CommittedPrivateBytes();
    peaks.peakThreads = peaks.threadsBefore;
    peaks.peakCommitted = peaks.committedBefore;
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        while (!done.load()) {
            peaks.peakThreads = std::max(peaks.peakThreads, ThreadCount());
            peaks.peakCommitted = std::max(peaks.peakCommitted, CommittedPrivateBytes());
            Sleep(5);
        }
    });
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < requests; ++i) failures += request() != 0;
    peaks.seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    done = true;
    sampler.join();
    return peaks;
}

}  // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::max(100, atoi(argv[1])) : 10000;
    const int cycles = argc > 2 ? std::max(100, atoi(argv[2])) : 2000;
    // A viewer pauses between pictures: long enough, the thread pool lets its idle threads go
    // and the next picture meets new ones.
    const int pauseEvery = argc > 3 ? atoi(argv[3]) : 0;
    const int pauseMs = argc > 4 ? atoi(argv[4]) : 0;
    const char* build = sizeof(void*) == 8 ? "x64" : "x86";
    HMODULE module = LoadLibraryW(kDisplayName);
    if (module == nullptr) {
        std::printf("%s: the plug-in could not be loaded\n", build);
        return 1;
    }
    const PluginExports p = BindPluginExports(module);
    AllocationWatch watch(module);

    // A legacy picture for D3DX and a DX10 one for our reader, in memory and on disk.
    const Bytes legacy = WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 128, 96, [](uint32_t x, uint32_t y) {
        return 0x80000000u | ((x * 997u) ^ y);
    }));
    Dx10Image bc7;
    bc7.dxgi = 98;
    bc7.width = 512;  // large enough for the thread pool to take part
    bc7.height = 512;
    for (int i = 0; i < 128 * 128 * 16; ++i) bc7.data.push_back(static_cast<uint8_t>(i * 2654435761u >> 21));
    const Bytes own = WriteDx10Dds(bc7);
    TempDir dir;
    const std::wstring legacyPath = dir.Write(L"legacy.dds", legacy), ownPath = dir.Write(L"own.dds", own);
    Bytes probe(own.begin(), own.begin() + 2048);

    int d3dxRequests = 0;
    auto request = [&](int i) {
        const bool d3dx = i % 2 == 0;
        const Bytes& file = d3dx ? legacy : own;
        const std::wstring& path = d3dx ? legacyPath : ownPath;
        HLOCAL info = nullptr, bits = nullptr;
        int result;
        switch (i % 10) {
        case 0: case 1: case 2: case 3:
            result = p.GetPictureW(reinterpret_cast<const wchar_t*>(file.data()), static_cast<LONG_PTR>(file.size()), 1,
                                   &info, &bits, nullptr, 0);
            break;
        case 4: case 5: case 6: case 7:
            result = p.GetPictureW(path.c_str(), 0, 0, &info, &bits, nullptr, 0);
            break;
        case 8: {
            PictureInfo record{};
            result = p.GetPictureInfoW(path.c_str(), 0, 0, &record);
            break;
        }
        default:
            result = p.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(probe.data())) == 1 ? 0 : 2;
        }
        // The host frees what it was handed: no longer the plug-in's.
        for (HLOCAL block : {info, bits}) {
            if (block == nullptr) continue;
            watch.Forget(block);
            LocalFree(block);
        }
        if (d3dx && i % 10 < 8) ++d3dxRequests;
        return result;
    };

    std::printf("Sorvane soak, %s build: a burst of %d requests, %d requests, then %d bare device cycles\n", build,
                kBurstRequests, requests, cycles);
    // A viewer that walks a folder asks for picture after picture: the helper threads that
    // spread the rows must not grow with the requests.
    int burstFailures = 0;
    auto burstRequest = [&] {
        HLOCAL info = nullptr, bits = nullptr;
        const int result = p.GetPictureW(reinterpret_cast<const wchar_t*>(own.data()), static_cast<LONG_PTR>(own.size()),
                                         1, &info, &bits, nullptr, 0);
        for (HLOCAL block : {info, bits}) {
            if (block == nullptr) continue;
            watch.Forget(block);
            LocalFree(block);
        }
        return result;
    };
    burstRequest();
    const BurstPeaks burst = Burst(kBurstRequests, burstRequest, burstFailures);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    std::printf("burst of %d requests for a 512x512 BC7 picture (%lu processors) in %.1f s: threads %d before, at "
                "most %d (one of them the sampler); committed %.1f MiB before, at most %.1f MiB; %d failed\n",
                kBurstRequests, system.dwNumberOfProcessors, burst.seconds, burst.threadsBefore, burst.peakThreads,
                MiB(burst.committedBefore), MiB(burst.peakCommitted), burstFailures);
    std::printf("summary %s burst requests=%d processors=%lu threads_before=%d threads_peak=%d committed_before_mib=%.1f "
                "committed_peak_mib=%.1f\n",
                build, kBurstRequests, system.dwNumberOfProcessors, burst.threadsBefore, burst.peakThreads,
                MiB(burst.committedBefore), MiB(burst.peakCommitted));
    Sleep(6000);
    // What Wine keeps for the process (classes, caches, the pool) is made by the first ones.
    for (int i = 0; i < 50; ++i) request(i);
    d3dxRequests = 0;
    Sleep(6000);
    size_t keptBytes;
    const size_t kept = watch.LiveBlocks(&keptBytes);
    watch.MarkLive();
    std::printf("kept for the process after the first requests (the extension pattern, the opaque-format set): "
                "%zu blocks, %zu bytes\n", kept, keptBytes);
    const uint64_t start = CommittedPrivateBytes();
    int failures = 0;
    std::printf("%9s %14s %12s %16s\n", "requests", "committed MiB", "growth KiB", "plug-in's blocks");
    const int report = std::min(1000, requests);
    for (int i = 0; i < requests; ++i) {
        failures += request(i) != 0;
        if (pauseEvery > 0 && (i + 1) % pauseEvery == 0) Sleep(static_cast<DWORD>(pauseMs));
        if ((i + 1) % report == 0) {
            // Idle pool threads leave after a few seconds; their stacks are no one's growth.
            Sleep(6000);
            size_t bytes;
            const size_t blocks = watch.LiveBlocks(&bytes);
            const uint64_t now = CommittedPrivateBytes();
            std::printf("%9d %14.1f %12.0f %10zu (%zu B)\n", i + 1, MiB(now), (double(now) - double(start)) / 1024.0,
                        blocks, bytes);
        }
    }
    Sleep(6000);
    const double perRequest = (double(CommittedPrivateBytes()) - double(start)) / requests / 1024.0;
    const double perD3dxRequest = (double(CommittedPrivateBytes()) - double(start)) / std::max(1, d3dxRequests) / 1024.0;

    // The same cycles without the plug-in: the device alone, then with a D3DX load.
    double perCycle[2];
    int made = 0;
    for (const bool load : {false, true}) {
        const Bytes* file = load ? &legacy : nullptr;
        for (int i = 0; i < 20; ++i) BareCycle(file);
        Sleep(6000);
        const uint64_t bareStart = CommittedPrivateBytes();
        for (int i = 0; i < cycles; ++i) {
            made += BareCycle(file);
            if ((i + 1) % (cycles / 5) == 0) {
                std::printf("bare cycles%s %6d: committed %.1f MiB, growth %.0f KiB\n", load ? " with a load" : "",
                            i + 1, MiB(CommittedPrivateBytes()),
                            (double(CommittedPrivateBytes()) - double(bareStart)) / 1024.0);
            }
        }
        Sleep(6000);
        perCycle[load] = (double(CommittedPrivateBytes()) - double(bareStart)) / cycles / 1024.0;
    }
    size_t liveBytes;
    const size_t live = watch.LiveBlocks(&liveBytes);
    std::printf("\n%s: %d failed requests; growth %.2f KiB a request, %.2f KiB a D3DX request (%d of them); "
                "bare cycle %.2f KiB, with a D3DX load %.2f KiB (%d devices made)\n",
                build, failures, perRequest, perD3dxRequest, d3dxRequests, perCycle[0], perCycle[1], made);
    std::printf("%s: the plug-in holds %zu blocks (%zu bytes) of its own after all requests, %+lld blocks "
                "(%+lld bytes) against the first requests\n",
                build, live, liveBytes, static_cast<long long>(live) - static_cast<long long>(kept),
                static_cast<long long>(liveBytes) - static_cast<long long>(keptBytes));
    for (const size_t size : watch.AddedSinceMark()) std::printf("  a block of %zu bytes added\n", size);
    std::printf("summary %s soak growth_per_request_kib=%.2f growth_per_d3dx_request_kib=%.2f bare_cycle_kib=%.2f "
                "bare_cycle_with_load_kib=%.2f plugin_blocks_added=%lld\n",
                build, perRequest, perD3dxRequest, perCycle[0], perCycle[1],
                static_cast<long long>(live) - static_cast<long long>(kept));
    return failures == 0 && burstFailures == 0 ? 0 : 1;
}
