#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skipped when all are present),
# then checks that every tool the scripts call is there, failing with one line naming what
# is missing. Packages are named one by one and installed without their recommends, so a
# fresh machine gets exactly this list: Wine's own commands (wine, wineserver, wineboot) are
# in the package "wine", its fonts in "fonts-wine", and the X libraries Wine loads at run
# time (font rendering, window management) are named here for both architectures.
set -euo pipefail
x_libs=(libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
  libxext6 libfreetype6 libfontconfig1)
packages=(cmake ninja-build g++ make mingw-w64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine xvfb x11-utils imagemagick clang libclang-rt-14-dev
  googletest git "${x_libs[@]}")
for l in "${x_libs[@]}"; do packages+=("$l:i386"); done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# A machine whose kernel refuses 32-bit x86 programs can still show the program under Wine
# through user-mode emulation (slowly): the run command uses qemu-user then.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! command -v qemu-i386-static >/dev/null; then
  echo "Installing: qemu-user-static (this machine does not run 32-bit x86 programs itself)"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    qemu-user-static >/dev/null
fi

# Every command the scripts and the tests call.
tools=(cmake ninja g++ c++ i686-w64-mingw32-g++ i686-w64-mingw32-gcc x86_64-w64-mingw32-gcc
  i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump wine wineserver wineboot Xvfb xdpyinfo
  import convert clang clang++ git)
absent=()
for t in "${tools[@]}"; do command -v "$t" >/dev/null 2>&1 || absent+=("$t"); done
[ -d /usr/lib/x86_64-linux-gnu/wine ] || [ -d /usr/lib/wine ] || absent+=("wine libraries")
[ -d /usr/lib/i386-linux-gnu/wine ] || absent+=("32-bit wine libraries (wine32:i386)")
[ -d /usr/share/wine/fonts ] || absent+=("Wine fonts (fonts-wine)")
if ((${#absent[@]})); then
  echo "missing after install: ${absent[*]}" >&2
  exit 1
fi
