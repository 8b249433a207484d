#!/usr/bin/env bash
# Regenerates docs/failure-beside-*.png: the program itself, under a private
# Xvfb (1920 x 1080, and 1366 x 768 for the box inside the window) with a
# notification area, against the private servers; each failure box where it
# opens next to the main window, and the window after the person corrected
# the field the box names. No window manager: windows show their client area
# only.
# Needs the servers: source "$CATRACA_SERVERS_DIR/env.sh" first.
# Usage: scripts/failure-box-screenshots.sh [build folder, default build]
# SCREENSHOT_DISPLAY picks the Xvfb display (default :82).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
build=${1:-build}
: "${CATRACA_FB_HOST:?source the servers env.sh first}"
cmake --build "$build" --target catraca-sync >/dev/null

work=$(mktemp -d)
port=$CATRACA_FB_PORT; [ "$port" = 3050 ] && port=""
product() { # folder, ERP port, database path
  printf '[IBCONFIG]\r\nIP=%s\r\nLOCAL=%s\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%s\r\nUSACONFIG=0\r\n' \
    "$CATRACA_FB_HOST" "$3" "$2" > "$1/norvacomercio.ini"
}
turnstile() { # folder, password
  printf '[MySQL]\r\nHostName=%s\r\nPort=%s\r\nDatabase=%s\r\nUser_Name=%s\r\nPassword=%s\r\n' \
    "$CATRACA_MYSQL_HOST" "$CATRACA_MYSQL_PORT" "$CATRACA_MYSQL_DATABASE" "$CATRACA_MYSQL_USER" "$2" \
    > "$1/dbxconnections.ini"
}
install() { # folder: the program, silent
  mkdir -p "$1"
  cp "$build/src/catraca-sync" "$1/"
  : > "$1/nosound.dat"
}
"$ROOT/scripts/servers.sh" mysql-sql "delete from cad_comanda" >/dev/null

display=${SCREENSHOT_DISPLAY:-:82}
export DISPLAY=$display
xvfb=""
pids=()
stop_all() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  pids=()
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  xvfb=""
  sleep 1
}
trap 'stop_all; rm -rf "$work"' EXIT
screen() { # width, height
  stop_all
  Xvfb "$display" -screen 0 "$1x$2x24" -nolisten tcp &
  xvfb=$!
  sleep 1
  trayer --edge bottom --align right --widthtype pixel --width 40 --heighttype pixel --height 30 \
    --transparent false --tint 0xdddddd >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
}
run() { # folder, arguments...
  local folder=$1
  shift
  XDG_RUNTIME_DIR=$work CATRACA_STARTUP_WAIT_MS=0 "$folder/catraca-sync" "$@" >>"$work/console.txt" 2>&1 &
  pids+=($!)
}
main_window() { xdotool search --sync --onlyvisible --name 'Miravel - v1.4' | head -1; }
box_window() { xdotool search --onlyvisible --name '^Integração com Catracas Ovrex/Miravel$' | head -1; }
# The part of the screen that holds both windows, with a margin.
shot_both() { # name
  import -window root "$work/full.png"
  local geometry
  geometry=$(for w in $(main_window) $(box_window); do
    xdotool getwindowgeometry --shell "$w"
  done | awk -F= '
    /^X=/ {x=$2} /^Y=/ {y=$2} /^WIDTH=/ {w=$2}
    /^HEIGHT=/ {h=$2; if (n++ == 0 || x < l) l = x; if (n == 1 || y < t) t = y;
                if (x + w > r) r = x + w; if (y + h > b) b = y + h}
    END {l -= 10; t -= 10; if (l < 0) l = 0; if (t < 0) t = 0; printf "%dx%d+%d+%d", r - l + 10, b - t + 10, l, t}')
  convert-im6.q16 "$work/full.png" -crop "$geometry" +repage "docs/$1.png"
}

screen 1920 1080

# A wrong turnstile password; the person presses Conectar F2.
install "$work/password"
product "$work/password" "$port" "$CATRACA_FB_DATABASE"
turnstile "$work/password" errada
run "$work/password"
main=$(main_window)
sleep 2
xdotool key --window "$main" F2
sleep 3
shot_both failure-beside-turnstile-password
# As the box asks: SENHA corrected and left (Tab), nothing else.
senha=$(xdotool getwindowgeometry --shell "$main" | awk -F= '/^X=/ {x=$2} /^Y=/ {y=$2} END {print x + 300, y + 197}')
# shellcheck disable=SC2086
xdotool mousemove $senha click 1
xdotool windowfocus --sync "$main"
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 30 "$CATRACA_MYSQL_PASSWORD"
xdotool key Tab
sleep 4
import -window "$main" docs/failure-beside-turnstile-corrected.png
stop_all
screen 1920 1080

# A start with the system before dbxconnections.ini exists; the window is
# opened from the tray.
install "$work/nosettings"
product "$work/nosettings" "$port" "$CATRACA_FB_DATABASE"
run "$work/nosettings" HIDE
sleep 4
xdotool mousemove $((1920 - 20)) $((1080 - 15)) click --repeat 2 --delay 100 1
sleep 2
shot_both failure-beside-turnstile-settings
# The file arrives: connected by itself.
turnstile "$work/nosettings" "$CATRACA_MYSQL_PASSWORD"
sleep 6
import -window "$(main_window)" docs/failure-beside-turnstile-settings-written.png
stop_all

# A wrong ERP port at a start with the system, on a 1366 x 768 screen: no
# room beside the window, so the box sits inside it below the fields.
screen 1366 768
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
install "$work/erp"
product "$work/erp" "$closed" "$CATRACA_FB_DATABASE"
turnstile "$work/erp" "$CATRACA_MYSQL_PASSWORD"
run "$work/erp" HIDE
sleep 5
xdotool mousemove $((1366 - 20)) $((768 - 15)) click --repeat 2 --delay 100 1
sleep 2
shot_both failure-inside-erp
stop_all

# Started by the user, the ERP database path too long for a line of the
# start-up box.
screen 1920 1080
install "$work/longpath"
product "$work/longpath" "$port" "C:\\NORVA\\SISTEMAS\\NORVACOMERCIO\\INSTALACAO_DA_LOJA_MATRIZ\\DADOS\\BACKUP\\DBEMPRESA.FDB"
turnstile "$work/longpath" "$CATRACA_MYSQL_PASSWORD"
run "$work/longpath"
sleep 5
startup=$(xdotool search --onlyvisible --name '^Erro ao conectar$' | head -1)
import -window "$startup" docs/failure-startup-erp-long-path.png

echo "Console of the program:"
cat "$work/console.txt"
ls -l docs/failure-beside-*.png docs/failure-inside-*.png docs/failure-startup-erp-long-path.png
