#pragma once
// The host's view of one plug-in: the library loaded by path, its exports bound by name, the
// words for its result codes, and the export being called, for the report of a fault inside it.

#include <windows.h>

#include <string>

#include "Holders.h"
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
    sorvane::LoadedLibrary module;
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

// A code a picture request may answer with: success or one of the four failures. Cancelled
// is no answer when the host never asked to stop.
bool IsInterfaceResult(int code);

// The export that the tool is calling now (see PluginCall), or null between calls.
const wchar_t* RunningExport();

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
