#include <gtest/gtest.h>

#include "PluginResult.h"

namespace sorvane {
namespace {

// The edges of the mapping: each code of its own next to its neighbours, which have none, a
// memory failure no table names, and a success, which is no failure to map.
TEST(ToPluginResult, OnlyItsOwnCodesHaveResultsOfTheirOwn) {
    const struct {
        HRESULT hr;
        PluginResult expected;
    } kCases[] = {
        {E_OUTOFMEMORY, kOutOfMemory},
        {static_cast<HRESULT>(0x8876017C), kOutOfMemory},    // D3DERR_OUTOFVIDEOMEMORY
        {static_cast<HRESULT>(0x8876017B), kInternalError},  // its neighbours
        {static_cast<HRESULT>(0x8876017D), kInternalError},
        {static_cast<HRESULT>(0x88760B59), kNotSupported},   // D3DXERR_INVALIDDATA
        {static_cast<HRESULT>(0x88760B58), kInternalError},
        {static_cast<HRESULT>(0x88760B5A), kInternalError},
        {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), kInternalError},
        {E_NOTIMPL, kInternalError},  // what D3DX gives a format it cannot load
        {S_OK, kInternalError},
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
