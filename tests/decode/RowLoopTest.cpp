// The row loop's helpers under many loops at once: every row once, and no more helper
// threads than the pool's bound however many loops ask.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "RowLoop.h"

namespace sorvane {
namespace {

int ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return count;
}

TEST(RowLoopTest, ManyLoopsAtOnceKeepTheHelpersBounded) {
    // Rows of 4 KiB, 2 MiB a loop: large enough to be spread.
    constexpr uint32_t kRows = 512, kRowBytes = 4096;
    constexpr int kRequests = 4, kLoopsEach = 100;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const int helpers = std::max<int>(1, std::min<int>(system.dwNumberOfProcessors, 16) - 1);

    const int before = ThreadCount();
    ASSERT_GT(before, 0);
    std::atomic<bool> done{false};
    std::atomic<int> peak{before};
    std::thread sampler([&] {
        while (!done.load()) {
            peak = std::max(peak.load(), ThreadCount());
            Sleep(2);
        }
    });
    std::vector<int> wrongLoops(kRequests, 0);
    std::vector<std::thread> requests;
    for (int r = 0; r < kRequests; ++r) {
        requests.emplace_back([&, r] {
            std::vector<uint8_t> picture(size_t{kRows} * kRowBytes);
            std::vector<std::atomic<int>> visits(kRows);
            for (int loop = 0; loop < kLoopsEach; ++loop) {
                for (auto& v : visits) v = 0;
                ForEachRow(kRows, kRowBytes, [&](uint32_t row) {
                    std::fill_n(picture.begin() + size_t{row} * kRowBytes, kRowBytes, static_cast<uint8_t>(loop));
                    ++visits[row];
                });
                wrongLoops[r] += std::any_of(visits.begin(), visits.end(), [](const auto& v) { return v != 1; });
            }
        });
    }
    for (auto& t : requests) t.join();
    done = true;
    sampler.join();

    EXPECT_EQ(wrongLoops, std::vector<int>(kRequests, 0));
    // Threads alive before (pool helpers among them), the sampler, the requests and the
    // pool's helpers at most.
    EXPECT_LE(peak.load(), before + 1 + kRequests + helpers);
}

}  // namespace
}  // namespace sorvane
