#include "Convert.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <new>
#include <set>

#include "DibFile.h"
#include "HostConsole.h"
#include "HostFiles.h"
#include "Holders.h"
#include "PngFile.h"

namespace spihost {

namespace {

struct Job {
    std::wstring input;
    std::wstring relative;  // below the folder that was given, or the file's name
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Paths made from a given one keep its kind of separator.
std::wstring Join(const std::wstring& folder, std::wstring name) {
    const bool slashes = folder.find(L'/') != std::wstring::npos && folder.find(L'\\') == std::wstring::npos;
    const wchar_t separator = slashes ? L'/' : L'\\';
    for (wchar_t& c : name) c = IsSeparator(c) ? separator : c;
    return folder + separator + name;
}

std::wstring FileName(const std::wstring& path) {
    size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1])) --cut;
    return path.substr(cut);
}

std::wstring Fold(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The full path, folded: Windows file names ignore case.
std::wstring Identity(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return Fold(path);
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(length < needed ? length : 0);
    for (wchar_t& c : full) c = c == L'/' ? L'\\' : c;
    return Fold(full);
}

// Every file below `folder`, names sorted, so that runs are alike on every file system.
// Folders that are links are not followed: they may lead back up the tree.
void Walk(const std::wstring& folder, const std::wstring& relative, std::vector<Job>& jobs,
          std::vector<std::wstring>& unlisted) {
    WIN32_FIND_DATAW found;
    const HANDLE opened = FindFirstFileW(Join(folder, L"*").c_str(), &found);
    if (opened == INVALID_HANDLE_VALUE) {
        unlisted.push_back(folder + L": cannot list the folder: " + DescribeWin32Error(GetLastError()));
        return;
    }
    const sorvane::FileSearch search(opened);
    std::vector<std::pair<std::wstring, bool>> entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        entries.emplace_back(name, isFolder);
    } while (FindNextFileW(search.get(), &found));
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, isFolder] : entries) {
        const std::wstring path = Join(folder, name);
        const std::wstring below = relative.empty() ? name : Join(relative, name);
        if (isFolder) {
            Walk(path, below, jobs, unlisted);
        } else {
            jobs.push_back({path, below});
        }
    }
}

// The files to convert, each once, and the folders that could not be listed; false with the
// reason when an input does not exist.
bool GatherJobs(const std::vector<std::wstring>& inputs, std::vector<Job>& jobs,
                std::vector<std::wstring>& unlisted, std::wstring& problem) {
    std::vector<Job> all;
    for (std::wstring input : inputs) {
        while (input.size() > 1 && IsSeparator(input.back()) && input[input.size() - 2] != L':') input.pop_back();
        const DWORD attributes = GetFileAttributesW(input.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            problem = L"cannot find " + input + L": " + DescribeWin32Error(GetLastError());
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(input, L"", all, unlisted);
        } else {
            all.push_back({input, FileName(input)});
        }
    }
    std::set<std::wstring> seen;
    for (Job& job : all) {
        if (seen.insert(Identity(job.input)).second) jobs.push_back(std::move(job));
    }
    return true;
}

// Makes the folders above `path`. Failures are left to the write, which names the reason.
void MakeParentFolders(const std::wstring& path) {
    for (size_t at = 1; at < path.size(); ++at) {
        if (IsSeparator(path[at]) && !IsSeparator(path[at - 1]) && path[at - 1] != L':') {
            CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        }
    }
}

const HostPlugin* FindClaimant(const std::vector<const HostPlugin*>& plugins, const std::wstring& path,
                               std::wstring& problem) {
    std::vector<uint8_t> head;
    size_t fromFile = 0;
    if (!ReadProbeBytes(path, head, fromFile, problem)) return nullptr;
    // A buffer's address has bits above the low 16 set: the plug-in sees no file handle.
    for (const HostPlugin* plugin : plugins) {
        int claimed;
        {
            PluginCall call(L"IsSupportedW");
            claimed = plugin->IsSupportedW(path.c_str(), reinterpret_cast<ULONG_PTR>(head.data()));
        }
        if (claimed != 0) return plugin;
    }
    return nullptr;
}

int SPI_CALL Quiet(int, int, LONG_PTR) { return 0; }

enum class Outcome { Converted, Refused, Failed };

struct Result {
    Outcome outcome;
    std::wstring text;  // the reason, or what was written
};

