// Writes the fuzz target's seeds into a folder, and its dictionary, both from the reader's
// format tables: a small file of every decoder row under the DX10 header, of every legacy
// pixel format row, of headers as real tools write them, and of the shapes and alpha modes a
// header can describe. Blocks of BC1-BC7 take every mode (and both endpoint orders) of their
// format, so that fuzzing starts at every decoder's branches. The dictionary holds every
// number the reader branches on: FourCCs, DXGI and D3DFORMAT numbers, flags and masks.
//   cmake --build build/fuzz --target dds_make_seeds &&
//   build/fuzz/dds_make_seeds fuzz/seeds fuzz/dds.dict

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <utility>

#include "DdsFormat.h"
#include "DdsWriter.h"

namespace {

using sorvane::test::Bytes;
namespace dds = sorvane::dds;
namespace test = sorvane::test;

// The same noise on every run, so that rewriting the seeds changes nothing.
uint32_t noiseState = 12345;
uint8_t Noise() {
    noiseState = noiseState * 1664525u + 1013904223u;
    return static_cast<uint8_t>(noiseState >> 24);
}
Bytes NoiseBytes(size_t count) {
    Bytes out(count);
    for (uint8_t& b : out) b = Noise();
    return out;
}

// Endpoint bytes at `at` in decreasing order for even blocks and increasing for odd ones: the
// two interpolation modes of BC1 colours and of BC3-BC5 channels.
void OrderEndpoints(uint8_t* block, int at, int width, uint32_t index) {
    uint8_t* a = block + at;
    uint8_t* b = block + at + width;
    if ((std::memcmp(a, b, width) > 0) != (index % 2 == 0)) {
        for (int i = 0; i < width; ++i) std::swap(a[i], b[i]);
    }
}

// The mode codes of BC6H, then two reserved ones.
constexpr uint8_t kBc6hModes[] = {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 31};

Bytes Block(const dds::DdsFormat& format, uint32_t index) {
    Bytes block = NoiseBytes(format.blockBytes);
    const std::string name = format.name;
    if (name.rfind("BC7", 0) == 0) {
        const uint32_t mode = index % 9;  // 8: no mode bit, reserved
        block[0] = mode == 8 ? 0 : static_cast<uint8_t>((block[0] << (mode + 1)) | (1u << mode));
    } else if (name.rfind("BC6H", 0) == 0) {
        const uint8_t code = kBc6hModes[index % sizeof kBc6hModes];
        block[0] = static_cast<uint8_t>(code < 2 ? (block[0] & ~3u) | code : (block[0] & ~0x1Fu) | code);
    } else if (name.rfind("BC1", 0) == 0) {
        OrderEndpoints(block.data(), 0, 2, index);
    } else if (name.rfind("BC2", 0) == 0) {
        OrderEndpoints(block.data(), 8, 2, index);
    } else if (name.rfind("BC3", 0) == 0) {
        OrderEndpoints(block.data(), 0, 1, index);
        OrderEndpoints(block.data(), 8, 2, index + 1);
    } else {  // BC4 and BC5
        OrderEndpoints(block.data(), 0, 1, index);
        if (format.blockBytes == 16) OrderEndpoints(block.data(), 8, 1, index + 1);
    }
    return block;
}

// Block formats are 11 x 10 (9 blocks: BC7's 8 modes and a reserved one) or 15 x 14 for
// BC6H's 16 codes, both with partial blocks at the edges; pixel formats 7 x 3, R1 13 x 3.
struct Size {
    uint32_t width, height;
};
// Shared chroma needs even sizes: 8 x 3 for 4:2:2 pairs, 8 x 4 for 4:2:0 planes.
Size SizeOf(const dds::DdsFormat& format) {
    if (format.layout == dds::Layout::EvenPairs) return {8, 3};
    if (format.layout == dds::Layout::TwoPlanes) return {8, 4};
    if (format.blockBytes == 0) return {format.pixelBits == 1 ? 13u : 7u, 3};
    return std::string(format.name).rfind("BC6H", 0) == 0 ? Size{15, 14} : Size{11, 10};
}

Bytes Picture(const dds::DdsFormat& format, Size size, uint32_t pixelBits = 0) {
    if (format.blockBytes == 0) {
        const uint32_t bits = pixelBits != 0 ? pixelBits : format.pixelBits;
        switch (format.layout) {
        case dds::Layout::Pixels: return NoiseBytes((size_t{size.width} * bits + 7) / 8 * size.height);
        case dds::Layout::Pairs:
        case dds::Layout::EvenPairs: return NoiseBytes((size_t{size.width} + 1) / 2 * bits / 4 * size.height);
        case dds::Layout::TwoPlanes: return NoiseBytes(size_t{size.width} * bits / 8 * (size.height + size.height / 2));
        }
    }
    Bytes out;
    const uint32_t blocks = (size.width + 3) / 4 * ((size.height + 3) / 4);
    for (uint32_t i = 0; i < blocks; ++i) {
        const Bytes block = Block(format, i);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

void Set32(Bytes& file, size_t offset, uint32_t value) { std::memcpy(file.data() + offset, &value, 4); }


constexpr uint32_t FourCc(const char* s) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// Offsets in the file (magic, then the header).
constexpr size_t kFlags = 8, kMipCount = 28, kPixelFlags = 80, kCaps = 108;

std::string folder;
int written = 0;

void Save(std::string name, const Bytes& file) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::ofstream out(folder + "/" + name + ".dds", std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s.dds\n", folder.c_str(), name.c_str());
        std::exit(1);
    }
    ++written;
}

test::Dx10Image Dx10(uint32_t dxgi) {
    const dds::DdsFormat& format = *dds::FindDxgiFormat(dxgi);
    const Size size = SizeOf(format);
    test::Dx10Image image;
    image.dxgi = dxgi;
    image.width = size.width;
    image.height = size.height;
    image.data = Picture(format, size);
    return image;
}

// A legacy file of a row of the legacy table: its FourCC, or its layout flag (with the alpha
// flag where it has an alpha mask), bits and masks; a palette for the palette layouts.
Bytes Legacy(const dds::LegacyFormat& row) {
    const dds::DdsFormat& format = *row.format;
    const Size size = SizeOf(format);
    test::LegacyPixelFormat pf;
    if (row.flag == dds::kPfFourCc) {
        pf = {dds::kPfFourCc, row.fourCc, 0};
    } else {
        pf = {row.flag | (row.alpha != 0 ? dds::kPfAlphaPixels : 0), 0, row.bits, row.red, row.green, row.blue, row.alpha};
    }
    const Bytes palette = row.flag == dds::kPfPaletteIndexed8 ? NoiseBytes(1024) : Bytes{};
    return test::WriteLegacyDds(pf, size.width, size.height, Picture(format, size, row.bits), palette);
}

// Bit-mask layouts no row names, which the generic mask decoder reads.
struct MaskLayout {
    const char* name;
    uint32_t flags, bits, red, green, blue, alpha;
};
constexpr MaskLayout kGenericMasks[] = {
    {"r4g4b4-high", dds::kPfRgb, 16, 0xF000, 0xF00, 0xF0, 0},
    {"a16-alpha-only", dds::kPfAlphaOnly, 16, 0, 0, 0, 0xFFFF},
    {"l4-high-a4", dds::kPfLuminance | dds::kPfAlphaPixels, 8, 0xF0, 0, 0, 0xF},
    {"r10g11b11", dds::kPfRgb, 32, 0x3FF, 0x1FFC00, 0xFFE00000, 0},
};

// A dictionary entry: a 4-byte little-endian field.
void Entry(std::ofstream& dict, const std::string& name, uint32_t value) {
    char text[40];
    std::snprintf(text, sizeof text, "=\"\\x%02X\\x%02X\\x%02X\\x%02X\"\n", value & 0xFF, (value >> 8) & 0xFF,
                  (value >> 16) & 0xFF, value >> 24);
    dict << name << text;
}

void WriteDictionary(const std::string& path) {
    std::ofstream dict(path);
    dict << "# libFuzzer dictionary of the DDS format, written by fuzz/MakeSeeds.cpp from the reader's\n"
            "# format tables: every number the reader branches on, as a 4-byte little-endian field.\n";
    dict << "magic=\"DDS \"\ndx10=\"DX10\"\n";
    std::set<uint32_t> numbers;
    for (const dds::LegacyFormat& row : dds::LegacyFormats()) {
        if (row.flag == dds::kPfFourCc) {
            if (numbers.insert(row.fourCc).second) Entry(dict, std::string("fourcc_") + row.name, row.fourCc);
        } else {
            for (const uint32_t mask : {row.red, row.green, row.blue, row.alpha}) {
                if (mask != 0 && numbers.insert(mask).second) {
                    char name[24];
                    std::snprintf(name, sizeof name, "mask_%X", mask);
                    Entry(dict, name, mask);
                }
            }
        }
    }
    for (const dds::DdsFormat& row : dds::DecoderFormats()) {
        if (row.dxgi != 0) Entry(dict, "dxgi_" + std::to_string(row.dxgi), row.dxgi);
    }
    // Numbers the reader refuses next to those it reads: unknown, palettes, video formats.
    for (const uint32_t dxgi : {0u, 110u, 111u, 112u, 113u, 114u, 130u, 131u, 132u, 192u}) {
        Entry(dict, "dxgi_refused_" + std::to_string(dxgi), dxgi);
    }
    const struct {
        const char* name;
        uint32_t value;
    } kFields[] = {
        {"pf_alphapixels", dds::kPfAlphaPixels}, {"pf_alpha", dds::kPfAlphaOnly}, {"pf_fourcc", dds::kPfFourCc},
        {"pf_pal8", dds::kPfPaletteIndexed8}, {"pf_rgb", dds::kPfRgb}, {"pf_yuv", dds::kPfYuv},
        {"pf_luminance", dds::kPfLuminance}, {"pf_bumpluminance", dds::kPfBumpLuminance},
        {"pf_bumpdudv", dds::kPfBumpDuDv}, {"pf_rgba", dds::kPfRgb | dds::kPfAlphaPixels},
        {"pf_luminance_alpha", dds::kPfLuminance | dds::kPfAlphaPixels},
        {"pf_bumpdudv_alpha", dds::kPfBumpDuDv | dds::kPfAlphaPixels},
        // Header flags, caps and caps2 (cube, all faces, volume).
        {"flags", 0x1007}, {"flags_linear_size", 0x81007}, {"flags_mips", 0xA1007}, {"flags_depth", 0x801007},
        {"caps_texture", 0x1000}, {"caps_complex_mips", 0x401008}, {"caps2_cube", 0x200},
        {"caps2_cube_faces", 0xFE00}, {"caps2_volume", 0x200000},
        // Header and pixel-format sizes, sound and as tools write them; small counts, dimensions,
        // alpha modes and bit counts.
        {"size_124", 124}, {"size_24", 24}, {"small_0", 0}, {"small_1", 1}, {"small_2", 2}, {"small_3", 3},
        {"small_4", 4}, {"small_8", 8}, {"small_16", 16}, {"small_32", 32}, {"small_64", 64}, {"small_96", 96},
        {"small_128", 128},
        // Sizes at the edges of what the header allows.
        {"size_7FFFFFFF", 0x7FFFFFFF}, {"size_80000000", 0x80000000}, {"size_FFFFFFFF", 0xFFFFFFFF},
        {"size_10000", 0x10000}, {"size_40000000", 0x40000000},
    };
    for (const auto& field : kFields) Entry(dict, field.name, field.value);
    if (!dict) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dds_make_seeds FOLDER DICTIONARY\n");
        return 2;
    }
    folder = argv[1];
    WriteDictionary(argv[2]);

    // Every row of the table under the DX10 header.
    for (uint32_t dxgi = 0; dxgi < 256; ++dxgi) {
        if (const dds::DdsFormat* format = dds::FindDxgiFormat(dxgi)) {
            Save(std::string("dx10-") + format->name, test::WriteDx10Dds(Dx10(dxgi)));
        }
    }

    // Every row of the legacy table, and bit masks no row names.
    for (const dds::LegacyFormat& row : dds::LegacyFormats()) Save(std::string("legacy-") + row.name, Legacy(row));
    for (const MaskLayout& layout : kGenericMasks) {
        const test::LegacyPixelFormat pf{layout.flags, 0, layout.bits, layout.red, layout.green, layout.blue, layout.alpha};
        Save(std::string("legacy-masks-") + layout.name, test::WriteLegacyDds(pf, 7, 3, NoiseBytes(layout.bits / 8 * 21)));
    }

    // Headers as real tools write them.
    dds::DdsPixelFormatHeader dxt1Format{};
    dxt1Format.fourCc = FourCc("DXT1");
    const Bytes dxt1 = Legacy(*dds::FindLegacyFormat(dxt1Format, true));
    Bytes lenient = dxt1;
    Set32(lenient, kPixelFlags, 0);  // the FourCC without its flag
    Set32(lenient, kFlags, 0);
    Set32(lenient, kCaps, 0);
    Save("lenient-dxt1-no-flags", lenient);
    lenient = dxt1;
    Set32(lenient, 4, 24);   // header size
    Set32(lenient, 76, 0);   // pixel-format size
    Set32(lenient, kMipCount, 40);
    Save("lenient-dxt1-sizes-and-mips", lenient);
    test::Dx10Image unknown = Dx10(28);
    unknown.dimension = 0;
    unknown.arraySize = 0;
    Save("lenient-dx10-dimension-0", test::WriteDx10Dds(unknown));

    // Shapes: only the first picture is decoded, but the headers differ.
    test::Dx10Image array = Dx10(71);
    array.arraySize = 3;
    array.rest = NoiseBytes(2 * array.data.size());
    Save("shape-dx10-array", test::WriteDx10Dds(array));
    test::Dx10Image cube = Dx10(98);
    cube.cube = true;
    cube.rest = NoiseBytes(5 * cube.data.size());
    Save("shape-dx10-cube", test::WriteDx10Dds(cube));
    test::Dx10Image volume = Dx10(28);
    volume.dimension = 4;
    volume.depth = 3;
    volume.rest = NoiseBytes(2 * volume.data.size());
    Save("shape-dx10-volume", test::WriteDx10Dds(volume));
    test::Dx10Image line = Dx10(28);
    line.dimension = 2;
    line.height = 1;
    line.data = NoiseBytes(7 * 4);
    Save("shape-dx10-1d", test::WriteDx10Dds(line));
    line.height = 0;  // writers of 1-D textures may leave the height out
    Save("shape-dx10-1d-height-0", test::WriteDx10Dds(line));
    test::Dx10Image mips = Dx10(95);
    mips.mipCount = 3;
    mips.rest = Picture(*dds::FindDxgiFormat(95), {8, 7});
    Save("shape-dx10-mips", test::WriteDx10Dds(mips));

    test::DdsImage legacyCube;
    legacyCube.format = test::DdsFormat::DXT1;
    legacyCube.width = 11;
    legacyCube.height = 10;
    legacyCube.data = Picture(*dds::FindDxgiFormat(71), {11, 10});
    legacyCube.cube = true;
    Save("shape-legacy-cube", test::WriteDds(legacyCube));
    test::DdsImage flat = legacyCube;
    flat.cube = false;
    Bytes legacyMips = test::WriteDds(flat);
    Set32(legacyMips, kFlags, 0x1007 | 0x20000 | 0x80000);  // with the mip count
    Set32(legacyMips, kMipCount, 4);
    Set32(legacyMips, kCaps, 0x1000 | 0x400000 | 0x8);
    const Bytes smaller = Picture(*dds::FindDxgiFormat(71), {8, 7});
    legacyMips.insert(legacyMips.end(), smaller.begin(), smaller.end());
    Save("shape-legacy-mips", legacyMips);
    test::DdsImage legacyVolume;
    legacyVolume.width = 7;
    legacyVolume.height = 3;
    legacyVolume.depth = 3;
    legacyVolume.data = NoiseBytes(7 * 3 * 4);
    Save("shape-legacy-volume", test::WriteDds(legacyVolume));

    // Alpha modes of the DX10 header: premultiplied and opaque.
    for (const uint32_t dxgi : {28u, 77u}) {
        test::Dx10Image image = Dx10(dxgi);
        image.alphaMode = 2;
        Save(std::string("alpha-premultiplied-") + dds::FindDxgiFormat(dxgi)->name, test::WriteDx10Dds(image));
        image.alphaMode = 3;
        Save(std::string("alpha-opaque-") + dds::FindDxgiFormat(dxgi)->name, test::WriteDx10Dds(image));
    }

    std::printf("%d seeds written to %s\n", written, folder.c_str());
    return 0;
}
