// spihost: a command-line host for import-filter plug-ins. It loads one plug-in by path and
// calls its exports the way an image viewer does, printing every answer in words and codes.
// spihost64 loads 64-bit plug-ins (.sph), spihost32 32-bit ones (.spi).

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Convert.h"
#include "DibFile.h"
#include "HostConsole.h"
#include "HostFiles.h"
#include "FaultReport.h"
#include "Holders.h"
#include "HostPlugin.h"
#include "PluginApi.h"

namespace spihost {

namespace {

#if defined(_WIN64)
constexpr const wchar_t* kPluginKind = L".sph";
#else
constexpr const wchar_t* kPluginKind = L".spi";
#endif

constexpr int kInfoLength = 1024;
// Information strings come in filter/description pairs; no plug-in needs more than this.
constexpr int kMaxFormatSlots = 64;

void PrintUsage() {
    Out(Format(L"usage: %ls PLUGIN%ls COMMAND [ARGUMENTS] [OPTIONS]", kToolName, kPluginKind));
    Out(Format(L"       %ls --plugin-dir DIR convert [OPTIONS] FILE|DIR...", kToolName));
    Out(L"");
    Out(L"commands:");
    Out(L"  info                      the information strings (GetPluginInfoW) and the exports");
    Out(L"  probe FILE [--handle]     IsSupportedW with the first 2048 bytes of FILE, or with an");
    Out(L"                            open handle of FILE (--handle)");
    Out(L"  picinfo FILE [--memory]   GetPictureInfoW: width, height, bits per pixel");
    Out(L"  decode FILE [-o OUT.bmp] [--memory] [--cancel-at N]");
    Out(L"                            GetPictureW with progress; writes the picture to OUT.bmp");
    Out(L"  open FILE [-o OUT.bmp] [--memory]");
    Out(L"                            as a viewer opens a file: probe, then picinfo and decode");
    Out(L"  config about|settings|N   ConfigurationDlg with function 0, 1 or N");
    Out(L"  convert [--format png|bmp] [-o DIR] FILE|DIR...");
    Out(L"                            decodes every file, folders with all their subfolders, and");
    Out(L"                            writes each picture as .png (the default) or .bmp: next to");
    Out(L"                            its file, or with -o under DIR at the path it has below the");
    Out(L"                            folder given (a FILE given goes straight into DIR); never");
    Out(L"                            over one of the files converted");
    Out(L"");
    Out(L"options:");
    Out(L"  --memory          pass the whole file in memory (mode flags 1) instead of its name");
    Out(L"  --ansi            call the ANSI exports, file names in the system code page");
    Out(L"  --cancel-at N     answer the progress report N (0-100) and later ones with \"stop\"");
    Out(Format(L"  --plugin-dir DIR  instead of PLUGIN, for convert: every %ls plug-in in DIR; each",
               kPluginKind));
    Out(L"                    file goes to the first (by name) whose IsSupportedW claims it");
    Out(L"");
    Out(L"exit status: 0 success (probe: claimed); 1 the plug-in failed or did not claim the");
    Out(L"file; 2 bad command line, or a file this tool could not read or write; 3 the plug-in");
    Out(L"could not be loaded or lacks the export; 4 the plug-in crashed");
    Out(L"convert: 0 every file converted; 1 some files refused (not claimed, or the plug-in's");
    Out(L"result was a failure), the others converted; 2 some file could not be read or");
    Out(L"written, or an input does not exist; 3 no plug-in could be loaded; 4 a plug-in crashed");
}

struct CommandRow;

struct Options {
    std::wstring plugin;
    std::wstring pluginDir;
    const CommandRow* command = nullptr;
    std::wstring operand;  // FILE, or the configuration function
    std::vector<std::wstring> operands;  // convert's FILEs and DIRs
    std::wstring output;
    std::wstring format;
    bool memory = false;
    bool ansi = false;
    bool handle = false;
    int cancelAt = -1;
};

bool ParseNumber(const std::wstring& text, int& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text.c_str(), &end, 10);
    if (*end != 0 || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

// The name in the system's ANSI code page, for the ANSI exports; false when a character
// of it has no ANSI form (the plug-in would be handed another file's name).
bool ToAnsi(const std::wstring& wide, std::string& ansi, std::wstring& problem) {
    ansi.clear();
    if (wide.empty()) return true;
    BOOL lossy = FALSE;
    const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1,
                                           nullptr, 0, nullptr, &lossy);
    if (needed <= 0 || lossy) {
        problem = L"the name " + wide + L" has no form in the ANSI code page";
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(needed));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, buffer.data(), needed,
                        nullptr, nullptr);
    ansi.assign(buffer.data());
    return true;
}

std::wstring FromAnsi(const char* ansi) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(needed));
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, buffer.data(), needed);
    return std::wstring(buffer.data());
}

