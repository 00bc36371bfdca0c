#!/usr/bin/env bash
# Set-up, build, test and run, from a fresh Debian 12 machine (as root) onwards.
#   ./dev.sh test    install what is missing, build both configurations, run every test
#   ./dev.sh run     install what is missing, build, run the program's main job on the simulator
#   ./dev.sh bench   build and print the benchmarks
#   ./dev.sh windows cross-build the Windows files (flashwright.exe, flashwright-cli.exe,
#                    readerprobe.dll, the installer flashwright-setup.exe) into build-win/
#   ./dev.sh package build the Debian package into build/ (its tests, label "package", run in
#                    ./dev.sh test: lintian, and as root an install, use and removal)
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

packages=(
  cmake ninja-build g++ pkg-config git
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6test6
  libpugixml-dev libusb-1.0-0-dev umockdev libumockdev-dev
  libcli11-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  binutils srecord
  xvfb xauth
  g++-mingw-w64-i686-posix googletest wine wine32:i386 wine64 fonts-wine nsis
  dpkg-dev file lintian desktop-file-utils appstream man-db librsvg2-bin
)

ensure_packages() {
  local missing=() p sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  # Wine for the 32-bit Windows programs comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

jobs=$(nproc 2>/dev/null || echo 2)

build() { # build <dir> [cmake options...]
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# The Windows files: mingw-w64 i686, static runtime; the window on the Win32 backend, no Qt.
build_windows() {
  build build-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHWRIGHT_WERROR=ON -DFLASHWRIGHT_GUI=OFF
  makensis -V2 -DBUILD_DIR="$root/build-win" -DOUT_FILE="$root/build-win/flashwright-setup.exe" \
    "$root/installer/flashwright.nsi"
}

run_tests() { # run_tests <dir>
  ctest --test-dir "$1" -j "$jobs" --output-on-failure --timeout 900
}

cmd=${1:-}
case "$cmd" in
  test)
    ensure_packages
    echo "== build (warnings as errors)"
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHWRIGHT_WERROR=ON
    run_tests build
    echo "== build-asan (AddressSanitizer + UndefinedBehaviorSanitizer)"
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DFLASHWRIGHT_WERROR=ON -DFLASHWRIGHT_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_tests build-asan
    if command -v clang++ >/dev/null; then
      echo "== build-fuzz (libFuzzer, bounded runs)"
      build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHWRIGHT_FUZZ=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
      run_tests build-fuzz
    fi
    echo "== build-win (mingw-w64) and its tests under Wine against the reader simulator"
    build_windows
    tools/wine/check-windows-files.sh build-win
    tools/wine/wine-tests.sh build build-win
    echo "== screenshots of the Windows window under Wine"
    tools/wine/windows-screenshots.sh build build-win build-win/screenshots
    if [ -x tools/screenshots.sh ]; then
      echo "== screenshots under Xvfb"
      tools/screenshots.sh build build/screenshots
    fi
    echo "== all tests passed"
    ;;
  run)
    ensure_packages
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec tools/run-demo.sh build
    ;;
  package)
    ensure_packages
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHWRIGHT_WERROR=ON
    (cd build && cpack --config CPackConfig.cmake)
    ls build/flashwright_*.deb
    ;;
  windows)
    ensure_packages
    build_windows
    tools/wine/check-windows-files.sh build-win
    ls -l build-win/app/flashwright.exe build-win/app/flashwright-cli.exe \
      build-win/readerprobe/readerprobe.dll \
      build-win/flashwright-setup.exe
    ;;
  bench)
    ensure_packages
    build build-bench -DCMAKE_BUILD_TYPE=Release -DFLASHWRIGHT_WERROR=OFF
    for b in build-bench/bench/bench_*; do
      [ -f "$b" ] && [ -x "$b" ] || continue
      echo "== $(basename "$b")"
      "$b"
    done
    echo "== start-up under Wine (the Windows build)"
    build_windows >/dev/null
    bench/wine-startup.sh build-bench build-win
    ;;
  *)
    echo "usage: $0 test|run|bench|package|windows" >&2
    exit 2
    ;;
esac
