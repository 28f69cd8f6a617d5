#!/usr/bin/env bash
# The tests' own POP3 server: Debian's dovecot with a private configuration.
#   dovecot.sh start DIR   fresh DIR, free port on 127.0.0.1, users user1..user53
#                          (password passN), maildirs under DIR/mail/userN;
#                          writes DIR/port and DIR/pid once "+OK" answers.
#                          With openssl at hand it also makes a certificate
#                          (DIR/cert.pem, CN and subjectAltName localhost and
#                          127.0.0.1), offers STLS on that port, and listens
#                          for POP3 over TLS on a second port (DIR/port_tls).
#                          With dovecot's imapd installed it also speaks IMAP
#                          on the same mailboxes: plain (STARTTLS offered when
#                          there is a certificate) on DIR/port_imap, and over
#                          TLS on DIR/port_imaps.
#   dovecot.sh stop DIR    stops the server started in DIR.
# Without dovecot installed, or when not run as root, start writes nothing
# and the tests that need the server skip themselves.
set -uo pipefail

cmd="${1:-}"
dir="${2:-}"
if [ -z "$cmd" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=../../tools/dovecot-control.sh
. "$here/../../tools/dovecot-control.sh"

stop_server() {
  rm -f "$dir/port" "$dir/port_tls" "$dir/port_imap" "$dir/port_imaps"
  stop_server_in "$dir"
}

# A self-signed certificate for localhost and 127.0.0.1; 0 when made.
make_certificate() {
  command -v openssl >/dev/null 2>&1 || return 1
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 30 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" >>"$dir/openssl.out" 2>&1 || return 1
  chmod 600 "$dir/key.pem"
  chmod 644 "$dir/cert.pem"
}

# The TLS part of the configuration (empty without a certificate). Plain
# logins stay allowed on the plain port, which now also offers STLS.
tls_config() {
  local tls_port="$1"
  if [ -z "$tls_port" ]; then
    echo "ssl = no"
    return
  fi
  echo "ssl = yes"
  echo "ssl_cert = <$dir/cert.pem"
  echo "ssl_key = <$dir/key.pem"
  echo "ssl_min_protocol = TLSv1.2"
  [ -f /usr/share/dovecot/dh.pem ] && echo "ssl_dh = </usr/share/dovecot/dh.pem"
  return 0
}

tls_listener() {
  local tls_port="$1"
  [ -n "$tls_port" ] || return 0
  cat <<LISTENER
  inet_listener pop3s {
    address = 127.0.0.1
    port = $tls_port
    ssl = yes
  }
LISTENER
}

# The IMAP listeners (nothing without imapd): plain, and over TLS when there
# is a certificate.
imap_service() {
  local imap_port="$1" imaps_port="$2"
  [ -n "$imap_port" ] || return 0
  echo "service imap-login {"
  cat <<LISTENER
  inet_listener imap {
    address = 127.0.0.1
    port = $imap_port
  }
LISTENER
  if [ -n "$imaps_port" ]; then
    cat <<LISTENER
  inet_listener imaps {
    address = 127.0.0.1
    port = $imaps_port
    ssl = yes
  }
LISTENER
  fi
  echo "}"
}

write_config() {
  local port="$1" tls_port="$2" imap_port="$3" imaps_port="$4"
  cat >"$dir/dovecot.conf" <<CONF
# Private instance for Pelko's tests.
instance_name = pelko-test-$port
base_dir = $dir/run
state_dir = $dir/state
protocols = pop3${imap_port:+ imap}
listen = 127.0.0.1
$(tls_config "$tls_port")
disable_plaintext_auth = no
auth_failure_delay = 0
auth_mechanisms = plain
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
default_internal_user = dovecot
default_login_user = dovenull
mail_location = maildir:$dir/mail/%u/Maildir
pop3_uidl_format = %08Xu%08Xv
first_valid_uid = 1
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users
}
userdb {
  driver = static
  args = uid=65534 gid=65534 home=$dir/mail/%u
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
$(tls_listener "$tls_port")
}
$(imap_service "$imap_port" "$imaps_port")
# No growing delays after the tests' deliberate wrong passwords.
service anvil {
  chroot =
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
}

case "$cmd" in
  stop)
    stop_server
    exit 0
    ;;
  start)
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac

DOVECOT="$(command -v dovecot || echo /usr/sbin/dovecot)"
if [ ! -x "$DOVECOT" ]; then
  echo "dovecot is not installed: the tests that need it will skip" >&2
  mkdir -p "$dir" && rm -f "$dir/port" "$dir/pid"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  # The mailboxes belong to uid 65534 and dovecot switches to it: root only.
  echo "not running as root: no test dovecot, the tests that need it will skip" >&2
  mkdir -p "$dir" && rm -f "$dir/port" "$dir/pid"
  exit 0
fi

stop_server
rm -rf "$dir"
mkdir -p "$dir/run" "$dir/state" "$dir/mail"
chmod 755 "$dir" "$dir/mail"

: >"$dir/users"
for n in $(seq 1 53); do
  echo "user$n:{PLAIN}pass$n" >>"$dir/users"
  mkdir -p "$dir/mail/user$n/Maildir/new" "$dir/mail/user$n/Maildir/cur" "$dir/mail/user$n/Maildir/tmp"
done
chmod 644 "$dir/users"
chown -R 65534:65534 "$dir/mail"/user* 2>/dev/null || true

with_imap=0
if [ -x "$("$DOVECOT" -c /dev/null config -h libexec_dir 2>/dev/null || echo /usr/lib/dovecot)/imap" ]; then
  with_imap=1
else
  echo "dovecot's imapd is not installed: the IMAP tests will skip" >&2
fi

with_tls=0
if make_certificate; then
  with_tls=1
else
  echo "no certificate (openssl missing or failing): the TLS tests will skip" >&2
fi

for attempt in $(seq 1 10); do
  port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
  port_in_use "$port" && continue
  tls_port=""
  if [ "$with_tls" -eq 1 ]; then
    tls_port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    if [ "$tls_port" -eq "$port" ] || port_in_use "$tls_port"; then
      continue
    fi
  fi
  imap_port=""
  imaps_port=""
  if [ "$with_imap" -eq 1 ]; then
    imap_port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    if [ -n "$tls_port" ]; then
      imaps_port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    fi
    taken=" $port $tls_port "
    for p in $imap_port $imaps_port; do
      case "$taken" in *" $p "*) continue 2 ;; esac
      port_in_use "$p" && continue 2
      taken="$taken$p "
    done
  fi
  write_config "$port" "$tls_port" "$imap_port" "$imaps_port"
  setsid "$DOVECOT" -F -c "$dir/dovecot.conf" </dev/null >>"$dir/dovecot.out" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/pid"
  if wait_greeting "$port" "$pid"; then
    # The listeners are bound together, so the TLS one is up as well; the
    # tests find it before they find the server itself.
    if [ -n "$tls_port" ]; then
      if port_in_use "$tls_port"; then
        echo "$tls_port" >"$dir/port_tls"
      else
        echo "the TLS listener on port $tls_port does not answer: the TLS tests will skip" >&2
      fi
    fi
    for pair in "imap:$imap_port" "imaps:$imaps_port"; do
      p="${pair#*:}"
      [ -n "$p" ] || continue
      if { [ "${pair%%:*}" = imap ] && wait_greeting "$p" "$pid" imap; } ||
         { [ "${pair%%:*}" = imaps ] && port_in_use "$p"; }; then
        echo "$p" >"$dir/port_${pair%%:*}"
      else
        echo "the IMAP listener on port $p does not answer: the IMAP tests on it will skip" >&2
      fi
    done
    echo "$port" >"$dir/port"
    exit 0
  fi
  echo "dovecot did not answer on port $port (attempt $attempt)" >&2
  stop_server
done
echo "dovecot could not be started; see $dir/dovecot.log" >&2
cat "$dir/dovecot.log" "$dir/dovecot.out" >&2 2>/dev/null || true
exit 1
