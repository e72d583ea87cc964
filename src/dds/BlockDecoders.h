#pragma once
// Decoders of one 4x4 block of the block-compressed formats. Each is a pure function of the
// block's bytes, so it can be tested block by block and fuzzed without Windows.
//
// Texels come out row by row (texel (x, y) at index y * 4 + x), each as four bytes: blue,
// green, red, alpha, the DIB's order. Formats without alpha give alpha 255.

#include <cstdint>

namespace sorvane::dds {

constexpr int kBlockTexels = 16;
constexpr int kBlockOutputBytes = kBlockTexels * 4;

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
