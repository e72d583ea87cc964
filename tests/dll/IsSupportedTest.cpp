#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "TestSupport.h"

namespace sorvane {
namespace {

using test::Bytes;
using test::DdsFormat;

constexpr size_t kProbeSize = 2048;

Bytes SmallDds() {
    return test::WriteDds(test::MakeUncompressed(DdsFormat::R5G6B5, 4, 4,
                                                 [](uint32_t x, uint32_t y) { return x * 0x841 + y; }));
}

// Larger than the probe: 64 x 64 pixels of 4 bytes after the header.
Bytes LargeDds() {
    return test::WriteDds(test::MakeUncompressed(DdsFormat::A8R8G8B8, 64, 64,
                                                 [](uint32_t x, uint32_t y) { return x << 8 | y; }));
}

// What the host hands over: the file's first 2048 bytes, zero after a shorter file's end.
Bytes ProbeBuffer(const Bytes& file) {
    Bytes buffer(kProbeSize, 0);
    std::copy_n(file.begin(), std::min(file.size(), kProbeSize), buffer.begin());
    return buffer;
}

ULONG_PTR AddressOf(const Bytes& buffer) { return reinterpret_cast<ULONG_PTR>(buffer.data()); }

std::string Narrow(const std::wstring& wide) {
    char narrow[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

LONG FilePosition(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

class IsSupported : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(plugin_.IsSupportedW, nullptr);
        ASSERT_NE(plugin_.IsSupported, nullptr);
    }
    const test::Plugin& plugin_ = test::LoadedPlugin();
    test::TempDir dir_;
};

TEST_F(IsSupported, ExtensionDecidesFirst) {
    const Bytes dds = SmallDds();
    const Bytes buffer = ProbeBuffer(dds);
    const struct {
        const wchar_t* name;
        int expected;
    } kCases[] = {
        {L"image.dds", 1},   {L"image.DdS", 1},  {L"image.bak.DDS", 1}, {L"image.dds2", 0},
        {L"image.dd", 0},    {L"image.dds.bak", 0}, {L"imagedds", 0},   {L"image.", 0},
        {L".dds", 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "name " << testing::PrintToString(std::wstring(c.name)));
        const std::wstring path = dir_.Write(c.name, dds);
        EXPECT_EQ(plugin_.IsSupportedW(path.c_str(), AddressOf(buffer)), c.expected);
        EXPECT_EQ(plugin_.IsSupported(Narrow(path).c_str(), AddressOf(buffer)), c.expected);

        // A name that fails the extension test leaves the host's file handle alone.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFilePointer(file, 7, nullptr, FILE_BEGIN);
        EXPECT_EQ(plugin_.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(file)), c.expected);
        EXPECT_EQ(FilePosition(file), c.expected ? static_cast<LONG>(dds.size()) : 7);
        CloseHandle(file);
    }
    // A directory's extension is no file's extension.
    EXPECT_EQ(plugin_.IsSupportedW((dir_.path() + L"\\folder.dds\\image").c_str(), AddressOf(buffer)), 0);
}

TEST_F(IsSupported, NullAndEmptyNames) {
    const Bytes buffer = ProbeBuffer(SmallDds());
    // Without a name the header decides, in both exports: hosts probe with a null name and
    // the file's first bytes. An empty name's empty extension never matches.
    EXPECT_EQ(plugin_.IsSupportedW(nullptr, AddressOf(buffer)), 1);
    EXPECT_EQ(plugin_.IsSupportedW(nullptr, AddressOf(ProbeBuffer(Bytes(64, 0x33)))), 0);
    EXPECT_EQ(plugin_.IsSupported(nullptr, AddressOf(buffer)), 1);
    EXPECT_EQ(plugin_.IsSupported(nullptr, AddressOf(ProbeBuffer(Bytes(64, 0x33)))), 0);
    EXPECT_EQ(plugin_.IsSupportedW(L"", AddressOf(buffer)), 0);
    EXPECT_EQ(plugin_.IsSupported("", AddressOf(buffer)), 0);
}

TEST_F(IsSupported, SourceIsAddressHandleOrNothing) {
    const Bytes dds = SmallDds();
    const std::wstring ddsFile = dir_.Write(L"image.dds", dds);
    const std::wstring missing = dir_.path() + L"\\missing.dds";
    EXPECT_EQ(plugin_.IsSupportedW(ddsFile.c_str(), 0), 0);
    EXPECT_EQ(plugin_.IsSupported(Narrow(ddsFile).c_str(), 0), 0);
    // With a name not on disk, an address is accepted whatever it holds (a fault reading it is
    // caught), while a handle that cannot be read is refused.
    EXPECT_EQ(plugin_.IsSupportedW(missing.c_str(), 0x10000), 1);
    EXPECT_EQ(plugin_.IsSupportedW(missing.c_str(), 0xFFFF), 0);
}

TEST_F(IsSupported, HandleIsReadFromTheStart) {
    const Bytes small = SmallDds();
    const Bytes large = LargeDds();
    const struct {
        const char* what;
        const Bytes& content;
        LONG start;
        LONG after;  // bytes read: the file's first 2048, or all of a shorter file
    } kCases[] = {
        {"small file, at its start", small, 0, static_cast<LONG>(small.size())},
        {"small file, at its end", small, static_cast<LONG>(small.size()), static_cast<LONG>(small.size())},
        {"large file, mid-file", large, static_cast<LONG>(large.size() / 2), static_cast<LONG>(kProbeSize)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = dir_.Write(L"handle.dds", c.content);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFilePointer(file, c.start, nullptr, FILE_BEGIN);
        EXPECT_EQ(plugin_.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(file)), 1);
        EXPECT_EQ(FilePosition(file), c.after);
        SetFilePointer(file, c.start, nullptr, FILE_BEGIN);
        EXPECT_EQ(plugin_.IsSupported(Narrow(path).c_str(), reinterpret_cast<ULONG_PTR>(file)), 1);
        EXPECT_EQ(FilePosition(file), c.after);
        CloseHandle(file);
    }
    // Without a name the bytes read decide alone: the small file's header, read from its start
    // although the handle stood at its end.
    const std::wstring path = dir_.Write(L"small.dds", small);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, 0, nullptr, FILE_END);
    EXPECT_EQ(plugin_.IsSupportedW(nullptr, reinterpret_cast<ULONG_PTR>(file)), 1);
    EXPECT_EQ(FilePosition(file), static_cast<LONG>(small.size()));
    CloseHandle(file);
}

TEST_F(IsSupported, UnreadableHandleIsNotSupported) {
    // The read fails; the name of a good DDS file does not rescue it.
    const std::wstring path = dir_.Write(L"image.dds", SmallDds());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(plugin_.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(file)), 0);
    CloseHandle(file);
}

