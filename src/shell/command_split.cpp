#include "shell/command_split.h"

#include "common/text.h"

namespace {

char* TrimBlanks(char* begin, char* end) {
    while (begin < end && *begin == ' ') ++begin;
    while (end > begin && end[-1] == ' ') --end;
    *end = '\0';
    return begin;
}

}  // namespace

CommandParts SplitCommand(char* text) {
    if (text[0] != '"') return {text, ""};
    char* close = text + 1;
    while (*close != '\0' && *close != '"') ++close;
    if (*close == '"' && close[1] != '\0') {
        char* arguments = close + 1;
        while (*arguments == ' ') ++arguments;
        return {TrimBlanks(text + 1, close), arguments};
    }
    // No closing quote, or nothing after it: the program is what the quotes hold.
    return {TrimBlanks(text + 1, close), ""};
}
