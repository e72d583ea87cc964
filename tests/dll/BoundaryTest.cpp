// The exports as a host sees them: argument and mode checks, picture information, results.
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"

namespace sorvane::test {
namespace {

Bytes SmallDds(uint32_t width = 6, uint32_t height = 5) {
    return WriteDds(MakeUncompressed(DdsFormat::X8R8G8B8, width, height, [](uint32_t x, uint32_t y) { return x + y; }));
}

// A 2x1 24-bit BMP, which D3DX reads but which is no DDS file.
Bytes SmallBmp() {
    return {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0,
            0, 0, 8, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
}

PictureInfo Untouched() {
    PictureInfo info;
    std::memset(&info, 0xA5, sizeof info);
    return info;
}

bool IsUntouched(const PictureInfo& info) {
    const PictureInfo pattern = Untouched();
    return std::memcmp(&info, &pattern, sizeof info) == 0;
}

TEST(Exports, AllElevenAreThere) {
    const Plugin& p = LoadedPlugin();
    ASSERT_NE(p.module, nullptr) << "the plug-in could not be loaded";
    EXPECT_NE(p.GetPluginInfo, nullptr);
    EXPECT_NE(p.GetPluginInfoW, nullptr);
    EXPECT_NE(p.IsSupported, nullptr);
    EXPECT_NE(p.IsSupportedW, nullptr);
    EXPECT_NE(p.GetPictureInfo, nullptr);
    EXPECT_NE(p.GetPictureInfoW, nullptr);
    EXPECT_NE(p.GetPicture, nullptr);
    EXPECT_NE(p.GetPictureW, nullptr);
    EXPECT_NE(p.ConfigurationDlg, nullptr);
    // One function under two names.
    EXPECT_EQ(reinterpret_cast<void*>(p.GetPreview), reinterpret_cast<void*>(p.GetPreviewW));
}

TEST(Exports, PreviewAndUnknownFunctionsAreNotImplemented) {
    const Plugin& p = LoadedPlugin();
    HLOCAL a = nullptr, b = nullptr;
    EXPECT_EQ(p.GetPreview("x.dds", 0, 0, &a, &b, nullptr, 0), -1);
    EXPECT_EQ(p.GetPreviewW(nullptr, 0, 7, nullptr, nullptr, nullptr, 0), -1);
    EXPECT_EQ(p.ConfigurationDlg(nullptr, 2), -1);
    EXPECT_EQ(p.ConfigurationDlg(nullptr, -1), -1);
}

TEST(PictureInfoExport, DescribesMemoryImagesAndFiles) {
    const Plugin& p = LoadedPlugin();
    TempDir dir;
    const Bytes file = SmallDds(6, 5);
    const std::wstring path = dir.Write(L"six.dds", file);
    const std::string ansiPath(path.begin(), path.end());  // the temp path is ASCII here

    PictureInfo info = Untouched();
    ASSERT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 0);
    EXPECT_EQ(info.width, 6);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.bitsPerPixel, 24);
    EXPECT_EQ(info.originX | info.originY | info.densityX | info.densityY, 0);
    EXPECT_EQ(info.textInfo, nullptr);

