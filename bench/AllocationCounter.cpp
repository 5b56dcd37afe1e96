#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// glibc's own entry points, which the replacements below forward to.
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* block, std::size_t size);
extern "C" void __libc_free(void* block);

namespace
{

// The one mutable global of the benchmarks: a replaced allocator has nowhere
// else to count. Relaxed, as only the total matters.
std::atomic<uint64_t> g_allocations{0};

void* Allocate(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace AllocationCounter
{

uint64_t Count()
{
    return g_allocations.load(std::memory_order_relaxed);
}

}  // namespace AllocationCounter

extern "C" void* malloc(std::size_t size)
{
    return Allocate(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}

extern "C" void free(void* block)
{
    __libc_free(block);
}

void* operator new(std::size_t size)
{
    void* block = Allocate(size);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* block) noexcept
{
    __libc_free(block);
}

void operator delete[](void* block) noexcept
{
    __libc_free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    __libc_free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    __libc_free(block);
}
