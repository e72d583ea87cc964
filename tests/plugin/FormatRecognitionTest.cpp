#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <locale>
#include <new>

#include "FormatRecognition.h"
#include "HeaderProbe.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

using test::Bytes;
using test::DdsFormat;

Bytes SmallDds() {
    return test::WriteDds(test::MakeUncompressed(DdsFormat::A8R8G8B8, 4, 4, [](uint32_t x, uint32_t y) {
        return 0xFF000000u | (x * 0x40) | (y * 0x4000);
    }));
}

// A DDS file larger than the probe buffer: 64 x 64 pixels of 4 bytes after the header.
Bytes LargeDds() {
    return test::WriteDds(test::MakeUncompressed(DdsFormat::X8R8G8B8, 64, 64,
                                                 [](uint32_t x, uint32_t y) { return x ^ y; }));
}

// A block-compressed DDS file whose FourCC no DDS reader knows. Wine's D3DX refuses it as
// invalid data rather than describing it with D3DFMT_UNKNOWN; either way the probe answers 2.
Bytes UnknownFourCcDds() {
    Bytes bytes = test::WriteDds(test::MakeCompressed(
        DdsFormat::DXT1, 4, 4, [](uint32_t, uint32_t) { return test::Dxt1Block(0xFFFF, 0, 0); }));
    const uint8_t fourCc[] = {'Q', 'Z', 'X', '9'};
    std::memcpy(bytes.data() + 84, fourCc, 4);  // magic 4 + header offset of ddspf.dwFourCC 80
    return bytes;
}

