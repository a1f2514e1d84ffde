# Sourced by the scripts that run Wine: a private Wine prefix in the build
# tree and, when there is no display, a virtual one (wine_env_start, for
# bench.sh and the probe); a lane of its own for each test registration
# (wine_lane_start). wine_env_stop and wine_lane_stop stop what they started,
# by process id.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# A private virtual display (WINE_ENV_XVFB_PID); DISPLAY is exported once
# Xvfb writes the display's number to FDFILE, when it accepts clients.
wine_display_start() { # FDFILE LOG
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$1" >/dev/null 2>"$2" &
  WINE_ENV_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$1" ] && break
    sleep 0.1 # Xvfb has no other sign to wait for
  done
  export DISPLAY=":$(head -n1 "$1")"
}

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
    wine_display_start "$fdfile" /dev/null
    rm -f "$fdfile"
  fi
  wine_template "$WINEPREFIX" || true
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

# A lane: what one test registration runs in, apart from every other, so
# that registrations that share nothing run side by side (ctest -j): a Wine
# prefix of its own (its registry, so its own Run value; its own wineserver,
# so its own named objects) and a virtual display of its own (Wine takes hot
# keys and shows tray icons and menus on the display, so two prefixes on one
# display would meet there). The prefix is made anew at each start, from a
# template of its kind that wineboot makes once (build/wineprefix for
# 64-bit Wine; the 32-bit ways' own, wine32_select's WINE32_PREFIX): a Wine
# prefix takes half a minute to make, far longer under the emulator, and a
# copy a fraction of a second. Its Windows binaries (system32, syswow64,
# winsxs: 630 MB, which nothing writes once the prefix is made) are hard
# links to the template's; the rest (registry, users' folders, .ini files,
# which Wine rewrites in place) are copies.
#   wine_lane_start ROOT NAME [TEMPLATE]: exports WINEPREFIX (build/lanes/NAME/prefix),
#   DISPLAY and Wine's variables; WINE64 must name the Wine to make the template with.
wine_lane_start() {
  local root=$1 name=$2 template=$root/build/${3:-wineprefix} fdfile
  local lane=$root/build/lanes/$2
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  rm -rf "$lane" && mkdir -p "$lane"
  fdfile=$lane/display
  wine_display_start "$fdfile" "$lane/xvfb.log"
  [ "$DISPLAY" != : ] || { echo "wine-lane: Xvfb did not start (see $lane/xvfb.log)" >&2; return 1; }
  wine_template "$template" || return 1
  export WINEPREFIX=$lane/prefix
  (cd "$template" && cp -al . "$WINEPREFIX" &&
    find . -type f ! -path './drive_c/windows/system32/*' ! -path './drive_c/windows/syswow64/*' \
      ! -path './drive_c/windows/winsxs/*' -print0 |
    xargs -0 cp -p --remove-destination --parents -t "$WINEPREFIX") ||
    { echo "wine-lane: $template could not be copied to $WINEPREFIX" >&2; return 1; }
  # The prefix's session (wineserver, services, the desktop and its tray)
  # starts with its first process, a second or two of both cores: started
  # here, before the test program, it is not part of its first test's time.
  # It stays while the test program follows within the wineserver's linger.
  timeout 60 "$WINE64" cmd /c exit >/dev/null 2>&1
  return 0
}

# Makes the template prefix TEMPLATE with WINE64, once for each Wine version;
# lanes that start together wait for the first to make it.
wine_template() { # TEMPLATE
  local template=$1 version
  version=$("$WINE64" --version 2>/dev/null)
  mkdir -p "$(dirname "$template")"
  (
    flock 9
    [ -f "$template/.made-by" ] && [ "$(cat "$template/.made-by")" = "$version" ] && exit 0
    rm -rf "$template" && mkdir -p "$template"
    WINEPREFIX=$template timeout 300 "$WINE64" wineboot -i >/dev/null 2>&1
    # A crashing program ends at once instead of waiting in the debugger
    # (which would hold the run until CTest's time-out).
    WINEPREFIX=$template timeout 120 "$WINE64" reg add \
      'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
    # The registry reaches the disk when the prefix's wineserver ends.
    WINEPREFIX=$template timeout 60 "$WINESERVER" -w
    [ -f "$template/system.reg" ] || { echo "wine-lane: wineboot made no prefix in $template" >&2; exit 1; }
    echo "$version" >"$template/.made-by"
  ) 9>"$template.lock"
}

# Ends every process of the lane's prefix, then its display.
wine_lane_stop() {
  timeout 20 "$WINESERVER" -k 2>/dev/null
  timeout 20 "$WINESERVER" -w 2>/dev/null
  if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null
  fi
  return 0
}
