#!/usr/bin/env bash
# Times the whole program over many small files, where the cost per file
# (opening, creating, putting in place) outweighs the coding: `huffman -q -f`
# over COUNT (default 1000) files of 4096 bytes cut from FILE, beside
# `gzip -k -f -1` over the same files where gzip is on the machine.  The two
# run in turn in each round, their outputs removed between runs (outside the
# timing), so a busy machine slows them alike; the median of ROUNDS (default
# 5) for each, in microseconds per file, and the median of the rounds'
# ratios.  Where strace is on the machine, also the system calls each file
# adds (one more run of COUNT files and one of a single file, traced).  The
# files lie in a memory file system (/dev/shm) where there is one: on a disk
# the file system's own cost of making a file can grow with every file
# removed in the minutes before (ext4 without a journal skips each recently
# freed inode), which would swamp both programs' costs.
# Usage: many_files.sh PROGRAM FILE
set -euo pipefail
program=$(realpath "$1")
file=$(realpath "$2")
rounds=${ROUNDS:-5}
count=${COUNT:-1000}
piece=4096
place=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && place=/dev/shm
work=$(mktemp -d "$place/huffman-files.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# Consecutive pieces of FILE, so that every run of the bench has the same files.
head -c $((count * piece)) "$file" | split -b $piece -a 6 -d - f
files=(f[0-9]*)
[ ${#files[@]} = "$count" ] || { echo "many_files.sh: $(basename "$file") holds fewer than $count pieces" >&2; exit 1; }

have_gzip=0
command -v gzip > /dev/null && have_gzip=1
have_strace=0
strace -f -c -o /dev/null true 2> /dev/null && have_strace=1

run_huffman() { "$program" -q -f "$@"; }
run_gzip() { gzip -k -f -1 "$@"; }
clean() { rm -f -- *.huf *.gz; }
elapsed() { local start=$EPOCHREALTIME; "$@"; awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
per_file() { awk -v t="$1" -v n="$count" 'BEGIN { printf "%.0f", t / n * 1e6 }'; }
# The system calls a run makes, from strace's summary.
calls() { strace -f -c -o "$work/trace" "$@" > /dev/null 2>&1 || true; awk '$NF == "total" { print $4 }' "$work/trace"; }
calls_per_file() {  # calls_per_file COMMAND...
  [ $have_strace = 1 ] || { echo "-"; return; }
  clean
  local all one
  all=$(calls "$@" "${files[@]}")
  clean
  one=$(calls "$@" "${files[0]}")
  clean
  awk -v a="$all" -v o="$one" -v n="$count" 'BEGIN { printf "%.1f", (a - o) / (n - 1) }'
}

huffman_times=()
gzip_times=()
ratios=()
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
cat "${files[@]}" > /dev/null
for round in $(seq "$rounds"); do
  clean
  h=$(elapsed run_huffman "${files[@]}")
  huffman_times+=("$h")
  if [ $have_gzip = 1 ]; then
    clean
    g=$(elapsed run_gzip "${files[@]}")
    gzip_times+=("$g")
    ratios+=("$(awk -v h="$h" -v g="$g" 'BEGIN { print h / g }')")
  fi
done
clean
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

printf 'many small files: %s files of %s bytes from %s on %s, median of %s, load %s -> %s\n' \
  "$count" "$piece" "$(basename "$file")" "$(stat -f -c %T "$work")" "$rounds" "$load_before" "$load_after"
printf '  %-22s %8s %10s %18s\n' "" "per file" "all" "system calls/file"
h=$(median "${huffman_times[@]}")
printf '  %-22s %5s us %9.3fs %18s\n' "huffman -q -f" "$(per_file "$h")" "$h" "$(calls_per_file "$program" -q -f)"
if [ $have_gzip = 1 ]; then
  g=$(median "${gzip_times[@]}")
  printf '  %-22s %5s us %9.3fs %18s\n' "gzip -k -f -1" "$(per_file "$g")" "$g" "$(calls_per_file gzip -k -f -1)"
  printf '  huffman / gzip: x%.2f (median of the rounds'"'"' ratios)\n' "$(median "${ratios[@]}")"
fi
