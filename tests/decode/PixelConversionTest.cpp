#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <cstring>
#include <vector>

#include "PixelConversion.h"
#include "RowLoop.h"
#include "TestSupport.h"

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

// Rows in caller memory, first row the picture's top, each `pitch` bytes apart.
struct Source {
    std::vector<uint8_t> memory;
    PixelImage image;
    Source(uint32_t width, uint32_t height, uint32_t bits, intptr_t pitch, uint32_t seed)
        : memory(static_cast<size_t>(pitch) * height) {
        for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>((seed + i * 7) ^ (i >> 9));
        image = PixelImage(PixelLayout{width, height, bits, pitch}, memory.data());
    }
    const uint8_t* Row(uint32_t row) const { return image.Row(row); }
};

// The DIB as the request made it in two steps: the rows copied out bottom-up into 32-bit rows
// (a short pitch zero-filled), then each pixel reduced to 24 bits, padding and the 4 bytes
// after the last row zero.
std::vector<uint8_t> TwoStepDib(const Source& source, const AlphaMode& mode) {
    const PixelLayout& l = source.image.layout();
    const uint32_t stride = DibStride(l.width, 24);
    std::vector<uint8_t> dib(size_t{l.height} * stride + 4, 0);
    const uint8_t colour[3] = {mode.blue, mode.green, mode.red};
    for (uint32_t row = 0; row < l.height; ++row) {
        std::vector<uint8_t> flipped(size_t{l.width} * 4, 0);
        std::memcpy(flipped.data(), source.Row(l.height - 1 - row),
                    std::min<size_t>(flipped.size(), static_cast<size_t>(l.stride)));
        for (uint32_t x = 0; x < l.width; ++x) {
            const uint8_t* p = &flipped[4 * size_t{x}];
            for (int c = 0; c < 3; ++c) {
                dib[row * stride + 3 * x + c] = mode.composite ? BlendChannel(p[c], colour[c], p[3]) : p[c];
            }
        }
    }
    return dib;
}

std::vector<uint8_t> BlockBytes(const PixelImage& dib) {
    const size_t size = LocalSize(dib.bits());
    const size_t used = size_t{dib.layout().height} * static_cast<size_t>(dib.layout().stride) + 4;
    EXPECT_GE(size, used);
    return std::vector<uint8_t>(dib.bits(), dib.bits() + used);
}

TEST(FlipRows, ReversesRowsAndZeroesPadding) {
    const struct {
        uint32_t width, height, bits;
        intptr_t pitch;
    } kCases[] = {{1, 3, 24, 4}, {5, 2, 24, 16}, {3, 5, 16, 8}, {17, 1, 24, 52}, {2, 3, 24, 64},
                  // 5 pixels of 24 bits need 15 bytes; the surface offers 12 per row and nothing after.
                  {5, 4, 24, 12}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits << " pitch " << c.pitch);
        Source source(c.width, c.height, c.bits, c.pitch, 3);
        PixelImage dib;
        ASSERT_EQ(FlipRows(source.image, dib), kSuccess);
        const uint32_t stride = DibStride(c.width, c.bits);
        const size_t copied = std::min<size_t>(c.width * c.bits / 8, static_cast<size_t>(c.pitch));
        ASSERT_EQ(dib.layout().stride, static_cast<intptr_t>(stride));
        const std::vector<uint8_t> bytes = BlockBytes(dib);
        for (uint32_t row = 0; row < c.height; ++row) {
            const uint8_t* out = bytes.data() + row * stride;
            EXPECT_EQ(std::memcmp(out, source.Row(c.height - 1 - row), copied), 0) << "row " << row;
            for (uint32_t i = copied; i < stride; ++i) EXPECT_EQ(out[i], 0) << "padding of row " << row;
        }
        EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), std::vector<uint8_t>(4, 0));
    }
}

TEST(PixelSteps, RefuseWhatTheyCannotRead) {
    PixelImage dib;
    EXPECT_EQ(FlipRows(PixelImage(), dib), kInternalError);
    Source source(4, 4, 24, 12, 0);
    EXPECT_EQ(ConvertTo24Bits(source.image, dib, AlphaMode{false, 0, 0, 0}), kInternalError);
    EXPECT_EQ(dib.bits(), nullptr);
}

