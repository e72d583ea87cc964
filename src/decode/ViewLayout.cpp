#include "ViewLayout.h"

#include <algorithm>

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

}  // namespace sorvane
