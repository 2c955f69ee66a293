#!/usr/bin/env bash
# Runs scripts/demo with the programs of BIN_DIR (a sanitizer build works too) in a folder whose
# path has spaces, under the plain C locale, and uses the center through the CLI as a user would:
# a second demo on the same folder is refused, a check finds the four updates, updating all
# installs them (回响工坊's fetching only what changed from the kept 1.0 package) and keeps
# backups, a removed tool comes back from a package only when the import is confirmed, an export
# writes the list, a removal is restored byte for byte, a changed file is named and repaired, the
# disk image of 澄光工坊 is opened, old backups are pruned, the self-update hands over the verified
# package. Then proves that bad options change nothing, that nothing was written outside the demo
# folder and that the server has stopped.
# Usage: run_demo.sh SOURCE_DIR BIN_DIR
set -euo pipefail
source=$(realpath "$1") bin=$(realpath "$2")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
outer_home="$scratch/outer home" outer_tmp="$scratch/outer tmp" fake="$scratch/fake bin"
mkdir -p "$outer_home" "$outer_tmp" "$fake"
applications_before=$([ -e /Applications ] && echo present || echo absent)

# The workspace opens the center's package with xdg-open: this one only records what it got, or
# stands for a desktop without a package installer.
cat >"$fake/xdg-open" <<'SH'
#!/bin/sh
[ -z "${DEMO_NO_INSTALLER-}" ] || exit 3
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

site_before=$(find "$DEMO/site" "$DEMO/keys" -printf '%P %s %T@\n' | sort)
status=0
"$DEMO_SCRIPT" --bin "$DEMO_BIN" --dir "$DEMO" true >second.txt 2>&1 || status=$?
[ "$status" = 1 ] && grep -qF "另一个 scripts/demo 正在使用演示文件夹“$DEMO”" second.txt ||
    fail "a second demo on the folder: $status $(cat second.txt)"
[ "$(find "$DEMO/site" "$DEMO/keys" -printf '%P %s %T@\n' | sort)" = "$site_before" ] ||
    fail "a second demo changed the site"

kestryn check --json >check.json
[ "$(field check.json 'j["status"]')" = "发现 4 款软件可更新" ] || fail "check: $(field check.json 'j["status"]')"
[ "$(field check.json 'j["sourceLabel"]')" = "在线发布目录 · 签名已验证" ] || fail "source: $(cat check.json)"
[ "$(field check.json '[p["id"] for p in j["products"] if p["release"]]')" = "['film', 'subtitle', 'audio', 'library', 'video']" ] \
    || fail "releases: $(cat check.json)"

kestryn update --all >update.txt
grep -q '^已更新 4 款软件：' update.txt || fail "update --all: $(cat update.txt)"
grep -q '^差分更新：需下载 ' update.txt || fail "回响工坊 was not a differential update: $(cat update.txt)"
for app in 回响工坊 行文工坊 藏集工坊 动帧工坊; do
    [ "$(version_of "$apps/KESTRYN $app.app")" = 2.0 ] || fail "$app is not 2.0"
done
backups=("$support"/Backups/audio-*.app)
[ ${#backups[@]} = 1 ] && [ "$(version_of "${backups[0]}")" = 1.0 ] || fail "no backup of audio 1.0"

# A tool removed is brought back from a package the user has, only when confirmed.
kestryn remove subtitle --yes >/dev/null
package="$HOME/Downloads/subtitle-2.0.zip"
if kestryn import "$package" --product subtitle </dev/null >declined.txt 2>&1; then :; fi
[ ! -e "$apps/KESTRYN 行文工坊.app" ] || fail "an unconfirmed import installed"
kestryn import "$package" --product subtitle --yes >import.txt
[ "$(last_line import.txt)" = "行文工坊已安装 · 2.0" ] || fail "import: $(cat import.txt)"
[ "$(version_of "$apps/KESTRYN 行文工坊.app")" = 2.0 ] || fail "subtitle is not 2.0"

kestryn export "$HOME/版本清单.txt" >export.txt
[ "$(last_line export.txt)" = "版本清单已导出" ] || fail "export: $(cat export.txt)"
for line in "KESTRYN 软件中心 1.0.0" "KESTRYN 回响工坊：2.0（2）" "KESTRYN 行文工坊：2.0（2）" "KESTRYN 藏集工坊：2.0（2）" \
    "KESTRYN 澄光工坊：未安装" "在线发布目录 · 签名已验证"; do
    grep -qxF "$line" "$HOME/版本清单.txt" || fail "the list lacks $line"
done
# A removal keeps a way back, and the check of the installed copies names a changed file.
tree_of() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum && find . -type l -printf '%p -> %l\n' | sort); }
before=$(tree_of "$apps/KESTRYN 回响工坊.app")
kestryn remove audio --yes >remove.txt
[ "$(last_line remove.txt)" = "已移除回响工坊，可在历史版本中恢复。" ] && [ ! -e "$apps/KESTRYN 回响工坊.app" ] ||
    fail "remove: $(cat remove.txt)"