// Tests that switch the row loops between the request's thread and the pool put the default
// back, also when they fail.
class RowLoopModes : public testing::Test {
protected:
    void TearDown() override { SetRowLoopsParallel(true); }
};

// The single pass gives the bytes of the two steps it replaced, padding included.
TEST_F(RowLoopModes, ConvertTo24BitsGivesTheTwoStepBytes) {
    const AlphaMode kModes[] = {{false, 0, 0, 0}, {true, 0xFF, 0xFF, 0xFF}, {true, 0x34, 0x56, 0x78}};
    for (const AlphaMode& mode : kModes) {
        for (uint32_t width = 1; width <= 17; ++width) {
            for (const uint32_t height : {1u, 3u, 7u}) {
                for (const int extraPitch : {0, 8, -1}) {  // -1: a pitch one byte short of the row
                    SCOPED_TRACE(testing::Message() << "composite " << mode.composite << ", " << width << "x"
                                                    << height << ", pitch " << extraPitch);
                    Source source(width, height, 32, static_cast<intptr_t>(width) * 4 + extraPitch, width * height);
                    // Alpha 0 and 255 take their fixed paths; the rest blend.
                    for (size_t i = 3; i < source.memory.size(); i += 4) {
                        if (i % 12 == 3) source.memory[i] = 0;
                        if (i % 12 == 7) source.memory[i] = 255;
                    }
                    PixelImage dib;
                    ASSERT_EQ(ConvertTo24Bits(source.image, dib, mode), kSuccess);
                    EXPECT_EQ(dib.layout().bitsPerPixel, 24u);
                    EXPECT_EQ(BlockBytes(dib), TwoStepDib(source, mode));
                }
            }
        }
    }
    // A tall picture goes to the pool; the serial loop must give the same bytes.
    Source tall(61, 4099, 32, 61 * 4, 5);
    for (const bool parallel : {false, true}) {
        SetRowLoopsParallel(parallel);
        PixelImage dib;
        ASSERT_EQ(ConvertTo24Bits(tall.image, dib, kModes[2]), kSuccess);
        EXPECT_EQ(BlockBytes(dib), TwoStepDib(tall, kModes[2])) << "parallel " << parallel;
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
        PixelImage dib;
        ASSERT_EQ(ConvertTo24Bits(source.image, dib, mode), kSuccess);
        EXPECT_EQ(BlockBytes(dib), TwoStepDib(source, mode));
    }
}

TEST(ConvertTo24Bits, WorkedValuesAndFixedCases) {
    // Blue carries the worked values of the blend (source, colour, alpha -> result): 255, 0,
    // 128 -> 128; 0, 255, 128 -> 127; 100, 0, 127 -> 49; 200, 100, 1 -> 100; 0, 255, 254 ->
    // 1; 10, 250, 200 -> 61. Alpha 0 gives the colour, alpha 255 the pixel.
    const struct {
        uint8_t source, colour, alpha, expected;
    } kCases[] = {{255, 0, 128, 128}, {0, 255, 128, 127}, {100, 0, 127, 49},  {200, 100, 1, 100},
                  {0, 255, 254, 1},   {10, 250, 200, 61}, {77, 250, 0, 250},  {77, 250, 255, 77}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << int(c.source) << " over " << int(c.colour) << " at " << int(c.alpha));
        EXPECT_EQ(BlendChannel(c.source, c.colour, c.alpha), c.expected);
        // Five equal pixels: four through the wide path, the last one alone.
        Source source(5, 1, 32, 20, 0);
        for (int x = 0; x < 5; ++x) {
            const uint8_t pixel[4] = {c.source, 9, 9, c.alpha};
            std::memcpy(source.memory.data() + 4 * x, pixel, 4);
        }
        PixelImage dib;
        ASSERT_EQ(ConvertTo24Bits(source.image, dib, AlphaMode{true, c.colour, 9, 9}), kSuccess);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(dib.bits()[3 * x], c.expected) << "pixel " << x;
    }
}

