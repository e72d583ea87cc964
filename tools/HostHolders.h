#pragma once
// Owning holders for the blocks and handles that the tool keeps, and a lock on a block that a
// plug-in handed over.

#include <windows.h>

#include <cstddef>
#include <memory>

namespace spihost {

struct LocalFreer {
    void operator()(void* block) const noexcept { LocalFree(block); }
};
using LocalHolder = std::unique_ptr<void, LocalFreer>;

struct HandleCloser {
    void operator()(void* handle) const noexcept { CloseHandle(handle); }
};
using FileHolder = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
    void operator()(void* search) const noexcept { FindClose(search); }
};
using FindHolder = std::unique_ptr<void, FindCloser>;

// LocalLock for the life of the object: the handles that a plug-in hands over may be
// movable blocks.
class LockedBlock {
public:
    explicit LockedBlock(HLOCAL block) noexcept
        : block_(block), data_(block != nullptr ? LocalLock(block) : nullptr),
          size_(data_ != nullptr ? LocalSize(block) : 0) {}
    ~LockedBlock() {
        if (data_ != nullptr) LocalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    const void* data() const noexcept { return data_; }
    size_t size() const noexcept { return size_; }

private:
    HLOCAL block_;
    void* data_;
    size_t size_;
};

}  // namespace spihost
