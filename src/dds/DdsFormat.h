#pragma once
// The formats our DDS reader decodes, as two tables: the decoders (a row per DXGI format, and
// per layout only legacy headers reach), and the legacy pixel formats (a row per FourCC or
// bit-mask layout, naming its decoder and what D3DX 9 calls it). The header parser, DecodeRows,
// the fuzz seeds and the tests' recipes all read these two tables.

#include <cstddef>
#include <cstdint>

#include "DdsReader.h"

namespace sorvane::dds {

// One row of units: a row of 4 x 4 blocks (writing `rows` pixel rows, at most 4) or a row of
// pixels (rows is 1), as width pixels of blue, green, red, alpha per output row. `y` is the
// first pixel row, for layouts whose chroma lies in a plane of its own.
struct RowJob {
    const DdsImage& image;
    const uint8_t* source;
    uint32_t rows;
    uint8_t* out;
    ptrdiff_t stride;
    uint32_t y;
};
using RowDecoder = void (*)(const RowJob& job);

// How a format's pixels lie beyond one unit a pixel.
enum class Layout : uint8_t {
    Pixels,      // pixelBits a pixel
    Pairs,       // two pixels share 2 x pixelBits (4:2:2 and packed RGB); an odd width adds a pair
    EvenPairs,   // as Pairs, and an odd width is refused
    TwoPlanes,   // 4:2:0: rows of pixelBits a sample, then a plane of interleaved chroma at half
                 // height; an odd width or height is refused
};

struct DdsFormat {
    const char* name;
    uint32_t dxgi;        // DXGI_FORMAT number; 0 for a layout legacy headers alone reach
    uint8_t blockBytes;   // bytes of a 4 x 4 block; 0 for a pixel format
    uint8_t pixelBits;    // bits of a pixel (of a sample for TwoPlanes); 0 for a block format
    uint8_t channels;
    bool alpha;
    RowDecoder decode;
    Layout layout = Layout::Pixels;
    // Two-channel formats whose channels are a normal's x and y: the same unit row as pairs of
    // doubles (x, then y, in [-1, 1]; 16 bytes a pixel) at the channels' full precision, which
    // the 8-bit rows have lost. Null for the others.
    RowDecoder vectors = nullptr;
    // HDR formats: the same unit row with each pixel's red, green, blue and alpha as floats
    // (kHdrPixelFloats a pixel), the values as stored, before any clamping. Null for the others.
    RowDecoder hdr = nullptr;
};

// The pixel-format flags of the legacy header.
constexpr uint32_t kPfAlphaPixels = 0x1, kPfAlphaOnly = 0x2, kPfFourCc = 0x4, kPfPaletteIndexed8 = 0x20,
                   kPfRgb = 0x40, kPfYuv = 0x200, kPfLuminance = 0x20000, kPfBumpLuminance = 0x40000,
                   kPfBumpDuDv = 0x80000;

// The file's magic in front of the headers, and the palette P8 and A8P8 files hold between the
// headers and the pixels.
constexpr size_t kMagicBytes = 4, kPaletteBytes = 256 * 4;

// A legacy pixel format. A FourCC row matches the FourCC alone. A mask row is selected by its
// one layout flag (RGB, luminance, alpha-only, palette, bump) and matches bits and masks as
// D3DX 9 does: exactly, the alpha mask only where the header flags alpha pixels, and a row
// without alpha also takes a header whose alpha does not match (D3DX reads A8R8G8B8 masks
// without the alpha flag as X8R8G8B8).
struct LegacyFormat {
    const char* name;
    uint32_t flag;  // kPfFourCc or the layout flag
    uint32_t fourCc;
    uint32_t bits;
    uint32_t red, green, blue, alpha;
    uint32_t d3dFormat;        // the D3DFORMAT D3DX 9 reads it as; 0 where D3DX 9 does not read it
    const DdsFormat* format;   // its decoder
};

// The rows of a table, for range-for.
template <typename Row>
struct Rows {
    const Row* first;
    size_t count;
    const Row* begin() const { return first; }
    const Row* end() const { return first + count; }
};
Rows<DdsFormat> DecoderFormats() noexcept;
Rows<LegacyFormat> LegacyFormats() noexcept;

// The row of a DXGI format number, or null when the reader does not decode it.
const DdsFormat* FindDxgiFormat(uint32_t dxgi) noexcept;

// The row a legacy pixel format matches, by its FourCC or by the first layout flag it has in
// D3DX 9's order (palette, RGB, luminance, alpha-only, bump, bump luminance); null for none.
const LegacyFormat* FindLegacyFormat(const DdsPixelFormatHeader& pf, bool byFourCc) noexcept;
// The decoder of other contiguous bit-mask layouts, which D3DX 9 does not read.
const DdsFormat& GenericMasksFormat() noexcept;

// The row and picture sizes of `image` (rowBytes, pictureBytes) from its format, width and
// height (and masks.bits for the bit-mask layout), in 64 bits with every product checked.
// Invalid for an odd size a format of pixel pairs refuses, or a size beyond 64 bits.
ReadResult SizePicture(DdsImage& image) noexcept;

}  // namespace sorvane::dds
