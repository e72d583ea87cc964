#pragma once
// What a DDS file is, worked out once from its head by our reader's header parser: whether our
// reader reads it, and which route its header leads to. The probe, both information requests
// and picture building all ask this one step, and plan from it.

#include <cstddef>
#include <cstdint>

#include "D3dxImage.h"
#include "DdsFormat.h"
#include "DdsReader.h"
#include "PluginResult.h"

namespace sorvane {

enum class Route {
    D3dx,       // a legacy header of a format D3DX 9 reads: D3DX while it is bound, our reader behind it
    OwnReader,  // the DX10 header, a FourCC D3DX 9 does not know, or a header D3DX must not see
};

struct DdsDescription {
    dds::DdsImage image;  // the headers as read, the format, the first picture's size and offset
    // 0 when our reader reads the file, 2 when it does not, 6 when the file cannot be read.
    PluginResult ownReader = kNotSupported;
    Route route = Route::OwnReader;  // the route of the header; the plan decides the request's
    uint64_t fileSize = 0;  // the whole file's bytes, where known (0 for a probe's head)
    D3dxSource source;      // the bytes described, or the file's name: what D3DX is given
};

// Bytes of a file's head that describe it: magic, headers and palette, not the picture.
constexpr size_t kDdsHeadBytes =
    dds::kMagicBytes + sizeof(dds::DdsHeader) + sizeof(dds::DdsExtensionHeader) + dds::kPaletteBytes;

// Describes the file whose first `size` bytes these are. `fileSize` is the whole file's size:
// equal to `size` for a whole image (the picture's bytes are then found), larger for a head
// read from a file, and 0 for a head of unknown length (a probe's), whose picture's bytes are
// not asked for. Returns description.ownReader. The host's bytes are read guarded: a fault
// while reading them counts as a file our reader does not read.
PluginResult DescribeDds(const void* bytes, size_t size, uint64_t fileSize, DdsDescription& description) noexcept;

// The same for a file by name: opened once, its head and size read, never the whole file.
// 6 when it cannot be opened or read; D3DX, which opens files itself, is then still to judge.
PluginResult DescribeDdsFile(const wchar_t* path, DdsDescription& description) noexcept;

}  // namespace sorvane
