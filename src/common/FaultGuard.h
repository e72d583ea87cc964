#pragma once
// A guarded call: runs a piece of code and turns anything that escapes it, a C++ exception or
// a processor fault inside a driver or D3DX, into an outcome the caller maps to a result code.
//
// The guard is a frame-based structured exception handler installed for the duration of one
// call on the calling thread (a scope table entry on x64, a registration record on x86). It is
// asked only after every inner handler has declined, so a library that raises and handles an
// exception inside itself is not disturbed, other threads are never affected, and nothing stays
// armed once the call returns.

#include <windows.h>

#include <utility>

#include "PluginResult.h"

namespace sorvane {

// Exception code reported for a C++ exception that escaped the guarded code.
constexpr DWORD kCppExceptionCode = 0xE0435050;  // 'CPP' with error severity

namespace detail {
using GuardedBody = void (*)(void* context);
// Runs body(context); returns 0 when it returned, else the code of the fault that ended it.
extern "C" DWORD sorvane_guard_call(GuardedBody body, void* context);
}  // namespace detail

// Runs `body()`; returns 0 when it completed, else the exception code that ended it
// (kCppExceptionCode for a C++ exception).
template <typename Body>
DWORD RunGuarded(Body&& body) noexcept {
    struct State {
        Body& body;
        bool threw;
    } state{body, false};
    const DWORD code = detail::sorvane_guard_call(
        [](void* context) {
            auto& s = *static_cast<State*>(context);
            try {
                s.body();
            } catch (...) {
                s.threw = true;
            }
        },
        &state);
    if (code != 0) return code;
    return state.threw ? kCppExceptionCode : 0;
}

// Runs `body()`, which returns a PluginResult. A fault or exception escaping it is a failure
// without a code of its own: 8.
template <typename Body>
PluginResult RunGuardedStep(Body&& body) noexcept {
    PluginResult result = kInternalError;
    if (RunGuarded([&] { result = body(); }) != 0) return kInternalError;
    return result;
}

}  // namespace sorvane