// What a picture request passes as its source: the file's name, or its bytes (mode 1).
struct PictureSource {
    std::wstring wideName;
    std::string ansiName;
    std::vector<uint8_t> bytes;
    bool memory = false;
    bool ansi = false;

    bool Prepare(const Options& options, std::wstring& problem) {
        memory = options.memory;
        ansi = options.ansi;
        wideName = options.operand;
        if (memory) return ReadFileStart(wideName, UINT64_MAX, bytes, problem);
        return !ansi || ToAnsi(wideName, ansiName, problem);
    }
    const void* Pointer() const {
        if (memory) return bytes.data();
        return ansi ? static_cast<const void*>(ansiName.c_str()) : wideName.c_str();
    }
    LONG_PTR Length() const { return memory ? static_cast<LONG_PTR>(bytes.size()) : 0; }
    unsigned Flags() const { return memory ? 1u : 0u; }
    std::wstring Mode() const {
        return memory ? Format(L"memory, %zu bytes", bytes.size()) : std::wstring(L"file");
    }
};

int ReportMissingExport(const wchar_t* name) {
    Err(Format(L"%ls: the plug-in does not export %ls", kToolName, name));
    return kExitNotLoaded;
}

// ---- info ----

std::wstring InformationString(const HostPlugin& plugin, bool ansi, int index) {
    if (ansi) {
        char buffer[kInfoLength] = {};
        int copied;
        {
            PluginCall call(L"GetPluginInfo");
            copied = plugin.GetPluginInfo(index, buffer, kInfoLength);
        }
        buffer[kInfoLength - 1] = 0;
        std::wstring text = FromAnsi(buffer);
        if (copied != static_cast<int>(std::strlen(buffer))) {
            text += Format(L"  (returned %d for %zu bytes)", copied, std::strlen(buffer));
        }
        return text;
    }
    wchar_t buffer[kInfoLength] = {};
    int copied;
    {
        PluginCall call(L"GetPluginInfoW");
        copied = plugin.GetPluginInfoW(index, buffer, kInfoLength);
    }
    buffer[kInfoLength - 1] = 0;
    std::wstring text = buffer;
    if (copied != static_cast<int>(text.size())) {
        text += Format(L"  (returned %d for %zu characters)", copied, std::wcslen(buffer));
    }
    return text;
}

int RunInfo(const HostPlugin& plugin, const Options& options) {
    const wchar_t* exportName = options.ansi ? L"GetPluginInfo" : L"GetPluginInfoW";
    if (options.ansi ? plugin.GetPluginInfo == nullptr : plugin.GetPluginInfoW == nullptr) {
        return ReportMissingExport(exportName);
    }
    Out(Format(L"%ls:", exportName));
    const std::wstring version = InformationString(plugin, options.ansi, 0);
    Out(L"  0  interface version  " + version);
    Out(L"  1  about              " + InformationString(plugin, options.ansi, 1));
    for (int slot = 0; slot < kMaxFormatSlots; ++slot) {
        const std::wstring filter = InformationString(plugin, options.ansi, 2 + 2 * slot);
        const std::wstring description = InformationString(plugin, options.ansi, 3 + 2 * slot);
        if (filter.empty() && description.empty()) break;
        Out(Format(L"  %-2d filter %-11d %ls", 2 + 2 * slot, slot + 1, filter.c_str()));
        Out(Format(L"  %-2d description %-6d %ls", 3 + 2 * slot, slot + 1, description.c_str()));
    }
    const std::wstring missing = plugin.MissingExports();
    Out(missing.empty() ? L"exports: all eleven present" : L"exports missing: " + missing);
    if (version.compare(0, 4, L"00IN") != 0) {
        Out(L"not an import filter: the interface version is not 00IN");
        return kExitPluginFailed;
    }
    return kExitSuccess;
}

