#pragma once
// A DDS reader of our own: the legacy header and the DX10 extension, the formats of the tables
// in DdsFormat.h, and the decoding of the first picture (mip 0 of element 0, face +X or slice
// 0), or of any other image located in the file, into rows of blue, green, red, alpha bytes. Plain C++: no Windows header, so it also builds and
// is fuzzed natively.

#include <cstddef>
#include <cstdint>

namespace sorvane::dds {

// A FourCC as a header field holds it: the first character in the lowest byte.
constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

enum class ReadResult {
    Ok,
    NotDds,       // no DDS magic, or header sizes that are not a DDS header's
    Invalid,      // a header we cannot make sense of: zero or oversized dimensions, bad counts,
                  // an odd size where the format's chroma takes pairs of pixels
    Unsupported,  // a format outside the tables (unknown codes and layouts)
    Truncated,    // the first picture's bytes do not all lie within the data
};

struct DdsFormat;
struct LegacyFormat;

// Where the channels of a legacy pixel lie, for the formats described by bit masks.
struct ChannelMasks {
    uint32_t bits;  // of a pixel: 8, 16, 24 or 32
    uint32_t red, green, blue, alpha;
    bool luminance;  // red is a grey level
};

// The file's headers as it holds them (little-endian fields; untrusted bytes are copied into
// these, never read through a cast).
struct DdsPixelFormatHeader {
    uint32_t size, flags, fourCc, bitCount, redMask, greenMask, blueMask, alphaMask;
};
struct DdsHeader {
    uint32_t size, flags, height, width, pitchOrLinearSize, depth, mipMapCount, reserved1[11];
    DdsPixelFormatHeader pixelFormat;
    uint32_t caps, caps2, caps3, caps4, reserved2;
};
struct DdsExtensionHeader {
    uint32_t dxgiFormat, resourceDimension, miscFlag, arraySize, miscFlags2;
};
static_assert(sizeof(DdsPixelFormatHeader) == 32);
static_assert(sizeof(DdsHeader) == 124);
static_assert(sizeof(DdsExtensionHeader) == 20);

struct DdsImage {
    // The headers as read, kept whenever the bytes hold the magic and a whole header, also for
    // files the reader refuses: callers decide routes and limits from them without parsing the
    // header again. `extension` is set when the FourCC is DX10 and its header is there.
    DdsHeader header{};
    bool hasExtension = false;
    DdsExtensionHeader extension{};

