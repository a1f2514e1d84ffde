#!/usr/bin/env bash
# Runs Velmora under 64-bit Wine from dist/win64 with the stand-in device
# libraries, and hands it switches the way a game launcher would:
#   ./run.sh -u360 joy4way      start Velmora if needed, then forward the switches
#   ./run.sh -exit              end Velmora and stop what this script started
# Prints what the simulated sticks received and the current Velmora.ini.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
state=$root/build/run
dist=$root/dist/win64
mkdir -p "$state"

tools/install-deps.sh
if [ ! -f "$dist/Velmora.exe" ] || [ -n "$(find app channel cmdline devices resources settings tray vendor-sim -newer "$dist/Velmora.exe" -print -quit)" ]; then
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2 --target Velmora UltraStik PacDrive >/dev/null
fi
[ -f "$dist/DeviceSim.ini" ] ||
  printf '[UltraStik]\r\nCount=2\r\n[PacDrive]\r\nTypes=4\r\n' >"$dist/DeviceSim.ini"

export WINEPREFIX=$state/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
read_state() { [ -f "$state/$1" ] && cat "$state/$1" || true; }

# A display: the user's, or a private virtual one with a Wine desktop.
xvfb_pid=$(read_state xvfb.pid)
if [ -z "${DISPLAY:-}" ] || alive "$xvfb_pid"; then
  if alive "$xvfb_pid"; then
    export DISPLAY=$(read_state display)
  else
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    echo "$DISPLAY" >"$state/display"
    echo "virtual display $DISPLAY (Xvfb pid $(cat "$state/xvfb.pid"))"
  fi
  desktop=1
fi

velmora_pid=$(read_state velmora.pid)
if ! alive "$velmora_pid"; then
  if [ "$1" = "-exit" ] 2>/dev/null; then
    echo "Velmora is not running"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX"
    timeout 120 "$WINE64" wineboot -i >/dev/null 2>&1 || true
  fi
  if [ -n "${desktop:-}" ]; then
    # Every window of this prefix lives in one Wine desktop with a taskbar.
    timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
    timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
  fi
  if [ "${1:-}" != "-exit" ]; then
    : >"$dist/DeviceSim.log"
    (cd "$dist" && exec "$WINE64" Velmora.exe </dev/null >/dev/null 2>&1) &
    echo $! >"$state/velmora.pid"
    # Wait for the first instance to take the mutex before anything is forwarded.
    sleep 1
    for _ in $(seq 60); do
      code=0
      (cd "$dist" && timeout 30 "$WINE64" Velmora.exe >/dev/null 2>&1) || code=$?
      [ "$code" = 1 ] && break
      sleep 0.5
    done
    echo "Velmora started (pid $(cat "$state/velmora.pid"))"
  fi
fi

before=$( [ -f "$dist/DeviceSim.log" ] && wc -l <"$dist/DeviceSim.log" || echo 0)
if [ $# -gt 0 ] && alive "$(read_state velmora.pid)"; then
  code=0
  (cd "$dist" && timeout 60 "$WINE64" Velmora.exe "$@" >/dev/null 2>&1) || code=$?
  echo "Velmora.exe $* -> exit code $code (1: handed to the running instance)"
fi

if [ "${1:-}" = "-exit" ]; then
  pid=$(read_state velmora.pid)
  for _ in $(seq 100); do alive "$pid" || break; sleep 0.1; done
  rm -f "$state/velmora.pid"
fi

echo "--- the sticks received (DeviceSim.log, new lines) ---"
[ -f "$dist/DeviceSim.log" ] && tail -n +"$((before + 1))" "$dist/DeviceSim.log" | tr -d '\r'
echo "--- Velmora.ini ---"
[ -f "$dist/Velmora.ini" ] && tr -d '\r' <"$dist/Velmora.ini" || echo "(not written yet: Velmora saves its settings when it ends)"

if [ "${1:-}" = "-exit" ]; then
  timeout 20 "$WINESERVER" -k 2>/dev/null || true
  xvfb_pid=$(read_state xvfb.pid)
  if alive "$xvfb_pid"; then
    kill "$xvfb_pid"
    echo "stopped the virtual display (pid $xvfb_pid)"
  fi
  rm -f "$state/xvfb.pid" "$state/display"
fi
