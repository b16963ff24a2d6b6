#include "removal/file_mask.h"

#include "common/text.h"

namespace {

bool HasDot(const char* text, const char* end) {
    for (; text != end; ++text) {
        if (*text == '.') return true;
    }
    return false;
}

// Glob match of name[0, nameEnd) against mask[0, maskEnd): backtracking on the last star only,
// which is enough because a later star can absorb whatever an earlier one would have.
bool Glob(const char* name, const char* nameEnd, const char* mask, const char* maskEnd) {
    const char* starMask = nullptr;
    const char* starName = nullptr;
    while (name != nameEnd) {
        if (mask != maskEnd && *mask == '*') {
            starMask = ++mask;
            starName = name;
        } else if (mask != maskEnd && (*mask == '?' || AsciiUpper(*mask) == AsciiUpper(*name))) {
            ++mask;
            ++name;
        } else if (starMask) {
            mask = starMask;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (mask != maskEnd && *mask == '*') ++mask;
    return mask == maskEnd;
}

}  // namespace

bool MatchesFileMask(const char* name, const char* mask) {
    const char* nameEnd = name + TextLength(name);
    const char* maskEnd = mask + TextLength(mask);
    if (nameEnd == name) return false;
    if (Glob(name, nameEnd, mask, maskEnd)) {
        // "*." asks for names without an extension; the glob alone cannot say so.
        return !(maskEnd > mask && maskEnd[-1] == '.' && HasDot(name, nameEnd));
    }
    size_t maskLength = static_cast<size_t>(maskEnd - mask);
    if (maskLength >= 2 && maskEnd[-2] == '.' && maskEnd[-1] == '*' && !HasDot(name, nameEnd)) {
        return Glob(name, nameEnd, mask, maskEnd - 2);
    }
    if (maskLength >= 1 && maskEnd[-1] == '.' && !HasDot(name, nameEnd)) {
        return Glob(name, nameEnd, mask, maskEnd - 1);
    }
    return false;
}
