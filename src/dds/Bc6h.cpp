#include <array>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "BitReader.h"
#include "BlockDecoders.h"
#include "BptcTables.h"

namespace sorvane::dds {

namespace {

// Each mode scatters its endpoint bits over the header in its own order, written here as the
// fields in block order, lowest bit first: "g2[4]" is one bit of g2, "r0[9:0]" ten bits of r0
// from bit 0 up, and "r0[10:15]" six bits of r0 from bit 15 down. The mode bits come before
// and are not listed; a two-region block's 5 partition bits follow.
struct Bc6hMode {
    int code;
    int regions;
    bool transformed;   // endpoints after the first are deltas from it
    int endpointBits;
    int deltaBits[3];   // red, green, blue of the other endpoints, when transformed
    const char* layout;
};

constexpr Bc6hMode kModes[] = {
    {0, 2, true, 10, {5, 5, 5},
     "g2[4],b2[4],b3[4],r0[9:0],g0[9:0],b0[9:0],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {1, 2, true, 7, {6, 6, 6},
     "g2[5],g3[4],g3[5],r0[6:0],b3[0],b3[1],b2[4],g0[6:0],b2[5],b3[2],g2[4],b0[6:0],b3[3],b3[5],"
     "b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {2, 2, true, 11, {5, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[4:0],r0[10],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {6, 2, true, 11, {4, 5, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],g3[4],g2[3:0],g1[4:0],g0[10],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[3:0],b3[0],b3[2],r3[3:0],g2[4],b3[3]"},
    {10, 2, true, 11, {4, 4, 5},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],b2[4],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],"
     "b1[4:0],b0[10],b2[3:0],r2[3:0],b3[1],b3[2],r3[3:0],b3[4],b3[3]"},
    {14, 2, true, 9, {5, 5, 5},
     "r0[8:0],b2[4],g0[8:0],g2[4],b0[8:0],b3[4],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {18, 2, true, 8, {6, 5, 5},
     "r0[7:0],g3[4],b2[4],g0[7:0],b3[2],g2[4],b0[7:0],b3[3],b3[4],r1[5:0],g2[3:0],g1[4:0],"
     "b3[0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[5:0],r3[5:0]"},
    {22, 2, true, 8, {5, 6, 5},
     "r0[7:0],b3[0],b2[4],g0[7:0],g2[5],g2[4],b0[7:0],g3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[5:0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {26, 2, true, 8, {5, 5, 6},
     "r0[7:0],b3[1],b2[4],g0[7:0],b2[5],g2[4],b0[7:0],b3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[4:0],b3[0],g3[3:0],b1[5:0],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {30, 2, false, 6, {6, 6, 6},
     "r0[5:0],g3[4],b3[0],b3[1],b2[4],g0[5:0],g2[5],b2[5],b3[2],g2[4],b0[5:0],g3[5],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {3, 1, false, 10, {10, 10, 10}, "r0[9:0],g0[9:0],b0[9:0],r1[9:0],g1[9:0],b1[9:0]"},
    {7, 1, true, 11, {9, 9, 9},
     "r0[9:0],g0[9:0],b0[9:0],r1[8:0],r0[10],g1[8:0],g0[10],b1[8:0],b0[10]"},
    {11, 1, true, 12, {8, 8, 8},
     "r0[9:0],g0[9:0],b0[9:0],r1[7:0],r0[10:11],g1[7:0],g0[10:11],b1[7:0],b0[10:11]"},
    {15, 1, true, 16, {4, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10:15],g1[3:0],g0[10:15],b1[3:0],b0[10:15]"},
};
constexpr int kModeCount = sizeof(kModes) / sizeof(kModes[0]);

// A run of header bits that lands in one endpoint channel: value is endpoint * 3 + channel
// (red, green, blue), start the block bit of the run's first bit, shift the channel bit that
// takes it. No run crosses from the block's first 64-bit word into the second.
struct Field {
    uint8_t value;
    uint8_t start;
    uint8_t shift;
    uint8_t count;
};

struct Layout {
    Field fields[40];
    int count;
};

constexpr int ParseNumber(const char*& s) {
    int n = 0;
    while (*s >= '0' && *s <= '9') n = n * 10 + (*s++ - '0');
    return n;
}

constexpr void AddField(Layout& layout, int& start, int value, int shift, int count) {
    const int low = start < 64 && start + count > 64 ? 64 - start : count;
    layout.fields[layout.count++] = {static_cast<uint8_t>(value), static_cast<uint8_t>(start), static_cast<uint8_t>(shift),
                                     static_cast<uint8_t>(low)};
    start += low;
    if (low < count) AddField(layout, start, value, shift + low, count - low);
}

constexpr Layout ParseLayout(const char* s, int start) {
    Layout layout{};
    while (*s) {
        const int channel = *s == 'r' ? 0 : *s == 'g' ? 1 : 2;
        ++s;
        const int value = (*s++ - '0') * 3 + channel;
        ++s;  // '['
        // v[left:right]: the block's first bit goes to bit `right`.
        const int left = ParseNumber(s);
        int right = left;
        if (*s == ':') {
            ++s;
            right = ParseNumber(s);
        }
        ++s;  // ']'
        if (*s == ',') ++s;
        if (left >= right) {
            AddField(layout, start, value, right, left - right + 1);
        } else {
            // Reversed: the block's first bit is the channel's highest.
            for (int bit = right; bit >= left; --bit) AddField(layout, start, value, bit, 1);
        }
    }
    return layout;
}

struct Layouts {
    Layout modes[kModeCount];
};

constexpr int ModeBits(int code) { return code < 2 ? 2 : 5; }

constexpr Layouts ParseLayouts() {
    Layouts all{};
    for (int m = 0; m < kModeCount; ++m) all.modes[m] = ParseLayout(kModes[m].layout, ModeBits(kModes[m].code));
    return all;
}

constexpr Layouts kLayouts = ParseLayouts();

// Every layout fills the header exactly (128 bits less the indices and partition bits) and
// gives every channel each of its bits once.
constexpr bool LayoutsCoverTheirEndpoints() {
    for (int m = 0; m < kModeCount; ++m) {
        const Bc6hMode& mode = kModes[m];
        const Layout& layout = kLayouts.modes[m];
        uint32_t covered[12] = {};
        int total = ModeBits(mode.code);
        for (int f = 0; f < layout.count; ++f) {
            const Field& field = layout.fields[f];
            const uint32_t bits = ((uint32_t{1} << field.count) - 1) << field.shift;
            if (covered[field.value] & bits || (field.start < 64 && field.start + field.count > 64)) return false;
            if (field.start != total) return false;
            covered[field.value] |= bits;
            total += field.count;
        }
        const int indexBits = mode.regions == 2 ? 16 * 3 - 2 : 16 * 4 - 1;
        if (total + (mode.regions == 2 ? 5 : 0) + indexBits != 128) return false;
        for (int v = 0; v < 6 * mode.regions; ++v) {
            const int width = v < 3 || !mode.transformed ? mode.endpointBits : mode.deltaBits[v % 3];
            if (covered[v] != (uint32_t{1} << width) - 1) return false;
        }
    }
    return true;
}
static_assert(LayoutsCoverTheirEndpoints());

// Row of kModes for each value of the low 5 bits, -1 where reserved.
struct ModeIndex {
    int8_t row[32];
};

constexpr ModeIndex BuildModeIndex() {
    ModeIndex index{};
    for (int v = 0; v < 32; ++v) {
        const int code = (v & 3) < 2 ? (v & 3) : v;
        index.row[v] = -1;
        for (int m = 0; m < kModeCount; ++m) {
            if (kModes[m].code == code) index.row[v] = static_cast<int8_t>(m);
        }
    }
    return index;
}

constexpr ModeIndex kModeIndex = BuildModeIndex();

constexpr int IndexBits(const Bc6hMode& mode) { return mode.regions == 2 ? 3 : 4; }

static_assert((-65 >> 6) == -2, "the arithmetic below relies on >> of a negative rounding down");

int32_t SignExtend(uint32_t x, int bits) {
    const uint32_t sign = uint32_t{1} << (bits - 1);
    return static_cast<int32_t>((x & ((sign << 1) - 1)) ^ sign) - static_cast<int32_t>(sign);
}

// Spreads an endpoint over the 16-bit range: 0 and the largest code stay at the ends, the
// rest land at the middle of their step.
template <bool Signed>
int32_t Unquantize(int32_t x, int bits) {
    if (!Signed) {
        if (bits >= 15) return x;
        const int32_t u = ((x << 15) + 0x4000) >> (bits - 1);
        return x == 0 ? 0 : x == (1 << bits) - 1 ? 0xFFFF : u;
    }
    if (bits >= 16) return x;
    const int32_t magnitude = x < 0 ? -x : x;
    int32_t u = ((magnitude << 15) + 0x4000) >> (bits - 1);
    u = magnitude == 0 ? 0 : magnitude >= (1 << (bits - 1)) - 1 ? 0x7FFF : u;
    return x < 0 ? -u : u;
}

// The interpolated values scaled to half floats' bit patterns: by 31/64 unsigned, so 0xFFFF
// becomes the largest finite half; by 31/32 of the magnitude signed, with the sign bit set
// for any negative value, even one whose magnitude scales to 0. Branch-free, as the signs of
// real data are anything but predictable.
template <bool kSigned>
void BuildPalette(const int32_t* e0, const int32_t* e1, const uint8_t* weights, int count,
                  uint16_t (*palette)[3]) noexcept {
    for (int i = 0; i < count; ++i) {
        const int32_t w = weights[i];
        for (int c = 0; c < 3; ++c) {
            const int32_t x = ((64 - w) * e0[c] + w * e1[c] + 32) >> 6;
            if (kSigned) {
                const int32_t sign = x >> 31;
                const int32_t magnitude = (x ^ sign) - sign;
                palette[i][c] = static_cast<uint16_t>(((magnitude * 31) >> 5) | (sign & 0x8000));
            } else {
                palette[i][c] = static_cast<uint16_t>((x * 31) >> 6);
            }
        }
    }
}

// The region * 16 of each texel of each two-region partition.
struct RegionBytes {
    uint8_t entry[32][16];
};

constexpr RegionBytes BuildRegionBytes() {
    RegionBytes table{};
    for (int p = 0; p < 32; ++p) {
        for (int t = 0; t < kBlockTexels; ++t) table.entry[p][t] = static_cast<uint8_t>((bptc::kTwoSubsets[p] >> (2 * t) & 3) << 4);
    }
    return table;
}

constexpr RegionBytes kRegionBytes = BuildRegionBytes();

// The 16 indices of `bits` each, texel 0 lowest, as bytes.
template <int kBits>
void IndexBytes(uint64_t indices, uint8_t* entryOfTexel) noexcept {
    for (int t = 0; t < kBlockTexels; ++t) entryOfTexel[t] = static_cast<uint8_t>(indices >> (kBits * t) & ((1u << kBits) - 1));
}

template <int kRow, size_t kField>
inline void ReadField(const uint64_t* words, uint32_t* raw) noexcept {
    constexpr Field field = kLayouts.modes[kRow].fields[kField];
    raw[field.value] |= (static_cast<uint32_t>(words[field.start >> 6] >> (field.start & 63)) & ((1u << field.count) - 1)) << field.shift;
}

template <int kRow, size_t... kField>
inline void ReadFields(const uint64_t* words, uint32_t* raw, std::index_sequence<kField...>) noexcept {
    (ReadField<kRow, kField>(words, raw), ...);
}

// Decodes the block's unquantised endpoints (region * 6 + endpoint * 3 + channel) and the
// palette entry of each texel (region * 16 + index) for the mode of kModes[kRow]; the row is a
// template argument so that every field's place and every width is a constant.
template <bool Signed, int kRow>
const Bc6hMode* DecodeEndpointsOf(const uint8_t* block, int32_t* endpoint, uint8_t* entryOfTexel) noexcept {
    constexpr Bc6hMode mode = kModes[kRow];
    const uint64_t words[2] = {LoadLe64(block), LoadLe64(block + 8)};
    uint32_t raw[12] = {};
    ReadFields<kRow>(words, raw, std::make_index_sequence<kLayouts.modes[kRow].count>{});

    // Deltas are signed whatever the format; the base endpoint only in the signed one. Deltas
    // add to the base wrapping at the endpoint width, and the sum is again signed or not.
    constexpr int epb = mode.endpointBits;
    constexpr uint32_t endpointMask = (uint32_t{1} << epb) - 1;
    for (int c = 0; c < 3; ++c) endpoint[c] = Unquantize<Signed>(Signed ? SignExtend(raw[c], epb) : static_cast<int32_t>(raw[c]), epb);
    for (int v = 3; v < 6 * mode.regions; v += 3) {
        for (int c = 0; c < 3; ++c) {
            uint32_t sum = raw[v + c];
            if (mode.transformed) sum = (raw[c] + static_cast<uint32_t>(SignExtend(sum, mode.deltaBits[c]))) & endpointMask;
            endpoint[v + c] = Unquantize<Signed>(Signed ? SignExtend(sum, epb) : static_cast<int32_t>(sum), epb);
        }
    }

    // The indices fill the block's end: 46 bits after a two-region block's partition, else 63.
    if (mode.regions == 2) {
        const int partition = static_cast<int>(words[1] >> 13 & 31);
        const int anchors[2] = {0, bptc::kTwoSubsetAnchor1[partition]};
        IndexBytes<3>(bptc::ExpandIndices(words[1] >> 18, 3, anchors, 2), entryOfTexel);
        for (int t = 0; t < kBlockTexels; ++t) entryOfTexel[t] |= kRegionBytes.entry[partition][t];
    } else {
        const int anchors[1] = {0};
        IndexBytes<4>(bptc::ExpandIndices(words[1] >> 1, 4, anchors, 1), entryOfTexel);
    }
    return &kModes[kRow];
}

using EndpointDecoder = const Bc6hMode* (*)(const uint8_t*, int32_t*, uint8_t*) noexcept;

template <bool Signed, size_t... kRow>
constexpr std::array<EndpointDecoder, kModeCount> EndpointDecoders(std::index_sequence<kRow...>) {
    return {DecodeEndpointsOf<Signed, kRow>...};
}

template <bool Signed>
constexpr std::array<EndpointDecoder, kModeCount> kEndpointDecoders = EndpointDecoders<Signed>(std::make_index_sequence<kModeCount>{});

// The same for whatever mode the block has; null for a reserved one.
template <bool Signed>
const Bc6hMode* DecodeEndpoints(const uint8_t* block, int32_t* endpoint, uint8_t* entryOfTexel) noexcept {
    const int row = kModeIndex.row[block[0] & 0x1F];
    return row < 0 ? nullptr : kEndpointDecoders<Signed>[row](block, endpoint, entryOfTexel);
}

// The palette entries of red, green, blue halves (region * 16 + index) and the entry of each
// texel. Gives the block's mode, or null for a reserved one.
const Bc6hMode* DecodePalette(const uint8_t* block, bool isSigned, uint16_t (*palette)[3],
                              uint8_t* entryOfTexel) noexcept {
    int32_t endpoint[12];
    const Bc6hMode* mode = isSigned ? DecodeEndpoints<true>(block, endpoint, entryOfTexel)
                                    : DecodeEndpoints<false>(block, endpoint, entryOfTexel);
    if (!mode) return nullptr;
    const int indexBits = IndexBits(*mode);
    const uint8_t* weights = bptc::kWeights[indexBits - 2];
    for (int r = 0; r < mode->regions; ++r) {
        const int32_t* e0 = endpoint + 6 * r;
        if (isSigned) {
            BuildPalette<true>(e0, e0 + 3, weights, 1 << indexBits, palette + 16 * r);
        } else {
            BuildPalette<false>(e0, e0 + 3, weights, 1 << indexBits, palette + 16 * r);
        }
    }
    return mode;
}

// Each non-negative half (sign bit cleared) clamped to [0, 1], times 255, rounded to nearest
// (halves up); +infinity gives 255, NaNs 0. A finite half is m * 2^(e - 25) for integers m
// and e, so the product is exact in integers.
struct HalfBytes {
    uint8_t byte[0x8000];
};

constexpr HalfBytes BuildHalfBytes() {
    HalfBytes table{};
    for (uint32_t h = 0; h < 0x8000; ++h) {
        const uint32_t exponent = h >> 10;
        if (h > 0x7C00) {
            table.byte[h] = 0;
        } else if (h >= 0x3C00) {
            table.byte[h] = 255;
        } else {
            const uint32_t mantissa = exponent ? (h & 0x3FF) | 0x400 : h;
            const uint32_t shift = 25 - (exponent ? exponent : 1);
            table.byte[h] = static_cast<uint8_t>((mantissa * 255 + (uint32_t{1} << (shift - 1))) >> shift);
        }
    }
    return table;
}

constexpr HalfBytes kHalfBytes = BuildHalfBytes();

// Negatives and -0 give 0.
uint32_t HalfToUnorm8(uint16_t h) {
    const uint32_t positive = (h >> 15) - 1u;
    return kHalfBytes.byte[h & 0x7FFF] & positive;
}

// Red, green, blue halves as the word of a shown texel. An unsigned block has no negative half.
template <bool Signed>
inline uint32_t ShownWord(const uint16_t* half) {
    if (Signed) return HalfToUnorm8(half[2]) | HalfToUnorm8(half[1]) << 8 | HalfToUnorm8(half[0]) << 16 | 0xFF000000;
    return kHalfBytes.byte[half[2]] | kHalfBytes.byte[half[1]] << 8 | uint32_t{kHalfBytes.byte[half[0]]} << 16 | 0xFF000000;
}

}  // namespace

void DecodeBc6hBlockHalf(const uint8_t* block, bool isSigned, uint16_t* rgbHalf) noexcept {
    uint16_t palette[32][3];
    uint8_t entryOfTexel[kBlockTexels];
    if (!DecodePalette(block, isSigned, palette, entryOfTexel)) {
        std::memset(rgbHalf, 0, 3 * kBlockTexels * sizeof(uint16_t));
        return;
    }
    for (int t = 0; t < kBlockTexels; ++t) std::memcpy(rgbHalf + 3 * t, palette[entryOfTexel[t]], 3 * sizeof(uint16_t));
}

bool DecodeBc6hBlockPalette(const uint8_t* block, bool isSigned, uint16_t (*palette)[3], uint8_t* entryOfTexel) noexcept {
    return DecodePalette(block, isSigned, palette, entryOfTexel) != nullptr;
}

namespace {

#if defined(__SSE2__)
// The weights of each palette entry as 16-bit pairs (64 - w, w), four entries to a register,
// for _mm_madd_epi16 against an endpoint pair.
struct WeightPairs {
    alignas(16) int16_t pair[2][32];
};

constexpr WeightPairs BuildWeightPairs() {
    WeightPairs table{};
    for (int b = 0; b < 2; ++b) {
        for (int i = 0; i < 16; ++i) {
            const int w = bptc::kWeights[b + 1][i < (8 << b) ? i : 0];
            table.pair[b][2 * i] = static_cast<int16_t>(64 - w);
            table.pair[b][2 * i + 1] = static_cast<int16_t>(w);
        }
    }
    return table;
}

constexpr WeightPairs kWeightPairs = BuildWeightPairs();

// One channel of four palette entries as shown bytes, the same as BuildPalette and then
// kHalfBytes: the half is made exactly into a float (its bits moved into place, or a subnormal
// half's mantissa times 2^-24), and v * 255 + 0.5, exact in a float for every v below 1, is
// truncated. The palette never holds an infinity or a NaN.
template <bool Signed>
inline __m128i ShownChannel(__m128i weights, int32_t e0, int32_t e1) noexcept {
    __m128i x;
    if (Signed) {
        const __m128i ends = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(e0 & 0xFFFF) | static_cast<uint32_t>(e1) << 16));
        x = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(weights, ends), _mm_set1_epi32(32)), 6);
        x = _mm_andnot_si128(_mm_srai_epi32(x, 31), x);  // negatives show as 0
    } else {
        // Unsigned endpoints biased into 16-bit signed ones; the weights add up to 64.
        const __m128i ends = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(e0 - 0x8000) & 0xFFFF) |
                                            static_cast<int32_t>(static_cast<uint32_t>(e1 - 0x8000) << 16));
        x = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(weights, ends), _mm_set1_epi32(32 + 64 * 0x8000)), 6);
    }
    const __m128i half = _mm_srli_epi32(_mm_sub_epi32(_mm_slli_epi32(x, 5), x), Signed ? 5 : 6);
    const __m128i subnormal = _mm_cmpeq_epi32(_mm_srli_epi32(half, 10), _mm_setzero_si128());
    const __m128 normal = _mm_castsi128_ps(_mm_add_epi32(_mm_slli_epi32(half, 13), _mm_set1_epi32(112 << 23)));
    const __m128 small = _mm_mul_ps(_mm_cvtepi32_ps(half), _mm_set1_ps(1.0f / 16777216.0f));
    const __m128 value = _mm_or_ps(_mm_and_ps(_mm_castsi128_ps(subnormal), small), _mm_andnot_ps(_mm_castsi128_ps(subnormal), normal));
    const __m128 scaled = _mm_min_ps(_mm_add_ps(_mm_mul_ps(value, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(scaled);
}
#endif

// The shown words of a block's palette entries (region * 16 + index), and the entry of each
// texel; a reserved mode shows black in entry 0.
template <bool Signed, bool Sse2>
void ShownPalette(const uint8_t* block, uint32_t* colour, uint8_t* entryOfTexel) noexcept {
#if defined(__SSE2__)
    if (Sse2) {
        int32_t endpoint[12];
        const Bc6hMode* mode = DecodeEndpoints<Signed>(block, endpoint, entryOfTexel);
        if (!mode) {
            colour[0] = 0xFF000000;
            std::memset(entryOfTexel, 0, kBlockTexels);
            return;
        }
        const int entries = 1 << IndexBits(*mode);
        const int16_t* pairs = kWeightPairs.pair[entries == 16];
        for (int r = 0; r < mode->regions; ++r) {
            const int32_t* e = endpoint + 6 * r;
            for (int i = 0; i < entries; i += 4) {
                const __m128i weights = _mm_load_si128(reinterpret_cast<const __m128i*>(pairs + 2 * i));
                const __m128i red = ShownChannel<Signed>(weights, e[0], e[3]);
                const __m128i green = ShownChannel<Signed>(weights, e[1], e[4]);
                const __m128i blue = ShownChannel<Signed>(weights, e[2], e[5]);
                const __m128i word = _mm_or_si128(_mm_or_si128(blue, _mm_slli_epi32(green, 8)),
                                                  _mm_or_si128(_mm_slli_epi32(red, 16), _mm_set1_epi32(static_cast<int32_t>(0xFF000000))));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(colour + 16 * r + i), word);
            }
        }
        return;
    }
#endif
    uint16_t palette[32][3];
    const Bc6hMode* mode = DecodePalette(block, Signed, palette, entryOfTexel);
    if (!mode) {
        colour[0] = 0xFF000000;
        std::memset(entryOfTexel, 0, kBlockTexels);
        return;
    }
    for (int r = 0; r < mode->regions; ++r) {
        for (int e = 16 * r; e < 16 * r + (1 << IndexBits(*mode)); ++e) colour[e] = ShownWord<Signed>(palette[e]);
    }
}

template <bool Signed, bool Sse2>
void DecodeRun(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i, blocks += 16, out += 16) {
        uint32_t colour[32];
        uint8_t entryOfTexel[kBlockTexels];
        ShownPalette<Signed, Sse2>(blocks, colour, entryOfTexel);
        const uint8_t* entry = entryOfTexel;
        for (uint8_t* row = out; row != out + 4 * stride; row += stride, entry += 4) {
            StoreLe32(row, colour[entry[0]]);
            StoreLe32(row + 4, colour[entry[1]]);
            StoreLe32(row + 8, colour[entry[2]]);
            StoreLe32(row + 12, colour[entry[3]]);
        }
    }
}

}  // namespace

template <bool Signed>
void portable::Bc6h(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    DecodeRun<Signed, false>(blocks, count, out, stride);
}
template void portable::Bc6h<false>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
template void portable::Bc6h<true>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;

#if defined(__SSE2__)
template <bool Signed>
void sse2::Bc6h(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    DecodeRun<Signed, true>(blocks, count, out, stride);
}
template void sse2::Bc6h<false>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
template void sse2::Bc6h<true>(const uint8_t*, size_t, uint8_t*, ptrdiff_t) noexcept;
#endif

}  // namespace sorvane::dds
