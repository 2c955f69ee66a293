#!/usr/bin/env bash
# The integrity check of an installed copy against sha256sum over the same files, in the same run,
# side by side, warm and best of three: `kestryn verify audio` on a 1 GiB, 2,000-file
# "KESTRYN 回响工坊.app" sealed by kestryn-publish, and `sha256sum` and `openssl dgst -sha256`
# over every file of its Contents.
# The bundle is the one bench/installer/differential_compare.sh writes; it is made here when missing.
# No network is needed: the check reads only the copy. Usage: bench/installer/verify_compare.sh
# [BUILD_DIR]; inputs in $KESTRYN_BENCH_DIFFERENTIAL (default /tmp/kestryn-bench-differential).
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$build/bin" && pwd)
inputs=${KESTRYN_BENCH_DIFFERENTIAL:-/tmp/kestryn-bench-differential}

read -r name bundle_id < <(python3 - "$bin/../resources/Catalog.json" <<'PY'
import json, sys
product = next(p for p in json.load(open(sys.argv[1], encoding="utf-8"))["products"] if p["id"] == "audio")
print(product["name"], product["bundleID"])
PY
)
app="KESTRYN $name.app"
bundle=$inputs/bundles/1.0/$app
if [ ! -f "$bundle/Contents/_CodeSignature/CodeResources" ]; then
    mkdir -p "$inputs/bundles"
    python3 "$here/make_inputs.py" --versions "$inputs/bundles" "$name" "$bundle_id" kestryn-audio
    "$bin/kestryn-publish" seal "$bundle" >/dev/null
fi

run=$inputs/verify
rm -rf "$run"
mkdir -p "$run/home/Applications" "$run/data" "$run/config"
cp -a "$bundle" "$run/home/Applications/"
installed=$run/home/Applications/$app
export HOME=$run/home XDG_DATA_HOME=$run/data XDG_CONFIG_HOME=$run/config LC_ALL=C
# Nothing to check against online: an address no one answers keeps the start-up's check short.
"$bin/kestryn" settings --auto-check off >/dev/null

best_of_three() { # command...: the shortest wall time in seconds
    local best=""
    for _ in 1 2 3; do
        local start end seconds
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        seconds=$(awk "BEGIN{print ($end - $start) / 1e9}")
        if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
    done
    echo "$best"
}

files=$(find "$installed/Contents" -type f | wc -l)
bytes=$(du -sb "$installed/Contents" | cut -f1)
find "$installed/Contents" -type f -print0 | xargs -0 cat >/dev/null
line=$("$bin/kestryn" verify audio | head -n 1)
[ "$line" = "$name 1.0：完整。" ] || { echo "the copy does not verify: $line" >&2; exit 1; }
verify=$(best_of_three "$bin/kestryn" verify audio)
checksum() { find "$installed/Contents" -type f -print0 | xargs -0 sha256sum; }
sha=$(best_of_three checksum)
# The same digests through OpenSSL, which the center's own SHA-256 uses.
openssl_checksum() { find "$installed/Contents" -type f -print0 | xargs -0 openssl dgst -sha256; }
ossl=$(best_of_three openssl_checksum)
echo "== $files files, $bytes bytes, warm cache, best of three"
printf '%-36s %8s s\n' "kestryn verify audio" "$verify" "sha256sum (find | xargs)" "$sha" \
    "openssl dgst -sha256 (find | xargs)" "$ossl"
