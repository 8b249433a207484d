#!/usr/bin/env bash
# Screenshots of the setup's pages as a technician sees them on a first
# installation, under Wine (Windows 10 prefix, a 1366 x 768 Wine desktop):
# docs/setup-folder.png (the ERP folder found), setup-startup-question.png
# ("Iniciar ... com o Windows?", Sim preselected), setup-firebird-warning.png,
# setup-finish.png ("Iniciar o programa agora", ticked), and the uninstaller's
# setup-uninstall-confirm.png and setup-uninstall-done.png. Every key is the
# one a technician who only presses Enter would press.
#   scripts/setup-screenshots.sh [setup.exe]
# SETUP_SCALE=1.5: the same at 150 % (DPI-aware, drawn at 144 dpi), the names
# ending in -144; docs/ keeps the folder and finish pages of that run.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${WIN_BUILD_DIR:-build-win}
setup=$(realpath "${1:-$BUILD/catraca-sync-setup.exe}")
[ -f "$setup" ] || { echo "setup-screenshots: no $setup (scripts/win-setup.sh)" >&2; exit 1; }
source scripts/wine-env.sh
# Wine's own texts (the message boxes' Sim and Não) follow the locale: the
# Portuguese one where it was generated (localedef -i pt_BR -f UTF-8 pt_BR.UTF-8).
if locale -a 2>/dev/null | grep -qix 'pt_BR.utf8'; then
  export LC_ALL=pt_BR.UTF-8
else
  echo "setup-screenshots: no pt_BR.UTF-8 locale: Wine's own buttons will be in English" >&2
fi
wine_prefix_ready
display=$(free_display)
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
work=$(mktemp -d)
trap '"$WINESERVER" -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
sleep 1
wine_design_fonts
wine_windows_version catraca-sync-setup.exe win10
dpi=$(awk -v s="${SETUP_SCALE:-1}" 'BEGIN { printf "%d", 96 * s + 0.5 }')
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
suffix=
[ "$dpi" -eq 96 ] || suffix=-$dpi

# A machine without an earlier installation, with one ERP folder.
drive=$WINEPREFIX/drive_c
"$WINE" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\catraca-sync' /f >/dev/null 2>&1 || true
"$WINE" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' \
  /v 'Integração com Catracas Ovrex/Miravel' /f >/dev/null 2>&1 || true
chattr -i "$drive"/Norva* 2>/dev/null || true
rm -rf "$drive"/Norva*
mkdir -p "$drive/Norva Comércio" "$drive/Downloads"
printf '[IBCONFIG]\r\nIP=127.0.0.1\r\n' >"$drive/Norva Comércio/norvacomercio.ini"
cp "$setup" "$drive/Downloads/catraca-sync-setup.exe"

# The Wine desktop's background is one colour: trimming it leaves the window.
shot() { # name seconds-to-wait
  sleep "$2"
  import -display "$display" -window root "$work/full.png"
  convert "$work/full.png" -trim +repage "docs/setup-$1$suffix.png"
  echo "setup-screenshots: docs/setup-$1$suffix.png $(identify -format '%wx%h' "docs/setup-$1$suffix.png")"
}
# To the Wine desktop's window, focused first: a box that has just opened
# does not always have the keyboard otherwise.
key() {
  local w
  w=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -n1)
  [ -z "$w" ] || xdotool windowfocus --sync "$w" 2>/dev/null || true
  xdotool key "$1"
}
desktop() { "$WINE" explorer /desktop=setup,1366x768 "$1" >/dev/null 2>&1 & }

desktop 'C:\Downloads\catraca-sync-setup.exe'
shot folder 10
key Return # Instalar
shot startup-question 6
key Return # Sim
shot firebird-warning 3
key Return
shot finish 3
key Return # Concluir, the program starts
sleep 3
"$WINE" taskkill /f /im catraca-sync.exe >/dev/null 2>&1 || true
"$WINESERVER" -k 2>/dev/null || true
sleep 1
desktop 'C:\Norva Comércio\catraca-sync-desinstalar.exe'
shot uninstall-confirm 8
key Return # Desinstalar
shot uninstall-done 4
key Return
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
