#include "common/memory.h"

#ifdef _WIN32
#include <windows.h>

namespace {
void* TryAlloc(size_t size, bool zeroed) {
    return HeapAlloc(GetProcessHeap(), zeroed ? HEAP_ZERO_MEMORY : 0, size ? size : 1);
}
}  // namespace

void* AllocRaw(size_t size, bool zeroed) {
    void* block = TryAlloc(size, zeroed);
    if (!block) {
        HeapCompact(GetProcessHeap(), 0);
        block = TryAlloc(size, zeroed);
    }
    return block;
}

void* GrowRaw(void* block, size_t size) {
    // HeapReAlloc leaves the old block in place when it fails.
    void* grown = HeapReAlloc(GetProcessHeap(), 0, block, size ? size : 1);
    if (!grown) {
        HeapCompact(GetProcessHeap(), 0);
        grown = HeapReAlloc(GetProcessHeap(), 0, block, size ? size : 1);
    }
    return grown;
}

void FreeRaw(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
}

MemoryStats GetMemoryStats() {
    return {0, 0};
}
void ResetMemoryPeak() {}

#else
#include <malloc.h>
#include <stdlib.h>

namespace {
MemoryStats g_stats;

void Count(void* block) {
    g_stats.live += malloc_usable_size(block);
    if (g_stats.live > g_stats.peak) g_stats.peak = g_stats.live;
}
}  // namespace

void* AllocRaw(size_t size, bool zeroed) {
    void* block = zeroed ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
    if (!block) {
        malloc_trim(0);
        block = zeroed ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
    }
    if (block) Count(block);
    return block;
}

void* GrowRaw(void* block, size_t size) {
    size_t old = malloc_usable_size(block);
    void* grown = realloc(block, size ? size : 1);
    if (!grown) {
        malloc_trim(0);
        grown = realloc(block, size ? size : 1);
    }
    if (!grown) return nullptr;
    g_stats.live -= old;
    Count(grown);
    return grown;
}

void FreeRaw(void* block) {
    g_stats.live -= malloc_usable_size(block);
    free(block);
}

MemoryStats GetMemoryStats() {
    return g_stats;
}
void ResetMemoryPeak() {
    g_stats.peak = g_stats.live;
}
#endif
