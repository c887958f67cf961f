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

# Whether this machine runs 32-bit x86 programs itself, natively. Some kernels refuse them
# ("Exec format error": no IA-32 emulation, as in some virtual machines); there Wine cannot run
# the i686 Windows programs, and the x86_64 ones carry every Wine test. Asked with a 93-byte
# i386 Linux program that only exits, written here, so that no package is needed for it. A
# program that runs only because an emulator is registered for it (qemu-user through
# binfmt_misc) does not count: Wine under emulation is about a hundred times slower.
mvn_runs_i386() {
  local probe status=0
  probe=$(mktemp "${TMPDIR:-/tmp}/mvn-i386.XXXXXX") || return 1
  # ELF header (i386, executable, entry 0x08048054), one loadable segment of the whole file,
  # then: mov eax, 1; xor ebx, ebx; int 0x80 (exit 0).
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=1
  rm -f "$probe"
  [ "$status" -eq 0 ] || return 1
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    grep -q '^enabled' "$entry" 2>/dev/null || continue
    grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null && return 1
  done
  return 0
}

# Whether the i686 programs' Wine tests can run here: 32-bit programs run natively and the
# 32-bit Wine is installed.
mvn_wine_runs_i686() {
  mvn_runs_i386 && [ -x /usr/lib/wine/wine ]
}