    const struct {
        const char* what;
        int (*call)(const Plugin&, const Bytes&, const std::wstring&, const std::string&, PictureInfo*);
    } kCalls[] = {
        {"W file, nonzero offset", [](const Plugin& p, const Bytes&, const std::wstring& w, const std::string&,
                                      PictureInfo* i) { return p.GetPictureInfoW(w.c_str(), 1234, 0, i); }},
        {"ANSI file", [](const Plugin& p, const Bytes&, const std::wstring&, const std::string& a,
                         PictureInfo* i) { return p.GetPictureInfo(a.c_str(), 0, 0, i); }},
        {"ANSI memory, flags 0x101", [](const Plugin& p, const Bytes& f, const std::wstring&, const std::string&,
                                        PictureInfo* i) {
             return p.GetPictureInfo(reinterpret_cast<const char*>(f.data()), static_cast<LONG_PTR>(f.size()), 0x101, i);
         }},
        {"W memory", [](const Plugin& p, const Bytes& f, const std::wstring&, const std::string&, PictureInfo* i) {
             return p.GetPictureInfoW(reinterpret_cast<const wchar_t*>(f.data()), static_cast<LONG_PTR>(f.size()), 1, i);
         }},
    };
    for (const auto& c : kCalls) {
        PictureInfo other = Untouched();
        ASSERT_EQ(c.call(p, file, path, ansiPath, &other), 0) << c.what;
        EXPECT_EQ(std::memcmp(&other, &info, sizeof info), 0) << c.what;
    }
}

TEST(PictureInfoExport, RefusalsLeaveTheRecordUntouched) {
    const Plugin& p = LoadedPlugin();
    TempDir dir;
    const Bytes dds = SmallDds();
    const Bytes bmp = SmallBmp();
    const std::wstring bmpAsDds = dir.Write(L"bitmap.dds", bmp);
    const std::wstring missing = dir.path() + L"\\missing.dds";
    const char* ddsBytes = reinterpret_cast<const char*>(dds.data());
    // A header neither reader takes (width 0), so the host's word on its length is all there is.
    Bytes noWidth = dds;
    std::memset(noWidth.data() + 16, 0, 4);
    const struct {
        const char* what;
        int expected;
        int result;
    } kCases[] = {
        {"mode 2", 8, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfo(ddsBytes, 100, 2, &i); return IsUntouched(i) ? r : -100; }()},
        {"mode 7 with high bits", 8, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfo(ddsBytes, 100, 0x107, &i); return IsUntouched(i) ? r : -100; }()},
        {"null source", 8, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfoW(nullptr, 0, 0, &i); return IsUntouched(i) ? r : -100; }()},
        {"null record", 8, p.GetPictureInfo(ddsBytes, static_cast<LONG_PTR>(dds.size()), 1, nullptr)},
        {"a BMP in memory", 2, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfo(reinterpret_cast<const char*>(bmp.data()), static_cast<LONG_PTR>(bmp.size()), 1, &i); return IsUntouched(i) ? r : -100; }()},
        {"a BMP named .dds", 2, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfoW(bmpAsDds.c_str(), 0, 0, &i); return IsUntouched(i) ? r : -100; }()},
        {"truncated DDS", 2, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfo(ddsBytes, 64, 1, &i); return IsUntouched(i) ? r : -100; }()},
#if defined(_WIN64)
        {"over 4 GiB", 8, [&] { PictureInfo i = Untouched(); int r = p.GetPictureInfo(reinterpret_cast<const char*>(noWidth.data()), 0x100000000ll, 1, &i); return IsUntouched(i) ? r : -100; }()},
#endif
    };
    for (const auto& c : kCases) EXPECT_EQ(c.result, c.expected) << c.what;
    // A missing file: D3DX's own failure, mapped (not 0, and the record untouched).
    PictureInfo i = Untouched();
    EXPECT_NE(p.GetPictureInfoW(missing.c_str(), 0, 0, &i), 0);
    EXPECT_TRUE(IsUntouched(i));
}

TEST(PictureInfoExport, VolumeAndCubeFilesGiveTheTopLevelSize) {
    const Plugin& p = LoadedPlugin();
    DdsImage volume = MakeUncompressed(DdsFormat::A8R8G8B8, 8, 4, [](uint32_t, uint32_t) { return 0xFF00FF00u; });
    volume.depth = 3;
    DdsImage cube = MakeUncompressed(DdsFormat::R5G6B5, 16, 16, [](uint32_t, uint32_t) { return 0x1234u; });
    cube.cube = true;
    DdsImage x1 = MakeUncompressed(DdsFormat::X1R5G5B5, 3, 2, [](uint32_t, uint32_t) { return 0x1234u; });
    const struct {
        const char* what;
        DdsImage image;
        int width, height, bits;
    } kCases[] = {{"volume", volume, 8, 4, 24}, {"cube", cube, 16, 16, 24}, {"X1R5G5B5", x1, 3, 2, 16}};
    for (const auto& c : kCases) {
        const Bytes file = WriteDds(c.image);
        PictureInfo info = Untouched();
        ASSERT_EQ(p.GetPictureInfo(reinterpret_cast<const char*>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &info), 0) << c.what;
        EXPECT_EQ(info.width, c.width) << c.what;
        EXPECT_EQ(info.height, c.height) << c.what;
        EXPECT_EQ(info.bitsPerPixel, c.bits) << c.what;
    }
}

