#include "HostFiles.h"

#include <windows.h>

#include <cstddef>

#include "HostConsole.h"

namespace spihost {

sorvane::FileHandle OpenForReading(const std::wstring& path, std::wstring& problem) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = L"cannot open " + path + L": " + DescribeWin32Error(GetLastError());
        return sorvane::FileHandle();
    }
    return sorvane::FileHandle(file);
}

bool ReadFileStart(const std::wstring& path, uint64_t limit, std::vector<uint8_t>& bytes,
                   std::wstring& problem) {
    const sorvane::FileHandle file = OpenForReading(path, problem);
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        problem = L"cannot read " + path + L": " + DescribeWin32Error(GetLastError());
        return false;
    }
    const uint64_t wanted = static_cast<uint64_t>(size.QuadPart) < limit ? size.QuadPart : limit;
    if (wanted > static_cast<uint64_t>(PTRDIFF_MAX)) {
        problem = path + L" is too large to hold in memory";
        return false;
    }
    bytes.resize(static_cast<size_t>(wanted));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD chunk = left < (1u << 30) ? static_cast<DWORD>(left) : (1u << 30);
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) {
            problem = L"cannot read " + path + L": " + DescribeWin32Error(GetLastError());
            return false;
        }
        if (read == 0) break;  // the file shrank meanwhile
        done += read;
    }
    bytes.resize(done);
    return true;
}

bool ReadProbeBytes(const std::wstring& path, std::vector<uint8_t>& head, size_t& fromFile,
                    std::wstring& problem) {
    if (!ReadFileStart(path, kProbeBytes, head, problem)) return false;
    fromFile = head.size();
    head.resize(kProbeBytes, 0);
    return true;
}

}  // namespace spihost
