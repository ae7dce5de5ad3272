#!/usr/bin/env bash
# Builds the Windows programs and tests with mingw-w64 and runs the tests
# under wine: `scripts/test-windows.sh` from anywhere in the tree.
#
# On a fresh Debian machine (as root, or with sudo) it first installs the
# cross compiler and wine. The wine prefix lives in build/windows/wineprefix, so the run
# touches nothing outside the build tree; no display is used.
set -euo pipefail

cd "$(dirname "$0")/.."

scripts/install-deps.sh test windows

export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/windows/wineprefix"
# Without a display, a message box returns at once instead of waiting.
unset DISPLAY WAYLAND_DISPLAY
mkdir -p build/windows
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi

cmake --preset windows
cmake --build --preset windows -j2
# wine now and then fails to start a test process when the machine is busy
# (an internal error before any test code runs); the preset runs a failed
# test up to three times so that only a test that fails every time counts.
ctest --preset windows "$@"

# The native side compares the archives of both builds; it needs a native
# build, which `ctest --preset release` also runs it from.
for native in build/release build/debug; do
  if [ -x "$native/tests/windows_parity_tests" ]; then
    "$native/tests/windows_parity_tests"
    break
  fi
done
