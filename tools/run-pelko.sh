#!/usr/bin/env bash
# Starts the built Pelko from its directory (called by `./pelko.sh run`).
#   run-pelko.sh BINDIR
# On a first run it places a Pelko.ini next to the program (the default skin,
# auto-connect and auto-check on) and, while no Accounts.ini exists, offers a
# demo mailbox: a throwaway dovecot on a loopback port with a few sample
# messages, stopped again when Pelko exits. Files of the user's own are never
# overwritten. PELKO_DEMO=1 or PELKO_DEMO=0 answers the offer in advance.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"
bindir="$(cd "${1:?usage: run-pelko.sh BINDIR}" && pwd)"
exe="$bindir/Pelko"
demo_script="$here/demo/demo-mailbox.sh"

if [ ! -x "$exe" ]; then
  echo "Pelko is not built in $bindir." >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display is set. To run Pelko on a virtual screen:"
  echo "  xvfb-run -a -s \"-screen 0 1024x768x24\" $0 $bindir"
  echo "(Debian package xvfb; a window manager or tray is not needed.)"
  exit 1
fi

ini="$bindir/Pelko.ini"
accounts="$bindir/Accounts.ini"
# The demo's own Accounts.ini: a copy kept here tells it apart from the user's.
demo_copy="$bindir/.pelko-demo-accounts"

if [ ! -e "$ini" ]; then
  "$demo_script" settings "$repo/skins/default/" >"$ini.new" && mv "$ini.new" "$ini"
  echo "First run: wrote $ini (default skin, auto-connect and auto-check on)."
fi

# An Accounts.ini left by an earlier demo (unchanged since) is the demo's to replace.
if [ -e "$accounts" ] && [ -e "$demo_copy" ] && cmp -s "$accounts" "$demo_copy"; then
  rm -f "$accounts"
fi
rm -f "$demo_copy"

demo_dir=""
cleanup() {
  if [ -n "$demo_dir" ]; then
    "$demo_script" stop "$demo_dir"
    demo_dir=""
    # Take the demo account away again unless the user has changed the file.
    if [ -e "$demo_copy" ] && cmp -s "$accounts" "$demo_copy"; then
      rm -f "$accounts"
    fi
    rm -f "$demo_copy"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ ! -e "$accounts" ]; then
  answer="${PELKO_DEMO:-}"
  if [ -z "$answer" ]; then
    if [ -t 0 ]; then
      read -r -p "No mailbox is set up yet. Start a demo mailbox on this machine? [Y/n] " answer || answer=n
    else
      answer=y
    fi
  fi
  case "$answer" in
    ""|[Yy]*|1)
      demo_dir="$(mktemp -d "${TMPDIR:-/tmp}/pelko-demo.XXXXXX")"
      if port="$("$demo_script" start "$demo_dir")"; then
        "$demo_script" accounts "$port" >"$accounts"
        chmod 600 "$accounts"
        cp "$accounts" "$demo_copy"
        echo "Demo mailbox on 127.0.0.1:$port (account \"Demo\"); it stops when Pelko exits."
      else
        echo "The demo mailbox could not be started; Pelko starts without an account." >&2
        rm -rf "$demo_dir"
        demo_dir=""
      fi
      ;;
    *)
      echo "Add your mailbox with a right click on the window: Configure, Accounts."
      ;;
  esac
fi

"$exe"
status=$?
cleanup
exit "$status"
