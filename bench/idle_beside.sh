#!/usr/bin/env bash
# An idle Pelko beside the other mail checkers a user would otherwise pick,
# all started at the same moment and left alone with nothing arriving: each
# watches one POP3 mailbox holding the demo messages, checked every minute,
# and nine empty IMAP mailboxes (Pelko reads at most ten accounts).
#   bench/idle_beside.sh BUILD_DIR [SECONDS]
# Runs, side by side on the tests' dovecot (tests/support/dovecot.sh, root
# and dovecot's imapd needed) and one Xvfb with openbox:
#   Pelko                the window (bin/Pelko, xcb), minutes = 1
#   gnubiff              POP3 polled every 60 s (delay), IMAP in IDLE (use_idle)
#   wmbiff               all polled every 60 s (interval); two of it, since
#                        one opens at most five IMAP connections
#   pelko-check --watch  POP3 every 60 s (--every), IMAP in IDLE
# Each program has mailboxes of its own (same content) so that the server's
# log tells their logins apart. From 15 s after the start, for SECONDS
# (default 60): context switches, voluntary and involuntary, of all its
# threads (by perf, and from /proc/PID/task/*/status for the threads alive
# at both ends), CPU time (user + system), the logins it made meanwhile;
# at the end its threads, IMAP connections open and VmRSS. Prints a
# Markdown table. PELKO_BENCH_KEEP=1 keeps the work folder and names it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -ge 1 ] || { sed -n '2,20p' "$0"; exit 2; }
bin="$(cd "$1" && pwd)/bin"
span="${2:-60}"
for p in "$bin/Pelko" "$bin/pelko-check"; do
  [ -x "$p" ] || { echo "no $p: build the pelko and pelko-check targets" >&2; exit 1; }
done
for p in gnubiff wmbiff Xvfb openbox perf; do
  command -v "$p" >/dev/null || { echo "no $p (./pelko.sh bench installs it)" >&2; exit 1; }
done
testserver="$here/../tests/support/dovecot.sh"
work="$(mktemp -d /tmp/pelko-beside-XXXXXX)"
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -d "$work/dovecot" ] && { "$testserver" stop "$work/dovecot" >/dev/null 2>&1 || true; }
  [ -n "${PELKO_BENCH_KEEP:-}" ] && { echo "kept $work" >&2; return; }
  rm -rf "$work"
}
trap cleanup EXIT

"$testserver" start "$work/dovecot" >"$work/dovecot.out" 2>&1 || true
if [ ! -s "$work/dovecot/port" ] || [ ! -s "$work/dovecot/port_imap" ]; then
  echo "no dovecot with IMAP (root and dovecot's imapd needed):" >&2
  cat "$work/dovecot.out" >&2
  exit 1
fi
port="$(cat "$work/dovecot/port")" port_imap="$(cat "$work/dovecot/port_imap")"
serverlog="$work/dovecot/dovecot.log"

