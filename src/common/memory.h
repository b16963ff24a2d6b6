// Memory helpers: every allocation of the uninstaller goes through them. A failed allocation is
// retried once after the heap has been compacted.
#pragma once

#include <stddef.h>
#include <stdint.h>

// `count` elements of `size` bytes as one allocation size, or false when the product does not fit a
// size_t (32 bits in the uninstaller: a count the file can hold may still overflow it). `limit` is
// the largest size_t; tests give the 32-bit program's.
[[nodiscard]] inline bool ArrayBytes(uint64_t count, uint64_t size, size_t& bytes,
                                     uint64_t limit = static_cast<size_t>(-1)) {
    // Counts are 32-bit and element sizes small, so the 64-bit product cannot wrap; the test
    // keeps that true for any caller.
    if (count > 0xFFFFFFFFu || size > 0xFFFFFFFFu || count * size > limit) return false;
    bytes = static_cast<size_t>(count * size);
    return true;
}

#include "common/unique_handle.h"

[[nodiscard]] void* AllocRaw(size_t size, bool zeroed);
// Resizes `block` keeping its contents (new bytes are not initialised); null on failure, when
// `block` is left untouched.
[[nodiscard]] void* GrowRaw(void* block, size_t size);
void FreeRaw(void* block);

// Allocates `size` bytes into `place`; false on failure.
template <class T>
[[nodiscard]] bool AllocBlock(size_t size, T*& place) {
    place = static_cast<T*>(AllocRaw(size, false));
    return place != nullptr;
}

// As AllocBlock, zero-filled.
template <class T>
[[nodiscard]] bool AllocZeroed(size_t size, T*& place) {
    place = static_cast<T*>(AllocRaw(size, true));
    return place != nullptr;
}

// Resizes the block in `place` (or allocates one when it is empty); on failure the old block stays.
template <class T>
[[nodiscard]] bool GrowBlock(size_t size, T*& place) {
    void* grown = place ? GrowRaw(place, size) : AllocRaw(size, false);
    if (!grown) return false;
    place = static_cast<T*>(grown);
    return true;
}

// Frees the block in `place`, if any, and clears the place.
template <class T>
void FreeBlock(T*& place) {
    if (place) FreeRaw(const_cast<void*>(static_cast<const void*>(place)));
    place = nullptr;
}

// Owns a block of the memory helpers: freed when the owner goes.
template <class T>
struct BlockTraits {
    using Handle = T*;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle block) { FreeRaw(const_cast<void*>(static_cast<const void*>(block))); }
};
template <class T>
using UniqueBlock = UniqueHandle<BlockTraits<T>>;

// As AllocBlock, into an owner (which frees what it held before); false on failure.
template <class T>
[[nodiscard]] bool AllocBlock(size_t size, UniqueBlock<T>& block) {
    block.reset(static_cast<T*>(AllocRaw(size, false)));
    return static_cast<bool>(block);
}

// As AllocZeroed, into an owner (which frees what it held before); false on failure.
template <class T>
[[nodiscard]] bool AllocZeroed(size_t size, UniqueBlock<T>& block) {
    block.reset(static_cast<T*>(AllocRaw(size, true)));
    return static_cast<bool>(block);
}

// Live and peak bytes handed out by the helpers; counted on the host build only (benchmarks).
struct MemoryStats {
    size_t live;
    size_t peak;
};
MemoryStats GetMemoryStats();
void ResetMemoryPeak();
