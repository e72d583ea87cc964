// Decoding through the built plug-in, both input modes, every class of source format.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <utility>
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

// The pictures of the view table: A8R8G8B8, its DX10 twin B8G8R8A8 and X8R8G8B8, whose
// alpha climbs by 25 a column.
constexpr uint32_t kViewWidth = 10, kViewHeight = 2;
uint32_t ViewPixel(uint32_t x, uint32_t y) { return (x * 25) << 24 | (30 + y) << 16 | 20 << 8 | (10 + x); }
struct ViewFile {
    const wchar_t* what;
    Bytes file;
    bool hasAlpha;
};
std::vector<ViewFile> ViewFiles() {
    Bytes bgra;
    for (uint32_t y = 0; y < kViewHeight; ++y) {
        for (uint32_t x = 0; x < kViewWidth; ++x) {
            for (int i = 0; i < 4; ++i) bgra.push_back(static_cast<uint8_t>(ViewPixel(x, y) >> (8 * i)));
        }
    }
    return {{L"legacy", WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, kViewWidth, kViewHeight, ViewPixel)), true},
            {L"DX10", WriteDx10Dds(Dx10(87, kViewWidth, kViewHeight, bgra)), true},
            {L"opaque", WriteDds(MakeUncompressed(DdsFormat::X8R8G8B8, kViewWidth, kViewHeight, ViewPixel)), false}};
}

