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
