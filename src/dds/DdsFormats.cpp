// The tables of formats our reader decodes: decoders with the DXGI numbers of the DX10 header,
// and the legacy pixel formats with what D3DX 9 calls them.

#include <cstring>

#include "BlockDecoders.h"
#include "HdrRows.h"
#include "PixelRows.h"

namespace sorvane::dds {

namespace {

// A row of blocks. Whole blocks go straight to their rows as one run; a block cut by the
// picture's right or bottom edge is decoded into texels of its own, of which only those inside
// the picture are written.
void DecodeBlocks(const RowJob& job, BlockRun run, size_t blockBytes) {
    const uint32_t width = job.image.width;
    const uint32_t whole = job.rows == 4 ? width / 4 : 0;
    run(job.source, whole, job.out, job.stride);
    for (uint32_t x = 4 * whole; x < width; x += 4) {
        uint8_t texels[kBlockOutputBytes];
        run(job.source + x / 4 * blockBytes, 1, texels, 16);
        const size_t bytes = 4 * size_t{width - x < 4 ? width - x : 4};
        for (uint32_t row = 0; row < job.rows; ++row) {
            std::memcpy(job.out + row * job.stride + 4 * size_t{x}, texels + 16 * row, bytes);
        }
    }
}

template <BlockFormat Format>
void DecodeBlockRow(const RowJob& job) {
    const BlockRuns& runs = RunsOf(Format);
    DecodeBlocks(job, runs.best, runs.blockBytes);
}

// RXGB is BC3 with red moved into alpha: red comes back from alpha, and the picture is opaque.
void DecodeRxgbRow(const RowJob& job) {
    DecodeBlockRow<BlockFormat::Bc3>(job);
    for (uint32_t row = 0; row < job.rows; ++row) {
        uint8_t* pixel = job.out + row * job.stride;
        for (uint32_t x = 0; x < job.image.width; ++x, pixel += 4) {
            pixel[2] = pixel[3];
            pixel[3] = 255;
        }
    }
}

constexpr RowDecoder kBc1 = DecodeBlockRow<BlockFormat::Bc1>;
constexpr RowDecoder kBc2 = DecodeBlockRow<BlockFormat::Bc2>;
constexpr RowDecoder kBc3 = DecodeBlockRow<BlockFormat::Bc3>;
constexpr RowDecoder kBc4 = DecodeBlockRow<BlockFormat::Bc4>;
constexpr RowDecoder kBc4Signed = DecodeBlockRow<BlockFormat::Bc4Signed>;
constexpr RowDecoder kBc5 = DecodeBlockRow<BlockFormat::Bc5>;
constexpr RowDecoder kBc5Signed = DecodeBlockRow<BlockFormat::Bc5Signed>;
constexpr RowDecoder kBc6h = DecodeBlockRow<BlockFormat::Bc6h>;
constexpr RowDecoder kBc6hSigned = DecodeBlockRow<BlockFormat::Bc6hSigned>;
constexpr RowDecoder kBc7 = DecodeBlockRow<BlockFormat::Bc7>;
constexpr RowDecoder kRxgb = DecodeRxgbRow;

// A row of BC5 blocks as a normal's x and y, 16 bytes a texel.
template <bool Signed>
void DecodeBc5VectorRow(const RowJob& job) {
    rows::CopyBlockTexels(job, [](const uint8_t* block, uint8_t* texels) {
        double xy[2 * kBlockTexels];
        DecodeBc5BlockVectors(block, Signed, xy);
        std::memcpy(texels, xy, sizeof xy);
    });
}

using rows::DecodeFloats;
using rows::DecodeNorm;
using rows::Kind;
constexpr Kind U = Kind::Unorm, S = Kind::Snorm;
using rows::DecodeVectors;
constexpr Layout kPixels = Layout::Pixels, kPairs = Layout::Pairs, kEvenPairs = Layout::EvenPairs,
                 kTwoPlanes = Layout::TwoPlanes;

// Name, DXGI number, block bytes, pixel bits, channels, alpha, decoder, layout, vectors, hdr.
// TYPELESS decodes as its family's UNORM (FLOAT for the 32-bit float families), sRGB as UNORM
// with its values kept; UINT as UNORM and SINT as SNORM of the same width, by the channel rules.
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
    {"BC5_TYPELESS", 82, 16, 0, 2, false, kBc5, kPixels, DecodeBc5VectorRow<false>},
    {"BC5_UNORM", 83, 16, 0, 2, false, kBc5, kPixels, DecodeBc5VectorRow<false>},
    {"BC5_SNORM", 84, 16, 0, 2, false, kBc5Signed, kPixels, DecodeBc5VectorRow<true>},
    {"BC6H_TYPELESS", 94, 16, 0, 3, false, kBc6h, kPixels, nullptr, DecodeHdrBc6h<false>},
    {"BC6H_UF16", 95, 16, 0, 3, false, kBc6h, kPixels, nullptr, DecodeHdrBc6h<false>},
    {"BC6H_SF16", 96, 16, 0, 3, false, kBc6hSigned, kPixels, nullptr, DecodeHdrBc6h<true>},
    {"BC7_TYPELESS", 97, 16, 0, 4, true, kBc7},
    {"BC7_UNORM", 98, 16, 0, 4, true, kBc7},
    {"BC7_UNORM_SRGB", 99, 16, 0, 4, true, kBc7},
    {"R32G32B32A32_TYPELESS", 1, 0, 128, 4, true, DecodeRgba32Float, kPixels, nullptr, DecodeHdrFloats<32, 4>},
    {"R32G32B32A32_FLOAT", 2, 0, 128, 4, true, DecodeRgba32Float, kPixels, nullptr, DecodeHdrFloats<32, 4>},
    {"R32G32B32A32_UINT", 3, 0, 128, 4, true, DecodeNorm<32, U, 4>},
    {"R32G32B32A32_SINT", 4, 0, 128, 4, true, DecodeNorm<32, S, 4>},
    {"R32G32B32_TYPELESS", 5, 0, 96, 3, false, DecodeFloats<32, 3>, kPixels, nullptr, DecodeHdrFloats<32, 3>},
    {"R32G32B32_FLOAT", 6, 0, 96, 3, false, DecodeFloats<32, 3>, kPixels, nullptr, DecodeHdrFloats<32, 3>},
    {"R32G32B32_UINT", 7, 0, 96, 3, false, DecodeNorm<32, U, 3>},
    {"R32G32B32_SINT", 8, 0, 96, 3, false, DecodeNorm<32, S, 3>},
    {"R16G16B16A16_TYPELESS", 9, 0, 64, 4, true, DecodeRgba16},
    {"R16G16B16A16_FLOAT", 10, 0, 64, 4, true, DecodeRgba16Float, kPixels, nullptr, DecodeHdrFloats<16, 4>},
    {"R16G16B16A16_UNORM", 11, 0, 64, 4, true, DecodeRgba16},
    {"R16G16B16A16_UINT", 12, 0, 64, 4, true, DecodeRgba16},
    {"R16G16B16A16_SNORM", 13, 0, 64, 4, true, DecodeNorm<16, S, 4>},
    {"R16G16B16A16_SINT", 14, 0, 64, 4, true, DecodeNorm<16, S, 4>},
    {"R32G32_TYPELESS", 15, 0, 64, 2, false, DecodeRg32Float, kPixels, nullptr, DecodeHdrFloats<32, 2>},
    {"R32G32_FLOAT", 16, 0, 64, 2, false, DecodeRg32Float, kPixels, nullptr, DecodeHdrFloats<32, 2>},
    {"R32G32_UINT", 17, 0, 64, 2, false, DecodeNorm<32, U, 2>},
    {"R32G32_SINT", 18, 0, 64, 2, false, DecodeNorm<32, S, 2>},
    {"R32G8X24_TYPELESS", 19, 0, 64, 1, false, DecodeD32FloatOf64},
    {"D32_FLOAT_S8X24_UINT", 20, 0, 64, 1, false, DecodeD32FloatOf64},
    {"R32_FLOAT_X8X24_TYPELESS", 21, 0, 64, 1, false, DecodeD32FloatOf64},
    {"X32_TYPELESS_G8X24_UINT", 22, 0, 64, 1, false, DecodeStencilOf64},
    {"R10G10B10A2_TYPELESS", 23, 0, 32, 4, true, DecodeRgb10A2},
    {"R10G10B10A2_UNORM", 24, 0, 32, 4, true, DecodeRgb10A2},
    {"R10G10B10A2_UINT", 25, 0, 32, 4, true, DecodeRgb10A2},
    {"R11G11B10_FLOAT", 26, 0, 32, 3, false, DecodeR11G11B10Float, kPixels, nullptr, DecodeHdrR11G11B10},
    {"R8G8B8A8_TYPELESS", 27, 0, 32, 4, true, DecodeRgba8},
    {"R8G8B8A8_UNORM", 28, 0, 32, 4, true, DecodeRgba8},
    {"R8G8B8A8_UNORM_SRGB", 29, 0, 32, 4, true, DecodeRgba8},
    {"R8G8B8A8_UINT", 30, 0, 32, 4, true, DecodeRgba8},
    {"R8G8B8A8_SNORM", 31, 0, 32, 4, true, DecodeNorm<8, S, 4>},
    {"R8G8B8A8_SINT", 32, 0, 32, 4, true, DecodeNorm<8, S, 4>},
    {"R16G16_TYPELESS", 33, 0, 32, 2, false, DecodeRg16, kPixels, DecodeVectors<16, U>},
    {"R16G16_FLOAT", 34, 0, 32, 2, false, DecodeRg16Float, kPixels, nullptr, DecodeHdrFloats<16, 2>},
    {"R16G16_UNORM", 35, 0, 32, 2, false, DecodeRg16, kPixels, DecodeVectors<16, U>},
    {"R16G16_UINT", 36, 0, 32, 2, false, DecodeNorm<16, U, 2>, kPixels, DecodeVectors<16, U>},
    {"R16G16_SNORM", 37, 0, 32, 2, false, DecodeNorm<16, S, 2>, kPixels, DecodeVectors<16, S>},
    {"R16G16_SINT", 38, 0, 32, 2, false, DecodeNorm<16, S, 2>, kPixels, DecodeVectors<16, S>},
    {"R32_TYPELESS", 39, 0, 32, 1, false, DecodeR32Float, kPixels, nullptr, DecodeHdrFloats<32, 1>},
    {"D32_FLOAT", 40, 0, 32, 1, false, DecodeD32Float},
    {"R32_FLOAT", 41, 0, 32, 1, false, DecodeR32Float, kPixels, nullptr, DecodeHdrFloats<32, 1>},
    {"R32_UINT", 42, 0, 32, 1, false, DecodeNorm<32, U, 1>},
    {"R32_SINT", 43, 0, 32, 1, false, DecodeNorm<32, S, 1>},
    {"R24G8_TYPELESS", 44, 0, 32, 1, false, DecodeD24},
    {"D24_UNORM_S8_UINT", 45, 0, 32, 1, false, DecodeD24},
    {"R24_UNORM_X8_TYPELESS", 46, 0, 32, 1, false, DecodeD24},
    {"X24_TYPELESS_G8_UINT", 47, 0, 32, 1, false, DecodeStencilOf24},
    {"R8G8_TYPELESS", 48, 0, 16, 2, false, DecodeRg8, kPixels, DecodeVectors<8, U>},
    {"R8G8_UNORM", 49, 0, 16, 2, false, DecodeRg8, kPixels, DecodeVectors<8, U>},
    {"R8G8_UINT", 50, 0, 16, 2, false, DecodeRg8, kPixels, DecodeVectors<8, U>},
    {"R8G8_SNORM", 51, 0, 16, 2, false, DecodeNorm<8, S, 2>, kPixels, DecodeVectors<8, S>},
    {"R8G8_SINT", 52, 0, 16, 2, false, DecodeNorm<8, S, 2>, kPixels, DecodeVectors<8, S>},
    {"R16_TYPELESS", 53, 0, 16, 1, false, DecodeR16},
    {"R16_FLOAT", 54, 0, 16, 1, false, DecodeR16Float, kPixels, nullptr, DecodeHdrFloats<16, 1>},
    {"D16_UNORM", 55, 0, 16, 1, false, DecodeR16},
    {"R16_UNORM", 56, 0, 16, 1, false, DecodeR16},
    {"R16_UINT", 57, 0, 16, 1, false, DecodeR16},
    {"R16_SNORM", 58, 0, 16, 1, false, DecodeNorm<16, S, 1>},
    {"R16_SINT", 59, 0, 16, 1, false, DecodeNorm<16, S, 1>},
    {"R8_TYPELESS", 60, 0, 8, 1, false, DecodeR8},
    {"R8_UNORM", 61, 0, 8, 1, false, DecodeR8},
    {"R8_UINT", 62, 0, 8, 1, false, DecodeR8},
    {"R8_SNORM", 63, 0, 8, 1, false, DecodeNorm<8, S, 1>},
    {"R8_SINT", 64, 0, 8, 1, false, DecodeNorm<8, S, 1>},
    {"A8_UNORM", 65, 0, 8, 1, true, DecodeA8},
    {"R1_UNORM", 66, 0, 1, 1, false, DecodeR1},
    {"R9G9B9E5_SHAREDEXP", 67, 0, 32, 3, false, DecodeRgb9E5, kPixels, nullptr, DecodeHdrRgb9E5},
    {"R8G8_B8G8_UNORM", 68, 0, 16, 3, false, DecodeR8G8B8G8, kPairs},
    {"G8R8_G8B8_UNORM", 69, 0, 16, 3, false, DecodeG8R8G8B8, kPairs},
    {"B5G6R5_UNORM", 85, 0, 16, 3, false, DecodeB5G6R5},
    {"B5G5R5A1_UNORM", 86, 0, 16, 4, true, DecodeB5G5R5A1},
    {"B8G8R8A8_UNORM", 87, 0, 32, 4, true, DecodeBgra8},
    {"B8G8R8X8_UNORM", 88, 0, 32, 3, false, DecodeBgrx8},
    {"R10G10B10_XR_BIAS_A2_UNORM", 89, 0, 32, 4, true, DecodeXrBias},
    {"B8G8R8A8_TYPELESS", 90, 0, 32, 4, true, DecodeBgra8},
    {"B8G8R8A8_UNORM_SRGB", 91, 0, 32, 4, true, DecodeBgra8},
    {"B8G8R8X8_TYPELESS", 92, 0, 32, 3, false, DecodeBgrx8},
    {"B8G8R8X8_UNORM_SRGB", 93, 0, 32, 3, false, DecodeBgrx8},
    {"AYUV", 100, 0, 32, 4, true, DecodeAyuv},
    {"Y410", 101, 0, 32, 4, true, DecodeY410},
    {"Y416", 102, 0, 64, 4, true, DecodeY416},
    {"NV12", 103, 0, 8, 3, false, DecodeNv12, kTwoPlanes},
    {"P010", 104, 0, 16, 3, false, DecodeP0x6<0xFFC0>, kTwoPlanes},
    {"P016", 105, 0, 16, 3, false, DecodeP0x6<0xFFFF>, kTwoPlanes},
    {"420_OPAQUE", 106, 0, 8, 3, false, DecodeNv12, kTwoPlanes},
    {"YUY2", 107, 0, 16, 3, false, DecodeYuy2, kEvenPairs},
    {"Y210", 108, 0, 32, 3, false, DecodeY2x6<0xFFC0>, kEvenPairs},
    {"Y216", 109, 0, 32, 3, false, DecodeY2x6<0xFFFF>, kEvenPairs},
    {"B4G4R4A4_UNORM", 115, 0, 16, 4, true, DecodeB4G4R4A4},
    {"A4B4G4R4_UNORM", 191, 0, 16, 4, true, DecodeA4B4G4R4},
    // Layouts only legacy headers reach. Bump layouts are signed: U, V, W as red, green, blue;
    // Q is alpha, L (unsigned) blue.
    {"R8G8B8", 0, 0, 24, 3, false, DecodeBgr8},
    {"X1R5G5B5", 0, 0, 16, 3, false, DecodeB5G5R5X1},
    {"X4R4G4B4", 0, 0, 16, 3, false, DecodeB4G4R4X4},
    {"R3G3B2", 0, 0, 8, 3, false, DecodeB2G3R3},
    {"A8R3G3B2", 0, 0, 16, 4, true, DecodeB2G3R3A8},
    {"X8B8G8R8", 0, 0, 32, 3, false, DecodeRgbx8},
    {"A2R10G10B10", 0, 0, 32, 4, true, DecodeBgr10A2},
    {"L8", 0, 0, 8, 1, false, DecodeR8},
    {"L16", 0, 0, 16, 1, false, DecodeR16},
    {"A8L8", 0, 0, 16, 2, true, DecodeL8A8},
    {"A4L4", 0, 0, 8, 2, true, DecodeL4A4},
    {"P8", 0, 0, 8, 3, false, DecodePalette8},
    {"A8P8", 0, 0, 16, 4, true, DecodePalette8Alpha8},
    {"V8U8", 0, 0, 16, 2, false, DecodeNorm<8, S, 2>, kPixels, DecodeVectors<8, S>},
    {"CxV8U8", 0, 0, 16, 2, false, DecodeNorm<8, S, 2>},
    {"Q8W8V8U8", 0, 0, 32, 4, true, DecodeNorm<8, S, 4>},
    {"V16U16", 0, 0, 32, 2, false, DecodeNorm<16, S, 2>, kPixels, DecodeVectors<16, S>},
    {"Q16W16V16U16", 0, 0, 64, 4, true, DecodeNorm<16, S, 4>},
    {"A2W10V10U10", 0, 0, 32, 4, true, DecodeA2W10V10U10},
    {"L6V5U5", 0, 0, 16, 3, false, DecodeL6V5U5},
    {"X8L8V8U8", 0, 0, 32, 3, false, DecodeX8L8V8U8},
    {"UYVY", 0, 0, 16, 3, false, DecodeUyvy, kEvenPairs},
    {"RXGB", 0, 16, 0, 3, false, kRxgb},
    // Other contiguous bit masks: bit count and alpha come from the header.
    {"legacy bit masks", 0, 0, 0, 4, false, DecodeMasks},
};

constexpr bool SameName(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

// The decoder row of that name, found while compiling.
constexpr const DdsFormat* Decoder(const char* name) {
    for (const DdsFormat& row : kFormats) {
        if (SameName(row.name, name)) return &row;
    }
    return nullptr;
}

constexpr uint32_t F(char a, char b, char c, char d) { return FourCc(a, b, c, d); }
constexpr uint32_t kFour = kPfFourCc, kRgb = kPfRgb, kLum = kPfLuminance, kAlp = kPfAlphaOnly,
                   kPal = kPfPaletteIndexed8, kDuDv = kPfBumpDuDv, kBumpLum = kPfBumpLuminance;

// Name, selecting flag, FourCC, bits, red, green, blue and alpha masks, D3DFORMAT, decoder.
// D3DFORMAT numbers stand in the FourCC of some formats. A row with alpha precedes its twin
// without, which also takes the alpha mask unflagged. The 10:10:10:2 masks follow the
// format's documentation (red in the low bits of A2B10G10R10), whose picture the masks give;
// Wine's D3DX names them the other way round.
constexpr LegacyFormat kLegacy[] = {
    {"DXT1", kFour, F('D', 'X', 'T', '1'), 0, 0, 0, 0, 0, F('D', 'X', 'T', '1'), Decoder("BC1_UNORM")},
    // DXT2 and DXT4 are the premultiplied forms; they show as D3DX shows DXT3 and DXT5.
    {"DXT2", kFour, F('D', 'X', 'T', '2'), 0, 0, 0, 0, 0, F('D', 'X', 'T', '2'), Decoder("BC2_UNORM")},
    {"DXT3", kFour, F('D', 'X', 'T', '3'), 0, 0, 0, 0, 0, F('D', 'X', 'T', '3'), Decoder("BC2_UNORM")},
    {"DXT4", kFour, F('D', 'X', 'T', '4'), 0, 0, 0, 0, 0, F('D', 'X', 'T', '4'), Decoder("BC3_UNORM")},
    {"DXT5", kFour, F('D', 'X', 'T', '5'), 0, 0, 0, 0, 0, F('D', 'X', 'T', '5'), Decoder("BC3_UNORM")},
    {"ATI1", kFour, F('A', 'T', 'I', '1'), 0, 0, 0, 0, 0, 0, Decoder("BC4_UNORM")},
    {"BC4U", kFour, F('B', 'C', '4', 'U'), 0, 0, 0, 0, 0, 0, Decoder("BC4_UNORM")},
    {"BC4S", kFour, F('B', 'C', '4', 'S'), 0, 0, 0, 0, 0, 0, Decoder("BC4_SNORM")},
    {"ATI2", kFour, F('A', 'T', 'I', '2'), 0, 0, 0, 0, 0, 0, Decoder("BC5_UNORM")},
    {"BC5U", kFour, F('B', 'C', '5', 'U'), 0, 0, 0, 0, 0, 0, Decoder("BC5_UNORM")},
    {"BC5S", kFour, F('B', 'C', '5', 'S'), 0, 0, 0, 0, 0, 0, Decoder("BC5_SNORM")},
    {"RXGB", kFour, F('R', 'X', 'G', 'B'), 0, 0, 0, 0, 0, 0, Decoder("RXGB")},
    {"BC6H", kFour, F('B', 'C', '6', 'H'), 0, 0, 0, 0, 0, 0, Decoder("BC6H_UF16")},
    {"BC7", kFour, F('B', 'C', '7', '\0'), 0, 0, 0, 0, 0, 0, Decoder("BC7_UNORM")},
    {"UYVY", kFour, F('U', 'Y', 'V', 'Y'), 0, 0, 0, 0, 0, F('U', 'Y', 'V', 'Y'), Decoder("UYVY")},
    {"YUY2", kFour, F('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0, F('Y', 'U', 'Y', '2'), Decoder("YUY2")},
    {"R8G8_B8G8", kFour, F('R', 'G', 'B', 'G'), 0, 0, 0, 0, 0, F('R', 'G', 'B', 'G'), Decoder("R8G8_B8G8_UNORM")},
    {"G8R8_G8B8", kFour, F('G', 'R', 'G', 'B'), 0, 0, 0, 0, 0, F('G', 'R', 'G', 'B'), Decoder("G8R8_G8B8_UNORM")},
    {"A16B16G16R16", kFour, 36, 0, 0, 0, 0, 0, 36, Decoder("R16G16B16A16_UNORM")},
    {"Q16W16V16U16", kFour, 110, 0, 0, 0, 0, 0, 110, Decoder("Q16W16V16U16")},
    {"R16F", kFour, 111, 0, 0, 0, 0, 0, 111, Decoder("R16_FLOAT")},
    {"G16R16F", kFour, 112, 0, 0, 0, 0, 0, 112, Decoder("R16G16_FLOAT")},
    {"A16B16G16R16F", kFour, 113, 0, 0, 0, 0, 0, 113, Decoder("R16G16B16A16_FLOAT")},
    {"R32F", kFour, 114, 0, 0, 0, 0, 0, 114, Decoder("R32_FLOAT")},
    {"G32R32F", kFour, 115, 0, 0, 0, 0, 0, 115, Decoder("R32G32_FLOAT")},
    {"A32B32G32R32F", kFour, 116, 0, 0, 0, 0, 0, 116, Decoder("R32G32B32A32_FLOAT")},
    {"CxV8U8", kFour, 117, 0, 0, 0, 0, 0, 117, Decoder("CxV8U8")},
    {"R3G3B2", kRgb, 0, 8, 0xE0, 0x1C, 0x3, 0, 27, Decoder("R3G3B2")},
    {"R5G6B5", kRgb, 0, 16, 0xF800, 0x7E0, 0x1F, 0, 23, Decoder("B5G6R5_UNORM")},
    {"A1R5G5B5", kRgb, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 25, Decoder("B5G5R5A1_UNORM")},
    {"X1R5G5B5", kRgb, 0, 16, 0x7C00, 0x3E0, 0x1F, 0, 24, Decoder("X1R5G5B5")},
    {"A4R4G4B4", kRgb, 0, 16, 0xF00, 0xF0, 0xF, 0xF000, 26, Decoder("B4G4R4A4_UNORM")},
    {"X4R4G4B4", kRgb, 0, 16, 0xF00, 0xF0, 0xF, 0, 30, Decoder("X4R4G4B4")},
    {"A8R3G3B2", kRgb, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00, 29, Decoder("A8R3G3B2")},
    {"R8G8B8", kRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0, 20, Decoder("R8G8B8")},
    {"A8R8G8B8", kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 21, Decoder("B8G8R8A8_UNORM")},
    {"X8R8G8B8", kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 22, Decoder("B8G8R8X8_UNORM")},
    {"A2B10G10R10", kRgb, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 31, Decoder("R10G10B10A2_UNORM")},
    {"A2R10G10B10", kRgb, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 35, Decoder("A2R10G10B10")},
    {"G16R16", kRgb, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0, 34, Decoder("R16G16_UNORM")},
    {"A8B8G8R8", kRgb, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32, Decoder("R8G8B8A8_UNORM")},
    {"X8B8G8R8", kRgb, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, 33, Decoder("X8B8G8R8")},
    {"L8", kLum, 0, 8, 0xFF, 0, 0, 0, 50, Decoder("L8")},
    {"A4L4", kLum, 0, 8, 0xF, 0, 0, 0xF0, 52, Decoder("A4L4")},
    {"L16", kLum, 0, 16, 0xFFFF, 0, 0, 0, 81, Decoder("L16")},
    {"A8L8", kLum, 0, 16, 0xFF, 0, 0, 0xFF00, 51, Decoder("A8L8")},
    {"A8", kAlp, 0, 8, 0, 0, 0, 0xFF, 28, Decoder("A8_UNORM")},
    {"P8", kPal, 0, 8, 0, 0, 0, 0, 41, Decoder("P8")},
    {"A8P8", kPal, 0, 16, 0, 0, 0, 0xFF00, 40, Decoder("A8P8")},
    {"V8U8", kDuDv, 0, 16, 0xFF, 0xFF00, 0, 0, 60, Decoder("V8U8")},
    {"V16U16", kDuDv, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0, 64, Decoder("V16U16")},
    {"Q8W8V8U8", kDuDv, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 63, Decoder("Q8W8V8U8")},
    {"A2W10V10U10", kDuDv, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 67, Decoder("A2W10V10U10")},
    {"L6V5U5", kBumpLum, 0, 16, 0x1F, 0x3E0, 0xFC00, 0, 61, Decoder("L6V5U5")},
    {"X8L8V8U8", kBumpLum, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, 62, Decoder("X8L8V8U8")},
};

constexpr bool EveryRowHasADecoder() {
    for (const LegacyFormat& row : kLegacy) {
        if (row.format == nullptr) return false;
    }
    return true;
}
static_assert(EveryRowHasADecoder(), "a legacy row names a decoder the table lacks");
constexpr const DdsFormat* kGenericMasks = Decoder("legacy bit masks");
static_assert(SameName(kGenericMasks->name, "legacy bit masks"));

// How D3DX 9 matches each layout flag, in the order it tries them: which masks it compares, and
// whether it compares alpha always or only where the header flags alpha pixels.
struct LayoutMatch {
    uint32_t flag;
    bool colours, redOnly, alphaAlways;
};
constexpr LayoutMatch kLayoutMatches[] = {
    {kPal, false, false, false}, {kRgb, true, false, false},    {kLum, false, true, false},
    {kAlp, false, false, true},  {kDuDv, true, false, true},    {kBumpLum, true, false, false},
};

bool Matches(const LegacyFormat& row, const LayoutMatch& how, const DdsPixelFormatHeader& pf) {
    if (row.bits != pf.bitCount) return false;
    if (how.colours && (row.red != pf.redMask || row.green != pf.greenMask || row.blue != pf.blueMask)) return false;
    if (how.redOnly && row.red != pf.redMask) return false;
    if (how.alphaAlways) return row.alpha == pf.alphaMask;
    return row.alpha == 0 || ((pf.flags & kPfAlphaPixels) != 0 && row.alpha == pf.alphaMask);
}

}  // namespace

Rows<DdsFormat> DecoderFormats() noexcept { return {kFormats, sizeof kFormats / sizeof kFormats[0]}; }
Rows<LegacyFormat> LegacyFormats() noexcept { return {kLegacy, sizeof kLegacy / sizeof kLegacy[0]}; }

const DdsFormat* FindDxgiFormat(uint32_t dxgi) noexcept {
    if (dxgi == 0) return nullptr;
    for (const DdsFormat& row : kFormats) {
        if (row.dxgi == dxgi) return &row;
    }
    return nullptr;
}

const LegacyFormat* FindLegacyFormat(const DdsPixelFormatHeader& pf, bool byFourCc) noexcept {
    if (byFourCc) {
        for (const LegacyFormat& row : kLegacy) {
            if (row.flag == kPfFourCc && row.fourCc == pf.fourCc) return &row;
        }
        return nullptr;
    }
    for (const LayoutMatch& how : kLayoutMatches) {
        if ((pf.flags & how.flag) == 0) continue;
        for (const LegacyFormat& row : kLegacy) {
            if (row.flag == how.flag && Matches(row, how, pf)) return &row;
        }
        return nullptr;
    }
    return nullptr;
}

const DdsFormat& GenericMasksFormat() noexcept { return *kGenericMasks; }

}  // namespace sorvane::dds
