// Our DDS reader against D3DX: a DX10 file of a format with a D3D9 twin must show as D3DX shows
// the twin as a legacy file. And the one pass of our pictures into the DIB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>
#include <random>
#include <vector>

#include "D3dContext.h"
#include "D3dxLibrary.h"
#include "DdsPicture.h"
#include "DdsReader.h"
#include "PictureBuilder.h"
#include "PixelConversion.h"
#include "RowLoop.h"
#include "SurfaceLoad.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

using test::Bytes;
using test::DdsFormat;
using test::ExpectedBlue;

enum class Data { Bytes, Halves, Floats };

struct Twin {
    DdsFormat legacy;
    uint32_t dxgi;
    uint32_t unitBytes;  // of a pixel, or of a 4 x 4 block
    Data data;
    // Wine's D3DX swaps A2B10G10R10's red and blue, refuses A16B16G16R16, and narrows G16R16's
    // channels by dropping their low byte where they are to be rounded: these rows are
    // checked against the format's own arithmetic instead.
    bool d3dxKnownWrong = false;
};

const Twin kTwins[] = {
    {DdsFormat::A8R8G8B8, 87, 4, Data::Bytes},       {DdsFormat::X8R8G8B8, 88, 4, Data::Bytes},
    {DdsFormat::A8B8G8R8, 28, 4, Data::Bytes},       {DdsFormat::G16R16, 35, 4, Data::Bytes, true},
    {DdsFormat::R5G6B5, 85, 2, Data::Bytes},         {DdsFormat::A1R5G5B5, 86, 2, Data::Bytes},
    {DdsFormat::A4R4G4B4, 115, 2, Data::Bytes},      {DdsFormat::A8, 65, 1, Data::Bytes},
    {DdsFormat::R16F, 54, 2, Data::Halves},          {DdsFormat::A16B16G16R16F, 10, 8, Data::Halves},
    {DdsFormat::R32F, 41, 4, Data::Floats},          {DdsFormat::A32B32G32R32F, 2, 16, Data::Floats},
    {DdsFormat::DXT1, 71, 8, Data::Bytes},           {DdsFormat::DXT3, 74, 16, Data::Bytes},
    {DdsFormat::DXT5, 77, 16, Data::Bytes},
    {DdsFormat::A2B10G10R10, 24, 4, Data::Bytes, true}, {DdsFormat::A16B16G16R16, 11, 8, Data::Bytes, true},
};

// Random stored data: bytes, or halves and floats in [0, 1], denormals and values halfway
// between two bytes included. Wine's D3DX does not clamp floats outside [0, 1] (they wrap),
// so clamping is checked against the format alone, in the reader's own tests.
Bytes RandomData(const Twin& twin, size_t units, std::mt19937& random) {
    Bytes out(units * twin.unitBytes);
    if (twin.data == Data::Bytes) {
        for (uint8_t& b : out) b = static_cast<uint8_t>(random());
    } else if (twin.data == Data::Halves) {
        for (size_t i = 0; i < out.size(); i += 2) {
            const uint16_t h = static_cast<uint16_t>(random() % 0x3C01);  // 0 to 1.0
            std::memcpy(&out[i], &h, 2);
        }
    } else {
        std::uniform_real_distribution<float> spread(0.0f, 1.0f);
        for (size_t i = 0; i < out.size(); i += 4) {
            const float f = i % 40 == 0 ? (random() % 255 + 0.5f) / 255.0f : spread(random);
            std::memcpy(&out[i], &f, 4);
        }
    }
    return out;
}

std::vector<uint8_t> OursOf(const Bytes& file, dds::DdsImage& image) {
    EXPECT_EQ(dds::ReadDds(file.data(), file.size(), image), dds::ReadResult::Ok);
    std::vector<uint8_t> out(size_t{image.width} * image.height * 4);
    if (image.pixels) dds::DecodeRows(image, 0, image.height, out.data(), image.width * 4);
    return out;
}

