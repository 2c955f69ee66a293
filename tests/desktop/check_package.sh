#!/usr/bin/env bash
# Installs the build as a user would, with cmake --install into a fresh prefix or as the Debian
# package unpacked with dpkg -x, and checks where everything lands: the programs, the resources
# they find from their own folder, the launcher entry with what it names, the icons, the
# metainfo and the dock-tile plug-in.
# Usage: check_package.sh install|deb BUILD_DIR HAS_WINDOW(0|1)
set -euo pipefail
mode=$1 build=$(realpath "$2") has_window=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestryn 安装-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*" >&2; exit 1; }

if [ "$mode" = install ]; then
    prefix="$scratch/前缀 目录"
    cmake --install "$build" --prefix "$prefix" > /dev/null
else
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" > /dev/null
    deb=$(ls "$scratch"/out/kestryn-center_*.deb)
    [ "$(dpkg-deb -f "$deb" Package)" = kestryn-center ] || fail "wrong package name"
    [ "$(dpkg-deb -f "$deb" Maintainer)" = KESTRYN ] || fail "wrong maintainer"
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libc6 libqt6core6 qml6-module-qtquick-controls qml6-module-qtwebengine \
                   fonts-noto-cjk fonts-materialdesignicons-webfont xdg-utils; do
        [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
    done
    dpkg -x "$deb" "$scratch/root"
    prefix="$scratch/root/usr"
fi

share="$prefix/share"
products=(film subtitle audio library video effects)
pngs=("${products[@]/%/.png}")
expected=(bin/kestryn bin/kestryn-publish share/metainfo/com.kestryn.center.metainfo.xml
          share/kestryn-center/{Catalog.json,Info.plist,使用与更新说明.html,KESAppIcon.png,KESWordmark.svg}
          "${pngs[@]/#/share/kestryn-center/}" share/icons/hicolor/scalable/apps/kestryn-center.svg
          lib/kestryn-center/PlugIns/Dockling.docktileplugin/Contents/{Info.plist,MacOS/Dockling,Resources/AppIcon.icns})
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || fail "missing: $file"
done

# The launcher entry: its program in bin/, its icon in every hicolor size, its name in the
# metainfo's launchable.
entry="$share/applications/kestryn-center.desktop"
[ -f "$entry" ] || fail "missing: the launcher entry"
key() { sed -n "s/^$1=//p" "$entry"; }
[ "$has_window" = 0 ] || [ -x "$prefix/bin/$(key Exec)" ] || fail "Exec names no installed program"
for size in 16 24 32 48 64 128 256 512; do
    [ -f "$share/icons/hicolor/${size}x$size/apps/$(key Icon).png" ] || fail "no $size px icon"
done
grep -q "<launchable type=\"desktop-id\">kestryn-center.desktop</launchable>" \
    "$share/metainfo/com.kestryn.center.metainfo.xml" || fail "the metainfo names another entry"

# The installed program finds its resources from its own folder: the shipped catalog's six
# products, with no folder named to it.
status=$(env -u KESTRYN_RESOURCES HOME="$scratch/home" XDG_DATA_HOME= XDG_CONFIG_HOME= \
    "$prefix/bin/kestryn" status --json --applications "$scratch/Applications")
for product in "${products[@]}"; do
    [[ $status == *"\"id\":\"$product\""* ]] || fail "status lacks $product: $status"
done
echo "ok: $mode"
