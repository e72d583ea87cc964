// A stand-in plug-in for the host tool's tests: it answers the interface with pictures and
// faults chosen by the file name, so that the tool's handling of good pictures, broken
// answers and crashes can be checked without Direct3D.
//   *crash*    GetPictureW writes through a null pointer
//   *short*    the pixel block is smaller than the header's rows need
//   *movable*  the blocks are movable (LMEM_MOVEABLE) instead of fixed
//   *palette*  an 8-bit picture with a two-entry colour table
//   *silent*   success without handing over any block
//   *refuse*   GetPictureW answers 2 (not a picture it reads) after claiming the file
//   other      a 3x2 24-bit picture (BITMAPINFO block of 44 bytes, as Sorvane hands over)
// Only the UTF-16 exports and GetPluginInfoW exist: the ANSI ones are missing on purpose.

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "PluginApi.h"

using sorvane::PictureInfo;
using sorvane::ProgressCallback;

namespace {

bool NameHas(const wchar_t* name, const wchar_t* part) { return std::wcsstr(name, part) != nullptr; }

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
    static const wchar_t* const kStrings[] = {L"00IN", L"fake plug-in for tests", L"*.fake", L"Fake pictures"};
    if (buffer == nullptr || length <= 0) return 0;
    const wchar_t* text = index >= 0 && index < 4 ? kStrings[index] : L"";
    lstrcpynW(buffer, text, length);
    return static_cast<int>(std::wcslen(buffer));
}

int SPI_CALL IsSupportedW(const wchar_t*, ULONG_PTR source) {
    if ((source & ~static_cast<ULONG_PTR>(0xFFFF)) == 0) return 0;
    return std::memcmp(reinterpret_cast<const void*>(source), "FAKE", 4) == 0 ? 1 : 0;
}

int SPI_CALL GetPictureInfoW(const wchar_t*, LONG_PTR, unsigned, PictureInfo* info) {
    *info = PictureInfo{};
    info->width = 3;
    info->height = 2;
    info->bitsPerPixel = 24;
    return 0;
}

int SPI_CALL GetPictureW(const wchar_t* name, LONG_PTR, unsigned flags, HLOCAL* info,
                         HLOCAL* bits, ProgressCallback progress, LONG_PTR data) {
    if ((flags & 7) != 0) return 8;  // file names only
    if (NameHas(name, L"refuse")) return 2;
    for (int step = 0; step <= 80; step += 40) {
        if (progress != nullptr && progress(step, 100, data) != 0) return 1;
    }
    if (NameHas(name, L"crash")) {
        *static_cast<volatile int*>(nullptr) = 1;
    }
    if (NameHas(name, L"silent")) return 0;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } dib{};
    dib.header.biSize = sizeof(BITMAPINFOHEADER);
    dib.header.biWidth = 3;
    dib.header.biHeight = 2;
    dib.header.biPlanes = 1;
    dib.header.biBitCount = 24;
    const void* pixels = kPixels24;
    size_t pixelBytes = sizeof kPixels24;
    size_t infoBytes = sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD);
    // 8-bit rows of 3 pixels padded to 4 bytes: indexes into the two colours.
    static const unsigned char kPixels8[2][4] = {{0, 1, 0, 0}, {1, 0, 1, 0}};
    if (NameHas(name, L"palette")) {
        dib.header.biBitCount = 8;
        dib.header.biClrUsed = 2;
        dib.colors[0] = RGBQUAD{0, 0, 255, 0};    // red
        dib.colors[1] = RGBQUAD{255, 0, 0, 0};    // blue
        pixels = kPixels8;
        pixelBytes = sizeof kPixels8;
        infoBytes = sizeof dib;
    }
    if (NameHas(name, L"short")) {
        dib.header.biWidth = 100;
        dib.header.biHeight = 100;
    }
    const UINT kind = NameHas(name, L"movable") ? LMEM_MOVEABLE : LMEM_FIXED;
    *info = Block(kind, &dib, infoBytes);
    *bits = Block(kind, pixels, pixelBytes);
    if (progress != nullptr && progress(100, 100, data) != 0) return 1;
    return 0;
}

int SPI_CALL ConfigurationDlg(HWND, int) { return -1; }

}  // extern "C"
