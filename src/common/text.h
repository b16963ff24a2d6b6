// Byte-string helpers for ANSI texts. Every copy is bounded by the destination's size and refuses,
// rather than cuts, a text that does not fit: a cut path names a different file.
#pragma once

#include <stddef.h>
#include <stdint.h>

inline constexpr uint32_t kPathBufferSize = 260;  // a path with its terminator

inline size_t TextLength(const char* text) {
    size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares two texts ignoring the case of A-Z only; no other byte is folded.
inline bool TextEqualsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
        if (*a == '\0') return true;
    }
}

// True when `text` equals one of the texts of `list`, ignoring the case of A-Z only.
template <size_t N>
bool TextInListNoCase(const char* text, const char* const (&list)[N]) {
    for (const char* item : list) {
        if (TextEqualsNoCase(text, item)) return true;
    }
    return false;
}

// Copies `source` with its terminator into `dest` of `size` bytes. Returns false, leaving `dest`
// unchanged, when it does not fit.
[[nodiscard]] inline bool CopyText(char* dest, size_t size, const char* source) {
    size_t n = TextLength(source);
    if (n >= size) return false;
    for (size_t i = 0; i <= n; ++i) dest[i] = source[i];
    return true;
}

// Appends `source` to the text in `dest` of `size` bytes. Returns false, leaving `dest` unchanged,
// when the result does not fit.
[[nodiscard]] inline bool AppendText(char* dest, size_t size, const char* source) {
    size_t used = TextLength(dest);
    if (used >= size) return false;
    return CopyText(dest + used, size - used, source);
}

template <size_t N>
[[nodiscard]] bool CopyText(char (&dest)[N], const char* source) {
    return CopyText(dest, N, source);
}
template <size_t N>
[[nodiscard]] bool AppendText(char (&dest)[N], const char* source) {
    return AppendText(dest, N, source);
}
