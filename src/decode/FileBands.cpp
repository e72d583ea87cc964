#include "FileBands.h"

#include <windows.h>

#include <d3d9.h>

#include <algorithm>
#include <cstring>

#include "DdsFormat.h"
#include "DdsPicture.h"
#include "ReadWholeFile.h"

namespace sorvane {

namespace {

// A palette lies right after the legacy header, ahead of the pixels, within the head.
constexpr size_t kPaletteOffset = 4 + sizeof(dds::DdsHeader);

struct DrawContext {
    const PixelView& view;
    const PixelImage& dib;
    uint32_t left, top;
};

PluginResult DrawBand(void* context, const dds::DdsImage& band, uint32_t firstRow) {
    const auto& c = *static_cast<const DrawContext*>(context);
    return DrawDdsImage(band, c.view, c.dib, c.left, c.top + firstRow);
}

PluginResult MeasureBand(void* context, const dds::DdsImage& band, uint32_t) {
    return MeasureDdsImage(band, *static_cast<double*>(context));
}

// Rows copied as they are into the 16-bit DIB, bottom-up, their padding zeroed.
PluginResult CopyBand(void* context, const dds::DdsImage& band, uint32_t firstRow) {
    const PixelImage& dib = *static_cast<const PixelImage*>(context);
    const size_t stride = static_cast<size_t>(dib.layout().stride), copied = size_t{band.width} * 2;
    for (uint32_t i = 0; i < band.height; ++i) {
        uint8_t* to = dib.Row(dib.layout().height - 1 - (firstRow + i));
        std::memcpy(to, band.pixels + band.rowBytes * i, copied);
        std::memset(to + copied, 0, stride - copied);
    }
    return kSuccess;
}

}  // namespace

PluginResult FileBands::Open(const wchar_t* path) noexcept {
    path_ = path;
    file_.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                            nullptr));
    LARGE_INTEGER size;
    if (!file_ || !GetFileSizeEx(file_.get(), &size)) return kFileError;
    fileSize_ = static_cast<uint64_t>(size.QuadPart);
    headBytes_ = static_cast<size_t>(std::min<uint64_t>(fileSize_, sizeof head_));
    return Read(0, headBytes_, head_);
}

PluginResult FileBands::Describe(DdsDescription& description) const noexcept {
    if (!file_) return DescribeDds(bytes_, size_, size_, description);
    DescribeDds(head_, headBytes_, fileSize_, description);
    // D3DX, which reads no head alone, is given the file by name.
    description.source = D3dxSource{nullptr, 0, path_};
    return description.ownReader;
}

PluginResult FileBands::WholeFile(const void*& bytes, size_t& size) noexcept {
    if (!InMemory()) {
        size_t got = 0;
        const PluginResult result = ReadOpenFile(file_.get(), whole_, got);
        if (result != kSuccess) {
            whole_.reset();
            return result;
        }
        // The file must still be the one its head described.
        if (got != fileSize_) {
            whole_.reset();
            return kFileError;
        }
        bytes_ = static_cast<const uint8_t*>(whole_.get());
        size_ = got;
    }
    bytes = bytes_;
    size = size_;
    return kSuccess;
}

void FileBands::ReleaseWholeFile() noexcept {
    if (!file_) return;
    whole_.reset();
    bytes_ = nullptr;
    size_ = 0;
}

PluginResult FileBands::Draw(const dds::DdsImage& file, uint64_t item, uint32_t mip, const PixelView& view,
                             const PixelImage& dib, uint32_t left, uint32_t top) noexcept {
    DrawContext context{view, dib, left, top};
    return EachBandOf(file, item, mip, DrawBand, &context);
}

PluginResult FileBands::Measure(const dds::DdsImage& file, uint64_t item, uint32_t mip, double& largest) noexcept {
    return EachBandOf(file, item, mip, MeasureBand, &largest);
}

PluginResult FileBands::EachBandOf(const dds::DdsImage& file, uint64_t item, uint32_t mip, BandStep step,
                                   void* context) noexcept {
    dds::DdsImage image;
    if (InMemory()) {
        if (dds::LocateImage(file, bytes_, size_, item, mip, image) != dds::ReadResult::Ok) return kInternalError;
        return step(context, image, 0);
    }
    if (dds::PlaceImage(file, fileSize_, item, mip, image) != dds::ReadResult::Ok) return kInternalError;
    return EachBand(image, step, context);
}

