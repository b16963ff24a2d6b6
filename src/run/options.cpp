#include "run/options.h"

#include "common/text.h"

namespace {

bool IsOptionChar(char c) {
    return c == '-' || c == '/';
}

// What ends an unquoted log path: a blank, or a tab (one pasted after the path would otherwise make
// the next option part of it). Between options only a space is a blank.
bool EndsLogPath(char c) {
    return c == ' ' || c == '\t';
}

// The path of /L=PATH, `p` just after the "=": up to the closing quote when the path begins with
// one or the whole option was quoted (`quoted`; the whole rest of the text when there is none),
// else up to the next blank or tab. Returns the first character after the path (after its closing quote).
const char* ScanLogPath(const char* p, bool quoted, RunModes& modes) {
    if (*p == '"') {
        quoted = true;
        ++p;
    }
    const char* start = p;
    while (*p != '\0' && (quoted ? *p != '"' : !EndsLogPath(*p))) ++p;
    modes.logPathLength = static_cast<uint32_t>(p - start);
    modes.logPath = modes.logPathLength != 0 ? start : nullptr;
    return *p == '"' ? p + 1 : p;
}

void NoteIgnored(RunModes& modes, const char* word) {
    if (modes.ignoredCount < sizeof modes.ignored / sizeof modes.ignored[0])
        modes.ignored[modes.ignoredCount] = word;
    ++modes.ignoredCount;
}

}  // namespace

void ScanOptions(const char* text, RunModes& modes) {
    if (!text) return;
    const char* p = text;
    for (;;) {
        // Blanks, and the quotes around a whole option ("/L=C:\a b.log" as programs that build
        // argument lists write it), go between options.
        bool quoted = false;
        while (*p == ' ' || *p == '"') quoted = *p++ == '"';
        if (!IsOptionChar(*p) || p[1] == '\0') {
            // Not an option (an option character as the very last character included): the scan ends.
            if (*p != '\0') NoteIgnored(modes, p);
            return;
        }
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
                if (p[2] == '=') next = ScanLogPath(p + 3, quoted, modes);
                break;
            default:
                NoteIgnored(modes, p);  // any other letter, a blank included, is ignored
                break;
        }
        p = next;
        // Only the first letter counts: skip the rest of the word.
        while (*p != '\0' && *p != ' ' && *p != '"' && !IsOptionChar(*p)) ++p;
    }
}
