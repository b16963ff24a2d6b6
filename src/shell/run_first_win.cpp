#include "shell/run_first.h"

#include "common/memory.h"
#include "common/text.h"
#include "paths/folder_tokens.h"
#include "removal/entry_paths.h"
#include "run/run_state.h"

bool ComposeRunFirstCommand(RunState& run, const char* command, ComposedRunFirst& out) {
    out.text = nullptr;
    out.expansion.reset();
    const char* start = SkipRunFirstLead(command);
    size_t startOffset = static_cast<size_t>(start - command);

    if (*start == '#') {
        uint32_t length = ExpandFolderTokens(run.paths, nullptr, command, kExpansionScratchSize);
        if (length == kExpansionTooLong) return false;
        if (!AllocZeroed(static_cast<size_t>(length) + 1, out.expansion)) return false;
        // A copy that differs from the measure (the scratch was had only once) is not run.
        if (ExpandFolderTokens(run.paths, out.expansion.get(), command, length + 1) != length) {
            out.expansion.reset();
            return false;
        }
        // The same text with the "#" still in place means nothing was expanded there.
        bool unchanged = length == TextLength(command) && out.expansion.get()[startOffset] == '#';
        if (!unchanged) {
            out.text = out.expansion.get();
            return true;
        }
        out.expansion.reset();
    }

    // Relative to the install folder; a command that does not fit is not run rather than cut.
    if (!BuildRunFirstFolderCommand(run.installFolder, command, run.currentItem, kPathBufferSize))
        return false;
    out.text = run.currentItem;
    return true;
}