TEST(PictureExport, ChecksArgumentsBeforeAnyWork) {
    const Plugin& p = LoadedPlugin();
    const Bytes dds = SmallDds();
    const char* bytes = reinterpret_cast<const char*>(dds.data());
    const auto size = static_cast<LONG_PTR>(dds.size());
    HLOCAL info = reinterpret_cast<HLOCAL>(0x1111), bits = reinterpret_cast<HLOCAL>(0x2222);
    EXPECT_EQ(p.GetPicture(bytes, size, 1, &info, nullptr, nullptr, 0), 8);
    EXPECT_EQ(p.GetPicture(bytes, size, 1, nullptr, &bits, nullptr, 0), 8);
    EXPECT_EQ(p.GetPictureW(nullptr, size, 0, &info, &bits, nullptr, 0), 8);
    EXPECT_EQ(p.GetPicture(bytes, size, 3, &info, &bits, nullptr, 0), 8);
    EXPECT_EQ(p.GetPicture(bytes, size, 0x106, &info, &bits, nullptr, 0), 8);
    EXPECT_EQ(info, reinterpret_cast<HLOCAL>(0x1111));
    EXPECT_EQ(bits, reinterpret_cast<HLOCAL>(0x2222));
}

#if !defined(_WIN64)
// Calls fn with n pointer-sized arguments and returns how far the stack pointer moved.
extern "C" int MeasureStackAfterCall(void* fn, const uintptr_t* args, int n);
asm(R"(
    .text
    .globl _MeasureStackAfterCall
_MeasureStackAfterCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %ebx
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %eax
    subl %ebx, %eax
    movl %ebx, %esp
    popl %ebx
    popl %esi
    popl %ebp
    ret
)");

TEST(Exports, EveryExportRemovesItsOwnArguments) {
    const Plugin& p = LoadedPlugin();
    static char buffer[64];
    static PictureInfo info;
    const uintptr_t infoArgs[] = {0, reinterpret_cast<uintptr_t>(buffer), sizeof buffer};
    const uintptr_t supportedArgs[] = {0, 0};
    const uintptr_t pictureInfoArgs[] = {reinterpret_cast<uintptr_t>(buffer), 0, 2, reinterpret_cast<uintptr_t>(&info)};
    const uintptr_t pictureArgs[] = {reinterpret_cast<uintptr_t>(buffer), 0, 2, 0, 0, 0, 0};
    const uintptr_t configArgs[] = {0, 5};
    const struct {
        const char* name;
        void* fn;
        const uintptr_t* args;
        int n;
    } kCases[] = {
        {"GetPluginInfo", reinterpret_cast<void*>(p.GetPluginInfo), infoArgs, 3},
        {"GetPluginInfoW", reinterpret_cast<void*>(p.GetPluginInfoW), infoArgs, 3},
        {"IsSupported", reinterpret_cast<void*>(p.IsSupported), supportedArgs, 2},
        {"IsSupportedW", reinterpret_cast<void*>(p.IsSupportedW), supportedArgs, 2},
        {"GetPictureInfo", reinterpret_cast<void*>(p.GetPictureInfo), pictureInfoArgs, 4},
        {"GetPictureInfoW", reinterpret_cast<void*>(p.GetPictureInfoW), pictureInfoArgs, 4},
        {"GetPicture", reinterpret_cast<void*>(p.GetPicture), pictureArgs, 7},
        {"GetPictureW", reinterpret_cast<void*>(p.GetPictureW), pictureArgs, 7},
        {"GetPreview", reinterpret_cast<void*>(p.GetPreview), pictureArgs, 7},
        {"ConfigurationDlg", reinterpret_cast<void*>(p.ConfigurationDlg), configArgs, 2},
    };
    for (const auto& c : kCases) {
        ASSERT_NE(c.fn, nullptr) << c.name;
        EXPECT_EQ(MeasureStackAfterCall(c.fn, c.args, c.n), 0) << c.name;
    }
}
#endif

}  // namespace
}  // namespace sorvane::test
