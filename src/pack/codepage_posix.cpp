// The code pages on POSIX: iconv.
#include <iconv.h>

#include <cerrno>

#include "pack/codepage_converter.h"

namespace pack {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// iconv, one descriptor per direction.
class IconvConverter final : public CodePageConverter {
  public:
    iconv_t toPage = kNoConverter;
    iconv_t fromPage = kNoConverter;
    ~IconvConverter() override {
        if (toPage != kNoConverter) iconv_close(toPage);
        if (fromPage != kNoConverter) iconv_close(fromPage);
    }

    // Fails, saying why in `why`, when iconv does not know the code page.
    bool Open(int number, std::string& why) {
        std::string name = "CP" + std::to_string(number);
        toPage = iconv_open(name.c_str(), "UTF-8");
        fromPage = iconv_open("UTF-8", name.c_str());
        if (toPage != kNoConverter && fromPage != kNoConverter) return true;
        why = "code page " + std::to_string(number) + " is not known to iconv (" + name + ")";
        return false;
    }

    bool ToPage(const std::string& in, std::string& out, size_t& badAt) const override {
        return Run(toPage, in, out, badAt);
    }
    bool FromPage(const std::string& in, std::string& out, size_t& badAt) const override {
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

}  // namespace

std::unique_ptr<CodePageConverter> OpenCodePageConverter(int number, std::string& why) {
    auto converter = std::make_unique<IconvConverter>();
    if (!converter->Open(number, why)) return nullptr;
    return converter;
}

}  // namespace pack
