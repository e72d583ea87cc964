#include "Mutations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "DdsWriter.h"

namespace mutate {

namespace {

using sorvane::test::DdsFormat;

// splitmix64: one 64-bit state, so a file's generator is made from its number alone.
class Rng {
public:
    explicit Rng(uint64_t state) : state_(state) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint64_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }
    Bytes Fill(size_t n) {
        Bytes b(n);
        for (uint8_t& v : b) v = static_cast<uint8_t>(Next());
        return b;
    }

private:
    uint64_t state_;
};

constexpr uint32_t FourCc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// Magic and header: 128 bytes; the DX10 header: 20 more.
constexpr uint32_t kHeaderEnd = 148;
constexpr uint32_t kFourCcOffset = 84, kPixelFlagsOffset = 80, kBitCountOffset = 88, kDxgiOffset = 128;

constexpr uint32_t kEdgeValues[] = {0, 1, 2, 3, 4, 0x7F, 0x80, 0xFF, 0x100, 0xFFFF, 0x10000, 0x10001,
                                    0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};

struct Field {
    const char* name;
    uint32_t offset;
    std::vector<uint32_t> extra;  // values that mean something in this field
};

const std::vector<Field>& Fields() {
    static const std::vector<uint32_t> masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0xF800, 0x7E0,
                                                0x1F, 0x3FF, 0xFFFF0000, 0x5555};
    static const std::vector<uint32_t> sizes = {5, 0x4000, 0x8000, 0xFFFE, 0x20000, 0x3FFFFFFF, 0x40000000};
    static const std::vector<Field> fields = {
        {"size", 4, {123, 125, 148}},
        {"flags", 8, {0x1007, 0x81007, 0xA1007, 0x801007, 0x20000}},
        {"height", 12, sizes},
        {"width", 16, sizes},
        {"pitch", 20, {}},
        {"depth", 24, {5, 0x100, 0x8000}},
        {"mipCount", 28, {5, 6, 7, 31, 32, 33}},
        {"pfSize", 76, {31, 33}},
        {"pfFlags", kPixelFlagsOffset, {0x41, 0x20000, 0x20001, 0x20, 0x200, 0x80000, 0x44, 0x60, 0x42}},
        {"fourCC", kFourCcOffset, {FourCc("DXT1"), FourCc("DXT2"), FourCc("DXT3"), FourCc("DXT4"), FourCc("DXT5"),
                                   FourCc("DX10"), FourCc("ATI1"), FourCc("ATI2"), FourCc("BC4U"), FourCc("BC4S"),
                                   FourCc("BC5U"), FourCc("BC5S"), FourCc("YUY2"), FourCc("UYVY"), FourCc("RGBG"),
                                   FourCc("GRGB"), FourCc("DDS "), 36, 110, 111, 112, 113, 114, 115, 116, 117}},
        {"bitCount", kBitCountOffset, {5, 8, 16, 24, 32, 64, 128}},
        {"redMask", 92, masks},
        {"greenMask", 96, masks},
        {"blueMask", 100, masks},
        {"alphaMask", 104, masks},
        {"caps", 108, {0x1000, 0x401008, 0x8}},
        {"caps2", 112, {0xFE00, 0x400, 0x200000, 0x600, 0x20FE00}},
        // The reader's table and its neighbours, and codes no reader knows.
        {"dxgiFormat", kDxgiOffset, {10, 11, 23, 24, 27, 28, 29, 35, 41, 49, 54, 56, 61, 65, 66, 70, 71, 72, 73,
                                     74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 90, 91, 92, 93,
                                     94, 95, 96, 97, 98, 99, 115, 20, 26, 45, 67, 68, 89, 100, 105, 107, 130, 132}},
        {"resourceDimension", 132, {5}},
        {"miscFlag", 136, {0x5, 0x8}},
        {"arraySize", 140, {6, 0x100}},
        {"miscFlags2", 144, {5, 7}},
    };
    return fields;
}

