#!/usr/bin/env bash
# Builds the benchmark corpus from files found on the machine, the same way
# every time: ~64 MB of text (man pages and documentation), ~64 MB of
# binaries, a skewed few-symbol file and random bytes.  Usage: make_corpus.sh DIR
set -euo pipefail
dir=${1:?usage: make_corpus.sh DIR}
size=$((64 * 1024 * 1024))
mkdir -p "$dir"

# Concatenates the files under each listed folder in turn (sorted, so the
# order is fixed) up to $size.
fill() {
  local out=$1 kind=$2
  shift 2
  : > "$out.tmp"
  while IFS= read -r f; do
    case "$kind" in
      text) case "$f" in *.gz) gzip -dc "$f" 2>/dev/null || true ;; *) cat "$f" 2>/dev/null || true ;; esac ;;
      binary) cat "$f" 2>/dev/null || true ;;
    esac >> "$out.tmp"
    [ "$(stat -c %s "$out.tmp")" -ge "$size" ] && break
  done < <(for top in "$@"; do find "$top" -type f 2>/dev/null | LC_ALL=C sort; done)
  head -c "$size" "$out.tmp" > "$out"
  rm -f "$out.tmp"
}

[ -s "$dir/text" ] || fill "$dir/text" text /usr/share/man /usr/share/doc /usr/share/common-licenses /usr/include
[ -s "$dir/binary" ] || fill "$dir/binary" binary /usr/bin /usr/lib/x86_64-linux-gnu /usr/lib
# Few symbols, very uneven: long runs of one byte with rare others.
[ -s "$dir/skewed" ] || python3 -c "
import random, sys
r = random.Random(1)
sys.stdout.buffer.write(bytes(r.choices(b'abcd', weights=[1000, 30, 5, 1], k=$size)))" > "$dir/skewed"
[ -s "$dir/random" ] || head -c "$size" <(python3 -c "
import random, sys
r = random.Random(2)
sys.stdout.buffer.write(r.randbytes($size))") > "$dir/random"
ls -l "$dir"
