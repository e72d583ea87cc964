#include "PixelConversion.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "RowLoop.h"

namespace sorvane {

namespace {

// Blends 4 pixels at once over `colour` (blue, green, red, 0 as 16-bit lanes, twice): for each
// channel (s x a + c x (255 - a)) / 255, with the division done exactly as
// (x x 0x8081) >> 23, which equals x / 255 for every x below 2^16.
__m128i Blend4(__m128i pixels, __m128i colour) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i divide = _mm_set1_epi16(static_cast<short>(0x8081));
    __m128i halves[2] = {_mm_unpacklo_epi8(pixels, zero), _mm_unpackhi_epi8(pixels, zero)};
    for (__m128i& h : halves) {
        const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(h, 0xFF), 0xFF);
        const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(h, alpha),
                                          _mm_mullo_epi16(colour, _mm_sub_epi16(full, alpha)));
        h = _mm_srli_epi16(_mm_mulhi_epu16(sum, divide), 7);
    }
    return _mm_packus_epi16(halves[0], halves[1]);
}

// The alpha disposal of 4 pixels. Runs of opaque or clear pixels, the usual case in real
// pictures, skip the arithmetic.
__m128i Dispose4(__m128i pixels, const AlphaMode& mode, __m128i colour, __m128i colourWords) {
    if (!mode.composite) return pixels;
    const __m128i alphas = _mm_and_si128(pixels, _mm_set1_epi32(static_cast<int>(0xFF000000)));
    const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(alphas, _mm_set1_epi32(static_cast<int>(0xFF000000))));
    if (opaque == 0xFFFF) return pixels;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alphas, _mm_setzero_si128())) == 0xFFFF) return colourWords;
    return Blend4(pixels, colour);
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

}  // namespace

AlphaMode AlphaModeOf(const PluginSettings& settings) noexcept {
    return {settings.alphaDisposal == AlphaDisposal::Composite, settings.compositeColor.blue,
            settings.compositeColor.green, settings.compositeColor.red};
}

// Pixels are stored in groups of 4, each store overwritten where it runs into the next pixel;
// the last pixel is stored byte by byte, so no store leaves the row.
void ConvertRowTo24Bits(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t stride,
                        const AlphaMode& mode) noexcept {
    const uint32_t colourWord = uint32_t{mode.blue} | uint32_t{mode.green} << 8 | uint32_t{mode.red} << 16;
    const __m128i colour = _mm_setr_epi16(mode.blue, mode.green, mode.red, 0, mode.blue, mode.green, mode.red, 0);
    const __m128i colourWords = _mm_set1_epi32(static_cast<int>(colourWord));
    // Two pixels of 3 bytes in the low 6 bytes of each 64-bit lane.
    const __m128i low24 = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    const __m128i high24 = _mm_set_epi32(0xFFFF, static_cast<int>(0xFF000000), 0xFFFF, static_cast<int>(0xFF000000));
    uint32_t x = 0;
    // Groups of 4 while a pixel follows the group: the second 8-byte store ends 2 bytes into
    // that pixel, which its own store then overwrites.
    for (; x + 4 < width; x += 4) {
        const __m128i pixels = Dispose4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * size_t{x})),
                                        mode, colour, colourWords);
        const __m128i packed = _mm_or_si128(_mm_and_si128(pixels, low24),
                                            _mm_and_si128(_mm_srli_epi64(pixels, 8), high24));
        uint8_t* at = target + 3 * size_t{x};
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 6), _mm_unpackhi_epi64(packed, packed));
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

namespace {

// What a source row can give: the locked pitch is the most, and a shorter pitch is not read
// past.
size_t AvailableBytes(const PixelImage& source, uint64_t rowBytes) {
    const size_t pitch = static_cast<size_t>(std::llabs(source.layout().stride));
    return rowBytes < pitch ? static_cast<size_t>(rowBytes) : pitch;
}

}  // namespace

PluginResult FlipRows(const PixelImage& source, PixelImage& dib) noexcept {
    const PixelLayout& from = source.layout();
    if (source.bits() == nullptr) return kInternalError;
    const PluginResult result = dib.Allocate(from.width, from.height, from.bitsPerPixel);
    if (result != kSuccess) return result;

    const struct {
        const PixelImage& from;
        const PixelImage& to;
        size_t copied, stride;
    } rows{source, dib, AvailableBytes(source, (uint64_t{from.width} * from.bitsPerPixel + 7) / 8),
           static_cast<size_t>(dib.layout().stride)};
    ForEachRow(from.height, rows.stride, [&rows](uint32_t row) {
        uint8_t* to = rows.to.Row(row);
        std::memcpy(to, rows.from.Row(rows.from.layout().height - 1 - row), rows.copied);
        std::memset(to + rows.copied, 0, rows.stride - rows.copied);
    });
    return kSuccess;
}

PluginResult ConvertTo24Bits(const PixelImage& source, PixelImage& dib, const AlphaMode& mode) noexcept {
    // A view of the alpha mode alone converts each row with ConvertRowTo24Bits.
    return ConvertForView(source, dib, PixelView{mode});
}

PixelView PixelViewOf(const PluginSettings& settings, bool hasAlpha) noexcept {
    PixelView view;
    view.alpha = hasAlpha ? AlphaModeOf(settings) : AlphaMode{};
    view.checkerboard = settings.backdrop == Backdrop::Checkerboard;
    view.alphaChannel = settings.channel == ChannelView::Alpha;
    view.opaque = !hasAlpha;
    view.dibBits = settings.dibBits == 32 ? 32 : 24;
    view.normalZ = settings.normalZ;
    return view;
}

