#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, only when something is missing.
#   bash scripts/deps.sh            the build, the tests and the demo
#   bash scripts/deps.sh package    also what scripts/package.sh and its check need
set -euo pipefail
pkgs=(build-essential cmake pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev googletest libftdi1-dev
      zlib1g-dev libssl-dev clang libclang-rt-14-dev
      xvfb xauth libxcb1-dev
      umockdev libumockdev-dev)
if [ "${1:-}" = package ]; then
  pkgs+=(dpkg-dev lintian appstream man-db git)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
