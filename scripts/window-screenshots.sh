#!/usr/bin/env bash
# Regenerates docs/main-window-*.png, docs/tray-*.png and docs/failure-*.png:
# the program itself, under a private Xvfb with a notification area
# (trayer), against the private servers, in each state: waiting,
# synchronised, failing (the turnstile table gone), without the turnstile
# (its server stopped), disconnected by the user; then the failures of a
# start with the system (the turnstile's server stopped, the ERP's port
# wrong), each with its box, its notification and the red icon, and the
# start-up box of a wrong ERP port. No window manager: windows show their
# client area only.
# Needs the servers: source "$CATRACA_SERVERS_DIR/env.sh" first.
# Usage: scripts/window-screenshots.sh [build folder, default build]
# SCREENSHOT_DISPLAY picks the Xvfb display (default :81).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
build=${1:-build}
: "${CATRACA_FB_HOST:?source the servers env.sh first}"
cmake --build "$build" --target catraca-sync >/dev/null

work=$(mktemp -d)
install=$work/install
mkdir -p "$install"
cp "$build/src/catraca-sync" "$install/"
port=$CATRACA_FB_PORT; [ "$port" = 3050 ] && port=""
printf '[IBCONFIG]\r\nIP=%s\r\nLOCAL=%s\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%s\r\nUSACONFIG=0\r\n' \
  "$CATRACA_FB_HOST" "$CATRACA_FB_DATABASE" "$port" > "$install/norvacomercio.ini"
printf '[MySQL]\r\nHostName=%s\r\nPort=%s\r\nDatabase=%s\r\nUser_Name=%s\r\nPassword=%s\r\n' \
  "$CATRACA_MYSQL_HOST" "$CATRACA_MYSQL_PORT" "$CATRACA_MYSQL_DATABASE" "$CATRACA_MYSQL_USER" \
  "$CATRACA_MYSQL_PASSWORD" > "$install/dbxconnections.ini"
# Silent alerts: a beep has no picture.
: > "$install/nosound.dat"

sql() { "$ROOT/scripts/servers.sh" mysql-sql "$1" >/dev/null; }
sql "delete from cad_comanda"

display=${SCREENSHOT_DISPLAY:-:81}
export DISPLAY=$display
Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp &
xvfb=$!
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kill "$xvfb" 2>/dev/null || true
  sql "rename table cad_comanda_fora to cad_comanda" 2>/dev/null || true
  "$ROOT/scripts/servers.sh" start-mariadb >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
sleep 1
# A notification area along the bottom right; the icon sits in its middle.
trayer --edge bottom --align right --widthtype pixel --width 40 --heighttype pixel --height 30 \
  --transparent false --tint 0xdddddd >/dev/null 2>&1 &
pids+=($!)
sleep 1
icon_x=$((1400 - 20)) icon_y=$((900 - 15))

XDG_RUNTIME_DIR=$work "$install/catraca-sync" >"$work/console.txt" 2>&1 &
pids+=($!)
sleep 3
main=$(xdotool search --sync --onlyvisible --name 'Miravel - v1.4' | head -1)

# A tooltip shows after the pointer rests on the icon.
hover_icon() {
  xdotool mousemove $((icon_x - 8)) "$icon_y"
  sleep 0.5
  xdotool mousemove "$icon_x" "$icon_y"
  sleep 3
}
shot_window() { # name
  import -window "$main" "docs/$1.png"
}
shot_area() { # name, geometry
  import -window root "$work/full.png"
  convert-im6.q16 "$work/full.png" -crop "$2" +repage "docs/$1.png"
}
# Failure boxes are not modal: put them aside so the window shows whole.
boxes_aside() {
  for w in $(xdotool search --onlyvisible --name '^Integração com Catracas Ovrex/Miravel$' 2>/dev/null); do
    xdotool windowmove "$w" 0 0
  done
}

shot_window main-window-waiting
xdotool key --window "$main" F2
sleep 5
shot_window main-window-synchronised

# The tooltip and the menu of the notification-area icon.
hover_icon
shot_area tray-tooltip 420x120+980+770
xdotool click 3
sleep 1.5
shot_area tray-menu 300x190+1100+700
xdotool key Escape
xdotool mousemove 700 100
sleep 1

# The table goes away while a tab opens: every write fails.
sql "rename table cad_comanda to cad_comanda_fora"
"$ROOT/scripts/servers.sh" fb-sql "INSERT INTO COMANDAS VALUES (901, 5);" >/dev/null
sleep 6
boxes_aside
sleep 1
shot_window main-window-failing
# Qt shows tooltips while one of its windows is active: the window's header.
xdotool mousemove 700 180 click 1
sleep 0.5
hover_icon
shot_area tray-tooltip-failing 420x140+980+750
xdotool mousemove 700 100
sql "rename table cad_comanda_fora to cad_comanda"
sleep 6

# The turnstile's server stops.
"$ROOT/scripts/servers.sh" stop-mariadb >/dev/null
sleep 8
boxes_aside
sleep 1
shot_window main-window-no-turnstile
"$ROOT/scripts/servers.sh" start-mariadb >/dev/null
"$ROOT/scripts/servers.sh" fb-sql "DELETE FROM COMANDAS WHERE COM_NUMERO = 901;" >/dev/null

# Back, then the user's own disconnect: grey, and no green status left.
sleep 8
boxes_aside
xdotool key --window "$main" F3
sleep 2
shot_window main-window-disconnected
kill "${pids[-1]}" 2>/dev/null || true
wait "${pids[-1]}" 2>/dev/null || true
sleep 1

# A start with the system, in an installation of its own: the program in
# the notification area only, its box and its notification on screen.
hidden_start() { # folder
  mkdir -p "$1"
  cp "$install/catraca-sync" "$install/dbxconnections.ini" "$install/nosound.dat" "$1/"
  XDG_RUNTIME_DIR=$work CATRACA_STARTUP_WAIT_MS=0 "$1/catraca-sync" HIDE >>"$work/console.txt" 2>&1 &
  pids+=($!)
  sleep 5
}
# The notification first: it goes away by itself 10 s after the failure.
shot_failure() { # box picture, balloon picture
  local box
  box=$(xdotool search --onlyvisible --name '^Integração com Catracas Ovrex/Miravel$' | head -1)
  xdotool windowmove "$box" 0 0
  sleep 1
  shot_area "$2" 560x200+840+700
  import -window "$box" "docs/$1.png"
}

# The turnstile's server is down when the program starts.
"$ROOT/scripts/servers.sh" stop-mariadb >/dev/null
mkdir -p "$work/hidden1"
cp "$install/norvacomercio.ini" "$work/hidden1/"
hidden_start "$work/hidden1"
shot_failure failure-box-turnstile failure-balloon-turnstile
kill "${pids[-1]}" 2>/dev/null || true
wait "${pids[-1]}" 2>/dev/null || true
"$ROOT/scripts/servers.sh" start-mariadb >/dev/null

# The ERP's port is wrong in its settings file.
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/hidden2"
printf '[IBCONFIG]\r\nIP=%s\r\nLOCAL=%s\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%s\r\nUSACONFIG=0\r\n' \
  "$CATRACA_FB_HOST" "$CATRACA_FB_DATABASE" "$closed" > "$work/hidden2/norvacomercio.ini"
hidden_start "$work/hidden2"
shot_failure failure-box-erp failure-balloon-erp
kill "${pids[-1]}" 2>/dev/null || true
wait "${pids[-1]}" 2>/dev/null || true

# Started by the user with the same wrong port: the start-up box.
mkdir -p "$work/manual"
cp "$install/catraca-sync" "$install/dbxconnections.ini" "$install/nosound.dat" "$work/hidden2/norvacomercio.ini" \
  "$work/manual/"
XDG_RUNTIME_DIR=$work "$work/manual/catraca-sync" >>"$work/console.txt" 2>&1 &
pids+=($!)
sleep 6
startup=$(xdotool search --onlyvisible --name '^Erro ao conectar$' | head -1)
import -window "$startup" docs/failure-startup-erp.png

echo "Console of the program:"
cat "$work/console.txt"
ls -l docs/main-window-*.png docs/tray-*.png docs/failure-*.png
