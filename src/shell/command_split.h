// Splits a composed run-first command into its program and its arguments.
#pragma once

struct CommandParts {
    const char* program;
    const char* arguments;
};

// Splits `text` in place. A text that begins with a double quote and has a closing one with
// something after it gives the quoted program (blanks trimmed) and the arguments after the quote
// (leading blanks skipped). A text without a leading quote is the program whole, blanks and all.
// A quoted program with nothing after its quotes, or without a closing quote, loses its quotes and
// has no arguments: the program runner adds quotes of its own.
CommandParts SplitCommand(char* text);
