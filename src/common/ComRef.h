#pragma once
// Owning reference to one COM interface: the holder template of Holders.h, released through
// IUnknown::Release.

#include <unknwn.h>

#include "Holders.h"

namespace sorvane {

namespace detail {
template <typename I>
struct ComTraits {
    using Type = I*;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type pointer) noexcept { pointer->Release(); }
};
}  // namespace detail

template <typename I>
class ComRef : public UniqueHandle<detail::ComTraits<I>> {
public:
    I* operator->() const noexcept { return this->get(); }

    // Takes the interface of another type through QueryInterface. On failure the reference
    // is empty and the code is returned; an empty source gives E_NOINTERFACE.
    template <typename Other>
    HRESULT Assign(const ComRef<Other>& source) noexcept {
        this->reset();
        if (!source) return E_NOINTERFACE;
        ComRef<Other> held;  // the temporary reference on the source, released again below
        source->AddRef();
        held.reset(source.get());
        return held->QueryInterface(__uuidof(I), reinterpret_cast<void**>(this->put()));
    }
};

}  // namespace sorvane
