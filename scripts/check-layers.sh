#!/usr/bin/env bash
# Prints how often each folder of src/ includes another (`#include
# "folder/..."`) and fails when two folders reach each other, directly or
# through others, when a folder includes one it may not, or when a client's
# header is included outside its peer's folder. ARCHITECTURE.md draws the
# layers this table states.
set -euo pipefail
cd "$(dirname "$0")/../src"
declare -A may_include=(
  [base]=""
  [system]="base"
  [uikit]="base system"
  [engine]="base system"
  [erp]="base system engine"
  [turnstile]="base system engine"
  [app]="base system uikit engine erp turnstile"
)
edges=$(grep -rHoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' --include='*.h' --include='*.cpp' . \
  | sed -E 's|^\./([^/]+)/.*"([a-z_]+)/$|\1 \2|' | awk '$1 != $2' | sort | uniq -c | awk '{print $2, $3, $1}')
echo "layers: includes between the folders of src/ (from -> to: count)"
[ -z "$edges" ] || printf '%s\n' "$edges" | awk '{printf "  %s -> %s: %s\n", $1, $2, $3}'
status=0
# A cycle exists exactly when a topological sort leaves folders behind.
if [ -n "$edges" ] && ! printf '%s\n' "$edges" | awk '{print $1, $2}' | tsort >/dev/null 2>&1; then
  echo "layers: FAILED: folders reach each other through includes:" >&2
  printf '%s\n' "$edges" | awk '{print $1, $2}' | tsort 2>&1 >/dev/null | sed 's/^/  /' >&2
  status=1
fi
while read -r from to _; do
  [ -n "$from" ] || continue
  if [ -z "${may_include[$from]+set}" ]; then
    echo "layers: FAILED: src/$from is not in the table of layers (scripts/check-layers.sh)" >&2
    status=1
  elif [[ " ${may_include[$from]} " != *" $to "* ]]; then
    echo "layers: FAILED: src/$from includes src/$to, which is not below it:" >&2
    grep -rnE "#[[:space:]]*include[[:space:]]+\"$to/" "$from" | sed 's/^/  /' >&2
    status=1
  fi
done <<<"$edges"
# The clients' headers stay in their peers' rooms.
for client in "erp:ibase.h" "turnstile:mysql.h|errmsg.h|mysqld_error.h"; do
  room=${client%%:*}
  if stray=$(grep -rnE "#[[:space:]]*include[[:space:]]*<(${client#*:})>" --exclude-dir="$room" .); then
    echo "layers: FAILED: a client header outside src/$room:" >&2
    printf '%s\n' "$stray" | sed 's/^/  /' >&2
    status=1
  fi
done
[ "$status" -ne 0 ] || echo "layers: every folder includes only the layers below it"
exit "$status"
