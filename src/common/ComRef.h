#pragma once
// Owning reference to one COM interface.

#include <unknwn.h>

#include <utility>

namespace sorvane {

template <typename I>
class ComRef {
public:
    ComRef() noexcept = default;
    ComRef(ComRef&& other) noexcept : pointer_(other.release()) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    I* get() const noexcept { return pointer_; }
    I* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // Releases the current interface and returns the address for an out-parameter.
    I** put() noexcept {
        reset();
        return &pointer_;
    }
    I* release() noexcept { return std::exchange(pointer_, nullptr); }
    void reset(I* pointer = nullptr) noexcept {
        I* old = std::exchange(pointer_, pointer);
        if (old != nullptr) old->Release();
    }

    // Takes the interface of another type through QueryInterface. On failure the reference
    // is empty and the code is returned; an empty source gives E_NOINTERFACE.
    template <typename Other>
    HRESULT Assign(const ComRef<Other>& source) noexcept {
        reset();
        if (!source) return E_NOINTERFACE;
        ComRef<Other> held;  // the temporary reference on the source, released again below
        source->AddRef();
        held.reset(source.get());
        return held->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&pointer_));
    }

private:
    I* pointer_ = nullptr;
};

}  // namespace sorvane
