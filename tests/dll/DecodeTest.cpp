// Decoding through the built plug-in, both input modes, every class of source format.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestSupport.h"

namespace sorvane::test {
namespace {

uint32_t Hash(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    return h ^ (h >> 12);
}

// One source pixel: its stored value and the 32-bit blue, green, red, alpha that D3DX gives.
struct Texel {
    uint32_t stored;
    Bgra decoded;
};

uint8_t Pick(uint32_t h, int bit) { return (h >> bit) & 1 ? 255 : 0; }

// Texels whose decoding is exact in every format: channels of fewer than 8 bits are only
// ever all zeros or all ones.
Texel MakeTexel(DdsFormat format, uint32_t x, uint32_t y) {
    const uint32_t h = Hash(x, y);
    const uint8_t b = h & 0xFF, g = (h >> 8) & 0xFF, r = (h >> 16) & 0xFF, a = (h >> 24) & 0xFF;
    switch (format) {
    case DdsFormat::A8R8G8B8: return {h, {b, g, r, a}};
    case DdsFormat::X8R8G8B8: return {h & 0xFFFFFF, {b, g, r, 255}};
    case DdsFormat::R8G8B8: return {h & 0xFFFFFF, {b, g, r, 255}};
    case DdsFormat::R5G6B5: {
        const uint8_t R = Pick(h, 0), G = Pick(h, 1), B = Pick(h, 2);
        return {uint32_t((R ? 0xF800 : 0) | (G ? 0x7E0 : 0) | (B ? 0x1F : 0)), {B, G, R, 255}};
    }
    case DdsFormat::X1R5G5B5:  // kept as 16-bit words; only the decoded words are compared
        return {h & 0x7FFF, {}};
    case DdsFormat::A1R5G5B5: {
        const uint8_t R = Pick(h, 0), G = Pick(h, 1), B = Pick(h, 2), A = Pick(h, 3);
        return {uint32_t((A ? 0x8000 : 0) | (R ? 0x7C00 : 0) | (G ? 0x3E0 : 0) | (B ? 0x1F : 0)), {B, G, R, A}};
    }
    case DdsFormat::A8L8: return {uint32_t(a) << 8 | r, {r, r, r, a}};
    // D3DX gives an alpha-only texel white colour channels.
    case DdsFormat::A8: return {a, {255, 255, 255, a}};
    case DdsFormat::L8: return {r, {r, r, r, 255}};
    default: return {0, {}};
    }
}

struct Size {
    uint32_t width, height;
};
// One texel, partial blocks and padded rows, and rows wider than a block row.
constexpr Size kSizes[] = {{1, 1}, {5, 7}, {17, 3}};

Bgra Compose(const Bgra& p) {  // default settings: composite over white
    auto blend = [&](uint8_t c) { return static_cast<uint8_t>((c * p.a + 255 * (255 - p.a)) / 255); };
    return {blend(p.b), blend(p.g), blend(p.r), 255};
}

void ExpectHeader(const Dib& dib, Size size, int bitCount) {
    EXPECT_EQ(dib.header.biSize, 40u);
    EXPECT_EQ(dib.header.biWidth, static_cast<LONG>(size.width));
    EXPECT_EQ(dib.header.biHeight, static_cast<LONG>(size.height));
    EXPECT_EQ(dib.header.biPlanes, 1);
    EXPECT_EQ(dib.header.biBitCount, bitCount);
    EXPECT_EQ(dib.header.biCompression, static_cast<DWORD>(BI_RGB));
    const size_t stride = ((size.width * bitCount + 31) / 32) * 4;
    EXPECT_GE(dib.bitsBlockSize, size.height * stride + 4);
}

class DecodeTest : public testing::Test {
protected:
    void SetUp() override {
        SORVANE_REQUIRE_D3D();
        ASSERT_NE(LoadedPlugin().GetPictureW, nullptr);
        DeleteSettingsKey();
    }
    TempDir dir_;
};

TEST_F(DecodeTest, UncompressedFormatsInBothModes) {
    const DdsFormat kFormats[] = {DdsFormat::A8R8G8B8, DdsFormat::X8R8G8B8, DdsFormat::R8G8B8,
                                  DdsFormat::R5G6B5,   DdsFormat::A1R5G5B5, DdsFormat::A8L8,
                                  DdsFormat::A8,       DdsFormat::L8,       DdsFormat::X1R5G5B5};
    for (const DdsFormat format : kFormats) {
        // Formats that may carry alpha are composited; opaque ones are taken as they are.
        const bool alpha = format == DdsFormat::A8R8G8B8 || format == DdsFormat::A1R5G5B5 ||
                           format == DdsFormat::A8L8 || format == DdsFormat::A8;
        for (const Size size : kSizes) {
            SCOPED_TRACE(testing::Message() << FormatName(format) << " " << size.width << "x" << size.height);
            const Bytes file = WriteDds(MakeUncompressed(format, size.width, size.height, [&](uint32_t x, uint32_t y) {
                return MakeTexel(format, x, y).stored;
            }));
            const std::wstring path = dir_.Write(L"picture.dds", file);
            for (const bool memory : {false, true}) {
                SCOPED_TRACE(memory ? "memory" : "file");
                const Dib dib = memory ? DecodeMemory(file) : DecodeFile(path);
                ASSERT_EQ(dib.result, 0);
                const bool words = format == DdsFormat::X1R5G5B5;
                ExpectHeader(dib, size, words ? 16 : 24);
                const size_t stride = ((size.width * (words ? 16 : 24) + 31) / 32) * 4;
                int mismatches = 0;
                for (uint32_t y = 0; y < size.height; ++y) {
                    // The first row in memory is the picture's bottom row.
                    const uint8_t* row = dib.bits.data() + (size.height - 1 - y) * stride;
                    for (uint32_t x = 0; x < size.width; ++x) {
                        const Texel t = MakeTexel(format, x, y);
                        if (words) {
                            uint16_t word;
                            std::memcpy(&word, row + 2 * x, 2);
                            mismatches += (word & 0x7FFF) != t.stored;
                            continue;
                        }
                        const Bgra want = alpha ? Compose(t.decoded) : t.decoded;
                        mismatches += row[3 * x] != want.b || row[3 * x + 1] != want.g || row[3 * x + 2] != want.r;
                    }
                }
                EXPECT_EQ(mismatches, 0);
            }
        }
    }
}

// DXT blocks of white and black texels with chosen alpha: decoding is exact.
TEST_F(DecodeTest, BlockCompressedFormatsInBothModes) {
    const uint16_t white = 0xFFFF, black = 0x0000;
    struct Case {
        DdsFormat format;
        Bytes block;
        // Per texel of every block (texel i at x = i % 4, y = i / 4): colour and alpha.
        uint8_t colour[16];
        uint8_t alpha[16];
    };
    // Indices: texel i uses bits 2i..2i+1. 0 = c0, 1 = c1, 3 = transparent black when c0 <= c1.
    const uint32_t checker = 0x44444444u;  // texels 1, 3, 5, ... take c1
    const uint64_t kOddTexelsIndexOne = 0x208208208208ull;  // 3-bit alpha indices
    Case kCases[] = {
        {DdsFormat::DXT1, Dxt1Block(white, black, checker),
         {255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0}, {}},
        // c0 <= c1: index 3 is transparent black (texels 0 to 7), index 1 white (8 to 15).
        {DdsFormat::DXT1, Dxt1Block(black, white, 0x5555FFFFu),
         {0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255}, {}},
        // Explicit alpha 0, 1, 2, ..., 15 (times 17) on white.
        {DdsFormat::DXT3, Dxt3Block(0xFEDCBA9876543210ull, white, black, 0),
         {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}, {}},
        // Alpha a0 = 255 (index 0) on even texels and a1 = 0 (index 1) on odd ones, on white.
        {DdsFormat::DXT5, Dxt5Block(255, 0, kOddTexelsIndexOne, white, black, 0),
         {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}, {}},
    };
    for (int i = 0; i < 16; ++i) {
        kCases[0].alpha[i] = 255;
        kCases[1].alpha[i] = i < 8 ? 0 : 255;
        kCases[2].alpha[i] = static_cast<uint8_t>(i * 17);
        kCases[3].alpha[i] = i % 2 == 1 ? 0 : 255;
    }
    for (const Case& c : kCases) {
        for (const Size size : kSizes) {
            SCOPED_TRACE(testing::Message() << FormatName(c.format) << " " << size.width << "x" << size.height);
            const Bytes file = WriteDds(MakeCompressed(c.format, size.width, size.height,
                                                       [&](uint32_t, uint32_t) { return c.block; }));
            const std::wstring path = dir_.Write(L"block.dds", file);
            for (const bool memory : {false, true}) {
                const Dib dib = memory ? DecodeMemory(file) : DecodeFile(path);
                ASSERT_EQ(dib.result, 0);
                ExpectHeader(dib, size, 24);
                const size_t stride = ((size.width * 24 + 31) / 32) * 4;
                int mismatches = 0;
                for (uint32_t y = 0; y < size.height; ++y) {
                    const uint8_t* row = dib.bits.data() + (size.height - 1 - y) * stride;
                    for (uint32_t x = 0; x < size.width; ++x) {
                        const int texel = (y % 4) * 4 + x % 4;
                        const uint8_t v = c.colour[texel];
                        const Bgra want = Compose({v, v, v, c.alpha[texel]});
                        mismatches += row[3 * x] != want.b || row[3 * x + 1] != want.g || row[3 * x + 2] != want.r;
                    }
                }
                EXPECT_EQ(mismatches, 0) << (memory ? "memory" : "file");
            }
        }
    }
}

// On both routes: D3DX's legacy A8R8G8B8 and our reader's DX10 B8G8R8A8 of the same pixels
// (without D3DX, both our reader's).
TEST_F(DecodeTest, AlphaFollowsTheSettings) {
    // One row: alpha 0 (colour bytes 10, 20, 30), alpha 255, and two blended pixels.
    const uint32_t pixels[] = {0x001E140A, 0xFF283C50, 0x80FF0000, 0x7F000064};
    const Bytes legacy = WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 4, 1, [&](uint32_t x, uint32_t) { return pixels[x]; }));
    Bytes bytes(sizeof pixels);
    std::memcpy(bytes.data(), pixels, sizeof pixels);
    const Bytes dx10 = WriteDx10Dds(Dx10(87, 4, 1, bytes));  // B8G8R8A8_UNORM: the same bytes
    const struct {
        const wchar_t* what;
        bool setAlpha;
        DWORD alpha;
        bool setColor;
        DWORD color;
        uint8_t expected[12];
    } kCases[] = {
        {L"default: composite over white", false, 0, false, 0,
         {255, 255, 255, 0x50, 0x3C, 0x28, 127, 127, 255, 177, 128, 128}},
        {L"remove", true, 0, false, 0, {10, 20, 30, 0x50, 0x3C, 0x28, 0, 0, 255, 100, 0, 0}},
        {L"2 means remove", true, 2, true, 0x00FFFFFF, {10, 20, 30, 0x50, 0x3C, 0x28, 0, 0, 255, 100, 0, 0}},
        {L"composite over black", true, 1, true, 0, {0, 0, 0, 0x50, 0x3C, 0x28, 0, 0, 128, 49, 0, 0}},
        // COLORREF 0x00332211: red 0x11, green 0x22, blue 0x33.
        {L"composite over a colour", true, 1, true, 0x00332211,
         {0x33, 0x22, 0x11, 0x50, 0x3C, 0x28, 25, 16, 136, 75, 17, 8}},
    };
    for (const auto& c : kCases) {
        for (const Bytes* file : {&legacy, &dx10}) {
            SCOPED_TRACE(testing::Message() << c.what << (file == &dx10 ? L", DX10" : L", legacy"));
            DeleteSettingsKey();
            if (c.setAlpha) SetSettingsDword(L"Alpha", c.alpha);
            if (c.setColor) SetSettingsDword(L"Color", c.color);
            const Dib dib = DecodeMemory(*file);
            ASSERT_EQ(dib.result, 0);
            for (int i = 0; i < 12; ++i) EXPECT_EQ(dib.bits[i], c.expected[i]) << "byte " << i;
        }
    }
    DeleteSettingsKey();
}