PluginResult FileBands::Decode(const dds::DdsImage& file, const PixelView& view, PixelImage& dib) noexcept {
    PluginResult result = dib.Allocate(file.width, file.height, view.dibBits);
    if (result == kSuccess) result = Draw(file, 0, 0, view, dib, 0, 0);
    if (result != kSuccess) dib = PixelImage();
    return result;
}

PluginResult FileBands::CopyRows(const dds::DdsImage& file, PixelImage& dib) noexcept {
    dds::DdsImage image;
    if (InMemory()) {
        if (dds::LocateImage(file, bytes_, size_, 0, 0, image) != dds::ReadResult::Ok) return kInternalError;
        return CopyDdsRowsIntoDib(image, dib);
    }
    if (file.d3dFormat != D3DFMT_X1R5G5B5 || dds::PlaceImage(file, fileSize_, 0, 0, image) != dds::ReadResult::Ok) {
        return kInternalError;
    }
    PluginResult result = dib.Allocate(image.width, image.height, 16);
    if (result == kSuccess) result = EachBand(image, CopyBand, &dib);
    if (result != kSuccess) dib = PixelImage();
    return result;
}

PluginResult FileBands::EachBand(const dds::DdsImage& placed, BandStep step, void* context) noexcept {
    if (placed.format == nullptr || placed.rowBytes == 0) return kInternalError;
    // A band is whole rows of blocks; of a 4:2:0 layout, pairs of rows with their chroma row,
    // which lies in the plane after the picture's rows.
    const bool planes = placed.format->layout == dds::Layout::TwoPlanes;
    const uint32_t unitRows = planes ? 2 : dds::BlockHeight(placed);
    const uint64_t unitBytes = placed.rowBytes * (planes ? 3 : 1);
    const uint64_t units = (uint64_t{placed.height} + unitRows - 1) / unitRows;
    const uint64_t bandUnits = std::min<uint64_t>(units, std::max<uint64_t>(1, bandBytes_ / unitBytes));
    const uint64_t need = bandUnits * unitBytes;
    if (need > SIZE_MAX) return kOutOfMemory;
    if (bandCapacity_ < need) {
        band_.reset(LocalAlloc(LMEM_FIXED, static_cast<size_t>(need)));
        bandCapacity_ = band_ ? static_cast<size_t>(need) : 0;
        if (!band_) return kOutOfMemory;
    }
    uint8_t* const buffer = static_cast<uint8_t*>(band_.get());
    const bool palette = placed.legacyFormat != nullptr && placed.legacyFormat->flag == dds::kPfPaletteIndexed8;
    for (uint64_t unit = 0; unit < units; unit += bandUnits) {
        const uint64_t count = std::min(bandUnits, units - unit);
        const auto first = static_cast<uint32_t>(unit * unitRows);
        const auto rows = static_cast<uint32_t>(std::min<uint64_t>(count * unitRows, placed.height - first));
        PluginResult result;
        if (planes) {
            const uint64_t luma = uint64_t{rows} * placed.rowBytes;
            result = Read(placed.dataOffset + uint64_t{first} * placed.rowBytes, static_cast<size_t>(luma), buffer);
            if (result == kSuccess) {
                const uint64_t chroma = placed.dataOffset + (uint64_t{placed.height} + first / 2) * placed.rowBytes;
                result = Read(chroma, static_cast<size_t>(luma / 2), buffer + luma);
            }
        } else {
            result = Read(placed.dataOffset + unit * unitBytes, static_cast<size_t>(count * unitBytes), buffer);
        }
        if (result != kSuccess) return result;
        dds::DdsImage band = placed;
        band.height = rows;
        band.pictureBytes = count * unitBytes;
        band.pixels = buffer;
        band.palette = palette ? head_ + kPaletteOffset : nullptr;
        if ((result = step(context, band, first)) != kSuccess) return result;
    }
    return kSuccess;
}

PluginResult FileBands::Read(uint64_t offset, size_t count, uint8_t* to) noexcept {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return kFileError;
    size_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(count - done, 0x7FFFFFFF));
        DWORD got = 0;
        // An empty read is a file that has shrunk since its head was read.
        if (!ReadFile(file_.get(), to + done, ask, &got, nullptr) || got == 0) return kFileError;
        done += got;
    }
    return kSuccess;
}

}  // namespace sorvane
