// Files of other formats are refused without D3DX looking at them: Wine's PNG decoder keeps
// megabytes for every look at a PNG whose data stops short of its size.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace sorvane::test {
namespace {

// A PNG of 24 x 557072 pixels with 16 bytes of data; the decoder does not check the CRCs (0).
Bytes ShortPng() {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&b](const char* type, const Bytes& data) {
        for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(data.size() >> shift));
        b.insert(b.end(), type, type + 4);
        b.insert(b.end(), data.begin(), data.end());
        b.insert(b.end(), 4, 0);
    };
    chunk("IHDR", {0, 0, 0, 24, 0, 0x08, 0x80, 0x10, 8, 2, 0, 0, 0});
    chunk("IDAT", Bytes(16, 0x5A));
    chunk("IEND", {});
    return b;
}

TEST(ForeignFile, AShortPngIsRefusedAndCostsNothing) {
    const Plugin& p = LoadedPlugin();
    TempDir dir;
    const Bytes png = ShortPng();
    const std::wstring path = dir.Write(L"short.dds", png);
    Bytes head(2048);  // as a host hands over the first bytes, zero-padded
    std::copy(png.begin(), png.end(), head.begin());
    const auto* memory = reinterpret_cast<const wchar_t*>(png.data());

    const uint64_t before = CommittedPrivateBytes();
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        PictureInfo info{};
        EXPECT_EQ(p.GetPictureInfoW(memory, static_cast<LONG_PTR>(png.size()), 1, &info), 2);
        EXPECT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 2);
        EXPECT_EQ(p.IsSupportedW(nullptr, reinterpret_cast<ULONG_PTR>(head.data())), 0);
        EXPECT_EQ(p.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(head.data())), 0);
    }
    // Each round cost 26 MiB when D3DX looked at the bytes.
    EXPECT_LT(CommittedPrivateBytes() - before, 8ull << 20);
}

}  // namespace
}  // namespace sorvane::test
