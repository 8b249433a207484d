#!/usr/bin/env bash
# Prints how often each folder of src/ includes another (`#include
# "folder/..."`) and fails when two folders reach each other, directly or
# through others: the folders are layers, and a layer includes only downward.
set -euo pipefail
cd "$(dirname "$0")/../src"
edges=$(grep -rHoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' --include='*.h' --include='*.cpp' . \
  | sed -E 's|^\./([^/]+)/.*"([a-z_]+)/$|\1 \2|' | awk '$1 != $2' | sort | uniq -c | awk '{print $2, $3, $1}')
echo "layers: includes between the folders of src/ (from -> to: count)"
[ -z "$edges" ] || printf '%s\n' "$edges" | awk '{printf "  %s -> %s: %s\n", $1, $2, $3}'
# A cycle exists exactly when a topological sort leaves folders behind.
if [ -n "$edges" ] && ! printf '%s\n' "$edges" | awk '{print $1, $2}' | tsort >/dev/null 2>&1; then
  echo "layers: FAILED: folders reach each other through includes:" >&2
  printf '%s\n' "$edges" | awk '{print $1, $2}' | tsort 2>&1 >/dev/null | sed 's/^/  /' >&2
  exit 1
fi
echo "layers: no folder includes one that includes it back"
