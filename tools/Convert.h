#pragma once
// The convert command: many files, and folders walked whole, decoded by the first plug-in
// that claims each file and written as .png or .bmp.

#include <string>
#include <vector>

#include "HostPlugin.h"

namespace spihost {

enum class OutputFormat { Png, Bmp };

struct ConvertRequest {
    std::vector<std::wstring> inputs;  // files and folders
    std::wstring outputDir;            // empty: each picture next to its file
    OutputFormat format = OutputFormat::Png;
};

// Where the picture of `input` goes: `relative` (the path below the folder given, or the
// file's own name) under `outputDir`, or `input` itself when there is no folder; the
// extension replaced by the format's.
std::wstring OutputPath(const std::wstring& input, const std::wstring& relative,
                        const std::wstring& outputDir, OutputFormat format);

// Converts every file with `plugins` (in the order a viewer asks them) and prints a line per
// file and the summary. Returns the tool's exit code: success when every file was converted,
// kExitPluginFailed when some were refused, kExitUsage when an input is missing or a file
// could not be read or written.
int ConvertFiles(const std::vector<const HostPlugin*>& plugins, const ConvertRequest& request);

}  // namespace spihost
