#pragma once
// Replaces one function that a loaded module imports, for the life of the object: the module's
// own code stays as it is, and the test sees (or changes) what it asks of the system.

#include <windows.h>

namespace sorvane::test {

class ImportPatch {
public:
    // Patches `function` of `dll` in `module`'s import table; ok() tells whether it was found.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) noexcept;
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool ok() const noexcept { return slot_ != nullptr; }
    // The function the module imported.
    template <typename F>
    F original() const noexcept {
        return reinterpret_cast<F>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

}  // namespace sorvane::test