void Put32(Bytes& b, uint32_t offset, uint32_t value) {
    for (uint32_t i = 0; i < 4 && offset + i < b.size(); ++i) b[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get32(const Bytes& b, uint32_t offset) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < 4 && offset + i < b.size(); ++i) v |= uint32_t{b[offset + i]} << (8 * i);
    return v;
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

// Bits per pixel of the file's format as its header gives it, for sizes that overflow.
uint32_t PixelBitsOf(const Bytes& b) {
    const uint32_t fourCc = (Get32(b, kPixelFlagsOffset) & 0x4) != 0 ? Get32(b, kFourCcOffset) : 0;
    if (fourCc == FourCc("DX10")) {
        const uint32_t dxgi = Get32(b, kDxgiOffset);
        if ((dxgi >= 70 && dxgi <= 72) || (dxgi >= 79 && dxgi <= 81)) return 4;
        if ((dxgi >= 73 && dxgi <= 84) || (dxgi >= 94 && dxgi <= 99)) return 8;
        if (dxgi == 2) return 128;
        if (dxgi == 10 || dxgi == 11) return 64;
        if (dxgi == 66) return 1;
        if (dxgi == 61 || dxgi == 65) return 8;
        if (dxgi == 49 || dxgi == 54 || dxgi == 56 || dxgi == 85 || dxgi == 86 || dxgi == 115) return 16;
        return 32;
    }
    if (fourCc == FourCc("DXT1") || fourCc == FourCc("ATI1") || fourCc == FourCc("BC4U") || fourCc == FourCc("BC4S")) return 4;
    if (fourCc == 36 || fourCc == 113) return 64;
    if (fourCc == 111) return 16;
    if (fourCc == 116) return 128;
    if (fourCc != 0 && fourCc != 114) return 8;  // the other block formats
    const uint32_t bits = Get32(b, kBitCountOffset);
    return bits == 8 || bits == 16 || bits == 24 ? bits : 32;
}

// Oversize rows: 4 widths x 6 sizes of the first picture: exactly 2^32 bytes, one more row,
// one more column (a small remainder after a 32-bit wrap), 2^33 bytes, and 2^31 and 2^30
// bytes with a depth of 2 and 4, which six cube faces or the slices of a volume wrap.
constexpr uint32_t kOversizeRows = 24;

void ApplyOversize(MutatedFile& f, uint32_t row) {
    const uint32_t bits = PixelBitsOf(f.bytes);
    static const int kBytesLog[] = {32, 32, 32, 33, 31, 30};
    const int sizeRow = row / 4, bytesLog = kBytesLog[sizeRow];
    const uint64_t pixels = ((uint64_t{1} << (bytesLog + 3)) + bits - 1) / bits;
    int log2Pixels = 0;
    while ((uint64_t{1} << (log2Pixels + 1)) <= pixels) ++log2Pixels;
    static const int kWidthLog[] = {2, 9, 16, 27};
    const int a = std::clamp(kWidthLog[row % 4], std::max(0, log2Pixels - 30), std::min(log2Pixels, 30));
    uint64_t width = uint64_t{1} << a, height = (pixels + width - 1) / width;
    if (sizeRow == 1) ++height;
    if (sizeRow == 2) ++width;
    width = std::min<uint64_t>(width, 0x7FFFFFFF);
    height = std::min<uint64_t>(height, 0x7FFFFFFF);
    Put32(f.bytes, 16, static_cast<uint32_t>(width));
    Put32(f.bytes, 12, static_cast<uint32_t>(height));
    f.oversize = true;
    f.recipe += " | size " + std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(bits) + " bits";
    if (bytesLog < 32) {
        const uint32_t depth = 1u << (32 - bytesLog);
        Put32(f.bytes, 24, depth);
        f.recipe += ", depth " + std::to_string(depth);
    }
}

void Truncate(MutatedFile& f, size_t length) {
    if (length < f.bytes.size()) f.bytes.resize(length);
    f.recipe += " | truncate " + std::to_string(length);
}

void SetField(MutatedFile& f, const Field& field, uint32_t value) {
    Put32(f.bytes, field.offset, value);
    f.recipe += std::string(" | ") + field.name + "=" + Hex(value);
}

// A position mostly inside the headers, where a change means the most.
size_t Position(Rng& rng, size_t size) {
    if (size == 0) return 0;
    return rng.Below(3) != 0 ? rng.Below(std::min<size_t>(size, kHeaderEnd)) : rng.Below(size);
}

void RandomEdit(MutatedFile& f, Rng& rng) {
    Bytes& b = f.bytes;
    const std::vector<Field>& fields = Fields();
    // Weights in twentieths: flips 5, bytes 2, fields 6, chunks 3, cuts 2, appends 1, oversize 1.
    switch (rng.Below(20)) {
    case 0: case 1: case 2: case 3: case 4: {  // bit flips
        const uint32_t flips = 1 + rng.Below(8);
        for (uint32_t i = 0; i < flips && !b.empty(); ++i) b[Position(rng, b.size())] ^= uint8_t(1u << rng.Below(8));
        f.recipe += " | flip " + std::to_string(flips) + " bits";
        break;
    }
    case 5: case 6: {  // bytes at edge values
        static const uint8_t kBytes[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
        const uint32_t count = 1 + rng.Below(4);
        for (uint32_t i = 0; i < count && !b.empty(); ++i) b[Position(rng, b.size())] = kBytes[rng.Below(5)];
        f.recipe += " | set " + std::to_string(count) + " bytes";
        break;
    }
    case 7: case 8: case 9: case 10: case 11: case 12: {  // a field at an edge value, a value of its own, or any value
        const Field& field = fields[rng.Below(fields.size())];
        const uint32_t pick = rng.Below(10);
        const uint32_t value = pick < 5 || field.extra.empty() ? kEdgeValues[rng.Below(std::size(kEdgeValues))]
                               : pick < 8                      ? field.extra[rng.Below(field.extra.size())]
                                                               : static_cast<uint32_t>(rng.Next());
        SetField(f, field, value);
        break;
    }
    case 13: case 14: {  // a chunk copied over another place, or inserted there
        if (b.empty()) break;
        const size_t from = rng.Below(b.size()), to = Position(rng, b.size());
        const size_t length = 1 + rng.Below(std::min<size_t>(b.size() - from, 64));
        const Bytes chunk(b.begin() + from, b.begin() + from + length);
        const bool insert = rng.Below(2) == 0;
        if (insert) {
            b.insert(b.begin() + to, chunk.begin(), chunk.end());
        } else {
            std::copy(chunk.begin(), chunk.begin() + std::min(length, b.size() - to), b.begin() + to);
        }
        f.recipe += (insert ? " | insert " : " | copy ") + std::to_string(length) + " bytes " +
                    std::to_string(from) + "->" + std::to_string(to);
        break;
    }
    case 15: {  // a chunk removed
        if (b.empty()) break;
        const size_t from = Position(rng, b.size());
        const size_t length = 1 + rng.Below(std::min<size_t>(b.size() - from, 32));
        b.erase(b.begin() + from, b.begin() + from + length);
        f.recipe += " | remove " + std::to_string(length) + " bytes at " + std::to_string(from);
        break;
    }
    case 16: case 17:  // cut inside the header or anywhere
        Truncate(f, rng.Below(2) == 0 ? rng.Below(kHeaderEnd + 1) : rng.Below(b.size() + 1));
        break;
    case 18: {  // more bytes: zeros or noise
        const Bytes more = rng.Below(2) == 0 ? Bytes(1 + rng.Below(4096)) : rng.Fill(1 + rng.Below(4096));
        b.insert(b.end(), more.begin(), more.end());
        f.recipe += " | append " + std::to_string(more.size()) + " bytes";
        break;
    }
    default:
        ApplyOversize(f, rng.Below(kOversizeRows));
        break;
    }
}

}  // namespace

std::vector<Seed> MakeSeeds() {
    using namespace sorvane::test;
    Rng rng(0x5EED5EED);  // not the run's seed: every run starts from the same files
    std::vector<Seed> seeds;
    const auto legacy = [&](const char* name, DdsFormat format, uint32_t w, uint32_t h, uint32_t depth = 0,
                            bool cube = false) {
        DdsImage image;
        image.format = format;
        image.width = w;
        image.height = h;
        image.depth = depth;
        image.cube = cube;
        const uint64_t units = IsBlockCompressed(format) ? uint64_t{(w + 3) / 4} * ((h + 3) / 4) : uint64_t{w} * h;
        image.data = rng.Fill(units * UnitSize(format));
        if (format == DdsFormat::P8) {
            for (int i = 0; i < 256; ++i) image.palette.push_back(static_cast<uint32_t>(rng.Next()));
        }
        seeds.push_back({name, WriteDds(image)});
    };
    legacy("dxt1-13x9", DdsFormat::DXT1, 13, 9);
    legacy("dxt3-8x8", DdsFormat::DXT3, 8, 8);
    legacy("dxt5-17x5", DdsFormat::DXT5, 17, 5);
    legacy("a8r8g8b8-7x5", DdsFormat::A8R8G8B8, 7, 5);
    legacy("x8r8g8b8-6x4", DdsFormat::X8R8G8B8, 6, 4);
    legacy("g16r16-3x5", DdsFormat::G16R16, 3, 5);
    legacy("r5g6b5-9x3", DdsFormat::R5G6B5, 9, 3);
    legacy("x1r5g5b5-5x5", DdsFormat::X1R5G5B5, 5, 5);
    legacy("l8-11x4", DdsFormat::L8, 11, 4);
    legacy("p8-6x6", DdsFormat::P8, 6, 6);
    legacy("a16b16g16r16f-3x3", DdsFormat::A16B16G16R16F, 3, 3);
    legacy("a32b32g32r32f-2x2", DdsFormat::A32B32G32R32F, 2, 2);
    legacy("cube-dxt1-8x8", DdsFormat::DXT1, 8, 8, 0, true);
    legacy("volume-a8r8g8b8-4x4x3", DdsFormat::A8R8G8B8, 4, 4, 3);

    struct Dx10Seed {
        const char* name;
        uint32_t dxgi, width, height, bits, blockBytes;
        uint32_t dimension = 3, arraySize = 1, depth = 0, mipCount = 1, alphaMode = 0;
        bool cube = false;
    };
    const Dx10Seed dx10Seeds[] = {
        {"dx10-bc1-12x8", 71, 12, 8, 0, 8},
        {"dx10-bc4-9x9", 80, 9, 9, 0, 8},
        {"dx10-bc5-8x4", 83, 8, 4, 0, 16},
        {"dx10-bc6h-8x8", 95, 8, 8, 0, 16},
        {"dx10-bc6h-sf16-5x6", 96, 5, 6, 0, 16},
        {"dx10-bc7-13x7", 98, 13, 7, 0, 16},
        {"dx10-r8g8b8a8-5x4-premultiplied", 28, 5, 4, 32, 0, 3, 1, 0, 1, 2},
        {"dx10-r16g16b16a16f-4x3", 10, 4, 3, 64, 0},
        {"dx10-r1-19x3", 66, 19, 3, 1, 0},
        {"dx10-array3-bc7-8x4", 98, 8, 4, 0, 16, 3, 3},
        {"dx10-1d-r8g8b8a8-16", 28, 16, 1, 32, 0, 2},
        {"dx10-cube-bc1-4x4", 71, 4, 4, 0, 8, 3, 1, 0, 1, 0, true},
        {"dx10-volume-r8g8b8a8-4x4x2", 28, 4, 4, 32, 0, 4, 1, 2},
        {"dx10-mips-b8g8r8a8-8x8", 87, 8, 8, 32, 0, 3, 1, 0, 4},
    };
    for (const Dx10Seed& s : dx10Seeds) {
        const auto bytesOf = [&s](uint32_t w, uint32_t h) {
            return s.blockBytes != 0 ? uint64_t{(w + 3) / 4} * ((h + 3) / 4) * s.blockBytes
                                     : (uint64_t{w} * s.bits + 7) / 8 * h;
        };
        Dx10Image image = Dx10(s.dxgi, s.width, s.height, rng.Fill(bytesOf(s.width, s.height)));
        image.dimension = s.dimension;
        image.arraySize = s.arraySize;
        image.depth = s.depth;
        image.mipCount = s.mipCount;
        image.alphaMode = s.alphaMode;
        image.cube = s.cube;
        // Whatever follows the first picture: the other faces, elements, slices or mips.
        uint64_t rest = image.data.size() * ((s.cube ? 6 : std::max(s.arraySize, std::max(s.depth, 1u))) - 1);
        for (uint32_t level = 1, w = s.width, h = s.height; level < s.mipCount; ++level) {
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
            rest += bytesOf(w, h);
        }
        image.rest = rng.Fill(rest);
        seeds.push_back({s.name, WriteDx10Dds(image)});
    }
    return seeds;
}

Mutator::Mutator(std::vector<Seed> seeds, uint64_t runSeed) : seeds_(std::move(seeds)), runSeed_(runSeed) {
    for (uint32_t length = 0; length <= kHeaderEnd; ++length) edits_.push_back({Edit::Truncate, length, 0});
    const std::vector<Field>& fields = Fields();
    for (uint32_t i = 0; i < fields.size(); ++i) {
        for (const uint32_t v : kEdgeValues) edits_.push_back({Edit::SetField, i, v});
        for (const uint32_t v : fields[i].extra) edits_.push_back({Edit::SetField, i, v});
    }
    for (uint32_t row = 0; row < kOversizeRows; ++row) edits_.push_back({Edit::Oversize, row, 0});
    // A stride near the golden ratio of the count spreads neighbouring numbers over seeds
    // and edits alike.
    const uint64_t n = SystematicCount();
    stride_ = n > 1 ? n * 618 / 1000 : 1;
    while (n > 1 && std::gcd(stride_, n) != 1) ++stride_;
}

MutatedFile Mutator::Systematic(uint64_t number) const {
    const uint64_t c = number * stride_ % SystematicCount();
    const Seed& seed = seeds_[c % seeds_.size()];
    const Edit& edit = edits_[c / seeds_.size()];
    MutatedFile f{seed.bytes, seed.name};
    switch (edit.kind) {
    case Edit::Truncate: Truncate(f, edit.a); break;
    case Edit::SetField: SetField(f, Fields()[edit.a], edit.b); break;
    case Edit::Oversize: ApplyOversize(f, edit.a); break;
    }
    return f;
}

MutatedFile Mutator::Random(uint64_t index) const {
    Rng rng(runSeed_ * 0x9E3779B97F4A7C15ull ^ index);
    rng.Next();
    const Seed& seed = seeds_[rng.Below(seeds_.size())];
    MutatedFile f{seed.bytes, seed.name};
    uint32_t edits = 1;
    while (edits < 5 && rng.Below(2) == 0) ++edits;
    for (uint32_t i = 0; i < edits; ++i) RandomEdit(f, rng);
    return f;
}

MutatedFile Mutator::Make(uint64_t index) const {
    if (index % 2 == 0 && index / 2 < SystematicCount()) return Systematic(index / 2);
    return Random(index);
}

}  // namespace mutate
