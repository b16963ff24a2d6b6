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
  KEEPALIVE="$ROOT/$BUILD/$ARCH/keepalive.exe"
  . scripts/wine-env.sh
  for b in bench/*_winbench.cpp; do
    name=$(basename "$b" .cpp)
    echo "== $name ($ARCH)"
    "$WINE" "$BUILD/$ARCH/$name.exe" || status=1
  done
  wineserver -k 2>/dev/null
  xvfb_stop
fi
exit $status
