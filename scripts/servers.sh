#!/usr/bin/env bash
# Private Firebird 3 and MariaDB servers for the tests and the demo: plain
# background processes bound to 127.0.0.1, with their state (configuration,
# data, logs, pid files) in one folder, stopped by their own process ids.
#
#   servers.sh start | stop | status
#   servers.sh start-firebird | stop-firebird | start-mariadb | stop-mariadb
#   servers.sh fb-sql "<sql>"      runs SQL on the sample ERP database (committed)
#   servers.sh mysql-sql "<sql>"   runs SQL on the turnstile database
#
# CATRACA_SERVERS_DIR (default /tmp/catraca-servers), CATRACA_FB_PORT (3050)
# and CATRACA_MYSQL_PORT (3307) choose the instance. After a start, env.sh in
# the state folder exports what clients need to reach both servers.
set -euo pipefail

SCRIPT_PATH=$(readlink -f "${BASH_SOURCE[0]}")
STATE=${CATRACA_SERVERS_DIR:-/tmp/catraca-servers}
mkdir -p "$STATE"
STATE=$(cd "$STATE" && pwd -P)

FB_DIR=$STATE/firebird
FB_ROOT=$FB_DIR/root
FB_PID=$FB_DIR/firebird.pid
FB_LOG=$FB_DIR/firebird.log
FB_SECURITY=$FB_DIR/data/security3.fdb
ERP_DB=$STATE/erp/DBEMPRESA.FDB
FB_PASSWORD=vellowtip

MY_DIR=$STATE/mariadb
MY_SOCK=$MY_DIR/mysqld.sock
MY_PID=$MY_DIR/mysqld.pid.own
MY_LOG=$MY_DIR/error.log
MY_DATABASE=catraca
MY_USER=catraca
MY_PASSWORD=tur07

WAIT_SECONDS=${CATRACA_SERVERS_WAIT:-30}
STOP_SECONDS=${CATRACA_SERVERS_STOP_WAIT:-6}

die() { echo "servers.sh: $*" >&2; exit 1; }

# The port a server of this folder was last started with, so that a later
# stop-X/start-X without the variables keeps the same address.
remembered_port() { # file default
    if [ -s "$1" ]; then cat "$1"; else echo "$2"; fi
}
FB_PORT=${CATRACA_FB_PORT:-$(remembered_port "$FB_DIR/port" 3050)}
MY_PORT=${CATRACA_MYSQL_PORT:-$(remembered_port "$MY_DIR/port" 3307)}
[[ $FB_PORT =~ ^[0-9]+$ ]] || die "CATRACA_FB_PORT is not a number: $FB_PORT"
[[ $MY_PORT =~ ^[0-9]+$ ]] || die "CATRACA_MYSQL_PORT is not a number: $MY_PORT"

