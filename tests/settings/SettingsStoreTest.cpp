// The settings store against the test prefix's own registry, starting each case without a key.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PluginIdentity.h"
#include "SettingsStore.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

using test::DeleteSettingsKey;
using test::SetSettingsValue;

constexpr const wchar_t* kKeyPath = SettingsKeyPath;

struct StoredValue {
    const wchar_t* name;
    DWORD type;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> LittleEndian(uint64_t value, size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}
StoredValue Dword(const wchar_t* name, uint32_t value) { return {name, REG_DWORD, LittleEndian(value, 4)}; }
StoredValue Typed(const wchar_t* name, DWORD type, uint64_t value, size_t size) {
    return {name, type, LittleEndian(value, size)};
}
// `count` bytes 0x01, 0x02, ... so each COLORREF taken shows where it came from.
StoredValue Counting(const wchar_t* name, size_t count, DWORD type = REG_BINARY) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    return {name, type, bytes};
}
// Entry `i` of a Counting value.
COLORREF CountingEntry(size_t i) {
    const uint32_t b = static_cast<uint32_t>(4 * i + 1);
    return b | (b + 1) << 8 | (b + 2) << 16 | (b + 3) << 24;
}

void Store(const std::vector<StoredValue>& values) {
    for (const auto& v : values) {
        SetSettingsValue(v.name, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
    }
}

bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { DeleteSettingsKey(); }
    void TearDown() override { DeleteSettingsKey(); }
};

