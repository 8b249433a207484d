#!/usr/bin/env bash
# A stand-in for the ERP's activity: every few seconds it opens a tab (total
# above zero), settles one (total back to 0), reopens a settled one or deletes
# one, in the sample database's COMANDAS table. Runs until killed.
#   erp-simulator.sh [interval-seconds] [highest-tab-number]
set -euo pipefail
SERVERS=${CATRACA_SERVERS_SCRIPT:-$(dirname "$(readlink -f "$0")")/servers.sh}
interval=${1:-3}
highest=${2:-40}
while true; do
  n=$(( (RANDOM % highest) + 1 ))
  total=$(( (RANDOM % 9000) + 100 ))
  case $(( RANDOM % 4 )) in
    0|1) sql="UPDATE OR INSERT INTO COMANDAS (COM_NUMERO, COM_TOTAL) VALUES ($n, $total.00) MATCHING (COM_NUMERO);"
         what="abre a comanda $n" ;;
    2)   sql="UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = $n;"
         what="fecha a comanda $n" ;;
    3)   sql="DELETE FROM COMANDAS WHERE COM_NUMERO = $n;"
         what="apaga a comanda $n" ;;
  esac
  if "$SERVERS" fb-sql "$sql" >/dev/null 2>&1; then
    echo "ERP simulado: $what"
  else
    echo "ERP simulado: servidor Firebird indisponível" >&2
  fi
  sleep "$interval"
done
