# Sourced: starts Xvfb on a free display unless a display is already given, and exports DISPLAY.
# Sets XVFB_PID when it started one; `xvfb_stop` ends it (only that process).
XVFB_PID=""
xvfb_start() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${UNINST_FORCE_XVFB:-}" ]; then return 0; fi
  _xvfb_out=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$_xvfb_out" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$_xvfb_out" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(cat "$_xvfb_out")"
  rm -f "$_xvfb_out"
}
xvfb_stop() {
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
}
