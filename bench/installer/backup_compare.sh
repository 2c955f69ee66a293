#!/usr/bin/env bash
# The update's backup copy of a 1 GiB, 2,000-file application bundle: copyBundle against
# `cp -a`, alternated in the same run, each into a fresh folder, best of five.
# Usage: bench/installer/backup_compare.sh [BUILD_DIR]. The bundle is written once into
# $KESTRYN_BENCH_BACKUP (default /tmp/kestryn-bench-backup) and reused by later runs.
set -euo pipefail
build=${1:-build}
inputs=${KESTRYN_BENCH_BACKUP:-/tmp/kestryn-bench-backup}
export KESTRYN_BENCH_BACKUP=$inputs
app=$inputs/Sample.app
out=$inputs/out

if [ ! -f "$app/Contents/MacOS/Sample" ]; then
    python3 - "$app" <<'PYTHON'
import os, random, sys
app = sys.argv[1]
generator = random.Random(2026)
os.makedirs(f"{app}/Contents/MacOS", exist_ok=True)
os.makedirs(f"{app}/Contents/Resources", exist_ok=True)
size = (1 << 30) // 2000
for index in range(2000):
    name = "MacOS/Sample" if index == 0 else f"Resources/data-{index:04}.bin"
    with open(f"{app}/Contents/{name}", "wb") as file:
        file.write(generator.randbytes(size))
    if index % 100 == 0:
        os.setxattr(f"{app}/Contents/{name}", "user.com.apple.FinderInfo", bytes(32))
os.chmod(f"{app}/Contents/MacOS/Sample", 0o755)
os.setxattr(app, "user.com.apple.FinderInfo", bytes(32))
PYTHON
fi
# Copies of the previous run go now, long before anything is measured.
rm -rf "$out"
mkdir -p "$out"

# Each tool starts with the bundle in the page cache and no other copy still being written back.
warm() {
    find "$app" -type f -exec cat {} + >/dev/null
    sync
}

cp_s="" copy_ms=""
for round in 1 2 3 4 5; do
    warm
    seconds=$( { /usr/bin/time -f '%e' cp -a "$app" "$out/cp-$round.app" >/dev/null; } 2>&1 | tail -n 1)
    if [ -z "$cp_s" ] || awk "BEGIN{exit !($seconds < $cp_s)}"; then cp_s=$seconds; fi
    warm
    ms=$("$build/bin/backup_bench" --benchmark_format=json 2>/dev/null |
        python3 -c 'import json,sys; print(json.load(sys.stdin)["benchmarks"][0]["real_time"])')
    if [ -z "$copy_ms" ] || awk "BEGIN{exit !($ms < $copy_ms)}"; then copy_ms=$ms; fi
done
printf '%-14s %8.0f ms\n' "cp -a" "$(awk "BEGIN{print $cp_s*1000}")"
printf '%-14s %8.0f ms\n' "copyBundle" "$copy_ms"
awk -v a="$copy_ms" -v b="$cp_s" \
    'BEGIN{printf "copyBundle speed / cp -a speed: %.2f (goal >= 1.0)\n", b*1000/a}'

# The copies are removed after the last measurement, never right before one.
rm -rf "$out"