# Program k (0..3) has user 10k+1 on POP3, holding the demo messages, and
# users 10k+2 .. 10k+10 on IMAP, empty.
programs=(Pelko gnubiff wmbiff "pelko-check --watch")
homes=(pelko gnubiff wmbiff check)
for k in 0 1 2 3; do
  n=0
  for f in "$here"/../tools/demo/messages/*.eml; do
    n=$((n + 1))
    cp "$f" "$work/dovecot/mail/user$((10 * k + 1))/Maildir/new/$(date +%s).$n.pelko-bench"
  done
done
chown -R 65534:65534 "$work/dovecot/mail"

# Accounts.ini for Pelko and pelko-check: FOLDER FIRST_USER (POP3; the
# nine next ones IMAP).
accounts_ini() {
  mkdir -p "$1"
  python3 -c '
import sys
sys.path.insert(0, sys.argv[1])
from accounts_ini import scramble
path, first, port, port_imap = sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
data = b""
for i in range(10):
    u = first + i
    host = f"127.0.0.1:{port}" if i == 0 else f"imap://127.0.0.1:{port_imap}"
    data += (f"\r\n[Account{i + 1}]\r\nacc_name = Box{i + 1}\r\nhost_name = {host}\r\n"
             f"user_name = user{u}\r\npassword = ").encode() + scramble(f"pass{u}".encode()) + b"\r\ninactive = 0\r\n"
open(path, "wb").write(data)
' "$here/../tools" "$1/Accounts.ini" "$2" "$port" "$port_imap"
}

# Pelko: the demo's settings (check every minute), notifications off.
accounts_ini "$work/pelko" 1
"$here/../tools/demo/demo-mailbox.sh" settings "$(cd "$here/../skins/default" && pwd)/" |
  sed 's/^notify =1/notify =0/' >"$work/pelko/Pelko.ini"

# gnubiff: the settings its preferences dialog writes, those that differ
# from its defaults; without its own version number it would read the file
# as one of a very old release. No popup, no commands run.
gnubiff_box() { # USER PROTOCOL PORT
  printf '  <mailbox>\n'
  printf '    <parameter name="%s" value="%s"/>\n' name "user$1" address 127.0.0.1 \
    authentication user_pass use_other_port true other_port "$3" protocol "$2" \
    username "user$1" password "pass$1" delay 60 use_idle true
  printf '  </mailbox>\n'
}
mkdir -p "$work/gnubiff"
{
  printf '<?xml version="1.0"?>\n<configuration-file>\n'
  gnubiff_box 11 pop3 "$port"
  for u in $(seq 12 20); do gnubiff_box "$u" imap4 "$port_imap"; done
  printf '  <general>\n'
  printf '    <parameter name="%s" value="%s"/>\n' startup_preferences false \
    use_newmail_command false use_double_command false
  printf '  </general>\n  <popup>\n    <parameter name="use_popup" value="false"/>\n  </popup>\n'
  printf '  <information>\n    <parameter name="version" value="%s"/>\n  </information>\n' \
    "$(dpkg-query -W -f='${Version}' gnubiff | grep -oE '[0-9]+\.[0-9]+\.[0-9]+' || echo 2.2.17)"
  printf '</configuration-file>\n'
} >"$work/gnubiff/.gnubiffrc"
chmod 600 "$work/gnubiff/.gnubiffrc"

# wmbiff: it opens at most five IMAP connections, so the ten mailboxes take
# two of it, as its README suggests: POP3 and four IMAP ones, then five IMAP.
wmbiffrc() { # FILE FIRST_BOX LAST_BOX (box 0: POP3)
  local i u
  echo "interval=60" >"$1"
  for i in $(seq "$2" "$3"); do
    u=$((21 + i))
    if [ "$i" -eq 0 ]; then
      echo "path.$i=pop3:user$u:pass$u@127.0.0.1:$port plaintext"
    else
      echo "path.$((i - $2))=imap:user$u:pass$u@127.0.0.1/INBOX:$port_imap plaintext"
    fi >>"$1"
    echo "label.$((i - $2))=box$i" >>"$1"
  done
  chmod 600 "$1"
}
mkdir -p "$work/wmbiff"
wmbiffrc "$work/wmbiff/first.wmbiffrc" 0 4
wmbiffrc "$work/wmbiff/second.wmbiffrc" 5 9

# pelko-check --watch: the same accounts on users 31..40.
accounts_ini "$work/check" 31

mkdir -p "$work/run"
chmod 700 "$work/run"
Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x1024x24 9>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$(head -1 "$work/display")"
DISPLAY="$display" openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The same bare environment for all: a HOME of its own, the private display.
# prog[k]: the processes of program k.
prog=()
start() { # K COMMAND...
  local k="$1" home="$work/${homes[$1]}"
  shift
  env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$work/run" DISPLAY="$display" "$@" \
    >>"$home/out.log" 2>&1 &
  pids+=($!)
  prog[k]+="${prog[k]:+ }$!"
}
start 0 env PELKO_DIR="$work/pelko" QT_QPA_PLATFORM=xcb "$bin/Pelko"
start 1 gnubiff -n
start 2 wmbiff -c "$work/wmbiff/first.wmbiffrc"
start 2 wmbiff -c "$work/wmbiff/second.wmbiffrc"
start 3 "$bin/pelko-check" --watch --every 60 --dir "$work/check"

# Context switches (voluntary and involuntary) of every thread of PIDS, one
# line each: TID COUNT. A thread's figure goes with it when it ends, and
# gnubiff checks a POP3 box on a thread that lives some 20 ms: so the span
# is also counted by perf (the kernel's software event context-switches,
# all threads, those started and ended meanwhile too).
switches() { # PIDS
  local p files=()
  for p in $1; do files+=(/proc/"$p"/task/*/status); done
  grep -H '_ctxt_switches' "${files[@]}" 2>/dev/null |
    awk -F'[/:]' '{ n[$5] += $NF } END { for (t in n) print t, n[t] }'
}
# Summed over the processes of program K: CPU ticks (user + system; the
# process's figure keeps those of its ended threads), threads, VmRSS.
ticks() { for p in $1; do cat "/proc/$p/stat"; done | awk '{ t += $14 + $15 } END { print t + 0 }'; }
threads() { for p in $1; do ls "/proc/$p/task"; done | wc -l; }
rss() { for p in $1; do cat "/proc/$p/status"; done | awk '/^VmRSS/ { t += $2 } END { printf "%.1f MiB", t / 1024 }'; }
connections() { # PIDS PORT: connections open to PORT
  local p n=0
  for p in $1; do
    n=$((n + $(ss -Htnp state established "( dport = :$2 )" 2>/dev/null | grep -c "pid=$p," || true)))
  done
  echo "$n"
}
logins() { # K PROTOCOL: the logins to program K's mailboxes so far
  local i users=""
  for i in $(seq 1 10); do users+="${users:+|}user$((10 * $1 + i))"; done
  grep -cE "$2-login: (Info: )?Login: user=<($users)>" "$serverlog" || true
}
alive() {
  local k p
  for k in 0 1 2 3; do
    for p in ${prog[k]}; do
      kill -0 "$p" 2>/dev/null && continue
      echo "${programs[k]} ended:" >&2
      tail -20 "$work/${homes[k]}/out.log" >&2
      exit 1
    done
  done
}

