#pragma once
// Decoders of one 4x4 block of the block-compressed formats. Each is a pure function of the
// block's bytes, so it can be tested block by block and fuzzed without Windows.
//
// Texels come out row by row (texel (x, y) at index y * 4 + x), each as four bytes: blue,
// green, red, alpha, the DIB's order. Formats without alpha give alpha 255.
//
// The row decoders use runs: a run decodes `count` blocks that lie side by side straight into
// the picture's rows, block i to bytes 16i to 16i + 15 of four rows `stride` bytes apart, with
// whole-word stores. The functions of one block below are runs of one block into 16-byte rows.

#include <cstddef>
#include <cstdint>

namespace sorvane::dds {

constexpr int kBlockTexels = 16;
constexpr int kBlockOutputBytes = kBlockTexels * 4;

using BlockRunFunction = void(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
using BlockRun = BlockRunFunction*;

// The ways a run can be worked out. Portable is plain C++; Sse2 is built for x86 and x64, whose
// every processor that runs a supported Windows has SSE2.
enum class BlockPath : uint8_t { Portable, Sse2 };

// A block format's runs: one per path that has its own (null where a path has none, and for
// Sse2 where the build is not for x86), and `best`, which the row decoders use.
struct BlockRuns {
    const char* name;
    uint8_t blockBytes;
    BlockRun best;
    BlockRun path[2];  // by BlockPath
};
// BC1, BC2, BC3, BC4, BC4 signed, BC5, BC5 signed, BC6H, BC6H signed, BC7, in this order.
enum class BlockFormat : uint8_t { Bc1, Bc2, Bc3, Bc4, Bc4Signed, Bc5, Bc5Signed, Bc6h, Bc6hSigned, Bc7 };
constexpr int kBlockFormats = 10;
const BlockRuns& RunsOf(BlockFormat format) noexcept;

// The runs of each path, for the table of RunsOf.
namespace portable {
BlockRunFunction Bc1, Bc2, Bc3, Bc7;
template <bool Signed> void Bc4(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
template <bool Signed> void Bc5(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
template <bool Signed> void Bc6h(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
}  // namespace portable
namespace sse2 {
BlockRunFunction Bc1, Bc2, Bc3, Bc7;
template <bool Signed> void Bc4(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
template <bool Signed> void Bc5(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
template <bool Signed> void Bc6h(const uint8_t* blocks, size_t count, uint8_t* out, ptrdiff_t stride) noexcept;
}  // namespace sse2

// BC1 (8 bytes): with colour 0 <= colour 1 the block has three colours and index 3 is
// transparent black.
void DecodeBc1Block(const uint8_t* block, uint8_t* bgra) noexcept;
// BC2 (16 bytes): explicit 4-bit alpha, then a BC1 colour block always read with four colours.
void DecodeBc2Block(const uint8_t* block, uint8_t* bgra) noexcept;
// BC3 (16 bytes): interpolated alpha, then a BC1 colour block always read with four colours.
void DecodeBc3Block(const uint8_t* block, uint8_t* bgra) noexcept;
// BC4 (8 bytes): one channel, shown as grey. Signed values map as (x + 1) / 2.
void DecodeBc4Block(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept;
// BC5 (16 bytes): red then green; blue is 0.
void DecodeBc5Block(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept;
// BC5 as a normal's x and y: 16 texels of two doubles in [-1, 1], the interpolated levels
// unrounded (2v - 1 of v = level / 255, or level / 127 signed).
void DecodeBc5BlockVectors(const uint8_t* block, bool isSigned, double* xy) noexcept;

// BC6H (16 bytes): 16 texels of red, green, blue as half floats (IEEE binary16 bit patterns),
// exactly as the format defines them. A reserved mode gives 0 in every channel.
void DecodeBc6hBlockHalf(const uint8_t* block, bool isSigned, uint16_t* rgbHalf) noexcept;
// BC6H as a palette: entries of red, green, blue halves (region x 16 + index, the ones a texel
// names set) and each texel's entry. False for a reserved mode, whose texels are all 0.
bool DecodeBc6hBlockPalette(const uint8_t* block, bool isSigned, uint16_t (*palette)[3], uint8_t* entryOfTexel) noexcept;
// BC6H shown: each half clamped to [0, 1], multiplied by 255 and rounded to nearest; alpha 255.
void DecodeBc6hBlock(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept;
// BC7 (16 bytes): a reserved mode gives (0, 0, 0, 0).
void DecodeBc7Block(const uint8_t* block, uint8_t* bgra) noexcept;

}  // namespace sorvane::dds
