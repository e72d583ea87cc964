#include "TestSupport.h"

#include <d3d9.h>

#include "PluginIdentity.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sorvane::test {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"sorvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = path_ + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(full.c_str());
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
}

std::wstring TempDir::Write(const std::wstring& name, const Bytes& bytes) const {
    const std::wstring full = path_ + L"\\" + name;
    WriteFileBytes(full, bytes);
    return full;
}

const Plugin& LoadedPlugin() {
    static const Plugin plugin = [] {
        Plugin p;
        p.module = LoadLibraryW(kDisplayName);
        if (p.module == nullptr) return p;
        static_cast<PluginExports&>(p) = BindPluginExports(p.module);
        return p;
    }();
    return plugin;
}

bool DeviceAvailable() {
    static const bool available = [] {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (d3d == nullptr) return false;
        HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                                      nullptr, nullptr, nullptr, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window;
        pp.Windowed = TRUE;
        IDirect3DDevice9* device = nullptr;
        const HRESULT hr = window ? d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                                      0x122, &pp, &device)
                                  : E_FAIL;
        if (device) device->Release();
        d3d->Release();
        if (window) DestroyWindow(window);
        return SUCCEEDED(hr);
    }();
    return available;
}

// Copies what the host received and frees both blocks, as a host does.
Dib TakeDib(int result, HLOCAL info, HLOCAL bits) {
    Dib dib;
    dib.result = result;
    if (result == 0) {
        dib.header = *static_cast<BITMAPINFOHEADER*>(info);
        dib.bitsBlockSize = LocalSize(bits);
        dib.bits.assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + dib.bitsBlockSize);
        LocalFree(info);
        LocalFree(bits);
    }
    return dib;
}

Dib DecodeFile(const std::wstring& path) {
    HLOCAL info = nullptr, bits = nullptr;
    const int result = LoadedPlugin().GetPictureW(path.c_str(), 0, 0, &info, &bits, nullptr, 0);
    return TakeDib(result, info, bits);
}

Dib DecodeMemory(const Bytes& file) {
    HLOCAL info = nullptr, bits = nullptr;
    const int result = LoadedPlugin().GetPicture(reinterpret_cast<const char*>(file.data()),
                                                 static_cast<LONG_PTR>(file.size()), 1, &info, &bits, nullptr, 0);
    return TakeDib(result, info, bits);
}

bool D3dxPresent() {
    static const bool present = LoadLibraryW(L"d3dx9_31.dll") != nullptr;
    return present;
}

namespace {
// The run without D3DX must really be without it: a prefix whose override did not take would
// pass it unseen.
const bool g_checkedAbsence = [] {
    char expect[4] = {};
    if (GetEnvironmentVariableA("SORVANE_EXPECT_NO_D3DX", expect, sizeof expect) != 0 && D3dxPresent()) {
        std::fprintf(stderr, "SORVANE_EXPECT_NO_D3DX is set, yet d3dx9_31.dll loads\n");
        std::exit(1);
    }
    return true;
}();
}  // namespace

bool DesktopAvailable() {
    // Wine's ntdll exports wine_get_version; Windows' does not.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const char* display = std::getenv("DISPLAY");
    return !wine || (display != nullptr && display[0] != '\0');
}

bool DeviceRequired() {
    const char* value = std::getenv("SORVANE_REQUIRE_DEVICE");
    return value != nullptr && value[0] == '1';
}

uint64_t CommittedPrivateBytes() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const uint8_t* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

bool WriteFileBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() ||
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

void DeleteSettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKeyPath); }

void SetSettingsValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetSettingsDword(const wchar_t* name, DWORD value) {
    SetSettingsValue(name, REG_DWORD, &value, sizeof value);
}

namespace {

uint64_t IntegerSqrt(uint64_t n) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

}  // namespace

// floor(t / m) = floor(floor(t) / m) for real t and whole m: with z = sqrt(N) / q for
// N = q^2 - a^2 - b^2, blue = floor((255 sqrt(N) + 255 q + q) / 2q) = (isqrt(65025 N) + 256 q) / 2q.
uint8_t ExpectedBlue(int64_t a, int64_t b, int64_t q) {
    const int64_t n = std::max<int64_t>(0, q * q - a * a - b * b);
    return static_cast<uint8_t>((IntegerSqrt(65025 * static_cast<uint64_t>(n)) + 256 * q) / (2 * q));
}

}  // namespace sorvane::test
