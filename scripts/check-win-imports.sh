#!/usr/bin/env bash
# Fails when an executable or DLL of a laid-out Windows folder imports a DLL
# that is neither shipped in that folder nor a system DLL of the oldest
# Windows the program supports (scripts/win10-system-dlls.txt): Wine provides
# newer functions even in a prefix that reports an older Windows, so running
# there shows nothing. Names only, not functions: a function newer than
# Windows 10 inside a listed DLL passes.
#   scripts/check-win-imports.sh [folder]     default build-win/install
#   scripts/check-win-imports.sh --self-test  shows that it fails when it should
set -euo pipefail
cd "$(dirname "$0")/.."
allowed=$PWD/scripts/win10-system-dlls.txt
OBJDUMP=${MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump}

check() { # folder; prints each offending import, fails when there is one
  local folder=$1 file dll bad=0 shipped
  shipped=$(find "$folder" -maxdepth 1 -type f -printf '%f\n' | tr '[:upper:]' '[:lower:]')
  while IFS= read -r -d '' file; do
    for dll in $("$OBJDUMP" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'); do
      grep -qxF "$dll" <<<"$shipped" && continue
      grep -v '^#' "$allowed" | grep -qxF "$dll" && continue
      echo "check-win-imports: ${file#"$folder"/} imports $dll: not shipped, and not a system DLL of Windows 10" >&2
      bad=1
    done
  done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
  return "$bad"
}

if [ "${1:-}" = --self-test ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A program importing a shipped DLL and kernel32 passes; one that also
  # imports an API set newer than Windows 10, or a DLL nobody ships, fails.
  cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
  for lib in shipped api-ms-win-core-memory-l1-1-7 catraca-ausente; do
    printf 'LIBRARY %s.dll\nEXPORTS\n  f_%s\n' "$lib" "${lib//-/_}" >"$work/$lib.def"
    x86_64-w64-mingw32-dlltool -d "$work/$lib.def" -l "$work/lib$lib.a"
  done
  mkdir -p "$work/good" "$work/newer" "$work/absent"
  cp "$work/libshipped.a" "$work/good/shipped.dll" # only its name matters
  cp "$work/good/shipped.dll" "$work/newer/"
  cp "$work/good/shipped.dll" "$work/absent/"
  printf 'extern "C" int f_shipped(); int main() { return f_shipped(); }\n' >"$work/good.cpp"
  printf 'extern "C" int f_shipped(), f_api_ms_win_core_memory_l1_1_7(); int main() { return f_shipped() + f_api_ms_win_core_memory_l1_1_7(); }\n' >"$work/newer.cpp"
  printf 'extern "C" int f_catraca_ausente(); int main() { return f_catraca_ausente(); }\n' >"$work/absent.cpp"
  "$cxx" "$work/good.cpp" "$work/libshipped.a" -o "$work/good/a.exe" -static
  "$cxx" "$work/newer.cpp" "$work/libshipped.a" "$work/libapi-ms-win-core-memory-l1-1-7.a" -o "$work/newer/a.exe" -static
  "$cxx" "$work/absent.cpp" "$work/libcatraca-ausente.a" -o "$work/absent/a.exe" -static
  ok=1
  check "$work/good" 2>/dev/null || { echo "check-win-imports: self-test: a good folder was refused" >&2; ok=0; }
  for case in newer absent; do
    if check "$work/$case" 2>"$work/$case.txt" || ! grep -q "a.exe imports" "$work/$case.txt"; then
      echo "check-win-imports: self-test: the $case import was not refused" >&2
      ok=0
    fi
  done
  [ "$ok" -eq 1 ] && echo "check-win-imports: self-test OK"
  [ "$ok" -eq 1 ]
  exit
fi

folder=${1:-${WIN_BUILD_DIR:-build-win}/install}
[ -d "$folder" ] || { echo "check-win-imports: FAILED: no folder $folder" >&2; exit 1; }
count=$(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) | wc -l)
if check "$folder"; then
  echo "check-win-imports: OK: $count executables and DLLs of $folder import only shipped DLLs and Windows 10's"
else
  echo "check-win-imports: FAILED: $folder needs something newer than Windows 10 or something not shipped" >&2
  exit 1
fi
