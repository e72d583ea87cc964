#include <gtest/gtest.h>

#include "PixelImage.h"

namespace sorvane {
namespace {

TEST(TakeDibHandles, MovesTheBlockAndDescribesIt) {
    PixelImage image;
    ASSERT_EQ(image.Allocate(5, 3, 24), kSuccess);
    uint8_t* const bits = image.bits();
    DibBlocks blocks;
    ASSERT_EQ(TakeDibHandles(image, blocks), kSuccess);
    EXPECT_EQ(static_cast<void*>(blocks.bits.get()), static_cast<void*>(bits));
    EXPECT_EQ(image.bits(), nullptr);
    EXPECT_GE(LocalSize(blocks.bits.get()), 3u * 16 + 4);
    EXPECT_EQ(TakeDibHandles(image, blocks), kInternalError);  // nothing left to hand over
    ASSERT_EQ(LocalSize(blocks.info.get()), 44u);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(blocks.info.get());
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, 5);
    EXPECT_EQ(header->biHeight, 3);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header->biSizeImage, 0u);
    const uint8_t* quad = static_cast<const uint8_t*>(blocks.info.get()) + 40;
    EXPECT_EQ(quad[0] | quad[1] | quad[2] | quad[3], 0);
}

}  // namespace
}  // namespace sorvane
