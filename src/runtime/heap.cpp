// Windows only: the C heap functions that the statically linked C++ runtime calls (its exception
// objects, its thread-local data), on the process heap. They keep the C contract: a request that
// cannot be met returns NULL, and the caller decides; the program's own requests go through the
// allocation operators (allocation.cpp), which end the process through out_of_memory instead.
#include <cstddef>
#include <cstdint>

#include "win/kernel32/windows.hpp"

extern "C" {

void* malloc(std::size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) {
        return nullptr;
    }
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * size);
}

void free(void* p) {
    if (p != nullptr) {
        HeapFree(GetProcessHeap(), 0, p);
    }
}

void* realloc(void* p, std::size_t size) {
    if (p == nullptr) {
        return malloc(size);
    }
    if (size == 0) {
        free(p);
        return nullptr;
    }
    // On failure the old block stays as it was, as C requires.
    return HeapReAlloc(GetProcessHeap(), 0, p, size);
}
}
