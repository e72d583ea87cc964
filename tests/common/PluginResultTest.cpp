#include <gtest/gtest.h>

#include "PluginResult.h"

namespace sorvane {
namespace {

TEST(ToPluginResult, MapsFailureCodes) {
    const struct {
        HRESULT hr;
        PluginResult expected;
    } kCases[] = {
        {E_OUTOFMEMORY, kOutOfMemory},
        {static_cast<HRESULT>(0x8876017C), kOutOfMemory},  // D3DERR_OUTOFVIDEOMEMORY
        {static_cast<HRESULT>(0x88760B59), kNotSupported},  // D3DXERR_INVALIDDATA
        {E_FAIL, kInternalError},
        {E_NOTIMPL, kInternalError},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), kInternalError},
        {S_OK, kInternalError},  // not a failure: nothing to map
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.hr);
        EXPECT_EQ(ToPluginResult(c.hr), c.expected);
    }
}

TEST(InputModeOf, LowThreeBitsChooseTheInput) {
    EXPECT_EQ(InputModeOf(0), InputMode::File);
    EXPECT_EQ(InputModeOf(1), InputMode::Memory);
    EXPECT_EQ(InputModeOf(0x101), InputMode::Memory);
    EXPECT_EQ(InputModeOf(0xFFFFFFF8u), InputMode::File);
    for (unsigned mode = 2; mode < 8; ++mode) EXPECT_EQ(InputModeOf(0x100 | mode), InputMode::Invalid);
}

}  // namespace
}  // namespace sorvane
