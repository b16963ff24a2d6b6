#!/bin/bash
# Runs every test: the host tests natively (also under AddressSanitizer and UndefinedBehaviorSanitizer)
# and the Windows tests under Wine, in a prefix inside the build tree, with Xvfb for the windows.
set -u
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

status=0
echo "== host tests"
ctest --test-dir "$BUILD/host" --output-on-failure -j2 || status=1

echo "== host tests under sanitizers"
cmake -S . -B "$BUILD/host-sanitize" -DCMAKE_BUILD_TYPE=Debug -DUNINST_SANITIZE=ON >/dev/null &&
  cmake --build "$BUILD/host-sanitize" -j2 --target host_tests uninstpack >/dev/null &&
  ctest --test-dir "$BUILD/host-sanitize" --output-on-failure -j2 || status=1

# Windows tests of one build ($1: win32 or win64) in a fresh copy of the base prefix of architecture
# $2 (win32 or win64; a win32 build in a win64 prefix runs as a 32-bit program on 64-bit Windows,
# through WOW64's folder and registry redirection); further arguments go to ctest. The win32 build's
# tests include WindowsPacker.*: the host tests once more, against build/win32/uninstpack.exe under
# Wine (they need the host build, built above).
windows_tests() {
  local arch=$1 prefix=$2
  shift 2
  WINE_ARCH=$prefix WINE_BASE="$ROOT/$BUILD/wineprefix-base-$prefix"
  WINEPREFIX="$ROOT/$BUILD/wineprefix-$arch"
  [ "$prefix" = "$arch" ] || WINEPREFIX="$WINEPREFIX-on-$prefix"
  KEEPALIVE="$ROOT/$BUILD/$arch/keepalive.exe"
  WINE_KEEPALIVE_PID=""
  . scripts/wine-env.sh
  ctest --test-dir "$BUILD/$arch" --output-on-failure -j2 --timeout 300 "$@" || status=1
  wineserver -k 2>/dev/null
  [ -n "$WINE_KEEPALIVE_PID" ] && wait "$WINE_KEEPALIVE_PID" 2>/dev/null
  unset WINE_ARCH
}

ARCH=$(scripts/wine --arch)
. scripts/xvfb.sh
UNINST_FORCE_XVFB=${UNINST_FORCE_XVFB:-1} xvfb_start
echo "== Windows tests under Wine ($(scripts/wine --why))"
windows_tests "$ARCH" "$ARCH"
if [ "$ARCH" = win32 ]; then
  # The shipped i686 build once more as most users run it: a 32-bit program on 64-bit Windows, where
  # System32, Program Files and HKLM\Software are redirected to their 32-bit views.
  echo "== Windows tests under Wine (win32 on win64: the i686 build in a 64-bit prefix, through WOW64)"
  windows_tests win32 win64
  # The x86-64 build once more, in a 64-bit prefix that has the 32-bit side: there both stubs must
  # start (Architectures tests), and the build that machines without 32-bit programs test stays green.
  echo "== Windows tests under Wine (win64: the x86-64 build, in a 64-bit prefix with the 32-bit side)"
  windows_tests win64 win64
fi
xvfb_stop
exit $status
