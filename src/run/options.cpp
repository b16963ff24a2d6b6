#include "run/options.h"

#include "common/text.h"

namespace {

bool IsOptionChar(char c) {
    return c == '-' || c == '/';
}

// The path of /L=PATH, `p` just after the "=": up to the closing quote when it begins with one
// (the whole rest of the text when there is none), else up to the next blank. Returns the first
// character after the path (after its closing quote).
const char* ScanLogPath(const char* p, RunModes& modes) {
    char end = *p == '"' ? *p++ : ' ';
    const char* start = p;
    while (*p != '\0' && *p != end) ++p;
    modes.logPathLength = static_cast<uint32_t>(p - start);
    modes.logPath = modes.logPathLength != 0 ? start : nullptr;
    return *p == '"' ? p + 1 : p;
}

}  // namespace

void ScanOptions(const char* text, RunModes& modes) {
    if (!text) return;
    const char* p = text;
    while (*p == ' ') ++p;
    while (IsOptionChar(*p)) {
        if (p[1] == '\0') return;  // an option character as the very last character
        const char* next = p + 2;
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
            case 'L':
                // The path is the rest of the word: nothing in it is an option.
                if (p[2] == '=') next = ScanLogPath(p + 3, modes);
                break;
            default:
                break;  // any other letter, a blank included, is ignored
        }
        p = next;
        // Only the first letter counts: skip the rest of the word.
        while (*p != '\0' && *p != ' ' && !IsOptionChar(*p)) ++p;
        while (*p == ' ') ++p;
    }
}
