#!/usr/bin/env bash
# Runs the cross-built Windows program (scripts/win-build.sh) under Wine on a
# private Xvfb display, beside the private MariaDB server, and checks it as a
# user would, installed by the setup program into an ERP's folder: main
# window and tray icon, "Conectar F2" through the Windows
# Connector/C (reset statement and a cycle, read back from cad_comanda),
# "Desconectar F3", the start-with-Windows check box (the setup's Run value,
# read back with Wine's reg), Esc, and a start without a Firebird client or
# with a 32-bit one. Loopback only. What a shop's start leads to (the
# synchronisation, the servers' faults, the end of the session) is the
# end-to-end suite's (scripts/wine-e2e-tests.sh).
# The ERP is the private Firebird server, reached through the Firebird bridge
# (tests/wine/fbclient_bridge.c) beside the program as fbclient.dll.
# Needs: the servers' env.sh sourced, xdotool, trayer, Xvfb.
# With --screenshot the main window's picture goes to docs/main-window-wine.png.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
BUILD=${WIN_BUILD_DIR:-build-win}
screenshot=0
[ "${1:-}" = --screenshot ] && screenshot=1
: "${CATRACA_FB_DATABASE:?source the private servers env.sh first (scripts/servers.sh start)}"
setup=$(realpath "$BUILD/catraca-sync-setup.exe" 2>/dev/null || true)
[ -f "$setup" ] || { echo "wine-app-tests: FAILED: no $BUILD/catraca-sync-setup.exe (run scripts/win-build.sh)" >&2; exit 1; }
source scripts/wine-env.sh
wine_prefix_ready
wine_design_fonts

OUT=${WINE_APP_DIR:-/tmp/catraca-wine-app-$(id -u)}
rm -rf "$OUT"
mkdir -p "$OUT"
failures=0
pass() { echo "wine-app-tests: ok: $*"; }
fail() { echo "wine-app-tests: FAILED: $*" >&2; failures=$((failures + 1)); }
mysql_sql() { "$CATRACA_SERVERS_SCRIPT" mysql-sql "$1"; }
# The ERP's open tabs: these numbers with a total, nothing else.
erp_tabs() {
  local sql="DELETE FROM COMANDAS;" n
  for n in "$@"; do sql+=" INSERT INTO COMANDAS VALUES ($n, 5);"; done
  "$CATRACA_SERVERS_SCRIPT" fb-sql "$sql" >/dev/null
}
# Polls until the command's output equals the expected text; false after $3 s.
wait_for() { # expected command [seconds]
  local expected=$1 command=$2 limit=${3:-20} got=
  for _ in $(seq $((limit * 4))); do
    got=$(eval "$command" 2>/dev/null | tr -d '\r' || true)
    [ "$got" = "$expected" ] && return 0
    sleep 0.25
  done
  echo "    last seen: $(echo "$got" | tr '\n' ' ')" >&2
  return 1
}

# ---- the Firebird client: the bridge to the private server
wine_fbclient_bridge "$OUT/bridge"

# ---- display with a tray, so that Wine docks the icon into it
display=$(free_display)
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program=
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  "$WINESERVER" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 40); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.25; done
trayer --edge bottom --align right --widthtype pixel --width 200 --heighttype pixel --height 32 >/dev/null 2>&1 &

