#include "net/HeapCounter.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace
{

// A replaced operator new has nowhere else to count than a global.
std::atomic<uint64_t> g_allocations{0};

void* Allocate(std::size_t size) noexcept
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

// Portable over-aligned blocks: the block from malloc is kept just before the
// aligned address that is handed out.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const std::uintptr_t align = static_cast<std::uintptr_t>(alignment);
    void* block = std::malloc(size + align + sizeof(void*));
    if (block == nullptr)
        return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block) + sizeof(void*);
    void** aligned = reinterpret_cast<void**>((start + align - 1) / align * align);
    aligned[-1] = block;
    return aligned;
}

void FreeAligned(void* aligned) noexcept
{
    if (aligned != nullptr)
        std::free(static_cast<void**>(aligned)[-1]);
}

void* OrThrow(void* block)
{
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

} // namespace

uint64_t HeapCounter::Count()
{
    return g_allocations.load(std::memory_order_relaxed);
}

void* operator new(std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new[](std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) { return OrThrow(AllocateAligned(size, a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return OrThrow(AllocateAligned(size, a)); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return AllocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return AllocateAligned(size, a);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }
