# Shared by run.sh and test.sh: install what the build needs, then configure and build.
# Sourced, not run; KELMOR_BUILD_DIR and KELMOR_CMAKE_ARGS may be set by the caller.

# The MinGW-w64 cross compiler and Wine (64-bit only, no i386 architecture needed) check the Win32
# serial backend.
KELMOR_PACKAGES="g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev libeigen3-dev libgtest-dev libgmock-dev
libbenchmark-dev fonts-dejavu-core poppler-utils clang libclang-rt-14-dev dpkg-dev file desktop-file-utils
g++-mingw-w64-x86-64-posix wine wine64"
# What drives the Windows program under Wine on a display of its own, by what the screen shows
# (test.sh --windows adds it).
# shellcheck disable=SC2034
KELMOR_WINDOWS_PACKAGES="xvfb xdotool xclip tesseract-ocr imagemagick python3"

kelmor_install_packages() {
    local missing=()
    local pkg
    for pkg in $KELMOR_PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Kelmor needs these Debian packages. Install them, then run this again:" >&2
        echo "sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
}

kelmor_build() {
    local dir="${KELMOR_BUILD_DIR:-build}"
    # shellcheck disable=SC2086
    cmake -S . -B "$dir" -G Ninja ${KELMOR_CMAKE_ARGS:-}
    cmake --build "$dir" -j "$(nproc)"
}
