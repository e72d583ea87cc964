// Times a GetPicture request and its stages on 4096 x 4096 pictures, next to memcpy of the
// same bytes measured in the same run. A measuring program, not a test: it asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "D3dContext.h"
#include "OpaqueFormats.h"
#include "DdsWriter.h"
#include "PictureBuilder.h"
#include "PixelConversion.h"
#include "RowLoop.h"
#include "PluginSettings.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Stages {
    std::vector<double> create, load, flip, convert, handOver, total;
};

constexpr uint32_t kSize = 4096;

Bytes MakePicture(DdsFormat format) {
    auto pixel = [](uint32_t x, uint32_t y) { return (x * 2654435761u) ^ (y * 40503u) ^ ((x + y) << 24); };
    if (IsBlockCompressed(format)) {
        return WriteDds(MakeCompressed(format, kSize, kSize, [format](uint32_t bx, uint32_t by) {
            const uint16_t c0 = static_cast<uint16_t>(bx * 37 + by), c1 = static_cast<uint16_t>(by * 91 + bx);
            const uint32_t idx = bx * 2654435761u ^ by;
            return format == DdsFormat::DXT1 ? Dxt1Block(c0, c1, idx)
                                             : Dxt5Block(static_cast<uint8_t>(bx), static_cast<uint8_t>(by), idx * 77ull, c0, c1, idx);
        }));
    }
    return WriteDds(MakeUncompressed(format, kSize, kSize, pixel));
}

// One request, step by step as picture building does it, each step timed.
bool TimeStages(const Bytes& file, Stages& s) {
    const double t0 = Now();
    D3dContext context;
    if (context.Create() != kSuccess) return false;
    const double t1 = Now();
    ComRef<IDirect3DSurface9> surface;
    if (context.LoadDdsSurface(file.data(), file.size(), surface) != kSuccess) return false;
    const double t2 = Now();
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    D3DLOCKED_RECT rect;
    if (FAILED(surface->LockRect(&rect, nullptr, D3DLOCK_READONLY))) return false;
    const DecodeSurface* decodeSurface = FindDecodeSurface(desc.Format);
    if (decodeSurface == nullptr) return false;
    const uint32_t bits = decodeSurface->sourceBits;
    LocalBlock spare, info, out;
    PixelImage image;
    image.Describe(desc.Width, desc.Height, bits, rect.Pitch, static_cast<uint8_t*>(rect.pBits));
    const double t3 = Now();
    FlipRows(image, spare);
    const double t4 = Now();
    if (decodeSurface->disposesAlpha) ConvertTo24Bits(image, spare, AlphaModeOf(ReadPluginSettings()));
    const double t5 = Now();
    TakeDibHandles(image, info, out);
    const double t6 = Now();
    surface->UnlockRect();
    s.create.push_back(t1 - t0);
    s.load.push_back(t2 - t1);
    s.flip.push_back(t4 - t3);
    s.convert.push_back(t5 - t4);
    s.handOver.push_back(t6 - t5);
    return true;
}

// memcpy into a block allocated for each copy, as every pixel step must: its first touch of
// fresh pages costs more than the copy itself under Wine.
double MedianMemcpyFresh(size_t bytes, int runs) {
    std::vector<uint8_t> from(bytes, 1);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = Now();
        HLOCAL block = LocalAlloc(LMEM_FIXED, bytes);
        std::memcpy(block, from.data(), bytes);
        times.push_back(Now() - t);
        from[i] = static_cast<uint8_t*>(block)[bytes - 1 - i];
        LocalFree(block);
    }
    return Median(times);
}

double MedianMemcpy(size_t bytes, int runs) {
    std::vector<uint8_t> from(bytes, 1), to(bytes, 2);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = Now();
        std::memcpy(to.data(), from.data(), bytes);
        times.push_back(Now() - t);
        from[i] = to[bytes - 1 - i];
    }
    return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 7;
    std::printf("Sorvane benchmark, %d-bit build, %ux%u pictures, median of %d runs\n",
                static_cast<int>(sizeof(void*) * 8), kSize, kSize, runs);

    // Device creation alone, 25 requests.
    {
        std::vector<double> create;
        for (int i = 0; i < 25; ++i) {
            const double t = Now();
            D3dContext context;
            if (context.Create() != kSuccess) {
                std::printf("no Direct3D device\n");
                return 1;
            }
            create.push_back(Now() - t);
        }
        std::printf("context creation (window, Direct3D, device): median %.1f ms over 25 requests\n", Median(create));
    }

    const double copy32 = MedianMemcpy(size_t{kSize} * kSize * 4, 15);
    const double fresh32 = MedianMemcpyFresh(size_t{kSize} * kSize * 4, 15);
    std::printf("memcpy of the 32-bit picture (%u MiB): %.2f ms between warm buffers, %.2f ms into a new block\n\n",
                kSize * kSize * 4 / (1024 * 1024), copy32, fresh32);

    const DdsFormat kFormats[] = {DdsFormat::DXT1, DdsFormat::DXT5, DdsFormat::A8R8G8B8, DdsFormat::R8G8B8};
    std::printf("%-9s %-8s %9s %9s %9s %9s %9s %9s %8s\n", "format", "rows", "request", "context", "load",
                "flip", "convert", "handover", "own %");
    for (const DdsFormat format : kFormats) {
        const Bytes file = MakePicture(format);
        for (const bool parallel : {false, true}) {
            SetRowLoopsParallel(parallel);
            Stages s;
            for (int i = 0; i < runs; ++i) {
                if (!TimeStages(file, s)) {
                    std::printf("%s: decoding failed\n", FormatName(format).c_str());
                    return 1;
                }
                const double t = Now();
                HLOCAL info = nullptr, bits = nullptr;
                DecodeFromMemory(file.data(), static_cast<intptr_t>(file.size()), PictureRequest{nullptr, 0, &info, &bits});
                s.total.push_back(Now() - t);
                LocalFree(info);
                LocalFree(bits);
            }
            const double total = Median(s.total), create = Median(s.create), load = Median(s.load);
            std::printf("%-9s %-8s %9.1f %9.1f %9.1f %9.2f %9.2f %9.3f %7.1f%%\n", FormatName(format).c_str(),
                        parallel ? "pool" : "serial", total, create, load, Median(s.flip), Median(s.convert),
                        Median(s.handOver), 100.0 * (total - create - load) / total);
            if (format == DdsFormat::A8R8G8B8) {
                const double steps = Median(s.flip) + Median(s.convert);
                std::printf("%-9s %-8s pixel steps (flip + convert, composite) / memcpy = %.2f (warm), %.2f (new block)\n",
                            "", "", steps / copy32, steps / fresh32);
            }
        }
    }
    SetRowLoopsParallel(true);
    return 0;
}
