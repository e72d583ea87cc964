// BC1 to BC5 with SSE2: a block row of four texels is one register, and each texel's colour or
// level is chosen by masks made from its index bits, so no texel is looked up on its own. The
// colours and levels are those of ColourLevels.h, byte for byte.

#if defined(__SSE2__)

#include <emmintrin.h>

#include "BlockDecoders.h"
#include "ColourLevels.h"

namespace sorvane::dds::sse2 {

using namespace colour;

namespace {

inline void StoreRow(uint8_t* out, __m128i row) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), row); }

// The four colours of a colour block as the dwords of a register, alpha as ColourPalette
// gives it when `alpha` is 0xFF000000 or 0. The thirds divide exactly as ColourPalette's:
// x / 3 = (x * 43691) >> 17 for every x up to 3 * 255.
inline __m128i Palette(const uint8_t* block, bool allowThreeColours, uint32_t alpha) {
    const uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    const __m128i zero = _mm_setzero_si128();
    const __m128i e0 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(Widen565(c0) | alpha)), zero);
    const __m128i e1 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(Widen565(c1) | alpha)), zero);
    const __m128i ends = _mm_unpacklo_epi64(e0, e1);              // e0, e1 in 16-bit lanes
    const __m128i swapped = _mm_shuffle_epi32(ends, 0x4E);        // e1, e0
    const __m128i thirds = _mm_srli_epi16(
        _mm_mulhi_epu16(_mm_add_epi16(_mm_add_epi16(ends, ends), swapped), _mm_set1_epi16(-21845)), 1);
    // Colour 0 <= colour 1 in BC1: the midpoint, then transparent black (alpha included).
    const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_add_epi16(ends, swapped), 1), _mm_set_epi32(0, 0, -1, -1));
    const __m128i three = _mm_set1_epi32(allowThreeColours && c0 <= c1 ? -1 : 0);
    const __m128i middle = _mm_or_si128(_mm_and_si128(three, half), _mm_andnot_si128(three, thirds));
    return _mm_packus_epi16(ends, middle);
}

// The dword of each texel of block row `row` (0 to 3) chosen from `palette` by its 2-bit index:
// bit 0 chooses within the pairs 0, 1 and 2, 3, bit 1 between the pairs.
struct ColourChooser {
    __m128i p0, x01, p2, x23, indices;

    ColourChooser(__m128i palette, uint32_t colourIndices)
        : p0(_mm_shuffle_epi32(palette, 0x00)),
          x01(_mm_xor_si128(p0, _mm_shuffle_epi32(palette, 0x55))),
          p2(_mm_shuffle_epi32(palette, 0xAA)),
          x23(_mm_xor_si128(p2, _mm_shuffle_epi32(palette, 0xFF))),
          indices(_mm_set1_epi32(static_cast<int>(colourIndices))) {}

    __m128i Row(int row) const {
        const __m128i bit0 = _mm_set_epi32(1 << 6, 1 << 4, 1 << 2, 1), bit1 = _mm_add_epi32(bit0, bit0);
        const __m128i bits = _mm_srli_epi32(indices, 8 * row);
        const __m128i m0 = _mm_cmpeq_epi32(_mm_and_si128(bits, bit0), bit0);
        const __m128i m1 = _mm_cmpeq_epi32(_mm_and_si128(bits, bit1), bit1);
        const __m128i low = _mm_xor_si128(p0, _mm_and_si128(x01, m0));
        const __m128i high = _mm_xor_si128(p2, _mm_and_si128(x23, m0));
        return _mm_xor_si128(low, _mm_and_si128(_mm_xor_si128(low, high), m1));
    }
};

// 24 bits of 3-bit indices spread to the low 3 bits of 8 bytes.
inline uint64_t SpreadThreeBits(uint64_t x) {
    x = (x & 0xFFF) | (x & 0xFFF000) << 20;
    x = (x & 0x0000003F0000003F) | (x & 0x00000FC000000FC0) << 10;
    return (x & 0x0007000700070007) | (x & 0x0038003800380038) << 5;
}

