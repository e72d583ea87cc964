#pragma once
// What DdsReader.h promises, checked on any bytes at all: by the fuzz target (fuzz/) and by
// the replay of its seeds and findings in dds_tests. The header alone answers as the whole
// file does, and a picture read Ok decodes from its own bytes into exactly its rows, every
// byte of them written and nothing around them, the same whole or in bands.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DdsFormat.h"
#include "DdsReader.h"
#include "ToneMap.h"

namespace sorvane::dds::checks {

// A header may describe a 2^31 x 1 picture whose bytes are all there (one bit a pixel), or
// 2^31 - 1 rows of one pixel: a picture whose rows take more than this decodes only its first
// and last band, and one whose two bands take more only runs the header logic, so an input
// costs at most three buffers of this size.
constexpr uint64_t kMaxCanvasBytes = uint64_t{16} << 20;
// The rows of a band, as the benchmark cuts pictures: a multiple of every block height.
constexpr uint32_t kBandRows = 16;
// Around every row: more than the three texels a partial block could spill.
constexpr size_t kGuardBytes = 32;
// What the plug-in reads of a file to learn its format (magic, headers, palette).
constexpr size_t kProbeBytes = 4 + 124 + 20 + 1024;

// Rows of width x 4 bytes with kGuardBytes before, between and after them.
class Canvas {
public:
    Canvas(uint32_t width, uint32_t rows, uint8_t fill)
        : rowBytes_(size_t{width} * 4), stride_(rowBytes_ + kGuardBytes), rows_(rows),
          bytes_(kGuardBytes + rows * stride_, fill) {}

    uint8_t* Row(uint32_t i) { return bytes_.data() + kGuardBytes + i * stride_; }
    ptrdiff_t Stride() const { return static_cast<ptrdiff_t>(stride_); }
    size_t RowBytes() const { return rowBytes_; }
    void Fill(uint8_t value) { std::fill(bytes_.begin(), bytes_.end(), value); }

