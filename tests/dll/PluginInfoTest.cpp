#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "PluginIdentity.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

const test::Plugin& Exports() {
    const test::Plugin& plugin = test::LoadedPlugin();
    EXPECT_NE(plugin.module, nullptr);
    return plugin;
}

constexpr wchar_t kWideFill = 0x7F7F;
constexpr char kFill = 0x7F;

// Information strings that are plain ASCII, so both exports store the same text.
const struct {
    int index;
    int length;
    const char* stored;
    int result;
} kInfoCases[] = {
    {0, 5, "00IN", 4},
    {0, 4, "00I", 3},
    {0, 1, "", 0},
    {2, 100, "*.DDS", 5},
    {2, 5, "*.DD", 4},
    {3, 100, "DDS - Direct Draw Surface (*.dds)", 33},
    {3, 34, "DDS - Direct Draw Surface (*.dds)", 33},
    {3, 33, "DDS - Direct Draw Surface (*.dds", 32},
    {3, 10, "DDS - Dir", 9},
    {4, 100, "", 0},
    {5, 100, "", 0},
    {9, 100, "", 0},
    {10, 100, "", 0},
    {-1, 100, "", 0},
    {INT_MIN, 100, "", 0},
};

TEST(GetPluginInfo, CopiesByTheCutRule) {
    const test::Plugin& plugin = Exports();
    ASSERT_NE(plugin.GetPluginInfoW, nullptr);
    ASSERT_NE(plugin.GetPluginInfo, nullptr);
    for (const auto& c : kInfoCases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << ", length " << c.length);
        const size_t stored = std::strlen(c.stored);
        // The buffer is larger than the length given; nothing past the terminator is written.
        std::vector<wchar_t> wide(128, kWideFill);
        EXPECT_EQ(plugin.GetPluginInfoW(c.index, wide.data(), c.length), c.result);
        EXPECT_EQ(std::wstring(wide.data()), std::wstring(c.stored, c.stored + stored));
        EXPECT_EQ(wide[stored + 1], kWideFill);

        std::vector<char> narrow(128, kFill);
        EXPECT_EQ(plugin.GetPluginInfo(c.index, narrow.data(), c.length), c.result);
        EXPECT_STREQ(narrow.data(), c.stored);
        EXPECT_EQ(narrow[stored + 1], kFill);
    }
}

TEST(GetPluginInfo, NothingToCopyInto) {
    // A null buffer or a length of 0 is left alone. With a negative length nothing is copied;
    // the 64-bit build terminates the buffer in every case, the 32-bit build only where there
    // is no string to copy.
    const test::Plugin& plugin = Exports();
    ASSERT_NE(plugin.GetPluginInfoW, nullptr);
    ASSERT_NE(plugin.GetPluginInfo, nullptr);
    constexpr bool k64 = sizeof(void*) == 8;
    const struct {
        int index;
        int length;
        bool terminated;
    } kCases[] = {
        {0, 0, false}, {1, 0, false},  {4, 0, false},       {-1, 0, false},
        {0, -1, k64},  {1, -1, k64},   {3, INT_MIN, k64},   {4, -1, true},
        {-1, -1, true}, {10, INT_MIN, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << ", length " << c.length);
        EXPECT_EQ(plugin.GetPluginInfoW(c.index, nullptr, c.length), 0);
        EXPECT_EQ(plugin.GetPluginInfo(c.index, nullptr, c.length), 0);
        wchar_t wide[2] = {kWideFill, kWideFill};
        char narrow[2] = {kFill, kFill};
        EXPECT_EQ(plugin.GetPluginInfoW(c.index, wide, c.length), 0);
        EXPECT_EQ(plugin.GetPluginInfo(c.index, narrow, c.length), 0);
        EXPECT_EQ(wide[0], c.terminated ? L'\0' : kWideFill);
        EXPECT_EQ(narrow[0], c.terminated ? '\0' : kFill);
        EXPECT_EQ(wide[1], kWideFill);
        EXPECT_EQ(narrow[1], kFill);
    }
    for (const int length : {100, 1}) {
        EXPECT_EQ(plugin.GetPluginInfoW(0, nullptr, length), 0);
        EXPECT_EQ(plugin.GetPluginInfo(3, nullptr, length), 0);
    }
}

