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

inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The first `wanted` byte of `text` (never the terminator), or null when it holds none.
inline const char* FindByte(const char* text, char wanted) {
    for (; *text; ++text) {
        if (*text == wanted) return text;
    }
    return nullptr;
}
inline char* FindByte(char* text, char wanted) {
    return const_cast<char*>(FindByte(static_cast<const char*>(text), wanted));
}
inline bool ContainsByte(const char* text, char wanted) {
    return FindByte(text, wanted) != nullptr;
}

// True when `text` begins with `prefix`, ignoring the case of A-Z only.
inline bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (AsciiUpper(*text) != AsciiUpper(*prefix)) return false;
    }
    return true;
}

// Compares two texts ignoring the case of A-Z only; no other byte is folded.
inline bool TextEqualsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
        if (*a == '\0') return true;
    }
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

// Text number `n` (from 0) of `texts`: texts one after another, each with its terminator.
constexpr const char* NthText(const char* texts, int n) {
    for (; n > 0; --n) {
        while (*texts != '\0') ++texts;
        ++texts;
    }
    return texts;
}

// Room for a 32-bit number in decimal and its terminator.
inline constexpr size_t kDecimalDigitsSize = 11;

// Writes `value` in decimal at the end of `digits`, terminated. Returns where the number begins.
const char* FormatDecimal(uint32_t value, char (&digits)[kDecimalDigitsSize]);

// Appends to a buffer of `size` bytes, keeping it terminated, or only counts when there is none.
// Writing stops at the first byte that does not fit; the length still counts every byte, so the
// caller learns from fits() whether the text is whole.
class TextWriter {
  public:
    TextWriter(char* out, size_t size) : out_(out), size_(size) {
        if (out_ && size_ > 0) out_[0] = '\0';
    }

    void Put(char c) {
        if (out_ && length_ + 1 < size_) {
            out_[length_] = c;
            out_[length_ + 1] = '\0';
        }
        ++length_;
    }
    void Put(const char* text) {
        for (; *text; ++text) Put(*text);
    }
    void Put(const char* text, size_t count) {
        for (size_t i = 0; i < count; ++i) Put(text[i]);
    }

    size_t length() const { return length_; }
    // Everything put so far is in the buffer, with its terminator.
    bool fits() const { return out_ && length_ < size_; }

  private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

template <size_t N>
[[nodiscard]] bool CopyText(char (&dest)[N], const char* source) {
    return CopyText(dest, N, source);
}
template <size_t N>
[[nodiscard]] bool AppendText(char (&dest)[N], const char* source) {
    return AppendText(dest, N, source);
}
