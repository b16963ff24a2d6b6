#include "pack/codepage.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include "pack/platform.h"
#else
#include <iconv.h>
#endif

namespace pack {

namespace {

#ifndef _WIN32
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
#endif

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

#ifndef _WIN32

// iconv, one descriptor per direction.
struct CodePage::Converter {
    iconv_t toPage = kNoConverter;
    iconv_t fromPage = kNoConverter;
    ~Converter() {
        if (toPage != kNoConverter) iconv_close(toPage);
        if (fromPage != kNoConverter) iconv_close(fromPage);
    }

    // Fails, saying why in `error`, when iconv does not know the code page.
    bool Open(int number, std::string* error) {
        std::string name = "CP" + std::to_string(number);
        toPage = iconv_open(name.c_str(), "UTF-8");
        fromPage = iconv_open("UTF-8", name.c_str());
        if (toPage != kNoConverter && fromPage != kNoConverter) return true;
        if (error) *error = "code page " + std::to_string(number) + " is not known to iconv (" + name + ")";
        return false;
    }

    bool ToPage(const std::string& in, std::string& out, size_t& badAt) const {
        return Run(toPage, in, out, badAt);
    }
    bool FromPage(const std::string& in, std::string& out, size_t& badAt) const {
        return Run(fromPage, in, out, badAt);
    }

  private:
    // Runs one whole conversion; on failure returns the offset of the bad input in `badAt`.
    static bool Run(iconv_t cd, const std::string& in, std::string& out, size_t& badAt) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        out.assign(in.size() * 4 + 16, '\0');
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = out.data();
        size_t dstLeft = out.size();
        while (srcLeft > 0) {
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
                if (errno == E2BIG) {
                    size_t used = static_cast<size_t>(dst - out.data());
                    out.resize(out.size() * 2);
                    dst = out.data() + used;
                    dstLeft = out.size() - used;
                    continue;
                }
                badAt = static_cast<size_t>(src - in.data());
                return false;
            }
        }
        if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) {
            badAt = in.size();
            return false;
        }
        out.resize(static_cast<size_t>(dst - out.data()));
        return true;
    }
};

#else  // _WIN32

// The code page functions of Windows. Their tables and glibc's differ in a few places, and a
// manifest must be accepted, refused and stored alike by the packers of both systems, so those
// places are settled here as iconv has them:
// - the C1 controls U+0080..U+009F: Windows gives them the bytes its single-byte code pages leave
//   undefined (and 0x80 of 932 and 949); iconv knows no such characters. Refused both ways.
// - private-use characters: Windows maps thousands in 936, 949 and 950 (end-user-defined
//   characters) that iconv does not. Refused there both ways; 932's agree.
// - iconv stores a few characters of 932 as their look-alikes, one way (U+00A5 "¥" as "\"), and
//   four box-drawing characters of 950 as other bytes that read back the same: kIconvChoices.
struct CodePage::Converter {
    UINT number = 0;
    bool refusesPrivateUse = false;

    // Fails, saying why in `error`, when Windows does not know the code page or it is no single-
    // or double-byte code page (UTF-8, UTF-7 and the stateful ones store texts otherwise).
    bool Open(int page, std::string* error) {
        CPINFO info{};
        if (page < 1 || page > 65535 || !IsValidCodePage(static_cast<UINT>(page)) ||
            !GetCPInfo(static_cast<UINT>(page), &info) || info.MaxCharSize > 2 || page == CP_UTF7) {
            if (error)
                *error = "code page " + std::to_string(page) + " is not known to Windows as a single- or " +
                         "double-byte code page";
            return false;
        }
        number = static_cast<UINT>(page);
        refusesPrivateUse = page == 936 || page == 949 || page == 950;
        return true;
    }

    bool ToPage(const std::string& in, std::string& out, size_t& badAt) const {
        out.clear();
        for (size_t i = 0; i < in.size();) {
            unsigned char lead = static_cast<unsigned char>(in[i]);
            if (lead < 0x80) {
                out.push_back(static_cast<char>(lead));
                ++i;
                continue;
            }
            size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            std::wstring wide;
            std::string bytes;
            if (n > in.size() - i || !platform::WideFromUtf8(in.substr(i, n), wide) || !Encode(wide, bytes)) {
                badAt = i;
                return false;
            }
            out += bytes;
            i += n;
        }
        return true;
    }

