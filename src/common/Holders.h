#pragma once
// Owning holders for the Win32 resources of the plug-in and the host tools: one template, one
// alias per kind.
// Nothing releases a resource by hand; a holder releases what it owns when reset or destroyed.

#include <windows.h>

#include <utility>

namespace sorvane {

// Traits give the handle type, its empty value and how to release it.
template <typename Traits>
class UniqueHandle {
    using T = typename Traits::Type;

public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T value) noexcept : value_(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Empty(); }

    // Releases the current value and returns the address for an out-parameter.
    T* put() noexcept {
        reset();
        return &value_;
    }
    // Hands ownership to the caller.
    T release() noexcept { return std::exchange(value_, Empty()); }
    void reset(T value = Traits::Empty()) noexcept {
        T old = std::exchange(value_, value);
        if (old != Empty()) Close(old);
    }

private:
    static T Empty() noexcept { return Traits::Empty(); }
    static void Close(T value) noexcept { Traits::Close(value); }
    T value_ = Traits::Empty();
};

namespace detail {
struct KeyTraits {
    using Type = HKEY;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type key) noexcept { RegCloseKey(key); }
};
struct LocalTraits {
    using Type = HLOCAL;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type block) noexcept { LocalFree(block); }
};
struct FileTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type file) noexcept { CloseHandle(file); }
};
struct FindTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type search) noexcept { FindClose(search); }
};
struct WindowTraits {
    using Type = HWND;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type window) noexcept { DestroyWindow(window); }
};
struct GdiTraits {
    using Type = HGDIOBJ;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type object) noexcept { DeleteObject(object); }
};
}  // namespace detail

using RegKey = UniqueHandle<detail::KeyTraits>;
using LocalBlock = UniqueHandle<detail::LocalTraits>;
using FileHandle = UniqueHandle<detail::FileTraits>;
using FileSearch = UniqueHandle<detail::FindTraits>;
using OwnedWindow = UniqueHandle<detail::WindowTraits>;
using GdiObject = UniqueHandle<detail::GdiTraits>;

// Selects an object into a device context and puts the previous one back when it ends.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace sorvane
