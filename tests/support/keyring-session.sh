#!/bin/sh
# Runs a test binary on a private session bus with a keyring:
#   keyring-session.sh BINARY [ARGS...]             gnome-keyring, unlocked
#   keyring-session.sh --fake MODE BINARY [ARGS...]  the test's own Secret
#       Service (fake-secret-service.py MODE; "none": no service at all),
#       whose item holds a password with line breaks in it; the binary
#       finds MODE in PELKO_KEYRING_FAKE
if [ "$1" = "--fake" ]; then
  mode=$2
  shift 2
  # A bus that starts no service of its own (no service files are read):
  # what it has is what the test put there.
  config=$(mktemp) || exit 1
  trap 'rm -f "$config"' EXIT
  cat >"$config" <<'BUS'
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
BUS
  dbus-run-session --config-file="$config" -- sh -c '
    here=$1 mode=$2 secret=$3
    shift 3
    [ "$mode" = none ] && PELKO_KEYRING_FAKE=$mode exec "$@"
    fifo=$(mktemp -u) && mkfifo "$fifo" || exit 1
    /usr/bin/python3 "$here/fake-secret-service.py" "$DBUS_SESSION_BUS_ADDRESS" "$mode" "$secret" >"$fifo" &
    fake=$!
    read -r ready <"$fifo"
    rm -f "$fifo"
    [ "$ready" = ready ] || exit 1
    PELKO_KEYRING_FAKE=$mode "$@"
    status=$?
    kill "$fake"
    exit $status' sh "$(dirname "$0")" "$mode" 'pw\r\nDELE 1\r\nDELE 2' "$@"
  exit $?
fi
exec dbus-run-session -- sh -c '
  printf "pelko-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || exit 1
  PELKO_KEYRING_TEST=1 exec "$@"' sh "$@"
