#pragma once
// Shared helpers of the tests: temporary files, the loaded plug-in, device availability.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DdsWriter.h"
#include "PluginApi.h"

namespace sorvane::test {

// A fresh directory under %TEMP%, removed with its files when the object ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    // Writes `bytes` to `name` in the directory and returns the full path.
    std::wstring Write(const std::wstring& name, const Bytes& bytes) const;

private:
    std::wstring path_;
};

// The plug-in file of this build, loaded as a host loads it, with every export bound.
struct Plugin : PluginExports {
    HMODULE module = nullptr;
};
// Loaded once per test process; null members when an export is missing.
const Plugin& LoadedPlugin();

// What the host receives from GetPicture(W).
struct Dib {
    int result = -99;
    BITMAPINFOHEADER header{};
    std::vector<uint8_t> bits;
    size_t bitsBlockSize = 0;
    // The pixel (x, y) of the picture (y = 0 at the top) of a 24-bit DIB, as blue, green, red.
    const uint8_t* Pixel24(uint32_t x, uint32_t y) const {
        const size_t stride = (size_t(header.biWidth) * 24 + 31) / 32 * 4;
        return bits.data() + (size_t(header.biHeight) - 1 - y) * stride + 3 * size_t{x};
    }
};

// Copies what the host received and frees both blocks, as a host does.
Dib TakeDib(int result, HLOCAL info, HLOCAL bits);
// The loaded plug-in's GetPictureW on a file, and GetPicture on a memory image.
Dib DecodeFile(const std::wstring& path);
Dib DecodeMemory(const Bytes& file);

// Whether a Direct3D 9 device can be made here. Where it cannot (no X display for Wine, say),
// device tests skip, unless SORVANE_REQUIRE_DEVICE=1 (set by scripts/run-tests.sh, which
// make test runs inside a display session), where they fail.
bool DeviceAvailable();
bool DeviceRequired();

// Whether d3dx9_31.dll can be loaded here. make test runs the plug-in's tests once with it and
// once without it (WINEDLLOVERRIDES=d3dx9_31=d), as on a stock Windows.
bool D3dxPresent();

// Whether windows can be shown: always on Windows; under Wine only with an X display.
bool DesktopAvailable();

// Skips the test where the machine lacks what it needs; fails it where make test demands
// the device (SORVANE_REQUIRE_DEVICE=1), so that a broken setup cannot pass as skipped.
#define SORVANE_REQUIRE_OR_SKIP(available, failure, skip)                 \
    do {                                                                  \
        if (!(available)) {                                               \
            if (::sorvane::test::DeviceRequired()) FAIL() << (failure);   \
            GTEST_SKIP() << (skip);                                       \
        }                                                                 \
    } while (0)

#define SORVANE_REQUIRE_DESKTOP()                                                     \
    SORVANE_REQUIRE_OR_SKIP(::sorvane::test::DesktopAvailable(), "no display for windows", \
                            "no display here for windows; make test runs these with one")

#define SORVANE_REQUIRE_D3D()                                                        \
    SORVANE_REQUIRE_OR_SKIP(::sorvane::test::DeviceAvailable(), "no Direct3D 9 device", \
                            "no Direct3D 9 device here; make test runs these with one")

// Committed private memory of the process, summed over its regions. Wine reports no
// PrivateUsage, so leaks are measured this way.
uint64_t CommittedPrivateBytes();

// Writes bytes to a file; returns false on failure.
bool WriteFileBytes(const std::wstring& path, const Bytes& bytes);

// The settings key of the plug-in, deleted so a test starts without settings.
void DeleteSettingsKey();
void SetSettingsDword(const wchar_t* name, DWORD value);
void SetSettingsValue(const wchar_t* name, DWORD type, const void* data, DWORD size);

// The blue of a normal map's reconstructed Z for x = a / q and y = b / q, worked out in
// integers: round(255 (z + 1) / 2) half up, z = sqrt(max(0, 1 - x^2 - y^2)).
uint8_t ExpectedBlue(int64_t a, int64_t b, int64_t q);

}  // namespace sorvane::test
