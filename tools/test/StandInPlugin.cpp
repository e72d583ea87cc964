// A stand-in plug-in for the tests of the host tool and of the mutation runner: it answers the
// interface with pictures and faults chosen by words, so that a host's handling of good
// pictures, broken answers and crashes can be checked without Direct3D. A word counts when
// the file's name (not its folders) holds it in lower case, or when the input's first bytes
// (the memory image, or the file's start) begin with it in upper case.
//   crash     GetPictureInfoW and GetPictureW write through a null pointer
//   hang      GetPictureInfoW never returns
//   badcode   GetPictureInfoW answers 3, a code outside the interface
//   scribble  GetPictureInfoW fails and still writes the record
//   leak      GetPictureInfoW keeps 2 MiB each time
//   refuse    GetPictureW answers 2 (not a picture it reads) after claiming the file
//   short     the pixel block is smaller than the header's rows need
//   movable   the blocks are movable (LMEM_MOVEABLE) instead of fixed
//   palette   an 8-bit picture with a two-entry colour table
//   silent    GetPictureW succeeds without handing over any block
//   baddib    GetPictureW hands over a 32-bit DIB after describing 24 bits
//   window    GetPictureW leaves a window on the host's thread
//   other     a 3x2 24-bit picture (BITMAPINFO block of 44 bytes, as Sorvane hands over)
// IsSupportedW claims a buffer that starts with "FAKE". Only the UTF-16 exports and
// GetPluginInfoW exist: the ANSI ones are missing on purpose.

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "PluginApi.h"
#include "PluginResult.h"

using sorvane::PictureInfo;
using sorvane::ProgressCallback;

namespace {

// What a request says about itself: the file's name in lower case and its first bytes.
class Request {
public:
    Request(const wchar_t* source, LONG_PTR length, unsigned flags) {
        if ((flags & 7) == 1) {
            std::memcpy(head_, source, length < 15 ? static_cast<size_t>(length) : 15);
            return;
        }
        const wchar_t* name = source;
        for (const wchar_t* c = source; *c != 0; ++c) {
            if (*c == L'\\' || *c == L'/') name = c + 1;
        }
        lstrcpynW(name_, name, MAX_PATH);
        for (wchar_t* c = name_; *c != 0; ++c) *c = static_cast<wchar_t>(std::towlower(*c));
        const HANDLE file = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD got = 0;
        ReadFile(file, head_, 15, &got, nullptr);
        CloseHandle(file);
    }
    // `word` in lower case.
    bool Has(const char* word) const {
        wchar_t wide[16] = {};
        char upper[16] = {};
        for (size_t i = 0; word[i] != 0 && i < 15; ++i) {
            wide[i] = static_cast<wchar_t>(word[i]);
            upper[i] = static_cast<char>(word[i] - 'a' + 'A');
        }
        return std::wcsstr(name_, wide) != nullptr || std::strncmp(head_, upper, std::strlen(upper)) == 0;
    }

private:
    wchar_t name_[MAX_PATH] = {};
    char head_[16] = {};
};

void Crash() { *static_cast<volatile int*>(nullptr) = 1; }

// Blue, green, red bytes of the 3x2 picture, bottom row first, rows padded to 12 bytes.
constexpr unsigned char kPixels24[2][12] = {
    {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0},        // bottom: red, green, blue
    {255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0},  // top: white, black, grey
};

HLOCAL Block(UINT flags, const void* data, size_t size) {
    HLOCAL block = LocalAlloc(flags | LMEM_ZEROINIT, size);
    if (block == nullptr) return nullptr;
    void* p = LocalLock(block);
    std::memcpy(p, data, size);
    LocalUnlock(block);
    return block;
}

}  // namespace

extern "C" {

int SPI_CALL GetPluginInfoW(int index, wchar_t* buffer, int length) {
    static const wchar_t* const kStrings[] = {L"00IN", L"stand-in plug-in for tests", L"*.fake", L"Fake pictures"};
    if (buffer == nullptr || length <= 0) return 0;
    const wchar_t* text = index >= 0 && index < 4 ? kStrings[index] : L"";
    lstrcpynW(buffer, text, length);
    return static_cast<int>(std::wcslen(buffer));
}

int SPI_CALL IsSupportedW(const wchar_t*, ULONG_PTR source) {
    if ((source & ~static_cast<ULONG_PTR>(0xFFFF)) == 0) return 0;
    return std::memcmp(reinterpret_cast<const void*>(source), "FAKE", 4) == 0 ? 1 : 0;
}

int SPI_CALL GetPictureInfoW(const wchar_t* source, LONG_PTR length, unsigned flags, PictureInfo* info) {
    const Request request(source, length, flags);
    if (request.Has("crash")) Crash();
    if (request.Has("hang")) Sleep(INFINITE);
    if (request.Has("badcode")) return 3;
    if (request.Has("leak")) VirtualAlloc(nullptr, 2 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (request.Has("scribble")) {
        info->width = 0;
        return sorvane::kNotSupported;
    }
    *info = PictureInfo{};
    info->width = 3;
    info->height = 2;
    info->bitsPerPixel = 24;
    return sorvane::kSuccess;
}

int SPI_CALL GetPictureW(const wchar_t* source, LONG_PTR length, unsigned flags, HLOCAL* info,
                         HLOCAL* bits, ProgressCallback progress, LONG_PTR data) {
    const Request request(source, length, flags);
    if (request.Has("refuse")) return sorvane::kNotSupported;
    for (int step = 0; step <= 80; step += 40) {
        if (progress != nullptr && progress(step, 100, data) != 0) return sorvane::kCancelled;
    }
    if (request.Has("crash")) Crash();
    if (request.Has("window")) {
        CreateWindowExW(0, L"STATIC", L"left", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    }
    if (request.Has("silent")) return sorvane::kSuccess;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } dib{};
    dib.header.biSize = sizeof(BITMAPINFOHEADER);
    dib.header.biWidth = 3;
    dib.header.biHeight = 2;
    dib.header.biPlanes = 1;
    dib.header.biBitCount = request.Has("baddib") ? 32 : 24;
    const void* pixels = kPixels24;
    size_t pixelBytes = sizeof kPixels24;
    size_t infoBytes = sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD);
    // 8-bit rows of 3 pixels padded to 4 bytes: indexes into the two colours.
    static const unsigned char kPixels8[2][4] = {{0, 1, 0, 0}, {1, 0, 1, 0}};
    if (request.Has("palette")) {
        dib.header.biBitCount = 8;
        dib.header.biClrUsed = 2;
        dib.colors[0] = RGBQUAD{0, 0, 255, 0};    // red
        dib.colors[1] = RGBQUAD{255, 0, 0, 0};    // blue
        pixels = kPixels8;
        pixelBytes = sizeof kPixels8;
        infoBytes = sizeof dib;
    }
    if (request.Has("short")) {
        dib.header.biWidth = 100;
        dib.header.biHeight = 100;
    }
    const UINT kind = request.Has("movable") ? LMEM_MOVEABLE : LMEM_FIXED;
    *info = Block(kind, &dib, infoBytes);
    *bits = Block(kind, pixels, pixelBytes);
    if (progress != nullptr && progress(100, 100, data) != 0) return sorvane::kCancelled;
    return sorvane::kSuccess;
}

int SPI_CALL ConfigurationDlg(HWND, int) { return sorvane::kNotImplemented; }

}  // extern "C"
