#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test windows fuzz package
for preset in release debug; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== windows (cross-built, tests under wine)"
scripts/test-windows.sh
echo "== packages: the Debian package and the Windows zip, unpacked and run"
scripts/test-packages.sh
echo "== fuzzing: every target for 30 seconds"
QX_FUZZ_SCRATCH=1 scripts/fuzz.sh 30
