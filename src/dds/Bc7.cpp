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

// The fields of one BC7 mode, in the order the block stores them after the mode bits.
struct Bc7Mode {
    int subsets;
    int partitionBits;
    int rotationBits;
    int selectorBits;   // index selection: which index set drives colour in modes 4 and 5
    int colourBits;     // per channel of each endpoint
    int alphaBits;      // 0: alpha is 255
    int endpointPBits;  // 1: one p-bit per endpoint
    int sharedPBits;    // 1: one p-bit per subset, shared by its two endpoints
    int indexBits;
    int index2Bits;     // the second index set of modes 4 and 5
};

constexpr Bc7Mode kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0},
    {2, 6, 0, 0, 6, 0, 0, 1, 3, 0},
    {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0},
    {1, 0, 2, 1, 5, 6, 0, 0, 2, 3},
    {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0},
    {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

constexpr bool ModesFillTheBlock() {
    for (int mode = 0; mode < 8; ++mode) {
        const Bc7Mode& m = kModes[mode];
        int bits = mode + 1 + m.partitionBits + m.rotationBits + m.selectorBits;
        bits += 2 * m.subsets * (3 * m.colourBits + m.alphaBits + m.endpointPBits);
        bits += m.subsets * m.sharedPBits;
        bits += 16 * m.indexBits - m.subsets;
        if (m.index2Bits) bits += 16 * m.index2Bits - 1;
        if (bits != 128) return false;
    }
    return true;
}
static_assert(ModesFillTheBlock());

// An endpoint holds its channels in 16-bit lanes, blue lowest, then green, red and alpha: the
// output's byte order, with room for the interpolation's products.
constexpr int kAlphaLane = 3;

// The colour at `weight` / 64 of the way from e0 to e1, all lanes at once: no lane's sum
// exceeds 64 * 255 + 32, so none carries into the next, and the bits that the shift brings
// down from the lane above are masked away.
inline uint32_t Interpolate(uint64_t e0, uint64_t e1, uint32_t weight) noexcept {
    // Two lanes at a time in 32 bits, which a 32-bit build does in one register.
    const uint32_t w0 = 64 - weight;
    const uint32_t low = (w0 * static_cast<uint32_t>(e0) + weight * static_cast<uint32_t>(e1) + 0x00200020) >> 6 & 0x00FF00FF;
    const uint32_t high =
        (w0 * static_cast<uint32_t>(e0 >> 32) + weight * static_cast<uint32_t>(e1 >> 32) + 0x00200020) >> 6 & 0x00FF00FF;
    return ((low | low >> 8) & 0xFFFF) | ((high | high >> 8) & 0xFFFF) << 16;
}

template <bool Sse2>
void BuildPalette(uint64_t e0, uint64_t e1, int indexBits, uint32_t* palette) noexcept {
    const uint8_t* weights = bptc::kWeights[indexBits - 2];
#if defined(__SSE2__)
    if (Sse2) {
        // Two entries at a time, their four lanes each in one register: the same sums.
        const __m128i a = _mm_set_epi64x(static_cast<int64_t>(e0), static_cast<int64_t>(e0));
        const __m128i b = _mm_set_epi64x(static_cast<int64_t>(e1), static_cast<int64_t>(e1));
        for (int i = 0; i < (1 << indexBits); i += 2) {
            const __m128i w = _mm_unpacklo_epi64(_mm_set1_epi16(weights[i]), _mm_set1_epi16(weights[i + 1]));
            const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(_mm_set1_epi16(64), w)),
                                                            _mm_mullo_epi16(b, w)),
                                              _mm_set1_epi16(32));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(palette + i), _mm_packus_epi16(_mm_srli_epi16(sum, 6), sum));
        }
        return;
    }
#endif
    for (int i = 0; i < (1 << indexBits); ++i) palette[i] = Interpolate(e0, e1, weights[i]);
}

uint64_t SwapLanes(uint64_t v, int a, int b) noexcept {
    const uint64_t diff = ((v >> (16 * a)) ^ (v >> (16 * b))) & 0xFFFF;
    return v ^ (diff << (16 * a)) ^ (diff << (16 * b));
}

