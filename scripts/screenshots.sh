#!/bin/bash
# Takes screenshots of the confirmation box, the progress dialog mid-run and the question dialog
# (shown with sample texts by the ui_showcase tool) into BUILD/screenshots/, on an Xvfb and in a
# Wine prefix of its own, copied from the build tree's base prefix (a prefix's desktop lives on the
# display it was started with), and stops both afterwards. Then the confirmation box and the
# question dialog of uninstallers built with the packer's Russian and Japanese tables
# (confirm-ru.png, question-ja.png, ...), each shown in a Wine process whose system locale (and so
# ANSI code page) is that language's: the uninstaller's texts are ANSI.
#   scripts/screenshots.sh [BUILD]
set -u
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
ARCH=$(scripts/wine --arch)
TOOL="$ROOT/$BUILD/$ARCH/ui_showcase.exe"
PACKER="$ROOT/$BUILD/host/uninstpack"
STUB="$ROOT/$BUILD/$ARCH/uninst.exe"
OUT="$ROOT/$BUILD/screenshots"
for f in "$TOOL" "$PACKER" "$STUB"; do
  if [ ! -f "$f" ]; then echo "screenshots: build first ($f is missing)" >&2; exit 1; fi
done
mkdir -p "$OUT"

# The languages shown, each with the Unix locale whose Windows locale has the language's ANSI code
# page; the docs show these two, SCREENSHOT_LANGUAGES="de:de_DE pl:pl_PL" takes others. The locales
# are compiled into the build tree (LOCPATH), not installed on the machine.
LANGUAGES=${SCREENSHOT_LANGUAGES:-"ru:ru_RU ja:ja_JP"}
LOCALES="$ROOT/$BUILD/locales"
mkdir -p "$LOCALES"
for pair in $LANGUAGES; do
  locale=${pair#*:}.UTF-8
  [ -d "$LOCALES/$locale" ] || localedef -i "${pair#*:}" -f UTF-8 "$LOCALES/$locale" 2>/dev/null ||
    { echo "screenshots: cannot compile the locale $locale (package locales)" >&2; exit 1; }
  tag=${pair%%:*}
  printf '{"language": "%s", "files": [{"folder": ".\\\\", "name": "readme.txt"}]}\n' "$tag" >"$OUT/$tag.json"
  "$PACKER" build "$OUT/$tag.json" --stub "$STUB" -o "$OUT/uninst-$tag.exe" >/dev/null || exit 1
done

. scripts/xvfb.sh
UNINST_FORCE_XVFB=1 xvfb_start
WINE_BASE="$ROOT/$BUILD/wineprefix-base-$ARCH" WINEPREFIX="$ROOT/$BUILD/wineprefix-screenshots"
KEEPALIVE="$ROOT/$BUILD/$ARCH/keepalive.exe"
. scripts/wine-env.sh

wine_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# Under a Japanese locale Wine sets the dialog, message box and caption fonts to "MS UI Gothic",
# which only Windows has: without a stand-in every Japanese glyph is drawn as a box. The IPA Gothic
# fonts (package fonts-ipafont-gothic) stand in for the Japanese system faces.
for face in "MS UI Gothic" "MS Gothic"; do
  "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d IPAGothic /f >/dev/null 2>&1 </dev/null
done
"$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "MS PGothic" /d IPAPGothic /f >/dev/null 2>&1 </dev/null

status=0
# take SHOT NAME [UNINSTALLER]: shows SHOT (with the texts of UNINSTALLER's block when given) and
# saves the window as NAME.png. Extra environment for Wine goes in SHOT_ENV.
take() {
  shot=$1 name=$2
  ready="$OUT/$name.ready"
  done_file="$OUT/$name.done"
  rm -f "$ready" "$done_file"
  env ${SHOT_ENV:-} "$WINE" "$TOOL" "$shot" "$(wine_path "$ready")" "$(wine_path "$done_file")" \
    ${3:+"$(wine_path "$3")"} >/dev/null 2>&1 </dev/null &
  tool=$!
  for _ in $(seq 1 200); do
    [ -f "$ready" ] && break
    kill -0 "$tool" 2>/dev/null || break
    sleep 0.1
  done
  if [ -f "$ready" ]; then
    import -window root -display "$DISPLAY" "$OUT/$name-screen.png"
    # The window alone: cut away the empty desktop around it.
    convert "$OUT/$name-screen.png" -trim +repage "$OUT/$name.png"
    echo "screenshots: $OUT/$name.png"
  else
    echo "screenshots: the $name window did not come up" >&2
    status=1
  fi
  touch "$done_file"
  wait "$tool" || { echo "screenshots: ui_showcase $shot ($name) failed" >&2; status=1; }
  rm -f "$ready" "$done_file"
}

for shot in confirm progress question; do take "$shot" "$shot"; done
for pair in $LANGUAGES; do
  tag=${pair%%:*}
  SHOT_ENV="LOCPATH=$LOCALES LC_ALL=${pair#*:}.UTF-8"
  for shot in confirm question; do take "$shot" "$shot-$tag" "$OUT/uninst-$tag.exe"; done
  SHOT_ENV=""
done

wineserver -k 2>/dev/null
[ -n "${WINE_KEEPALIVE_PID:-}" ] && wait "$WINE_KEEPALIVE_PID" 2>/dev/null
xvfb_stop
exit $status
