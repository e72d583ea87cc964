// Writes the fuzz target's seeds into a folder: a small file of every row of the reader's format
// table under the DX10 header, of every legacy FourCC, bit-mask layout and P8, and of the
// shapes and alpha modes a header can describe. Blocks of BC1-BC7 take every mode (and both
// endpoint orders) of their format, so that fuzzing starts at every decoder's branches.
//   cmake --build build/fuzz --target dds_make_seeds && build/fuzz/dds_make_seeds fuzz/seeds

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
Size SizeOf(const dds::DdsFormat& format) {
    if (format.blockBytes == 0) return {format.pixelBits == 1 ? 13u : 7u, 3};
    return std::string(format.name).rfind("BC6H", 0) == 0 ? Size{15, 14} : Size{11, 10};
}

Bytes Picture(const dds::DdsFormat& format, Size size, uint32_t pixelBits = 0) {
    if (format.blockBytes == 0) {
        const uint32_t bits = pixelBits != 0 ? pixelBits : format.pixelBits;
        return NoiseBytes((size_t{size.width} * bits + 7) / 8 * size.height);
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
constexpr size_t kFlags = 8, kMipCount = 28, kPixelFlags = 80, kFourCcAt = 84, kBitCount = 88, kMasks = 92,
                 kCaps = 108;

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

// A legacy file with a FourCC: block formats written as DXT1 or DXT5 and relabelled.
void LegacyFourCc(const char* name, uint32_t fourCc, const dds::DdsFormat& format) {
    const Size size = SizeOf(format);
    test::DdsImage image;
    image.format = format.blockBytes == 8 ? test::DdsFormat::DXT1 : test::DdsFormat::DXT5;
    image.width = size.width;
    image.height = size.height;
    image.data = Picture(format, size);
    Bytes file = test::WriteDds(image);
    Set32(file, kFourCcAt, fourCc);
    Save(std::string("legacy-") + name, file);
}

// A legacy file with bit masks: flags, bits a pixel, red, green, blue and alpha masks.
struct MaskLayout {
    const char* name;
    uint32_t flags, bits, red, green, blue, alpha;
};
constexpr uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kRgb = 0x40, kLuminance = 0x20000;
constexpr MaskLayout kMaskLayouts[] = {
    {"a8r8g8b8", kRgb | kAlphaPixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {"x8r8g8b8", kRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {"a8b8g8r8", kRgb | kAlphaPixels, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {"x8b8g8r8", kRgb, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {"a2b10g10r10", kRgb | kAlphaPixels, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {"a2r10g10b10", kRgb | kAlphaPixels, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {"g16r16", kRgb, 32, 0xFFFF, 0xFFFF0000, 0, 0},
    {"r8g8b8", kRgb, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {"r5g6b5", kRgb, 16, 0xF800, 0x7E0, 0x1F, 0},
    {"x1r5g5b5", kRgb, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {"a1r5g5b5", kRgb | kAlphaPixels, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {"a4r4g4b4", kRgb | kAlphaPixels, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {"x4r4g4b4", kRgb, 16, 0xF00, 0xF0, 0xF, 0},
    {"a8r3g3b2", kRgb | kAlphaPixels, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {"r3g3b2", kRgb, 8, 0xE0, 0x1C, 0x3, 0},
    {"l8", kLuminance, 8, 0xFF, 0, 0, 0},
    {"a4l4", kLuminance | kAlphaPixels, 8, 0xF, 0, 0, 0xF0},
    {"l16", kLuminance, 16, 0xFFFF, 0, 0, 0},
    {"a8l8", kLuminance | kAlphaPixels, 16, 0xFF, 0, 0, 0xFF00},
    {"a8", kAlphaOnly, 8, 0, 0, 0, 0xFF},
    {"a16-alpha-only", kAlphaOnly, 16, 0, 0, 0, 0xFFFF},
};

Bytes LegacyMasks(const MaskLayout& layout, Size size) {
    test::DdsImage image;
    image.width = size.width;
    image.height = size.height;
    image.data = NoiseBytes(size_t{layout.bits} / 8 * size.width * size.height);
    Bytes file = test::WriteDds(image);
    Set32(file, kPixelFlags, layout.flags);
    Set32(file, kBitCount, layout.bits);
    const uint32_t masks[] = {layout.red, layout.green, layout.blue, layout.alpha};
    for (int i = 0; i < 4; ++i) Set32(file, kMasks + 4 * i, masks[i]);
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dds_make_seeds FOLDER\n");
        return 2;
    }
    folder = argv[1];

    // Every row of the table under the DX10 header.
    for (uint32_t dxgi = 0; dxgi < 256; ++dxgi) {
        if (const dds::DdsFormat* format = dds::FindDxgiFormat(dxgi)) {
            Save(std::string("dx10-") + format->name, test::WriteDx10Dds(Dx10(dxgi)));
        }
    }

    // Legacy FourCCs of block formats, and D3DFORMAT numbers in the FourCC.
    const struct {
        const char* name;
        uint32_t dxgi;
    } kFourCcs[] = {{"DXT1", 71}, {"DXT2", 74}, {"DXT3", 74}, {"DXT4", 77}, {"DXT5", 77}, {"ATI1", 80},
                    {"BC4U", 80}, {"BC4S", 81}, {"ATI2", 83}, {"BC5U", 83}, {"BC5S", 84}};
    for (const auto& c : kFourCcs) LegacyFourCc(c.name, FourCc(c.name), *dds::FindDxgiFormat(c.dxgi));
    const struct {
        uint32_t number, dxgi;
    } kNumbers[] = {{36, 11}, {111, 54}, {113, 10}, {114, 41}, {116, 2}};
    for (const auto& c : kNumbers) {
        const dds::DdsFormat& format = *dds::FindDxgiFormat(c.dxgi);
        test::DdsImage image;
        image.format = test::DdsFormat::R32F;
        image.width = 7;
        image.height = 3;
        image.data = Picture(format, {7, 3});
        Bytes file = test::WriteDds(image);
        Set32(file, kFourCcAt, c.number);
        Save("legacy-fourcc-" + std::to_string(c.number), file);
    }

    for (const MaskLayout& layout : kMaskLayouts) Save(std::string("legacy-") + layout.name, LegacyMasks(layout, {7, 3}));

    test::DdsImage palette;
    palette.format = test::DdsFormat::P8;
    palette.width = 7;
    palette.height = 3;
    palette.data = NoiseBytes(7 * 3);
    for (int i = 0; i < 256; ++i) palette.palette.push_back(0xFF000000u | Noise() << 16 | Noise() << 8 | Noise());
    Save("legacy-p8", test::WriteDds(palette));

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