Result ConvertOne(const std::vector<const HostPlugin*>& plugins, const Job& job, const std::wstring& output,
                  OutputFormat format, const PngWriter& png) {
    std::wstring problem;
    const HostPlugin* plugin = FindClaimant(plugins, job.input, problem);
    if (plugin == nullptr) {
        if (!problem.empty()) return {Outcome::Failed, problem};
        return {Outcome::Refused, plugins.size() == 1 ? L"not claimed by the plug-in" : L"not claimed by any plug-in"};
    }
    HLOCAL infoHandle = nullptr;
    HLOCAL bitsHandle = nullptr;
    int result;
    {
        PluginCall call(L"GetPictureW");
        result = plugin->GetPictureW(job.input.c_str(), 0, 0, &infoHandle, &bitsHandle, Quiet, 0);
    }
    // Whatever the result, handles stored in the two variables belong to the host.
    const sorvane::LocalBlock info(infoHandle);
    const sorvane::LocalBlock bits(bitsHandle);
    if (result != 0) return {Outcome::Refused, DescribeResult(result)};
    HandedDib dib(info.get(), bits.get());
    if (!dib.Inspect(problem)) return {Outcome::Refused, L"the plug-in's picture is unusable: " + problem};
    const DibLayout& layout = dib.layout();
    MakeParentFolders(output);
    const bool written = format == OutputFormat::Png ? png.Write(output, dib.info(), dib.bits(), layout, problem)
                                                     : WriteBmpFile(output, dib.info(), dib.bits(), layout, problem);
    if (!written) return {Outcome::Failed, output + L": " + problem};
    const long rows = layout.height < 0 ? -static_cast<long>(layout.height) : layout.height;
    std::wstring text = Format(L"%ls (%ldx%ld)", output.c_str(), static_cast<long>(layout.width), rows);
    if (plugins.size() > 1) text += L" by " + plugin->fileName;
    return {Outcome::Converted, text};
}

}  // namespace

std::wstring OutputPath(const std::wstring& input, const std::wstring& relative,
                        const std::wstring& outputDir, OutputFormat format) {
    std::wstring path = outputDir.empty() ? input : Join(outputDir, relative);
    // Only the last name's extension goes; a name that is all extension (".dds") keeps it.
    const size_t name = path.size() - FileName(path).size();
    const size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos && dot > name) path.erase(dot);
    return path + (format == OutputFormat::Png ? L".png" : L".bmp");
}

int ConvertFiles(const std::vector<const HostPlugin*>& plugins, const ConvertRequest& request) {
    std::vector<Job> jobs;
    std::vector<std::wstring> unlisted;
    std::wstring problem;
    if (!GatherJobs(request.inputs, jobs, unlisted, problem)) {
        Err(Format(L"%ls: %ls", kToolName, problem.c_str()));
        return kExitUsage;
    }
    PngWriter png;
    if (request.format == OutputFormat::Png && !png.Start(problem)) {
        Err(Format(L"%ls: PNG files cannot be written here: %ls", kToolName, problem.c_str()));
        return kExitUsage;
    }
    size_t converted = 0, refused = 0, failed = unlisted.size();
    for (const std::wstring& folder : unlisted) Out(L"failed " + folder);
    std::map<std::wstring, size_t> refusals;     // reason -> files
    std::map<std::wstring, std::wstring> owners;  // output -> the input it was written from
    std::set<std::wstring> inputs;
    for (const Job& job : jobs) inputs.insert(Identity(job.input));
    const int digits = static_cast<int>(std::to_wstring(jobs.size()).size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        const std::wstring output = OutputPath(job.input, job.relative, request.outputDir, request.format);
        const std::wstring target = Identity(output);
        Result r{Outcome::Failed, L""};
        // No input is overwritten (by its own picture or another's: "a.dds" next to an
        // "a.png" that is converted too), and two inputs do not end in one picture.
        if (inputs.count(target) != 0) {
            r.text = output + L": would overwrite an input; choose another folder with -o";
        } else if (owners.count(target) != 0) {
            r.text = output + L": already written from " + owners[target];
        } else {
            try {
                r = ConvertOne(plugins, job, output, request.format, png);
            } catch (const std::bad_alloc&) {
                r = {Outcome::Failed, L"out of memory"};
            }
            if (r.outcome == Outcome::Converted) owners[target] = job.input;
        }
        const wchar_t* word = L"converted";
        if (r.outcome == Outcome::Converted) {
            ++converted;
        } else if (r.outcome == Outcome::Refused) {
            ++refused;
            ++refusals[r.text];
            word = L"refused";
        } else {
            ++failed;
            word = L"failed";
        }
        Out(Format(L"[%*zu/%zu] %-9ls %ls: %ls", digits, i + 1, jobs.size(), word, job.input.c_str(), r.text.c_str()));
    }
    const size_t total = converted + refused + failed;
    Out(Format(L"summary: %zu file%ls: %zu converted, %zu refused, %zu failed to read or write", total,
               total == 1 ? L"" : L"s", converted, refused, failed));
    for (const auto& [reason, count] : refusals) Out(Format(L"  refused %zu: %ls", count, reason.c_str()));
    if (failed != 0) return kExitUsage;
    return refused != 0 ? kExitPluginFailed : kExitSuccess;
}

}  // namespace spihost
