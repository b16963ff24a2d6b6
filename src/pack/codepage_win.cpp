// The code pages on Windows: the system's code page functions.
#include <windows.h>

#include <cerrno>

#include "pack/codepage_converter.h"
#include "pack/platform_win.h"

namespace pack {

namespace {

// The code page functions of Windows. Their tables and glibc's differ in a few places, and a
// manifest must be accepted, refused and stored alike by the packers of both systems, so those
// places are settled here as iconv has them:
// - the C1 controls U+0080..U+009F: Windows gives them the bytes its single-byte code pages leave
//   undefined (and 0x80 of 932 and 949); iconv knows no such characters. Refused both ways.
// - private-use characters: Windows maps thousands in 936, 949 and 950 (end-user-defined
//   characters) that iconv does not. Refused there both ways; 932's agree.
// - iconv stores a few characters of 932 as their look-alikes, one way (U+00A5 "¥" as "\"), and
//   four box-drawing characters of 950 as other bytes that read back the same: kIconvChoices.
class WindowsConverter final : public CodePageConverter {
  public:
    UINT number = 0;
    bool refusesPrivateUse = false;

    // Fails, saying why in `why`, when Windows does not know the code page or it is no single-
    // or double-byte code page (UTF-8, UTF-7 and the stateful ones store texts otherwise).
    bool Open(int page, std::string& why) {
        CPINFO info{};
        if (page < 1 || page > 65535 || !IsValidCodePage(static_cast<UINT>(page)) ||
            !GetCPInfo(static_cast<UINT>(page), &info) || info.MaxCharSize > 2 || page == CP_UTF7) {
            why = "code page " + std::to_string(page) + " is not known to Windows as a single- or " +
                  "double-byte code page";
            return false;
        }
        number = static_cast<UINT>(page);
        refusesPrivateUse = page == 936 || page == 949 || page == 950;
        return true;
    }

    bool ToPage(const std::string& in, std::string& out, size_t& badAt) const override {
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

    bool FromPage(const std::string& in, std::string& out, size_t& badAt) const override {
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

}  // namespace

std::unique_ptr<CodePageConverter> OpenCodePageConverter(int number, std::string& why) {
    auto converter = std::make_unique<WindowsConverter>();
    if (!converter->Open(number, why)) return nullptr;
    return converter;
}

}  // namespace pack
