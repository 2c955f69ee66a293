#!/usr/bin/env bash
# The differential update against the whole package and against zsync, in the same run, side by
# side: a 1 GiB, 2,000-file 回响工坊 whose 2.0 rewrites 2% of the files, both packed by
# kestryn-publish, 2.0 in a signed catalog, served at 100 Mbit/s (12,500,000 bytes/s) on loopback.
#   kestryn update audio          1.0 installed, the 1.0 package in "Downloads": the differential route
#   kestryn update audio --full   the same update over the whole package
#   kestryn download              the whole package alone, without the installation
#   zsync -i 1.0.zip              the same pair with zsyncmake's control file, over plain HTTP
# "until install" is the time to the status line that the installation began: the fetch, the
# rebuild and the proof of the package by its size and SHA-256, the part the download compares with.
# Bytes are counted at the servers: kestryn-test-server's are the TLS bytes it writes to its
# sockets (the growth of wchar in /proc/PID/io, handshakes and the catalog included);
# range_http_server.py counts its own status lines, headers and bodies (the .zsync file included).
# Needs: a build with kestryn, kestryn-publish, kestryn-test-server and resources; python3;
# zsync and zsyncmake (Debian package zsync, 0.6.2: `apt-get install zsync`).
# Usage: bench/installer/differential_compare.sh [BUILD_DIR] [-- COMMAND [ARGUMENT]...]. Bundles,
# packages and the zsync control file are written once into $KESTRYN_BENCH_DIFFERENTIAL (default
# /tmp/kestryn-bench-differential) and reused by later runs.
# With a COMMAND nothing is measured: the same inputs and site are served while COMMAND runs with
# the bench's resources, trust and KESTRYN_CONNECT_TO, and with KESTRYN_BENCH_SERVER (the pid of
# kestryn-test-server), KESTRYN_BENCH_INPUTS, KESTRYN_BENCH_APP (the bundle's name) and
# KESTRYN_BENCH_BIN; it makes its own home. zsync is not needed then.
set -euo pipefail
build=build
if [ $# -gt 0 ] && [ "$1" != -- ]; then
    build=$1
    shift
fi
serve=()
if [ $# -gt 0 ]; then
    if [ "$1" != -- ] || [ $# -lt 2 ]; then
        echo "usage: $0 [BUILD_DIR] [-- COMMAND [ARGUMENT]...]" >&2
        exit 2
    fi
    shift
    serve=("$@")
fi
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$build/bin" && pwd)
inputs=${KESTRYN_BENCH_DIFFERENTIAL:-/tmp/kestryn-bench-differential}
rate=12500000
host=www.kestryn.test
if [ ${#serve[@]} -eq 0 ]; then
    for tool in zsync zsyncmake; do
        command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install zsync" >&2; exit 1; }
    done
fi

read -r name bundle_id < <(python3 - "$bin/../resources/Catalog.json" <<'PY'
import json, sys
product = next(p for p in json.load(open(sys.argv[1], encoding="utf-8"))["products"] if p["id"] == "audio")
print(product["name"], product["bundleID"])
PY
)
app="KESTRYN $name.app"

echo "== inputs in $inputs" >&2
mkdir -p "$inputs"/{bundles,packages,keys,site/downloads,zsync,run}
python3 "$here/make_inputs.py" --versions "$inputs/bundles" "$name" "$bundle_id" kestryn-audio
for version in 1.0 2.0; do
    bundle=$inputs/bundles/$version/$app
    [ -f "$bundle/Contents/_CodeSignature/CodeResources" ] || "$bin/kestryn-publish" seal "$bundle" >/dev/null
    package=$inputs/packages/audio-$version.zip
    if [ ! -f "$package" ]; then
        "$bin/kestryn-publish" pack "$bundle" "$package.partial" >/dev/null
        mv "$package.partial" "$package"
    fi
done
old=$inputs/packages/audio-1.0.zip
new=$inputs/packages/audio-2.0.zip
ln -f "$new" "$inputs/site/downloads/audio-2.0.zip"
ln -f "$new" "$inputs/zsync/audio-2.0.zip"
if [ ${#serve[@]} -eq 0 ] && [ ! -f "$inputs/zsync/audio-2.0.zip.zsync" ]; then
    zsyncmake -u audio-2.0.zip -o "$inputs/zsync/audio-2.0.zip.zsync.partial" "$new" >/dev/null
    mv "$inputs/zsync/audio-2.0.zip.zsync.partial" "$inputs/zsync/audio-2.0.zip.zsync"
fi
[ -f "$inputs/keys/private.key" ] || "$bin/kestryn-publish" keygen "$inputs/keys" >/dev/null

# The reference: what a perfect differential fetch is, the compressed bytes of the entries 2.0
# does not share with 1.0 (same name below the top folder, CRC-32, sizes, method, flags) and the
# central directory with its end record.
read -r changed reference < <(python3 - "$old" "$new" <<'PY'
import sys, zipfile
def key(info):
    return (info.filename.split("/", 1)[-1], info.CRC, info.compress_size, info.file_size,
            info.compress_type, info.flag_bits)
with zipfile.ZipFile(sys.argv[1]) as old, zipfile.ZipFile(sys.argv[2]) as new:
    kept = {key(info) for info in old.infolist()}
    changed = [info for info in new.infolist() if key(info) not in kept]
    size = new.fp.seek(0, 2)
    directory = size - new.start_dir
print(len(changed), sum(info.compress_size for info in changed) + directory)
PY
)

echo "== site and home" >&2
run=$inputs/run
site_url=https://$host
"$bin/kestryn-publish" artifact "$new" --url "$site_url/downloads/audio-2.0.zip" --format zip \
    >"$run/artifact.json"
python3 - "$bin/../resources/Catalog.json" "$run/artifact.json" >"$run/Catalog.json" <<'PY'
import json, sys
catalog = json.load(open(sys.argv[1], encoding="utf-8"))
for product in catalog["products"]:
    if product["id"] == "audio":
        product["release"] = {"version": "2.0", "build": "2", "publishedAt": "2026-12-01",
                              "notes": ["改写了百分之二的资源文件。"],
                              "artifact": json.load(open(sys.argv[2], encoding="utf-8"))}
json.dump(catalog, sys.stdout, ensure_ascii=False, indent=2)
PY
"$bin/kestryn-publish" sign "$run/Catalog.json" --key "$inputs/keys/private.key" >"$inputs/site/catalog.json"
rm -rf "$run/resources"
cp -R "$bin/../resources" "$run/resources"
cp "$inputs/keys/PublicKey.txt" "$run/resources/PublicKey.txt"
python3 - "$run/resources/Info.plist" "$site_url" "$host" "$inputs/keys/PublicKey.txt" <<'PY'
import plistlib, sys
path, site, host, key = sys.argv[1:]
with open(path, "rb") as file:
    info = plistlib.load(file)
info.update({"KESProductCatalogURL": site + "/catalog.json", "SUFeedURL": site + "/center/appcast.xml",
             "SUPublicEDKey": open(key, encoding="ascii").read().strip(),
             "KESUpdateAllowedHosts": [host], "KESPortalURL": site})
with open(path, "wb") as file:
    plistlib.dump(info, file)
PY
export HOME=$run/home XDG_DATA_HOME=$run/data XDG_CONFIG_HOME=$run/config TMPDIR=$run/tmp
export KESTRYN_RESOURCES=$run/resources
export no_proxy=$host NO_PROXY=$host

# start_server OUT COMMAND...: starts a server that prints port= into OUT; its pid in $server.
servers=()
trap 'for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
start_server() {
    local out=$1
    shift
    : >"$out"
    "$@" >"$out" 2>"$out.log" &
    server=$!
    servers+=("$server")
    until grep -q '^port=' "$out"; do
        kill -0 "$server" 2>/dev/null || { cat "$out.log" >&2; exit 1; }
        sleep 0.1
    done
}
# The server's certificate authority lives outside the home that every measurement renews.
rm -rf "$run/server-tmp"
mkdir -p "$run/server-tmp"
start_server "$run/https.txt" env TMPDIR="$run/server-tmp" "$bin/kestryn-test-server" --keep-alive --rate "$rate" --host "$host" "$inputs/site"
https=$server
until grep -q '^ca=' "$run/https.txt"; do sleep 0.1; done
export KESTRYN_CA_FILE=$(sed -n 's/^ca=//p' "$run/https.txt")
export KESTRYN_CONNECT_TO=$host:443:127.0.0.1:$(sed -n 's/^port=//p' "$run/https.txt")
if [ ${#serve[@]} -gt 0 ]; then
    status=0
    KESTRYN_BENCH_SERVER=$https KESTRYN_BENCH_INPUTS=$inputs KESTRYN_BENCH_APP=$app \
        KESTRYN_BENCH_BIN=$bin "${serve[@]}" || status=$?
    exit "$status"
fi
rm -f "$run/http.count"
start_server "$run/http.txt" python3 "$here/range_http_server.py" "$inputs/zsync" "$rate" "$run/http.count"
http_port=$(sed -n 's/^port=//p' "$run/http.txt")

sent_https() { awk '/^wchar:/{print $2}' "/proc/$https/io"; }
sent_http() { cat "$run/http.count" 2>/dev/null || echo 0; }

# 1.0 installed from its bundle, its package in "Downloads", nothing else of the center's; the
# writes settle before anything is measured, and both packages are in the page cache.
fresh_home() {
    rm -rf "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$TMPDIR" "$run/download"
    mkdir -p "$HOME/Applications" "$XDG_DATA_HOME/KESTRYN Center/Downloads" "$XDG_CONFIG_HOME" "$TMPDIR"
    cp -a "$inputs/bundles/1.0/$app" "$HOME/Applications/"
    cp "$old" "$XDG_DATA_HOME/KESTRYN Center/Downloads/"
    sync
    cat "$old" "$new" >/dev/null
}

# measure LABEL COUNTER COMMAND...: wall seconds and bytes the counter's server sent, into
# $seconds and $bytes; the command's output in $run/LABEL.log, each line after the nanoseconds
# since the start at which it arrived (the CLI flushes every status line).
measure() {
    local label=$1 counter=$2
    shift 2
    local before start end
    before=$($counter)
    start=$(date +%s%N)
    "$@" 2>&1 | python3 -u -c '
import sys, time
start = int(sys.argv[1])
for line in sys.stdin:
    print(time.time_ns() - start, line, end="")' "$start" >"$run/$label.log" ||
        { echo "$label failed:" >&2; cat "$run/$label.log" >&2; exit 1; }
    end=$(date +%s%N)
    seconds=$(awk "BEGIN{print ($end - $start) / 1e9}")
    bytes=$(($($counter) - before))
}

# until_installing LABEL: seconds from the start of LABEL's command to its status line that the
# installation began, that is the fetch and the package's proof, without the installation.
until_installing() {
    awk '$2 ~ /^正在校验并安装/ {print $1 / 1e9; exit}' "$run/$1.log"
}

installed_version() {
    python3 - "$HOME/Applications/$app/Contents/Info.plist" <<'PY'
import plistlib, sys
print(plistlib.load(open(sys.argv[1], "rb"))["CFBundleShortVersionString"])
PY
}

echo "== load before: $(cat /proc/loadavg)" >&2
fresh_home
measure differential sent_https "$bin/kestryn" update audio
differential_s=$seconds differential_bytes=$bytes differential_fetch_s=$(until_installing differential)
[ "$(installed_version)" = 2.0 ] || { echo "the differential update did not install 2.0" >&2; exit 1; }
echo "differential: $differential_bytes bytes in $differential_s s" >&2

fresh_home
measure full sent_https "$bin/kestryn" update audio --full
full_s=$seconds full_bytes=$bytes full_fetch_s=$(until_installing full)
[ "$(installed_version)" = 2.0 ] || { echo "the full update did not install 2.0" >&2; exit 1; }

cat "$new" >/dev/null
measure download sent_https "$bin/kestryn" download --url "$site_url/downloads/audio-2.0.zip" \
    --sha256 "$(sha256sum "$new" | cut -d' ' -f1)" --size "$(stat -c %s "$new")" --to "$run/download"
download_s=$seconds download_bytes=$bytes

rm -rf "$run/zsync-out"
mkdir -p "$run/zsync-out"
cat "$old" >/dev/null
measure zsync sent_http sh -c 'cd "$1" && exec zsync -i "$2" -o audio-2.0.zip "$3"' zsync \
    "$run/zsync-out" "$old" "http://127.0.0.1:$http_port/audio-2.0.zip.zsync"
zsync_s=$seconds zsync_bytes=$bytes
cmp -s "$run/zsync-out/audio-2.0.zip" "$new" || { echo "zsync did not rebuild 2.0" >&2; exit 1; }
echo "== load after: $(cat /proc/loadavg)" >&2

package_bytes=$(stat -c %s "$new")
echo "2.0 package: $package_bytes bytes; $changed entries differ from 1.0"
printf '%-30s %14s %10s %12s\n' method "bytes fetched" time "until install"
printf '%-30s %14d %10s %12s\n' "reference (changed + CD)" "$reference" - -
printf '%-30s %14d %9.1fs %11.1fs\n' "kestryn update (differential)" "$differential_bytes" "$differential_s" "$differential_fetch_s"
printf '%-30s %14d %9.1fs %11.1fs\n' "kestryn update --full" "$full_bytes" "$full_s" "$full_fetch_s"
printf '%-30s %14d %9.1fs %12s\n' "kestryn download" "$download_bytes" "$download_s" -
printf '%-30s %14d %9.1fs %12s\n' "zsync -i 1.0 (HTTP)" "$zsync_bytes" "$zsync_s" -
awk -v d="$differential_bytes" -v r="$reference" \
    'BEGIN{printf "differential bytes / reference: %.3f (goal <= 1.05)\n", d/r}'
awk -v d="$differential_fetch_s" -v f="$full_fetch_s" -v g="$download_s" \
    'BEGIN{printf "differential fetch and proof / full: %.3f, / download: %.3f (goal <= 0.1)\n", d/f, d/g}'
awk -v d="$differential_s" -v f="$full_s" -v g="$download_s" \
    'BEGIN{printf "whole differential update / full update: %.3f, / download: %.3f\n", d/f, d/g}'
awk -v d="$differential_bytes" -v z="$zsync_bytes" \
    'BEGIN{printf "differential bytes / zsync bytes: %.3f (goal < 1)\n", d/z}'
