#include "PluginInfo.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "PluginIdentity.h"

namespace sorvane {

namespace {

constexpr PluginTexts kTexts = {
    SettingsKeyPath,
    L"^\\.DDS$",
    {L"*.DDS", L"", L"", L""},
    {L"DDS - Direct Draw Surface (*.dds)", L"", L"", L""},
    SORVANE_DISPLAY_NAME,
    SORVANE_DISPLAY_NAME L" version " SORVANE_VERSION L": ソルヴェーン DDS 画像読み込みプラグイン",
};

// Copies `count` elements of `text` into `buffer` of `length` elements, cutting at
// length - 1, and terminates it. Returns the number of elements copied.
template <typename Char>
int CopyCut(const Char* text, int count, Char* buffer, int length) {
    const int copied = count <= length - 1 ? count : length - 1;
    std::memcpy(buffer, text, static_cast<size_t>(copied) * sizeof(Char));
    buffer[copied] = 0;
    return copied;
}

}  // namespace

const PluginTexts& Texts() noexcept { return kTexts; }

const wchar_t* InformationString(int index) noexcept {
    if (index == 0) return L"00IN";
    if (index == 1) return kTexts.versionText;
    if (index < 2) return nullptr;
    const int slot = (index - 2) / 2;
    if (slot >= 4) return nullptr;
    return (index - 2) % 2 == 0 ? kTexts.filters[slot] : kTexts.descriptions[slot];
}

int ShowAboutBox(HWND parent) noexcept {
    return MessageBoxW(parent, kTexts.versionText, kTexts.displayName, MB_OK) != 0 ? 0 : 8;
}

int CopyPluginInfoW(int index, wchar_t* buffer, int length) noexcept {
    const wchar_t* text = InformationString(index);
    if (buffer == nullptr || length == 0) return 0;
    if (length < 0) {
#if defined(_WIN64)
        buffer[0] = 0;
#else
        if (text == nullptr || text[0] == 0) buffer[0] = 0;
#endif
        return 0;
    }
    if (text == nullptr || text[0] == 0) {
        buffer[0] = 0;
        return 0;
    }
    return CopyCut(text, static_cast<int>(std::wcslen(text)), buffer, length);
}

int CopyPluginInfoA(int index, char* buffer, int length) noexcept {
    const wchar_t* text = InformationString(index);
    if (buffer == nullptr || length == 0) return 0;
    auto empty = [buffer] {
        buffer[0] = 0;
        return 0;
    };
    if (text == nullptr || text[0] == 0) return empty();
    // Converted without the terminator, which the copy adds itself.
    const int chars = static_cast<int>(std::wcslen(text));
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, chars, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return empty();
    std::unique_ptr<char[]> converted(new (std::nothrow) char[static_cast<size_t>(needed) + 4]());
    if (!converted) return empty();
    const int written = WideCharToMultiByte(CP_ACP, 0, text, chars, converted.get(), needed + 4,
                                            nullptr, nullptr);
    if (written <= 0) return empty();
    if (length < 0) {
#if defined(_WIN64)
        buffer[0] = 0;
#endif
        return 0;
    }
    return CopyCut(converted.get(), needed, buffer, length);
}

}  // namespace sorvane
