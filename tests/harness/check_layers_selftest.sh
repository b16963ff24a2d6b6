#!/bin/bash
# The layer check refuses an include from a folder above the file's own and lets the downward one,
# a same-layer one and a header beside the file pass; it refuses two folders of one layer that
# include each other.
set -uo pipefail
check="$(dirname "$0")/../../scripts/check-layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

# The check must fail on the tree ($1 says what would have passed) and say $2, and only that.
expect_refused() {
    if "$check" "$tree" 2>"$tree/errors"; then
        echo "$1 passed the check" >&2
        exit 1
    fi
    if ! grep -q "$2" "$tree/errors" || [[ $(wc -l <"$tree/errors") -ne 1 ]]; then
        echo "expected only \"$2\", the check said:" >&2
        cat "$tree/errors" >&2
        exit 1
    fi
}
# The check must pass the tree ($1 says what it is).
expect_passed() {
    if ! "$check" "$tree"; then
        echo "$1 failed the check" >&2
        exit 1
    fi
}

mkdir -p "$tree/ui" "$tree/run" "$tree/data" "$tree/paths"
printf '#include "run/run_state.h"\n' >"$tree/ui/upward.cpp"
printf '#include "ui/ui_state.h"\n#include "local.h"\n' >"$tree/run/downward.cpp"
printf '#include "paths/path_state.h"\n' >"$tree/data/sibling.cpp"
expect_refused "an upward include" 'ui/upward.cpp: includes "run/run_state.h" from run, above ui'
rm "$tree/ui/upward.cpp"
expect_passed "a tree of allowed includes"

# data/ includes paths/ (one layer); paths/ including data/ back makes the two include each other.
printf '#include "data/loader.h"\n' >"$tree/paths/back.cpp"
expect_refused "two folders of one layer that include each other" 'data and paths include each other'
rm "$tree/data/sibling.cpp"
expect_passed "an include across one layer in one direction"
