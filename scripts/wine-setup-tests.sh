#!/usr/bin/env bash
# The setup program (scripts/win-setup.sh) and its uninstaller under Wine, in
# silent mode, headless: refused on Windows 7, refused for a folder without
# an ERP settings file and for a DLL of someone else's in the ERP's folder;
# an installation into a folder with a blank in its name (every file, the
# Start-menu entry, "Programas e Recursos" with the program's version, the
# Run value as the program writes it, the warning about a 32-bit Firebird
# client); the ERP folder found from the folder the setup starts in; the
# uninstaller leaving the shop's files and nothing else; then the paths a
# technician walks (a table of command lines, statuses and folders): upgrades
# started from a downloads folder with and without /D=, /D= quoted or not,
# with blanks and accents, naming a missing, a non-ERP or a read-only folder,
# a hand-made copy of the program, DLLs of someone else's all named at once;
# the uninstaller's status reaching `start /wait`, with the program running.
#   scripts/wine-setup-tests.sh [setup.exe [payload folder]]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${WIN_BUILD_DIR:-build-win}
setup=$(realpath "${1:-$BUILD/catraca-sync-setup.exe}")
payload=$(realpath "${2:-$BUILD/install}")
[ -f "$setup" ] || { echo "wine-setup-tests: FAILED: no $setup (scripts/win-setup.sh)" >&2; exit 1; }
source scripts/wine-env.sh
unset DISPLAY WAYLAND_DISPLAY
wine_prefix_ready
drive=$WINEPREFIX/drive_c
root=$drive/catraca-setup
rm -rf "$root"
mkdir -p "$root"
failures=0
pass() { echo "wine-setup-tests: ok: $*"; }
fail() { echo "wine-setup-tests: FAILED: $*" >&2; failures=$((failures + 1)); }
check() { # description command...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
winpath() { # a Unix path -> the Windows one: under drive_c as C:, else Z:
  local p=$1
  case $p in "$drive"/*) p="C:${p#"$drive"}" ;; *) p="Z:$p" ;; esac
  echo "${p//\//\\}"
}
setup_log() { iconv -f UTF-16 -t UTF-8 "$drive/users/$(id -un)/Temp/catraca-sync-setup.log" 2>/dev/null | tr -d '\r'; }
# Runs a command line exactly as a technician types it: from a batch file
# (in the console's code page), which cmd hands on as it is; Wine's own
# passing of arguments would escape the quotes. Its exit status.
run_typed() { # command line
  local status=0
  printf '@%s\r\n' "$1" | iconv -f UTF-8 -t CP850 >"$root/typed.cmd"
  timeout -k 5 120 "$WINE" cmd /c 'C:\catraca-setup\typed.cmd' >/dev/null 2>&1 </dev/null || status=$?
  return $status
}
run_setup() { # exe arguments...
  local exe=$1
  shift
  run_typed "$(winpath "$exe") $*"
}
windows_version() { wine_windows_version "$(basename "$setup")" "$1"; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\catraca-sync'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# A registry key's values as text (reg export is UTF-16, whatever the console's code page).
reg_text() {
  local file=$root/export.reg
  rm -f "$file"
  "$WINE" reg export "$1" "Z:${file//\//\\}" /y >/dev/null 2>&1 || return 0
  iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
}
listing() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' '); }
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Integração com Catracas Ovrex-Miravel.lnk"
version=$(sed -n 's/^FILEVERSION \([0-9]*\),\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1.\2.\3.\4/p' src/app/catraca-sync.rc)
started=$(date +%s)

# ---- refusals: nothing may be written
erp="$root/Norva Loca"
mkdir -p "$erp"
printf '[IBCONFIG]\r\nIP=127.0.0.1\r\n' >"$erp/norvaloca.ini"
windows_version win7
status=0; run_setup "$setup" /S '/D=C:\catraca-setup\Norva Loca' || status=$?
check "Windows 7: refused (status $status) with the minimum named" \
  test "$status" -eq 3 -a "$(listing "$erp")" = "norvaloca.ini " -a -n "$(setup_log | grep 'requer o Windows 10')"
windows_version win10

empty=$root/sem-erp
mkdir -p "$empty"
printf '[MySQL]\r\n' >"$empty/dbxconnections.ini"
status=0; run_setup "$setup" /S '/D=C:\catraca-setup\sem-erp' || status=$?
check "a folder without an ERP settings file: refused (status $status), the folder named" \
  test "$status" -eq 2 -a "$(listing "$empty")" = "dbxconnections.ini " \
       -a -n "$(setup_log | grep -F 'C:\catraca-setup\sem-erp não é a pasta de instalação de um sistema Norva')"

foreign=$(cd "$payload" && find . -iname '*.dll' | sed 's|^\./||' | LC_ALL=C sort | head -n1)
mkdir -p "$erp/$(dirname "$foreign")"
echo "the ERP's own" >"$erp/$foreign"
status=0; run_setup "$setup" /S '/D=C:\catraca-setup\Norva Loca' || status=$?
check "a DLL of the ERP's ($foreign) in the folder: refused (status $status), the file named and kept" \
  test "$status" -eq 4 -a "$(cat "$erp/$foreign")" = "the ERP's own" -a ! -e "$erp/catraca-sync.exe" \
       -a -n "$(setup_log | grep -F "${foreign//\//\\}")"
rm -f "$erp/$foreign"
[ "$(dirname "$foreign")" = . ] || rmdir "$erp/$(dirname "$foreign")"

# ---- installation, with the shop's files already there and a 32-bit client
printf '[MySQL]\r\nHostName=127.0.0.1\r\n' >"$erp/dbxconnections.ini"
printf 'registro\r\n' >"$erp/catraca-sync.log"
# A 64-bit DLL turned into a 32-bit one by its machine field (0x14c).
cp "$payload/catraca-sync.exe" "$erp/fbclient.dll"
pe=$(od -An -tu4 -j60 -N4 "$erp/fbclient.dll" | tr -d ' ')
printf '\x4c\x01' | dd of="$erp/fbclient.dll" bs=1 seek=$((pe + 4)) conv=notrunc status=none
shop_files=$(listing "$erp")
"$WINE" reg delete "$run_key" /v 'Integração com Catracas Ovrex/Miravel' /f >/dev/null 2>&1 || true
status=0; run_setup "$setup" /S /INICIAR=SIM '/D=C:\catraca-setup\Norva Loca' || status=$?
check "silent installation into a folder with norvaloca.ini (status $status)" test "$status" -eq 0
copied=1
while read -r f; do cmp -s "$payload/$f" "$erp/$f" || { copied=0; echo "    not copied: $f" >&2; }; done \
  < <(cd "$payload" && find . -type f | sed 's|^\./||')
check "every file of the program copied, the shop's files unchanged" \
  test "$copied" -eq 1 -a "$(cat "$erp/catraca-sync.log")" = $'registro\r'
check "Start-menu entry" test -f "$shortcut"
uninstall=$(reg_text "$uninstall_key")
check "\"Programas e Recursos\": version $version, the uninstaller in the folder" \
  grep -qF "\"DisplayVersion\"=\"$version\"" <<<"$uninstall"
grep -qF '"UninstallString"="\"C:\\catraca-setup\\Norva Loca\\catraca-sync-desinstalar.exe\""' <<<"$uninstall" \
  || fail "UninstallString: $(grep UninstallString <<<"$uninstall")"
company=$(sed -n 's/^ *VALUE "CompanyName", "\(.*\)"$/\1/p' src/app/catraca-sync.rc)
check "\"Programas e Recursos\": publisher $company, a quiet uninstall run in place (its status reaches the caller)" \
  grep -qF "\"Publisher\"=\"$company\"" <<<"$uninstall"
grep -qF '"QuietUninstallString"="\"C:\\catraca-setup\\Norva Loca\\catraca-sync-desinstalar.exe\" /S _?=C:\\catraca-setup\\Norva Loca"' <<<"$uninstall" \
  || fail "QuietUninstallString: $(grep QuietUninstallString <<<"$uninstall")"
check "Run value as the program writes it (path with a blank in quotes, HIDE)" \
  grep -qxF '"Integração com Catracas Ovrex/Miravel"="\"C:\\catraca-setup\\Norva Loca\\catraca-sync.exe\" HIDE"' \
  < <(reg_text "$run_key")
check "the 32-bit fbclient.dll is named in the warning about the Firebird client" \
  grep -qF 'fbclient.dll é de 32 bits' < <(setup_log)
# As an older version would have left it: a DLL this one no longer ships, and
# a list entry reaching out of the folder, which must be ignored.
printf 'x' >"$erp/Qt6Antiga.dll"
printf 'x' >"$root/fora.txt"
printf 'Qt6Antiga.dll\r\n..\\fora.txt\r\n' >>"$erp/catraca-sync-instalados.txt"
# Firebird's own setup registers its folder with a closing backslash.
firebird_key='HKLM\Software\Firebird Project\Firebird Server\Instances'
mkdir -p "$root/Firebird_3_0"
cp "$payload/catraca-sync.exe" "$root/Firebird_3_0/fbclient.dll"
"$WINE" reg add "$firebird_key" /v DefaultInstance /d 'C:\catraca-setup\Firebird_3_0\' /f >/dev/null 2>&1
status=0; run_setup "$setup" /S '/D=C:\catraca-setup\Norva Loca' || status=$?
"$WINE" reg delete "$firebird_key" /f >/dev/null 2>&1 || true
check "the registered Firebird's 64-bit client named with one backslash" \
  grep -qxF 'Cliente do Firebird de 64 bits: C:\catraca-setup\Firebird_3_0\fbclient.dll' < <(setup_log)
check "installed again over itself (status $status): its own DLLs are not in the way, a dropped one removed, nothing outside" \
  test "$status" -eq 0 -a ! -e "$erp/Qt6Antiga.dll" -a -f "$root/fora.txt" -a -f "$erp/catraca-sync.exe"

# ---- the folder found from where the setup starts
found=$root/comercio
mkdir -p "$found"
printf '[IBCONFIG]\r\n' >"$found/norvacomercio.ini"
cp "$setup" "$found/"
status=0; run_setup "$found/$(basename "$setup")" /S || status=$?
check "started from the ERP's folder, without /D: installed there (status $status)" \
  test "$status" -eq 0 -a -f "$found/catraca-sync.exe"

# ---- the technician's paths: the setup copied into a downloads folder
downloads=$root/Downloads
mkdir -p "$downloads"
cp "$setup" "$downloads/"
dl_setup=$downloads/$(basename "$setup")
erp_folder() { mkdir -p "$drive/$1" && printf '[IBCONFIG]\r\n' >"$drive/$1/$2"; }
# The search looks at C:\Norva*: only this run's folders may be there.
chattr -i "$drive"/Norva* 2>/dev/null || true
rm -rf "$drive"/Norva*
erp_folder 'Norva Comércio' norvacomercio.ini
# Before it in the search: a setup that lost the earlier installation's
# folder would install here.
erp_folder 'Norva Aaa' norvaloca.ini
erp_folder 'Norva Pizzaria Ltda' norvapizzaria.ini
# A hand-made copy of the program: its DLLs byte for byte the setup's, no list.
erp_folder 'Norva Copia' norvacomercio.ini
(cd "$payload" && find . -iname '*.dll') | while read -r f; do
  mkdir -p "$drive/Norva Copia/$(dirname "$f")"
  cp "$payload/$f" "$drive/Norva Copia/$f"
done
# Two of the program's DLLs that are someone else's: both named in one run.
erp_folder 'Norva Alheia' norvacomercio.ini
mapfile -t alien < <(cd "$payload" && find . -iname '*.dll' | sed 's|^\./||' | LC_ALL=C sort | head -n2)
for f in "${alien[@]}"; do
  mkdir -p "$drive/Norva Alheia/$(dirname "$f")"
  echo "someone else's" >"$drive/Norva Alheia/$f"
done
erp_folder 'Norva Trancada' norvacomercio.ini
chattr +i "$drive/Norva Trancada" 2>/dev/null || fail "chattr +i: the read-only folder cannot be made here"
# Without an earlier installation a silent setup started elsewhere only
# names what the search found.
"$WINE" reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
# status | arguments | the folder the program must be in ("-": in none new) | a log line
while IFS='|' read -r want args folder logline; do
  [ -n "$want" ] || continue
  before=$(cd "$drive" && find . -path ./users -prune -o -path ./windows -prune -o -path ./ProgramData -prune -o -print | LC_ALL=C sort | md5sum)
  status=0; run_setup "$dl_setup" "$args" || status=$?
  ok=1
  [ "$status" -eq "$want" ] || ok=0
  grep -qF "$logline" < <(setup_log) || ok=0
  if [ "$folder" = - ]; then
    after=$(cd "$drive" && find . -path ./users -prune -o -path ./windows -prune -o -path ./ProgramData -prune -o -print | LC_ALL=C sort | md5sum)
    [ "$before" = "$after" ] || { ok=0; echo "    something was written" >&2; }
  else
    cmp -s "$payload/catraca-sync.exe" "$drive/$folder/catraca-sync.exe" || ok=0
    grep -qxF "Pasta de instalação: C:\\$folder" < <(setup_log) || ok=0
  fi
  [ ! -e "$drive/Norva Aaa/catraca-sync.exe" ] || { ok=0; echo "    installed into Norva Aaa" >&2; }
  [ "$ok" -eq 1 ] || setup_log | sed 's/^/    log: /' >&2
  check "from Downloads: $args -> status $status (want $want), ${folder/#-/no folder}" test "$ok" -eq 1
done <<'TABLE'
2|/S|-|A busca encontrou a pasta C:\Norva
0|/S /INICIAR=NAO /D=C:\Norva Comércio|Norva Comércio|Pasta indicada (/D=): C:\Norva Comércio
0|/S|Norva Comércio|Pasta do sistema Norva encontrada: C:\Norva Comércio
0|/S /D=C:\Norva Comércio\|Norva Comércio|Pasta indicada (/D=): C:\Norva Comércio
0|/S "/D=C:\Norva Pizzaria Ltda"|Norva Pizzaria Ltda|Pasta indicada (/D=): C:\Norva Pizzaria Ltda
0|"/D=C:\Norva Pizzaria Ltda" /S|Norva Pizzaria Ltda|Pasta indicada (/D=): C:\Norva Pizzaria Ltda
0|/S /D="C:\Norva Pizzaria Ltda"|Norva Pizzaria Ltda|Pasta indicada (/D=): C:\Norva Pizzaria Ltda
0|/S /D=C:\Norva Copia|Norva Copia|Pasta indicada (/D=): C:\Norva Copia
2|/S "/D=C:\Norva Sem Pasta"|-|A pasta C:\Norva Sem Pasta não existe
2|/S /D=Norva Comércio|-|A pasta Norva Comércio não é um caminho completo
2|/S /D=C:\catraca-setup\Downloads|-|A pasta C:\catraca-setup\Downloads não é a pasta de instalação de um sistema Norva
6|/S /D=C:\Norva Trancada|-|Não é possível gravar na pasta C:\Norva Trancada
TABLE
chattr -i "$drive/Norva Trancada" 2>/dev/null || true
status=0; run_setup "$dl_setup" '/S "/D=C:\Norva Alheia"' || status=$?
named=1
for f in "${alien[@]}"; do
  grep -qF "${f//\//\\}" < <(setup_log | grep 'já existem') || named=0
  [ "$(cat "$drive/Norva Alheia/$f")" = "someone else's" ] || named=0
done
check "DLLs of someone else's (${alien[*]}): status $status, all named in one run, kept, nothing installed" \
  test "$status" -eq 4 -a "$named" -eq 1 -a ! -e "$drive/Norva Alheia/catraca-sync.exe"

# The uninstaller's status through `start /wait`, as a console needs it: in
# place (_?=), with the program running and then without it.
uninstall_waited() { # folder (under drive_c) -> the uninstaller's status
  local dir=C:\\${1//\//\\}
  run_typed "start /wait \"\" \"$dir\\catraca-sync-desinstalar.exe\" /S _?=$dir"
}
starts() { local n; n=$(grep -cs 'Programa iniciado' "$drive/Norva Comércio/catraca-sync.log" || true); echo "${n:-0}"; }
started_before=$(starts)
"$WINE" "$drive/Norva Comércio/catraca-sync.exe" >/dev/null 2>&1 </dev/null &
program=$!
# Its file is held once Wine has loaded it; its log's start line comes later,
# and a slow machine may take more than a few seconds to get there.
for _ in $(seq 240); do
  [ "$(starts)" -gt "$started_before" ] && break
  sleep 0.25
done
status=0; uninstall_waited 'Norva Comércio' || status=$?
check "uninstaller with the program running: status $status (5) through start /wait, nothing removed" \
  test "$status" -eq 5 -a -f "$drive/Norva Comércio/catraca-sync.exe" -a -f "$drive/Norva Comércio/catraca-sync-desinstalar.exe"
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
"$WINE" taskkill /f /im catraca-sync.exe >/dev/null 2>&1 || true
sleep 1
status=0; uninstall_waited 'Norva Comércio' || status=$?
for _ in $(seq 40); do [ -e "$drive/Norva Comércio/catraca-sync-desinstalar.exe" ] || break; sleep 0.25; done
# The program's log, written while it ran, is the shop's and stays.
check "uninstaller after the program ended: status $status (0), the uninstaller's own file gone too" \
  test "$status" -eq 0 -a "$(listing "$drive/Norva Comércio" | sed 's/catraca-sync\.log //')" = "norvacomercio.ini "

# ---- uninstallers: the shop's files stay, nothing else does
uninstalled() { # folder
  local uninstaller=$1/catraca-sync-desinstalar.exe
  timeout -k 5 60 "$WINE" "$uninstaller" /S >/dev/null 2>&1 </dev/null || true
  # It goes on from a copy of itself in the temporary folder.
  for _ in $(seq 240); do [ -e "$uninstaller" ] || return 0; sleep 0.25; done
  return 1
}
uninstalled "$found" || fail "the second uninstaller did not finish"
check "uninstaller of the second folder: only the ERP's file and the setup copied there left" \
  test "$(listing "$found")" = "catraca-sync-setup.exe norvacomercio.ini "
uninstalled "$erp" || fail "the uninstaller did not finish"
check "uninstaller: the settings files, the log and the ERP's client stay, nothing else ($shop_files)" \
  test "$(listing "$erp")" = "$shop_files" -a -z "$(cd "$erp" && find . -mindepth 1 -type d)"
check "uninstaller: Run value, Start-menu entry and \"Programas e Recursos\" entry gone" \
  test -z "$(reg_text "$run_key" | grep Catracas)" -a ! -e "$shortcut" -a -z "$(reg_text "$uninstall_key")"

"$WINESERVER" -k 2>/dev/null || true
echo "wine-setup-tests: setup checks took $(( $(date +%s) - started )) s"
[ "$failures" -eq 0 ] || { echo "wine-setup-tests: FAILED: $failures setup checks" >&2; exit 1; }
echo "wine-setup-tests: OK"
