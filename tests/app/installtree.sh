#!/usr/bin/env bash
# `cmake --install` puts the two programs, the desktop entry, its icon and the copyright file in place,
# and nothing else.
set -euo pipefail
cmake="$1"
build="$2"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

expected="bin/kelmor
bin/kelmor-drive-sim
share/applications/kelmor.desktop
share/doc/kelmor/copyright
share/icons/hicolor/scalable/apps/kelmor.svg"
installed=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
    echo "installed:"
    echo "$installed"
    exit 1
fi

entry="$prefix/share/applications/kelmor.desktop"
desktop-file-validate "$entry"
exec_name=$(sed -n 's/^Exec=//p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$prefix/bin/$exec_name" ] || { echo "Exec=$exec_name is not an installed program"; exit 1; }
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || { echo "Icon=$icon_name is not installed"; exit 1; }
grep -qx 'Categories=Development;Electronics;' "$entry"
