#pragma once
// What decoding needs of the settings: how to dispose of alpha, and over which colour, which
// view of the file to give, which reader goes first and how HDR pictures are shown. The
// settings are read from the registry each time; nothing is cached.

#include <cstdint>

namespace sorvane {

// What happens to the alpha channel when a picture with alpha becomes a 24-bit DIB. The
// numbers are the ones stored in "Alpha".
enum class AlphaDisposal : uint32_t {
    Remove = 0,     // the alpha byte is dropped, the colour channels stay as they are
    Composite = 1,  // each pixel is blended over the composite colour
};

// What Composite blends over; the numbers are the ones stored in "Backdrop".
enum class Backdrop : uint32_t {
    Color = 0,         // the composite colour
    Checkerboard = 1,  // 8 x 8 squares, light (255) at the picture's top-left pixel, dark (204)
};

// Which channels the picture shows; the numbers are the ones stored in "Channel".
enum class ChannelView : uint32_t {
    Color = 0,  // the colour, alpha disposed of as set
    Alpha = 1,  // the alpha channel as grey, 255 where the format has none; nothing disposed of
};

// Which images of the file the picture holds; the numbers are the ones stored in "Layout".
enum class PictureLayout : uint32_t {
    FirstImage = 0,  // mip 0 of the first face, element or slice
    EveryImage = 1,  // every face, element or slice at mip 0
    MipChain = 2,    // every mip level of the first image, left to right
};

// What decoding needs of the settings. A view value that is missing, malformed or a number
// this build does not know reads as 0, which gives the picture as it was before views
// existed.
struct PluginSettings {
    AlphaDisposal alphaDisposal = AlphaDisposal::Composite;
    // In the DIB's pixel order. Meaningful only for AlphaDisposal::Composite.
    struct {
        uint8_t blue, green, red;
    } compositeColor = {0xFF, 0xFF, 0xFF};
    Backdrop backdrop = Backdrop::Color;  // has no effect with AlphaDisposal::Remove
    ChannelView channel = ChannelView::Color;
    bool normalZ = false;  // "NormalZ" 1: two-channel formats get a reconstructed blue
    PictureLayout layout = PictureLayout::FirstImage;
    uint32_t dibBits = 24;  // 32 ("Bits" 32): straight alpha and no disposal; else 24
    // "Reader" 1: our reader for every file it reads, D3DX only for what it refuses. Else
    // D3DX goes first for the legacy files it reads.
    bool reader = false;
    bool toneMap = false;  // "ToneMap" 1: HDR formats are tone-mapped to sRGB
    // "Exposure": tenths of a stop, kMinExposure..kMaxExposure, applied before tone mapping
    // only. A stored number out of that range reads as 0.
    int exposure = 0;
    static constexpr int kMinExposure = -100;
    static constexpr int kMaxExposure = 100;

    // True when no view value asks for anything: every picture is as it always was. The reader
    // changes no picture, and tone mapping neither a picture's information nor any picture
    // but an HDR format's 24-bit one, so neither counts here.
    bool NoView() const noexcept {
        return backdrop == Backdrop::Color && channel == ChannelView::Color && !normalZ &&
               layout == PictureLayout::FirstImage && dibBits == 24;
    }
};

// The settings for the next picture, read with one opening of the settings key; defaults
// (Composite over white, no view) when nothing usable is stored. A stored "Alpha" other than
// 0 and 1 means Remove here.
PluginSettings ReadPluginSettings() noexcept;

}  // namespace sorvane
