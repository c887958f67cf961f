#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skipped when all are present).
set -euo pipefail
packages=(cmake ninja-build g++ mingw-w64 wine64 wine32:i386 xvfb imagemagick x11-utils
  clang libclang-rt-14-dev googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