    bool FromPage(const std::string& in, std::string& out, size_t& badAt) const {
        out.clear();
        std::wstring wide;
        for (size_t i = 0; i < in.size();) {
            unsigned char lead = static_cast<unsigned char>(in[i]);
            if (lead < 0x80) {
                wide.push_back(lead);
                ++i;
                continue;
            }
            size_t n = IsDBCSLeadByteEx(number, lead) ? 2 : 1;
            wchar_t character[4];
            if (n > in.size() - i ||
                MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, in.data() + i, static_cast<int>(n),
                                    character, 4) != 1 ||
                !Allowed(character[0])) {
                badAt = i;
                return false;
            }
            wide.push_back(character[0]);
            i += n;
        }
        return platform::Utf8FromWide(wide, out);
    }

  private:
    bool Allowed(wchar_t c) const {
        if (c >= 0x80 && c <= 0x9F) return false;
        return !(refusesPrivateUse && c >= 0xE000 && c <= 0xF8FF);
    }

    // One character (one UTF-16 unit or a surrogate pair) to the code page: only what reads back as
    // itself. WC_NO_BEST_FIT_CHARS alone is not enough: Wine hands out some one-way bytes with it.
    bool Encode(const std::wstring& wide, std::string& bytes) const {
        if (wide.size() == 1) {
            if (!Allowed(wide[0])) return false;
            for (const auto& choice : kIconvChoices) {
                if (choice.codePage == number && choice.character == wide[0]) {
                    bytes = choice.bytes;
                    return true;
                }
            }
        }
        char buffer[8];
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(number, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                    buffer, sizeof buffer, nullptr, &usedDefault);
        if (n <= 0 || usedDefault) return false;
        wchar_t back[4];
        int m = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, buffer, n, back, 4);
        if (m != static_cast<int>(wide.size()) || std::wstring(back, static_cast<size_t>(m)) != wide)
            return false;
        bytes.assign(buffer, static_cast<size_t>(n));
        return true;
    }

    struct Choice {
        UINT codePage;
        wchar_t character;
        const char* bytes;
    };
    static constexpr Choice kIconvChoices[] = {
        {932, 0x00A2, "\x81\x91"}, {932, 0x00A3, "\x81\x92"}, {932, 0x00A5, "\x5C"},
        {932, 0x00AC, "\x81\xCA"}, {932, 0x2014, "\x81\x5C"}, {932, 0x2016, "\x81\x61"},
        {932, 0x203E, "\x7E"},     {932, 0x2212, "\x81\x7C"}, {932, 0x301C, "\x81\x60"},
        {950, 0x2550, "\xA2\xA4"}, {950, 0x255E, "\xA2\xA5"}, {950, 0x2561, "\xA2\xA7"},
        {950, 0x256A, "\xA2\xA6"},
    };
};

#endif  // _WIN32

std::unique_ptr<CodePage> CodePage::Open(int number, std::string* error) {
    auto converter = std::make_unique<Converter>();
    if (!converter->Open(number, error)) return nullptr;
    std::unique_ptr<CodePage> page(new CodePage(number, std::move(converter)));
    // Paths, tokens and patterns are ASCII: a code page that moves them cannot be used.
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
    std::string converted;
    size_t badAt = 0;
    if (!page->converter_->ToPage(ascii, converted, badAt) || converted != ascii) {
        if (error)
            *error = "code page " + std::to_string(number) + " does not keep ASCII characters as they are";
        return nullptr;
    }
    return page;
}

CodePage::CodePage(int number, std::unique_ptr<Converter> converter)
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

bool CodePage::FromUtf8(const std::string& text, std::string& out, std::string* error, Use use) const {
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
                    if (error) *error = problem;
                    out.clear();
                    return false;
                }
            }
            i += n;
        }
        return true;
    }
    if (error) {
        *error = badAt < text.size() ? "character " + DescribeUtf8(text.data() + badAt, text.size() - badAt) +
                                           " has no place in code page " + std::to_string(number_)
                                     : "the text ends inside a character";
    }
    return false;
}

bool CodePage::ToUtf8(const std::string& text, std::string& out, std::string* error) const {
    if (IsAscii(text)) {
        out = text;
        return true;
    }
    size_t badAt = 0;
    if (converter_->FromPage(text, out, badAt)) return true;
    if (error) {
        char byte[8] = "";
        if (badAt < text.size())
            snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[badAt]));
        *error = badAt < text.size()
                     ? "byte " + std::string(byte) + " at " + std::to_string(badAt) +
                           " names no character in code page " + std::to_string(number_)
                     : "the text ends inside a character of code page " + std::to_string(number_);
    }
    return false;
}

}  // namespace pack
