// The version resource of the built plug-in and of spihost, read back as Explorer reads it.

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "PluginIdentity.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

constexpr bool k64 = sizeof(void*) == 8;

// The version in information string 1, "Sorvane.sph version 1.1.0: ...".
std::wstring VersionOfInformationString() {
    const test::Plugin& plugin = test::LoadedPlugin();
    if (plugin.GetPluginInfoW == nullptr) return L"";
    wchar_t text[256] = {};
    plugin.GetPluginInfoW(1, text, 256);
    const std::wstring s = text;
    const std::wstring marker = L" version ";
    const size_t start = s.find(marker);
    if (start == std::wstring::npos) return L"";
    const size_t end = s.find(L':', start);
    return s.substr(start + marker.size(), end - start - marker.size());
}

class VersionBlock {
public:
    explicit VersionBlock(const std::wstring& file) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
        if (size == 0) return;
        data_.resize(size);
        if (!GetFileVersionInfoW(file.c_str(), 0, size, data_.data())) data_.clear();
    }
    bool empty() const { return data_.empty(); }

    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
            return nullptr;
        }
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }
    std::vector<DWORD> Translations() const {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length)) return {};
        const WORD* words = static_cast<const WORD*>(value);
        std::vector<DWORD> pairs;
        for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) pairs.push_back(MAKELONG(words[i + 1], words[i]));
        return pairs;
    }
    // "\StringFileInfo\041104B0\FileVersion"; an absent value reads as "(absent)".
    std::wstring String(DWORD translation, const wchar_t* name) const {
        wchar_t path[96];
        std::swprintf(path, 96, L"\\StringFileInfo\\%08lX\\%ls", static_cast<unsigned long>(translation), name);
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), path, &value, &length) || value == nullptr) return L"(absent)";
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<unsigned char> data_;
};

constexpr DWORD kJapanese = 0x041104B0;  // language 0411, code page 1200
constexpr DWORD kEnglish = 0x040904B0;

const struct {
    const wchar_t* file;  // in the tests' folder, the build's bin/
    DWORD fileType;
    const wchar_t* descriptionWord[2];  // a word of the Japanese and of the English description
} kFiles[] = {
    {k64 ? L"Sorvane.sph" : L"Sorvane.spi", VFT_DLL, {L"画像読み込みプラグイン", L"plug-in"}},
    {k64 ? L"spihost64.exe" : L"spihost32.exe", VFT_APP, {L"コマンドライン", L"Command-line"}},
};

TEST(VersionResource, CarriesTheVersionOfTheInformationString) {
    const std::wstring version = VersionOfInformationString();
    ASSERT_EQ(version, kVersion);
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::swscanf(version.c_str(), L"%u.%u.%u", &major, &minor, &patch), 3);
    const std::wstring width = k64 ? L"64" : L"32";
    for (const auto& f : kFiles) {
        SCOPED_TRACE(testing::Message() << "file " << testing::PrintToString(std::wstring(f.file)));
        const VersionBlock block(f.file);
        ASSERT_FALSE(block.empty()) << "no version resource, error " << GetLastError();
        const VS_FIXEDFILEINFO* fixed = block.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, patch));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileType, f.fileType);

        EXPECT_EQ(block.Translations(), (std::vector<DWORD>{kJapanese, kEnglish}));
        for (int language = 0; language < 2; ++language) {
            const DWORD translation = language == 0 ? kJapanese : kEnglish;
            SCOPED_TRACE(testing::Message() << std::hex << translation);
            EXPECT_EQ(block.String(translation, L"FileVersion"), version);
            EXPECT_EQ(block.String(translation, L"ProductVersion"), version);
            EXPECT_EQ(block.String(translation, L"ProductName"), L"Sorvane");
            EXPECT_EQ(block.String(translation, L"OriginalFilename"), f.file);
            EXPECT_EQ(block.String(translation, L"LegalCopyright"), L"Copyright © 2026 Sorvane developers");
            // The script is UTF-8: Japanese words and the width must come through whole.
            const std::wstring description = block.String(translation, L"FileDescription");
            EXPECT_NE(description.find(f.descriptionWord[language]), std::wstring::npos) << description;
            EXPECT_NE(description.find(width), std::wstring::npos) << description;
        }
    }
}

}  // namespace
}  // namespace sorvane