// ---- probe ----

// IsSupported(W) with the first bytes of the file, or with an open handle of it; returns
// the tool's exit code and sets `claimed`.
int Probe(const HostPlugin& plugin, const Options& options, bool& claimed) {
    claimed = false;
    const wchar_t* exportName = options.ansi ? L"IsSupported" : L"IsSupportedW";
    if (options.ansi ? plugin.IsSupported == nullptr : plugin.IsSupportedW == nullptr) {
        return ReportMissingExport(exportName);
    }
    std::wstring problem;
    std::string ansiName;
    if (options.ansi && !ToAnsi(options.operand, ansiName, problem)) {
        Err(Format(L"%ls: %ls", kToolName, problem.c_str()));
        return kExitUsage;
    }
    // A buffer's address always has bits above the low 16 set, which tells the plug-in that
    // it is no file handle.
    std::vector<uint8_t> head;
    sorvane::FileHandle file;
    std::wstring how;
    if (options.handle) {
        file = OpenForReading(options.operand, problem);
        if (!file) {
            Err(Format(L"%ls: %ls", kToolName, problem.c_str()));
            return kExitUsage;
        }
        how = L"an open file handle";
    } else {
        size_t fromFile = 0;
        if (!ReadProbeBytes(options.operand, head, fromFile, problem)) {
            Err(Format(L"%ls: %ls", kToolName, problem.c_str()));
            return kExitUsage;
        }
        how = Format(L"the first %zu bytes (%zu from the file)", kProbeBytes, fromFile);
    }
    const ULONG_PTR source = options.handle ? reinterpret_cast<ULONG_PTR>(file.get())
                                            : reinterpret_cast<ULONG_PTR>(head.data());
    int answer;
    {
        PluginCall call(exportName);
        answer = options.ansi ? plugin.IsSupported(ansiName.c_str(), source)
                              : plugin.IsSupportedW(options.operand.c_str(), source);
    }
    claimed = answer != 0;
    Out(Format(L"%ls with %ls: %d: %ls", exportName, how.c_str(), answer,
               claimed ? L"the plug-in claims the file" : L"the plug-in does not claim the file"));
    if (options.handle) {
        LARGE_INTEGER position{};
        LARGE_INTEGER zero{};
        if (SetFilePointerEx(file.get(), zero, &position, FILE_CURRENT)) {
            Out(Format(L"  file position afterwards: %lld", static_cast<long long>(position.QuadPart)));
        }
    }
    return claimed ? kExitSuccess : kExitPluginFailed;
}

int ProbeFile(const HostPlugin& plugin, const Options& options) {
    bool claimed = false;
    return Probe(plugin, options, claimed);
}

// ---- picinfo ----

// Checks that the export of the form the options ask for (`ansi` or `wide`) exists and reads the
// source; -1 when the call can go ahead, else the exit code.
template <typename Ansi, typename Wide>
int PrepareCall(Ansi ansi, Wide wide, const wchar_t* exportName, const Options& options, PictureSource& source) {
    if (options.ansi ? ansi == nullptr : wide == nullptr) return ReportMissingExport(exportName);
    std::wstring problem;
    if (!source.Prepare(options, problem)) {
        Err(Format(L"%ls: %ls", kToolName, problem.c_str()));
        return kExitUsage;
    }
    return -1;
}