// The views: the checkerboard's squares meet between columns 7 and 8, and a format without
// alpha shows alpha 255.
const struct ViewCase {
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

// The views of the settings, on both routes and from both input forms, against pictures worked
// out here.
TEST_F(DecodeTest, ViewsFollowTheSettings) {
    const std::vector<ViewFile> files = ViewFiles();
    for (const ViewCase& view : kViews) {
        DeleteSettingsKey();
        SetSettingsDword(view.value, view.number);
        for (const ViewFile& f : files) {
            SCOPED_TRACE(testing::Message() << view.value << L", " << f.what);
            for (const Dib& dib : {DecodeMemory(f.file), DecodeFile(dir_.Write(L"view.dds", f.file))}) {
                ASSERT_EQ(dib.result, 0);
                ASSERT_EQ(dib.header.biBitCount, view.bits);
                const size_t stride = (size_t{kViewWidth} * view.bits / 8 + 3) / 4 * 4;
                for (uint32_t y = 0; y < kViewHeight; ++y) {
                    for (uint32_t x = 0; x < kViewWidth; ++x) {
                        const std::vector<uint8_t> want = view.expected(x, y, f.hasAlpha ? x * 25 : 255);
                        const uint8_t* at = dib.bits.data() + (kViewHeight - 1 - y) * stride + x * want.size();
                        EXPECT_EQ(std::vector<uint8_t>(at, at + want.size()), want) << x << "," << y;
                    }
                }
            }
            PictureInfo info{};
            ASSERT_EQ(LoadedPlugin().GetPictureInfo(reinterpret_cast<const char*>(f.file.data()), static_cast<LONG_PTR>(f.file.size()), 1, &info), 0);
            EXPECT_EQ(info.bitsPerPixel, static_cast<int16_t>(view.bits));
        }
    }
    DeleteSettingsKey();
}

// Solid pictures, one colour an image, for telling the images of a laid-out file apart.
Bytes Solid(DdsFormat format, uint32_t width, uint32_t height, Bgra c) {
    const uint32_t value = uint32_t{c.a} << 24 | c.r << 16 | c.g << 8 | c.b;
    return MakeUncompressed(format, width, height, [&](uint32_t, uint32_t) { return value; }).data;
}
Bytes SolidBlocks(DdsFormat format, uint32_t width, uint32_t height, const Bytes& block) {
    return MakeCompressed(format, width, height, [&](uint32_t, uint32_t) { return block; }).data;
}
Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

struct Placed {
    uint32_t x, y, width, height;
    Bgra colour;
};
struct LayoutCase {
    const char* what;
    Bytes file;
    DWORD layout;
    int under;  // what alpha shows: 0 white (the default), 1 nothing (removed), 2 the checkerboard
    uint32_t width, height;
    std::vector<Placed> images;
};

// The settings of a row of the layout table, written to the settings key.
void SetLayoutSettings(const LayoutCase& c) {
    DeleteSettingsKey();
    SetSettingsDword(L"Layout", c.layout);
    if (c.under == 1) SetSettingsDword(L"Alpha", 0);
    if (c.under == 2) SetSettingsDword(L"Backdrop", 1);
}

// A cube map, a cube of two faces, an array, a volume and mip chains, of both routes (the
// legacy files are D3DX's while it is there), each image a solid colour of its own.
std::vector<LayoutCase> LayoutCases() {
    const Bgra k[] = {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {0, 255, 255, 255}, {255, 255, 0, 255}, {128, 64, 32, 255}};
    DdsImage cube = MakeUncompressed(DdsFormat::X8R8G8B8, 4, 4, [](uint32_t, uint32_t) { return 0; });
    cube.cube = true;
    cube.data = Solid(DdsFormat::X8R8G8B8, 4, 4, k[0]);
    for (int face = 1; face < 6; ++face) cube.rest = Joined({cube.rest, Solid(DdsFormat::X8R8G8B8, 4, 4, k[face])});
    DdsImage twoFaces = cube;
    twoFaces.cubeFaces = 0x9;  // +X and -Y
    twoFaces.rest = Solid(DdsFormat::X8R8G8B8, 4, 4, k[1]);
    DdsImage volume = MakeUncompressed(DdsFormat::A8R8G8B8, 2, 2, [](uint32_t, uint32_t) { return 0; });
    volume.depth = 3;
    volume.data = Solid(DdsFormat::A8R8G8B8, 2, 2, k[0]);
    volume.rest = Joined({Solid(DdsFormat::A8R8G8B8, 2, 2, k[1]), Solid(DdsFormat::A8R8G8B8, 2, 2, k[2])});
    // Half transparent, so that the checkerboard shows through from the whole picture's corner.
    const Bgra half[] = {{0, 0, 255, 128}, {0, 255, 0, 128}, {255, 0, 0, 128}};
    Dx10Image array = Dx10(87, 3, 2, Solid(DdsFormat::A8R8G8B8, 3, 2, half[0]));  // B8G8R8A8: the same bytes
    array.arraySize = 3;
    array.rest = Joined({Solid(DdsFormat::A8R8G8B8, 3, 2, half[1]), Solid(DdsFormat::A8R8G8B8, 3, 2, half[2])});
    const std::vector<Placed> elements = {{0, 0, 3, 2, half[0]}, {3, 0, 3, 2, half[1]}, {6, 0, 3, 2, half[2]}};
    // DXT1 of pure 5-6-5 colours, levels 16 x 8 down to 1 x 1.
    const uint16_t c565[] = {Rgb565(31, 0, 0), Rgb565(0, 63, 0), Rgb565(0, 0, 31), Rgb565(31, 63, 0), Rgb565(0, 63, 31)};
    DdsImage chain = MakeCompressed(DdsFormat::DXT1, 16, 8, [&](uint32_t, uint32_t) { return Dxt1Block(c565[0], c565[0], 0); });
    chain.mipCount = 5;
    for (uint32_t m = 1; m < 5; ++m) {
        chain.rest = Joined({chain.rest, SolidBlocks(DdsFormat::DXT1, 16 >> m, std::max(8u >> m, 1u), Dxt1Block(c565[m], c565[m], 0))});
    }
    DdsImage shortChain = chain;  // five levels named, two in the file
    shortChain.rest.resize(16);
    // BC7 of even channels, an odd size: 5 x 3, 2 x 1, 1 x 1.
    Dx10Image bc7 = Dx10(98, 5, 3, Joined({Bc7SolidBlock(254, 0, 0, 254), Bc7SolidBlock(254, 0, 0, 254)}));
    bc7.mipCount = 3;
    bc7.rest = Joined({Bc7SolidBlock(0, 254, 0, 254), Bc7SolidBlock(0, 0, 254, 254)});
    const Bgra red{0, 0, 254, 254}, green{0, 254, 0, 254}, blue{254, 0, 0, 254};
    const Bgra dxt[] = {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {0, 255, 255, 255}, {255, 255, 0, 255}};
    const std::vector<Placed> cross = {{8, 4, 4, 4, k[0]}, {0, 4, 4, 4, k[1]}, {4, 0, 4, 4, k[2]},
                                       {4, 8, 4, 4, k[3]}, {4, 4, 4, 4, k[4]}, {12, 4, 4, 4, k[5]}};
    return {
        {"cube", WriteDds(cube), 1, 0, 16, 12, cross},
        {"cube, alpha removed", WriteDds(cube), 1, 1, 16, 12, cross},
        {"cube over the checkerboard", WriteDds(cube), 1, 2, 16, 12, cross},
        {"cube of +X and -Y", WriteDds(twoFaces), 1, 0, 16, 12, {{8, 4, 4, 4, k[0]}, {4, 8, 4, 4, k[1]}}},
        {"array", WriteDx10Dds(array), 1, 0, 9, 2, elements},
        {"array over the checkerboard", WriteDx10Dds(array), 1, 2, 9, 2, elements},
        {"volume", WriteDds(volume), 1, 0, 6, 2, {{0, 0, 2, 2, k[0]}, {2, 0, 2, 2, k[1]}, {4, 0, 2, 2, k[2]}}},
        {"cube's chain", WriteDds(cube), 2, 0, 4, 4, {{0, 0, 4, 4, k[0]}}},
        {"DXT1 chain", WriteDds(chain), 2, 0, 31, 8,
         {{0, 0, 16, 8, dxt[0]}, {16, 0, 8, 4, dxt[1]}, {24, 0, 4, 2, dxt[2]}, {28, 0, 2, 1, dxt[3]}, {30, 0, 1, 1, dxt[4]}}},
        {"DXT1 chain short of data", WriteDds(shortChain), 2, 0, 24, 8, {{0, 0, 16, 8, dxt[0]}, {16, 0, 8, 4, dxt[1]}}},
        {"BC7 chain of an odd size", WriteDx10Dds(bc7), 2, 0, 8, 3, {{0, 0, 5, 3, red}, {5, 0, 2, 1, green}, {7, 0, 1, 1, blue}}},
    };
}

// Every image of each file of the layout table, from both input forms, against pictures placed
// here. The gaps are transparent black, so the default settings show them white and "remove"
// black.
TEST_F(DecodeTest, LayoutsPlaceEveryImage) {
    for (const LayoutCase& c : LayoutCases()) {
        SCOPED_TRACE(c.what);
        SetLayoutSettings(c);
        // Gaps are transparent black: they show what is under them.
        const auto under = [&](uint32_t x, uint32_t y) -> uint8_t {
            return c.under == 1 ? 0 : c.under == 2 && (x / 8 + y / 8) % 2 == 1 ? 204 : 255;
        };
        std::vector<Bgra> expected(size_t{c.width} * c.height);
        for (uint32_t y = 0; y < c.height; ++y) {
            for (uint32_t x = 0; x < c.width; ++x) expected[y * c.width + x] = {under(x, y), under(x, y), under(x, y), 255};
        }
        for (const Placed& p : c.images) {
            for (uint32_t y = p.y; y < p.y + p.height; ++y) {
                for (uint32_t x = p.x; x < p.x + p.width; ++x) {
                    const uint32_t a = c.under == 1 ? 255 : p.colour.a, g = under(x, y);
                    const auto blend = [&](uint8_t v) { return static_cast<uint8_t>((v * a + g * (255 - a)) / 255); };
                    expected[y * c.width + x] = {blend(p.colour.b), blend(p.colour.g), blend(p.colour.r), 255};
                }
            }
        }
        const std::wstring path = dir_.Write(L"laid.dds", c.file);
        for (const Dib& dib : {DecodeMemory(c.file), DecodeFile(path)}) {
            ASSERT_EQ(dib.result, 0);
            ExpectHeader(dib, Size{c.width, c.height}, 24);
            int mismatches = 0;
            for (uint32_t y = 0; y < c.height; ++y) {
                for (uint32_t x = 0; x < c.width; ++x) {
                    const uint8_t* at = dib.Pixel24(x, y);
                    const Bgra& want = expected[y * c.width + x];
                    mismatches += at[0] != want.b || at[1] != want.g || at[2] != want.r;
                }
            }
            EXPECT_EQ(mismatches, 0);
        }
        PictureInfo info{};
        ASSERT_EQ(LoadedPlugin().GetPictureInfoW(path.c_str(), 0, 0, &info), 0);
        EXPECT_EQ(std::vector<int>({info.width, info.height, info.bitsPerPixel}), std::vector<int>({int(c.width), int(c.height), 24}));
    }
    DeleteSettingsKey();
}

// Information and decoding answer from one plan: for every file and setting of the view and
// layout tables, from both input forms, the information's width, height and bit count are the
// decoded DIB's.
TEST_F(DecodeTest, InformationDescribesTheDecodedDib) {
    struct Row {
        std::wstring what;
        Bytes file;
        std::function<void()> settings;
    };
    std::vector<Row> rows;
    for (const ViewCase& view : kViews) {
        for (ViewFile& f : ViewFiles()) {
            rows.push_back({std::wstring(view.value) + L", " + f.what, std::move(f.file), [&view] {
                                DeleteSettingsKey();
                                SetSettingsDword(view.value, view.number);
                            }});
        }
    }
    for (LayoutCase& c : LayoutCases()) {
        const std::string what = c.what;
        rows.push_back({std::wstring(what.begin(), what.end()), c.file, [c] { SetLayoutSettings(c); }});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.what);
        row.settings();
        const std::wstring path = dir_.Write(L"planned.dds", row.file);
        for (const bool memory : {false, true}) {
            SCOPED_TRACE(memory ? "memory" : "file");
            PictureInfo info{};
            const int answer = memory ? LoadedPlugin().GetPictureInfo(reinterpret_cast<const char*>(row.file.data()),
                                                                      static_cast<LONG_PTR>(row.file.size()), 1, &info)
                                      : LoadedPlugin().GetPictureInfoW(path.c_str(), 0, 0, &info);
            ASSERT_EQ(answer, 0);
            const Dib dib = memory ? DecodeMemory(row.file) : DecodeFile(path);
            ASSERT_EQ(dib.result, 0);
            EXPECT_EQ(std::vector<int>({info.width, info.height, info.bitsPerPixel}),
                      std::vector<int>({dib.header.biWidth, dib.header.biHeight, dib.header.biBitCount}));
        }
    }
    DeleteSettingsKey();
}

