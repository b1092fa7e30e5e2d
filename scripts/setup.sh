#!/usr/bin/env bash
# Installs what the build needs on Debian 12 when it is missing, and the extra
# packages named as arguments (a stage's own tools: scripts/setup.sh clang).
set -euo pipefail
pkgs=(build-essential cmake pkg-config qt6-base-dev libqcustomplot-dev libmuparser-dev libgtest-dev libgmock-dev
      xvfb xauth fonts-dejavu-core qt6-translations-l10n)
# The manual pages: Markdown made into troff by pandoc, ecusim's from its --help
# by a Python script.
pkgs+=(pandoc python3)
# The Debian package: dpkg-shlibdeps (dpkg-dev) reads the binaries with `file`;
# the install test checks the menu entry with desktop-file-validate.
pkgs+=(dpkg-dev file desktop-file-utils)
pkgs+=("$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
