# Shell functions for the private dovecot servers of the tests and the demo
# mailbox; sourced, not run.

# Stops the server whose pid is in DIR/pid (TERM, then KILL after 5 s).
stop_server_in() {
  local dir="$1" pid
  [ -f "$dir/pid" ] || return 0
  pid="$(cat "$dir/pid")"
  rm -f "$dir/pid"
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# 0 when something accepts connections on 127.0.0.1:PORT.
port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Waits for the greeting on PORT while PID lives: "+OK" (POP3), or with a
# third argument "imap" the IMAP one ("* OK"); 0 when it came.
wait_greeting() {
  local port="$1" pid="$2" want="+OK*" line
  [ "${3:-}" = imap ] && want="\* OK*"
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || return 1
    if { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null; then
      line=""
      read -r -t 2 line <&3 || true
      exec 3<&- 3>&-
      # shellcheck disable=SC2254
      case "$line" in
        $want) return 0 ;;
      esac
    fi
    sleep 0.05
  done
  return 1
}
