#!/usr/bin/env bash
# Times the whole program compressing and restoring FILE through its console
# in pipe mode (source in the page cache, output written to disk), beside
# `cat FILE > /dev/null` on the same file.  Best of three runs each, in MB/s
# of FILE's size (1 MB = 10^6 bytes).  Usage: whole_program.sh PROGRAM FILE
set -euo pipefail
program=$(realpath "$1")
file=$(realpath "$2")
size=$(stat -L -c %s "$file")
work=$(mktemp -d "${TMPDIR:-/tmp}/huffman-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
ln -s "$file" "$work/source"
cd "$work"

seconds() { local start end; start=$(date +%s.%N); "$@"; end=$(date +%s.%N); awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
rate() { awk -v s="$size" -v t="$1" 'BEGIN { printf "%.0f", s / t / 1e6 }'; }

# The listing is sorted: "packed.txt" comes before "source".
compress() { printf '1\n1\npacked\n\n0\n' | "$program" > /dev/null; }
restore() { printf '1\n2\nrestored\n\n0\n' | "$program" > /dev/null; }
read_only() { cat source > /dev/null; }

read_only
c=() r=() k=()
for run in 1 2 3; do
  rm -f packed.txt restored.txt
  k+=("$(seconds read_only)")
  c+=("$(seconds compress)")
  r+=("$(seconds restore)")
  cmp -s source restored.txt || { echo "restored file differs" >&2; exit 1; }
done
printf 'whole program on %s (%s bytes, %s compressed):\n' "$(basename "$file")" "$size" "$(stat -c %s packed.txt)"
for kind in compress decompress cat; do
  case $kind in compress) t=$(best "${c[@]}") ;; decompress) t=$(best "${r[@]}") ;; cat) t=$(best "${k[@]}") ;; esac
  printf '  %-10s %6s MB/s  (%.3f s)\n' "$kind" "$(rate "$t")" "$t"
done
# Peak memory, where GNU time is installed.
if [ -x /usr/bin/time ]; then
  rm -f packed.txt restored.txt
  printf '  peak RSS   compress %s KiB, decompress %s KiB\n' \
    "$(printf '1\n1\npacked\n\n0\n' | /usr/bin/time -f %M "$program" 2>&1 >/dev/null | tail -n 1)" \
    "$(printf '1\n2\nrestored\n\n0\n' | /usr/bin/time -f %M "$program" 2>&1 >/dev/null | tail -n 1)"
fi
