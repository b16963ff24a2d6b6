#include "pack/codepage.h"

#include <cerrno>
#include <cstdio>

#include "pack/codepage_converter.h"

namespace pack {

namespace {

bool IsAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// The code point of the UTF-8 sequence at `p` (at most `left` bytes), for error messages.
std::string DescribeUtf8(const char* p, size_t left) {
    auto b = [&](size_t i) { return static_cast<unsigned char>(p[i]); };
    unsigned cp = b(0);
    size_t n = cp >= 0xF0 ? 4 : cp >= 0xE0 ? 3 : cp >= 0xC0 ? 2 : 1;
    if (n > left) n = left;
    if (n > 1) {
        cp &= 0x3F >> (n - 1);
        for (size_t i = 1; i < n; ++i) cp = (cp << 6) | (b(i) & 0x3F);
    }
    char name[16];
    snprintf(name, sizeof name, "U+%04X", cp);
    return std::string(name) + " \"" + std::string(p, n) + "\"";
}

}  // namespace

std::unique_ptr<CodePage> CodePage::Open(int number, std::string& why) {
    auto converter = OpenCodePageConverter(number, why);
    if (!converter) return nullptr;
    std::unique_ptr<CodePage> page(new CodePage(number, std::move(converter)));
    // Paths, tokens and patterns are ASCII: a code page that moves them cannot be used.
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
    std::string converted;
    size_t badAt = 0;
    if (!page->converter_->ToPage(ascii, converted, badAt) || converted != ascii) {
        why = "code page " + std::to_string(number) + " does not keep ASCII characters as they are";
        return nullptr;
    }
    return page;
}

CodePage::CodePage(int number, std::unique_ptr<CodePageConverter> converter)
    : number_(number), converter_(std::move(converter)) {}

CodePage::~CodePage() = default;

const std::string& CodePage::PathProblem(const char* character, size_t length) const {
    std::string key(character, length);
    auto found = pathProblems_.find(key);
    if (found != pathProblems_.end()) return found->second;
    std::string stored, back, problem;
    size_t badAt = 0;
    bool converted = converter_->ToPage(key, stored, badAt);
    if (converted && stored.size() == 1 && static_cast<unsigned char>(stored[0]) < 0x80) {
        char byte[8];
        snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(stored[0]));
        problem = "character " + DescribeUtf8(character, length) + " becomes \"" + stored + "\" (" + byte +
                  ") in code page " + std::to_string(number_) +
                  ": in a path or key the uninstaller reads it as that ASCII character";
    } else if (converted && (!converter_->FromPage(stored, back, badAt) || back != key)) {
        std::string bytes;
        for (unsigned char c : stored) {
            char byte[8];
            snprintf(byte, sizeof byte, "%s0x%02X", bytes.empty() ? "" : " ", c);
            bytes += byte;
        }
        problem = "character " + DescribeUtf8(character, length) + " is stored as " + bytes +
                  ", which code page " + std::to_string(number_) + " reads back as " +
                  (back.empty() ? std::string("no character") : DescribeUtf8(back.data(), back.size())) +
                  ": in a path or key the uninstaller names another file or key";
    }
    return pathProblems_.emplace(std::move(key), std::move(problem)).first->second;
}

bool CodePage::FromUtf8(const std::string& text, std::string& out, std::string& why, Use use) const {
    if (IsAscii(text)) {
        out = text;
        return true;
    }
    size_t badAt = 0;
    if (converter_->ToPage(text, out, badAt)) {
        if (use == Use::kMessage) return true;
        // The text converted whole; now each non-ASCII character alone: it must come back as itself.
        for (size_t i = 0; i < text.size();) {
            unsigned char lead = static_cast<unsigned char>(text[i]);
            size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (n > text.size() - i) n = text.size() - i;
            if (n > 1) {
                const std::string& problem = PathProblem(text.data() + i, n);
                if (!problem.empty()) {
                    why = problem;
                    out.clear();
                    return false;
                }
            }
            i += n;
        }
        return true;
    }
    why = badAt < text.size() ? "character " + DescribeUtf8(text.data() + badAt, text.size() - badAt) +
                                    " has no place in code page " + std::to_string(number_)
                              : "the text ends inside a character";
    return false;
}

bool CodePage::ToUtf8(const std::string& text, std::string& out, std::string& why) const {
    if (IsAscii(text)) {
        out = text;
        return true;
    }
    size_t badAt = 0;
    if (converter_->FromPage(text, out, badAt)) return true;
    char byte[8] = "";
    if (badAt < text.size()) snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[badAt]));
    why = badAt < text.size() ? "byte " + std::string(byte) + " at " + std::to_string(badAt) +
                                    " names no character in code page " + std::to_string(number_)
                              : "the text ends inside a character of code page " + std::to_string(number_);
    return false;
}

}  // namespace pack
