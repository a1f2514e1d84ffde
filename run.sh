#!/usr/bin/env bash
# Runs Velmora under 64-bit Wine with the stand-in device libraries and hands
# it switches the way a game launcher would. See ./run.sh --help.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
state=$root/build/run
dist=$root/dist/win64
helper=$root/build/win64/run/DesktopHelper.exe

usage() {
  cat <<'EOF'
./run.sh                    is Velmora running? its modes, the journal and settings file
./run.sh SWITCHES...        run Velmora.exe SWITCHES as a game launcher does, e.g.
                              ./run.sh -u360 joy4way     ./run.sh -servo joy8way
                              ./run.sh -help             (the usage box: a picture is saved)
                            When Velmora is not running, that call starts it (the
                            running instance, a process of its own) and returns like
                            any later call, exit code 1; add -exit to apply and end.
./run.sh -exit              end Velmora (answering any open box first) and stop
                            what run.sh started
./run.sh --screenshot [FILE]  picture of the virtual desktop (default build/run/desktop.png)
./run.sh --menu [FILE]        picture of the tray menu with its UltraStik 360 submenu
                              (default build/run/menu.png)
./run.sh --settings [FILE]    picture of the Settings window (default build/run/settings.png)
./run.sh --dpi N ...        Velmora (re)started at N dots per inch of display scaling:
                              96 is 100 %, 120 125 %, 144 150 %, 192 200 %; e.g.
                              ./run.sh --dpi 192 --settings
./run.sh --explain CODE     what an exit code of Velmora.exe means
./run.sh --help             this text

Velmora runs from dist/win64 (built when missing or older than its sources)
in the Wine prefix build/run/wineprefix, with a DeviceSim.ini of two
UltraStik 360 and one ServoStik. Without DISPLAY it gets a private virtual
display with a Wine desktop, and whenever Velmora shows a window there
(a usage box) run.sh saves a picture of it and returns instead of waiting.
What the simulated sticks received is in dist/win64/DeviceSim.log.
--screenshot, --menu and --settings start Velmora when it is not running, as
a double-click does (no switches: it becomes the running instance itself).

Exit codes of Velmora.exe, as README.md words them (./run.sh --explain CODE):
  0 Velmora ended normally (a first start given -exit)
  1 handed to the running instance, which acted on it
  2 nothing was done and nothing will be: safe to try again
  3 the running instance took the line and did not finish it: it may still take effect
  124 no answer within the time run.sh waits (run.sh gave up)
EOF
}

explain() {
  case "$1" in
    0) echo "0: Velmora ended normally (a first start given -exit, once its switches are applied, or a start without switches that became the running instance, once it ended)" ;;
    1) echo "1: handed to the running instance, which acted on it" ;;
    2) echo "2: nothing was done and nothing will be (no instance reached or started, the message refused, or the line turned away or withdrawn): safe to try again" ;;
    3) echo "3: the running instance took the line and did not finish it (silent for 5 s, not done after 30 s, or gone): it may still take effect" ;;
    124) echo "124: no answer within the time run.sh waits; Velmora may still act on it" ;;
    *) echo "$1: not an exit code of Velmora (it was killed, or could not start)" ;;
  esac
}

# --dpi N, wherever it stands, is run.sh's own and is not forwarded.
dpi=
args=()
while [ $# -gt 0 ]; do
  if [ "$1" = --dpi ]; then
    dpi=${2:-}
    case "$dpi" in
      '' | *[!0-9]*) echo "--dpi takes dots per inch, e.g. --dpi 144" >&2; exit 2 ;;
    esac
    shift 2
  else
    args+=("$1")
    shift
  fi
done
set -- "${args[@]}"

case "${1:-}" in
  --help | -h) usage; exit 0 ;;
  --explain) explain "${2:-}"; exit 0 ;;
esac

mkdir -p "$state"
tools/install-deps.sh
if [ ! -f "$dist/Velmora.exe" ] || [ ! -f "$helper" ] ||
  [ -n "$(find app channel cmdline devices resources settings tray vendor-sim tools/run -newer "$dist/Velmora.exe" -print -quit)" ]; then
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2 --target Velmora UltraStik PacDrive DesktopHelper >/dev/null
fi
[ -f "$dist/DeviceSim.ini" ] ||
  printf '[UltraStik]\r\nCount=2\r\n[PacDrive]\r\nTypes=4\r\n' >"$dist/DeviceSim.ini"