# The ERP's folder with its settings (and, as the ERP's own, the Firebird
# client), and the program put there by the setup, as a technician does.
install() { # folder [with client]
  rm -rf "$1"
  mkdir -p "$1"
  printf '[IBCONFIG]\r\nIP=127.0.0.1\r\nLOCAL=%s\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%s\r\nUSACONFIG=0\r\n' \
    "$CATRACA_FB_DATABASE" "$CATRACA_FB_PORT" >"$1/norvacomercio.ini"
  printf '[MySQL]\r\nHostName=%s\r\nPort=%s\r\nDatabase=%s\r\nUser_Name=%s\r\nPassword=%s\r\n' \
    "$CATRACA_MYSQL_HOST" "$CATRACA_MYSQL_PORT" "$CATRACA_MYSQL_DATABASE" "$CATRACA_MYSQL_USER" \
    "$CATRACA_MYSQL_PASSWORD" >"$1/dbxconnections.ini"
  local status=0
  wine_windows_version "$(basename "$setup")" win10
  timeout -k 5 120 "$WINE" cmd /c "Z:${setup//\//\\} /S /INICIAR=SIM /D=Z:${1//\//\\}" >/dev/null 2>&1 </dev/null || status=$?
  [ "$status" -eq 0 ] && [ -f "$1/catraca-sync.exe" ] || { fail "the setup did not install into $1 (status $status)"; exit 1; }
  # After the setup, whose bitness check refuses the ELF bridge.
  [ "${2:-}" = client ] && cp "$OUT/bridge/fbclient.dll" "$1/"
  return 0
}
start() { # folder [argument]
  (cd "$1" && exec "$WINE" catraca-sync.exe ${2:+"$2"} >"$1/stdout.log" 2>&1 </dev/null) &
  program=$!
}
# An ended child stays a zombie until waited for, and kill -0 still finds it.
alive() { [ -e "/proc/$1/stat" ] && [ "$(cut -d' ' -f3 "/proc/$1/stat")" != Z ]; }
# Waits for the program's process to end; its exit status, or 124 after $2 s.
finish() { # pid seconds
  local i
  for i in $(seq $(( $2 * 4 ))); do
    alive "$1" || { wait "$1"; return $?; }
    sleep 0.25
  done
  return 124
}
# Icons docked in trayer's panel: its children other than its 1x1 helper.
tray_icons() {
  local panel
  panel=$(xdotool search --class trayer 2>/dev/null | while read -r w; do
            xwininfo -id "$w" 2>/dev/null | grep -q '"panel"' && echo "$w"; done | head -n1)
  [ -n "$panel" ] || { echo 0; return; }
  xwininfo -children -id "$panel" | grep -E '^ +0x' | grep -vc ' 1x1+' || true
}
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
press() { # window keys...
  local w=$1
  shift
  xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
  xdotool key --window "$w" "$@"
}
started=$(date +%s)

# ---- the program with its ERP and the turnstile server
app=$OUT/app
install "$app" client
erp_tabs 12 34
mysql_sql "delete from cad_comanda; insert into cad_comanda values (99, 0)"
[ "$(tray_icons)" -eq 0 ] || fail "the tray holds an icon before the program started"
start "$app"
main_pid=$program
title='Catracas Ovrex/Miravel - v1.4'
if wait_for 1 "[ -n \"\$(window_of '$title')\" ] && echo 1" 90; then
  pass "main window shown ($(( $(date +%s) - started )) s after the start)"
else
  fail "no main window"; cat "$app/stdout.log" "$app/catraca-sync.log" 2>/dev/null | tail -n 20 >&2
  exit 1
fi
main=$(window_of "$title")
sleep 2
eval "$(xdotool getwindowgeometry --shell "$main")"
# The client area is 556 x 575; whatever frame Wine draws is around it,
# as wide at the left, right and bottom.
border=$(( (WIDTH - 556) / 2 ))
client_x=$(( X + border )) client_y=$(( Y + HEIGHT - 575 - border ))
import -display "$display" -window root "$OUT/screen.png"
convert-im6.q16 "$OUT/screen.png" -crop "556x575+${client_x}+${client_y}" +repage "$OUT/main-window-wine.png"
[ "$screenshot" -eq 1 ] && cp "$OUT/main-window-wine.png" docs/main-window-wine.png
# The check box's square, found in the picture: Wine's font metrics move the
# rows a little. Its lowest border pixel in column 141, above the button
# "Configurar banco de dados do ERP..." below it.
box_bottom=$(convert-im6.q16 "$OUT/main-window-wine.png" -crop 1x28+141+195 +repage -colorspace gray -depth 8 txt:- \
               | sed -n 's/^0,\([0-9]*\):.*gray(\([0-9]*\).*/\1 \2/p' | awk '$2 < 200 {y = $1} END {print y + 0}')
checkbox_x=$(( client_x + 141 )) checkbox_y=$(( client_y + 195 + box_bottom - 5 ))

if [ "$(tray_icons)" -ge 1 ]; then pass "tray icon docked in the display's tray"; else fail "no tray icon in the tray"; fi

turnstile_rows="mysql_sql 'select num_comanda, fl_comanda from cad_comanda order by num_comanda' | tr '\t\n' ': '"
# The query's own session does not count.
sessions="mysql_sql \"select count(*) from information_schema.processlist where user = '$CATRACA_MYSQL_USER' and id <> connection_id()\""
press "$main" F2
if wait_for '12:0 34:0 99:1 ' "$turnstile_rows" 20; then
  pass "Conectar F2: reset statement ran (99 closed) and the cycle wrote the open tabs 12 and 34"
