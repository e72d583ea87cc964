// Memory that cannot be had, on purpose: the plug-in's n-th allocation fails, for n = 1, 2, ...
// until a request no longer meets a failure. The plug-in's imports of LocalAlloc and the C
// runtime's allocator (operator new comes down to malloc) are replaced for the test; its own
// code stays as it is. It calls no HeapAlloc of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "Holders.h"
#include "ImportPatch.h"
#include "TestSupport.h"

namespace sorvane::test {
namespace {

std::atomic<int> g_allocations{0};
std::atomic<int> g_failAt{0};  // 0: none fails
std::mutex g_lock;
std::set<void*> g_live;  // what the plug-in holds, by its own allocations

decltype(&LocalAlloc) g_localAlloc;
decltype(&LocalFree) g_localFree;
void* (*g_malloc)(size_t);
void* (*g_calloc)(size_t, size_t);
void* (*g_realloc)(void*, size_t);
void (*g_free)(void*);

bool FailsNow() { return ++g_allocations == g_failAt.load(); }
void Track(void* p) {
    if (p == nullptr) return;
    std::lock_guard<std::mutex> hold(g_lock);
    g_live.insert(p);
}
void Untrack(void* p) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_live.erase(p);
}

HLOCAL WINAPI TestLocalAlloc(UINT flags, SIZE_T bytes) {
    if (FailsNow()) return nullptr;
    HLOCAL block = g_localAlloc(flags, bytes);
    Track(block);
    return block;
}
HLOCAL WINAPI TestLocalFree(HLOCAL block) {
    Untrack(block);
    return g_localFree(block);
}
void* __cdecl TestMalloc(size_t bytes) {
    if (FailsNow()) return nullptr;
    void* p = g_malloc(bytes);
    Track(p);
    return p;
}
void* __cdecl TestCalloc(size_t count, size_t bytes) {
    if (FailsNow()) return nullptr;
    void* p = g_calloc(count, bytes);
    Track(p);
    return p;
}
void* __cdecl TestRealloc(void* old, size_t bytes) {
    if (FailsNow()) return nullptr;  // the old block stays valid
    void* p = g_realloc(old, bytes);
    if (p != nullptr || bytes == 0) Untrack(old);
    Track(p);
    return p;
}
void __cdecl TestFree(void* p) {
    Untrack(p);
    g_free(p);
}

// What a request gave: its result, and the host's outputs as bytes.
struct Outcome {
    int result;
    std::vector<uint8_t> output;
    std::vector<void*> handedOver;  // blocks the host now owns
};

constexpr uint8_t kUntouched = 0xA5;

class AllocationFailure : public testing::Test {
protected:
    void SetUp() override {
        SORVANE_REQUIRE_D3D();
        DeleteSettingsKey();
        const HMODULE plugin = LoadedPlugin().module;
        auto patch = [&](const char* dll, const char* name, void* replacement) -> ImportPatch* {
            patches_.emplace_back(new ImportPatch(plugin, dll, name, replacement));
            EXPECT_TRUE(patches_.back()->ok()) << name;
            return patches_.back().get();
        };
        g_localAlloc = patch("kernel32.dll", "LocalAlloc", reinterpret_cast<void*>(&TestLocalAlloc))->original<decltype(g_localAlloc)>();
        g_localFree = patch("kernel32.dll", "LocalFree", reinterpret_cast<void*>(&TestLocalFree))->original<decltype(g_localFree)>();
        g_malloc = patch("msvcrt.dll", "malloc", reinterpret_cast<void*>(&TestMalloc))->original<decltype(g_malloc)>();
        g_calloc = patch("msvcrt.dll", "calloc", reinterpret_cast<void*>(&TestCalloc))->original<decltype(g_calloc)>();
        g_realloc = patch("msvcrt.dll", "realloc", reinterpret_cast<void*>(&TestRealloc))->original<decltype(g_realloc)>();
        g_free = patch("msvcrt.dll", "free", reinterpret_cast<void*>(&TestFree))->original<decltype(g_free)>();
    }
    void TearDown() override {
        g_failAt = 0;
        patches_.clear();
    }

    // Runs `request` failing its n-th allocation for every n it reaches; the request without
    // a failure gives `expected`. Returns how many allocations the request makes.
    int FailEachAllocation(const std::function<Outcome()>& request, int failureCode) {
        g_failAt = 0;
        const Outcome expected = request();
        for (void* p : expected.handedOver) LocalFree(p);
        EXPECT_EQ(expected.result, 0);
        // The first failure a request meets sets up what the runtime keeps for a thread that
        // has thrown; only what a request leaves behind after that counts.
        g_allocations = 0;
        g_failAt = 1;
        for (void* p : request().handedOver) LocalFree(p);
        g_failAt = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
            {
                std::lock_guard<std::mutex> hold(g_lock);
                g_live.clear();
            }
            g_allocations = 0;
            g_failAt = n;
            const Outcome failed = request();
            g_failAt = 0;
            const bool reached = g_allocations.load() >= n;
            for (void* p : failed.handedOver) {
                Untrack(p);
                LocalFree(p);
            }
            {
                std::lock_guard<std::mutex> hold(g_lock);
                EXPECT_TRUE(g_live.empty()) << g_live.size() << " blocks left behind, the first of "
                                            << (g_live.empty() ? 0 : LocalSize(*g_live.begin())) << " bytes at "
                                            << (g_live.empty() ? nullptr : *g_live.begin());
            }
            if (!reached) {
                EXPECT_EQ(failed.result, expected.result);
                return n - 1;
            }
            // Either the request survived the failure whole, or it says memory ran out (the
            // probe, which has no such answer, does not claim the file) and leaves the host's
            // outputs as they were.
            if (failed.result != expected.result || failed.output != expected.output) {
                EXPECT_EQ(failed.result, failureCode);
                EXPECT_EQ(failed.output, std::vector<uint8_t>(failed.output.size(), kUntouched));
            }
            // The next request is whole again.
            const Outcome next = request();
            for (void* p : next.handedOver) LocalFree(p);
            EXPECT_EQ(next.result, expected.result);
            EXPECT_EQ(next.output, expected.output);
            if (n > 500) {
                ADD_FAILURE() << "no end to the allocations";
                return n;
            }
        }
    }