export WINEPREFIX=$state/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
read_state() { [ -f "$state/$1" ] && cat "$state/$1" || true; }
velmora() { (cd "$dist" && timeout "$1" "$WINE64" Velmora.exe "${@:2}" </dev/null >/dev/null 2>&1); }
desktop_helper() { timeout 30 "$WINE64" "$helper" "$@" 2>/dev/null | tr -d '\r'; }
journal_lines() { [ -f "$dist/DeviceSim.log" ] && wc -l <"$dist/DeviceSim.log" || echo 0; }
# The running Velmora's process id, or status 1: a launcher's first call
# starts it as a process of its own, so the desktop is asked, not the shell.
running() {
  # (A prefix just made has no system.reg until its wineserver first saves
  # the registry, which a running Velmora puts off.)
  [ -n "${DISPLAY:-}" ] && [ -d "$WINEPREFIX/drive_c" ] || return 1
  desktop_helper running
}

# A display: the user's, or a private virtual one with a Wine desktop.
xvfb_pid=$(read_state xvfb.pid)
private=
if [ -z "${DISPLAY:-}" ] || alive "$xvfb_pid"; then
  private=1
  alive "$xvfb_pid" && export DISPLAY=$(read_state display)
fi

# A program reads the display's scaling when it starts: a Velmora that runs
# at another one is ended first (and the private display with it).
if [ -n "$dpi" ] && running >/dev/null && [ "$(read_state dpi)" != "$dpi" ]; then
  echo "Velmora runs at $(read_state dpi) dpi: ending it to start it at $dpi dpi"
  "$0" -exit >/dev/null
fi

# The status and -exit need none: nothing runs on a private display that is gone.
if [ -n "$private" ] && ! alive "$(read_state xvfb.pid)"; then
  unset DISPLAY
  if [ -n "${1:-}" ] && [ "$1" != -exit ]; then
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    echo "$DISPLAY" >"$state/display"
    echo "virtual display $DISPLAY (Xvfb pid $(cat "$state/xvfb.pid"))"
  fi
fi

screenshot() {
  [ -n "$private" ] || { echo "pictures need the private virtual display: unset DISPLAY" >&2; return 1; }
  import -window root "$1" && echo "picture saved: $1"
}

prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX"
    timeout 120 "$WINE64" wineboot -i >/dev/null 2>&1 || true
    timeout 60 "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /d '' /f >/dev/null 2>&1 || true
  fi
  # Wine draws the caption buttons with the Marlett font, and Debian's Wine
  # 8.0 loads no font from its own folder (fonts-wine's /usr/share/wine/fonts):
  # without a copy in the prefix the buttons show as the letters "0 1 r".
  [ -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] ||
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  if [ -n "$private" ]; then
    # Every window of this prefix lives in one Wine desktop with a taskbar.
    timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
    timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
  fi
  # Wine scales its windows, fonts and system metrics by this value.
  timeout 30 "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "${dpi:-96}" /f >/dev/null 2>&1
  echo "${dpi:-96}" >"$state/dpi"
  : >"$dist/DeviceSim.log"
}

# Velmora started as a double-click starts it, for the pictures: a start
# without switches becomes the running instance itself. Waits until it
# takes lines.
start_velmora() {
  local pid until=$((SECONDS + 30))
  running >/dev/null && return 0
  prepare_prefix
  (cd "$dist" && exec "$WINE64" Velmora.exe </dev/null >/dev/null 2>&1) &
  while [ "$SECONDS" -lt "$until" ]; do
    sleep 0.2
    # A journal line means its startup has reached the sticks, long after it
    # made its first-instance mark: an empty hand-over cannot take its place.
    if [ "$(journal_lines)" -gt 0 ] && running >/dev/null; then
      code=0; velmora 5 || code=$?
      [ "$code" = 1 ] && break
    fi
  done
  pid=$(running) || { echo "Velmora did not start within 30 s" >&2; return 1; }
  echo "Velmora started (process $pid, display scaling $(read_state dpi) dpi)"
}

# The call a launcher makes first: no Velmora runs, so this one starts the
# running instance as a process of its own and hands its switches over to
# it, as any later call does.
first_call() {
  local pid
  echo "Velmora is not running: Velmora.exe $* starts it and hands its switches over"
  prepare_prefix
  forward "$@"
  if pid=$(running); then
    echo "Velmora runs now (process $pid, display scaling $(read_state dpi) dpi), started by that call"
  fi
}

