#include "ReadWholeFile.h"

#include <cstdint>

namespace sorvane {

PluginResult ReadWholeFile(const wchar_t* path, LocalBlock& block, size_t& size) noexcept {
    size = 0;
    const FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return kFileError;
    return ReadOpenFile(file.get(), block, size);
}

PluginResult ReadOpenFile(HANDLE file, LocalBlock& block, size_t& size) noexcept {
    size = 0;
    LARGE_INTEGER fileSize, start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !GetFileSizeEx(file, &fileSize)) return kFileError;

#if defined(_WIN64)
    const auto total = static_cast<uint64_t>(fileSize.QuadPart);
    block.reset(LocalAlloc(LMEM_FIXED, total));
    if (!block) return kOutOfMemory;
    auto* bytes = static_cast<unsigned char*>(block.get());
    uint64_t done = 0;
    while (done < total) {
        const uint64_t missing = total - done;
        const DWORD ask = missing > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(missing);
        DWORD got = 0;
        if (!ReadFile(file, bytes + done, ask, &got, nullptr)) return kFileError;
        if (got == 0) break;  // the file shrank while it was read
        done += got;
    }
    size = static_cast<size_t>(done);
    return done == total ? kSuccess : kFileError;
#else
    // A 32-bit process cannot hold a file of 4 GiB or more in one block.
    if (fileSize.HighPart != 0) return kOutOfMemory;
    const DWORD total = fileSize.LowPart;
    block.reset(LocalAlloc(LMEM_FIXED, total));
    if (!block) return kOutOfMemory;
    DWORD got = 0;
    if (total != 0 && !ReadFile(file, block.get(), total, &got, nullptr)) return kFileError;
    size = got;
    return got == total ? kSuccess : kFileError;
#endif
}

}  // namespace sorvane
