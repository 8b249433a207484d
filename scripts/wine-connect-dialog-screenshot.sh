#!/usr/bin/env bash
# docs/connect-dialog-wine-150.png: the installed Windows program's ERP
# connection dialog, opened by the program itself (the settings file names
# no database), with its advanced area open, on a 1366 x 768 screen under Wine at
# 150 % whose work area ends above a Windows 10 task bar (60 pixels at 150 %).
# Also docs/field-menu-wine-150.png, Qt's own menu of a field (Desfazer,
# Recortar, Copiar, Colar...). Test equipment only: the stand-in Firebird
# client of the Wine checks.
#   scripts/wine-connect-dialog-screenshot.sh [setup.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${WIN_BUILD_DIR:-build-win}
setup=$(realpath "${1:-$BUILD/catraca-sync-setup.exe}")
[ -f "$setup" ] || { echo "wine-connect-dialog-screenshot: no $setup (scripts/win-build.sh)" >&2; exit 1; }
source scripts/wine-env.sh
unset WAYLAND_DISPLAY
wine_prefix_ready
work=$(mktemp -d)
display=$(free_display)
# -noreset: the work area set below outlives the client that sets it.
Xvfb "$display" -noreset -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap '"$WINESERVER" -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
sleep 1
wine_design_fonts
# No task bar here: the work area a window manager would publish for one,
# which Wine hands to the program as the monitor's work area.
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA '0, 0, 1366, 708'
"$MINGW_CXX" -std=c++20 -O1 -shared -I"$WINE_INCLUDE" tests/wine/fbclient_stand_in.cpp \
  -o "$work/fbclient.dll" -static -Wl,--exclude-libs,ALL

# Installed by its setup into an ERP folder whose settings name no database.
erp=$WINEPREFIX/drive_c/catraca-tela
chattr -i "$erp" 2>/dev/null || true
rm -rf "$erp"
mkdir -p "$erp"
printf '[IBCONFIG]\r\nIP=127.0.0.1\r\n' >"$erp/norvacomercio.ini"
wine_windows_version "$(basename "$setup")" win10
timeout -k 5 120 "$WINE" cmd /c "Z:${setup//\//\\} /S /INICIAR=NAO /D=C:\\catraca-tela" >/dev/null 2>&1 </dev/null \
  || { echo "wine-connect-dialog-screenshot: the setup failed" >&2; exit 1; }
cp "$work/fbclient.dll" "$erp/"

"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
(cd "$erp" && exec "$WINE" catraca-sync.exe >/dev/null 2>&1 </dev/null) &
sleep 20
import -display "$display" -window root "$work/closed.png"
# The advanced button's maroon caption, found in the picture and clicked.
box=$(convert "$work/closed.png" -fuzz 8% -fill black +opaque '#800000' -fill white -opaque '#800000' -trim -format '%w %h %X %Y' info:)
read -r w h x y <<<"$box"
[ "${w:-0}" -gt 20 ] || { echo "wine-connect-dialog-screenshot: no advanced button seen" >&2; cp "$work/closed.png" /tmp/; exit 1; }
xdotool mousemove --sync $(( ${x#+} + w / 2 )) $(( ${y#+} + h / 2 )) click 1
sleep 3
import -display "$display" -window root docs/connect-dialog-wine-150.png
# The task bar's place, for the reader.
convert docs/connect-dialog-wine-150.png -fill '#202020' -draw 'rectangle 0,708 1365,767' \
  -font /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf -fill white -pointsize 14 -draw "text 12,744 'barra de tarefas (60 px a 150 %)'" docs/connect-dialog-wine-150.png
# Qt's own menu of the focused field (the server's address), in Portuguese.
xdotool key shift+F10
sleep 2
import -display "$display" -window root "$work/menu.png"
convert "$work/menu.png" -crop 760x420+302+32 +repage docs/field-menu-wine-150.png
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
echo "wine-connect-dialog-screenshot: docs/connect-dialog-wine-150.png"