status() {
  local pid
  if pid=$(running); then
    echo "Velmora is running (process $pid, display scaling $(read_state dpi) dpi)"
    local map servo
    map=$(grep -a '^UltraStik 13 0 ' "$dist/DeviceSim.log" 2>/dev/null | tail -n1 | cut -d' ' -f4- | tr -d '\r')
    servo=$(grep -a '^PacDrive \(29\|30\)' "$dist/DeviceSim.log" 2>/dev/null | tail -n1 | tr -d '\r')
    echo "UltraStik 360 map: ${map:-(none loaded yet)}"
    case "$servo" in
      "PacDrive 29") echo "ServoStik: 4-way" ;;
      "PacDrive 30") echo "ServoStik: 8-way" ;;
      *) echo "ServoStik: (not switched yet)" ;;
    esac
    [ -n "$private" ] && echo "display: $DISPLAY (private; ./run.sh --screenshot shows it)"
  else
    echo "Velmora is not running (./run.sh SWITCHES starts it)"
  fi
  echo "journal of the simulated sticks: $dist/DeviceSim.log"
  echo "settings file: $dist/Velmora.ini (written when a choice changes)"
}

show_journal() {
  echo "--- the sticks received (DeviceSim.log, new lines) ---"
  [ -f "$dist/DeviceSim.log" ] && tail -n +"$(($1 + 1))" "$dist/DeviceSim.log" | tr -d '\r'
  echo "--- Velmora.ini ---"
  [ -f "$dist/Velmora.ini" ] && tr -d '\r' <"$dist/Velmora.ini" ||
    echo "(not written yet: no choice has changed)"
}

# Hands the switches over; on the private display a window that opens (the
# usage box) is photographed and left open instead of waited on.
forward() {
  local before code=0 pid
  before=$(journal_lines)
  rm -f "$state/forward.code"
  # Its own output goes nowhere: a caller reading run.sh's output must not
  # wait for a hand-over that stays behind an open box.
  (code=0; velmora 60 "$@" || code=$?; echo "$code" >"$state/forward.code") >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do
    sleep 0.2
    alive "$pid" || break
    if [ -n "$private" ] && desktop_helper windows >"$state/windows.txt"; then
      echo "Velmora.exe $* is waiting: Velmora shows a window ($(paste -sd, "$state/windows.txt"))"
      screenshot "$state/window.png"
      echo "it stays open until answered; ./run.sh -exit answers it and ends Velmora"
      return 0
    fi
  done
  wait "$pid" 2>/dev/null || true
  code=$(cat "$state/forward.code" 2>/dev/null || echo 124)
  echo "Velmora.exe $* -> exit code $(explain "$code")"
  show_journal "$before"
}

stop_all() {
  local before ended= until
  before=$(journal_lines)
  if running >/dev/null; then
    # Answer what is open (a usage box, the exit question) so -exit is acted on.
    desktop_helper close >/dev/null || true
    code=0; velmora 10 -exit || code=$?
    echo "Velmora.exe -exit -> exit code $(explain "$code")"
    until=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$until" ]; do
      running >/dev/null || { ended=1; break; }
      sleep 0.2
    done
    [ -n "$ended" ] || echo "Velmora did not end within 10 s: stopped with the rest of the Wine prefix"
  else
    echo "Velmora is not running"
  fi
  show_journal "$before"
  timeout 20 "$WINESERVER" -k 2>/dev/null || true
  local xvfb
  xvfb=$(read_state xvfb.pid)
  if alive "$xvfb"; then
    kill "$xvfb"
    echo "stopped the virtual display (pid $xvfb)"
  fi
  rm -f "$state/xvfb.pid" "$state/display"
}

case "${1:-}" in
  "") status ;;
  -exit) stop_all ;;
  --screenshot) start_velmora; screenshot "${2:-$state/desktop.png}" ;;
  --menu)
    start_velmora
    desktop_helper menu || { echo "the tray menu did not open" >&2; exit 1; }
    screenshot "${2:-$state/menu.png}"
    desktop_helper menu-close >/dev/null || true
    ;;
  --settings)
    start_velmora
    where=$(desktop_helper settings) || { echo "the Settings window did not show" >&2; exit 1; }
    screenshot "${2:-$state/settings.png}"
    echo "the Settings window is at $where on it (convert -crop $where cuts it out)"
    desktop_helper close >/dev/null || true
    ;;
  -*)
    if running >/dev/null; then
      forward "$@"
    else
      first_call "$@"
    fi
    ;;
  *) echo "unknown: $1 (./run.sh --help)" >&2; exit 2 ;;
esac
