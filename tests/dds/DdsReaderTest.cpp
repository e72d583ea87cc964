#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DdsReader.h"
#include "DdsWriter.h"

namespace sorvane::dds {
namespace {

using test::Bytes;

void Set32(Bytes& file, size_t offset, uint32_t value) { std::memcpy(file.data() + offset, &value, 4); }

// Field offsets in the file: magic 4, then the header.
constexpr size_t kHeaderSize = 4, kFlags = 8, kCaps = 108, kHeight = 12, kWidth = 16, kMipCount = 28, kPixelFormatSize = 76,
                 kPixelFlags = 80, kFourCc = 84, kBitCount = 88, kRedMask = 92, kAlphaMask = 104, kCaps2 = 112,
                 kDxgi = 128, kDimension = 132, kArraySize = 140;

Bytes Rgba8(uint32_t width, uint32_t height) {
    test::Dx10Image image;
    image.width = width;
    image.height = height;
    image.data.assign(size_t{width} * height * 4, 0x5A);
    return test::WriteDx10Dds(image);
}

Bytes Dxt1(uint32_t width, uint32_t height) {
    return test::WriteDds(test::MakeCompressed(test::DdsFormat::DXT1, width, height,
                                               [](uint32_t, uint32_t) { return test::Dxt1Block(0xFFFF, 0, 0); }));
}

Bytes Cut(Bytes file, size_t size) {
    file.resize(size);
    return file;
}

// A valid file changed in one place, and the reader's answer.
struct HeaderCase {
    const char* name;
    std::function<Bytes()> file;
    ReadResult expected;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

Bytes With(Bytes file, std::initializer_list<std::pair<size_t, uint32_t>> fields) {
    for (const auto& [offset, value] : fields) Set32(file, offset, value);
    return file;
}

const HeaderCase kHeaders[] = {
    {"DX10 R8G8B8A8", [] { return Rgba8(5, 3); }, ReadResult::Ok},
    {"legacy DXT1", [] { return Dxt1(5, 3); }, ReadResult::Ok},
    {"no magic", [] { return With(Rgba8(5, 3), {{0, 0x20534443}}); }, ReadResult::NotDds},
    {"pixel format size 31", [] { return With(Rgba8(5, 3), {{kPixelFormatSize, 31}}); }, ReadResult::NotDds},
    {"shorter than a header", [] { return Cut(Rgba8(5, 3), 127); }, ReadResult::NotDds},
    {"DX10 header cut", [] { return Cut(Rgba8(5, 3), 140); }, ReadResult::Invalid},
    {"width 0", [] { return With(Rgba8(5, 3), {{kWidth, 0}}); }, ReadResult::Invalid},
    {"height 0", [] { return With(Dxt1(5, 3), {{kHeight, 0}}); }, ReadResult::Invalid},
    {"width 2^31", [] { return With(Rgba8(5, 3), {{kWidth, 0x80000000}}); }, ReadResult::Invalid},
    {"2^31 - 1 square", [] { return With(Dxt1(4, 4), {{kWidth, 0x7FFFFFFF}, {kHeight, 0x7FFFFFFF}}); }, ReadResult::Truncated},
    // 2^31 - 1 square pixels of 16 bytes: the byte count overflows 64 bits.
    {"size past 64 bits", [] { return With(Rgba8(4, 4), {{kWidth, 0x7FFFFFFF}, {kHeight, 0x7FFFFFFF}, {kDxgi, 2}}); }, ReadResult::Invalid},
    {"DX10 buffer dimension", [] { return With(Rgba8(5, 3), {{kDimension, 1}}); }, ReadResult::Invalid},
    {"DX10 dimension 5", [] { return With(Rgba8(5, 3), {{kDimension, 5}}); }, ReadResult::Invalid},
    {"DX10 dimension 0, one row high, 1-D", [] { return With(Rgba8(5, 1), {{kDimension, 0}}); }, ReadResult::Ok},
    {"DX10 array size 2^32 - 1", [] { return With(Rgba8(5, 3), {{kArraySize, 0xFFFFFFFF}}); }, ReadResult::Ok},
    {"DX10 video format NV11", [] { return With(Rgba8(5, 3), {{kDxgi, 110}}); }, ReadResult::Unsupported},
    {"DX10 format 0", [] { return With(Rgba8(5, 3), {{kDxgi, 0}}); }, ReadResult::Unsupported},
    // Formats without a palette in the file, or whose chroma needs what no row gives.
    {"DX10 AI44", [] { return With(Rgba8(5, 3), {{kDxgi, 111}}); }, ReadResult::Unsupported},
    {"DX10 IA44", [] { return With(Rgba8(5, 3), {{kDxgi, 112}}); }, ReadResult::Unsupported},
    {"DX10 P8", [] { return With(Rgba8(5, 3), {{kDxgi, 113}}); }, ReadResult::Unsupported},
    {"DX10 A8P8", [] { return With(Rgba8(5, 3), {{kDxgi, 114}}); }, ReadResult::Unsupported},
    {"DX10 P208", [] { return With(Rgba8(5, 3), {{kDxgi, 130}}); }, ReadResult::Unsupported},
    {"DX10 V208", [] { return With(Rgba8(5, 3), {{kDxgi, 131}}); }, ReadResult::Unsupported},
    {"DX10 V408", [] { return With(Rgba8(5, 3), {{kDxgi, 132}}); }, ReadResult::Unsupported},
    {"DX10 number 192", [] { return With(Rgba8(5, 3), {{kDxgi, 192}}); }, ReadResult::Unsupported},
    // Chroma shared by pairs or 2 x 2 pixels needs even sizes.
    {"DX10 YUY2 width 5", [] { return With(Rgba8(5, 3), {{kDxgi, 107}}); }, ReadResult::Invalid},
    {"DX10 NV12 height 3", [] { return With(Rgba8(4, 3), {{kDxgi, 103}}); }, ReadResult::Invalid},
    {"DX10 P010 width 5", [] { return With(Rgba8(5, 4), {{kDxgi, 104}}); }, ReadResult::Invalid},
    {"DX10 NV12 4 x 4 one byte short", [] { return Cut(With(Rgba8(4, 4), {{kDxgi, 103}}), 148 + 24 - 1); }, ReadResult::Truncated},
    {"unknown FourCC", [] { return With(Dxt1(4, 4), {{kFourCc, 0x39585A51}}); }, ReadResult::Unsupported},
    {"YUV flag", [] { return With(Dxt1(4, 4), {{kPixelFlags, 0x200}}); }, ReadResult::Unsupported},
    // Without its flag a FourCC counts only where no other layout is named.
    {"FourCC beside the RGB flag", [] { return With(Dxt1(4, 4), {{kPixelFlags, 0x40}}); }, ReadResult::Unsupported},
    {"bump map", [] { return With(Dxt1(4, 4), {{kPixelFlags, 0x80000}, {kBitCount, 16}}); }, ReadResult::Unsupported},
    {"masks with a gap", [] { return With(Dxt1(4, 4), {{kPixelFlags, 0x40}, {kBitCount, 16}, {kRedMask, 0x0505}}); }, ReadResult::Unsupported},
    {"12 bits a pixel", [] { return With(Dxt1(4, 4), {{kPixelFlags, 0x40}, {kBitCount, 12}, {kRedMask, 0xF}}); }, ReadResult::Unsupported},
    {"one byte short", [] { Bytes f = Rgba8(5, 3); f.pop_back(); return f; }, ReadResult::Truncated},
    {"a DXT1 block short", [] { Bytes f = Dxt1(5, 3); f.resize(f.size() - 8); return f; }, ReadResult::Truncated},
};

class Headers : public testing::TestWithParam<HeaderCase> {};

TEST_P(Headers, AreReadOrRefused) {
    const Bytes file = GetParam().file();
    DdsImage image;
    EXPECT_EQ(ReadDds(file.data(), file.size(), image), GetParam().expected);
    // The header alone answers the same, except that it cannot see missing data.
    const ReadResult header = ReadDdsHeader(file.data(), file.size(), image);
    EXPECT_EQ(header, GetParam().expected == ReadResult::Truncated ? ReadResult::Ok : GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(OneFieldChanged, Headers, testing::ValuesIn(kHeaders));

// Headers as real tools write them, each beside its sound twin: read, with the same picture and
// the mip count capped to what the size allows.
struct LenientCase {
    const char* name;
    std::function<Bytes()> sound;
    std::vector<std::pair<size_t, uint32_t>> fields;  // the changed fields
    uint32_t mipLevels;
};

void PrintTo(const LenientCase& c, std::ostream* os) { *os << c.name; }

const LenientCase kLenient[] = {
    {"header size 24", [] { return Rgba8(5, 3); }, {{kHeaderSize, 24}}, 1},
    {"header size 0", [] { return Dxt1(5, 3); }, {{kHeaderSize, 0}}, 1},
    {"pixel format size 0", [] { return Rgba8(5, 3); }, {{kPixelFormatSize, 0}}, 1},
    {"pixel format size 24", [] { return Dxt1(5, 3); }, {{kPixelFormatSize, 24}}, 1},
    {"DXT1 without the FourCC flag", [] { return Dxt1(5, 3); }, {{kPixelFlags, 0}}, 1},
    {"DX10 without the FourCC flag", [] { return Rgba8(5, 3); }, {{kPixelFlags, 0}}, 1},
    {"no header flags or caps", [] { return Dxt1(5, 3); }, {{kFlags, 0}, {kCaps, 0}}, 1},
    {"mip count 3 for 5x3", [] { return Rgba8(5, 3); }, {{kMipCount, 3}}, 3},
    {"mip count 4 for 5x3, one picture of data", [] { return Rgba8(5, 3); }, {{kMipCount, 4}}, 3},
    {"unflagged mip count 2^32 - 1", [] { return Dxt1(4, 4); }, {{kMipCount, 0xFFFFFFFF}}, 3},
    {"DX10 dimension 0, 2-D", [] { return Rgba8(5, 3); }, {{kDimension, 0}}, 1},
    {"DX10 array size 0", [] { return Rgba8(5, 3); }, {{kArraySize, 0}}, 1},
};

class Lenient : public testing::TestWithParam<LenientCase> {};

// Decodes the whole picture.
std::vector<uint8_t> Decoded(const Bytes& file, DdsImage& image) {
    EXPECT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok);
    std::vector<uint8_t> out(size_t{image.width} * image.height * 4);
    if (image.pixels) DecodeRows(image, 0, image.height, out.data(), image.width * 4);
    return out;
}

TEST_P(Lenient, HeadersReadAsTheirSoundTwin) {
    const Bytes sound = GetParam().sound();
    Bytes lenient = sound;
    for (const auto& [offset, value] : GetParam().fields) Set32(lenient, offset, value);
    DdsImage soundImage, image;
    const std::vector<uint8_t> expected = Decoded(sound, soundImage);
    EXPECT_EQ(Decoded(lenient, image), expected);
    EXPECT_EQ(image.format, soundImage.format);
    EXPECT_EQ(image.mipLevels, GetParam().mipLevels);
}

INSTANTIATE_TEST_SUITE_P(RealTools, Lenient, testing::ValuesIn(kLenient));

// One pixel of each uncompressed format, stored as given, and what it shows as; for HDR
// formats also its full-precision red, green, blue and alpha (empty for the others).
struct PixelCase {
    const char* name;
    uint32_t dxgi;
    Bytes stored;
    std::array<int, 4> bgra;
    bool alpha;
    std::vector<float> hdr = {};
};

constexpr float kInf = INFINITY, kNaN = NAN;

// The pixel's full-precision channels, where the picture has them (NaN compares as itself).
void ExpectHdr(const DdsImage& image, const std::vector<float>& expected) {
    EXPECT_EQ(HasHdrChannels(image), !expected.empty());
    if (expected.empty() || !image.pixels) return;
    std::array<float, kHdrPixelFloats> rgba;
    DecodeHdrRows(image, 0, 1, rgba.data(), kHdrPixelFloats);
    for (size_t i = 0; i < kHdrPixelFloats; ++i) {
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(rgba[i])) << "channel " << i;
        } else {
            EXPECT_EQ(rgba[i], expected[i]) << "channel " << i;
        }
    }
}

void PrintTo(const PixelCase& c, std::ostream* os) { *os << c.name; }

const PixelCase kPixels[] = {
    {"R8G8B8A8", 28, {10, 20, 30, 40}, {30, 20, 10, 40}, true},
    {"R8G8B8A8_SRGB keeps its values", 29, {10, 20, 30, 40}, {30, 20, 10, 40}, true},
    {"B8G8R8A8", 87, {10, 20, 30, 40}, {10, 20, 30, 40}, true},
    {"B8G8R8X8", 88, {10, 20, 30, 40}, {10, 20, 30, 255}, false},
    // Red 1023, green 512, blue 1, alpha 2: each channel rounded from its width.
    {"R10G10B10A2", 24, {0xFF, 0x03, 0x08, 0x80}, {0, 128, 255, 170}, true},
    // Narrow channels widen by repeating their bits: blue 3 -> 24 (rounding would give 25),
    // green 33 -> 134, red 28 -> 231.
    {"B5G6R5", 85, {0x23, 0xE4}, {24, 134, 231, 255}, false},
    {"B5G5R5A1", 86, {0x03, 0xF0}, {24, 0, 231, 255}, true},
    {"B4G4R4A4", 115, {0x21, 0x43}, {17, 34, 51, 68}, true},
    {"R16G16B16A16 rounds 16 bits", 11, {0x80, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x01}, {0, 255, 128, 1}, true},
    // Red 0.5, green 2 (clamped), blue -1 (clamped), alpha 0.25.
    {"R16G16B16A16_FLOAT", 10, {0x00, 0x38, 0x00, 0x40, 0x00, 0xBC, 0x00, 0x34}, {0, 255, 128, 64}, true, {0.5f, 2, -1, 0.25f}},
    // Half subnormals: 2^-24 and -1023 x 2^-24; +Inf.
    {"R16G16B16A16_FLOAT subnormals", 10, {0x01, 0x00, 0xFF, 0x83, 0x00, 0x7C, 0x00, 0x3C}, {255, 0, 0, 255}, true,
     {0x1p-24f, -1023 * 0x1p-24f, kInf, 1}},
    {"R32G32B32A32_FLOAT", 2, {0, 0, 0, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0xC0, 0x7F, 0, 0, 0x80, 0x3E}, {0, 255, 128, 64}, true,
     {0.5f, 1, kNaN, 0.25f}},
    // The lacking blue channel is 255.
    {"R16G16", 35, {0xFF, 0xFF, 0x00, 0x80}, {255, 128, 255, 255}, false},
    // Its twin's 255s, but grey at full precision.
    {"R16_FLOAT", 54, {0x00, 0x38}, {255, 255, 128, 255}, false, {0.5f, 0.5f, 0.5f, 1}},
    {"R32_FLOAT NaN", 41, {0, 0, 0xC0, 0x7F}, {255, 255, 0, 255}, false, {kNaN, kNaN, kNaN, 1}},
    {"R8 is grey", 61, {77}, {77, 77, 77, 255}, false},
    {"R8G8 has no blue", 49, {77, 99}, {0, 99, 77, 255}, false},
    {"R16 is grey", 56, {0x80, 0x80}, {128, 128, 128, 255}, false},
    {"A8 is white", 65, {77}, {255, 255, 255, 77}, true},
    // UINT as UNORM and SINT as SNORM of their width, by the channel rules (no twin's 255).
    {"R8_UINT", 62, {200}, {200, 200, 200, 255}, false},
    {"R8_SNORM -128 is -1", 63, {0x80}, {0, 0, 0, 255}, false},
    {"R8_SINT", 64, {0x7F}, {255, 255, 255, 255}, false},
    {"R8G8_SNORM", 51, {0x7F, 0x00}, {0, 128, 255, 255}, false},
    {"R8G8B8A8_UINT", 30, {10, 20, 30, 40}, {30, 20, 10, 40}, true},
    // Alpha -63: (64 / 127) / 2 x 255 = 64.25.
    {"R8G8B8A8_SNORM", 31, {0x7F, 0x80, 0x00, 0xC1}, {128, 0, 255, 64}, true},
    // 16384 / 32767: 191.26.
    {"R16_SNORM", 58, {0x00, 0x40}, {191, 191, 191, 255}, false},
    {"R16_UINT", 57, {0xFF, 0xFF}, {255, 255, 255, 255}, false},
    {"R16G16_UINT has blue 0", 36, {0xFF, 0xFF, 0x00, 0x80}, {0, 128, 255, 255}, false},
    {"R16G16_TYPELESS as its twin", 33, {0xFF, 0xFF, 0x00, 0x80}, {255, 128, 255, 255}, false},
    {"R16G16_SNORM", 37, {0xFF, 0x7F, 0x00, 0x80}, {0, 0, 255, 255}, false},
    {"R16G16B16A16_SNORM", 13, {0xFF, 0x7F, 0, 0, 0, 0x80, 0xFF, 0x7F}, {0, 128, 255, 255}, true},
    {"R16G16B16A16_SINT", 14, {0xFF, 0x7F, 0, 0, 0, 0x80, 0xFF, 0x7F}, {0, 128, 255, 255}, true},
    // 2^31 x 255 / (2^32 - 1) = 127.50000003.
    {"R32_UINT", 42, {0, 0, 0, 0x80}, {128, 128, 128, 255}, false},
    {"R32_SINT -2^31 is -1", 43, {0, 0, 0, 0x80}, {0, 0, 0, 255}, false},
    {"R32G32_UINT", 17, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, {0, 0, 255, 255}, false},
    {"R32G32B32_UINT", 7, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80}, {128, 255, 0, 255}, false},
    {"R32G32B32A32_SINT", 4, {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 1, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}, {0, 128, 255, 255}, true},
    // Floats: +Inf is 1, -Inf and NaN 0; the two-channel ones have their twin's blue 255.
    {"R32G32B32_FLOAT", 6, {0, 0, 0x80, 0x7F, 0, 0, 0x80, 0xFF, 0, 0, 0xC0, 0x7F}, {0, 0, 255, 255}, false,
     {kInf, -kInf, kNaN, 1}},
    {"R32G32_FLOAT", 16, {0, 0, 0, 0x3F, 0, 0, 0x80, 0xBF}, {255, 0, 128, 255}, false, {0.5f, -1, 0, 1}},
    {"R32_TYPELESS as R32_FLOAT", 39, {0, 0, 0, 0x3F}, {255, 255, 128, 255}, false, {0.5f, 0.5f, 0.5f, 1}},
    {"R32G32B32A32_TYPELESS as FLOAT", 1, {0, 0, 0, 0x3F, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0x80, 0x3F}, {0, 255, 128, 255},
     true, {0.5f, 2, 0, 1}},
    {"R16G16_FLOAT", 34, {0x00, 0x3C, 0x00, 0x7E}, {255, 0, 255, 255}, false, {1, kNaN, 0, 1}},
    // Red 1.0 (exponent 15), green 0.5 (14), blue +Inf (exponent 31, 10 bits).
    {"R11G11B10_FLOAT", 26, {0xC0, 0x03, 0x1C, 0xF8}, {255, 128, 255, 255}, false, {1, 0.5f, kInf, 1}},
    // Red 1/64 x 2^-14 (subnormal), green 1.984375 x 2^15 (the largest), blue NaN.
    {"R11G11B10_FLOAT extremes", 26, {0x01, 0xF8, 0xFD, 0xFF}, {0, 255, 0, 255}, false, {0x1p-20f, 65024, kNaN, 1}},
    // Exponent 15: 2^-9 a step; red 511 (0.998), green 256 (0.5), blue 0.
    {"R9G9B9E5_SHAREDEXP", 67, {0xFF, 0x01, 0x02, 0x78}, {0, 128, 255, 255}, false, {511 * 0x1p-9f, 0.5f, 0, 1}},
    // Exponent 31: 2^7 a step, red 511 x 128; exponent 0: 2^-24 a step.
    {"R9G9B9E5_SHAREDEXP largest", 67, {0xFF, 0x01, 0x00, 0xF8}, {0, 0, 255, 255}, false, {65408, 0, 0, 1}},
    {"R9G9B9E5_SHAREDEXP smallest", 67, {0x01, 0x00, 0x00, 0x00}, {0, 0, 0, 255}, false, {0x1p-24f, 0, 0, 1}},
    // Red 384 (0), green 894 (1), blue 639 (0.5), alpha 3; then 0, 1023 and 383 clamped.
    {"R10G10B10_XR_BIAS_A2", 89, {0x80, 0xF9, 0xFD, 0xE7}, {128, 255, 0, 255}, true},
    {"R10G10B10_XR_BIAS_A2 clamped", 89, {0x00, 0xFC, 0xFF, 0x17}, {0, 255, 0, 0}, true},
    {"R10G10B10A2_UINT", 25, {0xFF, 0x03, 0x08, 0x80}, {0, 128, 255, 170}, true},
    // Red 15, green 8, blue 1, alpha 0 from the top nibble down.
    {"A4B4G4R4", 191, {0x10, 0xF8}, {17, 136, 255, 0}, true},
    // Depth is grey, stencil ignored; the stencil views show stencil. 2^23 of 2^24 - 1: 127.5.
    {"D16_UNORM", 55, {0xFF, 0xFF}, {255, 255, 255, 255}, false},
    {"D24_UNORM_S8_UINT", 45, {0, 0, 0x80, 0xFF}, {128, 128, 128, 255}, false},
    {"X24_TYPELESS_G8_UINT", 47, {0, 0, 0x80, 0x07}, {7, 7, 7, 255}, false},
    {"D32_FLOAT is grey", 40, {0, 0, 0, 0x3F}, {128, 128, 128, 255}, false},
    {"D32_FLOAT_S8X24_UINT", 20, {0, 0, 0, 0x40, 7, 0, 0, 0}, {255, 255, 255, 255}, false},
    {"X32_TYPELESS_G8X24_UINT", 22, {0, 0, 0, 0x40, 7, 0, 0, 0}, {7, 7, 7, 255}, false},
    // Y 81, Cb 90, Cr 240 is red (BT.601 integers).
    {"AYUV", 100, {240, 90, 81, 128}, {0, 0, 255, 128}, true},
    // Y 64 (black), Cb 512, Cr 1023, alpha 1: red 1.4746 x 32704 / 57344 = 0.841.
    {"Y410", 101, {0x00, 0x02, 0xF1, 0x7F}, {0, 0, 214, 85}, true},
    // Y 60160 is white at neutral chroma.
    {"Y416", 102, {0x00, 0x80, 0x00, 0xEB, 0x00, 0x80, 0xFF, 0xFF}, {255, 255, 255, 255}, true},
};

class Pixels : public testing::TestWithParam<PixelCase> {};

TEST_P(Pixels, ShowAsTheirTwinOrRule) {
    const PixelCase& c = GetParam();
    test::Dx10Image dx10;
    dx10.dxgi = c.dxgi;
    dx10.data = c.stored;
    DdsImage image;
    const std::vector<uint8_t> out = Decoded(test::WriteDx10Dds(dx10), image);
    EXPECT_EQ((std::array<int, 4>{out[0], out[1], out[2], out[3]}), c.bgra);
    EXPECT_EQ(image.alpha, c.alpha);
    ExpectHdr(image, c.hdr);
}

INSTANTIATE_TEST_SUITE_P(Formats, Pixels, testing::ValuesIn(kPixels));

// Legacy pixel formats: the header's pixel format, the pixels as stored (two where a pair
// shares chroma), what they show as, and the D3DFORMAT D3DX 9 reads the format as (0: none).
// Expected values are worked out by hand from each format's definition.
constexpr uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCcFlag = 0x4, kPalette = 0x20, kRgb = 0x40,
                   kLuminance = 0x20000, kBumpLuminance = 0x40000, kBumpDuDv = 0x80000;
constexpr uint32_t kArgb = kRgb | kAlphaPixels;

constexpr uint32_t Cc(const char (&s)[5]) { return FourCc(s[0], s[1], s[2], s[3]); }

struct LegacyCase {
    const char* name;
    test::LegacyPixelFormat format;
    Bytes stored;
    std::vector<std::array<int, 4>> bgra;  // one per pixel
    uint32_t d3dFormat;
    bool alpha;
    std::vector<float> hdr = {};  // as PixelCase's, of the first pixel
};

void PrintTo(const LegacyCase& c, std::ostream* os) { *os << c.name; }

const LegacyCase kLegacyPixels[] = {
    {"R8G8B8", {kRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0}, {10, 20, 30}, {{10, 20, 30, 255}}, 20, false},
    {"A8R8G8B8", {kArgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {10, 20, 30, 40}, {{10, 20, 30, 40}}, 21, true},
    {"X8R8G8B8", {kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}, {10, 20, 30, 40}, {{10, 20, 30, 255}}, 22, false},
    // D3DX reads alpha masks only under the alpha flag: these are X8R8G8B8.
    {"A8R8G8B8 masks unflagged", {kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {10, 20, 30, 40}, {{10, 20, 30, 255}}, 22, false},
    {"X8R8G8B8 with a stray alpha", {kArgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0x0F000000}, {10, 20, 30, 40}, {{10, 20, 30, 255}}, 22, false},
    // Red 28, green 33, blue 3 widen by repeating their bits.
    {"R5G6B5", {kRgb, 0, 16, 0xF800, 0x7E0, 0x1F, 0}, {0x23, 0xE4}, {{24, 134, 231, 255}}, 23, false},
    {"X1R5G5B5 ignores the top bit", {kRgb, 0, 16, 0x7C00, 0x3E0, 0x1F, 0}, {0x1F, 0xFC}, {{255, 0, 255, 255}}, 24, false},
    {"A1R5G5B5", {kArgb, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}, {0x1F, 0x7C}, {{255, 0, 255, 0}}, 25, true},
    {"A4R4G4B4", {kArgb, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}, {0x21, 0x43}, {{17, 34, 51, 68}}, 26, true},
    {"X4R4G4B4", {kRgb, 0, 16, 0xF00, 0xF0, 0xF, 0}, {0x21, 0x43}, {{17, 34, 51, 255}}, 30, false},
    // Red 101, green 011, blue 10.
    {"R3G3B2", {kRgb, 0, 8, 0xE0, 0x1C, 0x3, 0}, {0xAE}, {{170, 109, 182, 255}}, 27, false},
    {"A8R3G3B2", {kArgb, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00}, {0xAE, 0x80}, {{170, 109, 182, 128}}, 29, true},
    // Red 1023 in the low bits, green 512, blue 0, alpha 2.
    {"A2B10G10R10", {kArgb, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, {0xFF, 0x03, 0x08, 0x80}, {{0, 128, 255, 170}}, 31, true},
    {"A2R10G10B10", {kArgb, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, {0xFF, 0x03, 0x08, 0x80}, {{255, 128, 0, 170}}, 35, true},
    {"G16R16 has blue 255", {kRgb, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0}, {0xFF, 0xFF, 0x00, 0x80}, {{255, 128, 255, 255}}, 34, false},
    {"A8B8G8R8", {kArgb, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {10, 20, 30, 40}, {{30, 20, 10, 40}}, 32, true},
    {"X8B8G8R8", {kRgb, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0}, {10, 20, 30, 40}, {{30, 20, 10, 255}}, 33, false},
    // Masks D3DX names no format for are still read, each channel from its own mask.
    {"R4G4B4 in the high bits", {kRgb, 0, 16, 0xF000, 0xF00, 0xF0, 0}, {0x00, 0x21}, {{0, 17, 34, 255}}, 0, false},
    {"L8", {kLuminance, 0, 8, 0xFF, 0, 0, 0}, {77}, {{77, 77, 77, 255}}, 50, false},
    {"A4L4", {kLuminance | kAlphaPixels, 0, 8, 0xF, 0, 0, 0xF0}, {0x5A}, {{170, 170, 170, 85}}, 52, true},
    // 0x8080 x 255 / 65535 = 128.497.
    {"L16", {kLuminance, 0, 16, 0xFFFF, 0, 0, 0}, {0x80, 0x80}, {{128, 128, 128, 255}}, 81, false},
    {"A8L8", {kLuminance | kAlphaPixels, 0, 16, 0xFF, 0, 0, 0xFF00}, {77, 99}, {{77, 77, 77, 99}}, 51, true},
    {"A8", {kAlphaOnly, 0, 8, 0, 0, 0, 0xFF}, {77}, {{255, 255, 255, 77}}, 28, true},
    // Entry 5 of the palette is red 10, green 20, blue 30.
    {"P8", {kPalette, 0, 8, 0, 0, 0, 0}, {5}, {{30, 20, 10, 255}}, 41, false},
    {"A8P8", {kPalette | kAlphaPixels, 0, 16, 0, 0, 0, 0xFF00}, {5, 99}, {{30, 20, 10, 99}}, 40, true},
    // Signed: -128 and -127 show as 0, 0 as 128, 127 as 255; U red, V green, W blue, Q alpha.
    {"V8U8", {kBumpDuDv, 0, 16, 0xFF, 0xFF00, 0, 0}, {0x80, 0x00}, {{0, 128, 0, 255}}, 60, false},
    // Q = -63: (64 / 127) / 2 x 255 = 64.25.
    {"Q8W8V8U8", {kBumpDuDv, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {0x7F, 0x80, 0x00, 0xC1}, {{128, 0, 255, 64}}, 63, true},
    {"V16U16", {kBumpDuDv, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0}, {0xFF, 0x7F, 0x01, 0x80}, {{0, 0, 255, 255}}, 64, false},
    // U 511 in bits 0-9, V -512, W 0, alpha 3.
    {"A2W10V10U10", {kBumpDuDv | kAlphaPixels, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, {0xFF, 0x01, 0x08, 0xC0}, {{128, 0, 255, 255}}, 67, true},
    // U 15, V -16, L 63 (unsigned, blue).
    {"L6V5U5", {kBumpLuminance, 0, 16, 0x1F, 0x3E0, 0xFC00, 0}, {0x0F, 0xFE}, {{255, 0, 255, 255}}, 61, false},
    {"X8L8V8U8", {kBumpLuminance, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0}, {0x80, 0x7F, 200, 0x12}, {{200, 255, 0, 255}}, 62, false},
    {"Q16W16V16U16", {kFourCcFlag, 110}, {0xFF, 0x7F, 0, 0, 0, 0x80, 0xFF, 0x7F}, {{0, 128, 255, 255}}, 110, true},
    {"CxV8U8", {kFourCcFlag, 117}, {0x7F, 0x81}, {{0, 0, 255, 255}}, 117, false},
    // Y 81, Cb 90, Cr 240 is red; Y 235 with the same chroma gives (255, 179.3, 178.8).
    {"UYVY", {kFourCcFlag, Cc("UYVY")}, {90, 81, 240, 235}, {{0, 0, 255, 255}, {178, 179, 255, 255}}, Cc("UYVY"), false},
    {"YUY2", {kFourCcFlag, Cc("YUY2")}, {81, 90, 235, 240}, {{0, 0, 255, 255}, {178, 179, 255, 255}}, Cc("YUY2"), false},
    {"R8G8_B8G8", {kFourCcFlag, Cc("RGBG")}, {10, 20, 30, 40}, {{30, 20, 10, 255}, {30, 40, 10, 255}}, Cc("RGBG"), false},
    {"G8R8_G8B8", {kFourCcFlag, Cc("GRGB")}, {20, 10, 40, 30}, {{30, 20, 10, 255}, {30, 40, 10, 255}}, Cc("GRGB"), false},
    // Red 0.5, green 2 (clamped); the lacking blue is 255.
    // At full precision blue is 0.
    {"G16R16F", {kFourCcFlag, 112}, {0x00, 0x38, 0x00, 0x40}, {{255, 255, 128, 255}}, 112, false, {0.5f, 2, 0, 1}},
    {"G32R32F", {kFourCcFlag, 115}, {0, 0, 0, 0x3F, 0, 0, 0x80, 0xBF}, {{255, 0, 128, 255}}, 115, false, {0.5f, -1, 0, 1}},
    {"R16F", {kFourCcFlag, 111}, {0x00, 0x40}, {{255, 255, 255, 255}}, 111, false, {2, 2, 2, 1}},
    {"R32F", {kFourCcFlag, 114}, {0, 0, 0, 0x3F}, {{255, 255, 128, 255}}, 114, false, {0.5f, 0.5f, 0.5f, 1}},
    {"A16B16G16R16F", {kFourCcFlag, 113}, {0x00, 0x38, 0x00, 0x40, 0x00, 0xBC, 0x00, 0x34}, {{0, 255, 128, 64}}, 113, true,
     {0.5f, 2, -1, 0.25f}},
    {"A32B32G32R32F", {kFourCcFlag, 116}, {0, 0, 0, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x7F, 0, 0, 0x80, 0x3E},
     {{255, 255, 128, 64}}, 116, true, {0.5f, 1, kInf, 0.25f}},
    {"A16B16G16R16", {kFourCcFlag, 36}, {0, 0, 0xFF, 0xFF, 0, 0x80, 0xFF, 0xFF}, {{128, 255, 0, 255}}, 36, true},
};

class LegacyPixels : public testing::TestWithParam<LegacyCase> {};

TEST_P(LegacyPixels, ShowAsD3dxShowsThemOrByTheirRule) {
    const LegacyCase& c = GetParam();
    Bytes palette(1024, 0);
    palette[20] = 10, palette[21] = 20, palette[22] = 30;
    const uint32_t width = static_cast<uint32_t>(c.bgra.size());
    const Bytes file =
        test::WriteLegacyDds(c.format, width, 1, c.stored, (c.format.flags & kPalette) != 0 ? palette : Bytes{});
    DdsImage image;
    const std::vector<uint8_t> out = Decoded(file, image);
    for (uint32_t x = 0; x < width && out.size() >= 4 * (x + 1); ++x) {
        EXPECT_EQ((std::array<int, 4>{out[4 * x], out[4 * x + 1], out[4 * x + 2], out[4 * x + 3]}), c.bgra[x]) << "pixel " << x;
    }
    EXPECT_EQ(image.d3dFormat, c.d3dFormat);
    EXPECT_EQ(image.alpha, c.alpha);
    ExpectHdr(image, c.hdr);
}

INSTANTIATE_TEST_SUITE_P(Formats, LegacyPixels, testing::ValuesIn(kLegacyPixels));

// The lead's route reads the D3DFORMAT of files the reader then refuses for their sizes.
TEST(DdsReader, NamesTheD3dFormatOfRefusedSizes) {
    DdsImage image;
    const Bytes zeroWidth = With(Dxt1(4, 4), {{kWidth, 0}});
    EXPECT_EQ(ReadDdsHeader(zeroWidth.data(), zeroWidth.size(), image), ReadResult::Invalid);
    EXPECT_EQ(image.d3dFormat, Cc("DXT1"));
    const Bytes oddYuy2 = test::WriteLegacyDds({kFourCcFlag, Cc("YUY2")}, 3, 1, Bytes(8, 0));
    EXPECT_EQ(ReadDdsHeader(oddYuy2.data(), oddYuy2.size(), image), ReadResult::Invalid);
    EXPECT_EQ(image.d3dFormat, Cc("YUY2"));
    // D3DX 9 reads no FourCC without its flag, though our reader does.
    const Bytes unflagged = With(Dxt1(4, 4), {{kPixelFlags, 0}});
    EXPECT_EQ(ReadDdsHeader(unflagged.data(), unflagged.size(), image), ReadResult::Ok);
    EXPECT_EQ(image.d3dFormat, 0u);
}

// Formats whose pixels share samples: pairs (4:2:2, packed RGB) and 4:2:0 planes, as stored
// and as shown, row by row.
struct PictureCase {
    const char* name;
    uint32_t dxgi, width, height;
    Bytes stored;
    std::vector<std::array<int, 4>> bgra;
};

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

constexpr std::array<int, 4> kRed = {0, 0, 255, 255}, kPaleRed = {178, 179, 255, 255}, kWhite = {255, 255, 255, 255},
                             kBlack = {0, 0, 0, 255};

const PictureCase kSharedSamples[] = {
    // Y 81 then 235 with Cb 90, Cr 240: red, then (255, 179.3, 178.8).
    {"YUY2", 107, 2, 1, {81, 90, 235, 240}, {kRed, kPaleRed}},
    {"NV12", 103, 2, 2, {81, 235, 81, 235, 90, 240}, {kRed, kPaleRed, kRed, kPaleRed}},
    {"420_OPAQUE", 106, 2, 2, {81, 235, 81, 235, 90, 240}, {kRed, kPaleRed, kRed, kPaleRed}},
    // Samples of 0xEB3F and 0x103F at chroma 0x803F: Y210 and P010 drop the low 6 bits (white
    // and black); Y216 and P016 keep them, black becoming (1, 0, 1).
    {"Y210", 108, 2, 1, {0x3F, 0xEB, 0x3F, 0x80, 0x3F, 0x10, 0x3F, 0x80}, {kWhite, kBlack}},
    {"Y216", 109, 2, 1, {0x3F, 0xEB, 0x3F, 0x80, 0x3F, 0x10, 0x3F, 0x80}, {kWhite, {1, 0, 1, 255}}},
    {"P010", 104, 2, 2, {0x3F, 0xEB, 0x3F, 0x10, 0x3F, 0x10, 0x3F, 0xEB, 0x3F, 0x80, 0x3F, 0x80},
     {kWhite, kBlack, kBlack, kWhite}},
    {"P016", 105, 2, 2, {0x3F, 0xEB, 0x3F, 0x10, 0x3F, 0x10, 0x3F, 0xEB, 0x3F, 0x80, 0x3F, 0x80},
     {kWhite, {1, 0, 1, 255}, {1, 0, 1, 255}, kWhite}},
    // An odd width drops the last pair's second pixel.
    {"R8G8_B8G8, width 3", 68, 3, 1, {10, 20, 30, 40, 50, 60, 70, 80}, {{30, 20, 10, 255}, {30, 40, 10, 255}, {70, 60, 50, 255}}},
    {"G8R8_G8B8", 69, 2, 1, {20, 10, 40, 30}, {{30, 20, 10, 255}, {30, 40, 10, 255}}},
};

class SharedSamples : public testing::TestWithParam<PictureCase> {};

TEST_P(SharedSamples, ShowTheirNearestSamples) {
    const PictureCase& c = GetParam();
    test::Dx10Image dx10;
    dx10.dxgi = c.dxgi;
    dx10.width = c.width;
    dx10.height = c.height;
    dx10.data = c.stored;
    DdsImage image;
    const std::vector<uint8_t> out = Decoded(test::WriteDx10Dds(dx10), image);
    ASSERT_EQ(out.size(), 4 * c.bgra.size());
    for (size_t i = 0; i < c.bgra.size(); ++i) {
        EXPECT_EQ((std::array<int, 4>{out[4 * i], out[4 * i + 1], out[4 * i + 2], out[4 * i + 3]}), c.bgra[i]) << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SharedSamples, testing::ValuesIn(kSharedSamples));

TEST(DdsReader, R1IsOneBitAPixelMostSignificantFirst) {
    test::Dx10Image dx10;
    dx10.dxgi = 66;
    dx10.width = 10;
    dx10.data = {0xA5, 0x80};  // 1010 0101 10
    DdsImage image;
    const std::vector<uint8_t> out = Decoded(test::WriteDx10Dds(dx10), image);
    const int expected[10] = {255, 0, 255, 0, 0, 255, 0, 255, 255, 0};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(out[4 * x], expected[x]) << "pixel " << x;
}

// The first picture only: element 0 of an array, face +X of a cube, slice 0 of a volume, and
// a 1-D texture one pixel high whatever the header's height says.
TEST(DdsReader, TakesTheFirstPicture) {
    const struct {
        const char* name;
        uint32_t dimension, arraySize, depth;
        bool cube;
        uint32_t height;
    } kShapes[] = {{"array", 3, 3, 0, false, 2}, {"cube", 3, 1, 0, true, 2}, {"volume", 4, 1, 3, false, 2},
                   {"1-D with height 0", 2, 1, 0, false, 0}};
    for (const auto& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        test::Dx10Image dx10;
        dx10.width = 2;
        dx10.height = shape.height;
        dx10.dimension = shape.dimension;
        dx10.arraySize = shape.arraySize;
        dx10.depth = shape.depth;
        dx10.cube = shape.cube;
        const uint32_t rows = shape.height == 0 ? 1 : shape.height;
        dx10.data.assign(size_t{rows} * 2 * 4, 0x11);
        dx10.rest.assign(dx10.data.size() * 5, 0x77);  // what follows must not be shown
        DdsImage image;
        const std::vector<uint8_t> out = Decoded(test::WriteDx10Dds(dx10), image);
        EXPECT_EQ(image.height, rows);
        EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x11));
    }
}

TEST(DdsReader, AlphaModesAndLegacyFourCcs) {
    test::Dx10Image dx10;
    DdsImage image;
    dx10.alphaMode = 2;
    ASSERT_EQ(ReadDdsHeader(test::WriteDx10Dds(dx10).data(), 200, image), ReadResult::Ok);
    EXPECT_TRUE(image.alpha && image.premultiplied);
    dx10.alphaMode = 3;  // opaque: the alpha channel carries nothing
    ASSERT_EQ(ReadDdsHeader(test::WriteDx10Dds(dx10).data(), 200, image), ReadResult::Ok);
    EXPECT_FALSE(image.alpha || image.premultiplied);

    const struct {
        const char* fourCc;
        const char* format;
    } kFourCcs[] = {{"DXT1", "BC1_UNORM"}, {"DXT2", "BC2_UNORM"}, {"DXT4", "BC3_UNORM"}, {"ATI1", "BC4_UNORM"},
                    {"BC4S", "BC4_SNORM"}, {"ATI2", "BC5_UNORM"}, {"BC5U", "BC5_UNORM"}, {"BC5S", "BC5_SNORM"}};
    for (const auto& c : kFourCcs) {
        Bytes file = Dxt1(4, 4);
        std::memcpy(file.data() + kFourCc, c.fourCc, 4);
        file.resize(file.size() + 8);
        EXPECT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok) << c.fourCc;
        EXPECT_EQ(std::string(FormatName(image)), c.format) << c.fourCc;
    }
}

// Every image of a file located: R8 pictures whose bytes name their item and level, written in
// the order the format documents (each item's levels in turn; a volume's slices level by
// level, halving).
TEST(DdsReader, LocatesEveryImage) {
    const struct {
        const char* name;
        uint32_t width, height, mips, arraySize, depth;
        bool cube;
        uint64_t items;
    } kShapes[] = {{"array of 2", 4, 2, 3, 2, 0, false, 2},
                   {"cube", 2, 2, 2, 1, 0, true, 6},
                   {"cube array of 2", 2, 1, 2, 2, 0, true, 12},
                   {"volume of 4", 4, 4, 3, 1, 4, false, 4},
                   {"1-D array of 3", 5, 1, 3, 3, 0, false, 3}};
    for (const auto& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        const bool volume = shape.depth > 0;
        auto level = [&](uint32_t m) { return std::pair{std::max(shape.width >> m, 1u), std::max(shape.height >> m, 1u)}; };
        auto mark = [](uint64_t item, uint32_t m) { return static_cast<uint8_t>(1 + item * 8 + m); };
        Bytes data;
        for (uint64_t outer = 0; outer < (volume ? shape.mips : shape.items); ++outer) {
            for (uint64_t inner = 0; inner < (volume ? std::max(shape.depth >> outer, 1u) : shape.mips); ++inner) {
                const uint32_t m = static_cast<uint32_t>(volume ? outer : inner);
                const auto [w, h] = level(m);
                data.insert(data.end(), size_t{w} * h, mark(volume ? inner : outer, m));
            }
        }
        test::Dx10Image dx10;
        dx10.dxgi = 61;
        dx10.width = shape.width;
        dx10.height = shape.height;
        dx10.dimension = volume ? 4 : shape.height == 1 ? 2 : 3;
        dx10.arraySize = shape.arraySize;
        dx10.depth = shape.depth;
        dx10.cube = shape.cube;
        dx10.mipCount = shape.mips;
        const size_t first = size_t{shape.width} * shape.height;
        dx10.data.assign(data.begin(), data.begin() + first);
        dx10.rest.assign(data.begin() + first, data.end());
        const Bytes file = test::WriteDx10Dds(dx10);
        DdsImage image, view;
        ASSERT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok);
        const DdsCounts counts = CountImages(image);
        EXPECT_EQ(counts.items, shape.items);
        EXPECT_EQ(counts.mipLevels, shape.mips);
        EXPECT_EQ(counts.volume, volume);
        for (uint64_t item = 0; item < shape.items; ++item) {
            for (uint32_t m = 0; m < shape.mips; ++m) {
                const bool exists = !volume || item < std::max(shape.depth >> m, 1u);
                const ReadResult result = LocateImage(image, file.data(), file.size(), item, m, view);
                ASSERT_EQ(result, exists ? ReadResult::Ok : ReadResult::Invalid) << "item " << item << " mip " << m;
                if (!exists) continue;
                EXPECT_EQ(std::pair(view.width, view.height), level(m));
                const std::vector<uint8_t> pixels(view.pixels, view.pixels + view.pictureBytes);
                EXPECT_EQ(pixels, std::vector<uint8_t>(pixels.size(), mark(item, m))) << "item " << item << " mip " << m;
            }
        }
        EXPECT_EQ(LocateImage(image, file.data(), file.size(), shape.items, 0, view), ReadResult::Invalid);
        EXPECT_EQ(LocateImage(image, file.data(), file.size(), 0, shape.mips, view), ReadResult::Invalid);
        // The last image in the file, one byte short.
        const uint64_t lastItem = volume ? 0 : shape.items - 1;
        EXPECT_EQ(LocateImage(image, file.data(), file.size() - 1, lastItem, shape.mips - 1, view), ReadResult::Truncated);
    }
}

// Counts past 32 bits stay exact: 2^32 - 1 elements of six faces, located without overflow.
TEST(DdsReader, LocatesInSixtyFourBits) {
    test::Dx10Image dx10;
    dx10.arraySize = 0xFFFFFFFF;
    dx10.cube = true;
    dx10.data.assign(4, 0);
    const Bytes file = test::WriteDx10Dds(dx10);
    DdsImage image, view;
    ASSERT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok);
    EXPECT_EQ(CountImages(image).items, uint64_t{0xFFFFFFFF} * 6);
    EXPECT_EQ(LocateImage(image, file.data(), file.size(), uint64_t{0xFFFFFFFF} * 6 - 1, 0, view), ReadResult::Truncated);
    EXPECT_EQ(LocateImage(image, file.data(), file.size(), 0, 0, view), ReadResult::Ok);
}

// R8G8B8A8 goes several pixels at a time where the row is wide enough: every pixel of a row of
// 11, the registers' and the ones after, is its bytes with red and blue swapped.
TEST(DdsReader, R8G8B8A8RowsSwapRedAndBlueOfEveryPixel) {
    const Bytes stored = test::RandomUnits(28, 11 * 2, 4);
    const Bytes file = test::WriteDx10Dds(test::Dx10(28, 11, 2, stored));
    DdsImage image;
    const std::vector<uint8_t> out = Decoded(file, image);
    for (size_t p = 0; p < 22; ++p) {
        const uint8_t* s = &stored[4 * p];
        EXPECT_EQ((std::array<int, 4>{out[4 * p], out[4 * p + 1], out[4 * p + 2], out[4 * p + 3]}),
                  (std::array<int, 4>{s[2], s[1], s[0], s[3]}))
            << "pixel " << p;
    }
}

// Edge blocks are decoded whole but written only where the picture is: nothing beyond each
// row's width x 4 bytes changes.
TEST(DdsReader, PartialBlocksWriteOnlyThePicture) {
    const Bytes file = Dxt1(5, 6);
    DdsImage image;
    ASSERT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok);
    const ptrdiff_t stride = 5 * 4 + 3;
    std::vector<uint8_t> out(stride * 6, 0xEE);
    DecodeRows(image, 4, 2, out.data(), stride);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(out[row * stride + 19], 255);  // the last pixel's alpha
        for (ptrdiff_t i = 20; i < stride; ++i) EXPECT_EQ(out[row * stride + i], 0xEE);
    }
    EXPECT_EQ(out[2 * stride], 0xEE);
}

}  // namespace
}  // namespace sorvane::dds
