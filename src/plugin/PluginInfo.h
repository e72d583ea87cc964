#pragma once
// The plug-in's information strings and the copy of one of them into the host's buffer.

#include <windows.h>

namespace sorvane {

// The constant texts of the plug-in, in record order.
struct PluginTexts {
    const wchar_t* settingsKeyPath;
    const wchar_t* extensionPattern;
    const wchar_t* filters[4];
    const wchar_t* descriptions[4];
    const wchar_t* displayName;  // also the about box's and the settings dialog's title
    const wchar_t* versionText;  // information string 1, also the about box's text
};

const PluginTexts& Texts() noexcept;

// The information string of `index`, or null when there is none.
const wchar_t* InformationString(int index) noexcept;

// The about box: the version text under the build's display name. 0 when shown, else 8.
int ShowAboutBox(HWND parent) noexcept;

// GetPluginInfoW: `length` counts UTF-16 characters, terminator included.
int CopyPluginInfoW(int index, wchar_t* buffer, int length) noexcept;
// GetPluginInfo: `length` counts bytes; the string is converted to the ANSI code page.
int CopyPluginInfoA(int index, char* buffer, int length) noexcept;

}  // namespace sorvane
