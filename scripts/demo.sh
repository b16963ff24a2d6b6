#!/bin/bash
# `make demo`: packs the sample installation's manifest into the uninstaller, creates that
# installation (files, a read-only file, shared files with their counts, a font, pattern matches in
# subfolders, shortcuts that climb, nested HKCU keys, and things it must leave alone) in a fresh Wine
# prefix inside the build tree, runs the uninstaller under Wine and reports, item by item, what was
# there before, what remains after, and whether that is what the run should have done.
#
# With a display (DISPLAY set) the uninstaller's boxes appear there and you answer them; without one
# it runs under Xvfb and the robot answers OK to every box, printing what each box showed.
# UNINST_FORCE_XVFB=1 uses Xvfb and the robot even when a display is set. Safe to run again: each
# run starts from a fresh copy of the build tree's base prefix (made once, by scripts/wine-env.sh). Environment: UNINSTPACK (the packer), DEMO_MANIFEST (the manifest).
set -eu
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac

ARCH=$(scripts/wine --arch)
STUB="$BUILD/$ARCH/uninst.exe"
ROBOT="$BUILD/$ARCH/robot.exe"
PACKER=${UNINSTPACK:-$BUILD/host/uninstpack}
MANIFEST=${DEMO_MANIFEST:-$ROOT/examples/sample-app.json}
DEMO="$BUILD/demo"
INSTALL_DIR='C:\Program Files\Uninst Demo'
UNINSTALLER="$INSTALL_DIR\\uninstall.exe"
# The removal log the run writes (/L=PATH): what it did with each item, and a summary line.
REMOVAL_LOG='C:\windows\Temp\uninst-demo-removal.log'
export WINEPREFIX="$DEMO/wineprefix-$ARCH"

for f in "$STUB" "$ROBOT" "$PACKER" "$MANIFEST"; do
  [ -e "$f" ] || { echo "demo: $f is missing (run make build first)" >&2; exit 1; }
done

# Paths the Windows side can open: Wine maps drive Z: to the Unix root.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
section() { printf '\n== %s\n' "$1"; }

# A run left behind by an interrupted demo: stop its Wine server before its prefix goes.
if [ -f "$WINEPREFIX/system.reg" ]; then wineserver -k 2>/dev/null || true; fi
rm -rf "$DEMO"
mkdir -p "$DEMO"

. scripts/xvfb.sh
finish() {
  wineserver -k 2>/dev/null || true
  xvfb_stop
}
trap finish EXIT

echo "demo: $(scripts/wine --why)"
section "Packing $(basename "$MANIFEST")"
# This machine runs the $ARCH build; the stub that ships is the i686 build in $BUILD/win32.
if ! "$PACKER" build "$MANIFEST" --stub "$STUB" -o "$DEMO/uninstall.exe"; then
  echo "demo: $PACKER could not pack $MANIFEST" >&2
  exit 1
fi
echo "  $DEMO/uninstall.exe: $(stat -c %s "$DEMO/uninstall.exe") bytes ($ARCH stub $(stat -c %s "$STUB") bytes + block)"
# Every path of the installation comes from the packer's plan: the uninstaller's own path rules.
"$PACKER" plan "$DEMO/uninstall.exe" --install-dir "$INSTALL_DIR" --json >"$DEMO/plan.json"

xvfb_start
if [ -n "$XVFB_PID" ]; then answerer=robot; else answerer=you; fi

section "Creating the sample installation in a fresh Wine prefix ($WINEPREFIX)"
KEEPALIVE="" WINE_BASE="$BUILD/wineprefix-base-$ARCH" . scripts/wine-env.sh
python3 scripts/demo_installation.py create "$MANIFEST" "$DEMO/plan.json" "$WINEPREFIX" "$INSTALL_DIR" "$DEMO/installation.reg"
"$WINE" reg import "$(winpath "$DEMO/installation.reg")" >/dev/null 2>&1
cp "$DEMO/uninstall.exe" "$WINEPREFIX/drive_c/Program Files/Uninst Demo/uninstall.exe"
# ---- The shell hand-off: the run-first program and the closing document's handler. Both are the
# tests' probe (built with them), which writes what it was started with into "<program>.log".
HANDOFF="$WINEPREFIX/drive_c/windows/Temp"
mkdir -p "$HANDOFF" "$WINEPREFIX/drive_c/users/Public/Documents"
cp "$BUILD/$ARCH/probe.exe" "$HANDOFF/uninst-demo-firstrun.exe"
cp "$BUILD/$ARCH/probe.exe" "$HANDOFF/uninst-demo-viewer.exe"
printf '<html><body>Thank you for trying Uninst Demo.</body></html>\r\n' \
  >"$WINEPREFIX/drive_c/users/Public/Documents/Uninst Demo Readme.htm"
