#include "ImagePlacement.h"

#include <algorithm>
#include <bitset>
#include <new>

namespace sorvane {

namespace {

// The cross's cell (column, row) of each face, in the file's face order.
constexpr struct {
    uint32_t column, row;
} kCrossCells[6] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {1, 1}, {3, 1}};

}  // namespace

LaidOutSize LayOutImages(ImageArrangement arrangement, const ImageSize* sizes, size_t count,
                         ImagePlace* places) noexcept {
    LaidOutSize size;
    if (count == 0) return size;
    if (arrangement == ImageArrangement::Row) {
        for (size_t i = 0; i < count; ++i) {
            places[i] = {size.width, 0};
            size.width += sizes[i].width;
            size.height = std::max<uint64_t>(size.height, sizes[i].height);
        }
        return size;
    }
    if (count % 6 != 0) return size;
    for (size_t cube = 0; cube < count; cube += 6) {
        uint64_t cell = 0;
        for (size_t face = 0; face < 6; ++face) {
            cell = std::max<uint64_t>({cell, sizes[cube + face].width, sizes[cube + face].height});
        }
        for (size_t face = 0; face < 6; ++face) {
            places[cube + face] = {size.width + kCrossCells[face].column * cell, kCrossCells[face].row * cell};
        }
        size.width += 4 * cell;
        size.height = std::max(size.height, 3 * cell);
    }
    return size;
}

namespace {

// A DIB's width and height are signed 32-bit fields.
constexpr uint64_t kMaxDibSide = 0x7FFFFFFF;

// Items from `item` on, each at `mip` (or item 0 at each mip from `mip` on, for a chain), while
// the file holds them.
void CollectImages(const dds::DdsImage& image, uint64_t fileSize, bool chain, std::vector<LaidOutImage>& images) {
    const dds::DdsCounts counts = dds::CountImages(image);
    const uint64_t end = chain ? counts.mipLevels : counts.items;
    for (uint64_t i = 0; i < end; ++i) {
        dds::DdsImage placed;
        const uint64_t item = chain ? 0 : i;
        const auto mip = static_cast<uint32_t>(chain ? i : 0);
        if (dds::PlaceImage(image, fileSize, item, mip, placed) != dds::ReadResult::Ok) break;
        images.push_back(LaidOutImage{item, mip, ImageSize{placed.width, placed.height}, ImagePlace{}});
    }
}

// The cube face of the nth of the faces a file holds: the nth bit set in `faces`.
size_t NthFace(uint32_t faces, size_t n) {
    size_t face = 0;
    for (;; ++face) {
        if ((faces >> face & 1) != 0 && n-- == 0) return face;
    }
}

}  // namespace

PluginResult LayOutFile(const dds::DdsImage& image, uint64_t fileSize, PictureLayout layout, FileLayout& out) noexcept {
    out = FileLayout();
    try {
        const bool chain = layout == PictureLayout::MipChain;
        CollectImages(image, fileSize, chain, out.images);
        // Not even the first picture: nothing our reader reads.
        if (out.images.empty()) return kNotSupported;
        const uint32_t cubeFaces = chain ? 0 : dds::CountImages(image).cubeFaces;
        // Each image's slot among the sizes laid out: for cubes, six a cube, the faces the file
        // lacks 0 x 0.
        const size_t count = out.images.size(), faces = std::bitset<6>(cubeFaces).count();
        std::vector<size_t> slots(count);
        for (size_t i = 0; i < count; ++i) {
            slots[i] = cubeFaces == 0 ? i : i / faces * 6 + NthFace(cubeFaces, i % faces);
        }
        const size_t slotCount = cubeFaces == 0 ? count : (slots.back() / 6 + 1) * 6;
        std::vector<ImageSize> sizes(slotCount, ImageSize{0, 0});
        std::vector<ImagePlace> places(slotCount);
        for (size_t i = 0; i < count; ++i) sizes[slots[i]] = out.images[i].size;
        out.size = LayOutImages(cubeFaces != 0 ? ImageArrangement::CubeCross : ImageArrangement::Row, sizes.data(),
                                slotCount, places.data());
        uint64_t covered = 0;
        for (size_t i = 0; i < count; ++i) {
            out.images[i].place = places[slots[i]];
            covered += uint64_t{out.images[i].size.width} * out.images[i].size.height;
        }
        if (out.size.width > kMaxDibSide || out.size.height > kMaxDibSide) return kNotSupported;
        out.gaps = covered < out.size.width * out.size.height;
    } catch (const std::bad_alloc&) {
        out = FileLayout();
        return kOutOfMemory;
    }
    return kSuccess;
}

}  // namespace sorvane
