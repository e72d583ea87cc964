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

// Whether a Direct3D 9 device can be made here. Where it cannot (no X display for Wine, say),
// device tests skip, unless SORVANE_REQUIRE_DEVICE=1 (set by scripts/run-tests.sh, which
// make test runs inside a display session), where they fail.
bool DeviceAvailable();
bool DeviceRequired();

// Whether windows can be shown: always on Windows; under Wine only with an X display.
bool DesktopAvailable();

#define SORVANE_REQUIRE_DESKTOP()                                                          \
    do {                                                                                   \
        if (!::sorvane::test::DesktopAvailable()) {                                        \
            if (::sorvane::test::DeviceRequired()) FAIL() << "no display for windows";     \
            GTEST_SKIP() << "no display here for windows; make test runs these with one"; \
        }                                                                                  \
    } while (0)

#define SORVANE_REQUIRE_D3D()                                                        \
    do {                                                                             \
        if (!::sorvane::test::DeviceAvailable()) {                                   \
            if (::sorvane::test::DeviceRequired()) FAIL() << "no Direct3D 9 device"; \
            GTEST_SKIP() << "no Direct3D 9 device here; make test runs these with one"; \
        }                                                                            \
    } while (0)

// Committed private memory of the process, summed over its regions. Wine reports no
// PrivateUsage, so leaks are measured this way.
uint64_t CommittedPrivateBytes();

// The settings key of the plug-in, deleted so a test starts without settings.
void DeleteSettingsKey();
void SetSettingsDword(const wchar_t* name, DWORD value);
void SetSettingsValue(const wchar_t* name, DWORD type, const void* data, DWORD size);

}  // namespace sorvane::test
