// Times GetPicture requests and their stages on 4096 x 4096 pictures, next to memcpy of the
// picture measured in the same run, and the committed memory a request needs. A measuring
// program, not a test: it asserts nothing. Ends with one summary line per format.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "D3dContext.h"
#include "D3dxLibrary.h"
#include "DdsReader.h"
#include "DdsWriter.h"
#include "Holders.h"
#include "PictureBuilder.h"
#include "PixelConversion.h"
#include "PluginIdentity.h"
#include "RowLoop.h"
#include "SurfaceLoad.h"
#include "TestSupport.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr uint32_t kSize = 4096;
constexpr double kMiB = 1024.0 * 1024.0;

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
    return v.empty() ? 0 : v[v.size() / 2];
}

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

// The committed private memory of the process, sampled by a thread of its own while a request
// runs: the highest reading above the one taken before.
class PeakMemory {
public:
    PeakMemory() : base_(CommittedPrivateBytes()), peak_(base_), sampler_([this] {
        while (!stop_.load()) {
            const uint64_t now = CommittedPrivateBytes();
            uint64_t seen = peak_.load();
            while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
            }
        }
    }) {}
    // MiB above the reading before.
    double Stop() {
        stop_ = true;
        sampler_.join();
        return static_cast<double>(peak_.load() - base_) / kMiB;
    }

private:
    const uint64_t base_;
    std::atomic<uint64_t> peak_;
    std::atomic<bool> stop_{false};
    std::thread sampler_;
};

struct Stages {
    std::vector<double> create, load, pixels, handOver, release, total;  // total: of a request from the host
    std::vector<double> ownShare;  // of each staged request: what is not Direct3D's or D3DX's
};

// The times at which the request on this thread reached each stage of D3DX's route.
thread_local double t_stages[static_cast<int>(PictureStage::Released) + 1];

void RecordStage(PictureStage stage) { t_stages[static_cast<int>(stage)] = Now(); }

bool Request(const Bytes& file);

// One request through picture building itself, its stages timed by the stage hook.
bool TimeStages(const Bytes& file, Stages& s) {
    SetPictureStageHook(&RecordStage);
    std::fill(std::begin(t_stages), std::end(t_stages), 0.0);
    const bool done = Request(file);
    SetPictureStageHook(nullptr);
    const auto at = [](PictureStage stage) { return t_stages[static_cast<int>(stage)]; };
    if (!done || at(PictureStage::Released) == 0.0) return false;  // not D3DX's route
    const double create = at(PictureStage::ContextMade) - at(PictureStage::Begin);
    const double load = at(PictureStage::SurfaceLoaded) - at(PictureStage::ContextMade);
    const double release = at(PictureStage::Released) - at(PictureStage::HandedOver);
    const double total = at(PictureStage::Released) - at(PictureStage::Begin);
    s.create.push_back(create);
    s.load.push_back(load);
    s.pixels.push_back(at(PictureStage::PixelsDone) - at(PictureStage::SurfaceLocked));
    s.handOver.push_back(at(PictureStage::HandedOver) - at(PictureStage::PixelsDone));
    s.release.push_back(release);
    // Direct3D's and D3DX's share: making the device, loading the surface, releasing both.
    s.ownShare.push_back(100.0 * (total - create - load - release) / total);
    return true;
}

// A 4096 x 4096 picture with the DX10 header: random blocks of every valid mode (BC6H and BC7
// take each of theirs in turn, as encoded pictures mix them), or random pixels.
Bytes MakeDx10Picture(uint32_t dxgi, uint32_t unitBytes, bool blocks) {
    const size_t units = blocks ? size_t{kSize / 4} * (kSize / 4) : size_t{kSize} * kSize;
    return WriteDx10Dds(Dx10(dxgi, kSize, kSize, RandomUnits(dxgi, units, unitBytes)));
}

bool Request(const Bytes& file) {
    LocalBlock info, bits;
    const PluginResult result = DecodeFromMemory(file.data(), static_cast<intptr_t>(file.size()),
                                                 PictureRequest{nullptr, 0, info.put(), bits.put()});
    return result == kSuccess;
}

// The median of `runs` requests for the file, in ms; negative when one fails.
double MedianRequest(const Bytes& file, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = Now();
        if (!Request(file)) return -1;
        times.push_back(Now() - t);
    }
    return Median(times);
}