// What the format defines, for the rows D3DX under Wine gets wrong.
std::vector<uint8_t> FromTheFormat(const Twin& twin, const Bytes& data, size_t pixels) {
    std::vector<uint8_t> out;
    auto put = [&out](double b, double g, double r, double a) {
        for (double v : {b, g, r, a}) out.push_back(static_cast<uint8_t>(std::lround(v * 255.0)));
    };
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = &data[i * twin.unitBytes];
        if (twin.legacy == DdsFormat::A2B10G10R10) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            put(((v >> 20) & 1023) / 1023.0, ((v >> 10) & 1023) / 1023.0, (v & 1023) / 1023.0, (v >> 30) / 3.0);
        } else if (twin.legacy == DdsFormat::G16R16) {
            uint16_t c[2];
            std::memcpy(c, p, 4);
            put(1.0, c[1] / 65535.0, c[0] / 65535.0, 1.0);
        } else {
            uint16_t c[4];
            std::memcpy(c, p, 8);
            put(c[2] / 65535.0, c[1] / 65535.0, c[0] / 65535.0, c[3] / 65535.0);
        }
    }
    return out;
}

TEST(OwnReader, TwinsShowAsD3dxShowsThem) {
    SORVANE_REQUIRE_D3D();
    D3dContext context;
    ASSERT_EQ(context.Create(), kSuccess);
    std::mt19937 random(20261207);
    const uint32_t width = 253, height = 131;  // partial blocks at the right and the bottom
    for (const Twin& twin : kTwins) {
        SCOPED_TRACE(test::FormatName(twin.legacy));
        const bool blocks = test::IsBlockCompressed(twin.legacy);
        const size_t units = blocks ? size_t{(width + 3) / 4} * ((height + 3) / 4) : size_t{width} * height;
        const Bytes data = RandomData(twin, units, random);
        test::DdsImage legacy;
        legacy.format = twin.legacy;
        legacy.width = width;
        legacy.height = height;
        legacy.data = data;
        const test::Dx10Image dx10 = test::Dx10(twin.dxgi, width, height, data);

        dds::DdsImage image;
        const std::vector<uint8_t> ours = OursOf(test::WriteDx10Dds(dx10), image);
        std::vector<uint8_t> expected;
        size_t bytes = 4;  // compared per pixel: 3 for an opaque twin, whose surface has no alpha
        if (twin.d3dxKnownWrong) {
            expected = FromTheFormat(twin, data, size_t{width} * height);
        } else {
            const Bytes file = test::WriteDds(legacy);
            ComRef<IDirect3DSurface9> surface;
            ASSERT_EQ(test::LoadWithD3dx(context, file, surface), kSuccess);
            D3DSURFACE_DESC desc;
            ASSERT_HRESULT_SUCCEEDED(surface->GetDesc(&desc));
            bytes = desc.Format == D3DFMT_A8R8G8B8 ? 4 : 3;
            EXPECT_EQ(bytes == 4, image.alpha) << "the twin's alpha decides the disposal";
            D3DLOCKED_RECT rect;
            ASSERT_HRESULT_SUCCEEDED(surface->LockRect(&rect, nullptr, D3DLOCK_READONLY));
            for (uint32_t y = 0; y < height; ++y) {
                const auto* row = static_cast<const uint8_t*>(rect.pBits) + y * rect.Pitch;
                for (uint32_t x = 0; x < width; ++x) {
                    expected.insert(expected.end(), row + bytes * x, row + bytes * x + bytes);
                    if (bytes == 3) expected.push_back(255);
                }
            }
            surface->UnlockRect();
        }
        int mismatches = 0;
        for (size_t i = 0; i < size_t{width} * height; ++i) {
            if (std::memcmp(&ours[4 * i], &expected[4 * i], bytes) == 0) continue;
            if (mismatches++ == 0) {
                ADD_FAILURE() << "pixel " << i % width << "," << i / width << ": ours " << int(ours[4 * i]) << " "
                              << int(ours[4 * i + 1]) << " " << int(ours[4 * i + 2]) << " " << int(ours[4 * i + 3])
                              << ", expected " << int(expected[4 * i]) << " " << int(expected[4 * i + 1]) << " "
                              << int(expected[4 * i + 2]) << " " << int(expected[4 * i + 3]);
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

// What a request hands over: the DIB's bit count and its pixel block.
struct Picture {
    PluginResult result = kInternalError;
    WORD bitCount = 0;
    std::vector<uint8_t> bits;
    bool operator==(const Picture& o) const { return result == o.result && bitCount == o.bitCount && bits == o.bits; }
};

Picture Decode(const Bytes& file, const std::wstring* path) {
    HLOCAL info = nullptr, bits = nullptr;
    const PictureRequest request{nullptr, 0, &info, &bits};
    Picture picture;
    picture.result = path != nullptr ? DecodeFromFile(path->c_str(), request)
                                     : DecodeFromMemory(file.data(), static_cast<intptr_t>(file.size()), request);
    if (picture.result == kSuccess) {
        const auto* header = static_cast<const BITMAPINFOHEADER*>(info);
        picture.bitCount = header->biBitCount;
        const size_t size = size_t{DibStride(header->biWidth, header->biBitCount)} * header->biHeight;
        picture.bits.assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + size);
    }
    LocalFree(info);
    LocalFree(bits);
    return picture;
}

class WithoutD3dx : public testing::Test {
protected:
    void TearDown() override { SetD3dxUsable(true); }
};

// Every legacy format D3DX reads: where D3DX is missing, our reader gives the picture D3DX's
// route gives (alpha composited over white by default), from both input forms. Where Wine's
// D3DX is known wrong, our picture of the legacy file equals our picture of its DX10 twin,
// which the test above checks against the format's own arithmetic.
// Legacy layouts the test writer has no format for: an A8R8G8B8 file's pixel format changed.
struct Layout {
    const char* name;
    uint32_t flags, fourCc, bits, red, green, blue, alpha;
    uint32_t pixelBytes;
    Data data;
};
const Layout kMoreLayouts[] = {
    {"R3G3B2", 0x40, 0, 8, 0xE0, 0x1C, 0x03, 0, 1, Data::Bytes},
    {"A8R3G3B2", 0x41, 0, 16, 0xE0, 0x1C, 0x03, 0xFF00, 2, Data::Bytes},
    {"A4L4", 0x20001, 0, 8, 0x0F, 0, 0, 0xF0, 1, Data::Bytes},
    {"G16R16F", 0x4, 112, 0, 0, 0, 0, 0, 4, Data::Halves},
    {"G32R32F", 0x4, 115, 0, 0, 0, 0, 0, 8, Data::Floats},
    {"V8U8", 0x80000, 0, 16, 0xFF, 0xFF00, 0, 0, 2, Data::Bytes},
    {"YUY2", 0x4, dds::FourCc('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0, 2, Data::Bytes},
};

TEST_F(WithoutD3dx, EveryLegacyFormatGivesD3dxsPicture) {
    SORVANE_REQUIRE_D3D();
    if (!test::D3dxPresent()) GTEST_SKIP() << "no D3DX here to compare with";
    test::DeleteSettingsKey();
    std::mt19937 random(20261208);
    const test::TempDir dir;
    const uint32_t width = 14, height = 7;  // partial blocks at the right and the bottom
    // `twin`: the DX10 format whose picture ours must equal where Wine's D3DX is known wrong.
    const auto compare = [&](const Bytes& file, uint32_t twin, const Bytes& data) {
        const std::wstring path = dir.Write(L"legacy.dds", file);
        for (const std::wstring* named : {static_cast<const std::wstring*>(nullptr), &path}) {
            SCOPED_TRACE(named != nullptr ? "file" : "memory");
            SetD3dxUsable(true);
            Picture expected = Decode(file, named);
            SetD3dxUsable(false);
            const Picture ours = Decode(file, named);
            ASSERT_EQ(ours.result, kSuccess);
            if (twin != 0) {
                expected = Decode(test::WriteDx10Dds(test::Dx10(twin, width, height, data)), nullptr);
            }
            EXPECT_TRUE(ours == expected) << "bits " << ours.bitCount << " against " << expected.bitCount;
        }
    };
    for (int f = 0; f <= static_cast<int>(DdsFormat::A32B32G32R32F); ++f) {
        const auto format = static_cast<DdsFormat>(f);
        SCOPED_TRACE(test::FormatName(format));
        const auto twin = std::find_if(std::begin(kTwins), std::end(kTwins), [format](const Twin& t) { return t.legacy == format; });
        const Twin like = twin != std::end(kTwins) ? *twin : Twin{format, 0, test::UnitSize(format), Data::Bytes};
        const bool blocks = test::IsBlockCompressed(format);
        const size_t units = blocks ? size_t{(width + 3) / 4} * ((height + 3) / 4) : size_t{width} * height;
        test::DdsImage legacy;
        legacy.format = format;
        legacy.width = width;
        legacy.height = height;
        legacy.data = RandomData(like, units, random);
        if (format == DdsFormat::P8) {
            for (uint32_t i = 0; i < 256; ++i) legacy.palette.push_back(0xFF000000u | i * 0x010305u);
        }
        compare(test::WriteDds(legacy), like.d3dxKnownWrong ? like.dxgi : 0, legacy.data);
    }
    for (const Layout& layout : kMoreLayouts) {
        SCOPED_TRACE(layout.name);
        test::DdsImage legacy;
        legacy.width = width;
        legacy.height = height;
        legacy.data = RandomData(Twin{DdsFormat::A8R8G8B8, 0, layout.pixelBytes, layout.data}, size_t{width} * height, random);
        Bytes file = test::WriteDds(legacy);
        const uint32_t fields[] = {layout.flags, layout.fourCc, layout.bits, layout.red, layout.green, layout.blue, layout.alpha};
        std::memcpy(file.data() + 80, fields, sizeof fields);  // the pixel format's flags to its alpha mask
        compare(file, 0, legacy.data);
    }
}

class OwnPass : public testing::Test {
protected:
    void TearDown() override { SetRowLoopsParallel(true); }
};

// The DIB our pass makes: each decoded row, bottom-up, through the row conversion.
std::vector<uint8_t> RowByRow(const dds::DdsImage& image, const AlphaMode& mode) {
    const uint32_t stride = DibStride(image.width, 24);
    std::vector<uint8_t> rows(size_t{image.width} * image.height * 4), dib(size_t{stride} * image.height + 4, 0);
    dds::DecodeRows(image, 0, image.height, rows.data(), image.width * 4);
    for (uint32_t y = 0; y < image.height; ++y) {
        ConvertRowTo24Bits(&rows[size_t{y} * image.width * 4], &dib[size_t{image.height - 1 - y} * stride], image.width,
                           stride, mode);
    }
    return dib;
}

std::vector<uint8_t> BlockOf(const PixelImage& dib) {
    const size_t size = static_cast<size_t>(dib.layout().stride) * dib.layout().height + 4;
    return std::vector<uint8_t>(dib.bits(), dib.bits() + size);
}

// Bands on the pool and chunks within them cover every row once, bottom-up, whatever the
// block rows; the picture is large enough for the pool to take part.
TEST_F(OwnPass, BandsGiveTheRowByRowPicture) {
    std::mt19937 random(7);
    test::Dx10Image dx10;
    dx10.dxgi = 98;  // BC7
    dx10.width = 301;
    dx10.height = 1203;
    dx10.data.resize(size_t{(301 + 3) / 4} * ((1203 + 3) / 4) * 16);
    for (uint8_t& b : dx10.data) b = static_cast<uint8_t>(random());
    const Bytes file = test::WriteDx10Dds(dx10);
    dds::DdsImage image;
    ASSERT_EQ(dds::ReadDds(file.data(), file.size(), image), dds::ReadResult::Ok);
    const AlphaMode mode{true, 10, 200, 30};
    const std::vector<uint8_t> expected = RowByRow(image, mode);
    for (const bool parallel : {false, true}) {
        SetRowLoopsParallel(parallel);
        PixelImage dib;
        ASSERT_EQ(DecodeDdsIntoDib(image, PixelView{mode}, dib), kSuccess);
        EXPECT_EQ(BlockOf(dib), expected) << "parallel " << parallel;
    }
}

TEST_F(OwnPass, PremultipliedAndOpaqueAlphaModes) {
    // B8G8R8A8 pixels: a colour stored multiplied by alpha 128, one brighter than its alpha
    // allows, one fully clear, one opaque.
    test::Dx10Image dx10;
    dx10.dxgi = 87;
    dx10.width = 4;
    dx10.data = {100, 64, 0, 128, 200, 10, 10, 100, 50, 60, 70, 0, 1, 2, 3, 255};
    const AlphaMode remove{false, 0, 0, 0}, overBlack{true, 0, 0, 0};
    const struct {
        uint32_t alphaMode;
        AlphaMode mode;
        std::vector<uint8_t> pixels;  // the 12 bytes of the DIB's row
    } kCases[] = {
        // 100 x 255 / 128 = 199.2, 64 -> 127.5 -> 128; 200 over alpha 100 is full; clear is 0.
        {2, remove, {199, 128, 0, 255, 26, 26, 0, 0, 0, 1, 2, 3}},
        // Then blended: 199 x 128 / 255 = 99.9 -> 99, as the straight colour would have been.
        {2, overBlack, {99, 64, 0, 100, 10, 10, 0, 0, 0, 1, 2, 3}},
        // Opaque: the alpha carries nothing, and the colours are shown as stored.
        {3, overBlack, {100, 64, 0, 200, 10, 10, 50, 60, 70, 1, 2, 3}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "alpha mode " << c.alphaMode << ", composite " << c.mode.composite);
        dx10.alphaMode = c.alphaMode;
        const Bytes file = test::WriteDx10Dds(dx10);
        dds::DdsImage image;
        ASSERT_EQ(dds::ReadDds(file.data(), file.size(), image), dds::ReadResult::Ok);
        PixelImage dib;
        ASSERT_EQ(DecodeDdsIntoDib(image, PixelView{c.mode}, dib), kSuccess);
        EXPECT_EQ(std::vector<uint8_t>(dib.bits(), dib.bits() + 12), c.pixels);
    }
}

TEST(NormalZBlue, EveryEightBitPairRoundsOnceHalfUp) {
    for (int u = 0; u < 256; ++u) {
        for (int v = 0; v < 256; ++v) {
            // UNORM: 2 (u / 255) - 1 = (2u - 255) / 255.
            ASSERT_EQ(NormalZBlue(2 * (u / 255.0) - 1, 2 * (v / 255.0) - 1), ExpectedBlue(2 * u - 255, 2 * v - 255, 255))
                << "UNORM " << u << ", " << v;
        }
    }
    for (int a = -127; a <= 127; ++a) {
        for (int b = -127; b <= 127; ++b) {
            ASSERT_EQ(NormalZBlue(a / 127.0, b / 127.0), ExpectedBlue(a, b, 127)) << "SNORM " << a << ", " << b;
        }
    }
}

TEST(NormalZBlue, WorkedValues) {
    const struct {
        double x, y;
        uint8_t blue;
    } kCases[] = {
        {0, 0, 255},    // z = 1
        {1, 0, 128},    // z = 0: 127.5 rounds up
        {0, -1, 128},   {1, 1, 128},  // 1 - x^2 - y^2 below 0 counts as 0
        {-1.5, 0, 128}, {0.6, 0.8, 128},
        {0, 0.28, 250},  // z = 0.96: 249.9
        {0.3, 0.4, 238},  // z = 0.866...: 237.92
        // 16-bit UNORM, 2v - 1 from v = 1000 / 65535: z = 0.2452, 158.76
        {2 * (1000 / 65535.0) - 1, 0, 159},
        // v = 40000 and 20000: 241.5012, where truncating would give 241
        {2 * (40000 / 65535.0) - 1, 2 * (20000 / 65535.0) - 1, 242},
        {std::nan(""), 0, 128},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(NormalZBlue(c.x, c.y), c.blue) << c.x << ", " << c.y;
    }
    // 16-bit UNORM pairs off the 257 grid of the 8-bit ones.
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 256; j += 5) {
            const int u = i * 257 - i % 7, v = j * 257 - (j * 3) % 11;
            ASSERT_EQ(NormalZBlue(2 * (u / 65535.0) - 1, 2 * (v / 65535.0) - 1),
                      ExpectedBlue(2 * u - 65535, 2 * v - 65535, 65535))
                << "UNORM16 " << u << ", " << v;
        }
    }
}

}  // namespace
}  // namespace sorvane
