#!/bin/bash
# Fails when a C++ file that git tracks differs from what clang-format makes of it with the checked-in
# .clang-format; names each such file. `scripts/check-format.sh --fix` formats them in place.
set -u
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
status=0
while IFS= read -r f; do
  if [ "${1:-}" = --fix ]; then
    clang-format -i --style=file "$f"
  elif ! clang-format --style=file "$f" | cmp -s - "$f"; then
    echo "check-format: $f is not formatted (scripts/check-format.sh --fix)" >&2
    status=1
  fi
done < <(git ls-files '*.cpp' '*.h')
[ $status -eq 0 ] && echo "check-format: every C++ file is formatted"
exit $status
