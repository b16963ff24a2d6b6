#!/bin/bash
# Takes screenshots of the confirmation box, the progress dialog mid-run and the question dialog
# (shown with sample texts by the ui_showcase tool) into BUILD/screenshots/, on an Xvfb and in a
# Wine prefix of its own, copied from the build tree's base prefix (a prefix's desktop lives on the
# display it was started with), and stops both afterwards.
#   scripts/screenshots.sh [BUILD]
set -u
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
ARCH=$(scripts/wine --arch)
TOOL="$ROOT/$BUILD/$ARCH/ui_showcase.exe"
OUT="$ROOT/$BUILD/screenshots"
if [ ! -f "$TOOL" ]; then echo "screenshots: build first ($TOOL is missing)" >&2; exit 1; fi
mkdir -p "$OUT"

. scripts/xvfb.sh
UNINST_FORCE_XVFB=1 xvfb_start
WINE_BASE="$ROOT/$BUILD/wineprefix-base-$ARCH" WINEPREFIX="$ROOT/$BUILD/wineprefix-screenshots"
KEEPALIVE="$ROOT/$BUILD/$ARCH/keepalive.exe"
. scripts/wine-env.sh

wine_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

status=0
for shot in confirm progress question; do
  ready="$OUT/$shot.ready"
  done_file="$OUT/$shot.done"
  rm -f "$ready" "$done_file"
  "$WINE" "$TOOL" "$shot" "$(wine_path "$ready")" "$(wine_path "$done_file")" >/dev/null 2>&1 </dev/null &
  tool=$!
  for _ in $(seq 1 200); do
    [ -f "$ready" ] && break
    kill -0 "$tool" 2>/dev/null || break
    sleep 0.1
  done
  if [ -f "$ready" ]; then
    import -window root -display "$DISPLAY" "$OUT/$shot-screen.png"
    # The window alone: cut away the empty desktop around it.
    convert "$OUT/$shot-screen.png" -trim +repage "$OUT/$shot.png"
    echo "screenshots: $OUT/$shot.png"
  else
    echo "screenshots: the $shot window did not come up" >&2
    status=1
  fi
  touch "$done_file"
  wait "$tool" || { echo "screenshots: ui_showcase $shot failed" >&2; status=1; }
  rm -f "$ready" "$done_file"
done

wineserver -k 2>/dev/null
[ -n "${WINE_KEEPALIVE_PID:-}" ] && wait "$WINE_KEEPALIVE_PID" 2>/dev/null
xvfb_stop
exit $status
