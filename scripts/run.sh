#!/usr/bin/env bash
# Runs the main job on this machine: installs what is missing, builds, starts
# the private Firebird and MariaDB servers with sample data, lays out an
# installation folder beside them, starts a small ERP activity simulator and
# the program. With a display the window opens (press "Conectar F2"); without
# one the program runs without a window (--headless), connects by itself and
# logs to the console.
# Ctrl-C ends the program, the simulator and the servers.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
scripts/install-deps.sh
export BUILD_DIR=${BUILD_DIR:-build}
# Only the program: the tests and benchmarks are the test command's.
scripts/build.sh catraca-sync

# The servers' own default folder, so that scripts/servers.sh typed in another
# shell reaches the demo's servers without any variable.
default_servers=/tmp/catraca-servers
export CATRACA_SERVERS_DIR=${CATRACA_SERVERS_DIR:-$default_servers}
scripts/servers.sh start
# shellcheck disable=SC1091
source "$CATRACA_SERVERS_DIR/env.sh"

INSTALL=${CATRACA_DEMO_DIR:-/tmp/catraca-demo}
mkdir -p "$INSTALL"
cp -f "$BUILD_DIR/src/catraca-sync" "$INSTALL/"
port=$CATRACA_FB_PORT; [ "$port" = 3050 ] && port=""
printf '[IBCONFIG]\r\nIP=%s\r\nLOCAL=%s\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%s\r\nUSACONFIG=0\r\n' \
  "$CATRACA_FB_HOST" "$CATRACA_FB_DATABASE" "$port" > "$INSTALL/norvacomercio.ini"
# Rewritten at every start, as the ERP's file is: settings left by a demo on
# other ports would point at no server.
( umask 077
  printf '[MySQL]\r\nHostName=%s\r\nPort=%s\r\nDatabase=%s\r\nUser_Name=%s\r\nPassword=%s\r\n' \
    "$CATRACA_MYSQL_HOST" "$CATRACA_MYSQL_PORT" "$CATRACA_MYSQL_DATABASE" "$CATRACA_MYSQL_USER" \
    "$CATRACA_MYSQL_PASSWORD" > "$INSTALL/dbxconnections.ini" )

scripts/erp-simulator.sh 3 40 &
SIM=$!
cleanup() {
  kill "$SIM" 2>/dev/null || true
  "$ROOT/scripts/servers.sh" stop || true
}
trap cleanup EXIT INT TERM

echo "Instalação de demonstração: $INSTALL"
servers_prefix=
[ "$CATRACA_SERVERS_DIR" = "$default_servers" ] || servers_prefix="CATRACA_SERVERS_DIR=$(printf %q "$CATRACA_SERVERS_DIR") "
echo "Turnstile table: ${servers_prefix}scripts/servers.sh mysql-sql 'select * from cad_comanda order by num_comanda'"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$INSTALL/catraca-sync" "$@"
else
  "$INSTALL/catraca-sync" --headless
fi
