#!/usr/bin/env bash
# One download over loopback HTTPS from kestryn-test-server: `kestryn download` (which also
# proves size and SHA-256) against `curl -o`, and against `curl -o` followed by
# `openssl dgst -sha256` (the same work as ours), in the same run, with `kestryn digest` alone to
# show the verification's share; then the peak memory of
# `kestryn download` for 100 MiB and 1 GiB, which must not grow with the file; last, the time to
# resume a 1 GiB download cut at 90% against starting over.
# Usage: bench/transport/compare.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
kestryn=$build/bin/kestryn
folder=${KESTRYN_BENCH_FOLDER:-/tmp/kestryn-bench-transport}
mkdir -p "$folder/served" "$folder/out"

make_file() { # name, MiB
    local file=$folder/served/$1
    local size=$(($2 * 1024 * 1024))
    if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne "$size" ]; then
        { openssl enc -aes-128-ctr -pass pass:kestryn -nosalt -pbkdf2 </dev/zero 2>/dev/null || true; } |
            head -c "$size" >"$file"
    fi
}
make_file 100MiB.bin 100
make_file 1GiB.bin 1024

"$build/bin/kestryn-test-server" "$folder/served" >"$folder/server.txt" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q '^ca=' "$folder/server.txt" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^port=//p' "$folder/server.txt")
ca=$(sed -n 's/^ca=//p' "$folder/server.txt")
export KESTRYN_CA_FILE=$ca

ours() { # name
    local file=$folder/served/$1
    "$kestryn" download --url "https://127.0.0.1:$port/$1" --sha256 "$(cat "$file.sha256")" \
        --size "$(stat -c %s "$file")" --to "$folder/out"
}
verification() { # name: the SHA-256 share of our work, alone
    "$kestryn" digest "$folder/served/$1"
}
theirs() { # name
    curl -sS --cacert "$ca" -o "$folder/out/curl.bin" "https://127.0.0.1:$port/$1"
}
theirs_checked() { # name
    theirs "$1" && openssl dgst -sha256 "$folder/out/curl.bin" >/dev/null
}
for name in 100MiB.bin 1GiB.bin; do
    [ -f "$folder/served/$name.sha256" ] ||
        sha256sum "$folder/served/$name" | cut -d' ' -f1 >"$folder/served/$name.sha256"
done
export -f ours verification theirs theirs_checked
export folder kestryn port ca

measure() { # label, bytes, function, name
    local label=$1 bytes=$2
    shift 2
    local best="" rss=""
    for _ in 1 2 3; do
        # Outputs of the last run go outside the timing, and their pages reach the disk first.
        rm -f "$folder"/out/*
        sync
        sleep 1
        cat "$folder/served/$2" >/dev/null # the source warm within the last minute
        local out
        out=$( { /usr/bin/time -f '%e %M' bash -c "$*" >/dev/null; } 2>&1 | tail -n 1)
        local seconds=${out% *}
        rss=${out#* }
        if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
    done
    awk -v l="$label" -v s="$best" -v r="$rss" -v b="$bytes" \
        'BEGIN{printf "%-28s %6.2f s  %7.2f GB/s  peak RSS %6.1f MiB\n", l, s, b/s/1e9, r/1024}'
    echo "$best" >"$folder/result-$label"
}

gib=$((1024 * 1024 * 1024))
measure "kestryn-download-1GiB" $gib ours 1GiB.bin
measure "kestryn-digest-1GiB" $gib verification 1GiB.bin
measure "curl-o-1GiB" $gib theirs 1GiB.bin
measure "curl-o+openssl-dgst-1GiB" $gib theirs_checked 1GiB.bin
measure "kestryn-download-100MiB" $((100 * 1024 * 1024)) ours 100MiB.bin
r() { cat "$folder/result-$1"; }
awk -v a="$(r kestryn-download-1GiB)" -v b="$(r curl-o-1GiB)" -v c="$(r curl-o+openssl-dgst-1GiB)" \
    'BEGIN{printf "throughput relative to curl -o: %.2f; to curl -o + openssl dgst: %.2f\n", b/a, c/a}'

# Resuming a 1 GiB download cut at 90% against starting over: a second server breaks every answer
# at 90% of the file; the same file keeps its ETag on both, so the first server resumes it.
cut=$((gib * 9 / 10))
"$build/bin/kestryn-test-server" --cut-at "$cut" "$folder/served" >"$folder/cut-server.txt" &
cutserver=$!
trap 'kill $server $cutserver 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q '^ca=' "$folder/cut-server.txt" 2>/dev/null && break; sleep 0.1; done
cutport=$(sed -n 's/^port=//p' "$folder/cut-server.txt")
cat "$ca" "$(sed -n 's/^ca=//p' "$folder/cut-server.txt")" >"$folder/both-ca.pem"
export KESTRYN_CA_FILE=$folder/both-ca.pem cutport
cut_then_resume() { # the broken first attempt, outside the timing
    "$kestryn" download --url "https://127.0.0.1:$cutport/1GiB.bin" \
        --sha256 "$(cat "$folder/served/1GiB.bin.sha256")" \
        --size "$(stat -c %s "$folder/served/1GiB.bin")" --to "$folder/out" 2>/dev/null || true
}
best=""
for _ in 1 2 3; do
    rm -f "$folder"/out/* "$folder"/out/.kestryn-partial-*
    cut_then_resume
    sync
    cat "$folder/served/1GiB.bin" >/dev/null
    seconds=$( { /usr/bin/time -f '%e' bash -c 'ours 1GiB.bin' >/dev/null; } 2>&1 | tail -n 1)
    if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
done
awk -v s="$best" -v f="$(r kestryn-download-1GiB)" \
    'BEGIN{printf "resume after a cut at 90%%: %.2f s; starting over: %.2f s\n", s, f}'
