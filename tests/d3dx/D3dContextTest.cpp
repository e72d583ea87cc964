#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "D3dContext.h"
#include "DdsWriter.h"
#include "OpaqueFormats.h"
#include "SurfaceLoad.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

using test::DdsFormat;

TEST(OpaqueFormats, ChooseTheDecodeSurface) {
    const D3DFORMAT kOpaque[] = {
        D3DFMT_R16F,   D3DFMT_G16R16F,  D3DFMT_G8R8_G8B8, D3DFMT_R8G8_B8G8, D3DFMT_UYVY,     D3DFMT_YUY2,
        D3DFMT_R32F,   D3DFMT_G32R32F,  D3DFMT_L6V5U5,    D3DFMT_X8L8V8U8,  D3DFMT_R8G8B8,   D3DFMT_X8R8G8B8,
        D3DFMT_R5G6B5, D3DFMT_R3G3B2,   D3DFMT_X4R4G4B4,  D3DFMT_X8B8G8R8,  D3DFMT_G16R16,   D3DFMT_P8,
        D3DFMT_L8,     D3DFMT_L16};
    for (const D3DFORMAT f : kOpaque) {
        EXPECT_TRUE(IsOpaqueFormat(f)) << f;
        EXPECT_EQ(DecodeSurfaceFor(f).format, D3DFMT_R8G8B8) << f;
    }
    EXPECT_TRUE(IsOpaqueFormat(D3DFMT_X1R5G5B5));
    EXPECT_EQ(DecodeSurfaceFor(D3DFMT_X1R5G5B5).format, D3DFMT_X1R5G5B5);
    const D3DFORMAT kMayHaveAlpha[] = {D3DFMT_DXT1, D3DFMT_DXT3,     D3DFMT_DXT5,   D3DFMT_A8L8,
                                       D3DFMT_A8,   D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_V8U8,
                                       D3DFMT_Q8W8V8U8, D3DFMT_A2W10V10U10, D3DFMT_UNKNOWN};
    for (const D3DFORMAT f : kMayHaveAlpha) {
        EXPECT_FALSE(IsOpaqueFormat(f)) << f;
        EXPECT_EQ(DecodeSurfaceFor(f).format, D3DFMT_A8R8G8B8) << f;
    }
}

TEST(OpaqueFormats, DecodeSurfacesGiveTheirDibs) {
    const struct {
        D3DFORMAT source;
        uint32_t sourceBits;
        uint16_t dibBits;
        bool disposesAlpha;
    } kCases[] = {
        {D3DFMT_DXT5, 32, 24, true}, {D3DFMT_L8, 24, 24, false}, {D3DFMT_X1R5G5B5, 16, 16, false}};
    for (const auto& c : kCases) {
        const DecodeSurface& surface = DecodeSurfaceFor(c.source);
        EXPECT_EQ(FindDecodeSurface(surface.format), &surface);
        EXPECT_EQ(surface.sourceBits, c.sourceBits);
        EXPECT_EQ(surface.dibBits, c.dibBits);
        EXPECT_EQ(surface.disposesAlpha, c.disposesAlpha);
    }
    EXPECT_EQ(FindDecodeSurface(D3DFMT_X8R8G8B8), nullptr);
}

TEST(OpaqueFormats, SimultaneousFirstCallsBuildTheSetOnce) {
    for (int round = 0; round < 20; ++round) {
        OpaqueFormatSet set;  // not yet built: every thread's call may be the first
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&] {
                ++ready;
                while (ready.load() < 8) {
                }
                EXPECT_TRUE(set.Contains(D3DFMT_L8));
                EXPECT_FALSE(set.Contains(D3DFMT_DXT1));
            });
        }
        for (auto& t : threads) t.join();
        EXPECT_EQ(set.BuildCount(), 1);
    }
}

TEST(D3dContext, UsesTheThreadsOwnWindowAndLeavesIt) {
    SORVANE_REQUIRE_D3D();
    HWND mine = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(mine, nullptr);
    {
        D3dContext context;
        ASSERT_EQ(context.Create(), kSuccess);
        EXPECT_EQ(context.focusWindow(), mine);
        EXPECT_FALSE(context.ownsWindow());
        EXPECT_EQ(FindWindowW(L"Mirewick", nullptr), nullptr);
    }
    EXPECT_TRUE(IsWindow(mine));
    DestroyWindow(mine);
}

