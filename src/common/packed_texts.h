// Constant lists of texts packed at compile time into one block of read-only bytes. An array of
// pointers would cost the executable a pointer and a relocation entry per text. The lists are key
// paths that share long beginnings ("Microsoft\Windows\CurrentVersion\..."), so each text is
// stored as the count of bytes it shares with the text before it, then the rest of it and a NUL;
// a count of 0 with nothing after it ends the list (a text that shares nothing has a byte of its
// own).
//
//     constexpr auto kList = PackTexts<"Microsoft", "Microsoft\\Windows">();
//     if (TextInPackedListNoCase(name, kList)) ...
#pragma once

#include <stddef.h>

#include "common/text.h"

// Room for the longest text of a packed list with its terminator.
inline constexpr size_t kPackedTextSize = 128;

// A text literal as a template argument.
template <size_t N>
struct PackedText {
    char text[N];
    constexpr PackedText(const char (&literal)[N]) {
        for (size_t i = 0; i < N; ++i) text[i] = literal[i];
    }
};

template <size_t Size>
struct PackedTexts {
    char bytes[Size];
};

namespace packed_texts_detail {

// Not constexpr: reaching it while packing makes the build fail.
void InvalidPackedText();

// Front-codes `count` texts, each in an array of `sizes[t]` bytes, into `out` (when not null);
// returns the bytes the list takes.
constexpr size_t FrontCode(const char* const* texts, const size_t* sizes, size_t count, char* out) {
    size_t at = 0;
    const char* previous = "";
    for (size_t t = 0; t < count; ++t) {
        const char* text = texts[t];
        size_t length = 0;
        while (text[length] != '\0') ++length;
        // An empty text would read as the end of the list, a NUL inside one would cut it short, and
        // a longer one would not fit the reader.
        if (length == 0 || length + 1 != sizes[t] || length >= kPackedTextSize) InvalidPackedText();
        size_t shared = 0;
        while (shared < length && previous[shared] == text[shared]) ++shared;
        if (out) out[at] = static_cast<char>(shared);
        ++at;
        for (size_t i = shared; i <= length; ++i) {
            if (out) out[at] = text[i];
            ++at;
        }
        previous = text;
    }
    if (out) out[at] = out[at + 1] = '\0';
    return at + 2;
}

}  // namespace packed_texts_detail

template <PackedText... Texts>
consteval auto PackTexts() {
    constexpr const char* texts[] = {Texts.text...};
    constexpr size_t sizes[] = {sizeof Texts.text...};
    constexpr size_t count = sizeof...(Texts);
    PackedTexts<packed_texts_detail::FrontCode(texts, sizes, count, nullptr)> packed{};
    packed_texts_detail::FrontCode(texts, sizes, count, packed.bytes);
    return packed;
}

// Walks a packed list: each Next() makes the following text current.
class PackedTextReader {
  public:
    explicit PackedTextReader(const char* list) : next_(list) { current_[0] = '\0'; }
    template <size_t Size>
    explicit PackedTextReader(const PackedTexts<Size>& list) : PackedTextReader(list.bytes) {}

    // False at the end of the list.
    bool Next() {
        size_t n = static_cast<unsigned char>(*next_);
        if (n == 0 && next_[1] == '\0') return false;
        ++next_;
        // The packer keeps every count within the previous text and every text within the room;
        // the bounds hold even so.
        if (n > length_) n = length_;
        while (*next_ != '\0') {
            if (n < kPackedTextSize - 1) current_[n++] = *next_;
            ++next_;
        }
        ++next_;
        current_[n] = '\0';
        length_ = n;
        return true;
    }
    const char* Text() const { return current_; }

  private:
    const char* next_;
    char current_[kPackedTextSize];
    size_t length_ = 0;
};

// True when `text` equals one of the texts of the packed list, ignoring the case of A-Z only.
inline bool TextInPackedListNoCase(const char* text, const char* list) {
    PackedTextReader reader(list);
    while (reader.Next()) {
        if (TextEqualsNoCase(text, reader.Text())) return true;
    }
    return false;
}

template <size_t Size>
bool TextInPackedListNoCase(const char* text, const PackedTexts<Size>& list) {
    return TextInPackedListNoCase(text, list.bytes);
}
