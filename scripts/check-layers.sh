#!/bin/bash
# Fails when a source file includes a header from a folder above its own, and when two folders of one
# layer include each other (then neither is below the other, and the layers cannot say so). The
# folders, lowest first (a folder may include from its own layer and those below it):
#   common, format, data and paths, ui, run, removal and shell, driver, pack
# Usage: scripts/check-layers.sh [SOURCE_ROOT]   (default: the repository's src/)
set -euo pipefail
root=${1:-"$(dirname "$0")/../src"}

layer() {
    case $1 in
        common) echo 0 ;;
        format) echo 1 ;;
        data | paths) echo 2 ;;
        ui) echo 3 ;;
        run) echo 4 ;;
        removal | shell) echo 5 ;;
        driver) echo 6 ;;
        pack) echo 7 ;;
        *) echo "" ;;
    esac
}

status=0
checked=0
# For two folders of one layer: "from>to" -> the first file seen including across.
declare -A across=()
while IFS= read -r -d '' file; do
    folder=${file#"$root"/}
    folder=${folder%%/*}
    own=$(layer "$folder")
    if [[ -z $own ]]; then
        [[ $folder == resources ]] && continue
        echo "$file: folder '$folder' has no layer" >&2
        status=1
        continue
    fi
    while IFS= read -r included; do
        target=${included%%/*}
        [[ $target == "$included" ]] && continue  # a header beside the file
        theirs=$(layer "$target")
        if [[ -z $theirs ]]; then
            echo "$file: includes \"$included\" from a folder that has no layer" >&2
            status=1
        elif ((theirs > own)); then
            echo "$file: includes \"$included\" from $target, above $folder" >&2
            status=1
        elif ((theirs == own)) && [[ $target != "$folder" && -z ${across["$folder>$target"]:-} ]]; then
            across["$folder>$target"]="$file"
        fi
        checked=$((checked + 1))
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$root" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)

for pair in "${!across[@]}"; do
    from=${pair%%>*}
    to=${pair#*>}
    # Each pair once: from the folder that sorts first.
    if [[ $from < $to && -n ${across["$to>$from"]:-} ]]; then
        echo "$from and $to include each other (${across[$pair]}, ${across["$to>$from"]}): one must sit below the other" >&2
        status=1
    fi
done

if ((checked == 0)); then
    echo "no includes found under $root" >&2
    exit 1
fi
exit $status
