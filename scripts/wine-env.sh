# Sourced by the scripts: Wine prefixes inside the build folder, quiet Wine, and a prefix
# ready for the first program (the service manager answers 1055 until wineboot has run).
: "${MVN_BUILD:=$PWD/build}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono/Gecko installer prompts
export MVN_WINE64_PREFIX="$MVN_BUILD/wine64"
export MVN_WINE32_PREFIX="$MVN_BUILD/wine32"

mvn_wine_prepare() {  # prefix arch
  local prefix=$1 arch=$2
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    WINEPREFIX="$prefix" WINEARCH="$arch" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -w
  fi
}

mvn_xvfb_start() {  # starts a private X server unless one is there already
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    local n=97
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    MVN_XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  fi
}

# Whether this machine runs 32-bit x86 programs itself: Wine needs that for our i686 Windows
# programs. Some kernels refuse 32-bit programs ("Exec format error": no IA-32 emulation, as in
# some virtual machines); an emulator registered for them (qemu-user) runs Wine about a
# hundred times slower, too slow for the tests.
mvn_runs_i386() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 || return 1
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    grep -q '^enabled' "$entry" 2>/dev/null || continue
    grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null && return 1
  done
  return 0
}

# Where the kernel refuses 32-bit x86 programs: hands them to qemu-user while the caller runs
# (needs root), and takes that back with mvn_emulate_i386_stop.
mvn_emulate_i386_start() {
  local misc=/proc/sys/fs/binfmt_misc
  [ -f "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc" || return 1
  if [ ! -e "$misc/mvn-i386" ]; then
    printf '%s' ':mvn-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >"$misc/register" || return 1
    MVN_I386_EMULATED=1
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

mvn_emulate_i386_stop() {
  if [ -n "${MVN_I386_EMULATED:-}" ]; then
    echo -1 >/proc/sys/fs/binfmt_misc/mvn-i386 2>/dev/null || true
    MVN_I386_EMULATED=
  fi
}
