#!/usr/bin/env bash
# Pelko's demo mailbox: a throwaway dovecot on a free loopback port holding
# the sample messages of tools/demo/messages, and the two files Pelko needs
# to use it.
#   demo-mailbox.sh start DIR        fresh DIR, one user "demo"; prints the port
#   demo-mailbox.sh stop DIR         stops the server started in DIR, removes DIR
#   demo-mailbox.sh settings SKINDIR prints a first Pelko.ini (CR LF lines)
#   demo-mailbox.sh accounts PORT    prints an Accounts.ini with the account "Demo"
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=../dovecot-control.sh
. "$here/../dovecot-control.sh"

DEMO_USER='demo'
DEMO_PASSWORD='pelko-demo'
# DEMO_PASSWORD as Accounts.ini stores it: scrambled with the start key 9975.
DEMO_PASSWORD_SCRAMBLED='\x56\xf6\xe6\xbf\x5d\xec\x39\x3b\x3c\xbb'

usage() {
  sed -n '2,9p' "$0" >&2
  exit 2
}

# The thirteen lines Pelko writes, plus its notify line, in its own layout.
print_settings() {
  local skin="$1"
  printf '%s\r\n' \
    "current_skin = $skin" \
    "autocheck =1" \
    "autoconnect =1" \
    "header_only =0" \
    "ontop =0" \
    "minutes = 1" \
    "posX = 40" \
    "posY = 40" \
    "playsnd =0" \
    "wavsnd = " \
    "icon_tray =1" \
    "run_my_client =0" \
    "my_mail_client = " \
    "notify =1"
}

print_accounts() {
  local port="$1"
  printf '\r\n[Account1]\r\nacc_name = Demo\r\nhost_name = 127.0.0.1:%s\r\nuser_name = %s\r\n' "$port" "$DEMO_USER"
  printf 'password = '
  printf "$DEMO_PASSWORD_SCRAMBLED"
  printf '\r\ninactive = 0\r\n'
}

write_config() {
  local dir="$1" port="$2" internal login uid gid
  if [ "$(id -u)" -eq 0 ]; then
    internal=dovecot login=dovenull uid=65534 gid=65534
  else
    # Without root everything runs as the user who started the demo.
    internal="$(id -un)" login="$(id -un)" uid="$(id -u)" gid="$(id -g)"
  fi
  cat >"$dir/dovecot.conf" <<CONF
# Pelko's demo mailbox: loopback only, removed when Pelko exits.
instance_name = pelko-demo-$port
base_dir = $dir/run
state_dir = $dir/state
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
default_internal_user = $internal
default_internal_group = $(id -gn "$internal" 2>/dev/null || echo nogroup)
default_login_user = $login
mail_location = maildir:$dir/mail/%u/Maildir
first_valid_uid = 0
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/mail/%u
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
}
service anvil {
  chroot =
}
CONF
}

start_server() {
  local dir="$1" DOVECOT port pid
  DOVECOT="$(command -v dovecot || echo /usr/sbin/dovecot)"
  if [ ! -x "$DOVECOT" ]; then
    echo "dovecot is not installed (Debian: dovecot-core dovecot-pop3d)" >&2
    return 1
  fi
  stop_server_in "$dir"
  rm -rf "$dir"
  mkdir -p "$dir/run" "$dir/state" "$dir/mail/$DEMO_USER/Maildir/"{new,cur,tmp} || return 1
  chmod 755 "$dir" "$dir/mail"
  echo "$DEMO_USER:{PLAIN}$DEMO_PASSWORD" >"$dir/users"
  chmod 644 "$dir/users"
  local n=0 f
  for f in "$here"/messages/*.eml; do
    n=$((n + 1))
    cp "$f" "$dir/mail/$DEMO_USER/Maildir/new/$(date +%s).$n.pelko-demo"
  done
  if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$dir/mail/$DEMO_USER"
  fi
  for attempt in $(seq 1 10); do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    port_in_use "$port" && continue
    write_config "$dir" "$port"
    setsid "$DOVECOT" -F -c "$dir/dovecot.conf" </dev/null >>"$dir/dovecot.out" 2>&1 &
    pid=$!
    echo "$pid" >"$dir/pid"
    if wait_greeting "$port" "$pid"; then
      echo "$port" >"$dir/port"
      echo "$port"
      return 0
    fi
    echo "the demo mailbox did not answer on port $port (attempt $attempt)" >&2
    stop_server_in "$dir"
  done
  echo "the demo mailbox could not be started; see $dir/dovecot.log" >&2
  return 1
}

cmd="${1:-}"
arg="${2:-}"
[ -n "$cmd" ] && [ -n "$arg" ] || usage
case "$cmd" in
  start) start_server "$arg" ;;
  stop)
    stop_server_in "$arg"
    rm -rf "$arg"
    ;;
  settings) print_settings "$arg" ;;
  accounts) print_accounts "$arg" ;;
  *) usage ;;
esac
