// Memory that cannot be had, on purpose: the plug-in's n-th allocation fails, for n = 1, 2, ...
// until a request no longer meets a failure. Its imports of the allocators are replaced for the
// test; its own code stays as it is. It calls no HeapAlloc of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "Holders.h"
#include "AllocationWatch.h"
#include "TestSupport.h"

namespace sorvane::test {
namespace {

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
        watch_.reset(new AllocationWatch(LoadedPlugin().module));
        ASSERT_TRUE(watch_->ok()) << "an allocator import of the plug-in was not found";
    }
    void TearDown() override { watch_.reset(); }

    // Frees the blocks a request handed over, as the host does.
    void FreeHandedOver(const Outcome& outcome) {
        for (void* p : outcome.handedOver) {
            watch_->Forget(p);
            LocalFree(p);
        }
    }

    // Runs `request` failing its n-th allocation for every n it reaches; the request without
    // a failure gives `expected`. Returns how many allocations the request makes.
    int FailEachAllocation(const std::function<Outcome()>& request, int failureCode) {
        watch_->FailAt(0);
        const Outcome expected = request();
        FreeHandedOver(expected);
        EXPECT_EQ(expected.result, 0);
        // The first failure a request meets sets up what the runtime keeps for a thread that
        // has thrown; only what a request leaves behind after that counts.
        watch_->FailAt(1);
        FreeHandedOver(request());
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
            watch_->MarkLive();
            watch_->FailAt(n);
            const Outcome failed = request();
            const bool reached = watch_->allocations() >= n;
            watch_->FailAt(0);
            FreeHandedOver(failed);
            EXPECT_EQ(watch_->AddedSinceMark(), std::vector<size_t>()) << "blocks left behind, by size";
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
            FreeHandedOver(next);
            EXPECT_EQ(next.result, expected.result);
            EXPECT_EQ(next.output, expected.output);
            if (n > 500) {
                ADD_FAILURE() << "no end to the allocations";
                return n;
            }
        }
    }

    std::unique_ptr<AllocationWatch> watch_;
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
    // Laid out: D3DX's first level and our reader's others; two BC5 elements with normal Z.
    DdsImage chain = MakeCompressed(DdsFormat::DXT1, 8, 8, [](uint32_t x, uint32_t) { return Dxt1Block(0x1234, 0xF00F, x * 0x55); });
    chain.mipCount = 4;
    chain.rest = Bytes(8 * (1 + 1 + 1), 0x5A);
    Dx10Image bc5 = Dx10(83, 6, 5, Bytes(2 * 2 * 16, 0x3C));
    bc5.arraySize = 2;
    bc5.rest = Bytes(bc5.data.size(), 0xC3);
    Dx10Image halves = Dx10(10, 6, 5, Bytes(6 * 5 * 8, 0x3C));  // RGBA16F: its two passes over two levels
    halves.mipCount = 2;
    halves.rest = Bytes(3 * 2 * 8, 0x4A);
    const struct {
        const char* route;
        Bytes file;
        std::vector<std::pair<const wchar_t*, DWORD>> settings;
    } kFiles[] = {
        {"D3DX", WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 7, 5, [](uint32_t x, uint32_t y) { return 0x80102030u + x * 7 + y; })), {}},
        {"own reader", WriteDx10Dds(bc7), {}},
        {"D3DX, mip chain", WriteDds(chain), {{L"Layout", 2}}},
        {"own reader, every element, normal Z", WriteDx10Dds(bc5), {{L"Layout", 1}, {L"NormalZ", 1}}},
        {"own reader, tone-mapped mip chain", WriteDx10Dds(halves), {{L"Layout", 2}, {L"ToneMap", 1}}},
        // BC1 of 4 KiB a row of blocks: a file's band of 4 MiB, then one more row of blocks.
        {"own reader, two bands", WriteDx10Dds(Dx10(71, 2048, 4100, Bytes(512 * 1025 * 8, 0x6B))), {}},
    };
    const Plugin& p = LoadedPlugin();
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    for (const auto& f : kFiles) {
        DeleteSettingsKey();
        for (const auto& [name, value] : f.settings) SetSettingsDword(name, value);
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
    DeleteSettingsKey();
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 4);
    EXPECT_EQ(FindWindowW(L"Mirewick", nullptr), nullptr);
}

}  // namespace
}  // namespace sorvane::test