template <bool Sse2>
void DecodeBlock(const uint8_t* block, uint8_t* out, ptrdiff_t stride) noexcept {
    int mode = 0;
    while (mode < 8 && !(block[0] >> mode & 1)) ++mode;
    if (mode == 8) {
        for (int y = 0; y < 4; ++y) std::memset(out + y * stride, 0, 16);
        return;
    }
    const Bc7Mode& m = kModes[mode];
    BitReader bits(block);
    bits.Skip(mode + 1);
    const int partition = static_cast<int>(bits.Read(m.partitionBits));
    const int rotation = static_cast<int>(bits.Read(m.rotationBits));
    const bool colourFromIndex2 = bits.Read(m.selectorBits) != 0;

    // Stored channel by channel, each channel endpoint by endpoint, then the p-bits.
    const int endpointCount = 2 * m.subsets;
    uint64_t stored[4];
    for (int channel = 0; channel < 3; ++channel) stored[channel] = bits.Read(endpointCount * m.colourBits);
    stored[3] = bits.Read(endpointCount * m.alphaBits);
    const int hasP = m.endpointPBits | m.sharedPBits;
    const uint64_t pBits = bits.Read(m.endpointPBits ? endpointCount : m.sharedPBits ? m.subsets : 0);

    // The p-bit goes below the stored bits, and the top bits repeat into the rest of the byte;
    // no mode has fewer bits than it leaves empty, so one repetition fills the byte. Red, green
    // and blue share their width, so they are widened together in their lanes.
    const uint64_t colourValueMask = (uint64_t{1} << m.colourBits) - 1;
    const uint64_t alphaValueMask = (uint64_t{1} << m.alphaBits) - 1;
    const int colourWidth = m.colourBits + hasP;
    const int alphaWidth = m.alphaBits + hasP;
    uint64_t endpoint[6];
    for (int e = 0; e < endpointCount; ++e) {
        const uint64_t p = pBits >> (m.sharedPBits ? e >> 1 : e) & 1;
        const int shift = e * m.colourBits;
        uint64_t lanes = (stored[0] >> shift & colourValueMask) << 32 |
                         (stored[1] >> shift & colourValueMask) << 16 | (stored[2] >> shift & colourValueMask);
        lanes = (lanes << hasP | p * 0x0000000100010001) << (8 - colourWidth);
        lanes |= lanes >> colourWidth & 0x000000FF00FF00FF;
        uint64_t alpha = 255;
        if (m.alphaBits) {
            alpha = ((stored[3] >> (e * m.alphaBits) & alphaValueMask) << hasP | p) << (8 - alphaWidth);
            alpha |= alpha >> alphaWidth;
        }
        endpoint[e] = lanes | alpha << (16 * kAlphaLane);
    }

    // The rest of the block is the index sets, the first (with its anchors) at the bottom.
    int anchors[3] = {0, 0, 0};
    uint32_t subsets = 0;
    if (m.subsets == 2) {
        subsets = bptc::kTwoSubsets[partition];
        anchors[1] = bptc::kTwoSubsetAnchor1[partition];
    } else if (m.subsets == 3) {
        subsets = bptc::kThreeSubsets[partition];
        const int a1 = bptc::kThreeSubsetAnchor1[partition];
        const int a2 = bptc::kThreeSubsetAnchor2[partition];
        anchors[1] = a1 < a2 ? a1 : a2;
        anchors[2] = a1 < a2 ? a2 : a1;
    }
    uint64_t indices = bptc::ExpandIndices(bits.Read(16 * m.indexBits - m.subsets), m.indexBits, anchors, m.subsets);

    if (m.index2Bits == 0) {
        uint32_t palette[3 * 16];
        for (int s = 0; s < m.subsets; ++s) {
            BuildPalette<Sse2>(endpoint[2 * s], endpoint[2 * s + 1], m.indexBits, palette + 16 * s);
        }
        const uint64_t indexMask = (uint64_t{1} << m.indexBits) - 1;
        for (int y = 0; y < 4; ++y, out += stride, subsets >>= 8) {
            for (int x = 0; x < 4; ++x, indices >>= m.indexBits) {
                const uint32_t entry = (subsets >> (2 * x) & 3) << 4 | static_cast<uint32_t>(indices & indexMask);
                StoreLe32(out + 4 * x, palette[entry]);
            }
        }
        return;
    }

    // Modes 4 and 5: colour and alpha each follow their own index set. Rotation swaps alpha
    // with a colour channel after interpolation; swapping the endpoints' lanes first gives the
    // same texels, and leaves the lane that follows the alpha indices in `alphaLane`.
    uint64_t indices2 = bptc::ExpandIndices(bits.Read(16 * m.index2Bits - 1), m.index2Bits, anchors, 1);
    const int alphaLane = rotation == 0 ? kAlphaLane : kAlphaLane - rotation;
    if (alphaLane != kAlphaLane) {
        endpoint[0] = SwapLanes(endpoint[0], alphaLane, kAlphaLane);
        endpoint[1] = SwapLanes(endpoint[1], alphaLane, kAlphaLane);
    }
    int colourBits = m.indexBits;
    int alphaBits = m.index2Bits;
    if (colourFromIndex2) {
        std::swap(indices, indices2);
        std::swap(colourBits, alphaBits);
    }
    uint32_t colourPalette[8];
    uint32_t alphaPalette[8];
    BuildPalette<Sse2>(endpoint[0], endpoint[1], colourBits, colourPalette);
    BuildPalette<Sse2>(endpoint[0], endpoint[1], alphaBits, alphaPalette);
    const uint32_t alphaByte = uint32_t{0xFF} << (8 * alphaLane);
    const uint64_t colourIndexMask = (uint64_t{1} << colourBits) - 1;
    const uint64_t alphaIndexMask = (uint64_t{1} << alphaBits) - 1;
    for (int y = 0; y < 4; ++y, out += stride) {
        for (int x = 0; x < 4; ++x, indices >>= colourBits, indices2 >>= alphaBits) {
            StoreLe32(out + 4 * x, (colourPalette[indices & colourIndexMask] & ~alphaByte) |
                                       (alphaPalette[indices2 & alphaIndexMask] & alphaByte));
        }
    }
}

}  // namespace

void portable::Bc7(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i) DecodeBlock<false>(blocks + 16 * i, out + 16 * i, stride);
}

#if defined(__SSE2__)
void sse2::Bc7(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept {
    for (size_t i = 0; i < count; ++i) DecodeBlock<true>(blocks + 16 * i, out + 16 * i, stride);
}
#endif

}  // namespace sorvane::dds
