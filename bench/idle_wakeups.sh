#!/usr/bin/env bash
# How often an idle Pelko wakes up: one POP3 account on the demo mailbox,
# checked every minute, no one touching anything. Counts the context
# switches of all its threads and its CPU time over a span of quiet.
#   bench/idle_wakeups.sh BUILD_DIR [SECONDS]
# SECONDS defaults to 60; the count starts 15 s after the start (the first
# check is over by then). PELKO_BENCH_PLATFORM=xcb runs on a private Xvfb
# (with openbox) instead of Qt's offscreen platform.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -ge 1 ] || { sed -n '2,9p' "$0"; exit 2; }
exe="$(cd "$1" && pwd)/bin/Pelko"
span="${2:-60}"
[ -x "$exe" ] || { echo "no $exe: build the pelko target" >&2; exit 1; }
demo="$here/../tools/demo/demo-mailbox.sh"
work="$(mktemp -d /tmp/pelko-idle-XXXXXX)"
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$demo" stop "$work/demo" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

port="$("$demo" start "$work/demo")"
mkdir -p "$work/pelko" "$work/home" "$work/run"
chmod 700 "$work/run"
"$demo" settings "$(cd "$here/../skins/default" && pwd)/" | sed 's/^notify =1/notify =0/' >"$work/pelko/Pelko.ini"
"$demo" accounts "$port" >"$work/pelko/Accounts.ini"

platform="${PELKO_BENCH_PLATFORM:-offscreen}"
envs=(env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PELKO_DIR="$work/pelko"
      QT_QPA_PLATFORM="$platform")
if [ "$platform" = xcb ]; then
  Xvfb -displayfd 9 -nolisten tcp -screen 0 1024x768x24 9>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  display=":$(head -1 "$work/display")"
  DISPLAY="$display" openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  envs+=(DISPLAY="$display")
fi
"${envs[@]}" "$exe" >"$work/pelko.log" 2>&1 &
pelko=$!
pids+=("$pelko")

# Context switches of every thread, and CPU ticks (user + system).
switches() {
  local total=0 n
  for s in /proc/"$pelko"/task/*/status; do
    n=$(awk '/^(non)?voluntary_ctxt_switches/ { t += $2 } END { print t + 0 }' "$s" 2>/dev/null || echo 0)
    total=$((total + n))
  done
  echo "$total"
}
ticks() { awk '{ print $14 + $15 }' "/proc/$pelko/stat"; }

sleep 15
kill -0 "$pelko" 2>/dev/null || { echo "Pelko ended at start:" >&2; cat "$work/pelko.log" >&2; exit 1; }
s0=$(switches) t0=$(ticks) threads=$(ls /proc/"$pelko"/task | wc -l)
sleep "$span"
kill -0 "$pelko" 2>/dev/null || { echo "Pelko ended:" >&2; cat "$work/pelko.log" >&2; exit 1; }
s1=$(switches) t1=$(ticks)
logins=$(grep -c 'Login: user=<demo>' "$work/demo/dovecot.log" || true)
hz=$(getconf CLK_TCK)
printf 'idle Pelko (%s, one POP3 account, minutes = 1, %s threads): %d context switches in %d s, CPU %s s, %s logins since the start\n' \
  "$platform" "$threads" $((s1 - s0)) "$span" "$(awk -v t=$((t1 - t0)) -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }')" "$logins"
