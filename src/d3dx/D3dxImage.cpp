#include "D3dxImage.h"

#include "D3dxLibrary.h"
#include "DdsFormat.h"
#include "FaultGuard.h"

namespace sorvane {

const dds::LegacyFormat* D3dxFourCcRow(const dds::DdsPixelFormatHeader& pf) noexcept {
    if ((pf.flags & dds::kPfFourCc) == 0) return nullptr;
    const dds::LegacyFormat* row = dds::FindLegacyFormat(pf, true);
    return row != nullptr && row->d3dFormat != 0 ? row : nullptr;
}

bool HasPictureBeyondBytes(const dds::DdsHeader& header, uint64_t size) noexcept {
    constexpr uint64_t kHeaderEnd = dds::kMagicBytes + sizeof(dds::DdsHeader);
    if (header.size == 0 || size < kHeaderEnd) return false;
    // D3DX's layout of the pixels: a FourCC stands for its format's block, or for pixels of its
    // format's size, any other layout for pixels of the header's bit count.
    dds::DdsImage picture;
    picture.width = header.width;
    picture.height = header.height;
    picture.format = &dds::GenericMasksFormat();
    const uint32_t flags = header.pixelFormat.flags;
    if ((flags & dds::kPfFourCc) != 0) {
        const dds::LegacyFormat* row = D3dxFourCcRow(header.pixelFormat);
        if (row == nullptr) return false;  // not D3DX's to load
        if (row->format->blockBytes != 0) picture.format = row->format;
        picture.masks.bits = row->format->pixelBits;
    } else {
        picture.masks.bits = header.pixelFormat.bitCount;
        if (picture.masks.bits > 128) return false;  // no layout D3DX reads
    }
    if (picture.masks.bits == 0 && picture.format->blockBytes == 0) return false;
    // A size beyond 64 bits lies beyond any file.
    if (dds::SizePicture(picture) != dds::ReadResult::Ok) return true;
    uint64_t available = size - kHeaderEnd;
    if ((flags & dds::kPfPaletteIndexed8) != 0) {
        if (available < dds::kPaletteBytes) return true;
        available -= dds::kPaletteBytes;
    }
    return picture.pictureBytes > available;
}

HRESULT DescribeImage(const D3dxSource& source, D3DXIMAGE_INFO& info) noexcept {
    info = D3DXIMAGE_INFO{};
    const D3dxFunctions* d3dx = BoundD3dx();
    if (d3dx == nullptr) return kD3dxInvalidData;
    HRESULT hr = kD3dxInvalidData;
    const DWORD fault = RunGuarded([&] {
        hr = source.path != nullptr ? d3dx->GetImageInfoFromFileW(source.path, &info)
                                    : d3dx->GetImageInfoFromFileInMemory(source.bytes, static_cast<UINT>(source.size), &info);
    });
    return fault != 0 ? kD3dxInvalidData : hr;
}

}  // namespace sorvane
