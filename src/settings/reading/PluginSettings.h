#pragma once
// What decoding needs of the settings: how to dispose of alpha, and over which colour. The
// settings are read from the registry each time; nothing is cached.

#include <cstdint>

namespace sorvane {

// What happens to the alpha channel when a picture with alpha becomes a 24-bit DIB. The
// numbers are the ones stored in "Alpha".
enum class AlphaDisposal : uint32_t {
    Remove = 0,     // the alpha byte is dropped, the colour channels stay as they are
    Composite = 1,  // each pixel is blended over the composite colour
};

// What decoding needs of the settings.
struct PluginSettings {
    AlphaDisposal alphaDisposal;
    // In the DIB's pixel order. Meaningful only for AlphaDisposal::Composite.
    struct {
        uint8_t blue, green, red;
    } compositeColor;
};

// The alpha disposal and composite colour for the next picture; defaults (Composite over
// white) when nothing usable is stored. A stored "Alpha" other than 0 and 1 means Remove here.
PluginSettings ReadPluginSettings() noexcept;

}  // namespace sorvane