// memcpy into a block allocated for each copy, as the pixel pass must: its first touch of
// fresh pages costs more than the copy itself under Wine.
double MedianMemcpyFresh(size_t bytes, int runs) {
    std::vector<uint8_t> from(bytes, 1);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = Now();
        const LocalBlock block(LocalAlloc(LMEM_FIXED, bytes));
        std::memcpy(block.get(), from.data(), bytes);
        times.push_back(Now() - t);
        from[i] = static_cast<uint8_t*>(block.get())[bytes - 1 - i];
    }
    return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 7;
    const char* build = sizeof(void*) == 8 ? "x64" : "x86";
    std::printf("Sorvane benchmark, %s build, %ux%u pictures, median of %d runs\n", build, kSize, kSize, runs);
    // Composite over white, the default: the costlier of the two alpha paths.
    RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKeyPath);

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

    // Wine reports no PrivateUsage; committed private regions are what a request costs.
    {
        const uint64_t before = CommittedPrivateBytes();
        LocalBlock block(LocalAlloc(LMEM_FIXED, 64 << 20));
        const uint64_t during = CommittedPrivateBytes();
        block.reset();
        std::printf("memory check: a 64 MiB block reads as %.1f MiB of committed private memory\n",
                    static_cast<double>(during - before) / kMiB);
    }

    const size_t dibBytes = size_t{DibStride(kSize, 24)} * kSize;
    const double fresh24 = MedianMemcpyFresh(dibBytes, 15);
    std::printf("memcpy of the 24-bit picture (%.0f MiB) into a new block: %.2f ms\n\n", dibBytes / kMiB, fresh24);

    struct Summary {
        std::string format;
        double request, own, pixelRatio, peak;
    };
    std::vector<Summary> summaries;
    const DdsFormat kFormats[] = {DdsFormat::DXT1, DdsFormat::DXT5, DdsFormat::A8R8G8B8, DdsFormat::R8G8B8};
    std::printf("%-9s %-7s %9s %9s %9s %9s %9s %9s %7s %9s %9s\n", "format", "rows", "request", "context", "load",
                "pixels", "handover", "release", "own %", "px/memcpy", "peak MiB");
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
                Request(file);
                s.total.push_back(Now() - t);
            }
            PeakMemory peak;
            Request(file);
            const double peakMiB = peak.Stop();
            const double total = Median(s.total), create = Median(s.create), load = Median(s.load);
            const double own = Median(s.ownShare), ratio = Median(s.pixels) / fresh24;
            std::printf("%-9s %-7s %9.1f %9.1f %9.1f %9.2f %9.3f %9.1f %6.1f%% %9.2f %9.1f\n",
                        FormatName(format).c_str(), parallel ? "pool" : "serial", total, create, load,
                        Median(s.pixels), Median(s.handOver), Median(s.release), own, ratio, peakMiB);
            if (parallel) summaries.push_back({FormatName(format), total, own, ratio, peakMiB});
        }
    }
    // The same legacy pictures where D3DX is missing: our reader, with no device.
    SetD3dxUsable(false);
    std::printf("\n%-9s %9s %12s %10s %9s\n", "no D3DX", "request", "/ with D3DX", "px/memcpy", "peak MiB");
    for (size_t i = 0; i < std::size(kFormats); ++i) {
        const Bytes file = MakePicture(kFormats[i]);
        const double request = MedianRequest(file, runs);
        if (request < 0) {
            std::printf("%s without D3DX: decoding failed\n", FormatName(kFormats[i]).c_str());
            return 1;
        }
        PeakMemory peak;
        Request(file);
        const double peakMiB = peak.Stop();
        std::printf("%-9s %9.1f %12.3f %10.2f %9.1f\n", FormatName(kFormats[i]).c_str(), request,
                    request / summaries[i].request, request / fresh24, peakMiB);
        summaries.push_back({FormatName(kFormats[i]) + "_NOD3DX", request, 100.0, request / fresh24, peakMiB});
    }
    SetD3dxUsable(true);
    // Where the peak comes from: the device alone, and the device with the loaded surface.
    {
        const Bytes file = MakePicture(DdsFormat::A8R8G8B8);
        const uint64_t before = CommittedPrivateBytes();
        PeakMemory loading;
        D3dContext context;
        context.Create();
        const uint64_t withDevice = CommittedPrivateBytes();
        ComRef<IDirect3DSurface9> surface;
        test::LoadWithD3dx(context, file, surface);
        const uint64_t withSurface = CommittedPrivateBytes();
        std::printf("\nA8R8G8B8 request's memory: device %.1f MiB, device and loaded surface %.1f MiB, peak while "
                    "loading %.1f MiB\n",
                    (withDevice - before) / kMiB, (withSurface - before) / kMiB, loading.Stop());
    }
    // Our reader's route against D3DX's on the same picture, and each decoder alone.
    const double legacyDxt1 = summaries.empty() ? 0 : summaries[0].request;
    const struct {
        const char* name;
        uint32_t dxgi, unitBytes;
        bool blocks;
    } kOwn[] = {{"BC1", 71, 8, true},   {"BC3", 77, 16, true},  {"BC5", 83, 16, true},
                {"BC6H", 95, 16, true}, {"BC7", 98, 16, true}, {"R8G8B8A8", 28, 4, false}};
    std::printf("\n%-9s %9s %12s %10s %9s %14s\n", "our route", "request", "/ DXT1 D3DX", "px/memcpy", "peak MiB",
                "decoder MP/s");
    for (const auto& own : kOwn) {
        const Bytes file = MakeDx10Picture(own.dxgi, own.unitBytes, own.blocks);
        const double request = MedianRequest(file, runs);
        if (request < 0) {
            std::printf("%s: decoding failed\n", own.name);
            return 1;
        }
        PeakMemory peak;
        Request(file);
        const double peakMiB = peak.Stop();
        // The decoder alone on the request's thread, a band of rows at a time into scratch.
        dds::DdsImage image;
        dds::ReadDds(file.data(), file.size(), image);
        std::vector<uint8_t> scratch(size_t{kSize} * 4 * 16);
        std::vector<double> decodes;
        for (int i = 0; i < 3; ++i) {
            const double t = Now();
            for (uint32_t row = 0; row < kSize; row += 16) dds::DecodeRows(image, row, 16, scratch.data(), kSize * 4);
            decodes.push_back(Now() - t);
        }
        std::printf("%-9s %9.1f %12.2f %10.2f %9.1f %14.0f\n", own.name, request, request / legacyDxt1,
                    request / fresh24, peakMiB, kSize * double(kSize) / 1000.0 / Median(decodes));
        summaries.push_back({std::string(own.name) + "_DX10", request, 100.0, request / fresh24, peakMiB});
    }

    // Tone mapping's two passes against the same request without them.
    const struct {
        const char* name;
        uint32_t dxgi, unitBytes;
        bool blocks;
    } kHdr[] = {{"BC6H", 95, 16, true}, {"R16G16B16A16_FLOAT", 10, 8, false}};
    std::vector<std::string> toneMapped;
    std::printf("\n%-19s %9s %9s %10s\n", "tone-mapped", "request", "plain", "/ plain");
    for (const auto& hdr : kHdr) {
        const Bytes file = MakeDx10Picture(hdr.dxgi, hdr.unitBytes, hdr.blocks);
        double medians[2];
        for (const bool toneMap : {false, true}) {
            test::SetSettingsDword(L"ToneMap", toneMap ? 1 : 0);
            if ((medians[toneMap] = MedianRequest(file, runs)) < 0) {
                std::printf("%s: decoding failed\n", hdr.name);
                return 1;
            }
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKeyPath);
        std::printf("%-19s %9.1f %9.1f %10.2f\n", hdr.name, medians[1], medians[0], medians[1] / medians[0]);
        char line[160];
        std::snprintf(line, sizeof line, "summary %s %s_TONEMAP request_ms=%.1f over_plain=%.2f", build, hdr.name,
                      medians[1], medians[1] / medians[0]);
        toneMapped.push_back(line);
    }

    std::printf("\nthe request's surface holds %.0f MiB (32-bit) or %.0f MiB (24-bit); its DIB %.0f MiB\n\n",
                kSize * 4.0 * kSize / kMiB, kSize * 3.0 * kSize / kMiB, dibBytes / kMiB);
    for (const Summary& s : summaries) {
        std::printf("summary %s %s request_ms=%.1f own_pct=%.1f pixel_over_memcpy_new=%.2f peak_mib=%.1f\n", build,
                    s.format.c_str(), s.request, s.own, s.pixelRatio, s.peak);
    }
    for (const std::string& line : toneMapped) std::printf("%s\n", line.c_str());
    SetRowLoopsParallel(true);
    return 0;
}
