#!/usr/bin/env bash
# Runs the fuzz targets on their committed seed corpora for a budget of
# SECONDS in all, fails on the first finding, and prints the executions of
# each target.  Most of the budget goes to decoder_fast_fuzz, one process per
# core on a shared corpus (the decoder reads files from anywhere, and this
# target checks every input's properties without the literal walk on each);
# the differential decoder, the encoder and the two large-input targets keep
# a share each.  New inputs go to a scratch corpus in the build directory,
# never into fuzz/corpus/; a finding is written there as
# findings/<target>-crash-*, to be turned into a regression test by adding
# the file to fuzz/corpus/<direction>/.
#
# Usage: fuzz/run.sh BUILD_DIR [SECONDS]   (default 300; FUZZ_TARGETS="decoder_fuzz"
# runs one target for the whole budget; each target reads the seeds of its
# direction, fuzz/corpus/decoder or encoder)
#
# Keeping the seed corpus small and covering: after a run, merge what the
# scratch corpus found into the seeds, keeping only inputs that add code
# edges (-use_counters=0: without it, every new hit count of an edge keeps
# an input, five times as many):
#   build-fuzz/fuzz/decoder_fast_fuzz -merge=1 -use_counters=0 -max_len=4096 \
#       fuzz/corpus/decoder build-fuzz/corpus/decoder_fast_fuzz build-fuzz/corpus/decoder_fuzz
# (the same with encoder_fuzz, fuzz/corpus/encoder and build-fuzz/corpus/encoder_fuzz),
# then run the replay tests (ctest -R fuzz_inputs), which check every seed
# on every build.
set -euo pipefail
build_dir=$(cd "${1:?build directory}" && pwd)
budget=${2:-300}
here=$(cd "$(dirname "$0")" && pwd)

# The largest input: compressed files of a few KiB already hold every
# dictionary shape, and each one costs the literal walk up to 255 record
# checks per payload bit; large payloads and sources are grown from small
# inputs by the *_large_fuzz targets.
max_len=4096
# Shares of the budget, in percent.
declare -A share=([decoder_fast_fuzz]=65 [decoder_fuzz]=10 [decoder_large_fuzz]=5 [encoder_fuzz]=10
  [encoder_large_fuzz]=10)
targets=${FUZZ_TARGETS:-decoder_fast_fuzz decoder_fuzz decoder_large_fuzz encoder_fuzz encoder_large_fuzz}
processes=$(nproc 2>/dev/null || echo 1)

# A smaller quarantine than AddressSanitizer's 256 MiB: recent frees are
# still caught, and the memory stays bounded over millions of executions.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=32"

# The executions a libFuzzer log reports: its final statistics, else the
# last status line's count (#N).
executions() {
  local n
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -n 1)
  [ -n "$n" ] || n=$(grep -oE '^#[0-9]+' "$1" | tail -n 1 | tr -d '#')
  echo "${n:-0}"
}

mkdir -p "$build_dir/findings"
status=0
table=()
decoder_total=0
for target in $targets; do
  direction=${target%%_*}
  corpus="$build_dir/corpus/$target"
  mkdir -p "$corpus"
  if [ "$(echo $targets | wc -w)" -eq 1 ]; then
    seconds=$budget
  else
    seconds=$((budget * ${share[$target]:-10} / 100))
  fi
  count=1
  [ "$target" = decoder_fast_fuzz ] && count=$processes
  echo "== $target: ${seconds}s, $count process(es)"
  pids=()
  for ((i = 0; i < count; i++)); do
    # Each process rereads the shared corpus now and then (-reload), so that
    # what one finds the others build on.
    "$build_dir/fuzz/$target" "$corpus" "$here/corpus/$direction" \
      -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 -reload=10 \
      -print_final_stats=1 -artifact_prefix="$build_dir/findings/$target-" >"$build_dir/$target.$i.log" 2>&1 &
    pids+=($!)
  done
  failed=0
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  total=0
  for ((i = 0; i < count; i++)); do
    log="$build_dir/$target.$i.log"
    total=$((total + $(executions "$log")))
    if grep -qE 'ERROR: libFuzzer|fuzz property broken|ERROR: (Address|Undefined|Leak)Sanitizer|runtime error' "$log"; then
      echo "FINDING in $target (log: $log):"
      tail -n 40 "$log"
      failed=1
    fi
  done
  [ "$direction" = decoder ] && decoder_total=$((decoder_total + total))
  grep -E 'cov: [0-9]+' "$build_dir/$target.0.log" | tail -n 1 || true
  if [ "$failed" -ne 0 ]; then
    ls -1 "$build_dir/findings" || true
    status=1
  fi
  table+=("$(printf '%-20s %6s %12s %10s' "$target" "$seconds" "$total" "$((total / (seconds > 0 ? seconds : 1)))")")
done

echo
printf '%-20s %6s %12s %10s\n' target seconds executions exec/s
printf '%s\n' "${table[@]}"
echo "decoder inputs in all: $decoder_total"
exit $status
