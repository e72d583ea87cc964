#include "DdsReader.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <initializer_list>

#include "DdsFormat.h"

namespace sorvane::dds {

namespace {

constexpr uint32_t kMagic = FourCc('D', 'D', 'S', ' ');

// The flags that name a layout other than a FourCC.
constexpr uint32_t kLayoutFlags = kPfAlphaOnly | kPfPaletteIndexed8 | kPfRgb | kPfYuv | kPfLuminance |
                                  kPfBumpLuminance | kPfBumpDuDv;
constexpr uint32_t kCubemap = 0x200, kCubeFaces = 0xFC00, kVolume = 0x200000;  // caps2
constexpr uint32_t kDx10Cube = 0x4;  // miscFlag
constexpr uint32_t kAllFaces = 0x3F;  // DdsCounts::cubeFaces
// DX10 resource dimensions and alpha modes.
constexpr uint32_t kUnknownDimension = 0, kTexture1D = 2, kTexture2D = 3, kTexture3D = 4;
constexpr uint32_t kAlphaModeMask = 0x7, kAlphaModePremultiplied = 2, kAlphaModeOpaque = 3;

// The record of a signed 32-bit width and height: larger sizes describe no picture a host
// can take.
constexpr uint32_t kMaxDimension = 0x7FFFFFFF;

// P8 and A8P8 files hold 256 palette entries between the header and the pixels.
bool HasPalette(const DdsImage& image) {
    return image.legacyFormat != nullptr && image.legacyFormat->flag == kPfPaletteIndexed8;
}

bool MultiplyChecked(uint64_t a, uint64_t b, uint64_t& product) {
    if (a != 0 && b > UINT64_MAX / a) return false;
    product = a * b;
    return true;
}

// A mask whose set bits are one run, as every channel of a real layout has.
bool IsContiguous(uint32_t mask) {
    if (mask == 0) return true;
    while ((mask & 1) == 0) mask >>= 1;
    return (mask & (mask + 1)) == 0;
}

// Writers that leave out the FourCC flag still mean the FourCC when no other layout is named.
bool ReadsAsFourCc(const DdsPixelFormatHeader& pf) {
    return (pf.flags & kPfFourCc) != 0 || ((pf.flags & kLayoutFlags) == 0 && pf.fourCc != 0);
}

// Contiguous masks of 8 to 32 bits that D3DX 9 names no format for.
ReadResult GenericMasksOf(const DdsPixelFormatHeader& pf, DdsImage& image) {
    if ((pf.flags & (kPfRgb | kPfLuminance | kPfAlphaOnly)) == 0) return ReadResult::Unsupported;
    if (pf.bitCount != 8 && pf.bitCount != 16 && pf.bitCount != 24 && pf.bitCount != 32) return ReadResult::Unsupported;
    ChannelMasks masks{pf.bitCount, pf.redMask, pf.greenMask, pf.blueMask, pf.alphaMask, false};
    // The alpha mask counts only where the flags say the pixels carry alpha.
    if ((pf.flags & (kPfAlphaPixels | kPfAlphaOnly)) == 0) masks.alpha = 0;
    if (pf.flags & kPfAlphaOnly) {
        masks.red = masks.green = masks.blue = 0;
    } else if (pf.flags & kPfLuminance) {
        masks.luminance = true;
        masks.green = masks.blue = 0;
        if (masks.red == 0) return ReadResult::Unsupported;
    } else if ((masks.red | masks.green | masks.blue) == 0) {
        return ReadResult::Unsupported;
    }
    const uint64_t limit = pf.bitCount == 32 ? 0xFFFFFFFFull : (uint64_t{1} << pf.bitCount) - 1;
    for (const uint32_t mask : {masks.red, masks.green, masks.blue, masks.alpha}) {
        if (mask > limit || !IsContiguous(mask)) return ReadResult::Unsupported;
    }
    if (pf.flags & kPfAlphaOnly && masks.alpha == 0) return ReadResult::Unsupported;
    image.format = &GenericMasksFormat();
    image.masks = masks;
    image.alpha = masks.alpha != 0;
    return ReadResult::Ok;
}

ReadResult LegacyFormatOf(const DdsPixelFormatHeader& pf, DdsImage& image) {
    const bool byFourCc = ReadsAsFourCc(pf);
    const LegacyFormat* row = FindLegacyFormat(pf, byFourCc);
    if (byFourCc) image.fourCc = pf.fourCc;
    if (row == nullptr) return byFourCc ? ReadResult::Unsupported : GenericMasksOf(pf, image);
    image.legacyFormat = row;
    // D3DX 9 reads a FourCC only under its flag.
    image.d3dFormat = byFourCc && (pf.flags & kPfFourCc) == 0 ? 0 : row->d3dFormat;
    image.format = row->format;
    image.alpha = row->format->alpha;
    if (row->flag != kPfFourCc) {
        image.masks = {row->bits, row->red, row->green, row->blue, row->alpha, row->flag == kPfLuminance};
    }
    return ReadResult::Ok;
}

ReadResult Dx10FormatOf(const DdsExtensionHeader& dx10, DdsImage& image) {
    image.dx10 = true;
    // Some writers leave the dimension unknown (0): a picture more than a row high is 2-D. An
    // array size of 0 is read as 1, which needs nothing here: only the first picture is read.
    uint32_t dimension = dx10.resourceDimension;
    if (dimension == kUnknownDimension) dimension = image.height > 1 ? kTexture2D : kTexture1D;
    if (dimension != kTexture1D && dimension != kTexture2D && dimension != kTexture3D) return ReadResult::Invalid;
    image.format = FindDxgiFormat(dx10.dxgiFormat);
    if (image.format == nullptr) return ReadResult::Unsupported;
    // Writers of 1-D textures put a height of 1, or nothing, in the legacy header.
    if (dimension == kTexture1D) image.height = 1;
    const uint32_t alphaMode = dx10.miscFlags2 & kAlphaModeMask;
    image.alpha = image.format->alpha && alphaMode != kAlphaModeOpaque;
    image.premultiplied = image.alpha && alphaMode == kAlphaModePremultiplied;
    return ReadResult::Ok;
}

}  // namespace

ReadResult SizePicture(DdsImage& image) noexcept {
    const DdsFormat& f = *image.format;
    const uint32_t pixelBits = f.blockBytes != 0 ? 0 : f.pixelBits != 0 ? f.pixelBits : image.masks.bits;
    const bool oddWidth = (image.width & 1) != 0;
    uint64_t rows = image.height;
    switch (f.layout) {
    case Layout::Pixels:
        if (f.blockBytes != 0) {
            image.rowBytes = (uint64_t{image.width} + 3) / 4 * f.blockBytes;
            rows = (uint64_t{image.height} + 3) / 4;
        } else {
            image.rowBytes = (uint64_t{image.width} * pixelBits + 7) / 8;
        }
        break;
    case Layout::EvenPairs:
        if (oddWidth) return ReadResult::Invalid;
        [[fallthrough]];
    case Layout::Pairs:
        image.rowBytes = (uint64_t{image.width} + 1) / 2 * (2 * pixelBits / 8);
        break;
    case Layout::TwoPlanes:
        // Each 2 x 2 pixels share one chroma pair: a row of them as long as a luma row.
        if (oddWidth || (image.height & 1) != 0) return ReadResult::Invalid;
        image.rowBytes = uint64_t{image.width} * (pixelBits / 8);
        rows = uint64_t{image.height} + image.height / 2;
        break;
    }
    if (!MultiplyChecked(image.rowBytes, rows, image.pictureBytes)) return ReadResult::Invalid;
    return ReadResult::Ok;
}

ReadResult ReadDdsHeader(const void* bytes, size_t size, DdsImage& image) noexcept {
    image = DdsImage();
    const auto* data = static_cast<const uint8_t*>(bytes);
    if (data == nullptr || size < kMagicBytes + sizeof(DdsHeader)) return ReadResult::NotDds;
    uint32_t magic;
    std::memcpy(&magic, data, sizeof magic);
    if (magic != kMagic) return ReadResult::NotDds;
    DdsHeader& header = image.header;
    std::memcpy(&header, data + kMagicBytes, sizeof header);
    const bool dx10 = ReadsAsFourCc(header.pixelFormat) && header.pixelFormat.fourCc == FourCc('D', 'X', '1', '0');
    if (dx10 && size >= kMagicBytes + sizeof(DdsHeader) + sizeof(DdsExtensionHeader)) {
        std::memcpy(&image.extension, data + kMagicBytes + sizeof(DdsHeader), sizeof image.extension);
        image.hasExtension = true;
    }
    // Writers get the header's own size field wrong in many ways, and the pixel format's as 0
    // or 24; other pixel-format sizes are not a DDS header's.
    const uint32_t pixelFormatSize = header.pixelFormat.size;
    if (pixelFormatSize != sizeof(DdsPixelFormatHeader) && pixelFormatSize != 0 && pixelFormatSize != 24) {
        return ReadResult::NotDds;
    }
    image.width = header.width;
    image.height = header.height;
    image.dataOffset = kMagicBytes + sizeof(DdsHeader);

    ReadResult result;
    if (dx10) {
        if (!image.hasExtension) return ReadResult::Invalid;
        image.dataOffset += sizeof(DdsExtensionHeader);
        result = Dx10FormatOf(image.extension, image);
    } else {
        result = LegacyFormatOf(header.pixelFormat, image);
        if (result == ReadResult::Ok && HasPalette(image)) image.dataOffset += kPaletteBytes;
    }
    if (result != ReadResult::Ok) return result;
    if (image.width == 0 || image.height == 0 || image.width > kMaxDimension || image.height > kMaxDimension) {
        return ReadResult::Invalid;
    }
    // Each level halves the largest dimension: a count beyond that (written by some tools, and
    // which would make a reader walk levels for minutes) is capped; 0 means one level.
    const bool volume = (header.caps2 & kVolume) != 0 || (image.dx10 && image.extension.resourceDimension == kTexture3D);
    const uint32_t depth = volume ? std::max(header.depth, 1u) : 1;
    uint32_t largest = std::max({image.width, image.height, depth}), levels = 1;
    while (largest > 1) {
        largest >>= 1;
        ++levels;
    }
    image.mipLevels = std::clamp(header.mipMapCount, 1u, levels);
    return SizePicture(image);
}

ReadResult ReadDds(const void* bytes, size_t size, DdsImage& image) noexcept {
    const ReadResult result = ReadDdsHeader(bytes, size, image);
    if (result != ReadResult::Ok) return result;
    if (!HoldsFirstPicture(image, size)) return ReadResult::Truncated;
    const auto* data = static_cast<const uint8_t*>(bytes);
    image.pixels = data + image.dataOffset;
    if (HasPalette(image)) image.palette = image.pixels - kPaletteBytes;
    return ReadResult::Ok;
}

bool HoldsFirstPicture(const DdsImage& image, uint64_t size) noexcept {
    // The first picture (mip 0 of element 0, face +X or slice 0) starts right after the
    // headers: every later mip, face, slice or element follows it.
    return image.dataOffset <= size && image.pictureBytes <= size - image.dataOffset;
}

DdsCounts CountImages(const DdsImage& image) noexcept {
    DdsCounts counts;
    if (image.format == nullptr) return counts;
    const DdsHeader& header = image.header;
    counts.mipLevels = image.mipLevels;
    if (image.dx10) {
        counts.volume = image.extension.resourceDimension == kTexture3D;
        const uint64_t elements = std::max(image.extension.arraySize, 1u);
        const bool cube = !counts.volume && (image.extension.miscFlag & kDx10Cube) != 0;
        counts.items = counts.volume ? std::max(header.depth, 1u) : elements * (cube ? 6 : 1);
        counts.cubeFaces = cube ? kAllFaces : 0;
    } else if (header.caps2 & kCubemap) {
        // Writers that set only the cube flag mean all six faces.
        const uint32_t faces = (header.caps2 & kCubeFaces) >> 10;
        counts.cubeFaces = faces != 0 ? faces : kAllFaces;
        counts.items = std::bitset<6>(counts.cubeFaces).count();
    } else {
        counts.volume = (header.caps2 & kVolume) != 0;
        counts.items = counts.volume ? std::max(header.depth, 1u) : 1;
    }
    return counts;
}

namespace {

// `image` with the sizes of level `mip`.
ReadResult LevelOf(const DdsImage& image, uint32_t mip, DdsImage& level) {
    level = image;
    level.width = std::max(image.width >> mip, 1u);
    level.height = std::max(image.height >> mip, 1u);
    return SizePicture(level);
}

bool AddChecked(uint64_t a, uint64_t b, uint64_t& sum) {
    if (b > UINT64_MAX - a) return false;
    sum = a + b;
    return true;
}

}  // namespace

ReadResult PlaceImage(const DdsImage& image, uint64_t size, uint64_t item, uint32_t mip, DdsImage& placed) noexcept {
    placed = DdsImage();
    const DdsCounts counts = CountImages(image);
    if (item >= counts.items || mip >= counts.mipLevels) return ReadResult::Invalid;
    // Volumes store each level's slices together; other files each item's levels together.
    const uint64_t depth = counts.volume ? counts.items : 1;
    uint64_t before = 0, itemBytes = 0, bytesOfLevel = 0;
    for (uint32_t m = 0; m < counts.mipLevels; ++m) {
        DdsImage level;
        if (LevelOf(image, m, level) != ReadResult::Ok) return ReadResult::Invalid;
        const uint64_t slices = std::max<uint64_t>(depth >> m, 1);
        uint64_t levelBytes;
        if (!MultiplyChecked(level.pictureBytes, slices, levelBytes)) return ReadResult::Invalid;
        if (m < mip && !AddChecked(before, levelBytes, before)) return ReadResult::Invalid;
        if (m == mip) bytesOfLevel = level.pictureBytes;
        if (!AddChecked(itemBytes, levelBytes, itemBytes)) return ReadResult::Invalid;
        if (m == mip && counts.volume) break;
    }
    uint64_t offset = 0;
    if (counts.volume) {
        if (item >= std::max<uint64_t>(depth >> mip, 1)) return ReadResult::Invalid;
        if (!MultiplyChecked(item, bytesOfLevel, offset) || !AddChecked(offset, before, offset)) return ReadResult::Invalid;
    } else if (!MultiplyChecked(item, itemBytes, offset) || !AddChecked(offset, before, offset)) {
        return ReadResult::Invalid;
    }
    if (!AddChecked(offset, image.dataOffset, offset)) return ReadResult::Invalid;
    if (LevelOf(image, mip, placed) != ReadResult::Ok) return ReadResult::Invalid;
    placed.dataOffset = offset;
    placed.pixels = placed.palette = nullptr;
    if (offset > size || placed.pictureBytes > size - offset) return ReadResult::Truncated;
    return ReadResult::Ok;
}

ReadResult LocateImage(const DdsImage& image, const void* bytes, size_t size, uint64_t item, uint32_t mip,
                       DdsImage& placed) noexcept {
    if (bytes == nullptr) {
        placed = DdsImage();
        return ReadResult::Invalid;
    }
    const ReadResult result = PlaceImage(image, size, item, mip, placed);
    if (result != ReadResult::Ok) return result;
    const uint64_t offset = placed.dataOffset;
    const auto* data = static_cast<const uint8_t*>(bytes);
    placed.pixels = data + offset;
    placed.palette = HasPalette(image) ? data + image.dataOffset - kPaletteBytes : nullptr;
    return ReadResult::Ok;
}

uint32_t BlockHeight(const DdsImage& image) noexcept {
    return image.format != nullptr && image.format->blockBytes != 0 ? 4 : 1;
}

namespace {

void DecodeUnitRows(const DdsImage& image, RowDecoder decode, uint32_t first, uint32_t count, uint8_t* out,
                    ptrdiff_t stride) {
    const uint32_t unitRows = BlockHeight(image);
    const uint32_t end = first + count;
    for (uint32_t row = first; row < end; row += unitRows) {
        const uint32_t rows = end - row < unitRows ? end - row : unitRows;
        const uint8_t* source = image.pixels + (row / unitRows) * image.rowBytes;
        decode(RowJob{image, source, rows, out + static_cast<ptrdiff_t>(row - first) * stride, stride, row});
    }
}

}  // namespace

void DecodeRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    DecodeUnitRows(image, image.format->decode, first, count, out, stride);
}

bool HasVectorChannels(const DdsImage& image) noexcept {
    return image.format != nullptr && image.format->vectors != nullptr;
}

void DecodeVectorRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    if (HasVectorChannels(image)) DecodeUnitRows(image, image.format->vectors, first, count, out, stride);
}

bool HasHdrChannels(const DdsImage& image) noexcept { return image.format != nullptr && image.format->hdr != nullptr; }

void DecodeHdrRows(const DdsImage& image, uint32_t first, uint32_t count, float* out, ptrdiff_t stride) noexcept {
    if (HasHdrChannels(image)) {
        DecodeUnitRows(image, image.format->hdr, first, count, reinterpret_cast<uint8_t*>(out),
                       stride * static_cast<ptrdiff_t>(sizeof(float)));
    }
}

const char* FormatName(const DdsImage& image) noexcept {
    return image.format != nullptr ? image.format->name : "none";
}

}  // namespace sorvane::dds
