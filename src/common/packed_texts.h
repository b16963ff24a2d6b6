// Constant lists of texts packed into one block of bytes: each text with its terminator, one after
// the other, and an empty text at the end. An array of pointers would cost a pointer and a
// relocation entry in the executable per text; the packed block is plain read-only bytes.
#pragma once

#include <stddef.h>

#include "common/text.h"

template <size_t Size>
struct PackedTexts {
    char bytes[Size];
};

// Packs the texts at compile time: constexpr auto kList = PackTexts("One", "Two");
template <size_t... Lengths>
constexpr PackedTexts<(Lengths + ... + 1)> PackTexts(const char (&... texts)[Lengths]) {
    // An empty text would end the list early and hide the texts after it.
    static_assert(((Lengths > 1) && ...), "a packed list cannot hold an empty text");
    PackedTexts<(Lengths + ... + 1)> packed{};
    size_t at = 0;
    auto append = [&](const char* text, size_t size) {
        for (size_t i = 0; i < size; ++i) packed.bytes[at++] = text[i];
    };
    (append(texts, Lengths), ...);
    packed.bytes[at] = '\0';
    return packed;
}

// True when `text` equals one of the texts of the packed list, ignoring the case of A-Z only.
inline bool TextInPackedListNoCase(const char* text, const char* list) {
    for (; *list != '\0'; list += TextLength(list) + 1) {
        if (TextEqualsNoCase(text, list)) return true;
    }
    return false;
}

template <size_t Size>
bool TextInPackedListNoCase(const char* text, const PackedTexts<Size>& list) {
    return TextInPackedListNoCase(text, list.bytes);
}
