#include "RowLoop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "Module.h"

namespace sorvane {

namespace {

// Below this many bytes a loop finishes sooner than the pool can start helping.
constexpr uint64_t kParallelThreshold = 1u << 20;
constexpr uint32_t kBandsPerWorker = 4;

std::atomic<bool> g_parallel{true};

struct Bands {
    RowBody body;
    const void* context;
    uint32_t rows;
    uint32_t bandRows;
    std::atomic<uint32_t> next{0};

    // Takes bands until none is left; the request's thread works too.
    void Drain() {
        for (;;) {
            const uint32_t first = next.fetch_add(bandRows);
            if (first >= rows) return;
            body(context, first, std::min(rows, first + bandRows));
        }
    }
};

void CALLBACK DrainBands(PTP_CALLBACK_INSTANCE, PVOID bands, PTP_WORK) {
    static_cast<Bands*>(bands)->Drain();
}

uint32_t Workers() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return std::max<DWORD>(1, std::min<DWORD>(info.dwNumberOfProcessors, 16));
}

// The helpers' own pool, one for the process. The default pool starts a thread whenever none
// is idle at the moment work arrives, so a host asking for picture after picture grew to
// hundreds of threads; this one has at most one thread fewer than the loops' workers (the
// request's thread is the other). Its callbacks hold the plug-in's module, so it is not
// unloaded under a helper.
class HelperPool {
public:
    HelperPool() noexcept {
        InitializeThreadpoolEnvironment(&environment_);
        pool_ = CreateThreadpool(nullptr);
        if (pool_ == nullptr) return;
        SetThreadpoolThreadMaximum(pool_, std::max<uint32_t>(1, Workers() - 1));
        SetThreadpoolCallbackPool(&environment_, pool_);
        SetThreadpoolCallbackLibrary(&environment_, ModuleInstance());
    }
    // Every loop has closed its work before it returned, so nothing is left to wait for.
    ~HelperPool() {
        if (pool_ != nullptr) CloseThreadpool(pool_);
        DestroyThreadpoolEnvironment(&environment_);
    }
    HelperPool(const HelperPool&) = delete;
    HelperPool& operator=(const HelperPool&) = delete;

    // Null when the pool could not be made: the loop then runs on the request's thread.
    PTP_CALLBACK_ENVIRON Environment() noexcept { return pool_ != nullptr ? &environment_ : nullptr; }

private:
    PTP_POOL pool_ = nullptr;
    TP_CALLBACK_ENVIRON environment_;
};

// Made by the first loop that spreads (the compiler guards the first use against races).
PTP_CALLBACK_ENVIRON HelperEnvironment() noexcept {
    static HelperPool pool;
    return pool.Environment();
}

}  // namespace

void SetRowLoopsParallel(bool parallel) noexcept { g_parallel.store(parallel); }

void ForEachRowBand(uint32_t rows, uint64_t rowBytes, RowBody body, const void* context) noexcept {
    if (rows == 0) return;
    static const uint32_t workers = Workers();
    if (!g_parallel.load() || workers < 2 || rows < 2 || uint64_t{rows} * rowBytes < kParallelThreshold) {
        body(context, 0, rows);
        return;
    }
    const PTP_CALLBACK_ENVIRON environment = HelperEnvironment();
    Bands bands{body, context, rows, std::max<uint32_t>(1, rows / (workers * kBandsPerWorker))};
    PTP_WORK work = environment != nullptr ? CreateThreadpoolWork(DrainBands, &bands, environment) : nullptr;
    if (work == nullptr) {
        body(context, 0, rows);
        return;
    }
    for (uint32_t i = 1; i < workers; ++i) SubmitThreadpoolWork(work);
    bands.Drain();
    // Every band is done once Drain returns here; callbacks not yet started are cancelled and
    // running ones waited for, so no pool thread is in this code after the loop.
    WaitForThreadpoolWorkCallbacks(work, TRUE);
    CloseThreadpoolWork(work);
}

}  // namespace sorvane
