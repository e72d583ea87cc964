#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "NameConversion.h"

namespace sorvane {
namespace {

TEST(AnsiToWide, NullAndEmptyBecomeTheEmptyName) {
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        const std::wstring wide = AnsiToWide(name);
        EXPECT_TRUE(wide.empty());
        ASSERT_NE(wide.c_str(), nullptr);
        EXPECT_EQ(wide.c_str()[0], L'\0');
    }
}

TEST(AnsiToWide, ConvertsInTheAnsiCodePage) {
    EXPECT_EQ(AnsiToWide("C:\\pictures\\a.dds"), L"C:\\pictures\\a.dds");
    // Longer than MAX_PATH: the whole name, nothing cut.
    const std::string longName = "C:\\" + std::string(400, 'x') + ".dds";
    EXPECT_EQ(AnsiToWide(longName.c_str()), std::wstring(longName.begin(), longName.end()));
    if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
    // Bytes above 0x7F take their meaning from the code page, not from Latin-1.
    EXPECT_EQ(AnsiToWide("caf\xE9 \x80.dds"), L"caf\u00E9 \u20AC.dds");
}

}  // namespace
}  // namespace sorvane