TEST_F(SettingsStore, ReadPluginSettingsInterpretsStoredValues) {
    constexpr auto kRemove = AlphaDisposal::Remove;
    constexpr auto kComposite = AlphaDisposal::Composite;
    // The view values as numbers: Backdrop, Channel, NormalZ, Layout, and the DIB's bits;
    // then Reader, ToneMap and Exposure, which are no views.
    struct Views {
        uint32_t backdrop = 0, channel = 0, normalZ = 0, layout = 0, bits = 24;
        uint32_t reader = 0, toneMap = 0;
        int exposure = 0;
    };
    auto exposure = [](int tenths) {
        Views views;
        views.exposure = tenths;
        return views;
    };

    const struct {
        const char* label;
        std::vector<StoredValue> stored;
        AlphaDisposal disposal;
        uint8_t blue = 0, green = 0, red = 0;  // checked for Composite only
        Views views = {};
    } kCases[] = {
        {"no key", {}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha 1 without Color", {Dword(kAlphaValue, 1)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha 1, Color 0x12345678",
         {Dword(kAlphaValue, 1), Dword(kColorValue, 0x12345678)}, kComposite, 0x34, 0x56, 0x78},
        {"Color without Alpha", {Dword(kColorValue, 0x00FF8000)}, kComposite, 0xFF, 0x80, 0x00},
        {"Alpha 0 with Color", {Dword(kAlphaValue, 0), Dword(kColorValue, 0x00123456)}, kRemove},
        {"Alpha 2", {Dword(kAlphaValue, 2)}, kRemove},
        {"Alpha -1", {Dword(kAlphaValue, 0xFFFFFFFF)}, kRemove},
        {"Alpha REG_BINARY 0", {Typed(kAlphaValue, REG_BINARY, 0, 4)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha REG_QWORD 0", {Typed(kAlphaValue, REG_QWORD, 0, 8)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha REG_DWORD_BIG_ENDIAN 0", {Typed(kAlphaValue, REG_DWORD_BIG_ENDIAN, 0, 4)},
         kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha REG_DWORD of 3 bytes", {Typed(kAlphaValue, REG_DWORD, 0, 3)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha REG_DWORD of 8 bytes", {Typed(kAlphaValue, REG_DWORD, 0, 8)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Alpha REG_SZ", {{kAlphaValue, REG_SZ, {'0', 0, 0, 0}}}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Color REG_BINARY", {Typed(kColorValue, REG_BINARY, 0x00123456, 4)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Color REG_QWORD", {Typed(kColorValue, REG_QWORD, 0x00123456, 8)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Color black", {Dword(kAlphaValue, 1), Dword(kColorValue, 0)}, kComposite, 0, 0, 0},
        {"every view",
         {Dword(kBackdropValue, 1), Dword(kChannelValue, 1), Dword(kNormalZValue, 1), Dword(kLayoutValue, 2),
          Dword(kBitsValue, 32), Dword(kReaderValue, 1), Dword(kToneMapValue, 1), Dword(kExposureValue, 25)},
         kComposite, 0xFF, 0xFF, 0xFF, {1, 1, 1, 2, 32, 1, 1, 25}},
        {"Reader and ToneMap alone are no view", {Dword(kReaderValue, 1), Dword(kToneMapValue, 1)}, kComposite,
         0xFF, 0xFF, 0xFF, {0, 0, 0, 0, 24, 1, 1}},
        // Exposure is read whatever ToneMap says; it is decoding that ignores it.
        {"Exposure -1", {Dword(kExposureValue, 0xFFFFFFFF)}, kComposite, 0xFF, 0xFF, 0xFF, exposure(-1)},
        {"Exposure -100", {Dword(kExposureValue, 0xFFFFFF9C)}, kComposite, 0xFF, 0xFF, 0xFF, exposure(-100)},
        {"Exposure 100", {Dword(kExposureValue, 100)}, kComposite, 0xFF, 0xFF, 0xFF, exposure(100)},
        {"Exposure -101", {Dword(kExposureValue, 0xFFFFFF9B)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Exposure 101", {Dword(kExposureValue, 101)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Exposure INT_MIN", {Dword(kExposureValue, 0x80000000)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Exposure INT_MAX", {Dword(kExposureValue, 0x7FFFFFFF)}, kComposite, 0xFF, 0xFF, 0xFF},
        // In range in their low 16 bits only.
        {"Exposure 0x00010005", {Dword(kExposureValue, 0x00010005)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Exposure 0xFFFF0064", {Dword(kExposureValue, 0xFFFF0064)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Layout 1", {Dword(kLayoutValue, 1)}, kComposite, 0xFF, 0xFF, 0xFF, {0, 0, 0, 1, 24}},
        // Removing alpha returns before the colour, not before the views.
        {"views with Alpha 0", {Dword(kAlphaValue, 0), Dword(kBackdropValue, 1), Dword(kBitsValue, 32)}, kRemove,
         0, 0, 0, {1, 0, 0, 0, 32}},
        {"views with Color", {Dword(kColorValue, 0x00123456), Dword(kNormalZValue, 1)}, kComposite, 0x12, 0x34,
         0x56, {0, 0, 1, 0, 24}},
        {"numbers no view knows",
         {Dword(kBackdropValue, 2), Dword(kChannelValue, 0xFFFFFFFF), Dword(kNormalZValue, 2), Dword(kLayoutValue, 3),
          Dword(kBitsValue, 24), Dword(kReaderValue, 2), Dword(kToneMapValue, 0xFFFFFFFF)},
         kComposite, 0xFF, 0xFF, 0xFF},
        {"Bits 16", {Dword(kBitsValue, 16)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Exposure of 2 bytes", {Typed(kExposureValue, REG_DWORD, 5, 2)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Exposure big-endian", {Typed(kExposureValue, REG_DWORD_BIG_ENDIAN, 5, 4)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"Bits 0x20000020", {Dword(kBitsValue, 0x20000020)}, kComposite, 0xFF, 0xFF, 0xFF},
        {"views of other types",
         {Typed(kBackdropValue, REG_BINARY, 1, 4), Typed(kLayoutValue, REG_QWORD, 1, 8),
          Typed(kBitsValue, REG_DWORD, 32, 2), {kChannelValue, REG_SZ, {'1', 0, 0, 0}},
          Typed(kReaderValue, REG_BINARY, 1, 4), Typed(kToneMapValue, REG_DWORD, 1, 8),
          Typed(kExposureValue, REG_QWORD, 5, 8)},
         kComposite, 0xFF, 0xFF, 0xFF},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        DeleteSettingsKey();
        Store(c.stored);
        const PluginSettings settings = ReadPluginSettings();
        EXPECT_EQ(settings.alphaDisposal, c.disposal);
        if (c.disposal == kComposite) {
            EXPECT_EQ(settings.compositeColor.blue, c.blue);
            EXPECT_EQ(settings.compositeColor.green, c.green);
            EXPECT_EQ(settings.compositeColor.red, c.red);
        }
        EXPECT_EQ(static_cast<uint32_t>(settings.backdrop), c.views.backdrop);
        EXPECT_EQ(static_cast<uint32_t>(settings.channel), c.views.channel);
        EXPECT_EQ(settings.normalZ ? 1u : 0u, c.views.normalZ);
        EXPECT_EQ(static_cast<uint32_t>(settings.layout), c.views.layout);
        EXPECT_EQ(settings.dibBits, c.views.bits);
        EXPECT_EQ(settings.reader ? 1u : 0u, c.views.reader);
        EXPECT_EQ(settings.toneMap ? 1u : 0u, c.views.toneMap);
        EXPECT_EQ(settings.exposure, c.views.exposure);
        const Views none;
        EXPECT_EQ(settings.NoView(), c.views.backdrop == none.backdrop && c.views.channel == none.channel &&
                                         c.views.normalZ == none.normalZ && c.views.layout == none.layout &&
                                         c.views.bits == none.bits);
        if (c.stored.empty()) {
            EXPECT_FALSE(KeyExists()) << "the reader created the key";
        }
    }
}

TEST_F(SettingsStore, ColorArraysTakeWholeEntriesUpToTheirCapacity) {
    const struct {
        const char* label;
        std::vector<StoredValue> stored;
        size_t capacity;
        bool read;
        size_t taken;  // leading entries that come from the value
    } kCases[] = {
        {"history missing", {}, kColorHistorySize, false, 0},
        {"history of 0 bytes", {Counting(kColorHistoryValue, 0)}, kColorHistorySize, true, 0},
        {"history of 3 bytes", {Counting(kColorHistoryValue, 3)}, kColorHistorySize, true, 0},
        {"history of 4 bytes", {Counting(kColorHistoryValue, 4)}, kColorHistorySize, true, 1},
        {"history of 12 bytes", {Counting(kColorHistoryValue, 12)}, kColorHistorySize, true, 3},
        {"history of 31 bytes", {Counting(kColorHistoryValue, 31)}, kColorHistorySize, true, 7},
        {"history of 32 bytes", {Counting(kColorHistoryValue, 32)}, kColorHistorySize, true, 8},
        {"history of 40 bytes", {Counting(kColorHistoryValue, 40)}, kColorHistorySize, true, 8},
        {"history as REG_SZ", {Counting(kColorHistoryValue, 12, REG_SZ)}, kColorHistorySize, true, 3},
        {"history as REG_DWORD", {Counting(kColorHistoryValue, 4, REG_DWORD)}, kColorHistorySize, true, 1},
        {"custom colours of 64 bytes", {Counting(kCustomColorsValue, 64)}, kCustomColorCount, true, 16},
        {"custom colours of 100 bytes", {Counting(kCustomColorsValue, 100)}, kCustomColorCount, true, 16},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        DeleteSettingsKey();
        Store(c.stored);
        const bool history = c.capacity == kColorHistorySize;
        std::vector<COLORREF> defaults(c.capacity, kWhite);
        if (history) defaults.assign(std::begin(kDefaultColorHistory), std::end(kDefaultColorHistory));
        std::vector<COLORREF> colors = defaults;
        const RegKey key = OpenKeyForRead(kKeyPath);
        EXPECT_EQ(ReadColorArray(key, history ? kColorHistoryValue : kCustomColorsValue,
                                 colors.data(), colors.size()),
                  c.read);
        for (size_t i = 0; i < c.capacity; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(colors[i], i < c.taken ? CountingEntry(i) : defaults[i]);
        }
    }
}

TEST_F(SettingsStore, ReadBinaryValueGivesTheExactBytesOfAnyType) {
    const StoredValue text{L"Text", REG_SZ, {'A', 0, 'B', 0, 0, 0}};
    const StoredValue empty{L"Empty", REG_BINARY, {}};
    const StoredValue big = Counting(L"Big", 5000);
    Store({text, empty, big});
    const RegKey key = OpenKeyForRead(kKeyPath);
    for (const StoredValue* v : {&text, &empty, &big}) {
        std::vector<uint8_t> bytes{0xEE};
        EXPECT_TRUE(ReadBinaryValue(key, v->name, bytes));
        EXPECT_EQ(bytes, v->data);
    }
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(ReadBinaryValue(key, L"Missing", bytes));
}

TEST_F(SettingsStore, ReadersNeverCreateTheKeyAndFailThroughAnEmptyKey) {
    const RegKey key = OpenKeyForRead(kKeyPath);
    EXPECT_FALSE(key);
    DWORD value = 0;
    std::vector<uint8_t> bytes;
    COLORREF colors[2] = {1, 2};
    EXPECT_FALSE(ReadDwordValue(key, kAlphaValue, value));
    EXPECT_FALSE(ReadBinaryValue(key, kColorHistoryValue, bytes));
    EXPECT_FALSE(ReadColorArray(key, kColorHistoryValue, colors, 2));
    EXPECT_EQ(colors[0], 1u);
    EXPECT_EQ(colors[1], 2u);
    WriteDwordValue(key, kAlphaValue, 0);  // ignored, no crash
    EXPECT_FALSE(KeyExists());
}

TEST_F(SettingsStore, WritersCreateTheKeyAndStoreTypedValues) {
    {
        const RegKey key = OpenKeyForWrite(SettingsKeyPath);
        ASSERT_TRUE(key);
        WriteDwordValue(key, kColorValue, 0x00123456);
        const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
        WriteBinaryValue(key, kCustomColorsValue, data, sizeof data);
    }
    ASSERT_TRUE(KeyExists());

    DWORD type = 0;
    uint8_t data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKeyPath, kColorValue, RRF_RT_ANY, &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24, 0x00123456);

    size = sizeof data;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKeyPath, kCustomColorsValue, RRF_RT_ANY, &type, data,
                           &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::memcmp(data, "\1\2\3\4\5\6", 6), 0);

    const RegKey key = OpenKeyForRead(SettingsKeyPath);
    DWORD value = 0;
    EXPECT_TRUE(ReadDwordValue(key, kColorValue, value));
    EXPECT_EQ(value, 0x00123456u);
}

}  // namespace
}  // namespace sorvane
