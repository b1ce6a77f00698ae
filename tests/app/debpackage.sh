#!/usr/bin/env bash
# The Debian package holds the programs, the desktop entry and the icon, depends on the Qt libraries
# the programs link, and its programs run when unpacked into a scratch root.
set -euo pipefail
cpack="$1"
build="$2"
version="$3"
startquit="$4"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
deb="$work/out/kelmor_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no $deb:"; ls "$work/out"; exit 1; }

[ "$(dpkg-deb -f "$deb" Package)" = kelmor ]
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ]
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins libc6; do
    if ! grep -Eq "(^|, )$package( |,|$)" <<<"$depends"; then
        echo "Depends lacks $package: $depends"
        exit 1
    fi
done

expected="./usr/bin/kelmor
./usr/bin/kelmor-drive-sim
./usr/share/applications/kelmor.desktop
./usr/share/doc/kelmor/copyright
./usr/share/icons/hicolor/scalable/apps/kelmor.svg"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)
if [ "$files" != "$expected" ]; then
    echo "package files:"
    echo "$files"
    exit 1
fi

root="$work/root"
dpkg -x "$deb" "$root"
# The copyright file names the licence, with its text.
grep -qx "License: MIT" "$root/usr/share/doc/kelmor/copyright"
grep -q "^ Permission is hereby granted, free of charge" "$root/usr/share/doc/kelmor/copyright"
sim="$root/usr/bin/kelmor-drive-sim"
[ "$("$sim" --version)" = "kelmor-drive-sim $version" ]
# The register query answers with the value and a prompt, the empty line leaves it; then the position.
printf 'P1\r\rl\r' | "$sim" --stdio >"$work/answer"
printf 'P1\r\n1024:\r\nl\r\nX=100000\r\n' >"$work/expected"
if ! cmp -s "$work/answer" "$work/expected"; then
    echo "the drive answered:"
    od -c "$work/answer"
    exit 1
fi

bash "$startquit" "$root/usr/bin/kelmor"
