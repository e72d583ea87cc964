// The settings dialog template as compiled into the plug-in, read back field by field.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestSupport.h"
#include "resource.h"

namespace sorvane {
namespace {

// Reads the template's little-endian fields with bounds checks; a read past the end yields
// zeros and marks the reader failed.
class TemplateReader {
public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    template <typename T>
    T Read() {
        T value{};
        if (offset_ + sizeof value > size_) {
            failed_ = true;
            offset_ = size_;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }
    std::wstring String() {
        std::wstring text;
        for (wchar_t c = Read<wchar_t>(); c != 0 && !failed_; c = Read<wchar_t>()) text += c;
        return text;
    }
    // A class, menu or text field: 0xFFFF and an ordinal, or a string (empty when 0x0000).
    std::wstring NameOrOrdinal() {
        if (offset_ + 2 <= size_ && data_[offset_] == 0xFF && data_[offset_ + 1] == 0xFF) {
            Read<uint16_t>();
            return L"#" + std::to_wstring(Read<uint16_t>());
        }
        return String();
    }
    void AlignToDword() { offset_ = (offset_ + 3) & ~size_t{3}; }
    bool failed() const { return failed_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool failed_ = false;
};

struct Item {
    uint32_t id;
    std::wstring windowClass;  // "#128" button, "#130" static, "#132" scroll bar, "#133" combo box
    std::wstring text;
    uint32_t style;
    int16_t x, y, cx, cy;
};

TEST(SettingsTemplate, MatchesTheDialogLayout) {
    const HMODULE module = test::LoadedPlugin().module;
    ASSERT_NE(module, nullptr);
    const HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                                        MAKEINTRESOURCEW(IDD_SETTINGS),
                                        MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(found, nullptr) << "no Japanese dialog 101";
    const HGLOBAL loaded = LoadResource(module, found);
    ASSERT_NE(loaded, nullptr);
    TemplateReader in(static_cast<const uint8_t*>(LockResource(loaded)), SizeofResource(module, found));

    EXPECT_EQ(in.Read<uint16_t>(), 1);       // dlgVer
    EXPECT_EQ(in.Read<uint16_t>(), 0xFFFF);  // signature of an extended template
    EXPECT_EQ(in.Read<uint32_t>(), 0u);      // help id
    EXPECT_EQ(in.Read<uint32_t>(), 0u);      // extended style
    EXPECT_EQ(in.Read<uint32_t>(), 0x80C800C8u);
    const uint16_t count = in.Read<uint16_t>();
    EXPECT_EQ(in.Read<int16_t>(), 0);
    EXPECT_EQ(in.Read<int16_t>(), 0);
    EXPECT_EQ(in.Read<int16_t>(), 366);
    EXPECT_EQ(in.Read<int16_t>(), 144);
    EXPECT_EQ(in.NameOrOrdinal(), L"");  // menu
    EXPECT_EQ(in.NameOrOrdinal(), L"");  // class
    EXPECT_EQ(in.String(), L"Dialog");
    EXPECT_EQ(in.Read<uint16_t>(), 9);    // points
    EXPECT_EQ(in.Read<uint16_t>(), 400);  // weight
    EXPECT_EQ(in.Read<uint8_t>(), 0);     // italic
    EXPECT_EQ(in.Read<uint8_t>(), 128);   // SHIFTJIS_CHARSET
    EXPECT_EQ(in.String(), L"MS Shell Dlg");

    const std::wstring button = L"#128";
    const std::wstring label = L"#130";
    const Item kItems[] = {
        {0xFFFFFFFF, button, L"アルファ情報の片づけ方", 0x50020007, 6, 6, 198, 66},
        {1002, button, L"アルファ情報を除去(&R)", 0x50000009, 12, 18, 75, 10},
        {1003, button, L"指定した色と合成(&T)", 0x50000009, 12, 42, 73, 10},
        {1016, button, L"", 0x5800000B, 103, 37, 12, 12},
        {1004, button, L"色の設定(&C)", 0x50030000, 115, 36, 82, 14},
        {1005, button, L"&1", 0x5001000B, 117, 54, 10, 12},
        {1006, button, L"&2", 0x5001000B, 127, 54, 10, 12},
        {1007, button, L"&3", 0x5001000B, 137, 54, 10, 12},
        {1008, button, L"&4", 0x5001000B, 147, 54, 10, 12},
        {1009, button, L"&5", 0x5001000B, 157, 54, 10, 12},
        {1010, button, L"&6", 0x5001000B, 167, 54, 10, 12},
        {1011, button, L"&7", 0x5001000B, 177, 54, 10, 12},
        {1012, button, L"&8", 0x5001000B, 187, 54, 10, 12},
        {0xFFFFFFFF, label, L"履歴", 0x50020000, 102, 56, 15, 8},
        {0xFFFFFFFF, button, L"表示のしかた", 0x50020007, 210, 6, 150, 130},
        {1020, button, L"合成の背景を市松模様にする(&K)", 0x50030003, 216, 18, 138, 10},
        {1021, button, L"アルファ チャンネルだけを表示(&A)", 0x50010003, 216, 31, 138, 10},
        {1022, button, L"法線マップの Z を復元する(&N)", 0x50010003, 216, 44, 138, 10},
        {1023, button, L"アルファ付きの 32 ビットで渡す(&B)", 0x50010003, 216, 57, 138, 10},
        {0xFFFFFFFF, label, L"並べる画像(&L)", 0x50020000, 216, 76, 46, 8},
        {1024, L"#133", L"", 0x50010003, 264, 74, 90, 60},
        {1025, button, L"内蔵リーダーを優先する(&P)", 0x50030003, 216, 92, 138, 10},
        {1026, button, L"HDR 画像をトーンマッピング(&H)", 0x50010003, 216, 105, 138, 10},
        {0xFFFFFFFF, label, L"露出(&X)", 0x50020000, 228, 120, 28, 8},
        {1027, L"#132", L"", 0x50010000, 258, 119, 60, 10},  // a horizontal scroll bar
        {1028, label, L"", 0x50000002, 320, 120, 34, 8},     // SS_RIGHT
        {1018, button, L"Exifの向き情報があれば使う(&E)", 0x50030003, 6, 81, 102, 10},
        {1, button, L"OK", 0x50030001, 114, 118, 42, 18},
        {2, button, L"キャンセル", 0x50010000, 162, 118, 42, 18},
    };
    ASSERT_EQ(count, std::size(kItems));
    for (const Item& expected : kItems) {
        SCOPED_TRACE(testing::Message() << "control " << (&expected - kItems) + 1);
        in.AlignToDword();
        EXPECT_EQ(in.Read<uint32_t>(), 0u);  // help id
        EXPECT_EQ(in.Read<uint32_t>(), 0u);  // extended style
        EXPECT_EQ(in.Read<uint32_t>(), expected.style);
        EXPECT_EQ(in.Read<int16_t>(), expected.x);
        EXPECT_EQ(in.Read<int16_t>(), expected.y);
        EXPECT_EQ(in.Read<int16_t>(), expected.cx);
        EXPECT_EQ(in.Read<int16_t>(), expected.cy);
        EXPECT_EQ(in.Read<uint32_t>(), expected.id);
        EXPECT_EQ(in.NameOrOrdinal(), expected.windowClass);
        EXPECT_EQ(in.NameOrOrdinal(), expected.text);
        EXPECT_EQ(in.Read<uint16_t>(), 0);  // no creation data
    }
    EXPECT_FALSE(in.failed()) << "the template ends early";
}

}  // namespace
}  // namespace sorvane
