# Shared by the installation tests (sourced): a private Xvfb and a Pelko
# started on it with a throwaway HOME.
#   start_xvfb            sets DISPLAY; the server ends with the shell
#   start_pelko EXE       starts EXE, sets PELKO_PID
#   wait_main_window WxH  waits for Pelko's window at that size
#   stop_pelko
#   bmp_size FILE         prints the WxH of a BMP picture
#   need TOOL...          ends the test as skipped (77) when a tool is missing

fail() { echo "FAIL: $*" >&2; exit 1; }

need() {
  local t
  for t in "$@"; do
    command -v "$t" >/dev/null 2>&1 || { echo "SKIP: $t is not installed (./pelko.sh test installs it)"; exit 77; }
  done
}

XVFB_PID=""
PELKO_PID=""
cleanup_display() {
  [ -n "$PELKO_PID" ] && kill "$PELKO_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
}

start_xvfb() {
  local fdfile="$WORK/display" i
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$fdfile" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
    sleep 0.1
  done
  [ -s "$fdfile" ] || fail "Xvfb gave no display"
  export DISPLAY=":$(head -n1 "$fdfile")"
}

start_pelko() {
  QT_QPA_PLATFORM=xcb "$1" >"$WORK/pelko.out" 2>&1 &
  PELKO_PID=$!
}

# Waits until Pelko's window is shown at the size WxH (a window is sized by
# its skin only once it paints); fails with what was seen instead.
wait_main_window() {
  local want="$1" win size="" i
  win="$(timeout 30 xdotool search --sync --onlyvisible --class Pelko 2>/dev/null | head -n1)"
  [ -n "$win" ] || fail "no Pelko window appeared; Pelko said: $(cat "$WORK/pelko.out")"
  for i in $(seq 1 100); do
    size="$(xdotool getwindowgeometry "$win" 2>/dev/null | sed -n 's/.*Geometry: *//p')"
    [ "$size" = "$want" ] && return 0
    sleep 0.1
  done
  fail "Pelko's window is $size, not $want; Pelko said: $(cat "$WORK/pelko.out")"
}

stop_pelko() {
  kill "$PELKO_PID" 2>/dev/null
  wait "$PELKO_PID" 2>/dev/null
  PELKO_PID=""
}

bmp_size() {
  local w h
  w=$(od -An -tu4 -j18 -N4 "$1" | tr -d ' ')
  h=$(od -An -tu4 -j22 -N4 "$1" | tr -d ' ')
  echo "${w}x${h}"
}