sleep 15
alive
t0=() p0=() i0=() perfs=()
for k in 0 1 2 3; do
  t0+=("$(ticks "${prog[k]}")") p0+=("$(logins "$k" pop3)") i0+=("$(logins "$k" imap)")
  switches "${prog[k]}" >"$work/switches.$k"
  perf stat -e context-switches -x, -o "$work/perf.$k" -p "${prog[k]// /,}" -- sleep "$span" &
  perfs+=($!)
done
wait "${perfs[@]}"
alive
hz=$(getconf CLK_TCK)
echo "| program | processes | threads | context switches in $span s | of threads alive throughout | CPU | VmRSS | POP3 logins | IMAP logins | IMAP connections open |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for k in 0 1 2 3; do
  p="${prog[k]}"
  t1=$(ticks "$p")
  switches "$p" >"$work/switches-end.$k"
  printf '| %s | %d | %d | %d | %d | %s s | %s | %d | %d | %d |\n' "${programs[k]}" "$(wc -w <<<"$p")" \
    "$(threads "$p")" "$(awk -F, '$3 ~ /^context-switches/ { print $1 }' "$work/perf.$k")" \
    "$(awk 'NR == FNR { a[$1] = $2; next } $1 in a { s += $2 - a[$1] } END { print s + 0 }' \
       "$work/switches.$k" "$work/switches-end.$k")" "$(awk -v t=$((t1 - t0[k])) -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }')" \
    "$(rss "$p")" $(($(logins "$k" pop3) - p0[k])) $(($(logins "$k" imap) - i0[k])) \
    "$(connections "$p" "$port_imap")"
done
