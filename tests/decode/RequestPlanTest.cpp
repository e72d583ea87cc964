#include <gtest/gtest.h>

#include "D3dxLibrary.h"
#include "DdsWriter.h"
#include "RequestPlan.h"

namespace sorvane {
namespace {

using test::Bytes;
using test::DdsFormat;

Bytes Plain(DdsFormat format) {
    return test::WriteDds(test::MakeUncompressed(format, 4, 4, [](uint32_t, uint32_t) { return 0x1234u; }));
}

// The route and the facts of a plan, from what the file is, how long the request says it is,
// and the settings; D3DX is bound.
TEST(PlanRequest, ChoosesTheRouteAndTheDibOnce) {
    if (BoundD3dx() == nullptr) GTEST_SKIP() << "D3DX is not bound";
    const uint8_t bmp[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0,
                           24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           1, 2, 3, 0};
    // A mask that is not one run of bits: no layout our reader reads, D3DX's to judge.
    const Bytes gapped = test::WriteLegacyDds({0x40, 0, 16, 0x5, 0xF0, 0xF00, 0}, 4, 4, Bytes(32));
    const Bytes v8u8 = test::WriteLegacyDds({0x80000, 0, 16, 0xFF, 0xFF00, 0, 0}, 4, 4, Bytes(32));
    // A16B16G16R16F: a legacy HDR format D3DX reads.
    const Bytes halves = test::WriteLegacyDds({0x4, 113, 0, 0, 0, 0, 0}, 4, 4, Bytes(4 * 4 * 8));
    PluginSettings normalZ, wide, reader, toneMap, toneMapChannel;
    normalZ.normalZ = true;
    wide.dibBits = 32;
    reader.reader = true;
    toneMap.toneMap = toneMapChannel.toneMap = true;
    toneMapChannel.channel = ChannelView::Alpha;
    const struct {
        const char* what;
        Bytes file;
        uint64_t size;  // the length the request gives, when not the file's
        PluginSettings settings;
        PluginResult result;
        bool d3dxRefused;
        Route route;
        uint16_t dibBits = 24;
        bool toneMap = false;
    } kCases[] = {
        {"BMP, which never reaches D3DX", Bytes(bmp, bmp + sizeof bmp), 0, {}, kNotSupported, false, Route::OwnReader},
        {"DDS magic and no header", {'D', 'D', 'S', ' ', 1, 2, 3}, 0, {}, kNotSupported, false, Route::OwnReader},
        {"L8", Plain(DdsFormat::L8), 0, {}, kSuccess, false, Route::D3dx, 24},
        {"X1R5G5B5 keeps 16 bits", Plain(DdsFormat::X1R5G5B5), 0, {}, kSuccess, false, Route::D3dx, 16},
        {"X1R5G5B5 in a view of 32 bits", Plain(DdsFormat::X1R5G5B5), 0, wide, kSuccess, false, Route::D3dx, 32},
        {"V8U8", v8u8, 0, {}, kSuccess, false, Route::D3dx, 24},
        {"V8U8 with normal Z", v8u8, 0, normalZ, kSuccess, false, Route::OwnReader, 24},
        {"L8 with our reader first", Plain(DdsFormat::L8), 0, reader, kSuccess, false, Route::OwnReader, 24},
        {"a gapped mask with our reader first", gapped, 0, reader, kNotSupported, true, Route::OwnReader},
        {"L8, tone mapping no HDR", Plain(DdsFormat::L8), 0, toneMap, kSuccess, false, Route::D3dx, 24},
        {"A16B16G16R16F", halves, 0, {}, kSuccess, false, Route::D3dx, 24},
        {"A16B16G16R16F tone-mapped", halves, 0, toneMap, kSuccess, false, Route::OwnReader, 24, true},
        {"A16B16G16R16F, its alpha channel", halves, 0, toneMapChannel, kSuccess, false, Route::OwnReader, 24},
        {"a gapped mask D3DX refuses", gapped, 0, {}, kNotSupported, true, Route::OwnReader},
#if defined(_WIN64)
        {"L8 said to be 4 GiB - 1 long", Plain(DdsFormat::L8), 0xFFFFFFFF, {}, kSuccess, false, Route::D3dx, 24},
        {"L8 said to be 4 GiB long, our reader's", Plain(DdsFormat::L8), 0x100000000, {}, kSuccess, false,
         Route::OwnReader, 24},
        // D3DX is not asked: it would count the length in 32 bits.
        {"a gapped mask said to be 4 GiB long", gapped, 0x100000000, {}, kInternalError, true, Route::OwnReader},
#endif
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        // Only the header is read of a length beyond the bytes: the picture is not asked for.
        const size_t size = c.size != 0 ? static_cast<size_t>(c.size) : c.file.size();
        DdsDescription description;
        DescribeDds(c.file.data(), size, size, description);
        RequestPlan plan;
        PlanRequest(description, c.settings, plan);
        EXPECT_EQ(plan.result, c.result);
        EXPECT_EQ(plan.d3dxRefused, c.d3dxRefused);
        if (c.result != kSuccess) continue;
        EXPECT_EQ(plan.route, c.route);
        EXPECT_EQ(plan.dibBits, c.dibBits);
        EXPECT_EQ(plan.toneMap, c.toneMap);
        EXPECT_EQ(plan.width, 4u);
    }
}

}  // namespace
}  // namespace sorvane
