#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds examples/list-archive
# against the installed CMake package (find_package(qxarc CONFIG)), packs a
# small folder with the installed Fennbind and Morrbind (started through the
# links in bin/) and checks what the example lists for both archives. Also
# unpacks one through the installed Fennloose link, which must find its
# palette template beside the real program file.
#
#   install-example.sh BUILD_DIR EXAMPLE_DIR WORK_DIR GENERATOR CXX
set -euo pipefail
build=$1
example=$2
work=$3
generator=$4
cxx=$5

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
cmake -S "$example" -B "$work/build" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log"
cmake --build "$work/build" >"$work/build.log"
list=$work/build/list-archive

# Three entries: a text file, an empty file and an image record stored as it
# is (first byte 0x21: width 3, height 2, six palette indices) under the
# name Sky.bkg.
data=$work/Data
mkdir -p "$data"
printf 'hello\n' >"$data/readme.txt"
: >"$data/empty.dat"
printf '\x21\x00\x03\x00\x02\x00\x01\x02\x03\x04\x05\x06' >"$data/Sky.bkg.bmp"

cd "$work"
"$prefix/bin/Fennbind" Long.agg Data >/dev/null
"$prefix/bin/Morrbind" Short.agg Data >/dev/null

fail() {
  echo "$*" >&2
  exit 1
}

# expect ARCHIVE FIRST-LINE: the entry lines are compared without their
# index, in name order, since the folder's listing order is the file
# system's.
expect() {
  local archive=$1 head=$2 out
  out=$("$list" "$archive") || fail "list-archive $archive failed"
  [ "$(head -1 <<<"$out")" = "$head" ] || fail "list-archive $archive: first line '$(head -1 <<<"$out")', expected '$head'"
  local entries
  entries=$(tail -n +2 <<<"$out" | cut -d' ' -f2- | LC_ALL=C sort -k3)
  local wanted=$'12 image 3x2 Sky.bkg\n0 file empty.dat\n6 file readme.txt'
  [ "$entries" = "$wanted" ] || fail "list-archive $archive listed:"$'\n'"$out"
  # The indices run from 0 in table order.
  [ "$(tail -n +2 <<<"$out" | cut -d' ' -f1 | tr '\n' ' ')" = "0 1 2 " ] || fail "indices: $out"
}
# 2 + 3 x 12 + 18 data bytes + 3 x 15; the short layout has 10-byte entries.
expect Long.agg "long layout, 3 entries, 101 bytes"
expect Short.agg "short layout, 3 entries, 95 bytes"
if "$list" missing.agg 2>/dev/null; then fail "list-archive missing.agg succeeded"; fi

"$prefix/bin/Fennloose" Long.agg Out >/dev/null
[ -f Out/Sky.bkg.bmp ] || fail "the installed Fennloose wrote no Sky.bkg.bmp"
cmp -s Out/readme.txt Data/readme.txt || fail "Out/readme.txt differs"
echo "list-archive built against $prefix lists both layouts"
