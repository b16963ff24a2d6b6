// The few memory routines the compiler may call on its own, for an executable without a C runtime.
// The fill, copy and length loops go through volatile pointers: the compiler recognises such a loop as
// memset, memcpy or strlen and would compile it into a call to the very function it is in, which
// then calls itself for ever.
#include <stddef.h>

extern "C" {

void* memset(void* dest, int value, size_t count) {
    auto* d = static_cast<volatile unsigned char*>(dest);
    while (count--) *d++ = static_cast<unsigned char>(value);
    return dest;
}

void* memcpy(void* dest, const void* source, size_t count) {
    auto* d = static_cast<volatile unsigned char*>(dest);
    auto* s = static_cast<const unsigned char*>(source);
    while (count--) *d++ = *s++;
    return dest;
}

void* memmove(void* dest, const void* source, size_t count) {
    auto* d = static_cast<volatile unsigned char*>(dest);
    auto* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (count--) *d++ = *s++;
    } else {
        d += count;
        s += count;
        while (count--) *--d = *--s;
    }
    return dest;
}

int memcmp(const void* a, const void* b, size_t count) {
    auto* p = static_cast<const unsigned char*>(a);
    auto* q = static_cast<const unsigned char*>(b);
    for (; count; --count, ++p, ++q) {
        if (*p != *q) return *p < *q ? -1 : 1;
    }
    return 0;
}

size_t strlen(const char* text) {
    auto* p = static_cast<const volatile char*>(text);
    size_t n = 0;
    while (p[n] != '\0') ++n;
    return n;
}

}  // extern "C"
