# Sourced: prepares a throwaway 32-bit Wine prefix for tests and demos and starts its services
# outside any test runner. Needs WINEPREFIX set by the caller (inside the build tree).
# Stop it afterwards with `wineserver -k` (same WINEPREFIX).
: "${WINEPREFIX:?set WINEPREFIX to a folder inside the build tree}"
export WINEPREFIX
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompts
WINE="$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")" && pwd)/wine"
WINE_ARCH=$("$WINE" --arch)

if [ ! -f "$WINEPREFIX/system.reg" ]; then
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
fi
# Keep the server and services up, started here so that no test's pipes are inherited by them.
wineserver -p
"$WINE" cmd.exe /c exit >/dev/null 2>&1 </dev/null
if [ -n "${DISPLAY:-}" ] && [ -n "${KEEPALIVE:-}" ]; then
  "$WINE" "$KEEPALIVE" 3600 >/dev/null 2>&1 </dev/null &
  WINE_KEEPALIVE_PID=$!
  # Wait until the desktop window exists rather than for a fixed time.
  for _ in $(seq 1 50); do
    if xwininfo -root -children -display "$DISPLAY" 2>/dev/null | grep -q '"'; then break; fi
    sleep 0.1
  done
fi
