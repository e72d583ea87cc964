#include <gtest/gtest.h>

#include <cstring>

#include "D3dxImage.h"
#include "DdsReader.h"
#include "DdsWriter.h"

namespace sorvane {
namespace {

using test::Bytes;
using test::DdsFormat;

// Whether a legacy file's first picture lies within its bytes, counted as D3DX would lay it
// out: partial blocks round up, FourCCs carry their own pixel sizes, a palette comes first,
// and sizes that wrap 32 bits are seen for what they are.
TEST(HasPictureBeyondBytes, CountsTheFirstPictureAsD3dxLaysItOut) {
    const struct {
        const char* what;
        DdsFormat format;
        uint32_t width, height;
        size_t dataBytes;
        bool beyond;
        uint32_t fourCc = 0;    // written over the file's FourCC when not 0
        size_t cutTo = 0;       // the file's length when not 0
        bool noMagic = false;
    } kCases[] = {
        {"DXT1 8 x 8, all four blocks", DdsFormat::DXT1, 8, 8, 32, false},
        {"DXT1 8 x 8, a byte short", DdsFormat::DXT1, 8, 8, 31, true},
        {"DXT1 5 x 5 rounds up to 2 x 2 blocks", DdsFormat::DXT1, 5, 5, 31, true},
        {"DXT1 5 x 5, its four blocks", DdsFormat::DXT1, 5, 5, 32, false},
        {"DXT5 blocks of 16 bytes", DdsFormat::DXT5, 4, 4, 15, true},
        {"A8R8G8B8 3 x 2", DdsFormat::A8R8G8B8, 3, 2, 24, false},
        {"A8R8G8B8 3 x 2, a byte short", DdsFormat::A8R8G8B8, 3, 2, 23, true},
        {"R5G6B5 rows of 6 bytes", DdsFormat::R5G6B5, 3, 1, 5, true},
        {"A16B16G16R16F, a D3DFORMAT number as FourCC", DdsFormat::A16B16G16R16F, 2, 2, 32, false},
        {"A16B16G16R16F, a byte short", DdsFormat::A16B16G16R16F, 2, 2, 31, true},
        {"A32B32G32R32F of 4 GiB, which 32 bits count as 0", DdsFormat::A32B32G32R32F, 0x08000000, 2, 16, true},
        {"P8 after its palette", DdsFormat::P8, 4, 4, 16, false},
        {"P8 a byte short", DdsFormat::P8, 4, 4, 15, true},
        {"P8 whose palette is cut short", DdsFormat::P8, 4, 4, 16, true, 0, 128 + 1000},
        {"a FourCC D3DX does not read", DdsFormat::DXT1, 8, 8, 0, false, dds::FourCc('A', 'T', 'I', '1')},
        {"no DDS magic", DdsFormat::DXT1, 8, 8, 0, false, 0, 0, true},
        {"shorter than a header", DdsFormat::DXT1, 8, 8, 0, false, 0, 100},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        test::DdsImage image;
        image.format = c.format;
        image.width = c.width;
        image.height = c.height;
        image.data = Bytes(c.dataBytes, 0x5A);
        if (c.format == DdsFormat::P8) image.palette.assign(256, 0xFF102030);
        Bytes file = test::WriteDds(image);
        if (c.fourCc != 0) std::memcpy(file.data() + 84, &c.fourCc, 4);
        if (c.cutTo != 0) file.resize(c.cutTo);
        if (c.noMagic) file[0] = 'X';
        dds::DdsImage read;
        dds::ReadDdsHeader(file.data(), file.size(), read);
        EXPECT_EQ(HasPictureBeyondBytes(read.header, file.size()), c.beyond);
    }
}

}  // namespace
}  // namespace sorvane