// The eight levels of ColourLevels.h's ChannelLevels in the low 8 bytes, all at once: level k
// is (a_k e0 + b_k e1) / d in 16-bit lanes, the division by 7 or 5 a multiplication that is
// exact for every sum there is (x / 7 = (x * 9363) >> 16 to 7 * 255, x / 5 = (x * 13108) >> 16
// to 5 * 255), truncating toward zero for signed sums. A signed level x shows as v + (v >= 127)
// of v = x + 127, which is ChannelLevels' rounding of (x + 127) * 255 / 254.
struct LevelWeights {
    int16_t e0[8], e1[8], reciprocal[8], keep[8], extremes[8];
};
alignas(16) constexpr LevelWeights kLevelWeights[2] = {
    // e0 <= e1: six levels, then 0 and 255 however signed.
    {{5, 0, 4, 3, 2, 1, 0, 0}, {0, 5, 1, 2, 3, 4, 0, 0}, {13108, 13108, 13108, 13108, 13108, 13108, 0, 0},
     {-1, -1, -1, -1, -1, -1, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 255}},
    {{7, 0, 6, 5, 4, 3, 2, 1}, {0, 7, 1, 2, 3, 4, 5, 6}, {9363, 9363, 9363, 9363, 9363, 9363, 9363, 9363},
     {-1, -1, -1, -1, -1, -1, -1, -1}, {0, 0, 0, 0, 0, 0, 0, 0}},
};

inline __m128i Load(const int16_t* lanes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes)); }

template <bool Signed>
inline __m128i Levels(const uint8_t* block) {
    int e0 = block[0], e1 = block[1];
    if (Signed) {
        e0 = static_cast<int8_t>(block[0]) < -127 ? -127 : static_cast<int8_t>(block[0]);
        e1 = static_cast<int8_t>(block[1]) < -127 ? -127 : static_cast<int8_t>(block[1]);
    }
    const LevelWeights& w = kLevelWeights[e0 > e1];
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(_mm_set1_epi16(static_cast<int16_t>(e0)), Load(w.e0)),
                                      _mm_mullo_epi16(_mm_set1_epi16(static_cast<int16_t>(e1)), Load(w.e1)));
    __m128i level;
    if (Signed) {
        const __m128i sign = _mm_srai_epi16(sum, 15);
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(sum, sign), sign);
        const __m128i quotient = _mm_sub_epi16(_mm_xor_si128(_mm_mulhi_epu16(magnitude, Load(w.reciprocal)), sign), sign);
        const __m128i v = _mm_add_epi16(quotient, _mm_set1_epi16(127));
        level = _mm_sub_epi16(v, _mm_cmpgt_epi16(v, _mm_set1_epi16(126)));
    } else {
        level = _mm_mulhi_epu16(sum, Load(w.reciprocal));
    }
    level = _mm_or_si128(_mm_and_si128(level, Load(w.keep)), Load(w.extremes));
    return _mm_packus_epi16(level, level);
}

// The 16 levels of a channel block's texels as bytes, texel 0 lowest: each index compared with
// every level's number, the equal one's level kept.
template <bool Signed>
inline __m128i ChannelBytes(const uint8_t* block) {
    const uint64_t indices = ChannelIndices(block);
    const __m128i index = _mm_set_epi64x(static_cast<int64_t>(SpreadThreeBits(indices >> 24)),
                                         static_cast<int64_t>(SpreadThreeBits(indices & 0xFFFFFF)));
    const __m128i levels = Levels<Signed>(block);
    const __m128i pairs = _mm_unpacklo_epi8(levels, levels);  // level i in both bytes of word i
    const __m128i low = _mm_shufflelo_epi16(pairs, 0x00), high = _mm_shufflehi_epi16(pairs, 0x00);
    __m128i out = _mm_and_si128(_mm_cmpeq_epi8(index, _mm_setzero_si128()), _mm_shuffle_epi32(low, 0x00));
    const auto keep = [&](int level, __m128i broadcast) {
        out = _mm_or_si128(out, _mm_and_si128(_mm_cmpeq_epi8(index, _mm_set1_epi8(static_cast<char>(level))), broadcast));
    };
    keep(1, _mm_shuffle_epi32(_mm_shufflelo_epi16(pairs, 0x55), 0x00));
    keep(2, _mm_shuffle_epi32(_mm_shufflelo_epi16(pairs, 0xAA), 0x00));
    keep(3, _mm_shuffle_epi32(_mm_shufflelo_epi16(pairs, 0xFF), 0x00));
    keep(4, _mm_shuffle_epi32(high, 0xAA));
    keep(5, _mm_shuffle_epi32(_mm_shufflehi_epi16(pairs, 0x55), 0xAA));
    keep(6, _mm_shuffle_epi32(_mm_shufflehi_epi16(pairs, 0xAA), 0xAA));
    keep(7, _mm_shuffle_epi32(_mm_shufflehi_epi16(pairs, 0xFF), 0xAA));
    return out;
}

