#include <gtest/gtest.h>

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
constexpr size_t kHeaderSize = 4, kFlags = 8, kHeight = 12, kWidth = 16, kMipCount = 28, kPixelFormatSize = 76,
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
    {"header size 123", [] { return With(Rgba8(5, 3), {{kHeaderSize, 123}}); }, ReadResult::NotDds},
    {"pixel format size 0", [] { return With(Rgba8(5, 3), {{kPixelFormatSize, 0}}); }, ReadResult::NotDds},
    {"shorter than a header", [] { return Cut(Rgba8(5, 3), 127); }, ReadResult::NotDds},
    {"DX10 header cut", [] { return Cut(Rgba8(5, 3), 140); }, ReadResult::Invalid},
    {"width 0", [] { return With(Rgba8(5, 3), {{kWidth, 0}}); }, ReadResult::Invalid},
    {"height 0", [] { return With(Dxt1(5, 3), {{kHeight, 0}}); }, ReadResult::Invalid},
    {"width 2^31", [] { return With(Rgba8(5, 3), {{kWidth, 0x80000000}}); }, ReadResult::Invalid},
    {"2^31 - 1 square", [] { return With(Dxt1(4, 4), {{kWidth, 0x7FFFFFFF}, {kHeight, 0x7FFFFFFF}}); }, ReadResult::Truncated},
    // 2^31 - 1 square pixels of 16 bytes: the byte count overflows 64 bits.
    {"size past 64 bits", [] { return With(Rgba8(4, 4), {{kWidth, 0x7FFFFFFF}, {kHeight, 0x7FFFFFFF}, {kDxgi, 2}}); }, ReadResult::Invalid},
    {"mip count 3 for 5x3", [] { return With(Rgba8(5, 3), {{kMipCount, 3}}); }, ReadResult::Ok},
    {"mip count 4 for 5x3", [] { return With(Rgba8(5, 3), {{kMipCount, 4}}); }, ReadResult::Invalid},
    {"unflagged mip count 2^32 - 1", [] { return With(Dxt1(4, 4), {{kMipCount, 0xFFFFFFFF}}); }, ReadResult::Invalid},
    {"DX10 buffer dimension", [] { return With(Rgba8(5, 3), {{kDimension, 1}}); }, ReadResult::Invalid},
    {"DX10 dimension 5", [] { return With(Rgba8(5, 3), {{kDimension, 5}}); }, ReadResult::Invalid},
    {"DX10 array size 0", [] { return With(Rgba8(5, 3), {{kArraySize, 0}}); }, ReadResult::Invalid},
    {"DX10 array size 2^32 - 1", [] { return With(Rgba8(5, 3), {{kArraySize, 0xFFFFFFFF}}); }, ReadResult::Ok},
    {"DX10 video format YUY2", [] { return With(Rgba8(5, 3), {{kDxgi, 107}}); }, ReadResult::Unsupported},
    {"DX10 format 0", [] { return With(Rgba8(5, 3), {{kDxgi, 0}}); }, ReadResult::Unsupported},
    {"unknown FourCC", [] { return With(Dxt1(4, 4), {{kFourCc, 0x39585A51}}); }, ReadResult::Unsupported},
    {"YUV flag", [] { return With(Dxt1(4, 4), {{kPixelFlags, 0x200}}); }, ReadResult::Unsupported},
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

// Decodes the whole picture.
std::vector<uint8_t> Decoded(const Bytes& file, DdsImage& image) {
    EXPECT_EQ(ReadDds(file.data(), file.size(), image), ReadResult::Ok);
    std::vector<uint8_t> out(size_t{image.width} * image.height * 4);
    if (image.pixels) DecodeRows(image, 0, image.height, out.data(), image.width * 4);
    return out;
}

// One pixel of each uncompressed format, stored as given, and what it shows as.
struct PixelCase {
    const char* name;
    uint32_t dxgi;
    Bytes stored;
    std::array<int, 4> bgra;
    bool alpha;
};

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
    {"R16G16B16A16_FLOAT", 10, {0x00, 0x38, 0x00, 0x40, 0x00, 0xBC, 0x00, 0x34}, {0, 255, 128, 64}, true},
    {"R32G32B32A32_FLOAT", 2, {0, 0, 0, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0xC0, 0x7F, 0, 0, 0x80, 0x3E}, {0, 255, 128, 64}, true},
    // The lacking blue channel is 255.
    {"R16G16", 35, {0xFF, 0xFF, 0x00, 0x80}, {255, 128, 255, 255}, false},
    {"R16_FLOAT", 54, {0x00, 0x38}, {255, 255, 128, 255}, false},
    {"R32_FLOAT NaN", 41, {0, 0, 0xC0, 0x7F}, {255, 255, 0, 255}, false},
    {"R8 is grey", 61, {77}, {77, 77, 77, 255}, false},
    {"R8G8 has no blue", 49, {77, 99}, {0, 99, 77, 255}, false},
    {"R16 is grey", 56, {0x80, 0x80}, {128, 128, 128, 255}, false},
    {"A8 is white", 65, {77}, {255, 255, 255, 77}, true},
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
}

INSTANTIATE_TEST_SUITE_P(Formats, Pixels, testing::ValuesIn(kPixels));

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
