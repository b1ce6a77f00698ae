#!/usr/bin/env bash
# Builds Qt for Windows with the MinGW-w64 cross compiler, from Debian's source package of qt6-base at
# the version of the host's Qt, with only what Kelmor uses: Core, Gui, Widgets and the Windows
# platform plugin. (On Windows Kelmor lists the serial ports itself, with the system's SetupAPI, so
# it needs no Qt SerialPort there.) The result goes to a cache outside the tree and is reused when
# present; the script prints its path on the last line.
#
#   tools/build-qt-mingw.sh            # build, or print the cache's path when it is complete
#   tools/build-qt-mingw.sh --where    # print the cache's path; fail when it is not complete
#
# KELMOR_QT_MINGW names the cache (default ~/.cache/kelmor/qt-mingw-<version>). Needs the host's
# Qt (qt6-base-dev), g++-mingw-w64-x86-64-posix, cmake, ninja-build and dpkg-dev; the source comes
# through a private apt configuration, so the machine's own is left as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
upstream=${version%%+*}
cache=${KELMOR_QT_MINGW:-$HOME/.cache/kelmor/qt-mingw-$upstream}
if [ -f "$cache/.complete" ]; then
    echo "$cache"
    exit 0
fi
[ "${1:-}" = --where ] && { echo "no Qt for Windows at $cache: tools/build-qt-mingw.sh builds it" >&2; exit 1; }

# A folder of ours left unfinished is built afresh; anything else there is the user's, kept.
if [ -n "$(ls -A "$cache" 2>/dev/null)" ] && [ ! -f "$cache/.kelmor-qt" ]; then
    echo "$cache holds files that are not a Qt this script began; name another with KELMOR_QT_MINGW" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jobs=$(nproc)

# Debian's source archive, for apt's source access only, beside the machine's configuration.
mkdir -p "$work/apt/lists/partial" "$work/apt/sources" "$work/src"
cat >"$work/apt/sources/kelmor-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
apt_private=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/apt/sources"
             -o "Dir::State::Lists=$work/apt/lists" -o "APT::Sandbox::User=root")
echo "Fetching the source of qt6-base $version"
apt-get "${apt_private[@]}" -qq update
(cd "$work/src" && apt-get "${apt_private[@]}" -qq source "qt6-base=$version") >"$work/source.log" 2>&1 ||
    { tail -n 20 "$work/source.log"; exit 1; }
qtbase=$(find "$work/src" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

rm -rf "$cache"
mkdir -p "$cache"
touch "$cache/.kelmor-qt"
echo "Configuring Qt $upstream for x86_64-w64-mingw32 into $cache"
# Debian's source leaves out the third-party header that tablet events need; the 6.4 Windows plugin
# does not build without OpenGL, which it loads at run time.
cmake -S "$qtbase" -B "$work/qtbase" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$cache" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_tabletevent=OFF \
    >"$work/qtbase-configure.log" 2>&1 || { tail -n 60 "$work/qtbase-configure.log"; exit 1; }
echo "Building Qt's base (about half an hour on two cores)"
cmake --build "$work/qtbase" -j "$jobs" >"$work/qtbase-build.log" 2>&1 || { tail -n 60 "$work/qtbase-build.log"; exit 1; }
cmake --install "$work/qtbase" >/dev/null

touch "$cache/.complete"
echo "$cache"
