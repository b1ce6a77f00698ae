#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   ./test.sh --windows   also builds Qt for Windows (about 25 minutes on two cores, once) and
#                         installs what drives the Windows program under Wine, so that its test runs.
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
case "${1:-}" in
    "" | --windows) ;;
    *) echo "usage: ./test.sh [--windows]" >&2; exit 2 ;;
esac
if [ "${1:-}" = --windows ]; then
    KELMOR_PACKAGES="$KELMOR_PACKAGES $KELMOR_WINDOWS_PACKAGES"
    kelmor_install_packages
    tools/build-qt-mingw.sh
else
    kelmor_install_packages
fi
kelmor_build
cd "${KELMOR_BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
