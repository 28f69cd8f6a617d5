#!/usr/bin/env bash
# Benchmarks against the tools a user would otherwise use (curl, fetchmail,
# Python's email module and imaplib, base64; wmbiff, gnubiff and xmessage for
# the window), on a private dovecot filled for the run, over POP3 and IMAP.
#   bench/run.sh BUILD_DIR [--write]
# BUILD_DIR holds bin/pelko-check (and bin/Pelko, bin/pelko-bench and
# bin/pelko-mapwait when built with -DPELKO_BENCH=ON). Needs root (the test
# dovecot runs as root), curl, fetchmail, python3, valgrind, Xvfb. Takes a
# few minutes; prints the tables, and with --write puts them into
# bench/RESULTS.md. BENCH_RUNS (default 5), BENCH_MESSAGES (100000) and
# BENCH_LARGE_MB (20) change the size of the run; BENCH_ONLY=count,fetch
# (any of count, fetch, decode, micro, startup) runs those tables alone;
# BENCH_ONLY=push the push table alone (bench/push.py). The idle benches
# run apart, a minute each: bench/idle_wakeups.sh, bench/idle_beside.sh.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -eq 1 ] || { [ $# -eq 2 ] && [ "$2" = --write ]; } || { sed -n '2,14p' "$0"; exit 2; }
build="$(cd "$1" && pwd)"
work="$build/bench-work"
rm -rf "$work"
mkdir -p "$work"

"$here/../tests/support/dovecot.sh" start "$work/dovecot"
trap '"$here/../tests/support/dovecot.sh" stop "$work/dovecot"' EXIT
if [ ! -f "$work/dovecot/port" ]; then
  echo "the bench needs the dovecot server (Debian's dovecot-core, dovecot-pop3d) and root" >&2
  exit 1
fi
if [ "${BENCH_ONLY:-}" != push ]; then
  python3 "$here/bench.py" "$build" "$work/dovecot" "$work" "${@:2}"
fi
# Push (IMAP IDLE): printed, and added to RESULTS.md by a whole run with --write.
if [ -f "$work/dovecot/port_imap" ] && { [ -z "${BENCH_ONLY:-}" ] || [ "${BENCH_ONLY}" = push ]; }; then
  python3 "$here/push.py" "$build" "$work/dovecot" "$work" | tee "$work/push.md"
  if [ -z "${BENCH_ONLY:-}" ] && [ "${2:-}" = --write ]; then
    { echo; cat "$work/push.md"; } >>"$here/RESULTS.md"
  fi
fi