    const DdsFormat* format = nullptr;
    // A legacy header's row (null for DX10 files and generic bit masks), and the D3DFORMAT
    // D3DX 9 reads that pixel format as: 0 where it reads none, and for every DX10 file. Set as
    // soon as the pixel format is recognised, also when the sizes are then refused.
    const LegacyFormat* legacyFormat = nullptr;
    uint32_t d3dFormat = 0;
    uint32_t width = 0;   // of mip 0, at least 1
    uint32_t height = 0;  // of mip 0, at least 1 (a 1-D texture is one row)
    uint32_t mipLevels = 0;  // the header's count, at least 1 and at most what the size allows
    uint64_t rowBytes = 0;      // one row of pixels, or of 4 x 4 blocks
    uint64_t pictureBytes = 0;  // the first picture (of a 4:2:0 layout, both planes)
    uint64_t dataOffset = 0;    // where it starts in the file
    const uint8_t* pixels = nullptr;   // set by ReadDds
    const uint8_t* palette = nullptr;  // P8, A8P8: 256 entries of red, green, blue, flags; set by ReadDds
    ChannelMasks masks{};        // the layout of a legacy bit-mask format (bits 0 for others)
    bool alpha = false;          // the picture carries alpha
    bool premultiplied = false;  // colours are stored multiplied by alpha
    bool dx10 = false;           // the file has the DX10 header
    uint32_t fourCc = 0;         // a legacy header's FourCC, when read as one, else 0
};

// The header alone, as in the first 2048 bytes of a file: format and size, no pixel data.
ReadResult ReadDdsHeader(const void* bytes, size_t size, DdsImage& image) noexcept;

// The whole file: the header, and the first picture's bytes (and palette) within `size`.
ReadResult ReadDds(const void* bytes, size_t size, DdsImage& image) noexcept;

// Whether a file of `size` bytes holds the first picture of the header `image` (as
// ReadDdsHeader gave it, Ok).
bool HoldsFirstPicture(const DdsImage& image, uint64_t size) noexcept;

// What a file holds besides its first picture. An item is an array element's cube face (six a
// cube element, faces in the order +X, -X, +Y, -Y, +Z, -Z; a legacy cube holds the faces its
// caps name), an array element, or a volume slice; each has `mipLevels` levels (capped to what
// the size allows), and a volume has fewer slices at each smaller level.
struct DdsCounts {
    uint64_t items = 0;
    uint32_t mipLevels = 0;
    bool volume = false;
    uint32_t cubeFaces = 0;  // a cube's faces in the file, bit 0 (+X) to bit 5 (-Z); 0 for no cube
};
DdsCounts CountImages(const DdsImage& image) noexcept;

// Mip `mip` of item `item` of a file whose header `image` is (as ReadDdsHeader or ReadDds gave
// it, Ok): `placed` becomes `image` with that picture's width, height, sizes, dataOffset and
// pixels (and palette), decodable by DecodeRows. Invalid when there is no such picture (or its
// sizes cannot be worked out, as an odd level of a 4:2:0 format), Truncated when its bytes do
// not all lie within `size`. Offsets are computed in 64 bits with every step checked.
ReadResult LocateImage(const DdsImage& image, const void* bytes, size_t size, uint64_t item, uint32_t mip,
                       DdsImage& placed) noexcept;

// LocateImage for a file of `size` bytes whose bytes are not at hand: the same answer, the
// picture's sizes and dataOffset, no pixels.
ReadResult PlaceImage(const DdsImage& image, uint64_t size, uint64_t item, uint32_t mip, DdsImage& placed) noexcept;

// Rows of 4 x 4 blocks for block-compressed formats, else 1.
uint32_t BlockHeight(const DdsImage& image) noexcept;

// Decodes `count` rows of the picture from row `first` (a multiple of BlockHeight) into rows of
// width pixels of 4 bytes each (blue, green, red, alpha; alpha 255 where the picture has none),
// `stride` bytes apart. Writes exactly width x 4 bytes of each row and nothing else.
void DecodeRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out,
                ptrdiff_t stride) noexcept;

// Whether the picture's two channels are a normal's x and y, which DecodeVectorRows gives: BC5
// and its FourCCs, the R8G8 and R16G16 families (not their floats), V8U8 and V16U16.
bool HasVectorChannels(const DdsImage& image) noexcept;

// As DecodeRows, the two channels at full precision for such a picture: each pixel 16 bytes,
// x then y as doubles in [-1, 1] (2v - 1 for unsigned values v in [0, 1], the value itself for
// signed ones). Writes nothing for other pictures.
void DecodeVectorRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out,
                      ptrdiff_t stride) noexcept;

// Whether the picture's colours are high-dynamic-range values, which DecodeHdrRows gives: the
// 16- and 32-bit float formats (and the 32-bit TYPELESS ones, read as floats), R11G11B10_FLOAT,
// R9G9B9E5_SHAREDEXP, BC6H, and their legacy FourCCs. Not depth.
bool HasHdrChannels(const DdsImage& image) noexcept;

// Floats of a pixel in DecodeHdrRows' rows: red, green, blue, alpha.
constexpr size_t kHdrPixelFloats = 4;

// As DecodeRows, the channels at full precision for such a picture: each pixel red, green,
// blue, alpha as floats, the values as stored (NaN, infinities and negatives kept; BC6H's
// halves before rounding). One channel gives (v, v, v), two give (r, g, 0); alpha is 1 for a
// format without alpha. `stride` counts floats. Writes nothing for other pictures.
void DecodeHdrRows(const DdsImage& image, uint32_t first, uint32_t count, float* out, ptrdiff_t stride) noexcept;

// The format's name, for messages and measurements.
const char* FormatName(const DdsImage& image) noexcept;

}  // namespace sorvane::dds