// What a view makes of the picture, pixel by pixel from the views' description: the rows
// bottom-up (a short pitch zero-filled), the checkerboard counted from the picture's top-left.
std::vector<uint8_t> ViewDib(const Source& source, const PixelView& view) {
    const PixelLayout& l = source.image.layout();
    const uint32_t bytes = view.dibBits / 8;
    const uint32_t stride = DibStride(l.width, view.dibBits);
    std::vector<uint8_t> dib(size_t{l.height} * stride + 4, 0);
    for (uint32_t row = 0; row < l.height; ++row) {
        const uint32_t top = l.height - 1 - row;
        std::vector<uint8_t> pixels(size_t{l.width} * 4, 0);
        std::memcpy(pixels.data(), source.Row(top), std::min<size_t>(pixels.size(), static_cast<size_t>(l.stride)));
        for (uint32_t x = 0; x < l.width; ++x) {
            const uint8_t* p = &pixels[4 * size_t{x}];
            const uint8_t alpha = view.opaque ? 255 : p[3];
            uint8_t out[4] = {p[0], p[1], p[2], alpha};
            if (view.alphaChannel) {
                out[0] = out[1] = out[2] = alpha;
                out[3] = 255;
            } else if (view.dibBits == 24 && view.alpha.composite) {
                const bool light = (x / 8 + top / 8) % 2 == 0;
                const uint8_t grey = light ? 255 : 204;
                const uint8_t colour[3] = {view.alpha.blue, view.alpha.green, view.alpha.red};
                for (int c = 0; c < 3; ++c) out[c] = BlendChannel(p[c], view.checkerboard ? grey : colour[c], alpha);
            }
            std::memcpy(&dib[row * stride + bytes * x], out, bytes);
        }
    }
    return dib;
}

std::string Describe(const PixelView& v) {
    return testing::PrintToString(std::vector<int>{v.alpha.composite, v.checkerboard, v.alphaChannel, v.opaque,
                                                   static_cast<int>(v.dibBits), v.normalZ});
}

TEST_F(RowLoopModes, ConvertForViewGivesEachView) {
    const AlphaMode over{true, 0x34, 0x56, 0x78}, remove{false, 0, 0, 0};
    const PixelView kViews[] = {
        // No view: the plain conversion.
        {over}, {remove}, {over, false, false, true},
        {over, true}, {remove, true}, {over, true, false, true},
        {over, false, true}, {remove, false, true, true}, {over, true, true, false, 32},
        {over, false, false, false, 32}, {over, true, false, true, 32}, {remove, false, false, false, 32},
    };
    for (const PixelView& view : kViews) {
        for (const uint32_t width : {1u, 2u, 5u, 8u, 9u, 16u, 17u, 23u, 150u}) {
            for (const uint32_t height : {1u, 9u, 17u}) {
                // -1: a pitch one byte short of the row; -301: short by more than a piece of 64.
                for (const int extraPitch : {0, 8, -1, -301}) {
                    if (static_cast<int>(width) * 4 + extraPitch <= 0) continue;
                    SCOPED_TRACE(testing::Message() << Describe(view) << ", " << width << "x" << height << ", pitch "
                                                    << extraPitch);
                    Source source(width, height, 32, static_cast<intptr_t>(width) * 4 + extraPitch, width + height);
                    for (size_t i = 3; i < source.memory.size(); i += 4) {
                        if (i % 12 == 3) source.memory[i] = 0;
                        if (i % 12 == 7) source.memory[i] = 255;
                    }
                    PixelImage dib;
                    ASSERT_EQ(ConvertForView(source.image, dib, view), kSuccess);
                    EXPECT_EQ(dib.layout().bitsPerPixel, view.dibBits);
                    ASSERT_EQ(BlockBytes(dib), ViewDib(source, view));
                    if (!view.checkerboard && !view.alphaChannel && !view.opaque && view.dibBits == 24) {
                        EXPECT_EQ(BlockBytes(dib), TwoStepDib(source, view.alpha)) << "not the plain conversion";
                    }
                }
            }
        }
    }
    // Bands on the pool take their squares from the picture's rows, not from the DIB's.
    Source tall(61, 4099, 32, 61 * 4, 5);
    const PixelView checker{over, true};
    for (const bool parallel : {false, true}) {
        SetRowLoopsParallel(parallel);
        PixelImage dib;
        ASSERT_EQ(ConvertForView(tall.image, dib, checker), kSuccess);
        EXPECT_EQ(BlockBytes(dib), ViewDib(tall, checker)) << "parallel " << parallel;
    }
    PixelImage dib;
    EXPECT_EQ(ConvertForView(Source(4, 4, 24, 12, 0).image, dib, checker), kInternalError);
}

