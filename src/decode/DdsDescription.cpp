#include "DdsDescription.h"

#include <windows.h>

#include "FaultGuard.h"
#include "Holders.h"

namespace sorvane {

namespace {

// A 32-bit width or height allows at most 32 levels, one per halving. D3DX (Wine's, at least)
// walks a larger count, flagged or not, for minutes.
constexpr uint32_t kMaxD3dxMipLevels = 32;

Route RouteOf(const dds::DdsImage& image) {
    const dds::DdsHeader& header = image.header;
    // No header, the DX10 one, or a count D3DX would walk for minutes.
    if (header.size == 0 || image.hasExtension || header.mipMapCount > kMaxD3dxMipLevels) return Route::OwnReader;
    if (image.d3dFormat != 0) return Route::D3dx;
    // Our reader's, of a layout D3DX 9 does not read (a FourCC without its flag, other masks).
    if (image.format != nullptr) return Route::OwnReader;
    // A header our reader does not understand is still D3DX's to judge, unless its FourCC is
    // none of D3DX's.
    const bool fourCc = (header.pixelFormat.flags & dds::kPfFourCc) != 0;
    return fourCc && D3dxFourCcRow(header.pixelFormat) == nullptr ? Route::OwnReader : Route::D3dx;
}

}  // namespace

PluginResult DescribeDds(const void* bytes, size_t size, uint64_t fileSize, DdsDescription& description) noexcept {
    description = DdsDescription();
    description.source = D3dxSource{bytes, size, nullptr};
    dds::DdsImage& image = description.image;
    dds::ReadResult read = dds::ReadResult::NotDds;
    // With the whole file at hand the picture's bytes are found too (and checked to be there).
    const bool whole = fileSize == size;
    if (RunGuarded([&] { read = whole ? dds::ReadDds(bytes, size, image) : dds::ReadDdsHeader(bytes, size, image); }) !=
        0) {
        description.image = dds::DdsImage();
        return description.ownReader;
    }
    description.route = RouteOf(image);
    description.fileSize = fileSize;
    if (read == dds::ReadResult::Ok && fileSize > size && !dds::HoldsFirstPicture(image, fileSize)) {
        read = dds::ReadResult::Truncated;
    }
    if (read == dds::ReadResult::Ok) description.ownReader = kSuccess;
    return description.ownReader;
}

PluginResult DescribeDdsFile(const wchar_t* path, DdsDescription& description) noexcept {
    description = DdsDescription();
    const FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
    LARGE_INTEGER size;
    uint8_t head[kDdsHeadBytes];
    DWORD got = 0;
    if (file && GetFileSizeEx(file.get(), &size) && ReadFile(file.get(), head, sizeof head, &got, nullptr)) {
        DescribeDds(head, got, static_cast<uint64_t>(size.QuadPart), description);
    } else {
        // A file we cannot open is D3DX's to report, where D3DX is there.
        description.ownReader = kFileError;
        description.route = Route::D3dx;
    }
    // The head is gone after this: D3DX reads the file by name.
    description.source = D3dxSource{nullptr, 0, path};
    return description.ownReader;
}

}  // namespace sorvane
