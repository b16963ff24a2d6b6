#!/bin/bash
# The layer check refuses an include from a folder above the file's own and lets the downward one,
# a same-layer one and a header beside the file pass; it refuses two folders of one layer that
# include each other.
set -uo pipefail
check="$(dirname "$0")/../../scripts/check-layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/ui" "$tree/run" "$tree/data" "$tree/paths"
printf '#include "run/run_state.h"\n' >"$tree/ui/upward.cpp"
printf '#include "ui/ui_state.h"\n#include "local.h"\n' >"$tree/run/downward.cpp"
printf '#include "paths/path_state.h"\n' >"$tree/data/sibling.cpp"

if "$check" "$tree" 2>"$tree/errors"; then
    echo "an upward include passed the check" >&2
    exit 1
fi
if ! grep -q 'ui/upward.cpp: includes "run/run_state.h" from run, above ui' "$tree/errors"; then
    echo "the upward include was not named:" >&2
    cat "$tree/errors" >&2
    exit 1
fi
if [[ $(wc -l <"$tree/errors") -ne 1 ]]; then
    echo "an allowed include was refused:" >&2
    cat "$tree/errors" >&2
    exit 1
fi
rm "$tree/ui/upward.cpp"
if ! "$check" "$tree"; then
    echo "a tree of allowed includes failed the check" >&2
    exit 1
fi

# data/ includes paths/ (above); paths/ including data/ back makes the two include each other.
printf '#include "data/loader.h"\n' >"$tree/paths/back.cpp"
if "$check" "$tree" 2>"$tree/errors"; then
    echo "two folders of one layer that include each other passed the check" >&2
    exit 1
fi
if ! grep -q 'data and paths include each other' "$tree/errors"; then
    echo "the folders that include each other were not named:" >&2
    cat "$tree/errors" >&2
    exit 1
fi
rm "$tree/data/sibling.cpp"
if ! "$check" "$tree"; then
    echo "an include across one layer in one direction failed the check" >&2
    exit 1
fi
