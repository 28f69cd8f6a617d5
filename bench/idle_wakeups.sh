#!/usr/bin/env bash
# How often an idle Pelko wakes up: one POP3 account on the demo mailbox,
# checked every minute, no one touching anything. Counts the context
# switches of all its threads and its CPU time over a span of quiet.
#   bench/idle_wakeups.sh BUILD_DIR [SECONDS]
# SECONDS defaults to 60; the count starts 15 s after the start (the first
# check is over by then). PELKO_BENCH_PLATFORM=xcb runs on a private Xvfb
# (with openbox) instead of Qt's offscreen platform.
# PELKO_BENCH_IMAP=N (1..9) adds N IMAP accounts, each watched in IDLE on a
# connection of its own; the demo mailbox speaks POP3 only, so then all the
# accounts live on the tests' dovecot (tests/support/dovecot.sh, root and
# dovecot's imapd needed): the POP3 one on user1 holding the demo messages,
# the IMAP ones on user2..userN+1. Pelko reads at most ten accounts.
# The resident memory (VmRSS) is read at the end. PELKO_BENCH_KEEP=1 keeps
# the work folder (logs, dovecot.log) and names it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -ge 1 ] || { sed -n '2,16p' "$0"; exit 2; }
exe="$(cd "$1" && pwd)/bin/Pelko"
span="${2:-60}"
[ -x "$exe" ] || { echo "no $exe: build the pelko target" >&2; exit 1; }
demo="$here/../tools/demo/demo-mailbox.sh"
testserver="$here/../tests/support/dovecot.sh"
imap="${PELKO_BENCH_IMAP:-0}"
case "$imap" in
  [0-9]) ;;
  *) echo "PELKO_BENCH_IMAP must be 0..9 (Pelko reads at most ten accounts)" >&2; exit 2 ;;
esac
work="$(mktemp -d /tmp/pelko-idle-XXXXXX)"
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$demo" stop "$work/demo" >/dev/null 2>&1 || true
  [ -d "$work/dovecot" ] && { "$testserver" stop "$work/dovecot" >/dev/null 2>&1 || true; }
  [ -n "${PELKO_BENCH_KEEP:-}" ] && { echo "kept $work" >&2; return; }
  rm -rf "$work"
}
trap cleanup EXIT

# A password as Accounts.ini keeps it: scrambled with the start key 9975,
# printed as printf escapes.
scrambled() {
  local s="$1" key=9975 i c b out=""
  for ((i = 0; i < ${#s}; i++)); do
    printf -v c '%d' "'${s:i:1}"
    b=$((c ^ (key >> 8)))
    out+=$(printf '\\x%02x' "$b")
    key=$((((key + b) * 9759 + 25286) & 0xFFFF))
  done
  printf '%s' "$out"
}
account() { # N NAME HOST USER PASSWORD
  printf '\r\n[Account%s]\r\nacc_name = %s\r\nhost_name = %s\r\nuser_name = %s\r\npassword = ' "$1" "$2" "$3" "$4"
  printf '%b' "$(scrambled "$5")"
  printf '\r\ninactive = 0\r\n'
}

mkdir -p "$work/pelko" "$work/home" "$work/run"
chmod 700 "$work/run"
"$demo" settings "$(cd "$here/../skins/default" && pwd)/" | sed 's/^notify =1/notify =0/' >"$work/pelko/Pelko.ini"
if [ "$imap" -eq 0 ]; then
  port="$("$demo" start "$work/demo")"
  "$demo" accounts "$port" >"$work/pelko/Accounts.ini"
  serverlog="$work/demo/dovecot.log" pop3user=demo
else
  "$testserver" start "$work/dovecot" >"$work/dovecot.out" 2>&1 || true
  if [ ! -s "$work/dovecot/port" ] || [ ! -s "$work/dovecot/port_imap" ]; then
    echo "no dovecot with IMAP (root and dovecot's imapd needed):" >&2
    cat "$work/dovecot.out" >&2
    exit 1
  fi
  port="$(cat "$work/dovecot/port")" port_imap="$(cat "$work/dovecot/port_imap")"
  n=0
  for f in "$here"/../tools/demo/messages/*.eml; do
    n=$((n + 1))
    cp "$f" "$work/dovecot/mail/user1/Maildir/new/$(date +%s).$n.pelko-bench"
  done
  chown -R 65534:65534 "$work/dovecot/mail/user1"
  {
    account 1 Demo "127.0.0.1:$port" user1 pass1
    for i in $(seq 1 "$imap"); do
      account $((i + 1)) "Imap$i" "imap://127.0.0.1:$port_imap" "user$((i + 1))" "pass$((i + 1))"
    done
  } >"$work/pelko/Accounts.ini"
  serverlog="$work/dovecot/dovecot.log" pop3user=user1
fi

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
rss=$(awk '/^VmRSS/ { print $2 " " $3 }' "/proc/$pelko/status")
threads_end=$(ls /proc/"$pelko"/task | wc -l)
logins=$(grep -cE "pop3-login: (Info: )?Login: user=<$pop3user>" "$serverlog" || true)
imap_logins=$(grep -cE 'imap-login: (Info: )?Login:' "$serverlog" || true)
imap_open=0
[ "$imap" -gt 0 ] && imap_open=$(ss -Htnp state established "( dport = :$port_imap )" 2>/dev/null | grep -c "pid=$pelko," || true)
hz=$(getconf CLK_TCK)
accounts="one POP3 account"
[ "$imap" -gt 0 ] && accounts="one POP3 + $imap IMAP accounts"
printf 'idle Pelko (%s, %s, minutes = 1, %s threads, %s at the end): %d context switches in %d s, CPU %s s, VmRSS %s; since the start %s POP3 logins, %s IMAP logins, %s IMAP connections open\n' \
  "$platform" "$accounts" "$threads" "$threads_end" $((s1 - s0)) "$span" \
  "$(awk -v t=$((t1 - t0)) -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }')" "$rss" "$logins" "$imap_logins" "$imap_open"
