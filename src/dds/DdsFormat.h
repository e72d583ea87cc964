#pragma once
// The formats our DDS reader decodes: one table, read by the header parser and DecodeRows.

#include <cstddef>
#include <cstdint>

#include "DdsReader.h"

namespace sorvane::dds {

// One row of units: a row of 4 x 4 blocks (writing `rows` pixel rows, at most 4) or a row of
// pixels (rows is 1), as width pixels of blue, green, red, alpha per output row.
struct RowJob {
    const DdsImage& image;
    const uint8_t* source;
    uint32_t rows;
    uint8_t* out;
    ptrdiff_t stride;
};
using RowDecoder = void (*)(const RowJob& job);

struct DdsFormat {
    const char* name;
    uint32_t dxgi;        // DXGI_FORMAT number; 0 for a format legacy headers alone reach
    uint8_t blockBytes;   // bytes of a 4 x 4 block; 0 for a pixel format
    uint8_t pixelBits;    // bits of a pixel; 0 for a block format
    uint8_t channels;
    bool alpha;
    RowDecoder decode;
};

// The row of a DXGI format number, or null when the reader does not decode it.
const DdsFormat* FindDxgiFormat(uint32_t dxgi) noexcept;

// Rows reached from legacy headers.
enum class LegacyFormat { Bc1, Bc2, Bc3, Bc4, Bc4Signed, Bc5, Bc5Signed, Rgba16, Rgba16Float, R16Float,
                          R32Float, Rgba32Float, Palette8, Masks };
const DdsFormat& LegacyRow(LegacyFormat format) noexcept;

// The row decoders of the pixel formats.
void DecodeBgra8(const RowJob& job);
void DecodeBgrx8(const RowJob& job);
void DecodeRgba8(const RowJob& job);
void DecodeRgb10A2(const RowJob& job);
void DecodeB5G6R5(const RowJob& job);
void DecodeB5G5R5A1(const RowJob& job);
void DecodeB4G4R4A4(const RowJob& job);
void DecodeRgba16(const RowJob& job);
void DecodeRgba16Float(const RowJob& job);
void DecodeRgba32Float(const RowJob& job);
void DecodeRg16(const RowJob& job);
void DecodeR16Float(const RowJob& job);
void DecodeR32Float(const RowJob& job);
void DecodeR8(const RowJob& job);
void DecodeRg8(const RowJob& job);
void DecodeR16(const RowJob& job);
void DecodeA8(const RowJob& job);
void DecodeR1(const RowJob& job);
void DecodePalette8(const RowJob& job);
void DecodeMasks(const RowJob& job);

}  // namespace sorvane::dds
