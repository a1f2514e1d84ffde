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

# The two ways of running 32-bit Windows programs that tools/wow64-probe.sh
# chooses between (its answer's third line, build/wow64/probe.txt):
# "native", Wine's WoW64 mode with Debian's 32-bit PE libraries
# (build/wow64/dlls), where the processor runs 32-bit code; "emulated",
# Debian's 32-bit Wine under QEMU's user-mode emulator (build/emu32, set up by
# tools/emulated-wine32.sh), started through the copy of wine64 beside its
# loader. Each has a prefix of its own: a prefix made by the plain wine64 has
# an empty syswow64, where no emulated 32-bit process starts.
wine32_select() { # ROOT native|emulated: sets WINE64, WINEDLLPATH and WINE32_PREFIX
  case $2 in
    native)
      WINE64=/usr/lib/wine/wine64
      export WINEDLLPATH=$1/build/wow64/dlls
      WINE32_PREFIX=wow64prefix
      ;;
    emulated)
      WINE64=$1/build/emu32/sysroot/usr/lib/wine/wine64
      unset WINEDLLPATH
      WINE32_PREFIX=emu32prefix
      ;;
  esac
}
