#!/usr/bin/env bash
# The installer's ZIP paths against the standard tools, in the same run, side by side:
#   inspecting a 65,534-entry package   kestryn inspect / inspectZIP   against  zipinfo -1
#   unpacking a 1 GiB, 2,000-file app   unpackZIP                      against  bsdtar -xf
# Usage: bench/installer/compare.sh [BUILD_DIR]. Inputs are written once into
# $KESTRYN_BENCH_INPUTS (default /tmp/kestryn-bench-installer) and reused by later runs.
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
inputs=${KESTRYN_BENCH_INPUTS:-/tmp/kestryn-bench-installer}
export KESTRYN_BENCH_INPUTS=$inputs
entries=$inputs/entries-65534.zip
application=$inputs/app-1GiB.zip
out=$inputs/out

python3 "$here/make_inputs.py" "$inputs"
# Unpacked trees of the previous run go now, long before anything is measured.
rm -rf "$out"
mkdir -p "$out"

warm() { cat "$@" >/dev/null; }

best_of() { # runs, command... : the shortest wall time in seconds and the peak RSS in KiB
    local runs=$1
    shift
    local best="" rss=0
    for _ in $(seq "$runs"); do
        local start end kib
        start=$(date +%s%N)
        kib=$( { /usr/bin/time -f '%M' "$@" >/dev/null; } 2>&1 | tail -n 1)
        end=$(date +%s%N)
        local seconds
        seconds=$(awk "BEGIN{print ($end - $start) / 1e9}")
        if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
        if [ "$kib" -gt "$rss" ]; then rss=$kib; fi
    done
    echo "$best $rss"
}

echo "== inspect a 65,534-entry package ($(stat -c %s "$entries") bytes)"
warm "$entries"
read -r zipinfo_s zipinfo_kib <<<"$(best_of 10 zipinfo -1 "$entries")"
read -r inspect_s inspect_kib <<<"$(best_of 10 "$build/bin/kestryn" inspect "$entries")"
inspect_ms=$("$build/bin/installer_bench" --benchmark_filter=inspectZIP65534 \
    --benchmark_format=json 2>/dev/null |
    python3 -c 'import json,sys; print(json.load(sys.stdin)["benchmarks"][0]["real_time"])')
printf '%-34s %8.1f ms  peak RSS %6.1f MiB\n' "zipinfo -1" "$(awk "BEGIN{print $zipinfo_s*1000}")" \
    "$(awk "BEGIN{print $zipinfo_kib/1024}")"
printf '%-34s %8.1f ms  peak RSS %6.1f MiB\n' "kestryn inspect (whole process)" \
    "$(awk "BEGIN{print $inspect_s*1000}")" "$(awk "BEGIN{print $inspect_kib/1024}")"
printf '%-34s %8.1f ms\n' "inspectZIP (in process)" "$inspect_ms"
awk -v a="$inspect_s" -v b="$zipinfo_s" 'BEGIN{printf "kestryn inspect time / zipinfo time: %.2f (goal <= 0.5)\n", a/b}'

echo "== unpack a 1 GiB, 2,000-file application ($(stat -c %s "$application") bytes packed)"
# Alternate the two tools, each into a fresh folder as a staging folder is, and keep the best.
bsdtar_s="" bsdtar_kib=0 unpack_ms="" unpack_mib=0
for _ in 1 2 3; do
    warm "$application"
    read -r seconds kib <<<"$(best_of 1 sh -c \
        'exec bsdtar -xf "$1" -C "$(mktemp -d -p "$0" bsdtar-XXXXXX)"' "$out" "$application")"
    if [ -z "$bsdtar_s" ] || awk "BEGIN{exit !($seconds < $bsdtar_s)}"; then bsdtar_s=$seconds; fi
    if [ "$kib" -gt "$bsdtar_kib" ]; then bsdtar_kib=$kib; fi
    warm "$application"
    read -r ms mib <<<"$("$build/bin/installer_bench" --benchmark_filter=unpackZIP1GiB \
        --benchmark_format=json 2>/dev/null | python3 -c 'import json,sys
b = json.load(sys.stdin)["benchmarks"][0]
print(b["real_time"], b["peak_rss_MiB"])')"
    if [ -z "$unpack_ms" ] || awk "BEGIN{exit !($ms < $unpack_ms)}"; then unpack_ms=$ms; fi
    unpack_mib=$mib
done
printf '%-34s %8.0f ms  peak RSS %6.1f MiB\n' "bsdtar -xf" "$(awk "BEGIN{print $bsdtar_s*1000}")" \
    "$(awk "BEGIN{print $bsdtar_kib/1024}")"
printf '%-34s %8.0f ms  peak RSS %6.1f MiB (includes the mapped package)\n' "unpackZIP" \
    "$unpack_ms" "$unpack_mib"
awk -v a="$unpack_ms" -v b="$bsdtar_s" \
    'BEGIN{printf "unpackZIP speed / bsdtar speed: %.2f (goal >= 0.9)\n", b*1000/a}'

# The unpacked trees are removed after the last measurement, never right before one.
rm -rf "$out"
