#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS on its committed seed corpus and
# fails on the first finding.  New inputs go to a scratch corpus in the build
# directory, never into fuzz/corpus/; a finding is written there as
# findings/<target>-crash-*, to be turned into a regression test.
#
# Usage: fuzz/run.sh BUILD_DIR [SECONDS]   (FUZZ_TARGETS="decoder_fuzz" runs one;
# each target reads the seeds of its direction, fuzz/corpus/decoder or encoder)
set -euo pipefail
build_dir=$(cd "${1:?build directory}" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)

# The largest input: compressed files of a few KiB already hold every
# dictionary shape, and each one costs the literal walk up to 255 record
# checks per payload bit; large payloads and sources are grown from small
# inputs by the *_large_fuzz targets.
max_len=4096
targets=${FUZZ_TARGETS:-decoder_fuzz decoder_large_fuzz encoder_fuzz encoder_large_fuzz}

# A smaller quarantine than AddressSanitizer's 256 MiB: each run allocates
# and frees megabyte buffers, and fresh pages for every one of them would
# cost a third of the executions; recent frees are still caught.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=32"

mkdir -p "$build_dir/findings"
status=0
for target in $targets; do
  direction=${target%%_*}
  corpus="$build_dir/corpus/$target"
  mkdir -p "$corpus"
  log="$build_dir/$target.log"
  echo "== $target: ${seconds}s"
  if "$build_dir/fuzz/$target" "$corpus" "$here/corpus/$direction" \
      -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build_dir/findings/$target-" >"$log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    grep -E 'cov: [0-9]+' "$log" | tail -n 1 || true
  else
    echo "FINDING in $target (log: $log):"
    tail -n 40 "$log"
    ls -1 "$build_dir/findings" || true
    status=1
  fi
done
exit $status
