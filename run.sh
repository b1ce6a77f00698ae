#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kelmor.
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
kelmor_install_packages
kelmor_build
exec ./build/kelmor
