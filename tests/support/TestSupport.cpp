#include "TestSupport.h"

#include <d3d9.h>

#include <atomic>
#include <cstdlib>

namespace sorvane::test {

namespace {
constexpr const wchar_t* kSettingsKey = L"Software\\Duskfallow\\Sorvane.spi";
}

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
        p.module = LoadLibraryW(SORVANE_PLUGIN_FILE_NAME);
        if (p.module == nullptr) return p;
        auto bind = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                reinterpret_cast<void*>(GetProcAddress(p.module, name)));
        };
        bind(p.GetPluginInfo, "GetPluginInfo");
        bind(p.GetPluginInfoW, "GetPluginInfoW");
        bind(p.IsSupported, "IsSupported");
        bind(p.IsSupportedW, "IsSupportedW");
        bind(p.GetPictureInfo, "GetPictureInfo");
        bind(p.GetPictureInfoW, "GetPictureInfoW");
        bind(p.GetPicture, "GetPicture");
        bind(p.GetPictureW, "GetPictureW");
        bind(p.GetPreview, "GetPreview");
        bind(p.GetPreviewW, "GetPreviewW");
        bind(p.ConfigurationDlg, "ConfigurationDlg");
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

bool DeviceRequired() {
    const char* value = std::getenv("SORVANE_REQUIRE_DEVICE");
    return value != nullptr && value[0] == '1';
}

void DeleteSettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

void SetSettingsValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetSettingsDword(const wchar_t* name, DWORD value) {
    SetSettingsValue(name, REG_DWORD, &value, sizeof value);
}

}  // namespace sorvane::test
