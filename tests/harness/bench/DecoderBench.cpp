// Our reader's decoders alone, natively on one thread: each format decodes a 4096 x 4096
// picture of random units (blocks of every valid mode) into rows of blue, green, red, alpha,
// in rounds that visit every format in turn, next to a memcpy of the R8G8B8A8 picture's bytes.
// A measuring program, not a test: it asserts nothing. One line per format:
//   native <FORMAT> mpps_min=<x> mpps_median=<y>
// mpps_min is the megapixels a second of the round that took least time, mpps_median of the
// median round. Arguments, all optional: rounds (at least 9), the picture's size (a multiple of
// 4), and one format's name to decode that one alone (for counting instructions under callgrind
// with --toggle-collect=*DecodeRows*).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DdsReader.h"
#include "DdsWriter.h"

using namespace sorvane;

namespace {

double Seconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

struct Subject {
    const char* name;
    uint32_t dxgi, unitBytes;
    bool blocks;
    test::Bytes file;
    dds::DdsImage image;
    std::vector<double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(9, atoi(argv[1])) : 9;
    const uint32_t size = argc > 2 ? std::max(4, atoi(argv[2])) / 4 * 4 : 4096;
    std::vector<Subject> subjects = {
        {"BC1", 71, 8, true, {}, {}, {}},        {"BC2", 74, 16, true, {}, {}, {}},
        {"BC3", 77, 16, true, {}, {}, {}},       {"BC4", 80, 8, true, {}, {}, {}},
        {"BC5", 83, 16, true, {}, {}, {}},       {"BC6H_UF16", 95, 16, true, {}, {}, {}},
        {"BC6H_SF16", 96, 16, true, {}, {}, {}}, {"BC7", 98, 16, true, {}, {}, {}},
        {"R8G8B8A8", 28, 4, false, {}, {}, {}},
    };
    if (argc > 3) {
        subjects.erase(std::remove_if(subjects.begin(), subjects.end(),
                                      [&](const Subject& s) { return std::string(s.name) != argv[3]; }),
                       subjects.end());
    }
    for (Subject& s : subjects) {
        const size_t units = s.blocks ? size_t{size / 4} * (size / 4) : size_t{size} * size;
        s.file = test::WriteDx10Dds(test::Dx10(s.dxgi, size, size, test::RandomUnits(s.dxgi, units, s.unitBytes)));
        if (dds::ReadDds(s.file.data(), s.file.size(), s.image) != dds::ReadResult::Ok) {
            std::printf("%s: not read\n", s.name);
            return 1;
        }
    }
    const size_t pictureBytes = size_t{size} * size * 4;
    std::vector<uint8_t> out(pictureBytes, 1), from(pictureBytes, 2);
    std::vector<double> copies;
    for (int round = 0; round < rounds; ++round) {
        for (Subject& s : subjects) {
            const double t = Seconds();
            dds::DecodeRows(s.image, 0, size, out.data(), ptrdiff_t{size} * 4);
            s.seconds.push_back(Seconds() - t);
        }
        const double t = Seconds();
        std::memcpy(out.data(), from.data(), pictureBytes);
        copies.push_back(Seconds() - t);
        from[round] = out[pictureBytes - 1 - round];  // keeps the copy from being left out
    }
    const auto print = [size](const char* name, std::vector<double> seconds) {
        std::sort(seconds.begin(), seconds.end());
        const double pixels = static_cast<double>(size) * size / 1e6;
        std::printf("native %s mpps_min=%.0f mpps_median=%.0f\n", name, pixels / seconds.front(),
                    pixels / seconds[seconds.size() / 2]);
    };
    for (const Subject& s : subjects) print(s.name, s.seconds);
    // The R8G8B8A8 picture's bytes copied as they are, 4 bytes a pixel: the bound of its decoder.
    print("memcpy", copies);
    return 0;
}
