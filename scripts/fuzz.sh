#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang 14, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each one for a number of seconds.
#
#   scripts/fuzz.sh [seconds per target, default 30] [target...]
#
# Each target starts from its committed corpus fuzz/corpus/<what>/ (new
# inputs are added there) and the seeds made by fuzz/make_seeds.py. Crash
# inputs land in build/fuzz/artifacts/, logs in build/fuzz/logs/. Prints one
# line per target and exits with 1 when any target found a crash.
# With QX_FUZZ_SCRATCH=1 (as the test command runs it) new inputs go to
# build/fuzz/new/<what>/ instead, so the committed corpora stay as they are.
set -euo pipefail

seconds=${1:-30}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds per target] [target...]" >&2
  exit 2
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(archive loadbitmap manager rle8 streams)

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# libFuzzer ships with clang's runtime libraries.
have_libfuzzer() {
  command -v clang++-14 >/dev/null 2>&1 &&
    compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null
}
scripts/install-deps.sh fuzz
if ! have_libfuzzer; then
  echo "fuzz.sh: clang-14 with libFuzzer is missing; install clang-14 and libclang-rt-14-dev" >&2
  exit 2
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
mkdir -p "$build/artifacts" "$build/logs"
rm -rf "$build/seeds"
python3 fuzz/make_seeds.py "$build/seeds" >/dev/null

# Longest input per target: archives and BMP files need room for a few
# entries or rows; stream operations are a few bytes each.
max_len() {
  case $1 in
    archive | loadbitmap) echo 16384 ;;
    rle8) echo 8192 ;;
    *) echo 1024 ;;
  esac
}

status=0
for what in "${targets[@]}"; do
  binary=$build/bin/fuzz_$what
  if [ ! -x "$binary" ]; then
    echo "fuzz_$what: no such target" >&2
    status=1
    continue
  fi
  corpus=fuzz/corpus/$what
  mkdir -p "$corpus"
  corpora=("$corpus")
  if [ "${QX_FUZZ_SCRATCH:-0}" = 1 ]; then
    corpora=("$build/new/$what" "$corpus")
    mkdir -p "$build/new/$what"
  fi
  # A target without seeds of its own starts from its corpus alone.
  [ -d "$build/seeds/$what" ] && corpora+=("$build/seeds/$what")
  log=$build/logs/$what.log
  rc=0
  # libFuzzer stops itself after max_total_time; the outer timeout only
  # guards against a hang that its own per-input timeout does not catch.
  timeout --kill-after=10 $((seconds + 120)) "$binary" \
    -max_total_time="$seconds" -max_len="$(max_len "$what")" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$what-" \
    "${corpora[@]}" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | grep -oE 'cov: [0-9]+ ft: [0-9]+' | tail -1 || true)
  files=$(find "$corpus" -type f | wc -l)
  if [ "$rc" -eq 0 ]; then
    echo "fuzz_$what: ${execs:-0} executions in ${seconds}s, ${last:-no coverage line}, corpus $files files"
  else
    status=1
    echo "fuzz_$what: FAILED (exit $rc) after ${execs:-?} executions, ${last:-no coverage line}; see $log"
    grep -E 'ERROR|SUMMARY|property violated|unexpected error|Test unit written' "$log" | head -5 || true
  fi
done
exit "$status"
