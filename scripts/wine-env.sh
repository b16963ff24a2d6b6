# Sourced: prepares a throwaway Wine prefix for tests and demos and starts its services outside any
# test runner. Needs WINEPREFIX set by the caller (inside the build tree). Optional:
#   WINE_ARCH  win32 or win64 (default: what `scripts/wine --arch` says)
#   WINE_BASE  a prefix made once (wineboot and the settings below) and kept between runs: WINEPREFIX
#              is then always a fresh copy of it (cp -a, well under a second) instead of a new
#              wineboot (10-60 s, more under an emulated 32-bit loader). Without WINE_BASE,
#              WINEPREFIX is made in place when it does not exist, and kept.
# Stop it afterwards with `wineserver -k` (same WINEPREFIX).
: "${WINEPREFIX:?set WINEPREFIX to a folder inside the build tree}"
export WINEPREFIX
# The wineserver started below and every program run here see the same UTF-8 locale as scripts/wine
# gives Wine: without one, names outside ASCII cannot be made (a caller's UTF-8 locale is kept).
case "$(locale charmap 2>/dev/null)" in
  UTF-8) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompts
WINE_SCRIPTS="$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")" && pwd)"
WINE="$WINE_SCRIPTS/wine"
WINE_ARCH=${WINE_ARCH:-$("$WINE" --arch)}

# Makes a prefix of WINE_ARCH in folder $1 with the settings the tests and the demo need.
wine_make_prefix() (
  export WINEPREFIX="$1"
  mkdir -p "$WINEPREFIX"
  # WINEARCH only when creating: set on an existing prefix of another kind it breaks every command.
  WINEARCH=$WINE_ARCH "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  # No window manager under Xvfb: Wine draws captions itself and skips its 2 s waits for one.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
  # Debian's Wine does not find its own Tahoma and Marlett fonts until they are in the prefix.
  cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf \
     "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # No command.com in Wine: the 9x family's interpreter, for tests that start it.
  cp "$WINEPREFIX/drive_c/windows/system32/cmd.exe" "$WINEPREFIX/drive_c/windows/command.com" 2>/dev/null || true
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ]
)

# What a base prefix was made with: a new Wine, another loader or changed settings make it again.
wine_base_stamp() {
  printf '%s %s %s\n' "$WINE_ARCH" "$("$WINE" --why 2>/dev/null | cut -d' ' -f1-12)" \
    "$(/usr/lib/wine/wine64 --version 2>/dev/null)"
  sed -n '/^wine_make_prefix()/,/^)/p' "$WINE_SCRIPTS/wine-env.sh" | cksum
}

# Removes the prefix in $1 after stopping its server; only a folder that is a Wine prefix.
wine_remove_prefix() {
  [ -f "$1/system.reg" ] || [ ! -e "$1" ] || { echo "wine-env: $1 is no Wine prefix: left alone" >&2; return 1; }
  if [ -f "$1/system.reg" ]; then WINEPREFIX="$1" wineserver -k 2>/dev/null || true; fi
  rm -rf "$1"
}

if [ -n "${WINE_BASE:-}" ]; then
  # One maker at a time for the base (make test and make demo may run side by side).
  mkdir -p "$(dirname "$WINE_BASE")"
  exec 8>"$WINE_BASE.lock"
  flock 8
  if [ "$(cat "$WINE_BASE/.uninst-stamp" 2>/dev/null)" != "$(wine_base_stamp)" ]; then
    echo "wine-env: making the $WINE_ARCH base prefix $WINE_BASE (once; later runs copy it)" >&2
    wine_remove_prefix "$WINE_BASE.new" && wine_remove_prefix "$WINE_BASE" &&
      wine_make_prefix "$WINE_BASE.new" && wine_base_stamp >"$WINE_BASE.new/.uninst-stamp" &&
      mv "$WINE_BASE.new" "$WINE_BASE" || echo "wine-env: could not make $WINE_BASE" >&2
  fi
  wine_remove_prefix "$WINEPREFIX" && cp -a "$WINE_BASE" "$WINEPREFIX"
  flock -u 8
  exec 8>&-
elif [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine_make_prefix "$WINEPREFIX"
fi
# Keep the server and services up, started here so that no test's pipes are inherited by them.
wineserver -p
"$WINE" cmd.exe /c exit >/dev/null 2>&1 </dev/null
if [ -n "${DISPLAY:-}" ] && [ -n "${KEEPALIVE:-}" ]; then
  "$WINE" "$KEEPALIVE" 3600 >/dev/null 2>&1 </dev/null &
  WINE_KEEPALIVE_PID=$!
  # Wait until the desktop window exists rather than for a fixed time. Until it does, the next Wine
  # program that needs it would start the desktop process itself, and that process, which lives on,
  # would hold the program's output pipes: the test runner would wait for their end until its
  # timeout. Under an emulated 32-bit loader on a loaded machine this can take half a minute.
  wine_desktop=""
  for _ in $(seq 1 1200); do
    if xwininfo -root -children -display "$DISPLAY" 2>/dev/null | grep -q '"'; then wine_desktop=up; break; fi
    kill -0 "$WINE_KEEPALIVE_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$wine_desktop" ] || echo "wine-env: the Wine desktop did not come up on $DISPLAY" >&2
fi
