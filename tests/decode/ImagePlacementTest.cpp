#include <gtest/gtest.h>

#include <vector>

#include "ImagePlacement.h"

namespace sorvane {
namespace {

struct Placed {
    uint64_t x, y;
};

TEST(LayOutImages, PlacesEachImage) {
    const auto kRow = ImageArrangement::Row;
    const auto kCross = ImageArrangement::CubeCross;
    const struct {
        const char* label;
        ImageArrangement arrangement;
        std::vector<ImageSize> sizes;
        uint64_t width, height;
        std::vector<Placed> places;
    } kCases[] = {
        {"one image", kRow, {{5, 3}}, 5, 3, {{0, 0}}},
        {"array of 3", kRow, {{4, 2}, {4, 2}, {4, 2}}, 12, 2, {{0, 0}, {4, 0}, {8, 0}}},
        {"mip chain of 7 x 5", kRow, {{7, 5}, {3, 2}, {1, 1}}, 11, 5, {{0, 0}, {7, 0}, {10, 0}}},
        // +X, -X, +Y, -Y, +Z, -Z of 4 x 4: +Y above +Z, the middle row -X, +Z, +X, -Z.
        {"cube", kCross, std::vector<ImageSize>(6, {4, 4}), 16, 12,
         {{8, 4}, {0, 4}, {4, 0}, {4, 8}, {4, 4}, {12, 4}}},
        {"cube without -Y", kCross, {{2, 2}, {2, 2}, {2, 2}, {0, 0}, {2, 2}, {2, 2}}, 8, 6,
         {{4, 2}, {0, 2}, {2, 0}, {2, 4}, {2, 2}, {6, 2}}},
        {"cube array", kCross, std::vector<ImageSize>(12, {1, 1}), 8, 3,
         {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {1, 1}, {3, 1}, {6, 1}, {4, 1}, {5, 0}, {5, 2}, {5, 1}, {7, 1}}},
        {"five faces", kCross, std::vector<ImageSize>(5, {1, 1}), 0, 0, {}},
        {"nothing", kRow, {}, 0, 0, {}},
        // Sums beyond 32 bits stay exact, for the caller to refuse.
        {"wide array", kRow, {{0xFFFFFFFF, 1}, {0xFFFFFFFF, 1}}, 0x1FFFFFFFE, 1, {{0, 0}, {0xFFFFFFFF, 0}}},
        {"huge cube", kCross, std::vector<ImageSize>(6, {0x80000000, 0x80000000}), 0x200000000, 0x180000000,
         {{0x100000000, 0x80000000}, {0, 0x80000000}, {0x80000000, 0}, {0x80000000, 0x100000000},
          {0x80000000, 0x80000000}, {0x180000000, 0x80000000}}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        std::vector<ImagePlace> places(c.sizes.size(), ImagePlace{7, 7});
        const LaidOutSize size = LayOutImages(c.arrangement, c.sizes.data(), c.sizes.size(), places.data());
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
        for (size_t i = 0; i < c.places.size(); ++i) {
            EXPECT_EQ(places[i].x, c.places[i].x) << "image " << i;
            EXPECT_EQ(places[i].y, c.places[i].y) << "image " << i;
        }
    }
}

}  // namespace
}  // namespace sorvane
