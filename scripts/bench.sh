#!/usr/bin/env bash
# Measures the four programs against what a user would reach for instead:
# `tar cf` / `tar xf` of the same folders, and for the BMP files also Pillow
# decoding them to palette indices in one Python process.
#
#   scripts/bench.sh [--no-build] [--runs N] [--quick]
#
# Builds the release preset (unless --no-build), generates the corpora under
# build/bench/corpus/ (once; later runs reuse them), then times every
# command with hyperfine (one warm-up run, then N timed runs, medians; warm
# page cache), records peak resident memory with /usr/bin/time -v, and prints
# the result tables (also written to build/bench/results/report.md).
# --quick skips the growth runs.
#
# Environment: QX_BENCH_BIN (folder of the programs, default
# build/release/bin), QX_BENCH_DIR (work folder, default build/bench).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
runs=5
quick=0
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0 ;;
    --runs) runs=$2; shift ;;
    --quick) quick=1 ;;
    *) echo "usage: scripts/bench.sh [--no-build] [--runs N] [--quick]" >&2; exit 2 ;;
  esac
  shift
done

bin=$(realpath -m "${QX_BENCH_BIN:-build/release/bin}")
work=$(realpath -m "${QX_BENCH_DIR:-build/bench}")
corpus=$work/corpus
out=$work/out
results=$work/results
trash=$work/trash

scripts/install-deps.sh hyperfine python3-pil time
if [ "$build" = 1 ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release
fi
for program in Fennbind Morrbind Fennloose Morrloose; do
  [ -x "$bin/$program" ] || { echo "missing $bin/$program" >&2; exit 1; }
done

echo "== Corpora"
python3 bench/make_corpus.py "$work"
# Outputs left by an interrupted run are deleted; after that, and after the
# deletion that ends a recent run, the file system must forget the deleted
# inodes (see bench/aside.sh) before anything is timed: 60 s after a sync.
stamp=$work/.outputs-deleted
if [ -e "$out" ] || [ -e "$trash" ]; then
  rm -rf "$out" "$trash"
  sync
  touch "$stamp"
fi
if [ -e "$stamp" ]; then
  wait=$((65 - $(date +%s) + $(stat -c %Y "$stamp")))
  if [ "$wait" -gt 0 ]; then
    echo "== Waiting $wait s: outputs were deleted less than a minute ago"
    sleep "$wait"
  fi
fi
rm -rf "$results"
mkdir -p "$out" "$results" "$trash"

# Times commands with hyperfine; each command's --prepare (untimed) clears
# the way, so no run overwrites an earlier result.
hf() {
  local json=$1
  shift
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$results/$json.json" "$@" \
    | grep -E '^(Benchmark|  Time)' || true
}

# Peak resident memory of one run (after the timed runs, so the cache is warm).
mem() {
  local name=$1 prepare=$2
  shift 2
  bash -c "$prepare"
  /usr/bin/time -v -o "$results/mem-$name.txt" "$@" >/dev/null 2>&1 || {
    echo "failed: $*" >&2
    cat "$results/mem-$name.txt" >&2
    exit 1
  }
}

# Pack and unpack one folder with both layouts and with tar. Each run first
# clears its output path with `$clear PATH`: bench/aside.sh moves the previous
# run's output aside (it explains why it is not deleted) and flushes dirty
# data; the large files are simply deleted (drop).
drop() { echo "rm -rf $1 && sync"; }
aside() { echo "$root/bench/aside.sh $1 $trash"; }

measure() {
  local set=$1 clear=$2
  local src=$corpus/$set
  echo "== $set: pack"
  hf "$set-pack" \
    -n Fennbind --prepare "$($clear $out/$set.agg)" "$bin/Fennbind $out/$set.agg $src" \
    -n Morrbind --prepare "$($clear $out/$set-m.agg)" "$bin/Morrbind $out/$set-m.agg $src" \
    -n "tar cf" --prepare "$($clear $out/$set.tar)" "tar cf $out/$set.tar -C $corpus $set"
  echo "== $set: unpack"
  hf "$set-unpack" \
    -n Fennloose --prepare "$($clear $out/$set-f)" "$bin/Fennloose $out/$set.agg $out/$set-f" \
    -n Morrloose --prepare "$($clear $out/$set-m)" "$bin/Morrloose $out/$set-m.agg $out/$set-m" \
    -n "tar xf" --prepare "$($clear $out/$set-t) && mkdir $out/$set-t" \
    "tar xf $out/$set.tar -C $out/$set-t"
}

# Peak memory of each program on one folder.
measure_memory() {
  local set=$1 clear=$2
  local src=$corpus/$set
  mem "$set-Fennbind" "$($clear $out/$set.agg)" "$bin/Fennbind" "$out/$set.agg" "$src"
  mem "$set-Morrbind" "$($clear $out/$set-m.agg)" "$bin/Morrbind" "$out/$set-m.agg" "$src"
  mem "$set-tar-cf" "$($clear $out/$set.tar)" tar cf "$out/$set.tar" -C "$corpus" "$set"
  mem "$set-Fennloose" "$($clear $out/$set-f)" "$bin/Fennloose" "$out/$set.agg" "$out/$set-f"
  mem "$set-Morrloose" "$($clear $out/$set-m)" "$bin/Morrloose" "$out/$set-m.agg" "$out/$set-m"
  mem "$set-tar-xf" "$($clear $out/$set-t) && mkdir $out/$set-t" \
    tar xf "$out/$set.tar" -C "$out/$set-t"
}

echo "== Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
  "kernel $(uname -r), $(df -T "$work" | awk 'NR==2 {print $2}') file system"
echo "== Load before: $(cut -d' ' -f1-3 /proc/loadavg)"

measure small aside
measure_memory small aside
# The large outputs are few files: deleting them costs later file creations
# nothing, and keeps gigabytes from being written back to disk.
measure large drop
measure_memory large drop
rm -rf "$out"/large*

echo "== images: pack against Pillow"
images=$corpus/images
hf images-pack \
  -n Fennbind --prepare "$(aside $out/images.agg)" "$bin/Fennbind $out/images.agg $images" \
  -n Morrbind --prepare "$(aside $out/images-m.agg)" "$bin/Morrbind $out/images-m.agg $images" \
  -n Pillow --prepare sync "/usr/bin/python3 $root/bench/pillow_decode.py $images" \
  -n "tar cf" --prepare "$(aside $out/images.tar)" "tar cf $out/images.tar -C $corpus images"
echo "== images: unpack"
hf images-unpack \
  -n Fennloose --prepare "$(aside $out/images-f)" "$bin/Fennloose $out/images.agg $out/images-f" \
  -n Morrloose --prepare "$(aside $out/images-m)" "$bin/Morrloose $out/images-m.agg $out/images-m" \
  -n "tar xf" --prepare "$(aside $out/images-t) && mkdir $out/images-t" \
  "tar xf $out/images.tar -C $out/images-t"
measure_memory images aside
mem images-Pillow true /usr/bin/python3 "$root/bench/pillow_decode.py" "$images"

if [ "$quick" = 0 ]; then
  for count in 1000 10000 65535; do
    set=scale-$count
    echo "== growth: $count files"
    measure "$set" aside
  done
fi

echo "== Load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Deleting the outputs"
rm -rf "$out" "$trash"
sync
touch "$stamp"
python3 bench/report.py "$work" | tee "$results/report.md"