int PictureInformation(const HostPlugin& plugin, const Options& options) {
    const wchar_t* exportName = options.ansi ? L"GetPictureInfo" : L"GetPictureInfoW";
    PictureSource source;
    const int refused = PrepareCall(plugin.GetPictureInfo, plugin.GetPictureInfoW, exportName, options, source);
    if (refused >= 0) return refused;
    sorvane::PictureInfo info{};
    int result;
    {
        PluginCall call(exportName);
        result = options.ansi
                     ? plugin.GetPictureInfo(static_cast<const char*>(source.Pointer()),
                                             source.Length(), source.Flags(), &info)
                     : plugin.GetPictureInfoW(static_cast<const wchar_t*>(source.Pointer()),
                                              source.Length(), source.Flags(), &info);
    }
    // The text information block, if any, belongs to the host now.
    const sorvane::LocalBlock text(result == 0 ? info.textInfo : nullptr);
    Out(Format(L"%ls (%ls): %ls", exportName, source.Mode().c_str(), DescribeResult(result).c_str()));
    if (result != 0) return kExitPluginFailed;
    Out(Format(L"  width %ld, height %ld, bits per pixel %d", static_cast<long>(info.width),
               static_cast<long>(info.height), info.bitsPerPixel));
    Out(Format(L"  origin %ld,%ld, density %ux%u, %ls", static_cast<long>(info.originX),
               static_cast<long>(info.originY), info.densityX, info.densityY,
               text ? Format(L"text information of %zu bytes", LocalSize(text.get())).c_str()
                    : L"no text information"));
    return kExitSuccess;
}

// ---- decode ----

struct ProgressState {
    int cancelAt = -1;
    int reports = 0;
};
ProgressState* g_progress = nullptr;

int SPI_CALL ReportProgress(int numerator, int denominator, LONG_PTR data) {
    ProgressState* state = g_progress;
    if (state == nullptr) {
        Out(L"  progress report outside GetPicture; ignored");
        return 0;
    }
    if (data != reinterpret_cast<LONG_PTR>(state)) {
        Out(Format(L"  progress callback data changed: %p, expected %p",
                   reinterpret_cast<void*>(data), static_cast<void*>(state)));
    }
    ++state->reports;
    const bool stop = state->cancelAt >= 0 && numerator >= state->cancelAt;
    Out(Format(L"  progress %d/%d%ls", numerator, denominator, stop ? L" (answering: stop)" : L""));
    return stop ? 1 : 0;
}

int DecodePicture(const HostPlugin& plugin, const Options& options) {
    const wchar_t* exportName = options.ansi ? L"GetPicture" : L"GetPictureW";
    PictureSource source;
    const int refused = PrepareCall(plugin.GetPicture, plugin.GetPictureW, exportName, options, source);
    if (refused >= 0) return refused;
    ProgressState progress;
    progress.cancelAt = options.cancelAt;
    g_progress = &progress;
    const LONG_PTR data = reinterpret_cast<LONG_PTR>(&progress);
    HLOCAL infoHandle = nullptr;
    HLOCAL bitsHandle = nullptr;
    Out(Format(L"%ls (%ls):", exportName, source.Mode().c_str()));
    int result;
    {
        PluginCall call(exportName);
        result = options.ansi
                     ? plugin.GetPicture(static_cast<const char*>(source.Pointer()),
                                         source.Length(), source.Flags(), &infoHandle,
                                         &bitsHandle, ReportProgress, data)
                     : plugin.GetPictureW(static_cast<const wchar_t*>(source.Pointer()),
                                          source.Length(), source.Flags(), &infoHandle,
                                          &bitsHandle, ReportProgress, data);
    }
    g_progress = nullptr;
    // Whatever the result, handles stored in the two variables belong to the host.
    const sorvane::LocalBlock info(infoHandle);
    const sorvane::LocalBlock bits(bitsHandle);
    Out(Format(L"  result %ls", DescribeResult(result).c_str()));
    if (result != 0) {
        if (info || bits) Out(L"  the plug-in handed over picture blocks all the same; freed them");
        return kExitPluginFailed;
    }
    if (!info || !bits) {
        Out(L"  the plug-in reported success but handed over no picture");
        return kExitPluginFailed;
    }
    HandedDib dib(info.get(), bits.get());
    std::wstring problem;
    if (!dib.Inspect(problem)) {
        Out(L"  the plug-in's picture is unusable: " + problem);
        return kExitPluginFailed;
    }
    const DibLayout& layout = dib.layout();
    Out(L"  picture " + DescribeDib(layout));
    if (options.output.empty()) return kExitSuccess;
    if (!WriteBmpFile(options.output, dib.info(), dib.bits(), layout, problem)) {
        Err(Format(L"%ls: %ls: %ls", kToolName, options.output.c_str(), problem.c_str()));
        return kExitUsage;
    }
    Out(Format(L"  wrote %ls (%lu bytes)", options.output.c_str(),
               static_cast<unsigned long>(BmpFileHeader(layout).bfSize)));
    return kExitSuccess;
}

