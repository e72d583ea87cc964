#pragma once
// Row decoders of the HDR formats at full precision (the `hdr` decoders of DdsFormat): each
// pixel red, green, blue, alpha as floats, as DecodeHdrRows promises.

#include "DdsFormat.h"

namespace sorvane::dds {

// Float channels, 16 or 32 bits each, in red, green, blue, alpha order.
template <int Bits, int Channels>
void DecodeHdrFloats(const RowJob& job);
void DecodeHdrR11G11B10(const RowJob& job);
void DecodeHdrRgb9E5(const RowJob& job);
// A row of BC6H blocks.
template <bool Signed>
void DecodeHdrBc6h(const RowJob& job);

// A half float's value; NaN and infinities kept.
float HalfValue(uint16_t half);

}  // namespace sorvane::dds
