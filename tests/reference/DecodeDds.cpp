// Our decoder's side of the reference test: dds_decode FILE OUT.raw writes the first picture
// as rows of blue, green, red, alpha and prints its width, height and format name.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "DdsReader.h"

int main(int argc, char** argv) {
    using namespace sorvane::dds;
    if (argc != 3) {
        std::fprintf(stderr, "usage: dds_decode FILE OUT.raw\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    DdsImage image;
    if (const ReadResult result = ReadDds(file.data(), file.size(), image); result != ReadResult::Ok) {
        std::fprintf(stderr, "dds_decode: %s not read (ReadResult %d)\n", argv[1], static_cast<int>(result));
        return 1;
    }
    const ptrdiff_t stride = ptrdiff_t{image.width} * 4;
    std::vector<uint8_t> bgra(size_t(stride) * image.height);
    // A band of block rows at a time, as the plug-in decodes.
    const uint32_t band = 4 * BlockHeight(image);
    for (uint32_t row = 0; row < image.height; row += band) {
        const uint32_t rows = image.height - row < band ? image.height - row : band;
        DecodeRows(image, row, rows, bgra.data() + row * stride, stride);
    }
    std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(bgra.data()), bgra.size());
    std::printf("%u %u %s\n", image.width, image.height, FormatName(image));
    return 0;
}
