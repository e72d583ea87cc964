// Our decoder's side of the reference test: dds_decode FILE OUT.raw writes the first picture
// as rows of blue, green, red, alpha and prints its width, height and format name.
// dds_decode --tonemap EXPOSURE [--mips] FILE OUT.raw writes it tone-mapped instead, in two
// passes as the plug-in takes them; with --mips, every level of the first image one after
// another, Lmax taken over them all.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "DdsReader.h"
#include "ToneMap.h"

namespace {

using namespace sorvane::dds;

// Calls band(first, rows) over the picture, a band of block rows at a time, as the plug-in decodes.
void EachBand(const DdsImage& image, const std::function<void(uint32_t, uint32_t)>& band) {
    const uint32_t rows = 4 * BlockHeight(image);
    for (uint32_t first = 0; first < image.height; first += rows) band(first, std::min(rows, image.height - first));
}

}  // namespace

int main(int argc, char** argv) {
    const bool toneMap = argc >= 5 && std::strcmp(argv[1], "--tonemap") == 0;
    const bool mips = toneMap && argc == 6 && std::strcmp(argv[3], "--mips") == 0;
    if (argc != (toneMap ? (mips ? 6 : 5) : 3)) {
        std::fprintf(stderr, "usage: dds_decode [--tonemap EXPOSURE [--mips]] FILE OUT.raw\n");
        return 2;
    }
    const char* path = argv[argc - 2];
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    DdsImage image;
    if (const ReadResult result = ReadDds(file.data(), file.size(), image); result != ReadResult::Ok) {
        std::fprintf(stderr, "dds_decode: %s not read (ReadResult %d)\n", path, static_cast<int>(result));
        return 1;
    }
    std::vector<uint8_t> bgra;
    if (!toneMap) {
        const ptrdiff_t stride = ptrdiff_t{image.width} * 4;
        bgra.resize(size_t(stride) * image.height);
        EachBand(image, [&](uint32_t first, uint32_t rows) {
            DecodeRows(image, first, rows, bgra.data() + first * stride, stride);
        });
    } else {
        if (!HasHdrChannels(image)) {
            std::fprintf(stderr, "dds_decode: %s holds no HDR channels\n", path);
            return 1;
        }
        std::vector<DdsImage> levels;
        for (uint32_t mip = 0; mip < (mips ? image.mipLevels : 1); ++mip) {
            DdsImage level;
            if (LocateImage(image, file.data(), file.size(), 0, mip, level) != ReadResult::Ok) {
                std::fprintf(stderr, "dds_decode: %s has no level %u\n", path, mip);
                return 1;
            }
            levels.push_back(level);
        }
        ToneMapper mapper(std::atoi(argv[2]));
        for (const DdsImage& level : levels) {
            EachBand(level, [&](uint32_t first, uint32_t rows) { mapper.AccumulateRows(level, first, rows); });
        }
        mapper.Finish();
        for (const DdsImage& level : levels) {
            const size_t at = bgra.size();
            const ptrdiff_t stride = ptrdiff_t{level.width} * 4;
            bgra.resize(at + size_t(stride) * level.height);
            EachBand(level, [&](uint32_t first, uint32_t rows) {
                mapper.MapRows(level, first, rows, bgra.data() + at + first * stride, stride);
            });
        }
    }
    std::ofstream(argv[argc - 1], std::ios::binary).write(reinterpret_cast<const char*>(bgra.data()), bgra.size());
    std::printf("%u %u %s\n", image.width, image.height, FormatName(image));
    return 0;
}
