#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "ComRef.h"
#include "Holders.h"

namespace sorvane {
namespace {

// A file that exists only while a handle to it is open.
HANDLE OpenPassingFile(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::wstring PassingFilePath() {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + L"sorvane-holders-test.tmp";
}

TEST(Holders, EmptyHoldersHoldTheirKindsEmptyValue) {
    EXPECT_EQ(FileHandle().get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSearch().get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(RegKey().get(), nullptr);
    EXPECT_EQ(LocalBlock().get(), nullptr);
    EXPECT_EQ(OwnedWindow().get(), nullptr);
    EXPECT_EQ(GdiObject().get(), nullptr);
    EXPECT_FALSE(FileHandle());
    EXPECT_FALSE(RegKey());
    // A null file handle is not empty: only INVALID_HANDLE_VALUE is.
    FileHandle null(nullptr);
    EXPECT_TRUE(null);
    null.release();
}

// Each row makes a resource, lets a holder of its kind end, and says whether the resource was
// released then.
TEST(Holders, EndingHolderReleasesWhatItHolds) {
    const struct {
        const char* kind;
        std::function<bool()> releasedAtEnd;
    } kCases[] = {
        {"file",
         [] {
             const std::wstring path = PassingFilePath();
             {
                 const FileHandle file(OpenPassingFile(path));
                 EXPECT_TRUE(file);
             }
             return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
         }},
        {"registry key",
         [] {
             HKEY raw = nullptr;
             {
                 RegKey key;
                 EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
                 raw = key.get();
             }
             return RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr) != ERROR_SUCCESS;
         }},
        {"GDI object",
         [] {
             HGDIOBJ raw = nullptr;
             {
                 const GdiObject brush(CreateSolidBrush(RGB(1, 2, 3)));
                 raw = brush.get();
                 EXPECT_NE(raw, nullptr);
             }
             return GetObjectType(raw) == 0;
         }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.kind);
        EXPECT_TRUE(c.releasedAtEnd());
    }
}

TEST(Holders, ReleaseHandsOwnershipOnAndMoveCarriesIt) {
    const std::wstring path = PassingFilePath();
    FileHandle first(OpenPassingFile(path));
    ASSERT_TRUE(first);
    FileHandle second(std::move(first));
    EXPECT_FALSE(first);
    const HANDLE raw = second.release();
    EXPECT_FALSE(second);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "released, yet closed";
    CloseHandle(raw);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A COM object that counts its references and answers one interface besides IUnknown.
struct CountedObject : IUnknown {
    ULONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != __uuidof(IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

TEST(ComRef, ReleasesOnceAndAssignsThroughQueryInterface) {
    CountedObject object;
    {
        ComRef<IUnknown> held;
        held.reset(&object);
        ComRef<IUnknown> moved(std::move(held));
        EXPECT_FALSE(held);
        EXPECT_EQ(moved->AddRef(), 2u);
        moved->Release();

        ComRef<IUnknown> assigned;
        EXPECT_EQ(assigned.Assign(moved), S_OK);
        EXPECT_EQ(assigned.get(), &object);
        EXPECT_EQ(object.references, 2u);  // the source's and the assigned reference

        ComRef<IClassFactory> other;
        EXPECT_EQ(other.Assign(moved), E_NOINTERFACE);
        EXPECT_FALSE(other);
        EXPECT_EQ(other.Assign(ComRef<IUnknown>()), E_NOINTERFACE);
        EXPECT_EQ(object.references, 2u);
    }
    EXPECT_EQ(object.references, 0u);
}

}  // namespace
}  // namespace sorvane
