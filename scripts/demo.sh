#!/usr/bin/env bash
# Builds the programs and runs the main job on the bundled example folder:
# packs it with both packers, unpacks both archives and compares the result.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
cmake --preset release >/dev/null
cmake --build --preset release
bin=build/release/bin
work=build/demo
rm -rf "$work"
mkdir -p "$work"
cp -r examples/Data "$work/Data"
cd "$work"
echo "== Packing Data/ with Fennbind (long entries) and Morrbind (short entries)"
"../../$bin/Fennbind" Data.agg Data
"../../$bin/Morrbind" Morr.agg Data
ls -l Data.agg Morr.agg
echo "== Unpacking both archives"
"../../$bin/Fennloose" Data.agg FennOut
"../../$bin/Morrloose" Morr.agg MorrOut
echo "== Comparing with the original folder"
# tiles.bmp was drawn in the colours of H2Palette.bmp, so Fennloose gives it
# back byte for byte; Morrloose gives the same pixels in H1Palette's colours.
diff -r Data FennOut && echo "FennOut/ matches Data/ byte for byte"
diff -r -x '*.bmp' Data MorrOut && echo "MorrOut/ matches Data/ (images in H1Palette colours)"
# Its 32 x 16 pixel rows are the last 512 bytes of both files.
cmp <(tail -c 512 Data/tiles.bmp) <(tail -c 512 MorrOut/tiles.bmp) \
  && echo "MorrOut/tiles.bmp has every palette index of Data/tiles.bmp"
echo "Results are in $work/"
