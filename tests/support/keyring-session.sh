#!/bin/sh
# Runs a test binary on a private session bus with an unlocked keyring:
#   keyring-session.sh BINARY [ARGS...]
exec dbus-run-session -- sh -c '
  printf "pelko-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || exit 1
  PELKO_KEYRING_TEST=1 exec "$@"' sh "$@"