// The views of the settings, on both routes and from both input forms, against pictures worked
// out here: the checkerboard's squares meet between columns 7 and 8, alpha climbs by 25 a
// column, and a format without alpha shows alpha 255.
TEST_F(DecodeTest, ViewsFollowTheSettings) {
    constexpr uint32_t kWidth = 10, kHeight = 2;
    const auto pixel = [](uint32_t x, uint32_t y) { return (x * 25) << 24 | (30 + y) << 16 | 20 << 8 | (10 + x); };
    const Bytes legacy = WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, kWidth, kHeight, pixel));
    Bytes bgra;
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            for (int i = 0; i < 4; ++i) bgra.push_back(static_cast<uint8_t>(pixel(x, y) >> (8 * i)));
        }
    }
    const Bytes dx10 = WriteDx10Dds(Dx10(87, kWidth, kHeight, bgra));
    const Bytes opaque = WriteDds(MakeUncompressed(DdsFormat::X8R8G8B8, kWidth, kHeight, pixel));
    const struct {
        const wchar_t* value;
        DWORD number;
        uint32_t bits;
        // The DIB pixel (blue, green, red[, alpha]) of picture pixel (x, y) with the given alpha.
        std::vector<uint8_t> (*expected)(uint32_t x, uint32_t y, uint32_t alpha);
    } kViews[] = {
        {L"Backdrop", 1, 24, [](uint32_t x, uint32_t y, uint32_t a) {
             const uint32_t grey = x / 8 % 2 == 0 ? 255 : 204;
             const auto blend = [&](uint32_t c) { return static_cast<uint8_t>((c * a + grey * (255 - a)) / 255); };
             return std::vector<uint8_t>{blend(10 + x), blend(20), blend(30 + y)};
         }},
        {L"Channel", 1, 24, [](uint32_t, uint32_t, uint32_t a) {
             return std::vector<uint8_t>{uint8_t(a), uint8_t(a), uint8_t(a)};
         }},
        {L"Bits", 32, 32, [](uint32_t x, uint32_t y, uint32_t a) {
             return std::vector<uint8_t>{uint8_t(10 + x), 20, uint8_t(30 + y), uint8_t(a)};
         }},
    };
    const std::wstring path = dir_.Write(L"view.dds", legacy);
    for (const auto& view : kViews) {
        DeleteSettingsKey();
        SetSettingsDword(view.value, view.number);
        for (const Bytes* file : {&legacy, &dx10, &opaque}) {
            const bool hasAlpha = file != &opaque;
            SCOPED_TRACE(testing::Message() << view.value << (file == &legacy ? L", legacy" : file == &dx10 ? L", DX10" : L", opaque"));
            for (const Dib& dib : {DecodeMemory(*file), DecodeFile(dir_.Write(L"view.dds", *file))}) {
                ASSERT_EQ(dib.result, 0);
                ASSERT_EQ(dib.header.biBitCount, view.bits);
                const size_t stride = (size_t{kWidth} * view.bits / 8 + 3) / 4 * 4;
                for (uint32_t y = 0; y < kHeight; ++y) {
                    for (uint32_t x = 0; x < kWidth; ++x) {
                        const std::vector<uint8_t> want = view.expected(x, y, hasAlpha ? x * 25 : 255);
                        const uint8_t* at = dib.bits.data() + (kHeight - 1 - y) * stride + x * want.size();
                        EXPECT_EQ(std::vector<uint8_t>(at, at + want.size()), want) << x << "," << y;
                    }
                }
            }
            PictureInfo info{};
            ASSERT_EQ(LoadedPlugin().GetPictureInfo(reinterpret_cast<const char*>(file->data()), static_cast<LONG_PTR>(file->size()), 1, &info), 0);
            EXPECT_EQ(info.bitsPerPixel, static_cast<int16_t>(view.bits));
        }
    }
    DeleteSettingsKey();
}

}  // namespace
}  // namespace sorvane::test
