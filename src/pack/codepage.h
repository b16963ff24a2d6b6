// Conversion between UTF-8 (the manifest's JSON) and the single-byte or double-byte ANSI code page
// that the uninstaller's texts are stored in.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

namespace pack {

// The system's converter (codepage_converter.h).
class CodePageConverter;

inline constexpr int kDefaultCodePage = 1252;

class CodePage {
  public:
    // Opens code page `number` (1252, 1251, 932, ...) in both directions. Fails, with the reason in
    // `why`, when the system does not know it (iconv on POSIX, the code page tables on Windows) or
    // it does not keep ASCII as it is (paths need "\").
    static std::unique_ptr<CodePage> Open(int number, std::string& why);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // What a text is for. Some code pages store a character as another one: code page 932 stores
    // U+00A5 "¥" as 0x5C, the byte of "\", and U+203E "‾" as "~"; others store a character as a
    // byte they read back as a look-alike. Harmless in a message, which is shown with the page's own
    // glyphs, but in a path or a key that byte is a separator, a wildcard or a short-name tilde to the
    // uninstaller, or the name of another file.
    enum class Use { kMessage, kPath };

    // UTF-8 to the code page. Fails on a character the code page cannot hold, and for a path on a
    // character that does not read back as itself, naming it in `why`.
    [[nodiscard]] bool FromUtf8(const std::string& text, std::string& out, std::string& why,
                                Use use = Use::kPath) const;
    // The code page to UTF-8. Fails on a byte sequence that names no character in the code page.
    [[nodiscard]] bool ToUtf8(const std::string& text, std::string& out, std::string& why) const;

  private:
    CodePage(int number, std::unique_ptr<CodePageConverter> converter);
    // Why a non-ASCII character (its UTF-8 bytes) cannot stand in a path, or ""; remembered.
    const std::string& PathProblem(const char* character, size_t length) const;
    int number_;
    std::unique_ptr<CodePageConverter> converter_;
    mutable std::unordered_map<std::string, std::string> pathProblems_;
};

}  // namespace pack
