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
// A handle of type T released by Closer; empty is nullptr, or INVALID_HANDLE_VALUE for the
// kinds that CreateFile and FindFirstFile give.
template <typename T, auto Closer, bool EmptyIsInvalid = false>
struct HandleTraits {
    using Type = T;
    static Type Empty() noexcept {
        if constexpr (EmptyIsInvalid) {
            return INVALID_HANDLE_VALUE;
        } else {
            return nullptr;
        }
    }
    static void Close(Type value) noexcept { Closer(value); }
};
}  // namespace detail

using RegKey = UniqueHandle<detail::HandleTraits<HKEY, RegCloseKey>>;
using LocalBlock = UniqueHandle<detail::HandleTraits<HLOCAL, LocalFree>>;
using FileHandle = UniqueHandle<detail::HandleTraits<HANDLE, CloseHandle, true>>;
using FileSearch = UniqueHandle<detail::HandleTraits<HANDLE, FindClose, true>>;
using OwnedWindow = UniqueHandle<detail::HandleTraits<HWND, DestroyWindow>>;
using GdiObject = UniqueHandle<detail::HandleTraits<HGDIOBJ, DeleteObject>>;
using LoadedLibrary = UniqueHandle<detail::HandleTraits<HMODULE, FreeLibrary>>;

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