# PID 1 reaps late here, so kill -0 reports dead servers as alive: look at the
# process state and at the program name (a reused pid is not our server).
# An empty name accepts any program: right after the start the child may not
# have replaced the shell yet.
pid_alive() { # pid program-name
    local pid=$1 stat
    [ -n "$pid" ] && [ -r "/proc/$pid/stat" ] || return 1
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    [ -z "$2" ] || [[ $stat == "$pid ($2) "* ]] || return 1
    local state=${stat#*) }
    state=${state%% *}
    [ "$state" != Z ] && [ "$state" != X ]
}

running_pid() { # pidfile program-name
    local pid
    [ -s "$1" ] || return 1
    pid=$(cat "$1")
    pid_alive "$pid" "$2" || return 1
    echo "$pid"
}

port_open() { timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }

# Polls a check every 0.1 s for up to $WAIT_SECONDS while the server started
# as pid lives; gives up with a message naming the log to read.
wait_ready() { # pid label log check...
    local pid=$1 label=$2 log=$3 i
    shift 3
    for ((i = 0; i < WAIT_SECONDS * 10; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        pid_alive "$pid" "" || die "$label exited at start (see $log)"
        sleep 0.1
    done
    "$@" >/dev/null 2>&1 || die "$label not ready within ${WAIT_SECONDS}s: $* (see $log)"
}

# True when the server of this folder already runs; fails when another
# program holds its port.
already_running() { # pidfile program-name port label port-variable
    local pid
    if pid=$(running_pid "$1" "$2"); then
        echo "$4: already running (pid $pid, port $3)"
        return 0
    fi
    ! port_open "$3" || die "port $3 is in use by another process; set $5"
    return 1
}

stop_pid() { # pidfile program-name port label
    local pid i
    if ! pid=$(running_pid "$1" "$2"); then
        rm -f "$1"
        echo "$4: not running"
        return 0
    fi
    kill -TERM "$pid" 2>/dev/null || true
    # Firebird notices the signal only when its listener wakes up (a minute
    # when idle): a connection to the port wakes it. A server that still
    # waits for clients after that is not worth more than a few seconds.
    for ((i = 0; i < STOP_SECONDS * 10; i++)); do
        pid_alive "$pid" "$2" || break
        ((i % 3)) || port_open "$3" || true
        sleep 0.1
    done
    if pid_alive "$pid" "$2"; then
        echo "$4: did not stop within ${STOP_SECONDS}s, killing pid $pid" >&2
        kill -KILL "$pid" 2>/dev/null || true
        for ((i = 0; i < 50; i++)); do pid_alive "$pid" "$2" || break; sleep 0.1; done
    fi
    # The listening socket may outlive the process entry for a moment.
    for ((i = 0; i < 50; i++)); do port_open "$3" || break; sleep 0.1; done
    rm -f "$1"
    echo "$4: stopped (pid $pid)"
}

# ---------------------------------------------------------------- Firebird

fb_isql_remote() { # database-path; SQL on stdin
    isql-fb -q -b -ch WIN1252 -user SYSDBA -password "$FB_PASSWORD" "127.0.0.1/$FB_PORT:$1"
}

fb_prepare_root() {
    mkdir -p "$FB_ROOT/intl" "$FB_DIR/data" "$FB_DIR/lock" "$STATE/erp"
    local lib=/usr/lib/x86_64-linux-gnu/firebird/3.0
    command -v fb_config >/dev/null && lib=$(dirname "$(fb_config --intldir)")
    # A symlinked libfbintl.so makes every WIN1252 attachment fail with
    # "CHARACTER SET WIN1252 is not defined": it must be a real copy.
    [ -f "$FB_ROOT/intl/libfbintl.so" ] || cp "$lib/intl/libfbintl.so" "$FB_ROOT/intl/libfbintl.so"
    [ -f "$FB_ROOT/intl/fbintl.conf" ] || cp -L "$lib/intl/fbintl.conf" "$FB_ROOT/intl/fbintl.conf"
    [ -e "$FB_ROOT/firebird.msg" ] || ln -s "$lib/firebird.msg" "$FB_ROOT/firebird.msg"
    [ -e "$FB_ROOT/plugins.conf" ] || cp -L "$lib/plugins.conf" "$FB_ROOT/plugins.conf"
    [ -e "$FB_ROOT/databases.conf" ] || : >"$FB_ROOT/databases.conf"
    # The firebird -p switch would bind every interface; the configuration
    # file is the only way to keep the server on the loopback address.
    cat >"$FB_ROOT/firebird.conf" <<EOF
RemoteBindAddress = 127.0.0.1
RemoteServicePort = $FB_PORT
SecurityDatabase = $FB_SECURITY
ServerMode = Super
EOF
    echo "$FB_PORT" >"$FB_DIR/port"
    if [ ! -f "$FB_DIR/security.done" ]; then
        rm -f "$FB_SECURITY"
        FIREBIRD=$FB_ROOT FIREBIRD_LOCK=$FB_DIR/lock isql-fb -q -b -user SYSDBA >>"$FB_LOG" 2>&1 <<EOF \
            || die "could not create the Firebird security database (see $FB_LOG)"
create database '$FB_SECURITY';
create or alter user SYSDBA password '$FB_PASSWORD';
commit;
EOF
        touch "$FB_DIR/security.done"
    fi
}

fb_create_sample() {
    rm -f "$ERP_DB"
    isql-fb -q -b -ch WIN1252 >>"$FB_LOG" 2>&1 <<EOF || die "could not create $ERP_DB (see $FB_LOG)"
create database '127.0.0.1/$FB_PORT:$ERP_DB' user 'SYSDBA' password '$FB_PASSWORD' default character set WIN1252;
create table COMANDAS (COM_NUMERO INTEGER, COM_TOTAL NUMERIC(15,2));
commit;
insert into COMANDAS values (10, 15.50);
insert into COMANDAS values (11, 0);
insert into COMANDAS values (12, 42.00);
insert into COMANDAS values (13, 0);
insert into COMANDAS values (14, 8.90);
commit;
EOF
    touch "$STATE/erp/sample.done"
}

fb_attachable() { echo "select 1 from rdb\$database;" | fb_isql_remote "$ERP_DB"; }

start_firebird() {
    local pid
    already_running "$FB_PID" firebird "$FB_PORT" firebird CATRACA_FB_PORT && return 0
    fb_prepare_root
    # Lock files of a server that died are of no use to the next one.
    rm -rf "${FB_DIR:?}/lock" && mkdir -p "$FB_DIR/lock"
    FIREBIRD=$FB_ROOT FIREBIRD_LOCK=$FB_DIR/lock \
        /usr/sbin/firebird </dev/null >>"$FB_LOG" 2>&1 &
    pid=$!
    echo "$pid" >"$FB_PID"
    wait_ready "$pid" firebird "$FB_LOG" port_open "$FB_PORT"
    if [ ! -f "$STATE/erp/sample.done" ] || [ ! -f "$ERP_DB" ]; then
        fb_create_sample
    fi
    # Listening is not yet attaching: wait for a real attachment.
    wait_ready "$pid" firebird "$FB_LOG" fb_attachable
    echo "firebird: running (pid $pid, port $FB_PORT)"
}

stop_firebird() { stop_pid "$FB_PID" firebird "$(remembered_port "$FB_DIR/port" "$FB_PORT")" firebird; }

# ----------------------------------------------------------------- MariaDB

my_root_sql() { mariadb --no-defaults --socket="$MY_SOCK" -uroot "$@"; }

my_ping() { mariadb-admin --no-defaults --socket="$MY_SOCK" -uroot ping; }

start_mariadb() {
    local pid
    already_running "$MY_PID" mariadbd "$MY_PORT" mariadb CATRACA_MYSQL_PORT && return 0
    mkdir -p "$MY_DIR"
    if [ ! -f "$MY_DIR/install.done" ]; then
        rm -rf "$MY_DIR/data" "$MY_DIR/setup.done"
        mariadb-install-db --no-defaults --user=root --datadir="$MY_DIR/data" \
            --auth-root-authentication-method=socket --skip-test-db >>"$MY_LOG" 2>&1 \
            || die "mariadb-install-db failed (see $MY_LOG)"
        touch "$MY_DIR/install.done"
    fi
    echo "$MY_PORT" >"$MY_DIR/port"
    mariadbd --no-defaults --user=root --datadir="$MY_DIR/data" --bind-address=127.0.0.1 \
        --port="$MY_PORT" --socket="$MY_SOCK" --pid-file="$MY_DIR/mysqld.pid" \
        --log-error="$MY_LOG" </dev/null >>"$MY_LOG" 2>&1 &
    pid=$!
    echo "$pid" >"$MY_PID"
    wait_ready "$pid" mariadbd "$MY_LOG" my_ping
    if [ ! -f "$MY_DIR/setup.done" ]; then
        my_root_sql >>"$MY_LOG" 2>&1 <<EOF || die "could not create the turnstile database (see $MY_LOG)"
create database if not exists $MY_DATABASE;
create user if not exists '$MY_USER'@'127.0.0.1' identified by '$MY_PASSWORD';
create user if not exists '$MY_USER'@'localhost' identified by '$MY_PASSWORD';
grant all on $MY_DATABASE.* to '$MY_USER'@'127.0.0.1';
grant all on $MY_DATABASE.* to '$MY_USER'@'localhost';
create table if not exists $MY_DATABASE.cad_comanda (num_comanda INT, fl_comanda INT);
EOF
        touch "$MY_DIR/setup.done"
    fi
    wait_ready "$pid" mariadbd "$MY_LOG" port_open "$MY_PORT"
    echo "mariadb: running (pid $pid, port $MY_PORT)"
}

stop_mariadb() { stop_pid "$MY_PID" mariadbd "$(remembered_port "$MY_DIR/port" "$MY_PORT")" mariadb; }

# ------------------------------------------------------------------ common

write_env() {
    cat >"$STATE/env.sh.tmp" <<EOF
# Written by $SCRIPT_PATH; source it to reach the private servers.
export CATRACA_SERVERS_DIR='$STATE'
export CATRACA_SERVERS_SCRIPT='$SCRIPT_PATH'
export CATRACA_FB_HOST=127.0.0.1
export CATRACA_FB_PORT=$FB_PORT
export CATRACA_FB_DATABASE='$ERP_DB'
export CATRACA_FB_PASSWORD=$FB_PASSWORD
export CATRACA_MYSQL_HOST=127.0.0.1
export CATRACA_MYSQL_PORT=$MY_PORT
export CATRACA_MYSQL_DATABASE=$MY_DATABASE
export CATRACA_MYSQL_USER=$MY_USER
export CATRACA_MYSQL_PASSWORD=$MY_PASSWORD
EOF
    mv "$STATE/env.sh.tmp" "$STATE/env.sh"
}

status() {
    local pid
    if pid=$(running_pid "$FB_PID" firebird); then
        echo "firebird: running (pid $pid, port $(cat "$FB_DIR/port"), $ERP_DB)"
    else
        echo "firebird: stopped"
    fi
    if pid=$(running_pid "$MY_PID" mariadbd); then
        echo "mariadb: running (pid $pid, port $(cat "$MY_DIR/port"), database $MY_DATABASE)"
    else
        echo "mariadb: stopped"
    fi
}

case "${1:-}" in
start) start_firebird; start_mariadb; write_env ;;
stop) stop_firebird; stop_mariadb ;;
start-firebird) start_firebird; write_env ;;
stop-firebird) stop_firebird ;;
start-mariadb) start_mariadb; write_env ;;
stop-mariadb) stop_mariadb ;;
status) status ;;
fb-sql)
    [ $# -ge 2 ] || die "usage: servers.sh fb-sql \"<sql>\""
    running_pid "$FB_PID" firebird >/dev/null || die "firebird is not running"
    printf '%s\ncommit;\n' "$2" | fb_isql_remote "$ERP_DB"
    ;;
mysql-sql)
    [ $# -ge 2 ] || die "usage: servers.sh mysql-sql \"<sql>\""
    running_pid "$MY_PID" mariadbd >/dev/null || die "mariadb is not running"
    mariadb --no-defaults --protocol=TCP -h127.0.0.1 -P"$MY_PORT" -u"$MY_USER" -p"$MY_PASSWORD" \
        -N -B "$MY_DATABASE" -e "$2"
    ;;
*)
    sed -n '2,13p' "$SCRIPT_PATH" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
