#pragma once

// A counting allocator for a benchmark program: every operator new counts one allocation in
// g_allocations, so a benchmark can show that its work, once warm, allocates nothing. It replaces
// the program's operator new and delete: include it in one file of the program only.
#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<std::size_t> g_allocations{0};

// Kept out of line so the compiler does not pair the inlined malloc and free across new and
// delete.
[[gnu::noinline]] void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return operator new(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