// Normal Z from two-channel formats at their full precision, on every route: BC5's levels
// between its endpoints, 16-bit channels. Pixel i (left to right, then down) has channels
// xy[i] / q; red and green stay as they are without normal Z.
TEST_F(DecodeTest, NormalZIsReconstructedFromTheChannels) {
    struct Case {
        const char* what;
        Bytes file;
        uint32_t width;
        int64_t q;
        std::vector<std::pair<int64_t, int64_t>> xy;
        bool sameColour = true;  // false where D3DX gives the picture without normal Z
    };
    const auto words = [](std::initializer_list<uint32_t> values, int bytes) {
        Bytes out;
        for (uint32_t v : values) {
            for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return out;
    };
    // BC5 levels in 35ths of a stored unit: texel i takes index i. Eight levels where e0 > e1,
    // else six and the extremes.
    const auto level = [](int e0, int e1, int index, bool isSigned) -> int64_t {
        if (index < 2) return 35 * (index == 0 ? e0 : e1);
        if (e0 <= e1 && index >= 6) return 35 * (index == 6 ? (isSigned ? -127 : 0) : (isSigned ? 127 : 255));
        const int steps = e0 > e1 ? 7 : 5;
        return 35 / steps * (e0 * (steps + 1 - index) + e1 * (index - 1));
    };
    // Indices 0 to 7 for texels 0 to 7, twice over.
    const Bytes bc5 = {200, 10, 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA, 30, 250, 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA};
    Bytes bc5s = bc5;
    bc5s[0] = 100, bc5s[1] = 0x80, bc5s[8] = 0xE2, bc5s[9] = 120;  // 100 and -127 (stored -128); -30 and 120
    std::vector<std::pair<int64_t, int64_t>> bc5Unsigned, bc5Signed;
    for (int i = 0; i < 8; ++i) {
        bc5Unsigned.push_back({2 * level(200, 10, i, false) - 35 * 255, 2 * level(30, 250, i, false) - 35 * 255});
        bc5Signed.push_back({level(100, -127, i, true), level(-30, 120, i, true)});
    }
    const Case kCases[] = {
        {"R8G8_UNORM", WriteDx10Dds(Dx10(49, 4, 1, words({0x0000, 0xFFFF, 0x8080, 0x01FE}, 2))), 4, 255,
         {{-255, -255}, {255, 255}, {1, 1}, {253, -253}}},
        {"R8G8_SNORM", WriteDx10Dds(Dx10(51, 3, 1, words({0x8080, 0x7F00, 0x2D5A}, 2))), 3, 127,
         {{-127, -127}, {0, 127}, {90, 45}}},
        {"V8U8", WriteLegacyDds({0x80000, 0, 16, 0xFF, 0xFF00, 0, 0}, 2, 1, words({0x2D5A, 0x0081}, 2)), 2, 127,
         {{90, 45}, {-127, 0}}, false},
        // 40000 and 20000: 241.5012, where channels rounded to bytes first would give 241.
        {"R16G16_UNORM", WriteDx10Dds(Dx10(35, 2, 1, words({20000u << 16 | 40000u, 0xFFFF0000u}, 4))), 2, 65535,
         {{2 * 40000 - 65535, 2 * 20000 - 65535}, {-65535, 65535}}},
        {"R16G16_SNORM", WriteDx10Dds(Dx10(37, 2, 1, words({0x8000u << 16 | 1000u, 0x7FFFu}, 4))), 2, 32767,
         {{1000, -32767}, {32767, 0}}},
        {"BC5_UNORM", WriteDx10Dds(Dx10(83, 4, 2, bc5)), 4, 35 * 255, bc5Unsigned},
        {"ATI2", WriteLegacyDds({0x4, 0x32495441, 0, 0, 0, 0, 0}, 4, 2, bc5), 4, 35 * 255, bc5Unsigned},
        {"BC5_SNORM", WriteDx10Dds(Dx10(84, 4, 2, bc5s)), 4, 35 * 127, bc5Signed},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        DeleteSettingsKey();
        const Dib plain = DecodeMemory(c.file);
        ASSERT_EQ(plain.result, 0);
        SetSettingsDword(L"NormalZ", 1);
        for (const Dib& dib : {DecodeMemory(c.file), DecodeFile(dir_.Write(L"normal.dds", c.file))}) {
            ASSERT_EQ(dib.result, 0);
            for (uint32_t i = 0; i < c.xy.size(); ++i) {
                const uint8_t* at = dib.Pixel24(i % c.width, i / c.width);
                EXPECT_EQ(at[0], ExpectedBlue(c.xy[i].first, c.xy[i].second, c.q)) << "pixel " << i;
                const uint8_t* before = plain.Pixel24(i % c.width, i / c.width);
                if (c.sameColour) {
                    EXPECT_TRUE(at[1] == before[1] && at[2] == before[2]) << "pixel " << i;
                }
            }
        }
    }
    DeleteSettingsKey();
}

// Stored floats as half floats: exact for the values below, Inf and NaN included.
Bytes Halves(std::initializer_list<float> values) {
    Bytes out;
    for (const float v : values) {
        uint32_t f;
        std::memcpy(&f, &v, sizeof f);
        const uint32_t sign = f >> 16 & 0x8000, exponent = f >> 23 & 0xFF;
        const uint32_t h = std::isnan(v)  ? 0x7E00
                           : exponent == 0xFF ? sign | 0x7C00
                           : v == 0           ? sign
                                              : sign | (exponent - 112) << 10 | (f >> 13 & 0x3FF);
        out.push_back(static_cast<uint8_t>(h));
        out.push_back(static_cast<uint8_t>(h >> 8));
    }
    return out;
}
Bytes Floats(std::initializer_list<float> values) {
    Bytes out(values.size() * 4);
    std::memcpy(out.data(), std::data(values), out.size());
    return out;
}

// HDR pictures under ToneMap, from both input forms, against the rules worked out here in
// double: a row's pixels are the red, green, blue the rules start from and the alpha byte.
TEST_F(DecodeTest, ToneMapShowsHdrColours) {
    using Rgba = std::array<double, 4>;
    const double inf = INFINITY, nan = NAN;
    Dx10Image chain = Dx10(10, 2, 1, Halves({1, 1, 1, 1, 0, 0, 0, 1}));
    chain.mipCount = 2;
    chain.rest = Halves({10, 10, 10, 1});
    const Bytes rgba = Halves({0.5f, 2, 8, 0.5f, NAN, -1, INFINITY, 1, 0, 0, 0, 0, 40, 3, 0.25f, 1});
    const std::vector<Rgba> rgbaSeen = {{0.5, 2, 8, 128}, {nan, -1, inf, 255}, {0, 0, 0, 0}, {40, 3, 0.25, 255}};
    const struct {
        const char* what;
        Bytes file;
        std::vector<std::pair<const wchar_t*, DWORD>> settings;
        std::vector<Rgba> pixels;
    } kCases[] = {
        {"RGBA16F", WriteDx10Dds(Dx10(10, 4, 1, rgba)), {{L"Bits", 32}}, rgbaSeen},
        {"RGBA16F over the checkerboard", WriteDx10Dds(Dx10(10, 4, 1, rgba)), {{L"Backdrop", 1}}, rgbaSeen},
        {"A16B16G16R16F, which D3DX reads", WriteLegacyDds({0x4, 113, 0, 0, 0, 0, 0}, 4, 1, rgba), {{L"Bits", 32}},
         rgbaSeen},
        {"R32F grey, 2.5 stops down", WriteDx10Dds(Dx10(41, 4, 1, Floats({0.5f, 3, -2, 100}))),
         {{L"Bits", 32}, {L"Exposure", static_cast<DWORD>(-25)}},
         {{0.5, 0.5, 0.5, 255}, {3, 3, 3, 255}, {-2, -2, -2, 255}, {100, 100, 100, 255}}},
        {"RG16F, 1.5 stops up", WriteDx10Dds(Dx10(34, 2, 1, Halves({4, 0.5f, 0.25f, 16}))),
         {{L"Bits", 32}, {L"Exposure", 15}}, {{4, 0.5, 0, 255}, {0.25, 16, 0, 255}}},
        {"a mip chain, the brighter level second", WriteDx10Dds(chain), {{L"Bits", 32}, {L"Layout", 2}},
         {{1, 1, 1, 255}, {0, 0, 0, 255}, {10, 10, 10, 255}}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        DeleteSettingsKey();
        SetSettingsDword(L"ToneMap", 1);
        double exposure = 0, lmax = 0;
        for (const auto& [name, value] : c.settings) {
            SetSettingsDword(name, value);
            if (std::wstring(name) == L"Exposure") exposure = static_cast<int32_t>(value) / 10.0;
        }
        std::vector<Rgba> seen = c.pixels;
        for (Rgba& p : seen) {
            for (int i = 0; i < 3; ++i) p[i] = std::isnan(p[i]) || p[i] < 0 ? 0 : p[i] * std::exp2(exposure);
            const double l = 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
            if (std::isfinite(l)) lmax = std::max(lmax, l);
        }
        if (lmax == 0) lmax = 1;
        const auto mapped = [&](double v) {
            const double c = std::isinf(v) ? 1 : std::min(v * (1 + v / (lmax * lmax)) / (1 + v), 1.0);
            return static_cast<int>(std::floor(255 * (c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055) + 0.5));
        };
        const auto width = static_cast<uint32_t>(seen.size());
        for (const Dib& dib : {DecodeMemory(c.file), DecodeFile(dir_.Write(L"hdr.dds", c.file))}) {
            ASSERT_EQ(dib.result, 0);
            ASSERT_EQ(dib.header.biWidth, static_cast<LONG>(width));
            const int bytes = dib.header.biBitCount / 8;
            for (uint32_t x = 0; x < width; ++x) {
                const Rgba& p = seen[x];
                const int alpha = static_cast<int>(p[3]), grey = x / 8 % 2 == 0 ? 255 : 204;
                for (int i = 0; i < bytes; ++i) {
                    int want = i == 3 ? alpha : mapped(p[2 - i]);
                    if (bytes == 3) want = (want * alpha + grey * (255 - alpha)) / 255;
                    EXPECT_NEAR(dib.bits[x * bytes + i], want, 1) << "pixel " << x << ", byte " << i;
                }
            }
        }
    }
    DeleteSettingsKey();
}

// ToneMap leaves every other format as it is: 8-bit colour and depth.
TEST_F(DecodeTest, ToneMapLeavesOtherFormats) {
    const Bytes kFiles[] = {WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 4, 1, [](uint32_t x, uint32_t) { return 0x80102030u + x; })),
                            WriteDx10Dds(Dx10(40, 4, 1, Floats({0.25f, 2, -1, 0.5f})))};
    for (const Bytes& file : kFiles) {
        DeleteSettingsKey();
        SetSettingsDword(L"Bits", 32);
        const Dib plain = DecodeMemory(file);
        SetSettingsDword(L"ToneMap", 1);
        const Dib mapped = DecodeMemory(file);
        ASSERT_EQ(plain.result, 0);
        EXPECT_EQ(mapped.bits, plain.bits);
    }
    DeleteSettingsKey();
}

}  // namespace
}  // namespace sorvane::test
