#include "FaultReport.h"

#include <windows.h>

#include <cstdint>

#include "HostConsole.h"

namespace spihost {

namespace {

FaultSink g_report = nullptr;
unsigned g_exitCode = 0;

LONG WINAPI ReportFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    if (g_report != nullptr) {
        g_report(record != nullptr ? DescribeException(record->ExceptionCode, record->ExceptionAddress)
                                   : std::wstring(L"exception with no record"));
    }
    TerminateProcess(GetCurrentProcess(), g_exitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::wstring PlaceOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const wchar_t*>(address), &module)) {
        return Format(L"no module (0x%llX)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring name = length == 0 ? std::wstring(L"unknown module") : std::wstring(path, length);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    return Format(L"%ls+0x%llX", name.c_str(),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address) -
                                                  reinterpret_cast<uintptr_t>(module)));
}

std::wstring DescribeException(unsigned long code, const void* address) {
    return Format(L"exception 0x%08lX at %ls", code, PlaceOf(address).c_str());
}

void InstallFaultReport(FaultSink report, unsigned exitCode) {
    g_report = report;
    g_exitCode = exitCode;
    SetUnhandledExceptionFilter(ReportFault);
}

}  // namespace spihost
