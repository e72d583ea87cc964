#include "DdsDescription.h"

#include <windows.h>

#include "D3dxImage.h"
#include "FaultGuard.h"
#include "Holders.h"
#include "OpaqueFormats.h"

namespace sorvane {

namespace {

constexpr uint32_t kFourCcFlag = 0x4;
// A 32-bit width or height allows at most 32 levels, one per halving. D3DX (Wine's, at least)
// walks a larger count, flagged or not, for minutes.
constexpr uint32_t kMaxD3dxMipLevels = 32;

// The D3DFORMAT D3DX 9 gives a legacy header our reader reads: its decode surface decides the
// DIB our reader gives, as on D3DX's route. 0 where D3DX names none.
uint32_t LegacyD3dFormat(const dds::DdsImage& image) {
    if (image.fourCc != 0) return FindD3dxFourCc(image.fourCc) != nullptr ? image.fourCc : 0;
    const dds::ChannelMasks& m = image.masks;
    if (m.bits == 0) return D3DFMT_P8;  // the palette layout carries no masks
    if (m.bits == 16 && m.red == 0x7C00 && m.green == 0x3E0 && m.blue == 0x1F && m.alpha == 0 && !m.luminance) {
        return D3DFMT_X1R5G5B5;
    }
    return 0;
}

Route RouteOf(const dds::DdsImage& image) {
    const dds::DdsHeader& header = image.header;
    if (header.size == 0 || image.hasExtension) return Route::OwnReader;  // no header, or the DX10 one
    const dds::DdsPixelFormatHeader& pf = header.pixelFormat;
    if ((pf.flags & kFourCcFlag) != 0 && FindD3dxFourCc(pf.fourCc) == nullptr) return Route::OwnReader;
    return header.mipMapCount <= kMaxD3dxMipLevels ? Route::D3dx : Route::OwnReader;
}

}  // namespace

PluginResult DescribeDds(const void* bytes, size_t size, uint64_t fileSize, DdsDescription& description) noexcept {
    description = DdsDescription();
    dds::DdsImage& image = description.image;
    dds::ReadResult read = dds::ReadResult::NotDds;
    // With the whole file at hand the picture's bytes are found too (and checked to be there).
    if (RunGuarded([&] {
            read = fileSize == size ? dds::ReadDds(bytes, size, image) : dds::ReadDdsHeader(bytes, size, image);
        }) != 0) {
        description = DdsDescription();
        return kNotSupported;
    }
    description.route = RouteOf(image);
    if (read == dds::ReadResult::Ok && fileSize > size &&
        (image.dataOffset > fileSize || image.pictureBytes > fileSize - image.dataOffset)) {
        read = dds::ReadResult::Truncated;
    }
    if (read != dds::ReadResult::Ok) return kNotSupported;
    const uint32_t d3dFormat = image.dx10 ? 0 : LegacyD3dFormat(image);
    if (d3dFormat != 0) {
        const DecodeSurface& surface = DecodeSurfaceFor(static_cast<D3DFORMAT>(d3dFormat));
        description.dibBits = surface.dibBits;
        description.disposesAlpha = surface.disposesAlpha;
    } else {
        description.disposesAlpha = image.alpha;
    }
    return kSuccess;
}

PluginResult DescribeDdsFile(const wchar_t* path, DdsDescription& description) noexcept {
    description = DdsDescription();
    const FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size)) return kFileError;
    uint8_t head[kDdsHeadBytes];
    DWORD got = 0;
    if (!ReadFile(file.get(), head, sizeof head, &got, nullptr)) return kFileError;
    return DescribeDds(head, got, static_cast<uint64_t>(size.QuadPart), description);
}

}  // namespace sorvane
