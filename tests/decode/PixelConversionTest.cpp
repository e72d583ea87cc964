#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PixelConversion.h"
#include "RowLoop.h"

namespace sorvane {
namespace {

TEST(DibStride, RoundsRowsToWholeWords) {
    const struct {
        uint32_t bits;
        uint32_t strides[5];  // widths 1 to 5
    } kCases[] = {{24, {4, 8, 12, 12, 16}}, {16, {4, 4, 8, 8, 12}}, {32, {4, 8, 12, 16, 20}}};
    for (const auto& c : kCases) {
        for (uint32_t width = 1; width <= 5; ++width) {
            SCOPED_TRACE(testing::Message() << c.bits << " bits, width " << width);
            EXPECT_EQ(DibStride(width, c.bits), c.strides[width - 1]);
        }
    }
}

TEST(DibBlockSize, RefusesSizesThatWouldWrap) {
    uint32_t stride = 0;
    size_t size = 0;
    ASSERT_TRUE(DibBlockSize(5, 3, 24, stride, size));
    EXPECT_EQ(stride, 16u);
    EXPECT_EQ(size, 3u * 16 + 4);
    // width x bits wraps 32 bits: sized in 64 bits, the row is 512 MiB, not 0 bytes.
    ASSERT_TRUE(DibBlockSize(0x08000000, 1, 32, stride, size));
    EXPECT_EQ(stride, 0x20000000u);
    // Rows of 2 GiB or more cannot be addressed with a signed 32-bit stride.
    EXPECT_FALSE(DibBlockSize(0x20000000, 1, 32, stride, size));
    EXPECT_FALSE(DibBlockSize(0xFFFFFFFF, 1, 24, stride, size));
#if !defined(_WIN64)
    EXPECT_FALSE(DibBlockSize(0x4000, 0x10000, 32, stride, size));  // 4 GiB
#endif
}

TEST(PixelImage, AllocateTakesALargeEnoughSpare) {
    LocalBlock spare(LocalAlloc(LMEM_FIXED, 1000));
    const HLOCAL spareBlock = spare.get();
    PixelImage image;
    ASSERT_EQ(image.Allocate(10, 10, 24, spare), kSuccess);  // needs 10 x 32 + 4 bytes
    EXPECT_EQ(image.bits(), spareBlock);
    EXPECT_FALSE(spare);  // the image had no block to give back
    EXPECT_EQ(image.layout()->stride, 32);

    // Too small a spare stays where it is; the image's old block is freed.
    spare.reset(LocalAlloc(LMEM_FIXED, 16));
    const HLOCAL small = spare.get();
    ASSERT_EQ(image.Allocate(20, 20, 32, spare), kSuccess);
    EXPECT_EQ(spare.get(), small);
    EXPECT_GE(LocalSize(image.bits()), 20u * 80 + 4);
}

TEST(PixelImage, AdoptParksTheLargerBlockAsSpare) {
    LocalBlock spare;
    PixelImage large, small;
    ASSERT_EQ(large.Allocate(64, 64, 32, spare), kSuccess);
    ASSERT_EQ(small.Allocate(4, 4, 24, spare), kSuccess);
    uint8_t* const largeBits = large.bits();
    uint8_t* const smallBits = small.bits();
    large.Adopt(small, spare);
    EXPECT_EQ(large.bits(), smallBits);
    EXPECT_EQ(large.layout()->width, 4u);
    EXPECT_EQ(small.layout(), nullptr);
    EXPECT_EQ(small.bits(), nullptr);
    EXPECT_EQ(static_cast<void*>(spare.get()), static_cast<void*>(largeBits));
}

// A source image over caller memory with the given pitch.
struct Source {
    std::vector<uint8_t> memory;
    PixelImage image;
    intptr_t pitch;
    Source(uint32_t width, uint32_t height, uint32_t bits, intptr_t pitch, uint8_t seed) : pitch(pitch) {
        memory.resize(static_cast<size_t>(pitch) * height);
        for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(seed + i * 7);
        EXPECT_EQ(image.Describe(width, height, bits, pitch, memory.data()), kSuccess);
    }
    const uint8_t* Row(uint32_t row) const { return memory.data() + row * pitch; }
};

TEST(FlipRows, ReversesRowsAndZeroesPadding) {
    const struct {
        uint32_t width, height, bits;
        intptr_t pitch;
    } kCases[] = {{1, 3, 24, 4}, {5, 2, 24, 16}, {3, 5, 16, 8}, {4, 7, 32, 16}, {17, 1, 24, 52},
                  {2, 3, 24, 64}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits << " pitch " << c.pitch);
        Source source(c.width, c.height, c.bits, c.pitch, 3);
        LocalBlock spare;
        ASSERT_EQ(FlipRows(source.image, spare), kSuccess);
        const uint32_t stride = DibStride(c.width, c.bits);
        const uint32_t pixelBytes = c.width * c.bits / 8;
        ASSERT_EQ(source.image.layout()->stride, static_cast<intptr_t>(stride));
        for (uint32_t row = 0; row < c.height; ++row) {
            const uint8_t* out = source.image.bits() + row * stride;
            EXPECT_EQ(std::memcmp(out, source.Row(c.height - 1 - row), pixelBytes), 0) << "row " << row;
            for (uint32_t i = pixelBytes; i < stride; ++i) EXPECT_EQ(out[i], 0) << "padding of row " << row;
        }
        EXPECT_GE(LocalSize(source.image.bits()), size_t{c.height} * stride + 4);
    }
}

TEST(FlipRows, APitchShorterThanTheRowIsNotReadPast) {
    // 5 pixels of 24 bits need 15 bytes; the surface offers 12 per row and nothing after.
    Source source(5, 4, 24, 12, 9);
    LocalBlock spare;
    ASSERT_EQ(FlipRows(source.image, spare), kSuccess);
    for (uint32_t row = 0; row < 4; ++row) {
        const uint8_t* out = source.image.bits() + row * 16;
        EXPECT_EQ(std::memcmp(out, source.Row(3 - row), 12), 0);
        for (int i = 12; i < 16; ++i) EXPECT_EQ(out[i], 0);
    }
}

TEST(FlipRows, RefusesAnImageWithoutPixels) {
    PixelImage empty;
    LocalBlock spare;
    EXPECT_EQ(FlipRows(empty, spare), kInternalError);
}

TEST(BlendChannel, TruncatesAsWorkedOut) {
    const struct {
        uint32_t source, colour, alpha;
        uint8_t expected;
    } kCases[] = {{255, 0, 128, 128}, {0, 255, 128, 127}, {100, 0, 127, 49},
                  {200, 100, 1, 100}, {0, 255, 254, 1},   {10, 250, 200, 61}};
    for (const auto& c : kCases) {
        EXPECT_EQ(BlendChannel(c.source, c.colour, c.alpha), c.expected)
            << c.source << " over " << c.colour << " at " << c.alpha;
    }
}

// Expected 24-bit pixel of one 32-bit pixel.
void Expected(const uint8_t* p, const AlphaMode& mode, uint8_t* out) {
    const uint8_t colour[3] = {mode.blue, mode.green, mode.red};
    for (int c = 0; c < 3; ++c) {
        out[c] = !mode.composite ? p[c] : BlendChannel(p[c], colour[c], p[3]);
    }
}

// Tests that switch the row loops between the request's thread and the pool put the default
// back, also when they fail.
class RowLoopModes : public testing::Test {
protected:
    void TearDown() override { SetRowLoopsParallel(true); }
};

TEST_F(RowLoopModes, ConvertTo24BitsRemovesOrCompositesEveryPixel) {
    const AlphaMode kModes[] = {{false, 0, 0, 0}, {true, 0xFF, 0xFF, 0xFF}, {true, 0x34, 0x56, 0x78}};
    const uint32_t kWidths[] = {1, 2, 3, 4, 5, 17, 64};
    for (const AlphaMode& mode : kModes) {
        for (const bool parallel : {false, true}) {
            SetRowLoopsParallel(parallel);
            for (const uint32_t width : kWidths) {
                SCOPED_TRACE(testing::Message() << "composite " << mode.composite << " width " << width
                                                << " parallel " << parallel);
                const uint32_t height = width == 64 ? 4099 : 5;  // a tall one goes to the pool
                Source source(width, height, 32, static_cast<intptr_t>(width) * 4, 1);
                // Alpha 0 and 255 take their fixed paths; the rest blend.
                for (size_t i = 3; i < source.memory.size(); i += 4) {
                    source.memory[i] = i % 12 == 3 ? 0 : i % 12 == 7 ? 255 : source.memory[i];
                }
                LocalBlock spare;
                ASSERT_EQ(ConvertTo24Bits(source.image, spare, mode), kSuccess);
                ASSERT_EQ(source.image.layout()->bitsPerPixel, 24u);
                const uint32_t stride = DibStride(width, 24);
                int mismatches = 0;
                for (uint32_t row = 0; row < height; ++row) {
                    const uint8_t* out = source.image.bits() + size_t{row} * stride;
                    for (uint32_t x = 0; x < width; ++x) {
                        uint8_t want[3];
                        Expected(source.Row(row) + 4 * x, mode, want);
                        mismatches += std::memcmp(out + 3 * x, want, 3) != 0;
                    }
                    for (uint32_t i = 3 * width; i < stride; ++i) mismatches += out[i] != 0;
                }
                EXPECT_EQ(mismatches, 0);
                EXPECT_GE(LocalSize(source.image.bits()), size_t{height} * stride + 4);
            }
        }
    }
}

TEST(ConvertTo24Bits, EveryChannelAndAlphaBlendsExactly) {
    // One row holds every (channel value, alpha) pair in blue, its complement in green and
    // a third value in red; the wide and the single-pixel paths both meet each pair.
    const uint32_t width = 256 * 256 + 3;
    Source source(width, 1, 32, static_cast<intptr_t>(width) * 4, 0);
    for (uint32_t i = 0; i < width; ++i) {
        const uint8_t v = static_cast<uint8_t>(i), a = static_cast<uint8_t>(i >> 8);
        const uint8_t pixel[4] = {v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(v * 3), a};
        std::memcpy(source.memory.data() + 4 * size_t{i}, pixel, 4);
    }
    for (const AlphaMode mode : {AlphaMode{true, 0, 255, 77}, AlphaMode{true, 200, 13, 255}}) {
        Source copy(width, 1, 32, static_cast<intptr_t>(width) * 4, 0);
        copy.memory = source.memory;
        copy.image.Describe(width, 1, 32, static_cast<intptr_t>(width) * 4, copy.memory.data());
        LocalBlock spare;
        ASSERT_EQ(ConvertTo24Bits(copy.image, spare, mode), kSuccess);
        int mismatches = 0;
        for (uint32_t i = 0; i < width; ++i) {
            uint8_t want[3];
            Expected(source.memory.data() + 4 * size_t{i}, mode, want);
            mismatches += std::memcmp(copy.image.bits() + 3 * size_t{i}, want, 3) != 0;
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(ConvertTo24Bits, FixedCasesGiveExactColours) {
    const uint8_t pixels[] = {10, 20, 30, 0, 40, 50, 60, 255, 0, 0, 0, 0};
    Source source(3, 1, 32, 12, 0);
    std::memcpy(source.memory.data(), pixels, sizeof pixels);
    LocalBlock spare;
    ASSERT_EQ(ConvertTo24Bits(source.image, spare, AlphaMode{true, 0x11, 0x22, 0x33}), kSuccess);
    const uint8_t expected[] = {0x11, 0x22, 0x33, 40, 50, 60, 0x11, 0x22, 0x33};
    EXPECT_EQ(std::memcmp(source.image.bits(), expected, sizeof expected), 0);
}

TEST(ConvertTo24Bits, RefusesAnythingButThirtyTwoBits) {
    Source source(4, 4, 24, 12, 0);
    LocalBlock spare;
    EXPECT_EQ(ConvertTo24Bits(source.image, spare, AlphaMode{false, 0, 0, 0}), kInternalError);
}

TEST(TakeDibHandles, MovesTheBlockAndDescribesIt) {
    LocalBlock spare;
    PixelImage image;
    ASSERT_EQ(image.Allocate(5, 3, 24, spare), kSuccess);
    uint8_t* const bits = image.bits();
    LocalBlock info, out;
    ASSERT_EQ(TakeDibHandles(image, info, out), kSuccess);
    EXPECT_EQ(static_cast<void*>(out.get()), static_cast<void*>(bits));
    EXPECT_EQ(image.layout(), nullptr);
    EXPECT_FALSE(image.ownsBlock());
    ASSERT_EQ(LocalSize(info.get()), 44u);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(info.get());
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, 5);
    EXPECT_EQ(header->biHeight, 3);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header->biSizeImage, 0u);
    const uint8_t* quad = static_cast<const uint8_t*>(info.get()) + 40;
    EXPECT_EQ(quad[0] | quad[1] | quad[2] | quad[3], 0);
}

}  // namespace
}  // namespace sorvane
