// The system's converter behind CodePage, private to codepage*.cpp: iconv on POSIX
// (codepage_posix.cpp), the code page functions on Windows (codepage_win.cpp).
#pragma once

#include <memory>
#include <string>

#include "pack/codepage.h"

namespace pack {

class CodePageConverter {
  public:
    virtual ~CodePageConverter() = default;
    // One whole conversion, UTF-8 to the page and back; on failure `badAt` is the offset of the
    // input that could not be converted.
    virtual bool ToPage(const std::string& in, std::string& out, size_t& badAt) const = 0;
    virtual bool FromPage(const std::string& in, std::string& out, size_t& badAt) const = 0;
};

// The converter of code page `number`; null, with `why`, when the system does not know
// it.
std::unique_ptr<CodePageConverter> OpenCodePageConverter(int number, std::string& why);

}  // namespace pack
