#include "HostPlugin.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "HostConsole.h"

namespace spihost {

namespace {

// The export running now, for the fault report; the tool calls the plug-in from one thread.
const wchar_t* g_runningExport = nullptr;

std::wstring ModuleNameAt(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const wchar_t*>(address), &module)) {
        return L"no module";
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0) return L"unknown module";
    const std::wstring full(path, length);
    const size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

LONG WINAPI ReportFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    const unsigned long code = record != nullptr ? record->ExceptionCode : 0;
    const void* address = record != nullptr ? record->ExceptionAddress : nullptr;
    const std::wstring where =
        Format(L"exception 0x%08lX at 0x%llX in %ls", code,
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)),
               ModuleNameAt(address).c_str());
    if (g_runningExport != nullptr) {
        Err(Format(L"%ls: the plug-in crashed in %ls: %ls", kToolName, g_runningExport, where.c_str()));
    } else {
        Err(Format(L"%ls: crashed: %ls", kToolName, where.c_str()));
    }
    ExitProcess(kExitCrashed);
}

}  // namespace

HostPlugin::~HostPlugin() {
    if (module == nullptr) return;
    PluginCall call(L"FreeLibrary");
    FreeLibrary(module);
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
        module = LoadLibraryExW(full.data(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module == nullptr) {
        const DWORD error = GetLastError();
        problem = L"error " + DescribeWin32Error(error);
        if (error == ERROR_BAD_EXE_FORMAT) {
            problem += L"; a 64-bit host loads .sph plug-ins, a 32-bit host .spi plug-ins";
        }
        return false;
    }
    static_cast<sorvane::PluginExports&>(*this) = sorvane::BindPluginExports(module);
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
    case 0: words = L"success"; break;
    case 1: words = L"cancelled by the host"; break;
    case 2: words = L"not a picture this plug-in reads"; break;
    case 4: words = L"out of memory"; break;
    case 6: words = L"file could not be opened or read"; break;
    case 8: words = L"internal error"; break;
    case -1: words = L"not implemented"; break;
    default: break;
    }
    return std::to_wstring(code) + L": " + words;
}

void InstallFaultReport() { SetUnhandledExceptionFilter(ReportFault); }

PluginCall::PluginCall(const wchar_t* exportName) noexcept : previous_(g_runningExport) {
    g_runningExport = exportName;
}

PluginCall::~PluginCall() { g_runningExport = previous_; }

}  // namespace spihost