else
  fail "Conectar F2 did not reach cad_comanda"
fi
erp_tabs 12
if wait_for '12:0 34:1 99:1 ' "$turnstile_rows" 20; then
  pass "a tab settled in the ERP is written closed by a later cycle"
else
  fail "the settled tab 34 was not written"
fi
if wait_for 1 "$sessions" 10; then pass "one turnstile session open"; else fail "not one turnstile session while connected"; fi
press "$main" F3
if wait_for 0 "$sessions" 20; then pass "Desconectar F3: the turnstile connection is closed"; else fail "Desconectar F3 left a connection"; fi

# The setup wrote the Run value (/INICIAR=SIM): the program finds it under
# its own name, so the box starts ticked and the first click removes it.
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
registered="\"$WINE\" reg query '$run_key' 2>/dev/null | grep -c 'catraca-sync.exe HIDE'"
xdotool mousemove --sync "$checkbox_x" "$checkbox_y" click 1
if wait_for 0 "$registered" 15; then
  pass "the setup's Run value ticks the box; unticked: Run value removed"
else
  fail "Run value left after unticking the box the setup's value ticked"
fi
xdotool mousemove --sync "$checkbox_x" "$checkbox_y" click 1
if wait_for 1 "$registered" 15; then pass "start-with-Windows ticked: Run value written"; else fail "no Run value after ticking"; fi

press "$main" Escape
program=$main_pid
status=0
finish "$main_pid" 30 || status=$?
program=
if [ "$status" -eq 0 ]; then pass "Fechar ESC ends the program (status 0)"; else fail "Esc: status $status"; fi

# ---- without a Firebird client
bare=$OUT/bare
install "$bare"
start "$bare"
if wait_for 1 "[ -n \"\$(window_of '^Erro\$')\" ] && echo 1" 90; then
  error=$(window_of '^Erro$')
  sleep 1
  import -display "$display" -window root "$OUT/no-client.png"
  if grep -q 'Cliente do Firebird não encontrado: não há fbclient.dll nem gds32.dll na pasta do programa' \
       "$bare/catraca-sync.log"; then
    pass "without a Firebird client: the error names fbclient.dll and gds32.dll"
  else
    fail "the log lacks the missing-client message"
  fi
  press "$error" Return
  status=0
  finish "$program" 30 || status=$?
  if [ "$status" -eq 1 ]; then pass "... and the program ends after the message (status 1)"; else fail "status $status after the message"; fi
else
  fail "no error message without a Firebird client"
  tail -n 20 "$bare/stdout.log" >&2
fi
program=

# ---- begin: a shop PC's client, logins, lock and start-up entry
# A 32-bit Firebird client beside the 64-bit program (a 32-bit ERP's folder).
wine_unusable_fbclients "$OUT"
thirty=$OUT/thirty-two
install "$thirty"
cp "$OUT/fbclient-32bit.dll" "$thirty/fbclient.dll"
start "$thirty"
if wait_for 1 "[ -n \"\$(window_of '^Erro\$')\" ] && echo 1" 90; then
  if grep -q 'fbclient.dll é de 32 bits e este programa, de 64 bits, só pode usar um cliente de 64 bits' "$thirty/catraca-sync.log"; then
    pass "a 32-bit fbclient.dll beside the program: the message says 32 bits and what to install"
  else
    fail "no bitness message for a 32-bit fbclient.dll"; tail -n 3 "$thirty/catraca-sync.log" >&2
  fi
  press "$(window_of '^Erro$')" Return
  finish "$program" 30 || true
else
  fail "no error message with a 32-bit fbclient.dll"
fi
program=

