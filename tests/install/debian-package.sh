#!/usr/bin/env bash
# The Debian package built from this build folder: lintian finds no error and
# no missing hardening in it, it names no placeholder home page and holds the
# command `pelko`; unpacked into a scratch root (dpkg-deb -x) its Pelko starts
# on a private Xvfb with a fresh HOME, shows its window in the default skin
# and writes ~/.config/pelko/Pelko.ini.
#   debian-package.sh BUILD_DIR
set -uo pipefail
build="$(cd "${1:?usage: debian-package.sh BUILD_DIR}" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/xvfb-pelko.sh"
need Xvfb xdotool cpack dpkg-deb dpkg-shlibdeps lintian file

WORK="$(mktemp -d "${TMPDIR:-/tmp}/pelko-package.XXXXXX")"
trap 'cleanup_display; rm -rf "$WORK"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$WORK/cpack.log")"
deb="$(ls "$WORK"/out/pelko_*_*.deb 2>/dev/null | head -n1)"
[ -n "$deb" ] || fail "no pelko_VERSION_ARCH.deb: $(ls "$WORK/out")"
[ "$(basename "$deb")" = "pelko_$(dpkg-deb -f "$deb" Version)_$(dpkg --print-architecture).deb" ] ||
  fail "package file name $(basename "$deb")"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6 libssl3; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done

[ -z "$(dpkg-deb -f "$deb" Homepage)" ] || fail "placeholder Homepage: $(dpkg-deb -f "$deb" Homepage)"

lintian --fail-on error --display-info --tag-display-limit 0 "$deb" >"$WORK/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$WORK/lintian.log")"
# Missing hardening is only a warning or a note to lintian; here it fails.
hardening="$(grep -E '^[EWIP]: pelko[ :].* hardening-' "$WORK/lintian.log")"
[ -z "$hardening" ] || fail "lintian: $hardening"

root="$WORK/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
export HOME="$WORK/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME PELKO_DIR
start_xvfb
[ "$(readlink "$root/usr/bin/pelko")" = Pelko ] || fail "usr/bin/pelko is not a link to Pelko"
start_pelko "$root/usr/bin/pelko"
wait_main_window "$(bmp_size "$root/usr/share/pelko/skins/default/main.bmp")"
grep -q "^current_skin = $root/usr/share/pelko/skins/default/"$'\r'"\$" "$HOME/.config/pelko/Pelko.ini" ||
  fail "no first Pelko.ini in $HOME/.config/pelko"
stop_pelko
echo "package $(basename "$deb"): ok"