namespace {

// The checkerboard: each run of pixels within one square is the plain conversion over that
// square's grey.
void CompositeOverCheckerboard(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t pictureRow,
                               uint32_t column) {
    const uint32_t rowPhase = pictureRow / kCheckerSquare;
    for (uint32_t x = 0; x < width;) {
        const uint32_t at = column + x;
        const uint32_t run = std::min(width - x, kCheckerSquare - at % kCheckerSquare);
        const uint8_t grey = (rowPhase + at / kCheckerSquare) % 2 == 0 ? kCheckerLight : kCheckerDark;
        ConvertRowTo24Bits(source + 4 * size_t{x}, target + 3 * size_t{x}, run, 3 * run,
                           AlphaMode{true, grey, grey, grey});
        x += run;
    }
}

}  // namespace

void ConvertRowForView(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t stride, const PixelView& view,
                       uint32_t pictureRow, uint32_t column) noexcept {
    const bool colour24 = view.dibBits != 32 && !view.alphaChannel;
    if (colour24 && view.checkerboard && view.alpha.composite && !view.opaque) {
        CompositeOverCheckerboard(source, target, width, pictureRow, column);
        std::memset(target + 3 * size_t{width}, 0, stride - 3 * size_t{width});
        return;
    }
    if (colour24) {
        // Without alpha the byte is dropped, as an alpha of 255 would have it.
        ConvertRowTo24Bits(source, target, width, stride, view.opaque ? AlphaMode{} : view.alpha);
        return;
    }
    const uint32_t bytes = view.dibBits == 32 ? 4 : 3;
    for (uint32_t x = 0; x < width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, source + 4 * size_t{x}, 4);
        if (view.opaque) pixel |= 0xFF000000u;
        if (view.alphaChannel) pixel = (pixel >> 24) * 0x010101u | 0xFF000000u;
        std::memcpy(target + bytes * size_t{x}, &pixel, bytes);
    }
    std::memset(target + bytes * size_t{width}, 0, stride - bytes * size_t{width});
}

PluginResult ConvertForView(const PixelImage& source, PixelImage& dib, const PixelView& view) noexcept {
    const PixelLayout& from = source.layout();
    if (source.bits() == nullptr || from.bitsPerPixel != 32) return kInternalError;
    const PluginResult result = dib.Allocate(from.width, from.height, view.dibBits == 32 ? 32 : 24);
    if (result != kSuccess) return result;
    return DrawForView(source, dib, view, 0, 0);
}

namespace {

constexpr uint32_t kPiece = 64;

// One row of `width` pixels from `pixels`, of which only the first `available` bytes exist (the
// rest read as zero), converted for the view a piece at a time.
void ConvertPieces(const uint8_t* pixels, size_t available, const PlacedRows& place, uint32_t pictureRow,
                   const PixelView& view) {
    const uint32_t outBytes = place.PixelBytes();
    uint8_t* const target = place.Row(pictureRow);
    uint8_t piece[4 * kPiece];
    for (uint32_t x = 0; x < place.width; x += kPiece) {
        const uint32_t count = std::min(kPiece, place.width - x);
        const size_t offset = 4 * size_t{x};
        const size_t copied = available > offset ? std::min(available - offset, sizeof piece) : 0;
        std::memset(piece, 0, sizeof piece);
        if (copied != 0) std::memcpy(piece, pixels + offset, copied);
        ConvertRowForView(piece, target + outBytes * size_t{x}, count, outBytes * count, view, place.top + pictureRow,
                          place.left + x);
    }
    std::memset(target + outBytes * size_t{place.width}, 0, place.Bytes() - outBytes * size_t{place.width});
}

}  // namespace

PluginResult DrawForView(const PixelImage& source, const PixelImage& dib, const PixelView& view, uint32_t left,
                         uint32_t top) noexcept {
    const PixelLayout& from = source.layout();
    if (source.bits() == nullptr || from.bitsPerPixel != 32 || dib.bits() == nullptr ||
        uint64_t{left} + from.width > dib.layout().width || uint64_t{top} + from.height > dib.layout().height) {
        return kInternalError;
    }
    const struct {
        const PixelImage& from;
        PlacedRows place;
        size_t available;
        PixelView view;
    } rows{source, PlacedRows{dib, left, top, from.width}, AvailableBytes(source, uint64_t{from.width} * 4), view};
    ForEachRow(from.height, uint64_t{from.width} * 4, [&rows](uint32_t row) {
        // Rows in the DIB's order, bottom first.
        const uint32_t pictureRow = rows.from.layout().height - 1 - row;
        const uint8_t* pixels = rows.from.Row(pictureRow);
        if (rows.available >= size_t{rows.place.width} * 4) {
            ConvertRowForView(pixels, rows.place.Row(pictureRow), rows.place.width, rows.place.Bytes(), rows.view,
                              rows.place.top + pictureRow, rows.place.left);
        } else {
            // A pitch shorter than the row: what it lacks reads as zero bytes.
            ConvertPieces(pixels, rows.available, rows.place, pictureRow, rows.view);
        }
    });
    return kSuccess;
}

void ClearForView(const PixelImage& dib, const PixelView& view) noexcept {
    const struct {
        PlacedRows place;
        PixelView view;
    } rows{PlacedRows{dib, 0, 0, dib.layout().width}, view};
    ForEachRow(dib.layout().height, uint64_t{dib.layout().width} * 4, [&rows](uint32_t row) {
        ConvertPieces(nullptr, 0, rows.place, rows.place.dib.layout().height - 1 - row, rows.view);
    });
}

}  // namespace sorvane
