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
# from the archives of the machine's own deb entries, through a private apt configuration that reads
# them as deb-src entries, so the machine's configuration is left as it is.
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

# The source comes from wherever the machine's apt takes its packages (a mirror, a proxy, a snapshot):
# each of its deb entries becomes a deb-src entry in a private source list. Only the source lists and
# the lists folder are ours; the rest of apt's configuration (proxies, keyrings) stays the machine's.
mkdir -p "$work/apt/lists/partial" "$work/apt/sources" "$work/src"
list="" parts=""
eval "$(apt-config shell list Dir::Etc::SourceList/f parts Dir::Etc::SourceParts/d)"
parts=${parts%/}
one_line=()
[ -f "$list" ] && one_line+=("$list")
shopt -s nullglob
one_line+=("$parts"/*.list)
deb822=("$parts"/*.sources)
shopt -u nullglob
# One-line entries: "deb [options] URI suite [components]" becomes deb-src with the rest as it is; comments and
# the machine's own deb-src lines are left out (ours would repeat them).
if [ ${#one_line[@]} -gt 0 ]; then
    awk '$1 == "deb" { sub(/deb/, "deb-src"); if (!seen[$0]++) print }' "${one_line[@]}" \
        >"$work/apt/sources/kelmor-src.list"
fi
# deb822 stanzas whose Types name deb, not disabled, with their other fields (URIs, Suites,
# Components, Signed-By, options) as they are, continuation lines and an inline key included. Field
# names are case-insensitive; a blank line ends a stanza; lines starting with # are comments.
if [ ${#deb822[@]} -gt 0 ]; then
    awk '
        function flush() {
            if (fields != "" && (" " types " ") ~ /[ \t]deb[ \t]/ &&
                tolower(enabled) !~ /^[ \t]*(no|false|off|without|disable|0)[ \t]*$/)
                printf "%sTypes: deb-src\n%s\n", (stanzas++ ? "\n" : ""), fields
            fields = types = enabled = field = ""
        }
        FNR == 1 { flush() }
        /^#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ {
            if (field == "types") types = types " " $0
            else if (field != "enabled") fields = fields "\n" $0
            next
        }
        {
            colon = index($0, ":")
            field = tolower(substr($0, 1, colon - 1))
            if (field == "types") types = substr($0, colon + 1)
            else if (field == "enabled") enabled = substr($0, colon + 1)
            else fields = fields (fields == "" ? "" : "\n") $0
        }
        END { flush() }' "${deb822[@]}" >"$work/apt/sources/kelmor-src.sources"
fi
if ! grep -qs . "$work/apt/sources/kelmor-src.list" "$work/apt/sources/kelmor-src.sources"; then
    echo "no deb entries in the machine's apt sources ($list, $parts): nowhere to fetch Qt's source from" >&2
    exit 1
fi
apt_private=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/apt/sources"
             -o "Dir::State::Lists=$work/apt/lists" -o "APT::Sandbox::User=root")
echo "Fetching the source of qt6-base $version"
# An archive of the machine's that serves no sources (or none now) fails the update but not the fetch,
# which needs only Debian's: its errors are shown when the fetch fails.
apt-get "${apt_private[@]}" -qq update >"$work/update.log" 2>&1 || true
(cd "$work/src" && apt-get "${apt_private[@]}" -qq source "qt6-base=$version") >"$work/source.log" 2>&1 ||
    { tail -n 20 "$work/update.log" "$work/source.log"; exit 1; }
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
