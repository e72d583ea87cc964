#include "RowLoop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

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

}  // namespace

void SetRowLoopsParallel(bool parallel) noexcept { g_parallel.store(parallel); }

void ForEachRowBand(uint32_t rows, uint64_t rowBytes, RowBody body, const void* context) noexcept {
    if (rows == 0) return;
    static const uint32_t workers = Workers();
    if (!g_parallel.load() || workers < 2 || rows < 2 || uint64_t{rows} * rowBytes < kParallelThreshold) {
        body(context, 0, rows);
        return;
    }
    Bands bands{body, context, rows, std::max<uint32_t>(1, rows / (workers * kBandsPerWorker))};
    PTP_WORK work = CreateThreadpoolWork(DrainBands, &bands, nullptr);
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