    // Whether everything but the first `written` rows still holds `fill`.
    bool RestHolds(uint32_t written, uint8_t fill) const {
        const auto holds = [&](size_t from, size_t to) {
            return std::all_of(bytes_.begin() + from, bytes_.begin() + to, [fill](uint8_t b) { return b == fill; });
        };
        if (!holds(0, kGuardBytes)) return false;
        for (uint32_t i = 0; i < rows_; ++i) {
            const size_t row = kGuardBytes + i * stride_;
            if (!holds(i < written ? row + rowBytes_ : row, row + stride_)) return false;
        }
        return true;
    }

private:
    size_t rowBytes_;
    size_t stride_;
    uint32_t rows_;
    std::vector<uint8_t> bytes_;
};

inline bool SameHeader(const DdsImage& a, const DdsImage& b) {
    return a.format == b.format && a.legacyFormat == b.legacyFormat && a.d3dFormat == b.d3dFormat && a.mipLevels == b.mipLevels && a.width == b.width && a.height == b.height && a.rowBytes == b.rowBytes &&
           a.pictureBytes == b.pictureBytes && a.dataOffset == b.dataOffset && a.alpha == b.alpha &&
           a.premultiplied == b.premultiplied && a.dx10 == b.dx10 && a.fourCc == b.fourCc &&
           a.masks.bits == b.masks.bits && a.masks.red == b.masks.red && a.masks.green == b.masks.green &&
           a.masks.blue == b.masks.blue && a.masks.alpha == b.masks.alpha && a.masks.luminance == b.masks.luminance;
}

// Rows [first, first + count): top-down over zeros, bottom-up over ones, so a byte left
// unwritten differs between the two; then in bands into one reused scratch that starts as the
// complement of the answer, as the plug-in decodes.
inline std::string CheckRows(const DdsImage& image, uint32_t first, uint32_t count) {
    Canvas zeros(image.width, count, 0x00), ones(image.width, count, 0xFF);
    DecodeRows(image, first, count, zeros.Row(0), zeros.Stride());
    DecodeRows(image, first, count, ones.Row(count - 1), -ones.Stride());
    if (!zeros.RestHolds(count, 0x00) || !ones.RestHolds(count, 0xFF)) return "decoding wrote outside its rows";
    for (uint32_t i = 0; i < count; ++i) {
        if (std::memcmp(zeros.Row(i), ones.Row(count - 1 - i), zeros.RowBytes()) != 0) {
            return "row " + std::to_string(first + i) + " not wholly written, or decoded two ways";
        }
    }
    constexpr uint8_t kGuard = 0xA5;
    Canvas band(image.width, std::min(count, kBandRows), kGuard);
    for (uint32_t start = 0; start < count; start += kBandRows) {
        const uint32_t rows = std::min(kBandRows, count - start);
        band.Fill(kGuard);
        for (uint32_t i = 0; i < rows; ++i) {
            const uint8_t* answer = zeros.Row(start + i);
            uint8_t* out = band.Row(i);
            for (size_t b = 0; b < band.RowBytes(); ++b) out[b] = static_cast<uint8_t>(~answer[b]);
        }
        DecodeRows(image, first + start, rows, band.Row(0), band.Stride());
        if (!band.RestHolds(rows, kGuard)) return "a band wrote outside its rows";
        for (uint32_t i = 0; i < rows; ++i) {
            if (std::memcmp(band.Row(i), zeros.Row(start + i), band.RowBytes()) != 0) {
                return "row " + std::to_string(first + start + i) + " decoded in a band differs from whole";
            }
        }
    }
    if (HasHdrChannels(image)) {
        const auto mapper = std::make_unique<ToneMapper>(0);
        mapper->AccumulateRows(image, first, count);
        mapper->Finish();
        zeros.Fill(kGuard);
        mapper->MapRows(image, first, count, zeros.Row(0), zeros.Stride());
        if (!zeros.RestHolds(count, kGuard)) return "tone mapping wrote outside its rows";
    }
    return {};
}

struct CheckOutcome {
    std::string fault;  // the first broken promise, or empty
    uint32_t rowsDecoded = 0;
};

inline CheckOutcome CheckReader(const uint8_t* data, size_t size) {
    DdsImage header, probe, image;
    const ReadResult headerResult = ReadDdsHeader(data, size, header);
    const ReadResult probeResult = ReadDdsHeader(data, std::min(size, kProbeBytes), probe);
    const ReadResult result = ReadDds(data, size, image);
    if (probeResult != headerResult || (headerResult == ReadResult::Ok && !SameHeader(probe, header))) {
        return {"the first bytes alone answer otherwise than the whole file"};
    }
    const bool agree = result == headerResult || (headerResult == ReadResult::Ok && result == ReadResult::Truncated);
    if (!agree) return {"ReadDds and ReadDdsHeader answer differently"};
    if (result != ReadResult::Ok) return {};
    if (!SameHeader(header, image)) return {"ReadDds describes another picture than ReadDdsHeader"};
    if (image.format == nullptr || image.width == 0 || image.height == 0) return {"an empty picture read Ok"};
    const uint32_t unitRows = BlockHeight(image);
    // A 4:2:0 picture's chroma plane adds half as many rows as it has.
    const uint64_t units = (uint64_t{image.height} + unitRows - 1) / unitRows +
                           (image.format->layout == Layout::TwoPlanes ? image.height / 2 : 0);
    if (image.dataOffset > size || image.pictureBytes > size - image.dataOffset ||
        image.pixels != data + image.dataOffset || image.pictureBytes / units != image.rowBytes ||
        image.pictureBytes % units != 0) {
        return {"the picture's bytes are not where its header puts them"};
    }

    // The last image of the file and one in the middle, located: where the file holds them,
    // within it and decodable (when they fit the budget).
    const DdsCounts counts = CountImages(image);
    if (counts.items == 0 || counts.mipLevels == 0) return {"a picture read Ok counts no image"};
    const std::pair<uint64_t, uint32_t> located[] = {{counts.items - 1, counts.mipLevels - 1}, {counts.items / 2, counts.mipLevels / 2}};
    for (const auto& [item, mip] : located) {
        DdsImage placed;
        if (LocateImage(image, data, size, item, mip, placed) != ReadResult::Ok) continue;
        if (placed.dataOffset > size || placed.pictureBytes > size - placed.dataOffset || placed.pixels != data + placed.dataOffset) {
            return {"a located image lies outside the file"};
        }
        if (placed.height <= kMaxCanvasBytes / (uint64_t{placed.width} * 4 + kGuardBytes)) {
            std::string fault = CheckRows(placed, 0, placed.height);
            if (!fault.empty()) return {"a located image: " + fault};
        }
    }

    // Decoded from a copy that ends with the picture, the palette before it included, so that
    // under AddressSanitizer a read past the first picture faults.
    const std::vector<uint8_t> own(data, data + image.dataOffset + image.pictureBytes);
    DdsImage cut;
    if (ReadDds(own.data(), own.size(), cut) != ReadResult::Ok || !SameHeader(cut, image)) {
        return {"the file cut after its first picture is not read alike"};
    }
    const uint64_t stride = uint64_t{image.width} * 4 + kGuardBytes;
    if (image.height <= kMaxCanvasBytes / stride) return {CheckRows(cut, 0, image.height), image.height};
    if (2 * kBandRows > kMaxCanvasBytes / stride) return {};
    // The last band holds the partial block row and the highest address the decoders reach.
    const uint32_t last = (image.height - 1) / kBandRows * kBandRows;
    std::string fault = CheckRows(cut, 0, kBandRows);
    if (fault.empty()) fault = CheckRows(cut, last, image.height - last);
    return {fault, kBandRows + image.height - last};
}

}  // namespace sorvane::dds::checks