kestryn backups audio --json >backups.json
removed=$(field backups.json 'j[0]["path"]')
kestryn restore audio "$removed" --yes >restored.txt
[ "$(tree_of "$apps/KESTRYN 回响工坊.app")" = "$before" ] || fail "not restored byte for byte: $(cat restored.txt)"
echo 改动 >>"$apps/KESTRYN 回响工坊.app/Contents/Resources/说明.txt"
if kestryn verify >verify.txt 2>&1; then fail "verify passed a changed copy"; fi
grep -qxF "回响工坊 2.0：不完整。已修改 1 个文件：Resources/说明.txt。" verify.txt || fail "verify: $(cat verify.txt)"
kestryn repair audio --yes >repair.txt
[ "$(last_line repair.txt)" = "已修复回响工坊 2.0。" ] || fail "repair: $(cat repair.txt)"
kestryn verify audio >verify.txt || fail "verify after the repair: $(cat verify.txt)"
kestryn update film >film.txt
[ "$(last_line film.txt)" = "安装包已打开，请按安装说明完成升级" ] || fail "film: $(cat film.txt)"
opened=$(cat "$DEMO/opened.txt")
[ "$(dirname "$opened")" = "$support/Downloads" ] && cmp -s "$opened" "$DEMO/site/downloads/film-2.0.dmg" ||
    fail "the demo's opener got $opened"
kestryn check >check.txt
[ "$(last_line check.txt)" = "在线检查完成，没有可用更新" ] || fail "second check: $(cat check.txt)"
kestryn prune --keep 1 >prune.txt
grep -q "$(printf '^已删除\taudio\t1.0（')" prune.txt || fail "prune: $(cat prune.txt)"

status=0
DEMO_NO_INSTALLER=1 PATH="$DEMO_FAKE:$PATH" kestryn self-update --yes >/dev/null 2>kept.txt || status=$?
[ "$status" = 1 ] && grep -qF "安装包保存在“$support/Downloads/" kept.txt || fail "self-update without an installer: $status $(cat kept.txt)"
PATH="$DEMO_FAKE:$PATH" kestryn self-update --yes >self-update.txt
[ "$(last_line self-update.txt)" = "已验证的软件中心 1.1.0 安装包已交给系统的软件包安装程序，请按它的提示完成安装。" ] \
    || fail "self-update: $(cat self-update.txt)"
[ "$(wc -l <"$DEMO_OPENED")" = 1 ] || fail "xdg-open ran $(wc -l <"$DEMO_OPENED") times"
opened=$(cat "$DEMO_OPENED")
[ "$(dirname "$opened")" = "$support/Downloads" ] || fail "opened $opened"
cmp -s "$opened" "$DEMO/site/center/kestryn-center_1.1.0_all.deb" || fail "opened a different file"
STEPS

demo="$scratch/demo folder"
cd "$outer_home"
demo_script() {
    env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u KESTRYN_RESOURCES HOME="$outer_home" TMPDIR="$outer_tmp" \
        LC_ALL=C LANG= "$source/scripts/demo" "$@"
}
DEMO_FAKE="$fake" DEMO_OPENED="$scratch/opened.txt" DEMO="$demo" DEMO_SCRIPT="$source/scripts/demo" \
    DEMO_BIN="$bin" demo_script --bin "$bin" --dir "$demo" bash "$scratch/steps.sh"

# Bad options are refused in Chinese before the last demo folder is touched.
listing() { find "$demo" -printf '%P %s %T@\n' | sort; }
before=$(listing)
mkdir "$scratch/no programs"
echo >"$scratch/a file"
refused() { # STATUS SENTENCE OPTION...
    local expected=$1 sentence=$2 status=0
    shift 2
    demo_script "$@" >/dev/null 2>"$scratch/refused.txt" || status=$?
    [ "$status" = "$expected" ] && grep -qF "$sentence" "$scratch/refused.txt" && [ "$(listing)" = "$before" ] ||
        { echo "run_demo: scripts/demo $* gave $status: $(cat "$scratch/refused.txt")" >&2; exit 1; }
}
refused 2 "程序文件夹“$scratch/missing”不存在。" --bin "$scratch/missing" --dir "$demo"
refused 2 "中缺少演示所需的 kestryn、kestryn-publish、kestryn-test-server、../resources/Catalog.json。" \
    --bin "$scratch/no programs" --dir "$demo"
refused 2 "不认识的选项“--frobnicate”。" --bin "$bin" --dir "$demo" --frobnicate
refused 2 "“$scratch/a file”不是文件夹，不能用作演示文件夹。" --bin "$bin" --dir "$scratch/a file"

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