TEST(PluginModule, UnloadsCleanlyAfterThePatternExists) {
    // A second copy of the plug-in, loaded under another name, compiles its extension pattern
    // and is unloaded. The pattern goes with the module; had its destructor been left with the
    // process's exit list, this test process would crash when it ends.
    test::TempDir dir;
    wchar_t original[MAX_PATH] = {};
    ASSERT_NE(test::LoadedPlugin().module, nullptr);
    ASSERT_NE(GetModuleFileNameW(test::LoadedPlugin().module, original, MAX_PATH), 0u);
    const std::wstring copy = dir.path() + L"\\Unloaded" + std::wcsrchr(original, L'.');
    ASSERT_TRUE(CopyFileW(original, copy.c_str(), FALSE));
    HMODULE module = LoadLibraryW(copy.c_str());
    ASSERT_NE(module, nullptr);
    auto isSupported = reinterpret_cast<IsSupportedWFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "IsSupportedW")));
    ASSERT_NE(isSupported, nullptr);
    const Bytes buffer = ProbeBuffer(SmallDds());
    EXPECT_EQ(isSupported(L"picture.dds", AddressOf(buffer)), 1);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), nullptr);
}

// Files of other formats are refused without D3DX looking at them: Wine's PNG decoder keeps
// megabytes for every look at a PNG whose data stops short of its size.

// A PNG of 24 x 557072 pixels with 16 bytes of data; the decoder does not check the CRCs (0).
Bytes ShortPng() {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&b](const char* type, const Bytes& data) {
        for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(data.size() >> shift));
        b.insert(b.end(), type, type + 4);
        b.insert(b.end(), data.begin(), data.end());
        b.insert(b.end(), 4, 0);
    };
    chunk("IHDR", {0, 0, 0, 24, 0, 0x08, 0x80, 0x10, 8, 2, 0, 0, 0});
    chunk("IDAT", Bytes(16, 0x5A));
    chunk("IEND", {});
    return b;
}

TEST_F(IsSupported, AShortPngIsRefusedAndCostsNothing) {
    const test::Plugin& p = plugin_;
    test::TempDir& dir = dir_;
    const Bytes png = ShortPng();
    const std::wstring path = dir.Write(L"short.dds", png);
    Bytes head(2048);  // as a host hands over the first bytes, zero-padded
    std::copy(png.begin(), png.end(), head.begin());
    const auto* memory = reinterpret_cast<const wchar_t*>(png.data());

    const uint64_t before = test::CommittedPrivateBytes();
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        PictureInfo info{};
        EXPECT_EQ(p.GetPictureInfoW(memory, static_cast<LONG_PTR>(png.size()), 1, &info), 2);
        EXPECT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 2);
        EXPECT_EQ(p.IsSupportedW(nullptr, reinterpret_cast<ULONG_PTR>(head.data())), 0);
        EXPECT_EQ(p.IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(head.data())), 0);
    }
    // Each round cost 26 MiB when D3DX looked at the bytes.
    EXPECT_LT(test::CommittedPrivateBytes() - before, 8ull << 20);
}

}  // namespace
}  // namespace sorvane
