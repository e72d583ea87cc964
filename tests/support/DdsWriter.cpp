#include "DdsWriter.h"

#include <utility>

#include <cstring>

namespace sorvane::test {

namespace {

constexpr uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                   kLinearSize = 0x80000, kDepth = 0x800000;
constexpr uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCc = 0x4, kPaletteIndexed8 = 0x20,
                   kRgb = 0x40, kLuminance = 0x20000;
constexpr uint32_t kMipCount = 0x20000;
constexpr uint32_t kTexture = 0x1000, kComplex = 0x8, kMipMap = 0x400000;
constexpr uint32_t kCube = 0x200, kCubeAllFaces = kCube | 0xFC00, kVolume = 0x200000;

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

struct PixelFormat {
    uint32_t flags, fourCc, bits, r, g, b, a;
};

PixelFormat PixelFormatOf(DdsFormat format) {
    switch (format) {
    case DdsFormat::A8R8G8B8: return {kRgb | kAlphaPixels, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    case DdsFormat::X8R8G8B8: return {kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
    case DdsFormat::A8B8G8R8: return {kRgb | kAlphaPixels, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};
    case DdsFormat::R8G8B8: return {kRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
    case DdsFormat::R5G6B5: return {kRgb, 0, 16, 0xF800, 0x7E0, 0x1F, 0};
    case DdsFormat::X1R5G5B5: return {kRgb, 0, 16, 0x7C00, 0x3E0, 0x1F, 0};
    case DdsFormat::A1R5G5B5: return {kRgb | kAlphaPixels, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000};
    case DdsFormat::A4R4G4B4: return {kRgb | kAlphaPixels, 0, 16, 0xF00, 0xF0, 0xF, 0xF000};
    case DdsFormat::X4R4G4B4: return {kRgb, 0, 16, 0xF00, 0xF0, 0xF, 0};
    case DdsFormat::A8L8: return {kLuminance | kAlphaPixels, 0, 16, 0xFF, 0, 0, 0xFF00};
    case DdsFormat::A8: return {kAlphaOnly, 0, 8, 0, 0, 0, 0xFF};
    case DdsFormat::L8: return {kLuminance, 0, 8, 0xFF, 0, 0, 0};
    case DdsFormat::L16: return {kLuminance, 0, 16, 0xFFFF, 0, 0, 0};
    case DdsFormat::P8: return {kPaletteIndexed8, 0, 8, 0, 0, 0, 0};
    case DdsFormat::R16F: return {kFourCc, 111, 0, 0, 0, 0, 0};
    case DdsFormat::DXT1: return {kFourCc, FourCc('D', 'X', 'T', '1'), 0, 0, 0, 0, 0};
    case DdsFormat::DXT3: return {kFourCc, FourCc('D', 'X', 'T', '3'), 0, 0, 0, 0, 0};
    case DdsFormat::DXT5: return {kFourCc, FourCc('D', 'X', 'T', '5'), 0, 0, 0, 0, 0};
    case DdsFormat::A2B10G10R10: return {kRgb | kAlphaPixels, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000};
    case DdsFormat::G16R16: return {kRgb, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0};
    // D3DFORMAT numbers stand in the FourCC of these.
    case DdsFormat::A16B16G16R16: return {kFourCc, 36, 0, 0, 0, 0, 0};
    case DdsFormat::A16B16G16R16F: return {kFourCc, 113, 0, 0, 0, 0, 0};
    case DdsFormat::R32F: return {kFourCc, 114, 0, 0, 0, 0, 0};
    case DdsFormat::A32B32G32R32F: return {kFourCc, 116, 0, 0, 0, 0, 0};
    }
    return {};
}

void Put32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Blocks(uint32_t n) { return (n + 3) / 4; }

// The 128 bytes before the data: magic, DDS_HEADER and its pixel format. Only the fields
// that differ between the writers are given; a cube, a volume or mips make it complex.
struct Header {
    uint32_t flags, height, width, pitchOrLinearSize, depth, mipCount;
    PixelFormat pf;
    uint32_t moreCaps, caps2;
};

void PutHeader(Bytes& out, const Header& h) {
    Put32(out, FourCc('D', 'D', 'S', ' '));
    Put32(out, 124);
    Put32(out, kCaps | kHeight | kWidth | kPixelFormat | h.flags | (h.depth > 0 ? kDepth : 0));
    Put32(out, h.height);
    Put32(out, h.width);
    Put32(out, h.pitchOrLinearSize);
    Put32(out, h.depth);
    Put32(out, h.mipCount);
    for (int i = 0; i < 11; ++i) Put32(out, 0);
    Put32(out, 32);
    for (const uint32_t field : {h.pf.flags, h.pf.fourCc, h.pf.bits, h.pf.r, h.pf.g, h.pf.b, h.pf.a})
        Put32(out, field);
    const bool complex = (h.caps2 & kCube) != 0 || h.depth > 0 || h.mipCount > 1;
    Put32(out, kTexture | (complex ? kComplex : 0) | h.moreCaps);
    Put32(out, h.caps2);
    for (int i = 0; i < 3; ++i) Put32(out, 0);
}

}  // namespace

std::string FormatName(DdsFormat format) {
    static const char* const kNames[] = {
        "A8R8G8B8", "X8R8G8B8", "A8B8G8R8", "R8G8B8", "R5G6B5", "X1R5G5B5", "A1R5G5B5", "A4R4G4B4",
        "X4R4G4B4", "A8L8", "A8", "L8", "L16", "P8", "R16F", "DXT1", "DXT3", "DXT5",
        "A2B10G10R10", "G16R16", "A16B16G16R16", "A16B16G16R16F", "R32F", "A32B32G32R32F"};
    return kNames[static_cast<int>(format)];
}

bool IsBlockCompressed(DdsFormat format) {
    return format == DdsFormat::DXT1 || format == DdsFormat::DXT3 || format == DdsFormat::DXT5;
}

uint32_t UnitSize(DdsFormat format) {
    switch (format) {
    case DdsFormat::DXT1: return 8;
    case DdsFormat::DXT3:
    case DdsFormat::DXT5: return 16;
    case DdsFormat::R16F: return 2;
    case DdsFormat::R32F: return 4;
    case DdsFormat::A16B16G16R16:
    case DdsFormat::A16B16G16R16F: return 8;
    case DdsFormat::A32B32G32R32F: return 16;
    default: return PixelFormatOf(format).bits / 8;
    }
}

Bytes WriteDds(const DdsImage& image) {
    const PixelFormat pf = PixelFormatOf(image.format);
    const bool compressed = IsBlockCompressed(image.format);
    const uint32_t pitch = compressed ? Blocks(image.width) * UnitSize(image.format)
                                      : image.width * UnitSize(image.format);
    const uint32_t linearSize = compressed ? pitch * Blocks(image.height) : pitch;

    Bytes out;
    const bool mips = image.mipCount > 1;
    PutHeader(out, {(compressed ? kLinearSize : kPitch) | (mips ? kMipCount : 0), image.height, image.width,
                    linearSize, image.depth, image.mipCount, pf, mips ? kMipMap : 0,
                    image.cube ? kCube | (image.cubeFaces << 10) : image.depth > 0 ? kVolume : 0});

    if (image.format == DdsFormat::P8) {
        for (size_t i = 0; i < 256; ++i) {
            // Palette entries are stored as R, G, B, A bytes.
            const uint32_t argb = i < image.palette.size() ? image.palette[i] : 0;
            out.push_back(static_cast<uint8_t>(argb >> 16));
            out.push_back(static_cast<uint8_t>(argb >> 8));
            out.push_back(static_cast<uint8_t>(argb));
            out.push_back(static_cast<uint8_t>(argb >> 24));
        }
    }
    const uint32_t copies = !image.rest.empty() ? 1 : image.cube ? 6 : image.depth > 0 ? image.depth : 1;
    for (uint32_t i = 0; i < copies; ++i) out.insert(out.end(), image.data.begin(), image.data.end());
    out.insert(out.end(), image.rest.begin(), image.rest.end());
    return out;
}

namespace {
// An image of columns x rows units (pixels or 4 x 4 blocks), whose bytes put(data, x, y)
// appends unit by unit, row by row.
DdsImage MakeUnits(DdsFormat format, uint32_t width, uint32_t height, uint32_t columns, uint32_t rows,
                   const std::function<void(Bytes&, uint32_t, uint32_t)>& put) {
    DdsImage image;
    image.format = format;
    image.width = width;
    image.height = height;
    image.data.reserve(size_t(columns) * rows * UnitSize(format));
    for (uint32_t y = 0; y < rows; ++y) {
        for (uint32_t x = 0; x < columns; ++x) put(image.data, x, y);
    }
    return image;
}
}  // namespace

DdsImage MakeUncompressed(DdsFormat format, uint32_t width, uint32_t height,
                          const std::function<uint32_t(uint32_t, uint32_t)>& pixel) {
    const uint32_t unit = UnitSize(format);
    return MakeUnits(format, width, height, width, height, [&](Bytes& data, uint32_t x, uint32_t y) {
        const uint32_t value = pixel(x, y);
        for (uint32_t i = 0; i < unit; ++i) data.push_back(static_cast<uint8_t>(value >> (8 * i)));
    });
}

DdsImage MakeCompressed(DdsFormat format, uint32_t width, uint32_t height,
                        const std::function<Bytes(uint32_t, uint32_t)>& block) {
    return MakeUnits(format, width, height, Blocks(width), Blocks(height), [&](Bytes& data, uint32_t x, uint32_t y) {
        const Bytes b = block(x, y);
        data.insert(data.end(), b.begin(), b.end());
    });
}

Bytes Dxt1Block(uint16_t c0, uint16_t c1, uint32_t indices) {
    Bytes b;
    b.push_back(static_cast<uint8_t>(c0));
    b.push_back(static_cast<uint8_t>(c0 >> 8));
    b.push_back(static_cast<uint8_t>(c1));
    b.push_back(static_cast<uint8_t>(c1 >> 8));
    Put32(b, indices);
    return b;
}

Bytes Dxt3Block(uint64_t alpha4, uint16_t c0, uint16_t c1, uint32_t indices) {
    Bytes b;
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(alpha4 >> (8 * i)));
    const Bytes colour = Dxt1Block(c0, c1, indices);
    b.insert(b.end(), colour.begin(), colour.end());
    return b;
}

Bytes Dxt5Block(uint8_t a0, uint8_t a1, uint64_t alphaIndices, uint16_t c0, uint16_t c1,
                uint32_t indices) {
    Bytes b{a0, a1};
    for (int i = 0; i < 6; ++i) b.push_back(static_cast<uint8_t>(alphaIndices >> (8 * i)));
    const Bytes colour = Dxt1Block(c0, c1, indices);
    b.insert(b.end(), colour.begin(), colour.end());
    return b;
}

Bytes Bc7SolidBlock(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Bytes block(16, 0);
    size_t bit = 0;
    const auto put = [&](uint32_t value, int count) {
        for (int i = 0; i < count; ++i, ++bit) block[bit / 8] |= static_cast<uint8_t>((value >> i & 1) << (bit % 8));
    };
    put(1 << 6, 7);  // mode 6
    for (const uint8_t channel : {r, g, b, a}) {
        put(channel >> 1, 7);
        put(channel >> 1, 7);
    }
    put(r & 1, 1);
    put(r & 1, 1);
    return block;  // the indices stay 0
}

Bytes WriteLegacyDds(const LegacyPixelFormat& format, uint32_t width, uint32_t height, const Bytes& data,
                     const Bytes& palette) {
    DdsImage image;
    image.width = width;
    image.height = height;
    image.data = data;
    Bytes out = WriteDds(image);
    const uint32_t fields[] = {format.flags, format.fourCc, format.bits, format.red, format.green, format.blue,
                               format.alpha};
    for (size_t i = 0; i < 7; ++i) std::memcpy(out.data() + 80 + 4 * i, &fields[i], 4);
    out.insert(out.begin() + 128, palette.begin(), palette.end());
    return out;
}

Bytes WriteDx10Dds(const Dx10Image& image) {
    Bytes out;
    // Writers leave the pitch to the format.
    PutHeader(out, {0, image.height, image.width, 0, image.depth, image.mipCount,
                    {kFourCc, FourCc('D', 'X', '1', '0'), 0, 0, 0, 0, 0}, 0,
                    image.cube ? kCubeAllFaces : image.depth > 0 ? kVolume : 0});
    Put32(out, image.dxgi);
    Put32(out, image.dimension);
    Put32(out, image.cube ? 0x4 : 0);  // D3D11_RESOURCE_MISC_TEXTURECUBE
    Put32(out, image.arraySize);
    Put32(out, image.alphaMode);
    out.insert(out.end(), image.data.begin(), image.data.end());
    out.insert(out.end(), image.rest.begin(), image.rest.end());
    return out;
}

Dx10Image Dx10(uint32_t dxgi, uint32_t width, uint32_t height, Bytes data) {
    Dx10Image image;
    image.dxgi = dxgi;
    image.width = width;
    image.height = height;
    image.data = std::move(data);
    return image;
}

Bytes RandomUnits(uint32_t dxgi, size_t units, size_t unitBytes, uint64_t seed) {
    Bytes out(units * unitBytes);
    uint64_t state = 0x9E3779B97F4A7C15ull * (seed | 1);
    for (uint8_t& b : out) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<uint8_t>(state >> 32);
    }
    // The mode codes of BC6H (2 bits for the first two, else 5): not the reserved 19, 23, 27, 31.
    static const uint8_t kBc6hModes[] = {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15};
    for (size_t i = 0; i < units; ++i) {
        uint8_t& first = out[i * unitBytes];
        if (dxgi >= 94 && dxgi <= 96) {
            const uint8_t code = kBc6hModes[i % 14];
            const uint8_t bits = code < 2 ? 0x03 : 0x1F;
            first = static_cast<uint8_t>((first & ~bits) | code);
        } else if (dxgi >= 97 && dxgi <= 99) {
            const int mode = static_cast<int>(i % 8);
            first = static_cast<uint8_t>(((first << (mode + 1)) & 0xFF) | (1 << mode));
        }
    }
    return out;
}

}  // namespace sorvane::test