TEST(D3dContext, MakesAndDestroysAHiddenWindowOnAThreadWithout) {
    SORVANE_REQUIRE_D3D();
    std::thread([] {
        for (int round = 0; round < 3; ++round) {
            HWND hidden = nullptr;
            {
                D3dContext context;
                ASSERT_EQ(context.Create(), kSuccess);
                ASSERT_TRUE(context.ownsWindow());
                hidden = context.focusWindow();
                EXPECT_EQ(FindWindowW(L"Mirewick", L"Mirewick"), hidden);
                EXPECT_FALSE(IsWindowVisible(hidden));
                EXPECT_NE(context.plainDevice(), nullptr);
            }
            EXPECT_FALSE(IsWindow(hidden));
            EXPECT_EQ(FindThreadWindow(), nullptr);
        }
    }).join();
}

#if !defined(_WIN64)
TEST(FpuPrecisionGuard, SetsFiftyThreeBitsAndPutsThePrecisionBack) {
    uint16_t before;
    __asm__ __volatile__("fnstcw %0" : "=m"(before));
    const uint16_t extended = static_cast<uint16_t>(before | 0x0300);
    __asm__ __volatile__("fldcw %0" : : "m"(extended));
    {
        FpuPrecisionGuard guard;
        uint16_t inside;
        __asm__ __volatile__("fnstcw %0" : "=m"(inside));
        EXPECT_EQ(inside & 0x0300, 0x0200);
        EXPECT_EQ(guard.recordedX87() & 0x0300u, 0x0300u);
    }
    uint16_t after;
    __asm__ __volatile__("fnstcw %0" : "=m"(after));
    EXPECT_EQ(after, extended);
    __asm__ __volatile__("fldcw %0" : : "m"(before));
}
#endif

struct LoadCase {
    DdsFormat format;
    D3DFORMAT surface;
    uint32_t pixel;  // stored value of every pixel
    uint8_t expected[4];  // first pixel of the locked surface, in its own byte order
};

TEST(LoadDdsSurface, DecodesIntoTheChosenSurfaceFormat) {
    SORVANE_REQUIRE_D3D();
    const LoadCase kCases[] = {
        {DdsFormat::A8R8G8B8, D3DFMT_A8R8G8B8, 0x80112233, {0x33, 0x22, 0x11, 0x80}},
        {DdsFormat::X8R8G8B8, D3DFMT_R8G8B8, 0x00445566, {0x66, 0x55, 0x44}},
        {DdsFormat::R8G8B8, D3DFMT_R8G8B8, 0x778899, {0x99, 0x88, 0x77}},
        {DdsFormat::R5G6B5, D3DFMT_R8G8B8, 0xF800, {0x00, 0x00, 0xFF}},
        {DdsFormat::X1R5G5B5, D3DFMT_X1R5G5B5, 0x7C1F, {0x1F, 0x7C}},
        {DdsFormat::A8L8, D3DFMT_A8R8G8B8, 0x40FF, {0xFF, 0xFF, 0xFF, 0x40}},
        {DdsFormat::L8, D3DFMT_R8G8B8, 0x5A, {0x5A, 0x5A, 0x5A}},
    };
    D3dContext context;
    ASSERT_EQ(context.Create(), kSuccess);
    for (const LoadCase& c : kCases) {
        SCOPED_TRACE(test::FormatName(c.format));
        const test::Bytes file = test::WriteDds(test::MakeUncompressed(c.format, 5, 3, [&](uint32_t, uint32_t) {
            return c.pixel;
        }));
        ComRef<IDirect3DSurface9> surface;
        ASSERT_EQ(test::LoadWithD3dx(context, file, surface), kSuccess);
        D3DSURFACE_DESC desc;
        ASSERT_HRESULT_SUCCEEDED(surface->GetDesc(&desc));
        EXPECT_EQ(desc.Format, c.surface);
        EXPECT_EQ(desc.Width, 5u);
        EXPECT_EQ(desc.Height, 3u);
        D3DLOCKED_RECT rect;
        ASSERT_HRESULT_SUCCEEDED(surface->LockRect(&rect, nullptr, D3DLOCK_READONLY));
        const size_t pixelBytes = c.surface == D3DFMT_A8R8G8B8 ? 4 : c.surface == D3DFMT_R8G8B8 ? 3 : 2;
        const auto* last = static_cast<const uint8_t*>(rect.pBits) + 2 * rect.Pitch + 4 * pixelBytes;
        EXPECT_EQ(std::memcmp(rect.pBits, c.expected, pixelBytes), 0);
        EXPECT_EQ(std::memcmp(last, c.expected, pixelBytes), 0);
        surface->UnlockRect();
    }
}

}  // namespace
}  // namespace sorvane
