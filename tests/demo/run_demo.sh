#!/usr/bin/env bash
# Runs scripts/demo with the programs of BIN_DIR (a sanitizer build works too) in a folder whose
# path has spaces, under the plain C locale, and uses the center through the CLI as a user would:
# a check finds the updates, an update keeps a backup, an import installs only when confirmed,
# an export writes the list, the self-update hands over the verified package. Then proves that
# nothing was written outside the demo folder and that the demo's server has stopped.
# Usage: run_demo.sh SOURCE_DIR BIN_DIR
set -euo pipefail
source=$(realpath "$1") bin=$(realpath "$2")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
outer_home="$scratch/outer home" outer_tmp="$scratch/outer tmp" fake="$scratch/fake bin"
mkdir -p "$outer_home" "$outer_tmp" "$fake"
applications_before=$([ -e /Applications ] && echo present || echo absent)

# The workspace opens the center's package with xdg-open: this one only records what it got.
cat >"$fake/xdg-open" <<'SH'
#!/bin/sh
printf '%s\n' "$1" >>"$DEMO_OPENED"
SH
chmod +x "$fake/xdg-open"

cat >"$scratch/steps.sh" <<'STEPS'
set -euo pipefail
cd "$TMPDIR"
fail() { echo "run_demo: $*" >&2; exit 1; }
support="$XDG_DATA_HOME/KESTRYN Center"
apps="$HOME/Applications"

# field JSON-FILE EXPRESSION: a value of kestryn check --json, "j" being the document.
field() { python3 -c 'import json, sys; j = json.load(open(sys.argv[1], encoding="utf-8")); print(eval(sys.argv[2]))' "$@"; }
version_of() { kestryn app-info "$1" | python3 -c 'import json, sys; print(json.load(sys.stdin)["version"])'; }
last_line() { tail -n 1 "$1"; }

kestryn check --json >check.json
[ "$(field check.json 'j["status"]')" = "发现 4 款软件可更新" ] || fail "check: $(field check.json 'j["status"]')"
[ "$(field check.json 'j["sourceLabel"]')" = "在线发布目录 · 签名已验证" ] || fail "source: $(cat check.json)"
[ "$(field check.json '[p["id"] for p in j["products"] if p["release"]]')" = "['subtitle', 'audio', 'library', 'video']" ] \
    || fail "releases: $(cat check.json)"

kestryn update audio >update.txt
[ "$(last_line update.txt)" = "回响工坊已安装 · 2.0" ] || fail "update: $(cat update.txt)"
[ "$(version_of "$apps/KESTRYN 回响工坊.app")" = 2.0 ] || fail "audio is not 2.0"
backups=("$support"/Backups/audio-*.app)
[ ${#backups[@]} = 1 ] && [ "$(version_of "${backups[0]}")" = 1.0 ] || fail "no backup of audio 1.0"

package="$HOME/Downloads/subtitle-2.0.zip"
if kestryn import "$package" --product subtitle </dev/null >declined.txt 2>&1; then :; fi
[ "$(version_of "$apps/KESTRYN 行文工坊.app")" = 1.0 ] || fail "an unconfirmed import installed"
kestryn import "$package" --product subtitle --yes >import.txt
[ "$(last_line import.txt)" = "行文工坊已安装 · 2.0" ] || fail "import: $(cat import.txt)"
[ "$(version_of "$apps/KESTRYN 行文工坊.app")" = 2.0 ] || fail "subtitle is not 2.0"

kestryn export "$HOME/版本清单.txt" >export.txt
[ "$(last_line export.txt)" = "版本清单已导出" ] || fail "export: $(cat export.txt)"
for line in "KESTRYN 回响工坊：2.0（2）" "KESTRYN 行文工坊：2.0（2）" "KESTRYN 藏集工坊：1.0（1）" \
    "KESTRYN 澄光工坊：未安装" "在线发布目录 · 签名已验证"; do
    grep -qxF "$line" "$HOME/版本清单.txt" || fail "the list lacks $line"
done
kestryn check >check.txt
[ "$(last_line check.txt)" = "发现 2 款软件可更新" ] || fail "second check: $(cat check.txt)"

PATH="$DEMO_FAKE:$PATH" kestryn self-update --yes >self-update.txt
[ "$(last_line self-update.txt)" = "已验证的软件中心 1.1.0 安装包已交给系统的软件包安装程序，请按它的提示完成安装。" ] \
    || fail "self-update: $(cat self-update.txt)"
[ "$(wc -l <"$DEMO_OPENED")" = 1 ] || fail "xdg-open ran $(wc -l <"$DEMO_OPENED") times"
opened=$(cat "$DEMO_OPENED")
[ "$(dirname "$opened")" = "$support/Downloads" ] || fail "opened $opened"
cmp -s "$opened" "$DEMO_SITE/center/kestryn-center_1.1.0_all.deb" || fail "opened a different file"
STEPS

demo="$scratch/demo folder"
cd "$outer_home"
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u KESTRYN_RESOURCES HOME="$outer_home" TMPDIR="$outer_tmp" \
    LC_ALL=C LANG= DEMO_FAKE="$fake" DEMO_OPENED="$scratch/opened.txt" DEMO_SITE="$demo/site" \
    "$source/scripts/demo" --bin "$bin" --dir "$demo" bash "$scratch/steps.sh"

# Nothing outside the demo folder: the caller's home and temporary folder stay empty.
leftovers=$(find "$outer_home" "$outer_tmp" -mindepth 1)
[ -z "$leftovers" ] || { echo "run_demo: written outside the demo: $leftovers" >&2; exit 1; }
[ "$([ -e /Applications ] && echo present || echo absent)" = "$applications_before" ] ||
    { echo "run_demo: /Applications appeared" >&2; exit 1; }
port=$(sed -n 's/^port=//p' "$demo/server.txt")
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "run_demo: the demo's server still runs" >&2
    exit 1
fi
echo "run_demo: the demo works through the CLI"
