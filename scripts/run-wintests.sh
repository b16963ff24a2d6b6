#!/bin/bash
# Runs some of the Windows tests of one build under Wine, as run-tests.sh does for all of them:
#   scripts/run-wintests.sh BUILD ARCH [ctest arguments, e.g. -R FilePass]
# ARCH is win32 (the shipped i686 build) or win64, or win32-on-win64 (the i686 build in a 64-bit
# prefix, as a 32-bit program on 64-bit Windows). The prefix is a fresh copy of the build tree's base.
set -u
BUILD=${1:?usage: run-wintests.sh BUILD ARCH [ctest arguments]}
ARCH=${2:?usage: run-wintests.sh BUILD ARCH [ctest arguments]}
shift 2
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

. scripts/xvfb.sh
UNINST_FORCE_XVFB=${UNINST_FORCE_XVFB:-1} xvfb_start
PREFIX_ARCH=${ARCH#*-on-}
ARCH=${ARCH%-on-*}
WINE_ARCH=$PREFIX_ARCH WINE_BASE="$ROOT/$BUILD/wineprefix-base-$PREFIX_ARCH"
WINEPREFIX="$ROOT/$BUILD/wineprefix-$ARCH"
[ "$PREFIX_ARCH" = "$ARCH" ] || WINEPREFIX="$WINEPREFIX-on-$PREFIX_ARCH"
KEEPALIVE="$ROOT/$BUILD/$ARCH/keepalive.exe"
WINE_KEEPALIVE_PID=""
. scripts/wine-env.sh
status=0
ctest --test-dir "$BUILD/$ARCH" --output-on-failure -j2 --timeout 300 "$@" || status=1
wineserver -k 2>/dev/null
[ -n "$WINE_KEEPALIVE_PID" ] && wait "$WINE_KEEPALIVE_PID" 2>/dev/null
xvfb_stop
exit $status
