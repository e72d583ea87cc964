#pragma once
// The host's view of one plug-in: the library loaded by path, its exports bound by name, the
// words for its result codes, and the report of a fault inside a call to it.

#include <windows.h>

#include <string>

#include "PluginApi.h"

namespace spihost {

// Exit status of the tool.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitPluginFailed = 1,  // the plug-in answered with a failure, or did not claim the file
    kExitUsage = 2,         // bad command line, or a file the tool itself could not read or write
    kExitNotLoaded = 3,     // the plug-in could not be loaded, or lacks the export
    kExitCrashed = 4,       // a fault inside the plug-in ended the run
};

struct HostPlugin : sorvane::PluginExports {
    HMODULE module = nullptr;
    std::wstring fileName;  // without the folder

    HostPlugin() = default;
    HostPlugin(const HostPlugin&) = delete;
    HostPlugin& operator=(const HostPlugin&) = delete;
    ~HostPlugin();

    // Loads the library and binds every export that it has; false with the reason in
    // `problem` when the library cannot be loaded.
    bool Load(const std::wstring& path, std::wstring& problem);
    // The names of the interface's exports that the library lacks, space-separated.
    std::wstring MissingExports() const;
};

// "2: not a picture this plug-in reads" for a result code of the interface.
std::wstring DescribeResult(int code);

// Makes a fault that nothing handles end the process with kExitCrashed and a report on
// standard error, naming the plug-in export that was running.
void InstallFaultReport();

// Marks the duration of one call into the plug-in for the fault report.
class PluginCall {
public:
    explicit PluginCall(const wchar_t* exportName) noexcept;
    ~PluginCall();
    PluginCall(const PluginCall&) = delete;
    PluginCall& operator=(const PluginCall&) = delete;

private:
    const wchar_t* previous_;
};

}  // namespace spihost
