#include "DdsReader.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "DdsFormat.h"

namespace sorvane::dds {

namespace {

constexpr uint32_t kMagic = FourCc('D', 'D', 'S', ' ');
constexpr size_t kMagicBytes = 4;
constexpr size_t kPaletteBytes = 256 * 4;

// Pixel format flags.
constexpr uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCc = 0x4, kPaletteIndexed8 = 0x20,
                   kRgb = 0x40, kYuv = 0x200, kLuminance = 0x20000, kBumpDuDv = 0x80000;
constexpr uint32_t kVolume = 0x200000;  // caps2
// DX10 resource dimensions and alpha modes.
constexpr uint32_t kTexture1D = 2, kTexture2D = 3, kTexture3D = 4;
constexpr uint32_t kAlphaModeMask = 0x7, kAlphaModePremultiplied = 2, kAlphaModeOpaque = 3;

// The record of a signed 32-bit width and height: larger sizes describe no picture a host
// can take.
constexpr uint32_t kMaxDimension = 0x7FFFFFFF;

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

ReadResult LegacyFormatOf(const DdsPixelFormatHeader& pf, DdsImage& image) {
    if (pf.flags & kFourCc) {
        image.fourCc = pf.fourCc;
        switch (pf.fourCc) {
        // DXT2 and DXT4 are the premultiplied forms; they show as D3DX shows DXT3 and DXT5.
        case FourCc('D', 'X', 'T', '1'): image.format = &LegacyRow(LegacyFormat::Bc1); break;
        case FourCc('D', 'X', 'T', '2'):
        case FourCc('D', 'X', 'T', '3'): image.format = &LegacyRow(LegacyFormat::Bc2); break;
        case FourCc('D', 'X', 'T', '4'):
        case FourCc('D', 'X', 'T', '5'): image.format = &LegacyRow(LegacyFormat::Bc3); break;
        case FourCc('A', 'T', 'I', '1'):
        case FourCc('B', 'C', '4', 'U'): image.format = &LegacyRow(LegacyFormat::Bc4); break;
        case FourCc('B', 'C', '4', 'S'): image.format = &LegacyRow(LegacyFormat::Bc4Signed); break;
        case FourCc('A', 'T', 'I', '2'):
        case FourCc('B', 'C', '5', 'U'): image.format = &LegacyRow(LegacyFormat::Bc5); break;
        case FourCc('B', 'C', '5', 'S'): image.format = &LegacyRow(LegacyFormat::Bc5Signed); break;
        // D3DFORMAT numbers stand in the FourCC for these.
        case 36: image.format = &LegacyRow(LegacyFormat::Rgba16); break;
        case 111: image.format = &LegacyRow(LegacyFormat::R16Float); break;
        case 113: image.format = &LegacyRow(LegacyFormat::Rgba16Float); break;
        case 114: image.format = &LegacyRow(LegacyFormat::R32Float); break;
        case 116: image.format = &LegacyRow(LegacyFormat::Rgba32Float); break;
        default: return ReadResult::Unsupported;
        }
        image.alpha = image.format->alpha;
        return ReadResult::Ok;
    }
    if (pf.flags & (kYuv | kBumpDuDv)) return ReadResult::Unsupported;
    if (pf.flags & kPaletteIndexed8) {
        if (pf.bitCount != 8) return ReadResult::Unsupported;
        image.format = &LegacyRow(LegacyFormat::Palette8);
        return ReadResult::Ok;
    }
    if ((pf.flags & (kRgb | kLuminance | kAlphaOnly)) == 0) return ReadResult::Unsupported;
    if (pf.bitCount != 8 && pf.bitCount != 16 && pf.bitCount != 24 && pf.bitCount != 32) return ReadResult::Unsupported;
    ChannelMasks masks{pf.bitCount, pf.redMask, pf.greenMask, pf.blueMask, pf.alphaMask, false};
    // The alpha mask counts only where the flags say the pixels carry alpha.
    if ((pf.flags & (kAlphaPixels | kAlphaOnly)) == 0) masks.alpha = 0;
    if (pf.flags & kAlphaOnly) {
        masks.red = masks.green = masks.blue = 0;
    } else if (pf.flags & kLuminance) {
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
    if (pf.flags & kAlphaOnly && masks.alpha == 0) return ReadResult::Unsupported;
    image.format = &LegacyRow(LegacyFormat::Masks);
    image.masks = masks;
    image.alpha = masks.alpha != 0;
    return ReadResult::Ok;
}

ReadResult Dx10FormatOf(const DdsExtensionHeader& dx10, DdsImage& image) {
    image.dx10 = true;
    if (dx10.resourceDimension != kTexture1D && dx10.resourceDimension != kTexture2D &&
        dx10.resourceDimension != kTexture3D) {
        return ReadResult::Invalid;
    }
    if (dx10.arraySize == 0) return ReadResult::Invalid;
    image.format = FindDxgiFormat(dx10.dxgiFormat);
    if (image.format == nullptr) return ReadResult::Unsupported;
    // Writers of 1-D textures put a height of 1, or nothing, in the legacy header.
    if (dx10.resourceDimension == kTexture1D) image.height = 1;
    const uint32_t alphaMode = dx10.miscFlags2 & kAlphaModeMask;
    image.alpha = image.format->alpha && alphaMode != kAlphaModeOpaque;
    image.premultiplied = image.alpha && alphaMode == kAlphaModePremultiplied;
    return ReadResult::Ok;
}

// The sizes of the first picture, in 64 bits with every product checked.
ReadResult SizePicture(DdsImage& image) {
    const DdsFormat& f = *image.format;
    const uint32_t pixelBits = f.blockBytes != 0 ? 0 : f.pixelBits != 0 ? f.pixelBits : image.masks.bits;
    uint64_t rows;
    if (f.blockBytes != 0) {
        image.rowBytes = (uint64_t{image.width} + 3) / 4 * f.blockBytes;
        rows = (uint64_t{image.height} + 3) / 4;
    } else {
        image.rowBytes = (uint64_t{image.width} * pixelBits + 7) / 8;
        rows = image.height;
    }
    if (!MultiplyChecked(image.rowBytes, rows, image.pictureBytes)) return ReadResult::Invalid;
    return ReadResult::Ok;
}

}  // namespace

ReadResult ReadDdsHeader(const void* bytes, size_t size, DdsImage& image) noexcept {
    image = DdsImage();
    const auto* data = static_cast<const uint8_t*>(bytes);
    if (data == nullptr || size < kMagicBytes + sizeof(DdsHeader)) return ReadResult::NotDds;
    uint32_t magic;
    std::memcpy(&magic, data, sizeof magic);
    if (magic != kMagic) return ReadResult::NotDds;
    DdsHeader& header = image.header;
    std::memcpy(&header, data + kMagicBytes, sizeof header);
    const bool dx10 = (header.pixelFormat.flags & kFourCc) && header.pixelFormat.fourCc == FourCc('D', 'X', '1', '0');
    if (dx10 && size >= kMagicBytes + sizeof(DdsHeader) + sizeof(DdsExtensionHeader)) {
        std::memcpy(&image.extension, data + kMagicBytes + sizeof(DdsHeader), sizeof image.extension);
        image.hasExtension = true;
    }
    if (header.size != sizeof(DdsHeader) || header.pixelFormat.size != sizeof(DdsPixelFormatHeader)) {
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
        if (result == ReadResult::Ok && image.format == &LegacyRow(LegacyFormat::Palette8)) {
            image.dataOffset += kPaletteBytes;
        }
    }
    if (result != ReadResult::Ok) return result;
    if (image.width == 0 || image.height == 0 || image.width > kMaxDimension || image.height > kMaxDimension) {
        return ReadResult::Invalid;
    }
    // Each level halves the largest dimension: more levels than that are no real file's (and
    // make other readers walk them for minutes), whether or not the flags mark the count.
    const uint32_t depth = (header.caps2 & kVolume) != 0 ? header.depth : 1;
    uint32_t largest = std::max({image.width, image.height, depth}), levels = 1;
    while (largest > 1) {
        largest >>= 1;
        ++levels;
    }
    if (header.mipMapCount > levels) return ReadResult::Invalid;
    return SizePicture(image);
}

ReadResult ReadDds(const void* bytes, size_t size, DdsImage& image) noexcept {
    const ReadResult result = ReadDdsHeader(bytes, size, image);
    if (result != ReadResult::Ok) return result;
    // The first picture (mip 0 of element 0, face +X or slice 0) starts right after the
    // headers: every later mip, face, slice or element follows it.
    if (image.dataOffset > size || image.pictureBytes > size - image.dataOffset) return ReadResult::Truncated;
    const auto* data = static_cast<const uint8_t*>(bytes);
    image.pixels = data + image.dataOffset;
    if (image.format == &LegacyRow(LegacyFormat::Palette8)) image.palette = image.pixels - kPaletteBytes;
    return ReadResult::Ok;
}

uint32_t BlockHeight(const DdsImage& image) noexcept {
    return image.format != nullptr && image.format->blockBytes != 0 ? 4 : 1;
}

void DecodeRows(const DdsImage& image, uint32_t first, uint32_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    const uint32_t unitRows = BlockHeight(image);
    const uint32_t end = first + count;
    for (uint32_t row = first; row < end; row += unitRows) {
        const uint32_t rows = end - row < unitRows ? end - row : unitRows;
        const uint8_t* source = image.pixels + (row / unitRows) * image.rowBytes;
        image.format->decode(RowJob{image, source, rows, out + static_cast<ptrdiff_t>(row - first) * stride, stride});
    }
}

const char* FormatName(const DdsImage& image) noexcept {
    return image.format != nullptr ? image.format->name : "none";
}

}  // namespace sorvane::dds
