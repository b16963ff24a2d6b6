// Composing the run-first command from the settings block's text.
#pragma once

#include "common/memory.h"

struct RunState;

struct ComposedRunFirst {
    char* text;                   // the composed command: the expansion, or the current-item buffer
    UniqueBlock<char> expansion;  // the token expansion's own block, when one was made
};

// Composes `command` into the program text to split: with its folder tokens expanded when it starts
// with one that expands, else relative to the install folder. False when the command cannot be
// composed whole (it does not fit, or memory for the expansion cannot be had): then nothing runs.
// The text stays valid while `out` lives (its expansion, or until the current-item buffer is reused).
[[nodiscard]] bool ComposeRunFirstCommand(RunState& run, const char* command, ComposedRunFirst& out);
