#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skipped when all are present),
# then checks that every tool the scripts call is there, failing with one line naming what
# is missing. Packages are named one by one and installed without their recommends, so a
# fresh machine gets exactly this list: Wine's own commands (wine, wineserver, wineboot) are
# in the package "wine", its fonts in "fonts-wine", and the X libraries Wine loads at run
# time (font rendering, window management) are named here.
#
# Whether this machine runs 32-bit x86 programs is decided first, by a tiny i386 program (no
# package needed). Only where it does are the i386 architecture and the 32-bit Wine added;
# elsewhere every Wine test runs on the x86_64 programs under 64-bit Wine. A mirror whose
# index is half synchronised does not stop the install: whatever was fetched is used, and
# the install fails only when a package it needs cannot be installed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh

x_libs=(libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
  libxext6 libfreetype6 libfontconfig1)
# The build and the tests: compilers (native, MinGW-w64 for both widths, 32-bit gcc and g++
# for the VxD and window stub harnesses), the VxD's assembler, Wine and an X server for the
# Wine tests, the driver signing tools, the fuzzers' clang and runtime, GoogleTest; qemu-user
# runs the 32-bit harnesses where the kernel does not.
packages=(cmake ninja-build g++ make gcc-multilib g++-multilib mingw-w64 binutils-mingw-w64-i686
  binutils-mingw-w64-x86-64 nasm wine wine64 fonts-wine xvfb x11-utils imagemagick clang
  libclang-rt-14-dev googletest git osslsigncode openssl qemu-user-static "${x_libs[@]}")
i386_packages=()
if mvn_runs_i386; then
  i386_packages=(wine32:i386)
  for l in "${x_libs[@]}"; do i386_packages+=("$l:i386"); done
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=() missing_i386=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${i386_packages[@]}"; do installed "$p" || missing_i386+=("$p"); done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
apt_install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" \
    >/dev/null 2>"${MVN_BUILD}/apt-install.err"
}
if ((${#missing[@]} + ${#missing_i386[@]})); then
  mkdir -p "$MVN_BUILD"
  ((${#missing_i386[@]} == 0)) || $SUDO dpkg --add-architecture i386
  # A mirror in the middle of a sync answers some index files with the wrong size: try again
  # a few times, then go on with what was fetched.
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq >"$MVN_BUILD/apt-update.log" 2>&1; then break; fi
    if [ "$attempt" -eq 3 ]; then
      echo "apt-get update reported failures; installing from the indexes it did fetch:"
      grep -E '^(E|W):' "$MVN_BUILD/apt-update.log" | head -n 3 | sed 's/^/   /'
    else
      sleep $((attempt * 5))
    fi
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if ! apt_install "${missing[@]}"; then
      # One by one, to name exactly what cannot be installed.
      failed=()
      for p in "${missing[@]}"; do apt_install "$p" || failed+=("$p"); done
      if ((${#failed[@]})); then
        echo "cannot install: ${failed[*]} ($(tail -n 1 "$MVN_BUILD/apt-install.err"))" >&2
        exit 1
      fi
    fi
  fi
  if ((${#missing_i386[@]})); then
    echo "Installing (32-bit Wine): ${missing_i386[*]}"
    # Without them the Wine tests run on the x86_64 programs only, as on a 64-bit-only machine.
    apt_install "${missing_i386[@]}" ||
      echo "could not install the 32-bit Wine; the i686 programs' Wine tests will not run"
  fi
fi

# Every command the scripts and the tests call.
tools=(cmake ninja g++ c++ gcc i686-w64-mingw32-g++ i686-w64-mingw32-gcc x86_64-w64-mingw32-g++
  x86_64-w64-mingw32-gcc i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump nasm wine wineserver
  wineboot Xvfb xdpyinfo import identify clang clang++ git osslsigncode openssl qemu-i386-static)
absent=()
for t in "${tools[@]}"; do command -v "$t" >/dev/null 2>&1 || absent+=("$t"); done
[ -x /usr/lib/wine/wine64 ] || absent+=("64-bit wine loader (wine64)")
[ -d /usr/share/wine/fonts ] || absent+=("Wine fonts (fonts-wine)")
if ((${#absent[@]})); then
  echo "missing after install: ${absent[*]}" >&2
  exit 1
fi
