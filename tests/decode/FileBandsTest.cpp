// Our reader's pictures read from a file band by band: the same DIB as from the whole file in
// memory at every band edge, and the codes of a file too short for its picture or that shrinks
// while it is read.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <vector>

#include "FileBands.h"
#include "ImportPatch.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

using namespace test;

Bytes Random(size_t count) {
    std::mt19937 random(static_cast<uint32_t>(count));
    Bytes out(count);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random());
    return out;
}

Bytes Bc1(uint32_t width, uint32_t height) {
    return WriteDx10Dds(Dx10(71, width, height, Random(size_t{(width + 3) / 4} * ((height + 3) / 4) * 8)));
}

enum class Step { Decode, DrawItemOne, CopyRows };

struct Drawn {
    int result;
    uint32_t width, height;
    std::vector<uint8_t> bits;
};

// The picture the source gives, over the checkerboard, which shows where each row landed.
Drawn Take(FileBands& source, Step step) {
    DdsDescription description;
    int result = source.Describe(description);
    if (result != kSuccess) return {result, 0, 0, {}};
    const PixelView view{AlphaMode{true, 255, 255, 255}, true};
    PixelImage dib;
    if (step == Step::Decode) result = source.Decode(description.image, view, dib);
    if (step == Step::CopyRows) result = source.CopyRows(description.image, dib);
    if (step == Step::DrawItemOne && (result = dib.Allocate(description.image.width, description.image.height, 24)) == 0) {
        result = source.Draw(description.image, 1, 0, view, dib, 0, 0);
    }
    const PixelLayout& layout = dib.layout();
    return {result, layout.width, layout.height,
            std::vector<uint8_t>(dib.bits(), dib.bits() + (result == 0 ? layout.stride * layout.height : 0))};
}

TEST(FileBands, EveryBandEdgeGivesTheWholeFilesPicture) {
    Dx10Image nv12 = Dx10(103, 6, 10, Random(6 * 10 + 6 * 5));
    DdsImage p8 = MakeUncompressed(DdsFormat::P8, 5, 7, [](uint32_t x, uint32_t y) { return x * 40 + y * 3; });
    for (uint32_t i = 0; i < 256; ++i) p8.palette.push_back(0xFF000000u | i * 0x010307u);
    Dx10Image array = Dx10(28, 3, 5, Random(3 * 5 * 4));
    array.arraySize = 2;
    array.rest = Random(3 * 5 * 4 + 1);
    const Bytes bc1 = Bc1(20, 8);
    const struct {
        const char* what;
        Bytes file;
        size_t bandBytes;
        Step step;
        int result;
    } kCases[] = {
        // BC1 20 pixels wide: 40 bytes a row of blocks, three in a band of 120 bytes.
        {"a row of blocks short of a band", bc1, 120, Step::Decode, 0},
        {"exactly a band", Bc1(20, 12), 120, Step::Decode, 0},
        {"a band and a row of blocks", Bc1(20, 16), 120, Step::Decode, 0},
        {"two bands and two pixel rows", Bc1(20, 26), 120, Step::Decode, 0},
        {"one byte short of a band", Bc1(20, 12), 119, Step::Decode, 0},
        {"a band smaller than a row of blocks", Bc1(20, 9), 10, Step::Decode, 0},
        {"NV12: pairs of rows with their chroma", WriteDx10Dds(nv12), 40, Step::Decode, 0},
        {"P8: the palette from the head", WriteDds(p8), 10, Step::Decode, 0},
        {"X1R5G5B5 rows copied, padding cleared",
         WriteDds(MakeUncompressed(DdsFormat::X1R5G5B5, 3, 5, [](uint32_t x, uint32_t y) { return x * 0x1234 + y; })), 12,
         Step::CopyRows, 0},
        {"the second element of an array", WriteDx10Dds(array), 24, Step::DrawItemOne, 0},
        {"a row of blocks past the real band", Bc1(4096, 4 * 513), kFileBandBytes, Step::Decode, 0},
        {"truncated after its header", Bytes(bc1.begin(), bc1.begin() + 148), 120, Step::Decode, 2},
        {"one byte short of its picture", Bytes(bc1.begin(), bc1.end() - 1), 120, Step::Decode, 2},
        {"empty", Bytes(), 120, Step::Decode, 2},
    };
    TempDir dir;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        FileBands memory(c.file.data(), c.file.size());
        FileBands file(c.bandBytes);
        ASSERT_EQ(file.Open(dir.Write(L"bands.dds", c.file).c_str()), kSuccess);
        const Drawn whole = Take(memory, c.step), banded = Take(file, c.step);
        EXPECT_EQ(whole.result, c.result);
        EXPECT_EQ(banded.result, c.result);
        EXPECT_EQ(std::vector<uint32_t>({banded.width, banded.height}), std::vector<uint32_t>({whole.width, whole.height}));
        EXPECT_TRUE(banded.bits == whole.bits);
    }
}

// A file that shrinks while it is read: reads after the head find its end.
std::atomic<int> g_reads{0}, g_shrinksAt{0};
decltype(&ReadFile) g_readFile;
BOOL WINAPI ShrinkingRead(HANDLE file, LPVOID to, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    if (++g_reads >= g_shrinksAt) {
        *got = 0;
        return TRUE;
    }
    return g_readFile(file, to, count, got, overlapped);
}

TEST(FileBands, AFileThatShrinksWhileReadGivesAFileError) {
    ImportPatch patch(GetModuleHandleW(nullptr), "kernel32.dll", "ReadFile", reinterpret_cast<void*>(&ShrinkingRead));
    ASSERT_TRUE(patch.ok());
    g_readFile = patch.original<decltype(&ReadFile)>();
    TempDir dir;
    const std::wstring path = dir.Write(L"shrinks.dds", Bc1(20, 26));
    const struct {
        const char* what;
        int shrinksAt;  // the read that finds the end: 1 is the head's
        bool whole;
        int result;
    } kCases[] = {
        {"before its head", 1, false, kFileError},
        {"before the first band", 2, false, kFileError},
        {"before the third band", 4, false, kFileError},
        {"before the whole file for D3DX", 2, true, kFileError},
        {"never", 100, false, kSuccess},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        g_reads = 0;
        g_shrinksAt = c.shrinksAt;
        FileBands file(120);
        int result = file.Open(path.c_str());
        DdsDescription description;
        if (result == kSuccess) result = file.Describe(description);
        PixelImage dib;
        const void* bytes = nullptr;
        size_t size = 0;
        if (result == kSuccess) {
            result = c.whole ? file.WholeFile(bytes, size) : file.Decode(description.image, PixelView{}, dib);
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(dib.bits() != nullptr || bytes != nullptr, c.result == kSuccess);
    }
}

}  // namespace
}  // namespace sorvane