std::wstring VersionText(const test::Plugin& plugin) {
    wchar_t text[256] = {};
    const int count = plugin.GetPluginInfoW(1, text, 256);
    EXPECT_EQ(count, static_cast<int>(std::wcslen(text)));
    return text;
}

TEST(GetPluginInfo, VersionTextNamesTheBuild) {
    const test::Plugin& plugin = Exports();
    ASSERT_NE(plugin.GetPluginInfoW, nullptr);
    const std::wstring text = VersionText(plugin);
    EXPECT_EQ(text.rfind(kDisplayName, 0), 0u) << "starts with the build's name";
    EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << "one line";
    EXPECT_NE(text.find(L"1.0"), std::wstring::npos) << "carries the version";
    bool katakana = false;
    for (const wchar_t c : text) katakana = katakana || (c >= 0x30A0 && c <= 0x30FF);
    EXPECT_TRUE(katakana);
}

TEST(GetPluginInfo, AnsiCodePageWithoutJapanese) {
    const test::Plugin& plugin = Exports();
    ASSERT_NE(plugin.GetPluginInfo, nullptr);
    // Wine takes the ANSI code page from the process's locale; the test runs under one with
    // Western European 1252, which has no Japanese characters and '?' as default character.
    if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
    const std::wstring wide = VersionText(plugin);
    std::string expected;
    for (const wchar_t c : wide) expected += c < 0x80 ? static_cast<char>(c) : '?';
    char narrow[256];
    std::memset(narrow, kFill, sizeof narrow);
    EXPECT_EQ(plugin.GetPluginInfo(1, narrow, 256), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(narrow), expected);
    // Cut by bytes of the converted text.
    EXPECT_EQ(plugin.GetPluginInfo(1, narrow, 8), 7);
    EXPECT_EQ(std::string(narrow), expected.substr(0, 7));
}

BOOL CALLBACK CollectText(HWND window, LPARAM list) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(text);
    return TRUE;
}

BOOL CALLBACK PostClose(HWND window, LPARAM) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

TEST(ConfigurationDlg, AboutBoxShowsTheVersionText) {
    SORVANE_REQUIRE_DESKTOP();
    const test::Plugin& plugin = Exports();
    ASSERT_NE(plugin.ConfigurationDlg, nullptr);
    ASSERT_NE(plugin.GetPluginInfoW, nullptr);
    const std::wstring version = VersionText(plugin);
    const DWORD caller = GetCurrentThreadId();
    std::atomic<bool> returned{false};
    HWND box = nullptr;
    std::vector<std::wstring> texts;

    // Waits up to 10 s for the box on the calling thread, reads it and presses OK. Should the
    // box not be found under its title, every window of the calling thread is closed so the
    // test ends instead of waiting for a user.
    std::thread watcher([&] {
        for (int i = 0; i < 200 && box == nullptr && !returned; ++i) {
            HWND found = FindWindowW(L"#32770", kDisplayName);
            if (found != nullptr && GetWindowThreadProcessId(found, nullptr) == caller) {
                box = found;
            } else {
                Sleep(50);
            }
        }
        if (box != nullptr) {
            EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return;
        }
        while (!returned) {
            EnumThreadWindows(caller, PostClose, 0);
            Sleep(100);
        }
    });
    const int result = plugin.ConfigurationDlg(nullptr, 0);
    returned = true;
    watcher.join();

    ASSERT_NE(box, nullptr) << "no box titled " << testing::PrintToString(std::wstring(kDisplayName));
    EXPECT_EQ(result, 0);
    EXPECT_NE(std::find(texts.begin(), texts.end(), version), texts.end())
        << "the box shows the version text";
    EXPECT_FALSE(IsWindow(box));
}

}  // namespace
}  // namespace sorvane
