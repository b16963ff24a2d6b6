#include "removal/file_mask.h"

#include "common/text.h"

namespace {

// What each mask character stands for once the platform has read it. FindFirstFileA hands the
// file system the mask with "?" as a DOS question mark, a "*" before a "." as a DOS star, and a "."
// before "?", "*" or the mask's end as a DOS dot; the rest keep their plain meaning.
enum class MaskKind : unsigned char {
    kLiteral,  // one character, ASCII letters without case
    kStar,     // any run of characters, none too
    kDosStar,  // any run of characters that does not take the name's last "."
    kDosQm,    // one character that is not a "."; nothing where the name is at a "." or has ended
    kDosDot,   // a "."; nothing where the name has ended
};

MaskKind KindAt(const char* mask, size_t at, size_t length) {
    char c = mask[at];
    char next = at + 1 < length ? mask[at + 1] : '\0';
    if (c == '?') return MaskKind::kDosQm;
    if (c == '*') return next == '.' ? MaskKind::kDosStar : MaskKind::kStar;
    if (c == '.' && (next == '?' || next == '*' || next == '\0')) return MaskKind::kDosDot;
    return MaskKind::kLiteral;
}

// Adds the moves that take no name character: a star matching nothing, a DOS question mark at a
// "." or at the end, a DOS dot at the end. Each leads one mask position on, so one sweep in mask
// order reaches all of them.
void AddEmptyMoves(bool* states, const MaskKind* kinds, size_t length, char nameChar) {
    for (size_t j = 0; j < length; ++j) {
        if (!states[j]) continue;
        MaskKind kind = kinds[j];
        bool empty = kind == MaskKind::kStar || kind == MaskKind::kDosStar ||
                     (kind == MaskKind::kDosQm && (nameChar == '.' || nameChar == '\0')) ||
                     (kind == MaskKind::kDosDot && nameChar == '\0');
        if (empty) states[j + 1] = true;
    }
}

}  // namespace

bool MatchesFileMask(const char* name, const char* mask) {
    size_t nameLength = TextLength(name);
    size_t maskLength = TextLength(mask);
    if (nameLength == 0 || maskLength >= kPathBufferSize) return false;

    MaskKind kinds[kPathBufferSize];
    for (size_t j = 0; j < maskLength; ++j) kinds[j] = KindAt(mask, j, maskLength);
    size_t lastDot = nameLength;  // none
    for (size_t i = 0; i < nameLength; ++i) {
        if (name[i] == '.') lastDot = i;
    }

    // The mask positions reachable after each name character: a walk of the mask as an automaton,
    // bounded by name length times mask length, with no backtracking.
    bool states[2][kPathBufferSize + 1] = {};
    bool* current = states[0];
    bool* next = states[1];
    current[0] = true;
    AddEmptyMoves(current, kinds, maskLength, name[0]);
    for (size_t i = 0; i < nameLength; ++i) {
        char c = name[i];
        bool lastDotHere = c == '.' && i == lastDot;
        for (size_t j = 0; j <= maskLength; ++j) next[j] = false;
        bool any = false;
        for (size_t j = 0; j < maskLength; ++j) {
            if (!current[j]) continue;
            switch (kinds[j]) {
                case MaskKind::kStar:
                    next[j] = true;
                    break;
                case MaskKind::kDosStar:
                    if (!lastDotHere) next[j] = true;
                    break;
                case MaskKind::kDosQm:
                    if (c != '.') next[j + 1] = true;
                    break;
                case MaskKind::kDosDot:
                    if (c == '.') next[j + 1] = true;
                    break;
                case MaskKind::kLiteral:
                    if (AsciiUpper(mask[j]) == AsciiUpper(c)) next[j + 1] = true;
                    break;
            }
        }
        AddEmptyMoves(next, kinds, maskLength, name[i + 1]);
        for (size_t j = 0; j <= maskLength; ++j) any = any || next[j];
        if (!any) return false;
        bool* swap = current;
        current = next;
        next = swap;
    }
    return current[maskLength];
}
