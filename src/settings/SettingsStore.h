#pragma once
// The per-user settings in the registry: the key, its values, their defaults and tolerances,
// and the small functions that open the key and read or write one value. Nothing is cached:
// every reader opens the key, reads and closes it, so a saved change applies at once.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Holders.h"
#include "PluginSettings.h"

namespace sorvane {

// Value names under the settings key.
inline constexpr const wchar_t* kAlphaValue = L"Alpha";                // REG_DWORD
inline constexpr const wchar_t* kColorValue = L"Color";                // REG_DWORD COLORREF
inline constexpr const wchar_t* kColorHistoryValue = L"ColorHistory";  // REG_BINARY, 8 COLORREFs
inline constexpr const wchar_t* kCustomColorsValue = L"CustomColors";  // REG_BINARY, 16 COLORREFs
// The views, all REG_DWORD; see PluginSettings.h for their numbers.
inline constexpr const wchar_t* kBackdropValue = L"Backdrop";
inline constexpr const wchar_t* kChannelValue = L"Channel";
inline constexpr const wchar_t* kNormalZValue = L"NormalZ";
inline constexpr const wchar_t* kLayoutValue = L"Layout";
inline constexpr const wchar_t* kBitsValue = L"Bits";
// REG_DWORD 1 or not, as the check-box views.
inline constexpr const wchar_t* kReaderValue = L"Reader";
inline constexpr const wchar_t* kToneMapValue = L"ToneMap";
// REG_DWORD read as two's complement: tenths of a stop.
inline constexpr const wchar_t* kExposureValue = L"Exposure";

inline constexpr COLORREF kWhite = 0x00FFFFFF;
inline constexpr size_t kColorHistorySize = 8;
inline constexpr size_t kCustomColorCount = 16;
// Grey, red, yellow, green, cyan, blue, magenta, black.
inline constexpr COLORREF kDefaultColorHistory[kColorHistorySize] = {
    0x00808080, 0x000000FF, 0x0000FFFF, 0x0000FF00,
    0x00FFFF00, 0x00FF0000, 0x00FF00FF, 0x00000000,
};

// RegOpenKeyExW with KEY_READ; never creates the key. Empty when the key cannot be opened.
RegKey OpenKeyForRead(const wchar_t* subkey) noexcept;
// RegCreateKeyExW with KEY_WRITE, creating the key and its parents. Empty on failure.
RegKey OpenKeyForWrite(const wchar_t* subkey) noexcept;

// True only for a REG_DWORD of exactly 4 bytes; anything else counts as missing.
bool ReadDwordValue(const RegKey& key, const wchar_t* name, DWORD& value) noexcept;
// A view value: the stored number when it is one of `known`, else 0, which every view value
// takes to mean "as before views existed". A number from a later version that this one does
// not know thus gives the plain picture rather than a guess.
DWORD ReadViewValue(const RegKey& key, const wchar_t* name, std::initializer_list<DWORD> known) noexcept;
// "Exposure" in tenths of a stop: the stored DWORD as a signed number when it lies within
// PluginSettings' limits, else 0.
int ReadExposureValue(const RegKey& key) noexcept;
// The value's bytes whatever its type; false when it cannot be read.
bool ReadBinaryValue(const RegKey& key, const wchar_t* name,
                     std::vector<uint8_t>& bytes) noexcept;
// Copies min(size / 4, count) little-endian COLORREFs of the value over `colors`; the rest
// keep what they hold. False, and nothing copied, when the value cannot be read.
bool ReadColorArray(const RegKey& key, const wchar_t* name, COLORREF* colors,
                    size_t count) noexcept;

// The writers ignore failures: a setting that cannot be saved is not an error.
void WriteDwordValue(const RegKey& key, const wchar_t* name, DWORD value) noexcept;
void WriteBinaryValue(const RegKey& key, const wchar_t* name, const void* data,
                      DWORD size) noexcept;

}  // namespace sorvane
