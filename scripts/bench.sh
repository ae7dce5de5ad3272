#!/usr/bin/env bash
# Measures the four programs (and qxarc's pack, extract and update where the
# built qxarc has them) against what a user would reach for instead:
# `tar cf` / `tar xf` of the same folders (and `tar cf` followed by `sync` of
# its archive, for durable packing), for the BMP files also Pillow decoding
# them to palette indices in one Python process; and against the floor,
# build/<preset>/bench/qx_floor, which packs and unpacks the same data with
# nothing but the open, read, write and close calls the job needs.
#
#   scripts/bench.sh [--no-build] [--runs N] [--quick]
#
# Builds the release preset (unless --no-build), generates the corpora under
# build/bench/corpus/ (once; later runs reuse them), then times every
# command with hyperfine (one warm-up run, then N timed runs, default 7;
# minimum, median and maximum; warm page cache), records peak resident memory with /usr/bin/time -v, and prints
# the result tables (also written to build/bench/results/report.md).
# --quick skips the growth runs.
#
# Where the outputs go: archives (pack results, tar files) are written to
# build/bench/out/, on the file system of build/. Unpacked folders are
# written to a folder on tmpfs (/dev/shm), because every timed run must
# start from an empty output folder and deleting tens of thousands of files
# between runs is not something a disk file system does for free: on ext4
# without a journal and with `discard` (the benchmark machine), each file
# deleted after write-back costs about a millisecond, and every file created
# in the next minutes scans all inodes deleted recently. Both would swamp
# the programs being measured, and hit tar and ours alike.
#
# Environment: QX_BENCH_BIN (folder of the programs, default
# build/release/bin), QX_BENCH_DIR (work folder, default build/bench),
# QX_BENCH_UNPACK_DIR (folder for unpacked output, default
# /dev/shm/qx-bench when /dev/shm exists, else build/bench/unpacked).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
runs=7
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
default_unpacked=$work/unpacked
[ -d /dev/shm ] && default_unpacked=/dev/shm/qx-bench
unpacked=$(realpath -m "${QX_BENCH_UNPACK_DIR:-$default_unpacked}")

