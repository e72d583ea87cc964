// A stand-in plug-in whose faults the mutation runner must find, chosen by the file's first
// bytes (the memory image, or the file's start):
//   CRASH     GetPictureInfoW writes through a null pointer
//   HANG      GetPictureInfoW never returns
//   BADCODE   GetPictureInfoW answers 3
//   SCRIBBLE  GetPictureInfoW fails and still writes the record
//   BADDIB    GetPictureW hands over a 32-bit DIB after describing 24 bits
//   WINDOW    GetPictureW leaves a window on the host's thread
//   LEAK      GetPictureInfoW keeps 2 MiB each time
//   other     a 3x2 24-bit picture

#include <windows.h>

#include <cstring>

#include "PluginApi.h"

using sorvane::PictureInfo;
using sorvane::ProgressCallback;

namespace {

bool Starts(const char* head, const char* word) { return std::strncmp(head, word, std::strlen(word)) == 0; }

// The first bytes of the request's input, zero-terminated.
void Head(const wchar_t* source, LONG_PTR length, unsigned flags, char (&head)[16]) {
    std::memset(head, 0, sizeof head);
    if ((flags & 7) == 1) {
        std::memcpy(head, source, length < 15 ? static_cast<size_t>(length) : 15);
        return;
    }
    const HANDLE file = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) ReadFile(file, head, 15, &got, nullptr), CloseHandle(file);
}

}  // namespace

extern "C" {

int SPI_CALL IsSupportedW(const wchar_t*, ULONG_PTR) { return 1; }

int SPI_CALL GetPictureInfoW(const wchar_t* source, LONG_PTR length, unsigned flags, PictureInfo* info) {
    char head[16];
    Head(source, length, flags, head);
    if (Starts(head, "CRASH")) *static_cast<volatile int*>(nullptr) = 1;
    if (Starts(head, "HANG")) Sleep(INFINITE);
    if (Starts(head, "BADCODE")) return 3;
    if (Starts(head, "LEAK")) VirtualAlloc(nullptr, 2 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (Starts(head, "SCRIBBLE")) {
        info->width = 0;
        return 2;
    }
    *info = PictureInfo{};
    info->width = 3;
    info->height = 2;
    info->bitsPerPixel = 24;
    return 0;
}

int SPI_CALL GetPictureW(const wchar_t* source, LONG_PTR length, unsigned flags, HLOCAL* info, HLOCAL* bits,
                         ProgressCallback, LONG_PTR) {
    char head[16];
    Head(source, length, flags, head);
    if (Starts(head, "WINDOW")) CreateWindowExW(0, L"STATIC", L"left", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = 3;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = Starts(head, "BADDIB") ? 32 : 24;
    *info = LocalAlloc(LMEM_FIXED, sizeof header);
    std::memcpy(*info, &header, sizeof header);
    *bits = LocalAlloc(LMEM_ZEROINIT, 2 * 12);
    return 0;
}

}  // extern "C"
