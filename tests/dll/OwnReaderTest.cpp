// Files our own reader reads, through the built plug-in: the route, progress, the settings,
// the first picture of every shape, refusals and the probe.
#include <gtest/gtest.h>

#include <d3d9.h>
#include <d3dx9tex.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "Holders.h"
#include "ImportPatch.h"
#include "TestSupport.h"

namespace sorvane::test {
namespace {

// What a request asks of the system, counted through the plug-in's imports.
std::atomic<int> g_direct3d{0}, g_windows{0}, g_settingsReads{0}, g_fileOpens{0};
decltype(&Direct3DCreate9) g_create9;
decltype(&CreateWindowExW) g_createWindow;
decltype(&RegOpenKeyExW) g_openKey;
decltype(&CreateFileW) g_createFile;
decltype(&LocalAlloc) g_localAlloc;
std::atomic<size_t> g_fileBytes{0};

// What a test makes fail, as on a locked screen or in a session without 3-D, or where a file
// D3DX is to load whole finds no memory for it.
enum class Refuse { Nothing, Window, Direct3d, Device, WholeFile };
std::atomic<Refuse> g_refuse{Refuse::Nothing};
std::atomic<int> g_refused{0};

// IDirect3D9::CreateDevice, the 17th entry of the interface's table (after IUnknown's three and
// thirteen queries of adapters and formats).
constexpr size_t kCreateDeviceSlot = 16;
using CreateDeviceFn = HRESULT(STDMETHODCALLTYPE*)(IDirect3D9*, UINT, D3DDEVTYPE, HWND, DWORD,
                                                   D3DPRESENT_PARAMETERS*, IDirect3DDevice9**);
HRESULT STDMETHODCALLTYPE RefuseDevice(IDirect3D9*, UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*,
                                       IDirect3DDevice9** device) {
    ++g_refused;
    *device = nullptr;
    return D3DERR_NOTAVAILABLE;
}

// Swaps the CreateDevice entry of a Direct3D object's table (shared by every such object) for
// the life of the holder.
class DeviceRefusal {
public:
    explicit DeviceRefusal(IDirect3D9* direct3d) {
        slot_ = &(*reinterpret_cast<void***>(direct3d))[kCreateDeviceSlot];
        original_ = Swap(reinterpret_cast<void*>(&RefuseDevice));
    }
    ~DeviceRefusal() { Swap(original_); }

private:
    void* Swap(void* value) {
        DWORD old;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
        void* previous = std::exchange(*slot_, value);
        VirtualProtect(slot_, sizeof *slot_, old, &old);
        return previous;
    }
    void** slot_;
    void* original_;
};
std::unique_ptr<DeviceRefusal> g_deviceRefusal;

IDirect3D9* WINAPI CountCreate9(UINT version) {
    ++g_direct3d;
    if (g_refuse == Refuse::Direct3d) {
        ++g_refused;
        return nullptr;
    }
    IDirect3D9* direct3d = g_create9(version);
    if (g_refuse == Refuse::Device && direct3d != nullptr && !g_deviceRefusal) {
        g_deviceRefusal = std::make_unique<DeviceRefusal>(direct3d);
    }
    return direct3d;
}
HWND WINAPI CountWindow(DWORD ex, LPCWSTR cls, LPCWSTR name, DWORD style, int x, int y, int w, int h, HWND parent,
                        HMENU menu, HINSTANCE instance, LPVOID param) {
    ++g_windows;
    if (g_refuse == Refuse::Window) {
        ++g_refused;
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return g_createWindow(ex, cls, name, style, x, y, w, h, parent, menu, instance, param);
}
LSTATUS WINAPI CountOpenKey(HKEY key, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY result) {
    ++g_settingsReads;
    return g_openKey(key, subkey, options, access, result);
}
// The plug-in opens a file before D3DX may examine it by name.
HANDLE WINAPI CountCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,
                              DWORD flags, HANDLE model) {
    ++g_fileOpens;
    return g_createFile(path, access, share, security, how, flags, model);
}
HLOCAL WINAPI RefuseWholeFile(UINT flags, SIZE_T bytes) {
    if (g_refuse == Refuse::WholeFile && bytes == g_fileBytes) {
        ++g_refused;
        return nullptr;
    }
    return g_localAlloc(flags, bytes);
}
#if defined(_WIN64)
decltype(&Direct3DCreate9Ex) g_create9Ex;
HRESULT WINAPI CountCreate9Ex(UINT version, IDirect3D9Ex** out) {
    ++g_direct3d;
    // Without the Ex interfaces the plain ones are tried, where the test refuses what it must.
    if (g_refuse != Refuse::Nothing && g_refuse != Refuse::Window) {
        *out = nullptr;
        return D3DERR_NOTAVAILABLE;
    }
    return g_create9Ex(version, out);
}
#endif

// A DX10 file of B8G8R8A8 pixels from blue, green, red, alpha quadruples.
Bytes Bgra(uint32_t width, uint32_t height, const Bytes& pixels, uint32_t alphaMode = 0) {
    Dx10Image image = Dx10(87, width, height, pixels);
    image.alphaMode = alphaMode;
    return WriteDx10Dds(image);
}

// A DX10 BC4 picture: opaque, grey.
Bytes Bc4(uint32_t width, uint32_t height, uint8_t grey) {
    Dx10Image image = Dx10(80, width, height);
    for (uint32_t i = 0; i < (width + 3) / 4 * ((height + 3) / 4); ++i) {
        image.data.insert(image.data.end(), {grey, grey, 0, 0, 0, 0, 0, 0});
    }
    return WriteDx10Dds(image);
}

class OwnRoute : public testing::Test {
protected:
    void SetUp() override {
        SORVANE_REQUIRE_D3D();
        DeleteSettingsKey();
        const HMODULE plugin = LoadedPlugin().module;
        patches_.emplace_back(new ImportPatch(plugin, "d3d9.dll", "Direct3DCreate9", reinterpret_cast<void*>(&CountCreate9)));
        g_create9 = patches_.back()->original<decltype(g_create9)>();
#if defined(_WIN64)
        patches_.emplace_back(new ImportPatch(plugin, "d3d9.dll", "Direct3DCreate9Ex", reinterpret_cast<void*>(&CountCreate9Ex)));
        g_create9Ex = patches_.back()->original<decltype(g_create9Ex)>();
#endif
        patches_.emplace_back(new ImportPatch(plugin, "user32.dll", "CreateWindowExW", reinterpret_cast<void*>(&CountWindow)));
        g_createWindow = patches_.back()->original<decltype(g_createWindow)>();
        patches_.emplace_back(new ImportPatch(plugin, "advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&CountOpenKey)));
        g_openKey = patches_.back()->original<decltype(g_openKey)>();
        patches_.emplace_back(new ImportPatch(plugin, "kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&CountCreateFile)));
        g_createFile = patches_.back()->original<decltype(g_createFile)>();
        patches_.emplace_back(new ImportPatch(plugin, "kernel32.dll", "LocalAlloc", reinterpret_cast<void*>(&RefuseWholeFile)));
        g_localAlloc = patches_.back()->original<decltype(g_localAlloc)>();
        for (const auto& p : patches_) ASSERT_TRUE(p->ok()) << "an import of the plug-in was not found";
        g_direct3d = g_windows = g_settingsReads = g_fileOpens = 0;
    }
    void TearDown() override {
        g_refuse = Refuse::Nothing;
        g_deviceRefusal.reset();
        DeleteSettingsKey();
    }
    std::vector<std::unique_ptr<ImportPatch>> patches_;
    TempDir dir_;
};

// The settings are read once per picture, with alpha or not: their views apply to every one.
TEST_F(OwnRoute, MakesNoDeviceAndReadsTheSettingsOncePerPicture) {
    const struct {
        const char* what;
        Bytes file;
        bool direct3d;
        int settingsReads;
        const wchar_t* setting = nullptr;  // set to 1
    } kCases[] = {
        {"DX10 with alpha", Bgra(2, 2, Bytes(16, 0x80)), false, 1},
        {"DX10 without alpha", Bc4(5, 3, 0x40), false, 1},
        {"DX10 with alpha marked opaque", Bgra(2, 2, Bytes(16, 0x80), 3), false, 1},
        {"legacy DXT1, through D3DX", WriteDds(MakeCompressed(DdsFormat::DXT1, 4, 4, [](uint32_t, uint32_t) {
             return Dxt1Block(0xFFFF, 0, 0);
         })), true, 1},
        {"legacy DXT1, our reader first", WriteDds(MakeCompressed(DdsFormat::DXT1, 4, 4, [](uint32_t, uint32_t) {
             return Dxt1Block(0xFFFF, 0, 0);
         })), false, 1, L"Reader"},
        {"legacy A16B16G16R16F, tone-mapped", WriteLegacyDds({0x4, 113, 0, 0, 0, 0, 0}, 2, 2, Bytes(32, 0x3C)), false, 1,
         L"ToneMap"},
    };
    for (const auto& c : kCases) {
        const std::wstring path = dir_.Write(L"route.dds", c.file);
        DeleteSettingsKey();
        if (c.setting != nullptr) SetSettingsDword(c.setting, 1);
        for (const bool memory : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (memory ? ", memory" : ", file"));
            g_direct3d = g_windows = g_settingsReads = 0;
            Dib dib;
            // A thread without windows: the D3DX route makes a hidden one.
            std::thread([&] { dib = memory ? DecodeMemory(c.file) : DecodeFile(path); }).join();
            ASSERT_EQ(dib.result, 0);
            // Without D3DX every file is our reader's.
            EXPECT_EQ(g_direct3d > 0, c.direct3d && D3dxPresent());
            EXPECT_EQ(g_windows > 0, c.direct3d && D3dxPresent());
            EXPECT_EQ(g_settingsReads.load(), c.settingsReads);
        }
    }
}

// Where no window, Direct3D object or device can be made (a locked screen, a session without
// 3-D), or no memory for a file's whole bytes, D3DX's files come from our reader (a file then
// band by band): the same pictures, and no window left behind.
TEST_F(OwnRoute, WithoutAWindowOrDeviceOurReaderDecodes) {
    const Bytes files[] = {
        WriteDds(MakeCompressed(DdsFormat::DXT5, 9, 6, [](uint32_t x, uint32_t y) {
            return Dxt5Block(200, 10, x * 0x1111 + y, Rgb565(31, 0, 3), Rgb565(2, 60, 31), 0x1B1B1B1B);
        })),
        WriteDds(MakeUncompressed(DdsFormat::R5G6B5, 5, 3, [](uint32_t x, uint32_t y) { return x * 4099 + y * 77; })),
    };
    for (const Bytes& file : files) {
        const std::wstring path = dir_.Write(L"nodevice.dds", file);
        const Dib expected = DecodeMemory(file);
        ASSERT_EQ(expected.result, 0);
        g_fileBytes = file.size();
        for (const Refuse refuse : {Refuse::Window, Refuse::Direct3d, Refuse::Device, Refuse::WholeFile}) {
            for (const bool memory : {false, true}) {
                if (memory && refuse == Refuse::WholeFile) continue;  // the host's bytes are used in place
                SCOPED_TRACE(testing::Message() << "refused " << static_cast<int>(refuse) << (memory ? ", memory" : ", file"));
                g_refuse = refuse;
                g_refused = 0;
                Dib dib;
                std::thread([&] { dib = memory ? DecodeMemory(file) : DecodeFile(path); }).join();
                g_refuse = Refuse::Nothing;
                g_deviceRefusal.reset();
                ASSERT_EQ(dib.result, 0);
                EXPECT_EQ(dib.header.biBitCount, expected.header.biBitCount);
                EXPECT_EQ(dib.bits, expected.bits);
                EXPECT_EQ(g_refused > 0, D3dxPresent()) << "the refusal was not met";
                EXPECT_EQ(FindWindowW(L"Mirewick", nullptr), nullptr);
            }
        }
    }
}

// Every shape gives its first picture: element 0, face +X, slice 0, mip 0; a 1-D texture is one
// row. The information agrees with the picture.
TEST_F(OwnRoute, FirstPictureOfEveryShape) {
    const struct {
        const char* what;
        uint32_t dimension, arraySize, depth, mips, height;
        bool cube;
    } kShapes[] = {{"array of 3", 3, 3, 0, 1, 3, false}, {"cube", 3, 1, 0, 1, 3, true},
                   {"volume of 4", 4, 1, 4, 1, 3, false},  {"mips", 3, 1, 0, 2, 3, false},
                   {"1-D", 2, 1, 0, 1, 1, false}};
    for (const auto& shape : kShapes) {
        SCOPED_TRACE(shape.what);
        Dx10Image image = Dx10(87, 3, shape.height);
        image.dimension = shape.dimension;
        image.arraySize = shape.arraySize;
        image.depth = shape.depth;
        image.mipCount = shape.mips;
        image.cube = shape.cube;
        for (uint32_t i = 0; i < 3 * shape.height; ++i) image.data.insert(image.data.end(), {uint8_t(i), 50, 60, 255});
        image.rest.assign(3 * 3 * 4 * 6, 0xEE);
        const Bytes file = WriteDx10Dds(image);
        const Dib dib = DecodeMemory(file);
        ASSERT_EQ(dib.result, 0);
        EXPECT_EQ(dib.header.biWidth, 3);
        EXPECT_EQ(dib.header.biHeight, static_cast<LONG>(shape.height));
        for (uint32_t y = 0; y < shape.height; ++y) {
            for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(dib.Pixel24(x, y)[0], y * 3 + x) << x << "," << y;
        }
        PictureInfo info{};
        ASSERT_EQ(LoadedPlugin().GetPictureInfo(reinterpret_cast<const char*>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &info), 0);
        EXPECT_EQ(info.width, 3);
        EXPECT_EQ(info.height, static_cast<int32_t>(shape.height));
        EXPECT_EQ(info.bitsPerPixel, 24);
    }
}

TEST_F(OwnRoute, RefusesWhatItCannotRead) {
    Bytes truncated = Bc4(8, 8, 1);
    truncated.pop_back();
    Bytes huge = Bgra(1, 1, Bytes(4, 1));
    for (const size_t offset : {12, 16}) std::memcpy(huge.data() + offset, "\xFF\xFF\xFF\x7F", 4);
    Bytes video = Bgra(2, 2, Bytes(16, 1));
    video[128] = 113;  // DXGI_FORMAT_P8: no palette in the file
    const Plugin& p = LoadedPlugin();
    for (const Bytes& file : {truncated, huge, video}) {
        const std::wstring path = dir_.Write(L"refused.dds", file);
        PictureInfo info{};
        info.width = 77;
        EXPECT_EQ(p.GetPictureInfo(reinterpret_cast<const char*>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &info), 2);
        EXPECT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 2);
        EXPECT_EQ(info.width, 77);
        EXPECT_EQ(DecodeMemory(file).result, 2);
        EXPECT_EQ(DecodeFile(path).result, 2);
    }
    EXPECT_EQ(g_direct3d.load(), 0);
}

TEST_F(OwnRoute, ProbeClaimsFromTheHeaderAlone) {
    Bytes file = Bc4(64, 64, 9);
    const std::wstring path = dir_.Write(L"probe.dds", file);
    file.resize(2048);  // what a host hands over: the file's first bytes
    const auto buffer = reinterpret_cast<ULONG_PTR>(file.data());
    const Plugin& p = LoadedPlugin();
    EXPECT_EQ(p.IsSupportedW(path.c_str(), buffer), 1);
    EXPECT_EQ(p.IsSupportedW(nullptr, buffer), 1);
    EXPECT_EQ(p.IsSupported(nullptr, buffer), 1);
    EXPECT_EQ(g_fileOpens.load(), 0) << "the file was examined by name";
    // A file handle with no name.
    FileHandle handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    EXPECT_EQ(p.IsSupportedW(nullptr, reinterpret_cast<ULONG_PTR>(handle.get())), 1);
    EXPECT_EQ(p.IsSupported(nullptr, reinterpret_cast<ULONG_PTR>(handle.get())), 1);
}

// Legacy files that D3DX describes but (under some builds) fails to load: Wine's faults inside
// P8, refuses A16B16G16R16, and may refuse cube maps and volumes. Our reader decodes them, with
// the first face or slice, whichever reader the picture comes from.
TEST_F(OwnRoute, PicturesD3dxFailsComeFromOurReader) {
    DdsImage p8 = MakeUncompressed(DdsFormat::P8, 4, 3, [](uint32_t x, uint32_t) { return x; });
    p8.palette = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
    DdsImage rgba16;
    rgba16.format = DdsFormat::A16B16G16R16;
    rgba16.width = 2;
    rgba16.data = {0, 0, 0xFF, 0xFF, 0x80, 0x80, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    DdsImage cube = MakeCompressed(DdsFormat::DXT1, 4, 4, [](uint32_t, uint32_t) { return Dxt1Block(0x001F, 0x001F, 0); });
    cube.cube = true;
    DdsImage volume = MakeUncompressed(DdsFormat::A8R8G8B8, 2, 2, [](uint32_t, uint32_t) { return 0xFF123456u; });
    volume.depth = 3;
    struct {
        const char* what;
        Bytes file;
        uint8_t first[3];  // the top left pixel, blue, green, red
    } cases[] = {
        {"P8", WriteDds(p8), {0x30, 0x20, 0x10}},
        {"A16B16G16R16", WriteDds(rgba16), {128, 255, 0}},
        {"cube", WriteDds(cube), {255, 0, 0}},
        {"volume", WriteDds(volume), {0x56, 0x34, 0x12}},
    };
    // Whatever follows the first face or slice must not show: the later ones are changed.
    for (size_t at = 128 + 8; at < cases[2].file.size(); ++at) cases[2].file[at] = 0x77;
    for (size_t at = 128 + 16; at < cases[3].file.size(); ++at) cases[3].file[at] = 0x99;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Dib dib = DecodeMemory(c.file);
        ASSERT_EQ(dib.result, 0);
        EXPECT_EQ(dib.header.biBitCount, 24);
        EXPECT_EQ(std::vector<uint8_t>(dib.Pixel24(0, 0), dib.Pixel24(0, 0) + 3), std::vector<uint8_t>(c.first, c.first + 3));
    }
}

// Pictures that D3DX describes but Wine's D3DX does not load (cube maps, volumes) go to our
// reader: the DIB keeps the bit count that GetPictureInfo gave from D3DX's description, so
// X1R5G5B5 rows stay 16-bit and unchanged, as on D3DX's own route.

struct DepthCase {
    const char* name;
    DdsFormat format;
    uint32_t depth;
    bool cube;
    int bits;  // of GetPictureInfo's record and of the DIB
};

const DepthCase kDepthCases[] = {
    {"X1R5G5B5", DdsFormat::X1R5G5B5, 0, false, 16},
    {"X1R5G5B5 cube map", DdsFormat::X1R5G5B5, 0, true, 16},
    {"X1R5G5B5 volume", DdsFormat::X1R5G5B5, 2, false, 16},
    {"A1R5G5B5 cube map", DdsFormat::A1R5G5B5, 0, true, 24},
    {"R5G6B5 volume", DdsFormat::R5G6B5, 2, false, 24},
};

TEST_F(OwnRoute, FallbackKeepsTheDescribedBitCount) {
    const Plugin& p = LoadedPlugin();
    TempDir& dir = dir_;
    constexpr uint32_t kWidth = 5, kHeight = 3;
    for (const DepthCase& c : kDepthCases) {
        SCOPED_TRACE(c.name);
        DdsImage image = MakeUncompressed(c.format, kWidth, kHeight, [](uint32_t x, uint32_t y) { return 0x8000 | (x * 0x0C63 + y * 0x1084); });
        image.depth = c.depth;
        image.cube = c.cube;
        const Bytes file = WriteDds(image);
        const std::wstring path = dir.Write(L"fallback.dds", file);

        PictureInfo info{};
        ASSERT_EQ(p.GetPictureInfo(reinterpret_cast<const char*>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &info), 0);
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        ASSERT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 0);
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        for (const Dib& dib : {DecodeMemory(file), DecodeFile(path)}) {
            ASSERT_EQ(dib.result, 0);
            EXPECT_EQ(dib.header.biBitCount, c.bits);
            if (c.bits != 16 || dib.header.biBitCount != 16) continue;
            // Row y of the picture is DIB row height - 1 - y, rows 4-byte aligned.
            for (uint32_t y = 0; y < kHeight; ++y) {
                EXPECT_EQ(0, std::memcmp(dib.bits.data() + (kHeight - 1 - y) * 12, image.data.data() + y * kWidth * 2, kWidth * 2))
                    << "row " << y;
            }
        }
    }
}

}  // namespace
}  // namespace sorvane::test
