#!/usr/bin/env bash
# `cmake --install` into a scratch prefix, then the installed copy as a user
# meets it: valid menu entry, AppStream data and manual pages (one for the
# lower-case command `pelko` too, and every option of pelko-check listed),
# icons of every size, the read-me, no placeholder address; Pelko started as
# `pelko` with a fresh HOME keeps its files in ~/.config/pelko
# (created 0700, with a first Pelko.ini naming the installed default skin)
# and writes nothing into the prefix, even as root; pelko-check reads the
# accounts from the same folder; a skin named by its folder name alone is
# found among the installed skins.
#   installed-copy.sh BUILD_DIR
set -uo pipefail
build="$(cd "${1:?usage: installed-copy.sh BUILD_DIR}" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/xvfb-pelko.sh"
need Xvfb xdotool desktop-file-validate appstreamcli man

WORK="$(mktemp -d "${TMPDIR:-/tmp}/pelko-install.XXXXXX")"
trap 'cleanup_display; rm -rf "$WORK"' EXIT
prefix="$WORK/prefix"
cmake --install "$build" --prefix "$prefix" >"$WORK/install.log" 2>&1 || fail "cmake --install: $(cat "$WORK/install.log")"
share="$prefix/share"

# What the desktop reads.
desktop-file-validate "$share/applications/pelko.desktop" || fail "the menu entry is not valid"
grep -qx 'Categories=Network;Email;' "$share/applications/pelko.desktop" || fail "menu categories"
appstreamcli validate --no-net --pedantic "$share/metainfo/org.example.pelko.metainfo.xml" ||
  fail "the AppStream data is not valid"
for page in Pelko pelko pelko-check; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done
[ "$(readlink "$prefix/bin/pelko")" = Pelko ] || fail "bin/pelko is not a link to Pelko"
[ "$(readlink "$share/man/man1/pelko.1.gz")" = Pelko.1.gz ] || fail "man1/pelko.1.gz is not a link to Pelko.1.gz"
manual="$(LC_ALL=C MANWIDTH=200 man -l "$share/man/man1/pelko-check.1.gz" 2>/dev/null | col -b)"
for option in $("$prefix/bin/pelko-check" --help 2>&1 | grep -o -e '--[a-z-]*' | sort -u); do
  grep -q -e "$option" <<<"$manual" || fail "the manual page of pelko-check lacks $option"
done
cmp -s "$share/doc/pelko/README.md" "$here/../../README.md" || fail "README.md not installed in share/doc/pelko"
placeholder="$(grep -rlE 'https?://[^ "<]*example\.|@[a-z.]*example\.(org|com)' "$share/applications" "$share/metainfo" "$share/pelko/skins")"
[ -z "$placeholder" ] || fail "placeholder addresses in $placeholder"
for size in 16 22 24 32 48 64 128 256; do
  icon="$share/icons/hicolor/${size}x${size}/apps/pelko.png"
  [ "$(od -An -tu1 -j1 -N3 "$icon" | tr -s ' ')" = " 80 78 71" ] || fail "$icon is no PNG"
  dims="$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')"
  [ "$dims" = "${size}x${size}" ] || fail "$icon is $dims"
done
for skin in default ember; do
  [ -f "$share/pelko/skins/$skin/skin.ini" ] || fail "skin $skin not installed"
done
[ "$(ls "$share/pelko/demo/messages"/*.eml | wc -l)" -eq 4 ] || fail "demo messages not installed"

# First run with a fresh HOME.
export HOME="$WORK/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME PELKO_DIR
touch "$WORK/stamp"
sleep 1 # file times of the prefix must be older than the stamp's second
start_xvfb
start_pelko "$prefix/bin/pelko"
wait_main_window "$(bmp_size "$share/pelko/skins/default/main.bmp")"
conf="$HOME/.config/pelko"
[ "$(stat -c %a "$conf")" = 700 ] || fail "$conf has mode $(stat -c %a "$conf")"
grep -q "^current_skin = $share/pelko/skins/default/"$'\r'"\$" "$conf/Pelko.ini" || fail "first Pelko.ini: $(cat "$conf/Pelko.ini")"
stop_pelko
written="$(find "$prefix" -newer "$WORK/stamp")"
[ -z "$written" ] || fail "written into the prefix: $written"

# pelko-check without --dir reads ~/.config/pelko/Accounts.ini (the account
# points at a closed loopback port, so its line shows the file was read).
"$here/../../tools/demo/demo-mailbox.sh" accounts 1 >"$conf/Accounts.ini"
out="$("$prefix/bin/pelko-check" --timeout 5000 2>&1)"
[ "$out" = "Demo: error: Socket Error #10061 Connection refused." ] || fail "pelko-check said: $out"

# A skin named by its folder name only is an installed one (no account, so
# that no connection error box comes first).
rm "$conf/Accounts.ini"
sed -i 's|^current_skin = .*\r$|current_skin = ember\r|' "$conf/Pelko.ini"
start_pelko "$prefix/bin/Pelko"
wait_main_window "$(bmp_size "$share/pelko/skins/ember/main.bmp")"
stop_pelko
echo "installed copy: ok"