// A bottom-up 24-bit bitmap file of grey pixels: an image D3DX reads that is not DDS.
Bytes Bitmap(uint32_t width, uint32_t height) {
    const uint32_t stride = (width * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + stride * height;
    info.biSize = sizeof info;
    info.biWidth = static_cast<LONG>(width);
    info.biHeight = static_cast<LONG>(height);
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    Bytes out(file.bfSize, 0x80);
    std::memcpy(out.data(), &file, sizeof file);
    std::memcpy(out.data() + sizeof file, &info, sizeof info);
    return out;
}

Bytes Garbage() { return Bytes(kProbeSize, 0x5A); }

Bytes WithWidth(Bytes dds, uint32_t width) {
    std::memcpy(dds.data() + 16, &width, 4);  // magic 4 + header offset of the width 12
    return dds;
}

Bytes LargeDx10() {
    return test::WriteDx10Dds(test::Dx10(98, 64, 64, Bytes(16 * 16 * 16, 0x40)));  // BC7
}

Bytes FirstBytes(const Bytes& file) {
    return Bytes(file.begin(), file.begin() + std::min<size_t>(file.size(), kProbeSize));
}

TEST(MatchesDdsExtension, WholeExtensionInAnyLetterCase) {
    const struct {
        const wchar_t* extension;
        bool expected;
    } kCases[] = {
        {L".dds", true},   {L".DDS", true},  {L".Dds", true},   {L".dDs", true},
        {L"", false},      {L".", false},    {L".dd", false},   {L".dds2", false},
        {L"dds", false},   {L".ddss", false}, {L"..dds", false}, {L".dds ", false},
        {L" .dds", false}, {L".bak", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "extension \"" << c.extension << "\"");
        EXPECT_EQ(MatchesDdsExtension(c.extension), c.expected);
    }
}

// A ctype facet that fails while the case-insensitive pattern is compiled, the way an
// allocation inside the compile fails when memory runs out.
struct FailingCtype : std::ctype<wchar_t> {
    char_type do_tolower(char_type) const override { throw std::bad_alloc(); }
    const char_type* do_tolower(char_type*, const char_type*) const override { throw std::bad_alloc(); }
};

TEST(MatchesDdsExtension, FailedCompileIsRetried) {
    // The pattern is compiled once per process, so the failure is made in a process of its own
    // in which nothing has compiled it yet.
    EXPECT_EXIT(
        {
            std::locale::global(std::locale(std::locale::classic(), new FailingCtype));
            bool threw = false;
            try {
                MatchesDdsExtension(L".dds");
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            std::locale::global(std::locale::classic());
            const bool matched = MatchesDdsExtension(L".DDS");
            std::fprintf(stderr, "threw=%d matched=%d\n", threw, matched);
            std::fflush(stderr);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "threw=1 matched=1");
}

TEST(ProbeHeader, BytesFirstThenTheFileOnDisk) {
    test::TempDir dir;
    const std::wstring ddsFile = dir.Write(L"large.dds", LargeDds());
    const std::wstring junkFile = dir.Write(L"junk.dds", Garbage());
    const std::wstring bmpFile = dir.Write(L"photo.dds", Bitmap(8, 8));
    const std::wstring unknownFile = dir.Write(L"unknown.dds", UnknownFourCcDds());
    const std::wstring folder = dir.path() + L"\\folder.dds";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring missing = dir.path() + L"\\archive.zip\\member.dds";

    const struct {
        const char* what;
        Bytes bytes;
        const wchar_t* name;
        PluginResult expected;
    } kCases[] = {
        {"DDS bytes, no name", SmallDds(), nullptr, kSuccess},
        {"DDS bytes, name of another file", SmallDds(), junkFile.c_str(), kSuccess},
        {"bitmap bytes, no name", Bitmap(8, 8), nullptr, kNotSupported},
        {"bitmap bytes and file named .dds", Bitmap(8, 8), bmpFile.c_str(), kNotSupported},
        {"unknown FourCC, no name", UnknownFourCcDds(), nullptr, kNotSupported},
        {"unknown FourCC and its file", UnknownFourCcDds(), unknownFile.c_str(), kNotSupported},
        {"refused bytes, no name", Garbage(), nullptr, kNotSupported},
        {"refused bytes, empty name", Garbage(), L"", kNotSupported},
        {"refused bytes, name not on disk", Garbage(), missing.c_str(), kSuccess},
        {"refused bytes, directory", Garbage(), folder.c_str(), kSuccess},
        {"refused bytes, refused file", Garbage(), junkFile.c_str(), kNotSupported},
        {"refused bytes, DDS file", Garbage(), ddsFile.c_str(), kSuccess},
        // D3DX may refuse the first bytes of a larger file for its missing data (Wine's does);
        // the file on disk decides then.
        {"first bytes of a large DDS file", FirstBytes(LargeDds()), ddsFile.c_str(), kSuccess},
        {"no bytes, DDS file", Bytes(), ddsFile.c_str(), kSuccess},
        // D3DX describes a header of width 0, but it is no picture.
        {"DDS bytes of width 0, no name", WithWidth(SmallDds(), 0), nullptr, kNotSupported},
        {"DDS bytes of width 2^31, no name", WithWidth(SmallDds(), 0x80000000), nullptr, kNotSupported},
        // Our reader's files are claimed from the header, whatever follows.
        {"first bytes of a large DX10 file", FirstBytes(LargeDx10()), nullptr, kSuccess},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        // A buffer of its own for the empty case too, so the pointer is never null.
        const Bytes storage = c.bytes.empty() ? Bytes(1) : c.bytes;
        EXPECT_EQ(ProbeHeader(storage.data(), static_cast<ProbeCount>(c.bytes.size()), c.name),
                  c.expected);
    }
}

TEST(ProbeHeader, RefusedInputsNeverReachD3dx) {
    const Bytes dds = SmallDds();
    EXPECT_EQ(ProbeHeader(nullptr, kProbeSize, nullptr), kInternalError);
    EXPECT_EQ(ProbeHeader(nullptr, kProbeSize, L"C:\\missing.dds"), kInternalError);
    EXPECT_EQ(ProbeHeader(dds.data(), -1, nullptr), kInternalError);
#if defined(_WIN64)
    // Cut to 32 bits this count would be 0, which D3DX would refuse as invalid data (2).
    EXPECT_EQ(ProbeHeader(dds.data(), ProbeCount{0x100000000}, nullptr), kInternalError);
    EXPECT_EQ(ProbeHeader(dds.data(), ProbeCount{0x100000000} + ProbeCount(dds.size()), nullptr),
              kInternalError);
#endif
}

TEST(ProbeHeader, FaultWhileReadingCountsAsInvalidData) {
    // A buffer D3DX cannot read: the fault is caught and taken as invalid data.
    void* page = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(ProbeHeader(page, kProbeSize, nullptr), kNotSupported);
    EXPECT_EQ(ProbeHeader(page, kProbeSize, L"C:\\no such folder\\picture.dds"), kSuccess);
    VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace sorvane