TEST(ConvertRowForView, CheckerboardSquaresAtOddOffsets) {
    // Transparent black shows the squares: L 255, D 204. Half-covered (alpha 128) black gives
    // 255 x 127 / 255 = 127 on light and 204 x 127 / 255 = 101.6 -> 101 on dark; half-covered
    // white 229.6 -> 229 on dark and 255 on light.
    const struct {
        uint32_t pictureRow, column;
        const char* squares;
    } kCases[] = {
        {0, 0, "LLLLLLLLDDDDDDDDL"}, {0, 5, "LLLDDDDDDDDLLLLLLLLD"}, {7, 7, "LDDDDDDDDL"},
        {8, 0, "DDDDDDDDLL"},        {9, 7, "DLL"},                  {15, 13, "LLLDDDDDDDD"},
        {16, 15, "DL"},              {23, 1, "LLLLLLLD"},            {1000003, 6, "LLDDDDDDDDL"}, {1000008, 6, "DDLLLLLLLLD"},
    };
    const struct {
        uint8_t value, alpha, onLight, onDark;
    } kPixels[] = {{0, 0, 255, 204}, {0, 128, 127, 101}, {255, 128, 255, 229}, {77, 255, 77, 77}};
    for (const auto& c : kCases) {
        for (const auto& p : kPixels) {
            SCOPED_TRACE(testing::Message() << "row " << c.pictureRow << ", column " << c.column << ", value "
                                            << int(p.value) << " at " << int(p.alpha));
            const uint32_t width = static_cast<uint32_t>(std::strlen(c.squares));
            std::vector<uint8_t> source(4 * size_t{width}, p.value);
            for (uint32_t x = 0; x < width; ++x) source[4 * x + 3] = p.alpha;
            const uint32_t stride = DibStride(width, 24);
            std::vector<uint8_t> target(stride, 0xEE);
            ConvertRowForView(source.data(), target.data(), width, stride, PixelView{{true, 1, 2, 3}, true},
                              c.pictureRow, c.column);
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t expected = c.squares[x] == 'L' ? p.onLight : p.onDark;
                for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(target[3 * x + ch], expected) << "pixel " << x;
            }
            for (uint32_t i = 3 * width; i < stride; ++i) EXPECT_EQ(target[i], 0) << "padding";
        }
    }
}

TEST(PixelViewOf, FollowsTheSettings) {
    PluginSettings settings;
    settings.compositeColor = {1, 2, 3};
    settings.backdrop = Backdrop::Checkerboard;
    settings.channel = ChannelView::Alpha;
    settings.dibBits = 32;
    settings.normalZ = true;
    // A format without alpha: its alpha byte reads as 255, and no colour is blended in.
    EXPECT_EQ(Describe(PixelViewOf(settings, false)), Describe({{false, 0, 0, 0}, true, true, true, 32, true}));
    const PixelView view = PixelViewOf(settings, true);
    EXPECT_EQ(Describe(view), Describe({{true, 1, 2, 3}, true, true, false, 32, true}));
    EXPECT_EQ(std::vector<int>({view.alpha.blue, view.alpha.green, view.alpha.red}), std::vector<int>({1, 2, 3}));
    // No view value: the alpha mode alone, as the plain conversion takes it.
    settings = PluginSettings();
    settings.alphaDisposal = AlphaDisposal::Remove;
    EXPECT_EQ(Describe(PixelViewOf(settings, true)), Describe(PixelView{}));
}

}  // namespace
}  // namespace sorvane
