#!/usr/bin/env bash
# Installs the Debian packages that a script needs, when any is missing: the
# one way every script of this tree installs what it needs.
#
#   scripts/install-deps.sh [group|package...]
#
# Groups (the build group is always included):
#   build    cmake, ninja and g++
#   test     GoogleTest (the CMake package of libgtest-dev), groff (man pages),
#            strace (the order of the system calls of a pack run)
#   windows  the mingw-w64 cross compiler, wine and the GoogleTest sources
#   fuzz     clang 14 with libFuzzer
#   bench    hyperfine, Pillow, GNU time and Google Benchmark
#   package  dpkg-shlibdeps, groff for checking the man pages, unzip
# Any other word is taken as the name of a Debian package.
#
# Runs apt-get as root, or through sudo for another user; `apt-get update`
# runs first, and only when something is missing.
set -euo pipefail

packages_of() {
  case $1 in
    build) echo cmake ninja-build g++ ;;
    test) echo libgtest-dev groff-base strace ;;
    windows) echo g++-mingw-w64-x86-64 wine wine64 googletest ;;
    fuzz) echo clang-14 libclang-rt-14-dev python3 ;;
    bench) echo hyperfine python3 python3-pil time libbenchmark-dev ;;
    package) echo dpkg-dev file groff-base man-db unzip ;;
    *) echo "$1" ;;
  esac
}

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

wanted=(build "$@")
need=()
for group in "${wanted[@]}"; do
  for package in $(packages_of "$group"); do
    if ! installed "$package" && [[ " ${need[*]} " != *" $package "* ]]; then
      need+=("$package")
    fi
  done
done
[ ${#need[@]} -gt 0 ] || exit 0

echo "install-deps: installing ${need[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: missing packages: ${need[*]}; run as root or install sudo" >&2
    exit 1
  fi
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${need[@]}"
