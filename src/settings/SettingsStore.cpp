#include "SettingsStore.h"

#include <cstring>
#include <new>

#include "PluginIdentity.h"

namespace sorvane {

RegKey OpenKeyForRead(const wchar_t* subkey) noexcept {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        key.release();  // a failed call leaves no handle to close
    }
    return key;
}

RegKey OpenKeyForWrite(const wchar_t* subkey) noexcept {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        key.release();
    }
    return key;
}

bool ReadDwordValue(const RegKey& key, const wchar_t* name, DWORD& value) noexcept {
    if (!key) return false;
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_DWORD || size != sizeof data) return false;
    value = data;
    return true;
}

DWORD ReadViewValue(const RegKey& key, const wchar_t* name, std::initializer_list<DWORD> known) noexcept {
    DWORD value = 0;
    if (!ReadDwordValue(key, name, value)) return 0;
    for (const DWORD k : known) {
        if (k == value) return value;
    }
    return 0;
}

int ReadExposureValue(const RegKey& key) noexcept {
    DWORD stored = 0;
    if (!ReadDwordValue(key, kExposureValue, stored)) return 0;
    const auto value = static_cast<int32_t>(stored);  // two's complement, as on every Windows compiler
    return value >= PluginSettings::kMinExposure && value <= PluginSettings::kMaxExposure ? value : 0;
}

bool ReadBinaryValue(const RegKey& key, const wchar_t* name,
                     std::vector<uint8_t>& bytes) noexcept {
    if (!key) return false;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    // Four spare bytes let a value that grew a little in between still be read whole.
    try {
        bytes.assign(static_cast<size_t>(size) + 4, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    DWORD read = static_cast<DWORD>(bytes.size());
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, bytes.data(), &read) != ERROR_SUCCESS) {
        bytes.clear();
        return false;
    }
    bytes.resize(read);
    return true;
}

bool ReadColorArray(const RegKey& key, const wchar_t* name, COLORREF* colors,
                    size_t count) noexcept {
    std::vector<uint8_t> bytes;
    if (!ReadBinaryValue(key, name, bytes)) return false;
    const size_t supplied = bytes.size() / sizeof(COLORREF);
    std::memcpy(colors, bytes.data(), (supplied < count ? supplied : count) * sizeof(COLORREF));
    return true;
}

void WriteDwordValue(const RegKey& key, const wchar_t* name, DWORD value) noexcept {
    if (!key) return;
    RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}

void WriteBinaryValue(const RegKey& key, const wchar_t* name, const void* data,
                      DWORD size) noexcept {
    if (!key) return;
    RegSetValueExW(key.get(), name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
}

PluginSettings ReadPluginSettings() noexcept {
    const RegKey key = OpenKeyForRead(SettingsKeyPath);
    PluginSettings settings;
    settings.backdrop = static_cast<Backdrop>(ReadViewValue(key, kBackdropValue, {1}));
    settings.channel = static_cast<ChannelView>(ReadViewValue(key, kChannelValue, {1}));
    settings.normalZ = ReadViewValue(key, kNormalZValue, {1}) == 1;
    settings.layout = static_cast<PictureLayout>(ReadViewValue(key, kLayoutValue, {1, 2}));
    settings.dibBits = ReadViewValue(key, kBitsValue, {32}) == 32 ? 32 : 24;
    settings.reader = ReadViewValue(key, kReaderValue, {1}) == 1;
    settings.toneMap = ReadViewValue(key, kToneMapValue, {1}) == 1;
    settings.exposure = ReadExposureValue(key);
    DWORD alpha = 0;
    if (ReadDwordValue(key, kAlphaValue, alpha) && alpha != 1) {
        // Any stored number but 1 removes; the colour is not needed then.
        settings.alphaDisposal = AlphaDisposal::Remove;
        return settings;
    }
    DWORD color = kWhite;
    if (!ReadDwordValue(key, kColorValue, color)) color = kWhite;
    settings.compositeColor.blue = GetBValue(color);
    settings.compositeColor.green = GetGValue(color);
    settings.compositeColor.red = GetRValue(color);
    return settings;
}

}  // namespace sorvane
