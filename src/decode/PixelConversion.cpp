#include "PixelConversion.h"

#include <emmintrin.h>

#include <cstdlib>
#include <cstring>

#include "RowLoop.h"

namespace sorvane {

namespace {

uint8_t* RowAt(uint8_t* bits, intptr_t stride, uint32_t row) {
    return bits + static_cast<intptr_t>(row) * stride;
}

// Blends 4 pixels at once over `colour` (blue, green, red, 0 as 16-bit lanes, twice): for each
// channel (s x a + c x (255 - a)) / 255, with the division done exactly as
// (x + 1 + (x >> 8)) >> 8, which equals x / 255 for every x up to 255 x 255.
__m128i Blend4(__m128i pixels, __m128i colour) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i one = _mm_set1_epi16(1);
    __m128i halves[2] = {_mm_unpacklo_epi8(pixels, zero), _mm_unpackhi_epi8(pixels, zero)};
    for (__m128i& h : halves) {
        const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(h, 0xFF), 0xFF);
        const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(h, alpha),
                                          _mm_mullo_epi16(colour, _mm_sub_epi16(full, alpha)));
        h = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(sum, one), _mm_srli_epi16(sum, 8)), 8);
    }
    return _mm_packus_epi16(halves[0], halves[1]);
}

// The 24-bit form of one pixel, as a word whose 4th byte carries nothing.
uint32_t ConvertPixel(uint32_t pixel, const AlphaMode& mode, uint32_t colourWord) {
    const uint32_t alpha = pixel >> 24;
    if (!mode.composite || alpha == 255) return pixel;
    if (alpha == 0) return colourWord;
    return uint32_t{BlendChannel(pixel & 0xFF, mode.blue, alpha)} |
           uint32_t{BlendChannel((pixel >> 8) & 0xFF, mode.green, alpha)} << 8 |
           uint32_t{BlendChannel((pixel >> 16) & 0xFF, mode.red, alpha)} << 16;
}

// Converts one row of `width` 32-bit pixels into 24-bit ones and zeroes the row's padding.
// Pixels are stored as 4-byte words 3 bytes apart, each word's 4th byte overwritten by the
// next pixel; the last pixel is stored byte by byte, so no store leaves the row.
void ConvertRow(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t stride,
                const AlphaMode& mode) {
    const uint32_t colourWord = uint32_t{mode.blue} | uint32_t{mode.green} << 8 | uint32_t{mode.red} << 16;
    const __m128i colour = _mm_setr_epi16(mode.blue, mode.green, mode.red, 0, mode.blue, mode.green, mode.red, 0);
    uint32_t x = 0;
    // Groups of 4 while a pixel follows the group, so the group's last word stays in the row.
    for (; x + 4 < width; x += 4) {
        __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * size_t{x}));
        if (mode.composite) pixels = Blend4(pixels, colour);
        alignas(16) uint32_t words[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(words), pixels);
        uint8_t* at = target + 3 * size_t{x};
        for (int k = 0; k < 4; ++k) std::memcpy(at + 3 * k, &words[k], 4);
    }
    for (; x < width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, source + 4 * size_t{x}, 4);
        const uint32_t out = ConvertPixel(pixel, mode, colourWord);
        uint8_t* at = target + 3 * size_t{x};
        if (x + 1 < width) {
            std::memcpy(at, &out, 4);
        } else {
            at[0] = static_cast<uint8_t>(out);
            at[1] = static_cast<uint8_t>(out >> 8);
            at[2] = static_cast<uint8_t>(out >> 16);
        }
    }
    std::memset(target + 3 * size_t{width}, 0, stride - 3 * size_t{width});
}

}  // namespace

AlphaMode AlphaModeOf(const PluginSettings& settings) noexcept {
    return {settings.alphaDisposal == AlphaDisposal::Composite, settings.compositeColor.blue,
            settings.compositeColor.green, settings.compositeColor.red};
}

PluginResult FlipRows(PixelImage& image, LocalBlock& spare) noexcept {
    const PixelLayout* source = image.layout();
    if (source == nullptr || image.bits() == nullptr) return kInternalError;
    PixelImage flipped;
    const PluginResult result = flipped.Allocate(source->width, source->height, source->bitsPerPixel, spare);
    if (result != kSuccess) return result;

    const uint32_t height = source->height;
    const uint32_t stride = static_cast<uint32_t>(flipped.layout()->stride);
    const size_t pixelBytes = (uint64_t{source->width} * source->bitsPerPixel + 7) / 8;
    // The locked pitch is the most a source row can give; a shorter pitch is not read past.
    const size_t available = static_cast<size_t>(std::llabs(source->stride));
    const size_t copied = pixelBytes < available ? pixelBytes : available;
    const struct {
        uint8_t* from;
        intptr_t fromStride;
        uint8_t* to;
        uint32_t toStride;
        uint32_t height;
        size_t copied;
    } rows{image.bits(), source->stride, flipped.bits(), stride, height, copied};

    ForEachRow(height, stride, [&rows](uint32_t row) {
        uint8_t* to = RowAt(rows.to, rows.toStride, row);
        std::memcpy(to, RowAt(rows.from, rows.fromStride, rows.height - 1 - row), rows.copied);
        std::memset(to + rows.copied, 0, rows.toStride - rows.copied);
    });
    std::memset(flipped.bits() + size_t{height} * stride, 0, 4);
    image.Adopt(flipped, spare);
    return kSuccess;
}

PluginResult ConvertTo24Bits(PixelImage& image, LocalBlock& spare, const AlphaMode& mode) noexcept {
    const PixelLayout* source = image.layout();
    if (source == nullptr || image.bits() == nullptr || source->bitsPerPixel != 32) return kInternalError;
    PixelImage converted;
    const PluginResult result = converted.Allocate(source->width, source->height, 24, spare);
    if (result != kSuccess) return result;

    const struct {
        const uint8_t* from;
        intptr_t fromStride;
        uint8_t* to;
        uint32_t toStride;
        uint32_t width;
        AlphaMode mode;
    } rows{image.bits(), source->stride, converted.bits(),
           static_cast<uint32_t>(converted.layout()->stride), source->width, mode};

    ForEachRow(source->height, uint64_t{source->width} * 4, [&rows](uint32_t row) {
        ConvertRow(rows.from + static_cast<intptr_t>(row) * rows.fromStride,
                   RowAt(rows.to, rows.toStride, row), rows.width, rows.toStride, rows.mode);
    });
    std::memset(converted.bits() + size_t{source->height} * rows.toStride, 0, 4);
    image.Adopt(converted, spare);
    return kSuccess;
}

PluginResult TakeDibHandles(PixelImage& image, LocalBlock& infoOut, LocalBlock& bitsOut) noexcept {
    const PixelLayout* layout = image.layout();
    if (layout == nullptr || image.bits() == nullptr) return kInternalError;
    const uint32_t width = layout->width, height = layout->height, bitCount = layout->bitsPerPixel;
    bitsOut.reset(image.ReleaseBlock());
    infoOut.reset(LocalAlloc(LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD)));
    if (!infoOut) return kOutOfMemory;
    auto* header = static_cast<BITMAPINFOHEADER*>(infoOut.get());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = static_cast<LONG>(width);
    header->biHeight = static_cast<LONG>(height);  // positive: bottom-up rows
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(bitCount);
    header->biCompression = BI_RGB;
    image.DropLayout();
    return kSuccess;
}

}  // namespace sorvane
