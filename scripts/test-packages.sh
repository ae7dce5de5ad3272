#!/usr/bin/env bash
# Builds the release packages and tries them as a user would:
#
# - the Debian package (release preset): checks its control fields and its
#   files, unpacks it with `dpkg-deb -x` into a scratch folder and runs the
#   five programs from there through the links in usr/bin/ (the unpackers
#   must find their templates beside the real files), round-tripping
#   examples/Data through Fennbind/Fennloose and Morrbind/Morrloose and
#   reading both archives with qxarc; its man pages must format without a
#   warning;
# - the Windows zip (windows preset): checks its files, unzips it and runs a
#   Fennbind.exe/Fennloose.exe round trip and qxarc.exe under wine.
#
#   scripts/test-packages.sh [--no-build]
#
# With --no-build the packages already in build/<preset>/packages/ are
# tested. Scratch folders are under build/packages-test/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
[ "${1:-}" = --no-build ] && build=0

scripts/install-deps.sh test windows package

version=$(sed -n 's/^project(qxarc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
programs=(Fennbind Morrbind Fennloose Morrloose qxarc)
work=$root/build/packages-test
rm -rf "$work"
mkdir -p "$work"

fail() {
  echo "test-packages: $*" >&2
  exit 1
}

# round_trip RUN PACKER UNPACKER FOLDER: packs examples/Data with PACKER and
# unpacks it with UNPACKER in FOLDER, starting each program through RUN
# (a prefix command such as wine, or nothing).
round_trip() {
  local run=$1 packer=$2 unpacker=$3 folder=$4
  rm -rf "$folder"
  mkdir -p "$folder"
  cp -r examples/Data "$folder/Data"
  (cd "$folder" && $run "$packer" Data.agg Data >packer.log 2>&1) ||
    fail "$packer failed: $(cat "$folder/packer.log")"
  (cd "$folder" && $run "$unpacker" Data.agg Out >unpacker.log 2>&1) ||
    fail "$unpacker failed: $(cat "$folder/unpacker.log")"
}

echo "== Debian package"
if [ "$build" = 1 ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target package >/dev/null
fi
deb=build/release/packages/qxarc_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"

info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = qxarc ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
for library in libc6 libstdc++6 libgcc-s1; do
  field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$library" || fail "Depends lacks $library: $(field Depends)"
done
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
field Maintainer | grep -q '@' && fail "Maintainer names an e-mail address: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
echo "$info" | grep -E '^ (Package|Version|Depends):'

unpacked=$work/deb
dpkg-deb -x "$deb" "$unpacked"
for program in "${programs[@]}"; do
  [ -L "$unpacked/usr/bin/$program" ] || fail "usr/bin/$program is not a link"
  [ "$(readlink -f "$unpacked/usr/bin/$program")" = "$unpacked/usr/lib/qxarc/$program" ] ||
    fail "usr/bin/$program leads to $(readlink -f "$unpacked/usr/bin/$program")"
  [ -x "$unpacked/usr/lib/qxarc/$program" ] || fail "no usr/lib/qxarc/$program"
  [ -f "$unpacked/usr/share/man/man1/$program.1.gz" ] || fail "no man page of $program"
done
for template in H2Palette.bmp H1Palette.bmp; do
  cmp -s "$unpacked/usr/lib/qxarc/$template" "unpack/palettes/$template" || fail "usr/lib/qxarc/$template"
done
cmp -s "$unpacked/usr/share/doc/qxarc/README.md" README.md || fail "usr/share/doc/qxarc/README.md"

bin=$unpacked/usr/bin
round_trip "" "$bin/Fennbind" "$bin/Fennloose" "$work/deb-fenn"
diff -r "$work/deb-fenn/Data" "$work/deb-fenn/Out" || fail "Fennbind/Fennloose changed the data"
# check_short DIR WHAT: Morrloose writes the images in the colours of
# H1Palette.bmp: the same pixel rows (the last 512 bytes of tiles.bmp),
# another colour table; every other file comes back as it was.
check_short() {
  local dir=$1 what=$2
  diff -r -x '*.bmp' "$dir/Data" "$dir/Out" || fail "$what changed the data"
  cmp -s <(tail -c 512 "$dir/Data/tiles.bmp") <(tail -c 512 "$dir/Out/tiles.bmp") ||
    fail "$what changed the pixels of tiles.bmp"
  if cmp -s "$dir/Data/tiles.bmp" "$dir/Out/tiles.bmp"; then
    fail "$what did not use H1Palette.bmp"
  fi
}
round_trip "" "$bin/Morrbind" "$bin/Morrloose" "$work/deb-morr"
check_short "$work/deb-morr" "Morrbind/Morrloose"
for archive in deb-fenn deb-morr; do
  "$bin/qxarc" test "$work/$archive/Data.agg" >/dev/null || fail "qxarc test $archive/Data.agg"
done
[ "$("$bin/qxarc" list "$work/deb-morr/Data.agg" | head -1 | cut -d, -f1)" = "layout short" ] ||
  fail "qxarc list does not see the short layout"
echo "programs from the package: both round trips match, qxarc reads both archives"

for program in "${programs[@]}"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$unpacked/usr/share/man/man1/$program.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page of $program: $warnings"
done
echo "man pages: no warnings"

echo "== Windows zip"
export WINEDEBUG=-all
export WINEPREFIX=$root/build/windows/wineprefix
# Without a display, a message box returns at once instead of waiting.
unset DISPLAY WAYLAND_DISPLAY
if [ "$build" = 1 ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target package >/dev/null
fi
name=qxarc-${version}-windows-x86_64
zip=build/windows/packages/$name.zip
[ -f "$zip" ] || fail "no $zip"
listing=$(unzip -Z1 "$zip" | sort)
members=("$name/README.txt" "$name/H1Palette.bmp" "$name/H2Palette.bmp")
for program in "${programs[@]}"; do members+=("$name/$program.exe"); done
wanted=$(printf '%s\n' "${members[@]}" | sort)
[ "$listing" = "$wanted" ] || fail "the zip holds:"$'\n'"$listing"$'\n'"expected:"$'\n'"$wanted"
unzip -q "$zip" -d "$work/zip"
exe=$work/zip/$name
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# wine now and then fails to start a program on a busy machine (an internal
# error before the program runs); one retry tells that apart from a fault.
wine_run() {
  wine "$@" || wine "$@"
}
round_trip wine_run "$exe/Fennbind.exe" "$exe/Fennloose.exe" "$work/zip-fenn"
diff -r "$work/zip-fenn/Data" "$work/zip-fenn/Out" || fail "Fennbind.exe/Fennloose.exe changed the data"
round_trip wine_run "$exe/Morrbind.exe" "$exe/Morrloose.exe" "$work/zip-morr"
check_short "$work/zip-morr" "Morrbind.exe/Morrloose.exe"
for archive in zip-fenn zip-morr; do
  wine_run "$exe/qxarc.exe" test "$work/$archive/Data.agg" >/dev/null || fail "qxarc.exe test $archive/Data.agg"
done
# The entry order may differ (each follows its file system's listing), the
# size may not.
[ "$(wc -c <"$work/zip-fenn/Data.agg")" = "$(wc -c <"$work/deb-fenn/Data.agg")" ] ||
  fail "the Windows and Linux archives of examples/Data differ in size"
echo "programs from the zip under wine: both round trips match, qxarc.exe reads both archives"
echo "test-packages: all checks passed"
