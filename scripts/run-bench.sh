#!/bin/bash
# Runs every benchmark and prints its figures: the host programs natively, the *_winbench programs
# under Wine (in a fresh copy of the build tree's base prefix, with Xvfb for windows).
set -u
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
status=0
for b in bench/*.cpp; do
  name=$(basename "$b" .cpp)
  case "$name" in *_winbench) continue ;; esac
  echo "== $name"
  "$BUILD/host/$name" || status=1
done
ARCH=$(scripts/wine --arch)
if ls bench/*_winbench.cpp >/dev/null 2>&1; then
  . scripts/xvfb.sh
  UNINST_FORCE_XVFB=${UNINST_FORCE_XVFB:-1} xvfb_start
  echo "== Windows benchmarks: $(scripts/wine --why)"
  WINE_BASE="$ROOT/$BUILD/wineprefix-base-$ARCH" WINEPREFIX="$ROOT/$BUILD/wineprefix-bench-$ARCH"
  # The prefix, and with it the trees the benchmarks remove, in memory where /dev/shm has room: a
  # disk's journal stalls some runs of either side by up to four times, at random, and its cost,
  # which both sides pay alike, would make every ratio look closer to 1 than the programs are.
  base_kb=$(du -sk "$WINE_BASE" 2>/dev/null | cut -f1)
  base_kb=${base_kb:-716800}  # not made yet: about the size of one
  shm_kb=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 { print $4 }')
  if [ -n "$base_kb" ] && [ -n "$shm_kb" ] && [ "$shm_kb" -gt $((base_kb * 2 + 1048576)) ]; then
    WINEPREFIX=/dev/shm/uninst-bench-$$
    trap 'wine_remove_prefix "$WINEPREFIX" 2>/dev/null' EXIT
    echo "== the benchmark prefix is in memory ($WINEPREFIX)"
  else
    echo "== the benchmark prefix is on disk ($WINEPREFIX): ratios include the file system's stalls"
  fi
  KEEPALIVE="$ROOT/$BUILD/$ARCH/keepalive.exe"
  . scripts/wine-env.sh
  for b in bench/*_winbench.cpp; do
    name=$(basename "$b" .cpp)
    echo "== $name ($ARCH)"
    "$WINE" "$BUILD/$ARCH/$name.exe" || status=1
  done
  # The platform's requests of one whole run on each side: counts that a busy or emulating machine
  # does not swing. A fresh server, so that the trace setting reaches every process.
  echo "== wineserver requests of one whole run ($ARCH; wineserver -d1)"
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  trace=$(mktemp)
  marks=$(mktemp)
  wineserver -f -d1 2>"$trace" &
  server=$!
  REMOVAL_BENCH_SECTIONS=whole REMOVAL_BENCH_ROUNDS=1 WINEDEBUG=+debugstr \
    "$WINE" "$BUILD/$ARCH/removal_winbench.exe" >/dev/null 2>"$marks" || status=1
  wineserver -k 2>/dev/null
  wait "$server" 2>/dev/null
  python3 scripts/count-requests.py "$trace" "$marks" uninstaller,minimal "${REMOVAL_BENCH_WHOLE_FILES:-10000}" ||
    status=1
  rm -f "$marks"
  rm -f "$trace"
  wineserver -k 2>/dev/null
  xvfb_stop
fi
exit $status