# A turnstile user that logs in through ed25519: Connector/C loads
# client_ed25519.dll from the program's plugin folder, started from another
# working directory.
root_sql() { mariadb --no-defaults --socket="$CATRACA_SERVERS_DIR/mariadb/mysqld.sock" -uroot -e "$1"; }
ed_user=catraca_ed25519
if root_sql "INSTALL SONAME 'auth_ed25519'" 2>/dev/null || root_sql "select 1 from information_schema.plugins where plugin_name = 'ed25519'" | grep -q 1; then
  root_sql "DROP USER IF EXISTS '$ed_user'@'%'; CREATE USER '$ed_user'@'%' IDENTIFIED VIA ed25519 USING PASSWORD('senha-ed');
            GRANT ALL ON \`$CATRACA_MYSQL_DATABASE\`.* TO '$ed_user'@'%'"
  ed=$OUT/ed25519
  install "$ed" client
  printf '[MySQL]\r\nHostName=%s\r\nPort=%s\r\nDatabase=%s\r\nUser_Name=%s\r\nPassword=senha-ed\r\n' \
    "$CATRACA_MYSQL_HOST" "$CATRACA_MYSQL_PORT" "$CATRACA_MYSQL_DATABASE" "$ed_user" >"$ed/dbxconnections.ini"
  erp_tabs 56
  mysql_sql "delete from cad_comanda"
  (cd / && exec "$WINE" "$ed/catraca-sync.exe" >"$ed/stdout.log" 2>&1 </dev/null) &
  program=$!
  if wait_for 1 "[ -n \"\$(window_of '$title')\" ] && echo 1" 90; then
    press "$(window_of "$title")" F2
    if wait_for '56:0 ' "$turnstile_rows" 20; then
      pass "an ed25519 login connects and writes (client_ed25519.dll from the plugin folder)"
    else
      fail "the ed25519 login did not write"; grep -i 'plugin\|catraca' "$ed/catraca-sync.log" | tail -n 3 >&2
    fi
    # Killed, not ended: the lock goes with the process, and the next start
    # of the same installation comes up as the first. Disowned first, so that
    # bash does not report the kill with a "Killed" line as if it were a crash.
    disown "$program" 2>/dev/null || true
    kill -9 "$program" 2>/dev/null
    finish "$program" 10 || true
    start "$ed"
    if wait_for 1 "[ -n \"\$(window_of '$title')\" ] && echo 1" 90 && ! grep -q 'Este início termina' "$ed/catraca-sync.log"; then
      pass "after a killed program the next start is the first again"
    else
      fail "a killed program's lock blocked the next start"; tail -n 3 "$ed/catraca-sync.log" >&2
    fi
    press "$(window_of "$title")" Escape
    finish "$program" 30 || true
  else
    fail "no main window with the ed25519 user"
  fi
  program=
  root_sql "DROP USER IF EXISTS '$ed_user'@'%'"
else
  fail "the private MariaDB cannot load auth_ed25519"
fi
# MariaDB has no caching_sha2_password server side: MySQL 8's default login
# is shipped (plugin\caching_sha2_password.dll) but not exercised here.
[ -f "$BUILD/install/plugin/caching_sha2_password.dll" ] && pass "caching_sha2_password.dll is shipped in plugin\\" \
  || fail "caching_sha2_password.dll is not shipped"

# The elevated half of "Iniciar com o Windows" (what a program without
# administrator rights starts through Windows' prompt): write, remove, refuse.
entry_name='Integração com Catracas Ovrex/Miravel'
status=0
(cd "$app" && "$WINE" catraca-sync.exe --entrada-de-inicializacao gravar "$entry_name" HIDE </dev/null >/dev/null 2>&1) || status=$?
if [ "$status" -eq 0 ] && wait_for 1 "$registered" 10; then pass "the start-up entry request writes the Run value (status 0)"; else fail "start-up entry request: status $status"; fi
status=0
(cd "$app" && "$WINE" catraca-sync.exe --entrada-de-inicializacao remover "$entry_name" HIDE </dev/null >/dev/null 2>&1) || status=$?
if [ "$status" -eq 0 ] && wait_for 0 "$registered" 10; then pass "... and removes it"; else fail "start-up entry removal: status $status"; fi
status=0
(cd "$app" && "$WINE" catraca-sync.exe --entrada-de-inicializacao apagar "$entry_name" </dev/null >/dev/null 2>&1) || status=$?
if [ "$status" -eq 2 ]; then pass "... and refuses a request it does not know (status 2)"; else fail "an unknown request: status $status"; fi
# ---- end: a shop PC's client, logins, lock and start-up entry

# The sample tabs the other checks expect.
"$CATRACA_SERVERS_SCRIPT" fb-sql "DELETE FROM COMANDAS; INSERT INTO COMANDAS VALUES (10, 15.50); INSERT INTO COMANDAS VALUES (11, 0);
  INSERT INTO COMANDAS VALUES (12, 42.00); INSERT INTO COMANDAS VALUES (13, 0); INSERT INTO COMANDAS VALUES (14, 8.90);" >/dev/null
echo "wine-app-tests: program checks took $(( $(date +%s) - started )) s"
[ "$failures" -eq 0 ] || { echo "wine-app-tests: FAILED: $failures program checks" >&2; exit 1; }
echo "wine-app-tests: OK"