scripts/install-deps.sh bench
if [ "$build" = 1 ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release
fi
for program in Fennbind Morrbind Fennloose Morrloose; do
  [ -x "$bin/$program" ] || { echo "missing $bin/$program" >&2; exit 1; }
done
floor=$(realpath -m "${QX_BENCH_FLOOR:-$bin/../bench/qx_floor}")
[ -x "$floor" ] || { echo "missing $floor" >&2; exit 1; }
# qxarc's commands are measured where the built qxarc has them.
qxarc=$bin/qxarc
has() { [ -x "$qxarc" ] && "$qxarc" "$1" --help >/dev/null 2>&1; }
has pack && qx_pack=1 || qx_pack=0
has extract && qx_extract=1 || qx_extract=0
has update && qx_update=1 || qx_update=0

echo "== Corpora"
python3 bench/make_corpus.py "$work"
rm -rf "$out" "$results" "$unpacked"
mkdir -p "$out" "$results" "$unpacked"

# Runs of a few tens of milliseconds are repeated more often: the machine's
# noise is large against them.
short_runs=$((runs * 4))
hf_runs=

# Times commands with hyperfine. Each command's --prepare (untimed) removes
# what the previous run made and flushes dirty data, so every run starts
# from the same state and no run pays for writing back another's output.
hf() {
  local json=$1
  shift
  hyperfine --style basic --warmup 1 --runs "${hf_runs:-$runs}" --export-json "$results/$json.json" "$@" \
    | grep -E '^(Benchmark|  Time)' || true
}

# Peak resident memory of one run (after the timed runs, so the cache is
# warm): mem NAME PREPARE FOLDER COMMAND...
mem() {
  local name=$1 prepare=$2 folder=$3
  shift 3
  bash -c "$prepare"
  (cd "$folder" && /usr/bin/time -v -o "$results/mem-$name.txt" "$@" >/dev/null 2>&1) || {
    echo "failed: $*" >&2
    cat "$results/mem-$name.txt" >&2
    exit 1
  }
}

# Pack and unpack one folder with both layouts and with tar. Both sides run
# in the same current folder with the same relative names (`tar -C` changes
# into the folder, so the programs are started there).
measure_pack() {
  local set=$1
  local extra=()
  if [ "$qx_pack" = 1 ]; then
    extra=(-n "qxarc pack" --prepare "rm -f $out/$set-q.agg && sync"
      "cd $corpus && $qxarc pack --layout long $out/$set-q.agg $set")
  fi
  echo "== $set: pack"
  hf "$set-pack" \
    -n floor --prepare "rm -f $out/$set.floor && sync" \
    "cd $corpus && $floor pack $out/$set.floor $set" \
    -n "floor + sync" --prepare "rm -f $out/$set.floor-s && sync" \
    "cd $corpus && $floor pack $out/$set.floor-s $set && sync $out/$set.floor-s" \
    -n Fennbind --prepare "rm -f $out/$set.agg && sync" \
    "cd $corpus && $bin/Fennbind $out/$set.agg $set" \
    -n Morrbind --prepare "rm -f $out/$set-m.agg && sync" \
    "cd $corpus && $bin/Morrbind $out/$set-m.agg $set" \
    "${extra[@]}" \
    -n "tar cf" --prepare "rm -f $out/$set.tar && sync" \
    "cd $corpus && tar cf $out/$set.tar $set" \
    -n "tar cf + sync" --prepare "rm -f $out/$set-s.tar && sync" \
    "cd $corpus && tar cf $out/$set-s.tar $set && sync $out/$set-s.tar"
}

# measure_unpack SET FOLDER [GROUP-SUFFIX]
measure_unpack() {
  local set=$1 u=$2 group=$1${3:-}
  local extra=()
  if [ "$qx_extract" = 1 ]; then
    extra=(-n "qxarc extract" --prepare "rm -rf $u/$set-q && sync"
      "cd $u && $qxarc extract $out/$set.agg -C $set-q")
  fi
  echo "== $set: unpack into $u"
  hf "$group-unpack" \
    -n floor --prepare "rm -rf $u/$set-l && sync" "cd $u && $floor unpack $out/$set.agg $set-l" \
    -n Fennloose --prepare "rm -rf $u/$set-f && sync" "cd $u && $bin/Fennloose $out/$set.agg $set-f" \
    -n Morrloose --prepare "rm -rf $u/$set-m && sync" "cd $u && $bin/Morrloose $out/$set-m.agg $set-m" \
    "${extra[@]}" \
    -n "tar xf" --prepare "rm -rf $u/$set-t && mkdir $u/$set-t && sync" \
    "cd $u && tar xf $out/$set.tar -C $set-t"
}

# qxarc update of one entry in the archive of the small corpus (20,000
# entries), beside packing the whole folder again.
measure_update() {
  local set=$1
  [ "$qx_update" = 1 ] || return 0
  local first
  # The first file by name (a pipe into head would fail the script through
  # pipefail when ls is cut off).
  for first in "$corpus/$set"/*; do break; done
  first=$(basename "$first")
  echo "== $set: update one entry"
  hf "$set-update" \
    -n "qxarc update" --prepare "cp $out/$set.agg $out/$set-u.agg && sync" \
    "cd $corpus/$set && $qxarc update $out/$set-u.agg $first" \
    -n Fennbind --prepare "rm -f $out/$set.agg && sync" \
    "cd $corpus && $bin/Fennbind $out/$set.agg $set"
}

# Peak memory of each program on one folder.
measure_memory() {
  local set=$1 u=$2
  mem "$set-Fennbind" "rm -f $out/$set.agg" "$corpus" "$bin/Fennbind" "$out/$set.agg" "$set"
  mem "$set-Morrbind" "rm -f $out/$set-m.agg" "$corpus" "$bin/Morrbind" "$out/$set-m.agg" "$set"
  mem "$set-tar-cf" "rm -f $out/$set.tar" "$corpus" tar cf "$out/$set.tar" "$set"
  mem "$set-Fennloose" "rm -rf $u/$set-f" "$u" "$bin/Fennloose" "$out/$set.agg" "$set-f"
  mem "$set-Morrloose" "rm -rf $u/$set-m" "$u" "$bin/Morrloose" "$out/$set-m.agg" "$set-m"
  mem "$set-tar-xf" "rm -rf $u/$set-t && mkdir $u/$set-t" "$u" tar xf "$out/$set.tar" -C "$set-t"
}

# Removes what one folder's runs made.
clean() {
  rm -rf "$out/$1".* "$out/$1"-?.* "$out/$1"-? "$unpacked/$1"-?
  sync
}

echo "== Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
  "kernel $(uname -r); build/ on $(df -T "$work" | awk 'NR==2 {print $2}'),"\
  "unpacked output on $(df -T "$unpacked" | awk 'NR==2 {print $2}')"
echo "== Load before: $(cut -d' ' -f1-3 /proc/loadavg)"

measure_pack small
measure_unpack small "$unpacked"
measure_update small
measure_memory small "$unpacked"
clean small
# The 16 large files are unpacked on the file system of build/ like the
# archives (deleting 16 files costs nothing), and once more on tmpfs for
# reference.
measure_pack large
measure_unpack large "$out"
measure_unpack large "$unpacked" -tmpfs
measure_memory large "$out"
clean large

echo "== images: pack against Pillow"
u=$unpacked
hf_runs=$short_runs
hf images-pack \
  -n Fennbind --prepare "rm -f $out/images.agg && sync" \
  "cd $corpus && $bin/Fennbind $out/images.agg images" \
  -n Morrbind --prepare "rm -f $out/images-m.agg && sync" \
  "cd $corpus && $bin/Morrbind $out/images-m.agg images" \
  -n Pillow --prepare sync "cd $corpus && /usr/bin/python3 $root/bench/pillow_decode.py images" \
  -n "tar cf" --prepare "rm -f $out/images.tar && sync" "cd $corpus && tar cf $out/images.tar images"
echo "== images: unpack"
hf images-unpack \
  -n Fennloose --prepare "rm -rf $u/images-f && sync" "cd $u && $bin/Fennloose $out/images.agg images-f" \
  -n Morrloose --prepare "rm -rf $u/images-m && sync" "cd $u && $bin/Morrloose $out/images-m.agg images-m" \
  -n "tar xf" --prepare "rm -rf $u/images-t && mkdir $u/images-t && sync" \
  "cd $u && tar xf $out/images.tar -C images-t"
hf_runs=
measure_memory images "$unpacked"
mem images-Pillow true "$corpus" /usr/bin/python3 "$root/bench/pillow_decode.py" images
clean images

if [ "$quick" = 0 ]; then
  for count in 1000 10000 65535; do
    echo "== growth: $count files"
    [ "$count" -lt 65535 ] && hf_runs=$short_runs
    measure_pack "scale-$count"
    measure_unpack "scale-$count" "$unpacked"
    hf_runs=
    clean "scale-$count"
  done
fi

echo "== Load after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -rf "$unpacked"
python3 bench/report.py "$work" | tee "$results/report.md"