"$WINE" reg add 'HKCR\.htm' /ve /d UninstDemo.Page /f >/dev/null 2>&1
"$WINE" reg add 'HKCR\UninstDemo.Page\shell\open\command' /ve /d '"C:\windows\Temp\uninst-demo-viewer.exe" "%1"' /f >/dev/null 2>&1
# ---- end of the shell hand-off block
python3 scripts/demo_installation.py state "$MANIFEST" "$DEMO/plan.json" "$WINEPREFIX" "$INSTALL_DIR" "$DEMO/before.json"
echo "  installed into $INSTALL_DIR, uninstaller $UNINSTALLER; what exists now:"
python3 scripts/demo_installation.py show "$DEMO/before.json"

section "Running $UNINSTALLER under Wine ($answerer answering, display $DISPLAY)"
set +e
if [ "$answerer" = robot ]; then
  "$WINE" "$ROBOT" --timeout 120 --answer ok --run "$UNINSTALLER" "/L=$REMOVAL_LOG" | sed 's/^/  /'
  status=${PIPESTATUS[0]}
else
  echo "  answer the uninstaller's boxes on your display"
  "$WINE" "$UNINSTALLER" "/L=$REMOVAL_LOG"
  code=$?
  echo "  exit code: $code (Wine reports -1 as 255)"
  status=0
fi
set -e
# The uninstaller may leave its self-deleting batch running in the prefix's command interpreter:
# wait (bounded) until no cmd.exe of this prefix is left.
prefix_busy() {
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' <"$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      tr '\0' ' ' <"$p/cmdline" | grep -qi 'cmd\.exe'; } 2>/dev/null && return 0
  done
  return 1
}
for _ in $(seq 1 300); do prefix_busy || break; sleep 0.1; done

# ---- The shell hand-off: what the run-first program and the document handler were started with.
section "Run-first program and closing document"
probe_line() { [ -f "$1" ] && grep -m1 "^$2: " "$1" | sed "s/^$2: //" | tr -d '\r'; }
for _ in $(seq 1 100); do [ -f "$HANDOFF/uninst-demo-viewer.exe.log" ] && break; sleep 0.1; done
if [ -f "$HANDOFF/uninst-demo-firstrun.exe.log" ]; then
  echo "  run-first program ran: $(probe_line "$HANDOFF/uninst-demo-firstrun.exe.log" 'command line')"
  echo "    in folder $(probe_line "$HANDOFF/uninst-demo-firstrun.exe.log" 'current folder')"
else
  echo "  run-first program: did not run"
fi
if [ -f "$HANDOFF/uninst-demo-viewer.exe.log" ]; then
  echo "  closing document opened: $(probe_line "$HANDOFF/uninst-demo-viewer.exe.log" 'command line')"
else
  echo "  closing document: not opened"
fi
DEMO_DIR_UNIX="$WINEPREFIX/drive_c/Program Files/Uninst Demo"
if [ -e "$DEMO_DIR_UNIX/uninstall.exe" ]; then echo "  the uninstaller: still there"; else echo "  the uninstaller: gone"; fi
if [ -d "$DEMO_DIR_UNIX" ]; then
  echo "  its folder: still there, holding: $(ls -A "$DEMO_DIR_UNIX" | tr '\n' ' ')"
else
  echo "  its folder: gone"
fi
# ---- end of the shell hand-off block

section "Removal log ($REMOVAL_LOG)"
LOG_UNIX="$WINEPREFIX/drive_c/windows/Temp/uninst-demo-removal.log"
if [ -f "$LOG_UNIX" ]; then
  echo "  $(grep -c '' "$LOG_UNIX") lines; the first and the last ones:"
  tr -d '\r' <"$LOG_UNIX" | sed -n '1,6p' | sed 's/\t/ | /g; s/^/    /'
  echo "    ..."
  tr -d '\r' <"$LOG_UNIX" | tail -n 4 | sed 's/\t/ | /g; s/^/    /'
  echo "  summary: $(tr -d '\r' <"$LOG_UNIX" | awk -F'\t' '$1 == "summary" { print $4 " (" $2 ", " $5 ")" }')"
else
  echo "  no removal log was written"
  status=1
fi

section "Before and after"
python3 scripts/demo_installation.py state "$MANIFEST" "$DEMO/plan.json" "$WINEPREFIX" "$INSTALL_DIR" "$DEMO/after.json"
python3 scripts/demo_installation.py table "$DEMO/before.json" "$DEMO/after.json" || status=1
[ "$status" -eq 0 ] || echo "demo: the run did not end normally (status $status)" >&2
exit "$status"
