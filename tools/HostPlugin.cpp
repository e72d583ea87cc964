#include "HostPlugin.h"

#include <cstring>
#include <vector>

#include "HostConsole.h"
#include "PluginResult.h"

namespace spihost {

namespace {

// The export running now, for the fault report; the tool calls the plug-in from one thread.
const wchar_t* g_runningExport = nullptr;

}  // namespace

HostPlugin::~HostPlugin() {
    if (!module) return;
    // Unloading runs the plug-in's DllMain: a fault there is reported as the plug-in's.
    PluginCall call(L"FreeLibrary");
    module.reset();
}

bool HostPlugin::Load(const std::wstring& path, std::wstring& problem) {
    // LoadLibrary wants backslashes and a full path, and the plug-in's own folder searched
    // for the libraries it imports.
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::vector<wchar_t> full(needed + 1);
    if (needed == 0 || GetFullPathNameW(path.c_str(), needed + 1, full.data(), nullptr) == 0) {
        problem = L"bad path: " + DescribeWin32Error(GetLastError());
        return false;
    }
    {
        PluginCall call(L"DllMain");
        module.reset(LoadLibraryExW(full.data(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    if (!module) {
        const DWORD error = GetLastError();
        problem = L"error " + DescribeWin32Error(error);
        if (error == ERROR_BAD_EXE_FORMAT) {
            problem += L"; a 64-bit host loads .sph plug-ins, a 32-bit host .spi plug-ins";
        }
        return false;
    }
    static_cast<sorvane::PluginExports&>(*this) = sorvane::BindPluginExports(module.get());
    const std::wstring loaded(full.data());
    fileName = loaded.substr(loaded.find_last_of(L"\\/") + 1);
    return true;
}

std::wstring HostPlugin::MissingExports() const {
    std::wstring missing;
    sorvane::ForEachExport(*this, [&missing](const char* name, const auto& slot) {
        if (slot != nullptr) return;
        if (!missing.empty()) missing += L" ";
        missing.append(name, name + std::strlen(name));
    });
    return missing;
}

std::wstring DescribeResult(int code) {
    const wchar_t* words = L"unknown result";
    switch (code) {
    case sorvane::kSuccess: words = L"success"; break;
    case sorvane::kCancelled: words = L"cancelled by the host"; break;
    case sorvane::kNotSupported: words = L"not a picture this plug-in reads"; break;
    case sorvane::kOutOfMemory: words = L"out of memory"; break;
    case sorvane::kFileError: words = L"file could not be opened or read"; break;
    case sorvane::kInternalError: words = L"internal error"; break;
    case sorvane::kNotImplemented: words = L"not implemented"; break;
    default: break;
    }
    return std::to_wstring(code) + L": " + words;
}

bool IsInterfaceResult(int code) {
    return code == sorvane::kSuccess || code == sorvane::kNotSupported || code == sorvane::kOutOfMemory ||
           code == sorvane::kFileError || code == sorvane::kInternalError;
}

const wchar_t* RunningExport() { return g_runningExport; }

PluginCall::PluginCall(const wchar_t* exportName) noexcept : previous_(g_runningExport) {
    g_runningExport = exportName;
}

PluginCall::~PluginCall() { g_runningExport = previous_; }

}  // namespace spihost
