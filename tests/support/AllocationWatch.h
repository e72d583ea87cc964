#pragma once
// Watches what a loaded module allocates: its imports of LocalAlloc and the C runtime's
// allocator (operator new comes down to malloc) are replaced for the life of the object, so
// that its live blocks can be counted, and its n-th allocation can be made to fail.

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "ImportPatch.h"

namespace sorvane::test {

class AllocationWatch {
public:
    explicit AllocationWatch(HMODULE module);  // one at a time
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    bool ok() const;  // every import was found

    // Counting starts again from 0; the n-th allocation from now fails (0: none does).
    void FailAt(int n);
    int allocations() const;

    // The module's blocks still alive, and their bytes.
    size_t LiveBlocks(size_t* bytes = nullptr) const;
    // Blocks allocated since this call, by their sizes (for a report).
    void MarkLive();
    std::vector<size_t> AddedSinceMark() const;
    // A block the module handed over and someone else freed: no longer the module's.
    void Forget(void* block);

private:
    std::vector<std::unique_ptr<ImportPatch>> patches_;
};

}  // namespace sorvane::test