// ---- open ----

int OpenLikeViewer(const HostPlugin& plugin, const Options& options) {
    bool claimed = false;
    const int probed = Probe(plugin, options, claimed);
    if (!claimed) {
        if (probed == kExitPluginFailed) Out(L"not claimed: a viewer would try another plug-in");
        return probed;
    }
    const int described = PictureInformation(plugin, options);
    if (described != kExitSuccess) return described;
    return DecodePicture(plugin, options);
}

// ---- config ----

int Configure(const HostPlugin& plugin, const Options& options) {
    if (plugin.ConfigurationDlg == nullptr) return ReportMissingExport(L"ConfigurationDlg");
    int function = 0;
    const wchar_t* what = L"";
    if (options.operand == L"about") {
        function = 0;
        what = L" (about box)";
    } else if (options.operand == L"settings") {
        function = 1;
        what = L" (settings dialog)";
    } else if (!ParseNumber(options.operand, function)) {
        Err(Format(L"%ls: config needs about, settings or a number", kToolName));
        return kExitUsage;
    }
    int result;
    {
        PluginCall call(L"ConfigurationDlg");
        result = plugin.ConfigurationDlg(nullptr, function);
    }
    Out(Format(L"ConfigurationDlg(%d%ls): %ls", function, what, DescribeResult(result).c_str()));
    return result == 0 ? kExitSuccess : kExitPluginFailed;
}

// ---- convert ----

ConvertRequest ConvertRequestOf(const Options& options) {
    ConvertRequest request;
    request.inputs = options.operands;
    request.outputDir = options.output;
    request.format = options.format == L"bmp" ? OutputFormat::Bmp : OutputFormat::Png;
    return request;
}

bool HasPluginKind(const std::wstring& name) {
    const size_t kind = std::wcslen(kPluginKind);
    return name.size() > kind && _wcsicmp(name.c_str() + name.size() - kind, kPluginKind) == 0;
}

// Loads every import filter of the tool's kind in the folder, in name order, as a viewer
// loads its plug-in folder; what cannot serve is named and left out.
int ConvertWithFolder(const Options& options) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE opened = FindFirstFileW((options.pluginDir + L"\\*").c_str(), &found);
    if (opened != INVALID_HANDLE_VALUE) {
        const sorvane::FileSearch search(opened);
        do {
            // "*.sph" would also match longer extensions through short names, so the
            // extension is compared here.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && HasPluginKind(found.cFileName)) {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileW(search.get(), &found));
    }
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    });
    std::vector<std::unique_ptr<HostPlugin>> loaded;
    std::vector<const HostPlugin*> plugins;
    for (const std::wstring& name : names) {
        auto plugin = std::make_unique<HostPlugin>();
        std::wstring problem;
        if (!plugin->Load(options.pluginDir + L"\\" + name, problem)) {
            Out(Format(L"plug-in %ls left out: it could not be loaded: %ls", name.c_str(), problem.c_str()));
            continue;
        }
        if (plugin->IsSupportedW == nullptr || plugin->GetPictureW == nullptr || plugin->GetPluginInfoW == nullptr) {
            Out(Format(L"plug-in %ls left out: it lacks IsSupportedW, GetPictureW or GetPluginInfoW", name.c_str()));
            continue;
        }
        if (InformationString(*plugin, false, 0).compare(0, 4, L"00IN") != 0) {
            Out(Format(L"plug-in %ls left out: not an import filter (00IN)", name.c_str()));
            continue;
        }
        Out(Format(L"plug-in %ls", name.c_str()));
        plugins.push_back(plugin.get());
        loaded.push_back(std::move(plugin));
    }
    if (plugins.empty()) {
        Err(Format(L"%ls: no %ls import filter in %ls could be loaded", kToolName, kPluginKind,
                   options.pluginDir.c_str()));
        return kExitNotLoaded;
    }
    return ConvertFiles(plugins, ConvertRequestOf(options));
}

