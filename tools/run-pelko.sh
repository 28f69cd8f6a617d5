#!/usr/bin/env bash
# Starts the built Pelko from its directory (filled in with the main window).
set -euo pipefail
bindir="$1"
if [ ! -x "$bindir/Pelko" ]; then
  echo "Pelko is built (libraries only so far); the desktop program comes with the main window."
  exit 0
fi
exec "$bindir/Pelko"
