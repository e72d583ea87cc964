// Legacy files whose first picture is not in the file although D3DX's 32-bit count of their
// length wraps to what is there: decoding refuses them with 2 before D3DX reads past the bytes.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace sorvane::test {
namespace {

struct WrappedCase {
    const char* name;
    DdsFormat format;
    uint32_t width, height, depth;
    bool cube;
    int result;  // of GetPicture from memory and GetPictureW from the file
};

// Each wrapping size next to one row fewer, which D3DX's own check refuses.
const WrappedCase kCases[] = {
    {"A16B16G16R16F, 2^32 bytes", DdsFormat::A16B16G16R16F, 16384, 32768, 0, false, 2},
    {"A16B16G16R16F, one row fewer", DdsFormat::A16B16G16R16F, 16384, 32767, 0, false, 2},
    {"A32B32G32R32F, 2^32 bytes", DdsFormat::A32B32G32R32F, 16384, 16384, 0, false, 2},
    {"X8R8G8B8 into 24 bits, 2^32 bytes", DdsFormat::X8R8G8B8, 16384, 65536, 0, false, 2},
    {"X8R8G8B8 into 24 bits, one row fewer", DdsFormat::X8R8G8B8, 16384, 65535, 0, false, 2},
    {"six R5G6B5 faces of 2^31 bytes, into 24 bits", DdsFormat::R5G6B5, 32768, 32768, 0, true, 2},
    {"two A8R8G8B8 slices of 2^31 bytes", DdsFormat::A8R8G8B8, 32768, 16384, 2, false, 2},
    {"a whole X8R8G8B8 picture", DdsFormat::X8R8G8B8, 4, 4, 0, false, 0},
};

TEST(WrappedSize, DecodingRefusesAPictureThatIsNotThere) {
    SORVANE_REQUIRE_D3D();
    TempDir dir;
    for (const WrappedCase& c : kCases) {
        SCOPED_TRACE(c.name);
        DdsImage image;
        image.format = c.format;
        image.width = c.width;
        image.height = c.height;
        image.depth = c.depth;
        image.cube = c.cube;
        image.data = Bytes(64, 0x5A);  // all of the 4 x 4 picture, nothing of the others
        const Bytes file = WriteDds(image);
        EXPECT_EQ(DecodeMemory(file).result, c.result);
        EXPECT_EQ(DecodeFile(dir.Write(L"wrapped.dds", file)).result, c.result);
    }
}

}  // namespace
}  // namespace sorvane::test
