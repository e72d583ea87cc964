// Pictures that D3DX describes but Wine's D3DX does not load (cube maps, volumes) go to our
// reader: the DIB keeps the bit count that GetPictureInfo gave from D3DX's description, so
// X1R5G5B5 rows stay 16-bit and unchanged, as on D3DX's own route.
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"

namespace sorvane::test {
namespace {

struct DepthCase {
    const char* name;
    DdsFormat format;
    uint32_t depth;
    bool cube;
    int bits;  // of GetPictureInfo's record and of the DIB
};

const DepthCase kCases[] = {
    {"X1R5G5B5", DdsFormat::X1R5G5B5, 0, false, 16},
    {"X1R5G5B5 cube map", DdsFormat::X1R5G5B5, 0, true, 16},
    {"X1R5G5B5 volume", DdsFormat::X1R5G5B5, 2, false, 16},
    {"A1R5G5B5 cube map", DdsFormat::A1R5G5B5, 0, true, 24},
    {"R5G6B5 volume", DdsFormat::R5G6B5, 2, false, 24},
};

TEST(FallbackDepth, TheDibHasTheDescribedBitCount) {
    SORVANE_REQUIRE_D3D();
    const Plugin& p = LoadedPlugin();
    TempDir dir;
    constexpr uint32_t kWidth = 5, kHeight = 3;
    for (const DepthCase& c : kCases) {
        SCOPED_TRACE(c.name);
        DdsImage image = MakeUncompressed(c.format, kWidth, kHeight, [](uint32_t x, uint32_t y) { return 0x8000 | (x * 0x0C63 + y * 0x1084); });
        image.depth = c.depth;
        image.cube = c.cube;
        const Bytes file = WriteDds(image);
        const std::wstring path = dir.Write(L"fallback.dds", file);

        PictureInfo info{};
        ASSERT_EQ(p.GetPictureInfo(reinterpret_cast<const char*>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &info), 0);
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        ASSERT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 0);
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        for (const Dib& dib : {DecodeMemory(file), DecodeFile(path)}) {
            ASSERT_EQ(dib.result, 0);
            EXPECT_EQ(dib.header.biBitCount, c.bits);
            if (c.bits != 16 || dib.header.biBitCount != 16) continue;
            // Row y of the picture is DIB row height - 1 - y, rows 4-byte aligned.
            for (uint32_t y = 0; y < kHeight; ++y) {
                EXPECT_EQ(0, std::memcmp(dib.bits.data() + (kHeight - 1 - y) * 12, image.data.data() + y * kWidth * 2, kWidth * 2))
                    << "row " << y;
            }
        }
    }
}

}  // namespace
}  // namespace sorvane::test
