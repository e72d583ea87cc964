#include "AllocationWatch.h"

#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace sorvane::test {

namespace {

std::atomic<int> g_allocations{0};
std::atomic<int> g_failAt{0};
std::mutex g_lock;
std::unordered_map<void*, size_t> g_live;
std::unordered_set<void*> g_marked;

decltype(&LocalAlloc) g_localAlloc;
decltype(&LocalFree) g_localFree;
void* (*g_malloc)(size_t);
void* (*g_calloc)(size_t, size_t);
void* (*g_realloc)(void*, size_t);
void (*g_free)(void*);

bool FailsNow() { return ++g_allocations == g_failAt.load(); }

void Track(void* p, size_t bytes) {
    if (p == nullptr) return;
    std::lock_guard<std::mutex> hold(g_lock);
    g_live[p] = bytes;
}

void Untrack(void* p) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_live.erase(p);
}

HLOCAL WINAPI WatchedLocalAlloc(UINT flags, SIZE_T bytes) {
    if (FailsNow()) return nullptr;
    HLOCAL block = g_localAlloc(flags, bytes);
    Track(block, bytes);
    return block;
}
HLOCAL WINAPI WatchedLocalFree(HLOCAL block) {
    Untrack(block);
    return g_localFree(block);
}
void* __cdecl WatchedMalloc(size_t bytes) {
    if (FailsNow()) return nullptr;
    void* p = g_malloc(bytes);
    Track(p, bytes);
    return p;
}
void* __cdecl WatchedCalloc(size_t count, size_t bytes) {
    if (FailsNow()) return nullptr;
    void* p = g_calloc(count, bytes);
    Track(p, count * bytes);
    return p;
}
void* __cdecl WatchedRealloc(void* old, size_t bytes) {
    if (FailsNow()) return nullptr;  // the old block stays valid
    void* p = g_realloc(old, bytes);
    if (p != nullptr || bytes == 0) Untrack(old);
    Track(p, bytes);
    return p;
}
void __cdecl WatchedFree(void* p) {
    Untrack(p);
    g_free(p);
}

}  // namespace

AllocationWatch::AllocationWatch(HMODULE module) {
    const struct {
        const char* dll;
        const char* name;
        void* replacement;
        void** original;
    } kImports[] = {
        {"kernel32.dll", "LocalAlloc", reinterpret_cast<void*>(&WatchedLocalAlloc), reinterpret_cast<void**>(&g_localAlloc)},
        {"kernel32.dll", "LocalFree", reinterpret_cast<void*>(&WatchedLocalFree), reinterpret_cast<void**>(&g_localFree)},
        {"msvcrt.dll", "malloc", reinterpret_cast<void*>(&WatchedMalloc), reinterpret_cast<void**>(&g_malloc)},
        {"msvcrt.dll", "calloc", reinterpret_cast<void*>(&WatchedCalloc), reinterpret_cast<void**>(&g_calloc)},
        {"msvcrt.dll", "realloc", reinterpret_cast<void*>(&WatchedRealloc), reinterpret_cast<void**>(&g_realloc)},
        {"msvcrt.dll", "free", reinterpret_cast<void*>(&WatchedFree), reinterpret_cast<void**>(&g_free)},
    };
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_live.clear();
    }
    g_failAt = 0;
    for (const auto& import : kImports) {
        patches_.emplace_back(new ImportPatch(module, import.dll, import.name, import.replacement));
        *import.original = patches_.back()->original<void*>();
    }
}

AllocationWatch::~AllocationWatch() {
    g_failAt = 0;
    patches_.clear();
}

bool AllocationWatch::ok() const {
    for (const auto& patch : patches_) {
        if (!patch->ok()) return false;
    }
    return true;
}

void AllocationWatch::FailAt(int n) {
    g_allocations = 0;
    g_failAt = n;
}

int AllocationWatch::allocations() const { return g_allocations.load(); }

size_t AllocationWatch::LiveBlocks(size_t* bytes) const {
    std::lock_guard<std::mutex> hold(g_lock);
    if (bytes != nullptr) {
        *bytes = 0;
        for (const auto& [block, size] : g_live) *bytes += size;
    }
    return g_live.size();
}

void AllocationWatch::MarkLive() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_marked.clear();
    for (const auto& [block, size] : g_live) g_marked.insert(block);
}

std::vector<size_t> AllocationWatch::AddedSinceMark() const {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<size_t> sizes;
    for (const auto& [block, size] : g_live) {
        if (g_marked.count(block) == 0) sizes.push_back(size);
    }
    return sizes;
}

void AllocationWatch::Forget(void* block) { Untrack(block); }

}  // namespace sorvane::test
