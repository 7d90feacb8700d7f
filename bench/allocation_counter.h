#pragma once

// Counts every allocation of the benchmark program, for the "no allocation per frame" figures.
// Include it in exactly one source file of a benchmark program: it replaces the global
// operator new and delete.
#include <atomic>
#include <cstdlib>
#include <new>

static std::atomic<long> gAllocations{0};

void* operator new(size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
