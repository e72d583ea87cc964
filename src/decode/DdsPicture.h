#pragma once
// Pictures our own DDS reader decodes: the one pass from the file's bytes to the DIB rows.

#include <cstddef>

#include "DdsReader.h"
#include "PixelConversion.h"
#include "PixelImage.h"
#include "PluginResult.h"

namespace sorvane {

// Decodes the picture into a new DIB of view.dibBits in `dib`, band by band: each band's rows
// are decoded into a small scratch block and written at once as DIB rows (bottom-up), each row
// converted for the view (with only view.alpha set, the alpha disposed of by it for pictures
// with alpha and dropped for the others). 4 when memory cannot be had, 8 when decoding faulted.
PluginResult DecodeDdsIntoDib(const dds::DdsImage& image, const PixelView& view, PixelImage& dib) noexcept;

// The picture decoded for the view into a DIB of view.dibBits already made, its top-left pixel at
// column `left`, row `top` (counted from the DIB's top row); only its own pixels are written,
// and the row padding where it reaches the right edge. 8 when it does not fit.
PluginResult DrawDdsImage(const dds::DdsImage& image, const PixelView& view, const PixelImage& dib, uint32_t left,
                          uint32_t top) noexcept;

// The largest luminance of the picture's HDR colours, as dds::ToneMapper measures a band, over
// every band, spread over the row loop's threads. 8 when reading faulted.
PluginResult MeasureDdsImage(const dds::DdsImage& image, double& largest) noexcept;

// The rows of a legacy X1R5G5B5 picture, which a 16-bit DIB stores alike, copied unchanged into
// a new 16-bit DIB in `dib`, bottom-up. 8 for a picture of any other layout.
PluginResult CopyDdsRowsIntoDib(const dds::DdsImage& image, PixelImage& dib) noexcept;

// The blue of a two-channel normal map: 255 x (z + 1) / 2 rounded half up, with
// z = sqrt(max(0, 1 - x^2 - y^2)). x and y are the two channels at full precision, in double:
// 2v - 1 for a UNORM value v in [0, 1], the value itself for SNORM. (Near z = 0 a float x or y
// can already move the result by one.)
uint8_t NormalZBlue(double x, double y) noexcept;

}  // namespace sorvane