int ConvertWithPlugin(const HostPlugin& plugin, const Options& options) {
    if (plugin.IsSupportedW == nullptr) return ReportMissingExport(L"IsSupportedW");
    if (plugin.GetPictureW == nullptr) return ReportMissingExport(L"GetPictureW");
    return ConvertFiles({&plugin}, ConvertRequestOf(options));
}

// ---- the command line ----

// One bit per option; a command's row lists the options it takes.
constexpr unsigned kFormat = 1u << 0;
constexpr unsigned kOutput = 1u << 1;
constexpr unsigned kMemory = 1u << 2;
constexpr unsigned kHandle = 1u << 3;
constexpr unsigned kCancelAt = 1u << 4;
constexpr unsigned kAnsi = 1u << 5;
constexpr unsigned kPluginDir = 1u << 6;  // stands before the command, in place of the plug-in

struct OptionRow {
    const wchar_t* name;
    unsigned bit;
    bool takesValue;
    // Stores the option (and its value); false when the value is not one it takes.
    bool (*store)(Options& options, const std::wstring& value);
    const wchar_t* badValue;
};

// In the order in which options a command does not take are reported.
const OptionRow kOptionRows[] = {
    {L"--format", kFormat, true, [](Options& o, const std::wstring& v) { o.format = v; return true; }, nullptr},
    {L"-o", kOutput, true, [](Options& o, const std::wstring& v) { o.output = v; return true; }, nullptr},
    {L"--memory", kMemory, false, [](Options& o, const std::wstring&) { return o.memory = true; }, nullptr},
    {L"--handle", kHandle, false, [](Options& o, const std::wstring&) { return o.handle = true; }, nullptr},
    {L"--cancel-at", kCancelAt, true,
     [](Options& o, const std::wstring& v) { return ParseNumber(v, o.cancelAt) && o.cancelAt >= 0; },
     L"--cancel-at needs a number from 0"},
    {L"--ansi", kAnsi, false, [](Options& o, const std::wstring&) { return o.ansi = true; }, nullptr},
};

struct CommandRow {
    const wchar_t* name;
    const wchar_t* argument;  // what must follow the command, for the refusal; null: nothing may
    bool many;                // one argument or more, instead of exactly one
    unsigned options;
    const wchar_t* refusal;   // for any option it does not take; null: the option names its commands
    int (*run)(const HostPlugin& plugin, const Options& options);
};

const CommandRow kCommandRows[] = {
    {L"info", nullptr, false, kAnsi, nullptr, RunInfo},
    {L"probe", L"a FILE", false, kAnsi | kHandle, nullptr, ProbeFile},
    {L"picinfo", L"a FILE", false, kAnsi | kMemory, nullptr, PictureInformation},
    {L"decode", L"a FILE", false, kAnsi | kMemory | kOutput | kCancelAt, nullptr, DecodePicture},
    {L"open", L"a FILE", false, kAnsi | kMemory | kOutput | kCancelAt, nullptr, OpenLikeViewer},
    {L"config", L"about, settings or a number", false, kAnsi, nullptr, Configure},
    {L"convert", L"a FILE or a DIR", true, kFormat | kOutput | kPluginDir, L"convert takes only --format and -o",
     ConvertWithPlugin},
};

// "-o is for decode, open and convert": the commands whose rows take the option.
std::wstring OnlyFor(const std::wstring& option, unsigned bit) {
    std::vector<std::wstring> names;
    for (const CommandRow& row : kCommandRows) {
        if ((row.options & bit) != 0) names.push_back(row.name);
    }
    std::wstring text = option + L" is for ";
    for (size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? L"" : i + 1 == names.size() ? L" and " : L", ") + names[i];
    }
    return text;
}

bool Refuse(std::wstring& problem, const std::wstring& why) {
    problem = why;
    return false;
}

