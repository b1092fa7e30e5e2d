#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package
# build/varnek-test_<version>_amd64.deb. Install it with
#   sudo apt install ./build/varnek-test_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
cd build
cpack -G DEB
ls -1t "$PWD"/varnek-test_*.deb | head -n 1  # the one just made
