#pragma once
// The bytes of one request's DDS file as our reader asks for them: a memory image in place, or a
// file read band by band. A picture read from a file costs its DIB and one band buffer, whatever
// the file's size; only D3DX, which loads from memory, gets the whole file.

#include <cstddef>
#include <cstdint>

#include "DdsDescription.h"
#include "DdsReader.h"
#include "Holders.h"
#include "PixelConversion.h"
#include "PixelImage.h"
#include "PluginResult.h"

namespace sorvane {

// The most bytes of a file one band reads: rows of blocks (or pixels) that fit, at least one.
// With the row decoders' scratch (256 KiB a thread, at most 16 threads) a request needs its DIB
// and at most 8 MiB more, unless one row of the file is larger than this.
constexpr size_t kFileBandBytes = size_t{4} << 20;

class FileBands {
public:
    // A memory image, used in place and never copied.
    FileBands(const void* bytes, size_t size) noexcept : bytes_(static_cast<const uint8_t*>(bytes)), size_(size) {}
    // A file, once Open succeeds.
    explicit FileBands(size_t bandBytes = kFileBandBytes) noexcept : bandBytes_(bandBytes) {}
    FileBands(const FileBands&) = delete;
    FileBands& operator=(const FileBands&) = delete;

    // Opens the file with read sharing only, so that nobody may write it while it is read (one
    // held open for writing gives 6), and reads its size and head. 6 when it cannot be opened or
    // read.
    PluginResult Open(const wchar_t* path) noexcept;

    // The whole file's bytes.
    uint64_t size() const noexcept { return file_ ? fileSize_ : size_; }

    // DescribeDds of the memory image, or of the file's head and size: a picture the file is
    // too short for gives 2 either way.
    PluginResult Describe(DdsDescription& description) const noexcept;

    // The whole file in one block, for D3DX: the memory image, or the file read into a block
    // that this keeps (4 when it cannot be had, 6 when the file no longer gives all its bytes).
    // Later drawing reads the block, until ReleaseWholeFile.
    PluginResult WholeFile(const void*& bytes, size_t& size) noexcept;
    void ReleaseWholeFile() noexcept;

    // Image `item`, level `mip` of the file whose header `file` is, decoded for the view into
    // the DIB already made, its top-left pixel at column `left`, row `top` (as DrawDdsImage).
    // 8 when the file holds no such image, 4 when the band buffer cannot be had, 6 when the
    // file no longer gives the bytes its head promised.
    PluginResult Draw(const dds::DdsImage& file, uint64_t item, uint32_t mip, const PixelView& view,
                      const PixelImage& dib, uint32_t left, uint32_t top) noexcept;
    // The largest luminance of that image's HDR colours (MeasureDdsImage), if above `largest`,
    // into `largest`; the codes as Draw's.
    PluginResult Measure(const dds::DdsImage& file, uint64_t item, uint32_t mip, double& largest) noexcept;
    // The first picture into a new DIB of view.dibBits (as DecodeDdsIntoDib); `dib` is left
    // empty on failure.
    PluginResult Decode(const dds::DdsImage& file, const PixelView& view, PixelImage& dib) noexcept;
    // The rows of a legacy X1R5G5B5 first picture into a new 16-bit DIB (as CopyDdsRowsIntoDib).
    PluginResult CopyRows(const dds::DdsImage& file, PixelImage& dib) noexcept;

private:
    // Whether the bytes are at hand: a memory image, or a file read whole.
    bool InMemory() const noexcept { return !file_ || bytes_ != nullptr; }
    using BandStep = PluginResult (*)(void* context, const dds::DdsImage& band, uint32_t firstRow);
    // Calls step for bands of the picture `placed` (as PlaceImage gives it) that together hold
    // every row once, top to bottom, each with its pixels (and palette) at hand.
    PluginResult EachBand(const dds::DdsImage& placed, BandStep step, void* context) noexcept;
    // The same for image `item`, level `mip` of the file: the whole image at once in memory.
    PluginResult EachBandOf(const dds::DdsImage& file, uint64_t item, uint32_t mip, BandStep step,
                            void* context) noexcept;
    // Reads `count` bytes from `offset` of the file; 6 for fewer.
    PluginResult Read(uint64_t offset, size_t count, uint8_t* to) noexcept;

    const uint8_t* bytes_ = nullptr;  // the memory image, or the file's whole block
    size_t size_ = 0;
    size_t bandBytes_ = kFileBandBytes;
    const wchar_t* path_ = nullptr;  // the host's, for D3DX
    FileHandle file_;
    uint64_t fileSize_ = 0;
    uint8_t head_[kDdsHeadBytes] = {};
    size_t headBytes_ = 0;
    LocalBlock whole_;
    LocalBlock band_;
    size_t bandCapacity_ = 0;
};

}  // namespace sorvane
