# Sourced by test.sh and bench.sh: a private Wine prefix in the build
# tree and, when there is no display, a virtual one. wine_env_stop stops what
# wine_env_start started, by process id.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

wine_env_start() {
  # A prefix of its own for each script (default build/wineprefix), so that
  # one script's wineserver -k never ends another's programs.
  local root=$1 prefix=${2:-wineprefix}
  export WINEPREFIX="$root/build/$prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  WINE_ENV_XVFB_PID=
  if [ -z "${DISPLAY:-}" ]; then
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    for _ in $(seq 100); do
      [ -s "$fdfile" ] && break
      sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    timeout 120 "$WINE64" wineboot -i >/dev/null 2>&1 || true
    # A crashing program ends at once instead of waiting in the debugger.
    timeout 60 "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /d '' /f >/dev/null 2>&1 || true
  fi
  timeout 60 "$WINESERVER" -w 2>/dev/null || true
}

wine_env_stop() {
  # Ends every process of this prefix (the Wine tray and desktop included),
  # then the virtual display if we started one.
  [ -n "${WINEPREFIX:-}" ] && timeout 20 "$WINESERVER" -k 2>/dev/null || true
  if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
  fi
}
