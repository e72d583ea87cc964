// The table of formats our reader decodes, with the DXGI numbers of the DX10 header.

#include <cstring>

#include "BlockDecoders.h"
#include "DdsFormat.h"

namespace sorvane::dds {

namespace {

// A row of blocks: each block decoded whole into 16 texels, of which only those inside the
// picture are written.
template <void (*Decode)(const uint8_t*, uint8_t*), size_t BlockBytes>
void DecodeBlockRow(const RowJob& job) {
    uint8_t texels[kBlockOutputBytes];
    const uint32_t width = job.image.width;
    for (uint32_t x = 0; x < width; x += 4) {
        Decode(job.source + x / 4 * BlockBytes, texels);
        const size_t bytes = 4 * size_t{width - x < 4 ? width - x : 4};
        for (uint32_t row = 0; row < job.rows; ++row) {
            std::memcpy(job.out + row * job.stride + 4 * size_t{x}, texels + 16 * row, bytes);
        }
    }
}

template <void (*Decode)(const uint8_t*, bool, uint8_t*), bool Signed>
void Signedness(const uint8_t* block, uint8_t* bgra) {
    Decode(block, Signed, bgra);
}

constexpr RowDecoder kBc1 = DecodeBlockRow<DecodeBc1Block, 8>;
constexpr RowDecoder kBc2 = DecodeBlockRow<DecodeBc2Block, 16>;
constexpr RowDecoder kBc3 = DecodeBlockRow<DecodeBc3Block, 16>;
constexpr RowDecoder kBc4 = DecodeBlockRow<Signedness<DecodeBc4Block, false>, 8>;
constexpr RowDecoder kBc4Signed = DecodeBlockRow<Signedness<DecodeBc4Block, true>, 8>;
constexpr RowDecoder kBc5 = DecodeBlockRow<Signedness<DecodeBc5Block, false>, 16>;
constexpr RowDecoder kBc5Signed = DecodeBlockRow<Signedness<DecodeBc5Block, true>, 16>;
constexpr RowDecoder kBc6h = DecodeBlockRow<Signedness<DecodeBc6hBlock, false>, 16>;
constexpr RowDecoder kBc6hSigned = DecodeBlockRow<Signedness<DecodeBc6hBlock, true>, 16>;
constexpr RowDecoder kBc7 = DecodeBlockRow<DecodeBc7Block, 16>;

// Name, DXGI number, block bytes, pixel bits, channels, alpha, decoder. The typeless and
// sRGB variants decode as their UNORM format: sRGB values are shown as stored.
constexpr DdsFormat kFormats[] = {
    {"BC1_TYPELESS", 70, 8, 0, 4, true, kBc1},
    {"BC1_UNORM", 71, 8, 0, 4, true, kBc1},
    {"BC1_UNORM_SRGB", 72, 8, 0, 4, true, kBc1},
    {"BC2_TYPELESS", 73, 16, 0, 4, true, kBc2},
    {"BC2_UNORM", 74, 16, 0, 4, true, kBc2},
    {"BC2_UNORM_SRGB", 75, 16, 0, 4, true, kBc2},
    {"BC3_TYPELESS", 76, 16, 0, 4, true, kBc3},
    {"BC3_UNORM", 77, 16, 0, 4, true, kBc3},
    {"BC3_UNORM_SRGB", 78, 16, 0, 4, true, kBc3},
    {"BC4_TYPELESS", 79, 8, 0, 1, false, kBc4},
    {"BC4_UNORM", 80, 8, 0, 1, false, kBc4},
    {"BC4_SNORM", 81, 8, 0, 1, false, kBc4Signed},
    {"BC5_TYPELESS", 82, 16, 0, 2, false, kBc5},
    {"BC5_UNORM", 83, 16, 0, 2, false, kBc5},
    {"BC5_SNORM", 84, 16, 0, 2, false, kBc5Signed},
    {"BC6H_TYPELESS", 94, 16, 0, 3, false, kBc6h},
    {"BC6H_UF16", 95, 16, 0, 3, false, kBc6h},
    {"BC6H_SF16", 96, 16, 0, 3, false, kBc6hSigned},
    {"BC7_TYPELESS", 97, 16, 0, 4, true, kBc7},
    {"BC7_UNORM", 98, 16, 0, 4, true, kBc7},
    {"BC7_UNORM_SRGB", 99, 16, 0, 4, true, kBc7},
    {"R8G8B8A8_TYPELESS", 27, 0, 32, 4, true, DecodeRgba8},
    {"R8G8B8A8_UNORM", 28, 0, 32, 4, true, DecodeRgba8},
    {"R8G8B8A8_UNORM_SRGB", 29, 0, 32, 4, true, DecodeRgba8},
    {"B8G8R8A8_UNORM", 87, 0, 32, 4, true, DecodeBgra8},
    {"B8G8R8A8_TYPELESS", 90, 0, 32, 4, true, DecodeBgra8},
    {"B8G8R8A8_UNORM_SRGB", 91, 0, 32, 4, true, DecodeBgra8},
    {"B8G8R8X8_UNORM", 88, 0, 32, 3, false, DecodeBgrx8},
    {"B8G8R8X8_TYPELESS", 92, 0, 32, 3, false, DecodeBgrx8},
    {"B8G8R8X8_UNORM_SRGB", 93, 0, 32, 3, false, DecodeBgrx8},
    {"R10G10B10A2_TYPELESS", 23, 0, 32, 4, true, DecodeRgb10A2},
    {"R10G10B10A2_UNORM", 24, 0, 32, 4, true, DecodeRgb10A2},
    {"B5G6R5_UNORM", 85, 0, 16, 3, false, DecodeB5G6R5},
    {"B5G5R5A1_UNORM", 86, 0, 16, 4, true, DecodeB5G5R5A1},
    {"B4G4R4A4_UNORM", 115, 0, 16, 4, true, DecodeB4G4R4A4},
    {"R16G16B16A16_UNORM", 11, 0, 64, 4, true, DecodeRgba16},
    {"R16G16B16A16_FLOAT", 10, 0, 64, 4, true, DecodeRgba16Float},
    {"R32G32B32A32_FLOAT", 2, 0, 128, 4, true, DecodeRgba32Float},
    {"R16G16_UNORM", 35, 0, 32, 2, false, DecodeRg16},
    {"R16_FLOAT", 54, 0, 16, 1, false, DecodeR16Float},
    {"R32_FLOAT", 41, 0, 32, 1, false, DecodeR32Float},
    {"R8_UNORM", 61, 0, 8, 1, false, DecodeR8},
    {"R8G8_UNORM", 49, 0, 16, 2, false, DecodeRg8},
    {"R16_UNORM", 56, 0, 16, 1, false, DecodeR16},
    {"A8_UNORM", 65, 0, 8, 1, true, DecodeA8},
    {"R1_UNORM", 66, 0, 1, 1, false, DecodeR1},
};

// Reached from legacy headers only: the palette, and layouts given by bit masks (whose bit
// count and alpha come from the header).
constexpr DdsFormat kPalette8 = {"P8", 0, 0, 8, 3, false, DecodePalette8};
constexpr DdsFormat kMasks = {"legacy bit masks", 0, 0, 0, 4, false, DecodeMasks};

}  // namespace

const DdsFormat* FindDxgiFormat(uint32_t dxgi) noexcept {
    for (const DdsFormat& row : kFormats) {
        if (row.dxgi == dxgi) return &row;
    }
    return nullptr;
}

const DdsFormat& LegacyRow(LegacyFormat format) noexcept {
    switch (format) {
    case LegacyFormat::Bc1: return *FindDxgiFormat(71);
    case LegacyFormat::Bc2: return *FindDxgiFormat(74);
    case LegacyFormat::Bc3: return *FindDxgiFormat(77);
    case LegacyFormat::Bc4: return *FindDxgiFormat(80);
    case LegacyFormat::Bc4Signed: return *FindDxgiFormat(81);
    case LegacyFormat::Bc5: return *FindDxgiFormat(83);
    case LegacyFormat::Bc5Signed: return *FindDxgiFormat(84);
    case LegacyFormat::Rgba16: return *FindDxgiFormat(11);
    case LegacyFormat::Rgba16Float: return *FindDxgiFormat(10);
    case LegacyFormat::R16Float: return *FindDxgiFormat(54);
    case LegacyFormat::R32Float: return *FindDxgiFormat(41);
    case LegacyFormat::Rgba32Float: return *FindDxgiFormat(2);
    case LegacyFormat::Palette8: return kPalette8;
    case LegacyFormat::Masks: return kMasks;
    }
    return kMasks;
}

}  // namespace sorvane::dds
