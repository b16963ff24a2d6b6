// Where the progress bar stands: the run's total, each pass's position for an entry, and the
// percentage shown for a position. Pure arithmetic, shared by the uninstaller's passes (through
// ReportProgress, ui/ui.h) and the packer's plan, so both show the same bar.
#pragma once

#include <stdint.h>

struct ProgressCounts {
    uint32_t files;      // F: file-list entries
    uint32_t shortcuts;  // S: shortcut-list entries
    uint32_t registry;   // R: registry-list entries
};

// The run's total, T = R + 2F + S, counted in 64 bits and capped at the largest 32-bit count.
constexpr uint32_t ProgressTotal(const ProgressCounts& counts) {
    uint64_t total = static_cast<uint64_t>(counts.registry) + 2ull * counts.files + counts.shortcuts;
    return total > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
}

// The passes that move the bar. The wildcard pass reports nothing.
enum class ProgressPass {
    kFiles,            // position k, the k-th entry of the walk from the last entry (k = 0) on
    kShortcutFiles,    // F + i
    kShortcutFolders,  // F + i, the same stretch again
    kProgramFolders,   // S + R + F + i: near the end of the bar...
    kRegistry,         // F + S + i: ...which moves back when the registry pass, called after it, starts
};

// The position a pass reports after its entry `index`, in progress units.
constexpr uint64_t ProgressPosition(ProgressPass pass, const ProgressCounts& counts, uint32_t index) {
    uint64_t f = counts.files;
    uint64_t s = counts.shortcuts;
    uint64_t r = counts.registry;
    switch (pass) {
        case ProgressPass::kFiles:
            return index;
        case ProgressPass::kShortcutFiles:
        case ProgressPass::kShortcutFolders:
            return f + index;
        case ProgressPass::kProgramFolders:
            return s + r + f + index;
        case ProgressPass::kRegistry:
            return f + s + index;
    }
    return 0;
}

// The whole percentage of `position` out of `total`: position * 100 / total, truncated, capped at
// 100, with no product that wraps. A total of 0 means there is no bar: callers report nothing then
// (0 is returned rather than dividing by it).
constexpr uint32_t ProgressPercent(uint64_t position, uint32_t total) {
    if (total == 0) return 0;
    if (position >= total) return 100;
    // Now position < total < 2^32, so position * 100 fits 64 bits. The percentage is the largest p
    // with p * total <= position * 100, found bit by bit: a 64-bit division would pull the compiler's
    // division routines (and their unwind tables) into the 32-bit stub.
    uint64_t scaled = position * 100;
    uint32_t percent = 0;
    for (uint32_t bit = 64; bit != 0; bit >>= 1) {
        if (static_cast<uint64_t>(percent + bit) * total <= scaled) percent += bit;
    }
    return percent;
}
