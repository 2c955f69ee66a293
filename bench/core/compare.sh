#!/usr/bin/env bash
# SHA-256 of one 1 GiB file: `kestryn digest` against `openssl dgst -sha256`, in the same run,
# with throughput and peak memory side by side. Usage: bench/core/compare.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
kestryn=$build/bin/kestryn
file=${KESTRYN_BENCH_FILE:-/tmp/kestryn-bench-1GiB.bin}
size=$((1024 * 1024 * 1024))

if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne "$size" ]; then
    openssl enc -aes-128-ctr -pass pass:kestryn -nosalt -pbkdf2 </dev/zero 2>/dev/null |
        head -c "$size" >"$file"
fi
cat "$file" >/dev/null # warm the page cache

measure() { # label, command...
    local label=$1
    shift
    local best=""
    local rss=""
    for _ in 1 2 3; do
        local out
        out=$( { /usr/bin/time -f '%e %M' "$@" >/dev/null; } 2>&1 | tail -n 1)
        local seconds=${out% *}
        rss=${out#* }
        if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
    done
    awk -v l="$label" -v s="$best" -v r="$rss" -v b="$size" \
        'BEGIN{printf "%-22s %6.3f s  %7.2f GB/s  peak RSS %6.1f MiB\n", l, s, b/s/1e9, r/1024}'
    echo "$best" >"/tmp/kestryn-bench-$label"
}

measure kestryn-digest "$kestryn" digest "$file"
measure openssl-dgst openssl dgst -sha256 "$file"
awk -v a="$(cat /tmp/kestryn-bench-kestryn-digest)" -v b="$(cat /tmp/kestryn-bench-openssl-dgst)" \
    'BEGIN{printf "throughput relative to openssl: %.2f\n", b/a}'
