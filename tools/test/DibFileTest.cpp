// The host tool's checks of a plug-in's DIB and the .bmp it writes from it.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "DibFile.h"

namespace spihost {
namespace {

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits, DWORD compression = BI_RGB,
                        DWORD colorsUsed = 0, DWORD size = sizeof(BITMAPINFOHEADER)) {
    BITMAPINFOHEADER h{};
    h.biSize = size;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = compression;
    h.biClrUsed = colorsUsed;
    return h;
}

struct DibCase {
    const char* name;
    BITMAPINFOHEADER header;
    size_t infoSize;
    size_t bitsSize;
    bool usable;
    uint32_t stride;      // expected when usable
    uint32_t offBits;     // expected bfOffBits
    uint32_t fileSize;    // expected bfSize
};

BITMAPINFOHEADER WithPlanes(BITMAPINFOHEADER h, WORD planes) {
    h.biPlanes = planes;
    return h;
}

const DibCase kCases[] = {
    // The plug-in's own form: a 44-byte BITMAPINFO whose one RGBQUAD is no colour table.
    {"24-bit in a 44-byte block", Header(3, 2, 24), 44, 24, true, 12, 54, 78},
    {"24-bit rows exactly fill the pixel block", Header(5, 3, 24), 40, 48, true, 16, 54, 102},
    {"pixel block one byte short", Header(5, 3, 24), 40, 47, false, 0, 0, 0},
    {"16-bit rows padded to 4 bytes", Header(5, 1, 16), 44, 12, true, 12, 54, 66},
    {"16-bit bit fields add three masks", Header(4, 1, 16, BI_BITFIELDS), 52, 8, true, 8, 66, 74},
    {"bit fields without room for the masks", Header(4, 1, 16, BI_BITFIELDS), 44, 8, false, 0, 0, 0},
    {"32-bit bit fields in a V5 header carry the masks inside", Header(2, 2, 32, BI_BITFIELDS, 0, 124),
     124, 16, true, 8, 138, 154},
    {"8-bit with two colours", Header(3, 2, 8, BI_RGB, 2), 48, 8, true, 4, 62, 70},
    {"8-bit without biClrUsed needs 256 colours", Header(3, 2, 8), 44, 8, false, 0, 0, 0},
    {"8-bit with 256 colours present", Header(3, 2, 8), 40 + 1024, 8, true, 4, 1078, 1086},
    {"1-bit with three colours", Header(8, 1, 1, BI_RGB, 3), 52, 4, false, 0, 0, 0},
    {"top-down rows", Header(3, -2, 24), 40, 24, true, 12, 54, 78},
    {"zero width", Header(0, 2, 24), 40, 24, false, 0, 0, 0},
    {"negative width", Header(-3, 2, 24), 40, 24, false, 0, 0, 0},
    {"zero height", Header(3, 0, 24), 40, 24, false, 0, 0, 0},
    {"most negative height", Header(3, INT32_MIN, 24), 40, SIZE_MAX, false, 0, 0, 0},
    {"two planes", WithPlanes(Header(3, 2, 24), 2), 40, 24, false, 0, 0, 0},
    {"12 bits per pixel", Header(3, 2, 12), 40, 24, false, 0, 0, 0},
    {"run-length compression", Header(3, 2, 8, BI_RLE8, 2), 48, 24, false, 0, 0, 0},
    {"bit fields at 24 bits", Header(3, 2, 24, BI_BITFIELDS), 52, 24, false, 0, 0, 0},
    {"block smaller than a header", Header(3, 2, 24), 39, 24, false, 0, 0, 0},
    {"biSize larger than the block", Header(3, 2, 24, BI_RGB, 0, 124), 108, 24, false, 0, 0, 0},
    {"biSize of a core header", Header(3, 2, 24, BI_RGB, 0, 12), 40, 24, false, 0, 0, 0},
    // Rows of 2^33 bytes times 2^31 rows: the product must not wrap around.
    {"largest dimensions", Header(INT32_MAX, INT32_MAX, 32), 40, SIZE_MAX, false, 0, 0, 0},
    {"over 4 GiB of rows", Header(40000, 40000, 24), 40, SIZE_MAX, false, 0, 0, 0},
};

TEST(DibFileTest, InspectsHeaderAgainstBlockSizes) {
    for (const DibCase& row : kCases) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> info(row.infoSize > sizeof(BITMAPINFOHEADER) ? row.infoSize
                                                                          : sizeof(BITMAPINFOHEADER));
        std::memcpy(info.data(), &row.header, sizeof row.header);
        DibLayout layout;
        std::wstring problem;
        const bool usable = InspectDib(info.data(), row.infoSize, row.bitsSize, layout, problem);
        EXPECT_EQ(row.usable, usable);
        if (!usable) {
            EXPECT_FALSE(problem.empty());
            continue;
        }
        EXPECT_EQ(row.stride, layout.stride);
        const BITMAPFILEHEADER file = BmpFileHeader(layout);
        EXPECT_EQ(0x4D42, file.bfType);
        EXPECT_EQ(row.offBits, file.bfOffBits);
        EXPECT_EQ(row.fileSize, file.bfSize);
    }
}

TEST(DibFileTest, NullInfoIsUnusable) {
    DibLayout layout;
    std::wstring problem;
    EXPECT_FALSE(InspectDib(nullptr, 44, 24, layout, problem));
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

std::vector<uint8_t> ReadAll(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

TEST(DibFileTest, WritesHeaderColorTableAndRowsOnly) {
    // An 8-bit picture: 40-byte header, two colours, then one byte beyond the colour table
    // that must not reach the file; two rows of 4 bytes and a trailing block byte.
    std::vector<uint8_t> info(40 + 8 + 1, 0xEE);
    const BITMAPINFOHEADER header = Header(3, 2, 8, BI_RGB, 2);
    std::memcpy(info.data(), &header, sizeof header);
    const uint8_t colors[8] = {0, 0, 255, 0, 255, 0, 0, 0};
    std::memcpy(info.data() + 40, colors, sizeof colors);
    const uint8_t bits[9] = {0, 1, 0, 0, 1, 0, 1, 0, 0xEE};
    DibLayout layout;
    std::wstring problem;
    ASSERT_TRUE(InspectDib(info.data(), info.size(), sizeof bits, layout, problem));

    const std::wstring path = TempPath(L"spihost-dibfile-test.bmp");
    ASSERT_TRUE(WriteBmpFile(path, info.data(), bits, layout, problem)) << problem.c_str();
    const std::vector<uint8_t> file = ReadAll(path);
    DeleteFileW(path.c_str());

    std::vector<uint8_t> expected(14);
    const BITMAPFILEHEADER fileHeader = BmpFileHeader(layout);
    std::memcpy(expected.data(), &fileHeader, 14);
    expected.insert(expected.end(), info.begin(), info.begin() + 48);
    expected.insert(expected.end(), bits, bits + 8);
    EXPECT_EQ(expected, file);
    EXPECT_EQ(70u, file.size());
}

TEST(DibFileTest, UnwritablePathFailsWithReason) {
    const BITMAPINFOHEADER header = Header(1, 1, 24);
    const uint8_t bits[4] = {};
    DibLayout layout;
    std::wstring problem;
    ASSERT_TRUE(InspectDib(&header, sizeof header, sizeof bits, layout, problem));
    const std::wstring path = TempPath(L"spihost-no-such-dir\\out.bmp");
    EXPECT_FALSE(WriteBmpFile(path, &header, bits, layout, problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}

}  // namespace
}  // namespace spihost
