#pragma once
// Builds DDS files in memory so tests make their own inputs with known pixels. Plain C++, so
// the native tests of the DDS reader use it too.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sorvane::test {

using Bytes = std::vector<uint8_t>;

enum class DdsFormat {
    A8R8G8B8, X8R8G8B8, A8B8G8R8, R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, X4R4G4B4,
    A8L8, A8, L8, L16, P8, R16F, DXT1, DXT3, DXT5,
    A2B10G10R10, G16R16, A16B16G16R16, A16B16G16R16F, R32F, A32B32G32R32F,
};

std::string FormatName(DdsFormat format);
bool IsBlockCompressed(DdsFormat format);
// Bytes per pixel of an uncompressed format, bytes per 4x4 block of a compressed one.
uint32_t UnitSize(DdsFormat format);

struct DdsImage {
    DdsFormat format = DdsFormat::A8R8G8B8;
    uint32_t width = 1;
    uint32_t height = 1;
    Bytes data;                      // the top-level surface as stored: rows or block rows
    std::vector<uint32_t> palette;   // P8 only: 256 entries 0xAARRGGBB
    uint32_t depth = 0;              // > 0 writes a volume texture with this many slices
    bool cube = false;               // writes six faces of the same data
    uint32_t cubeFaces = 0x3F;       // the faces a cube names, bit 0 (+X) to bit 5 (-Z)
    uint32_t mipCount = 1;           // the header's count
    Bytes rest;                      // when set, written after `data` instead of its repeats
};

// A whole DDS file: magic, header and the data (repeated for every face or slice, unless
// `rest` is given).
Bytes WriteDds(const DdsImage& image);

// A pixel as blue, green, red, alpha bytes.
struct Bgra {
    uint8_t b, g, r, a;
    bool operator==(const Bgra& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};

// An uncompressed image whose pixel (x, y) is `pixel(x, y)` in `format`'s own encoding: the
// value is stored little-endian in UnitSize(format) bytes.
DdsImage MakeUncompressed(DdsFormat format, uint32_t width, uint32_t height,
                          const std::function<uint32_t(uint32_t x, uint32_t y)>& pixel);

// A block-compressed image whose 4x4 block (bx, by) is `block(bx, by)` (8 or 16 bytes).
DdsImage MakeCompressed(DdsFormat format, uint32_t width, uint32_t height,
                        const std::function<Bytes(uint32_t bx, uint32_t by)>& block);

// Blocks of known colours. Colours are R5G6B5 words; indices hold 2 bits per texel, texel 0
// in the lowest bits. In DXT1 with c0 <= c1, index 3 is transparent black.
Bytes Dxt1Block(uint16_t c0, uint16_t c1, uint32_t indices);
// Explicit alpha: 4 bits per texel, texel 0 in the lowest bits.
Bytes Dxt3Block(uint64_t alpha4, uint16_t c0, uint16_t c1, uint32_t indices);
// Interpolated alpha: a0, a1 and 3-bit indices (texel 0 lowest, 48 bits).
Bytes Dxt5Block(uint8_t a0, uint8_t a1, uint64_t alphaIndices, uint16_t c0, uint16_t c1,
                uint32_t indices);

// A BC7 block of one colour (mode 6, both endpoints the colour, every index 0). The channels'
// lowest bits must be equal: they are the block's one p-bit.
Bytes Bc7SolidBlock(uint8_t r, uint8_t g, uint8_t b, uint8_t a);

constexpr uint16_t Rgb565(uint8_t r5, uint8_t g6, uint8_t b5) {
    return static_cast<uint16_t>((r5 << 11) | (g6 << 5) | b5);
}

// A legacy file of any pixel format: flags, FourCC, bit count and masks as given, the palette
// (P8, A8P8: 256 entries of R, G, B, A bytes) when not empty, then the data.
struct LegacyPixelFormat {
    uint32_t flags = 0x40;  // DDPF_RGB
    uint32_t fourCc = 0;
    uint32_t bits = 32;
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};
Bytes WriteLegacyDds(const LegacyPixelFormat& format, uint32_t width, uint32_t height, const Bytes& data,
                     const Bytes& palette = {});

// A file with the DX10 header: the first picture (mip 0 of element 0) and what follows it.
struct Dx10Image {
    uint32_t dxgi = 28;  // DXGI_FORMAT_R8G8B8A8_UNORM
    uint32_t width = 1;
    uint32_t height = 1;
    Bytes data;                  // the first picture as stored
    Bytes rest;                  // further mips, faces, elements or slices
    uint32_t dimension = 3;      // 2: 1-D, 3: 2-D, 4: 3-D
    uint32_t arraySize = 1;
    bool cube = false;
    uint32_t alphaMode = 0;      // 2: premultiplied, 3: opaque
    uint32_t depth = 0;          // > 0 marks a volume with this many slices
    uint32_t mipCount = 1;
};
Bytes WriteDx10Dds(const Dx10Image& image);
// A 2-D picture of one format with the DX10 header; its other fields stay as above.
Dx10Image Dx10(uint32_t dxgi, uint32_t width, uint32_t height, Bytes data = {});

// `units` blocks or pixels of `unitBytes` each, of a DXGI format, from a fixed sequence of
// random bytes (one per seed): BC6H blocks (94-96) take each of their 14 modes in turn and BC7
// blocks (97-99) each of their 8, so no block is of a reserved mode.
Bytes RandomUnits(uint32_t dxgi, size_t units, size_t unitBytes, uint64_t seed = 1);

}  // namespace sorvane::test
