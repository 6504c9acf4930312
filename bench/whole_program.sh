#!/usr/bin/env bash
# Times the whole program compressing and restoring FILE, beside
# `cat FILE > /dev/null`: through the menu in pipe mode and, where the
# program has a command line, as `huffman FILE` and `huffman -d FILE.huf`;
# on every core and on one (taskset -c 0), and on the command line with
# -T 1, -T 0 (every core) and -T 8, and with --no-check (a bare file beside
# the checked one the command line writes).  The source is in the page cache
# and the outputs are new files.  All variants run in turn in each round, so a busy
# machine slows them alike; best of ROUNDS (default 5), in MB/s of FILE's
# size (1 MB = 10^6 bytes), with the peak RSS of one more run.
# Usage: whole_program.sh PROGRAM FILE
set -euo pipefail
program=$(realpath "$1")
file=$(realpath "$2")
rounds=${ROUNDS:-5}
size=$(stat -L -c %s "$file")
work=$(mktemp -d "${TMPDIR:-/tmp}/huffman-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p menu cli/back cli/bare cli/bare_back
cp "$file" menu/source
cp "$file" cli/source
cores=$(nproc)

have_taskset=0
taskset -c 0 true 2> /dev/null && have_taskset=1
have_cli=0
"$program" --help < /dev/null 2> /dev/null | grep -q -- --threads && have_cli=1
have_no_check=0
"$program" --help < /dev/null 2> /dev/null | grep -q -- --no-check && have_no_check=1

# Variant INDEX compresses or restores; `prepare` removes its output first
# (outside the timing).  The menu lists its folder sorted: "packed.txt"
# before "source".
one_core() { taskset -c 0 "$@"; }
# The menu runs in its folder with its keys on a pipe (bash gives a short
# here-string as one), started as the command line is: no extra process
# writes the keys.
in_menu() {  # in_menu KEYS COMMAND...
  local keys=$1
  shift
  pushd menu > /dev/null
  "$@" > /dev/null <<< "$keys"
  popd > /dev/null
}
compress_keys=$'1\n1\npacked\n\n0'
restore_keys=$'1\n2\nrestored\n\n0'
run_variant() {  # run_variant INDEX compress|restore
  case "$1:$2" in
    0:compress) in_menu "$compress_keys" "$program" ;;
    0:restore) in_menu "$restore_keys" "$program" ;;
    1:compress) in_menu "$compress_keys" one_core "$program" ;;
    1:restore) in_menu "$restore_keys" one_core "$program" ;;
    2:compress) "$program" -T 1 cli/source ;;
    2:restore) "$program" -T 1 -d cli/back/source.huf ;;
    3:compress) "$program" -T 0 cli/source ;;
    3:restore) "$program" -T 0 -d cli/back/source.huf ;;
    4:compress) "$program" -T 8 cli/source ;;
    4:restore) "$program" -T 8 -d cli/back/source.huf ;;
    5:compress) one_core "$program" cli/source ;;
    5:restore) one_core "$program" -d cli/back/source.huf ;;
    6:compress) "$program" -T 0 --no-check -o cli/bare/source.huf cli/source ;;
    6:restore) "$program" -T 0 -d cli/bare_back/source.huf ;;
  esac
}
prepare() {  # prepare INDEX compress|restore
  case "$1:$2" in
    [01]:compress) rm -f menu/packed.txt ;;
    [01]:restore) rm -f menu/restored.txt ;;
    6:compress) rm -f cli/bare/source.huf ;;
    6:restore) rm -f cli/bare_back/source && { [ -e cli/bare_back/source.huf ] || cp cli/bare/source.huf cli/bare_back/source.huf; } ;;
    *:compress) rm -f cli/source.huf ;;
    *:restore) rm -f cli/back/source && { [ -e cli/back/source.huf ] || cp cli/source.huf cli/back/source.huf; } ;;
  esac
}
variants=("menu, every core ($cores)")
[ $have_taskset = 1 ] && variants[1]="menu, taskset -c 0"
if [ $have_cli = 1 ]; then
  variants[2]="command line -T 1"
  variants[3]="command line -T 0 ($cores)"
  variants[4]="command line -T 8"
  [ $have_taskset = 1 ] && variants[5]="command line, taskset -c 0"
  [ $have_no_check = 1 ] && variants[6]="command line -T 0 --no-check"
fi

elapsed() { local start=$EPOCHREALTIME; "$@"; awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }'; }
read_only() { cat menu/source > /dev/null; }
min() { printf '%s\n' "$@" | sort -g | head -n 1; }
rate() { awk -v s="$size" -v t="$1" 'BEGIN { printf "%.0f", s / t / 1e6 }'; }
rss() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -n 1; }

declare -A best
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
cat "$file" > /dev/null
for round in $(seq "$rounds"); do
  t=$(elapsed read_only)
  best[cat]=$(min "$t" "${best[cat]:-1e9}")
  for index in "${!variants[@]}"; do
    for step in compress restore; do
      prepare "$index" "$step"
      t=$(elapsed run_variant "$index" "$step")
      best[$index:$step]=$(min "$t" "${best[$index:$step]:-1e9}")
    done
  done
  cmp -s menu/source menu/restored.txt || { echo "menu: restored file differs" >&2; exit 1; }
  if [ $have_cli = 1 ]; then
    cmp -s cli/source cli/back/source || { echo "command line: restored file differs" >&2; exit 1; }
    rm -f cli/back/source.huf  # the next round restores what it compressed
  fi
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

printf 'whole program on %s (%s bytes, %s compressed), best of %s, %s cores, load %s -> %s\n' \
  "$(basename "$file")" "$size" "$(stat -c %s menu/packed.txt)" "$rounds" "$cores" "$load_before" "$load_after"
printf '  %-30s %15s %15s %22s\n' "" "compress" "decompress" "peak RSS comp/dec"
printf '  %-30s %6s MB/s %.3fs\n' "cat FILE > /dev/null" "$(rate "${best[cat]}")" "${best[cat]}"
export -f run_variant one_core in_menu
export program compress_keys restore_keys
for index in "${!variants[@]}"; do
  c=${best[$index:compress]}
  r=${best[$index:restore]}
  memory="-"
  if [ -x /usr/bin/time ]; then
    prepare "$index" compress
    memory="$(rss bash -c "run_variant $index compress")"
    prepare "$index" restore
    memory="$memory / $(rss bash -c "run_variant $index restore") KiB"
  fi
  printf '  %-30s %6s MB/s %.3fs %6s MB/s %.3fs %22s\n' "${variants[$index]}" "$(rate "$c")" "$c" "$(rate "$r")" "$r" "$memory"
done
if [ $have_taskset = 1 ]; then
  scale() { awk -v one="$1" -v all="$2" 'BEGIN { printf "x%.2f", one / all }'; }
  printf '  one core -> %s cores: menu compress %s, decompress %s' "$cores" \
    "$(scale "${best[1:compress]}" "${best[0:compress]}")" "$(scale "${best[1:restore]}" "${best[0:restore]}")"
  if [ $have_cli = 1 ]; then
    printf '; command line compress %s, decompress %s' \
      "$(scale "${best[5:compress]}" "${best[3:compress]}")" "$(scale "${best[5:restore]}" "${best[3:restore]}")"
  fi
  printf '\n'
fi