// 16 bytes, texel 0 lowest, as the top byte of each texel's dword: rows 0 to 3.
struct AlphaRows {
    __m128i row[4];
    explicit AlphaRows(__m128i alpha) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = _mm_unpacklo_epi8(zero, alpha), high = _mm_unpackhi_epi8(zero, alpha);
        row[0] = _mm_unpacklo_epi16(zero, low);
        row[1] = _mm_unpackhi_epi16(zero, low);
        row[2] = _mm_unpacklo_epi16(zero, high);
        row[3] = _mm_unpackhi_epi16(zero, high);
    }
};

// Rows of texels whose dwords are the bytes of `b, g, r, a` (16 bytes each, texel 0 lowest).
inline void PutChannels(uint8_t* out, ptrdiff_t stride, __m128i b, __m128i g, __m128i r, __m128i a) {
    const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
    const __m128i raLow = _mm_unpacklo_epi8(r, a), raHigh = _mm_unpackhi_epi8(r, a);
    StoreRow(out, _mm_unpacklo_epi16(bgLow, raLow));
    StoreRow(out + stride, _mm_unpackhi_epi16(bgLow, raLow));
    StoreRow(out + 2 * stride, _mm_unpacklo_epi16(bgHigh, raHigh));
    StoreRow(out + 3 * stride, _mm_unpackhi_epi16(bgHigh, raHigh));
}

}  // namespace

void Bc1(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 8, out += 16) {
        const ColourChooser colours(Palette(blocks, true, 0xFF000000), ColourIndices(blocks));
        for (int row = 0; row < 4; ++row) StoreRow(out + row * stride, colours.Row(row));
    }
}

void Bc2(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    const __m128i nibble = _mm_set1_epi8(15);
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        const ColourChooser colours(Palette(blocks + 8, false, 0), ColourIndices(blocks + 8));
        // Texel 2k's alpha in the low nibble of byte k, 2k + 1's in the high; n shows as n * 17.
        const __m128i stored = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(blocks));
        const __m128i alpha = _mm_unpacklo_epi8(_mm_and_si128(stored, nibble),
                                                _mm_and_si128(_mm_srli_epi16(stored, 4), nibble));
        const AlphaRows alphas(_mm_or_si128(alpha, _mm_slli_epi16(alpha, 4)));
        for (int row = 0; row < 4; ++row) StoreRow(out + row * stride, _mm_or_si128(colours.Row(row), alphas.row[row]));
    }
}

void Bc3(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        const ColourChooser colours(Palette(blocks + 8, false, 0), ColourIndices(blocks + 8));
        const AlphaRows alphas(ChannelBytes<false>(blocks));
        for (int row = 0; row < 4; ++row) StoreRow(out + row * stride, _mm_or_si128(colours.Row(row), alphas.row[row]));
    }
}

template <bool Signed>
void Bc4(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    const __m128i opaque = _mm_set1_epi8(-1);
    for (size_t i = 0; i < count; ++i, blocks += 8, out += 16) {
        const __m128i grey = ChannelBytes<Signed>(blocks);
        PutChannels(out, stride, grey, grey, grey, opaque);
    }
}
template void Bc4<false>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
template void Bc4<true>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;

template <bool Signed>
void Bc5(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    const __m128i zero = _mm_setzero_si128(), opaque = _mm_set1_epi8(-1);
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        PutChannels(out, stride, zero, ChannelBytes<Signed>(blocks + 8), ChannelBytes<Signed>(blocks), opaque);
    }
}
template void Bc5<false>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
template void Bc5<true>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;

}  // namespace sorvane::dds::sse2

#endif
