#include "run/options.h"

#include "common/text.h"

namespace {
bool IsOptionChar(char c) {
    return c == '-' || c == '/';
}
}  // namespace

void ScanOptions(const char* text, RunModes& modes) {
    if (!text) return;
    const char* p = text;
    while (*p == ' ') ++p;
    while (IsOptionChar(*p)) {
        if (p[1] == '\0') return;  // an option character as the very last character
        switch (AsciiUpper(p[1])) {
            case 'Q':
                modes.quiet = true;
                break;
            case 'S':
                modes.silent = modes.quiet = true;
                break;
            case 'X':
                modes.external = modes.quiet = true;
                break;
            default:
                break;  // any other letter, a blank included, is ignored
        }
        p += 2;
        // Only the first letter counts: skip the rest of the word.
        while (*p != '\0' && *p != ' ' && !IsOptionChar(*p)) ++p;
        while (*p == ' ') ++p;
    }
}