    std::vector<std::unique_ptr<ImportPatch>> patches_;
    TempDir dir_;
};

Outcome Information(int result, const PictureInfo& info) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    return {result, std::vector<uint8_t>(bytes, bytes + sizeof info), {}};
}

Outcome Picture(int result, HLOCAL info, HLOCAL bits) {
    Outcome outcome{result, {}, {}};
    if (info == reinterpret_cast<HLOCAL>(uintptr_t{kUntouched} * 0x0101) &&
        bits == reinterpret_cast<HLOCAL>(uintptr_t{kUntouched} * 0x0101)) {
        outcome.output.assign(8, kUntouched);
        return outcome;
    }
    // The picture itself stands for the outputs: header and pixels.
    outcome.output.assign(static_cast<uint8_t*>(info), static_cast<uint8_t*>(info) + 40);
    outcome.output.insert(outcome.output.end(), static_cast<uint8_t*>(bits),
                          static_cast<uint8_t*>(bits) + LocalSize(bits));
    outcome.handedOver = {info, bits};
    return outcome;
}

TEST_F(AllocationFailure, EveryRequestSurvivesOnBothRoutes) {
    // Large enough for our reader to spread its bands, each with a scratch block of its own,
    // over the thread pool.
    Dx10Image bc7;
    bc7.dxgi = 98;
    bc7.width = 514;
    bc7.height = 511;
    for (int i = 0; i < 129 * 128 * 16; ++i) bc7.data.push_back(static_cast<uint8_t>(i * 37 + 11));
    const struct {
        const char* route;
        Bytes file;
    } kFiles[] = {
        {"D3DX", WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 7, 5, [](uint32_t x, uint32_t y) { return 0x80102030u + x * 7 + y; }))},
        {"own reader", WriteDx10Dds(bc7)},
    };
    const Plugin& p = LoadedPlugin();
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    for (const auto& f : kFiles) {
        const std::wstring path = dir_.Write(L"file.dds", f.file);
        const std::string ansiPath(path.begin(), path.end());  // the temporary path is ASCII here
        const auto* bytes = reinterpret_cast<const char*>(f.file.data());
        const auto size = static_cast<LONG_PTR>(f.file.size());
        Bytes probe(f.file.begin(), f.file.begin() + std::min<size_t>(f.file.size(), 2048));
        probe.resize(2048);
        const HLOCAL pattern = reinterpret_cast<HLOCAL>(uintptr_t{kUntouched} * 0x0101);
        const struct {
            const char* what;
            int failureCode;
            std::function<Outcome()> request;
        } kRequests[] = {
            {"information from memory", 4, [&] {
                 PictureInfo info;
                 std::memset(&info, kUntouched, sizeof info);
                 const int result = p.GetPictureInfoW(reinterpret_cast<const wchar_t*>(bytes), size, 1, &info);
                 return Information(result, info);
             }},
            {"information from a file", 4, [&] {
                 PictureInfo info;
                 std::memset(&info, kUntouched, sizeof info);
                 const int result = p.GetPictureInfo(ansiPath.c_str(), 0, 0, &info);
                 return Information(result, info);
             }},
            {"probe of a buffer", 2, [&] {
                 return Outcome{p.IsSupported(ansiPath.c_str(), reinterpret_cast<ULONG_PTR>(probe.data())) == 1 ? 0 : 2, {}, {}};
             }},
            {"probe of a handle", 2, [&] {
                 FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
                 return Outcome{p.IsSupportedW(nullptr, reinterpret_cast<ULONG_PTR>(file.get())) == 1 ? 0 : 2, {}, {}};
             }},
            {"picture from memory", 4, [&] {
                 HLOCAL info = pattern, bits = pattern;
                 const int result = p.GetPicture(bytes, size, 1, &info, &bits, nullptr, 0);
                 return Picture(result, info, bits);
             }},
            {"picture from a file", 4, [&] {
                 HLOCAL info = pattern, bits = pattern;
                 const int result = p.GetPicture(ansiPath.c_str(), 0, 0, &info, &bits, nullptr, 0);
                 return Picture(result, info, bits);
             }},
        };
        for (const auto& r : kRequests) {
            SCOPED_TRACE(testing::Message() << f.route << ", " << r.what);
            const int points = FailEachAllocation(r.request, r.failureCode);
            RecordProperty(std::string(f.route) + ", " + r.what, points);
            std::printf("%s, %s: %d allocations, each failed once\n", f.route, r.what, points);
        }
    }
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 4);
    EXPECT_EQ(FindWindowW(L"Mirewick", nullptr), nullptr);
}

}  // namespace
}  // namespace sorvane::test
