// Windows only: the global allocation operators, on the process heap. A request that cannot be met
// ends the process through out_of_memory with the request's size, whichever part of the program made it.
#include <cstddef>
#include <cstdint>
#include <new>

#include "report/fatal.hpp"
#include "win/kernel32/windows.hpp"

namespace {

void* heap_allocate(std::size_t size) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void heap_free(void* p) noexcept {
    if (p != nullptr) {
        HeapFree(GetProcessHeap(), 0, p);
    }
}

void* allocate(std::size_t size) {
    if (void* p = heap_allocate(size)) {
        return p;
    }
    ostrand::out_of_memory(ostrand::process_report_api(), size);
}

// The heap gives 16-byte alignment. A stricter one is cut out of a larger block, with the block's own
// address stored just below the aligned one for the matching delete.
void* heap_allocate_aligned(std::size_t size, std::align_val_t alignment) noexcept {
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t overhead = sizeof(void*) + align - 1;
    if (size > SIZE_MAX - overhead) {
        return nullptr;
    }
    void* const block = heap_allocate(size + overhead);
    if (block == nullptr) {
        return nullptr;
    }
    const std::uintptr_t aligned = (reinterpret_cast<std::uintptr_t>(block) + overhead) & ~(align - 1);
    reinterpret_cast<void**>(aligned)[-1] = block;
    return reinterpret_cast<void*>(aligned);
}

void heap_free_aligned(void* p) noexcept {
    if (p != nullptr) {
        heap_free(static_cast<void**>(p)[-1]);
    }
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
    if (void* p = heap_allocate_aligned(size, alignment)) {
        return p;
    }
    ostrand::out_of_memory(ostrand::process_report_api(), size);
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return heap_allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return heap_allocate(size);
}
void operator delete(void* p) noexcept {
    heap_free(p);
}
void operator delete[](void* p) noexcept {
    heap_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    heap_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    heap_free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    heap_free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    heap_free(p);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate_aligned(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return heap_allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return heap_allocate_aligned(size, alignment);
}
void operator delete(void* p, std::align_val_t) noexcept {
    heap_free_aligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    heap_free_aligned(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    heap_free_aligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    heap_free_aligned(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    heap_free_aligned(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    heap_free_aligned(p);
}
