#!/usr/bin/env bash
# Pelko's one entry point for a Debian 12 machine:
#   ./pelko.sh run    install what is missing, build, start Pelko
#   ./pelko.sh test   install what is missing, build, run every test
#   ./pelko.sh bench [--write]  benchmarks against the tools a user would otherwise use
#   ./pelko.sh fuzz [SECONDS]   run every fuzz target (default 30 s each)
#   ./pelko.sh sanitize         the test suite under ASan + UBSan
#   ./pelko.sh package          build the Debian package pelko_VERSION_ARCH.deb
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

BASE_PKGS=(cmake ninja-build g++ pkg-config qt6-base-dev libcanberra-dev libgl-dev libxcb1-dev libsecret-1-dev libdbus-1-dev gnome-keyring dbus
           libssl-dev openssl googletest libgtest-dev libgmock-dev
           dovecot-core dovecot-pop3d dovecot-imapd xvfb xauth fonts-dejavu-core
           openbox xdotool xclip imagemagick x11-utils xdg-utils at-spi2-core dbus-daemon python3 python3-dbus python3-gi
           pulseaudio pulseaudio-utils faketime)
BENCH_PKGS=(libbenchmark-dev curl fetchmail python3 time procps x11-utils valgrind wmbiff gnubiff x11-apps linux-perf)
FUZZ_PKGS=(clang-14 libclang-rt-14-dev)
# The Debian package and the tests of what is installed.
PACKAGE_PKGS=(dpkg-dev file)
INSTALL_TEST_PKGS=(lintian desktop-file-utils appstream man-db)

# Installs the packages that are missing; waits for the dpkg lock if another
# process holds it; does nothing when all are there.
install_pkgs() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing[@]}"
}

configure_and_build() { # build-dir, extra cmake args...
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)" ${PELKO_TARGET:+--target "$PELKO_TARGET"}
}

run_tests() { # build-dir
  local dir="$1"
  export QT_QPA_PLATFORM=offscreen
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
}

cmd="${1:-}"
case "$cmd" in
  run)
    install_pkgs "${BASE_PKGS[@]}"
    configure_and_build build -DPELKO_TESTS=OFF
    exec "$here/tools/run-pelko.sh" "$here/build/bin"
    ;;
  test)
    install_pkgs "${BASE_PKGS[@]}" "${PACKAGE_PKGS[@]}" "${INSTALL_TEST_PKGS[@]}"
    configure_and_build build-test -DPELKO_WERROR=ON
    run_tests build-test
    ;;
  sanitize)
    install_pkgs "${BASE_PKGS[@]}"
    configure_and_build build-asan -DPELKO_SANITIZE=ON -DPELKO_WERROR=ON -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_tests build-asan
    ;;
  fuzz)
    install_pkgs "${BASE_PKGS[@]}" "${FUZZ_PKGS[@]}"
    CC=clang-14 CXX=clang++-14 PELKO_TARGET=fuzz-all configure_and_build build-fuzz -DPELKO_FUZZ=ON -DPELKO_TESTS=OFF
    "$here/fuzz/run-all.sh" "$here/build-fuzz" "${2:-30}"
    ;;
  package)
    install_pkgs "${BASE_PKGS[@]}" "${PACKAGE_PKGS[@]}"
    configure_and_build build-package -DPELKO_TESTS=OFF
    (cd build-package && cpack -G DEB)
    ls "$here"/build-package/pelko_*.deb
    ;;
  bench)
    install_pkgs "${BASE_PKGS[@]}" "${BENCH_PKGS[@]}"
    configure_and_build build-bench -DPELKO_BENCH=ON -DPELKO_TESTS=OFF
    "$here/bench/run.sh" "$here/build-bench" "${@:2}"
    ;;
  *)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