// Words are read as the command's arguments and options first; the command's row then says
// whether it takes them. An empty value counts as the option not given.
bool ParseArguments(int argc, wchar_t** argv, Options& options, std::wstring& problem) {
    int next = 1;
    if (argc > 1 && std::wcscmp(argv[1], L"--plugin-dir") == 0) {
        if (argc < 4 || argv[2][0] == 0) return Refuse(problem, L"--plugin-dir needs a folder and a command");
        options.pluginDir = argv[2];
        next = 3;
    } else if (argc < 3) {
        return Refuse(problem, L"a plug-in and a command are needed");
    } else {
        options.plugin = argv[next++];
    }
    const std::wstring name = argv[next];
    const auto command = std::find_if(std::begin(kCommandRows), std::end(kCommandRows),
                                      [&name](const CommandRow& row) { return name == row.name; });
    const bool many = command != std::end(kCommandRows) && command->many;
    unsigned given = options.pluginDir.empty() ? 0 : kPluginDir;
    for (int i = next + 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const auto option = std::find_if(std::begin(kOptionRows), std::end(kOptionRows),
                                         [&arg](const OptionRow& row) { return arg == row.name; });
        if (option != std::end(kOptionRows)) {
            if (option->takesValue && i + 1 >= argc) return Refuse(problem, arg + L" needs a value");
            const std::wstring value = option->takesValue ? argv[++i] : L"";
            if (!option->store(options, value)) return Refuse(problem, option->badValue);
            if (!option->takesValue || !value.empty()) given |= option->bit;
        } else if (arg.size() > 1 && arg[0] == L'-' && !std::iswdigit(arg[1])) {
            return Refuse(problem, L"unknown option " + arg);
        } else if (many) {
            options.operands.push_back(arg);
        } else if (options.operand.empty()) {
            options.operand = arg;
        } else {
            return Refuse(problem, L"unexpected argument " + arg);
        }
    }
    if (command == std::end(kCommandRows)) return Refuse(problem, L"unknown command " + name);
    options.command = &*command;
    if ((given & kPluginDir) != 0 && (command->options & kPluginDir) == 0) {
        return Refuse(problem, OnlyFor(L"--plugin-dir", kPluginDir));
    }
    const bool hasArgument = many ? !options.operands.empty() : !options.operand.empty();
    if (command->argument != nullptr && !hasArgument) {
        return Refuse(problem, name + L" needs " + command->argument);
    }
    if (command->argument == nullptr && hasArgument) return Refuse(problem, name + L" takes no argument");
    if ((command->options & kFormat) != 0) {
        if (options.format.empty()) options.format = L"png";
        if (options.format != L"png" && options.format != L"bmp") return Refuse(problem, L"--format is png or bmp");
    }
    for (const OptionRow& option : kOptionRows) {
        if ((given & option.bit) == 0 || (command->options & option.bit) != 0) continue;
        return Refuse(problem, command->refusal != nullptr ? command->refusal : OnlyFor(option.name, option.bit));
    }
    return true;
}

int Run(int argc, wchar_t** argv) {
    if (argc == 2 && (std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0)) {
        PrintUsage();
        return kExitSuccess;
    }
    Options options;
    std::wstring problem;
    if (!ParseArguments(argc, argv, options, problem)) {
        Err(Format(L"%ls: %ls (%ls --help shows the usage)", kToolName, problem.c_str(), kToolName));
        return kExitUsage;
    }
    if (!options.pluginDir.empty()) return ConvertWithFolder(options);
    HostPlugin plugin;
    if (!plugin.Load(options.plugin, problem)) {
        Err(Format(L"%ls: the plug-in %ls could not be loaded: %ls", kToolName,
                   options.plugin.c_str(), problem.c_str()));
        return kExitNotLoaded;
    }
    return options.command->run(plugin, options);
}

}  // namespace

}  // namespace spihost

namespace spihost {
namespace {

void ReportCrash(const std::wstring& description) {
    if (RunningExport() != nullptr) {
        Err(Format(L"%ls: the plug-in crashed in %ls: %ls", kToolName, RunningExport(), description.c_str()));
    } else {
        Err(Format(L"%ls: crashed: %ls", kToolName, description.c_str()));
    }
}

}  // namespace
}  // namespace spihost

int wmain(int argc, wchar_t** argv) {
    spihost::InstallFaultReport(spihost::ReportCrash, spihost::kExitCrashed);
    // A plug-in that fails to load its own dependencies should say so here, not in a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    try {
        return spihost::Run(argc, argv);
    } catch (const std::bad_alloc&) {
        spihost::Err(std::wstring(spihost::kToolName) + L": out of memory");
        return spihost::kExitUsage;
    }
}
