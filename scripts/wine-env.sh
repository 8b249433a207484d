# Sourced by the Wine scripts: the cross compiler, Wine, its private prefix
# and the Firebird header for MinGW. Installs nothing (scripts/install-deps.sh does).
MINGW_CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine || true)
if ! command -v "$MINGW_CXX" >/dev/null || [ -z "$WINE" ]; then
  echo "$(basename "$0"): $MINGW_CXX or wine64 missing (run scripts/install-deps.sh)" >&2
  exit 1
fi
WINESERVER="$(dirname "$WINE")/wineserver"
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || echo true)
# One prefix per user, made once: wineboot takes most of a minute.
export WINEPREFIX=${WINEPREFIX:-/tmp/catraca-wineprefix-$(id -u)}
export WINEDEBUG=-all
# No Mono/Gecko download prompts, no menu entries written into this machine.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The Firebird client's header (Debian's firebird-dev) serves MinGW as well;
# a folder of its own keeps the rest of /usr/include out of the Windows build.
WINE_INCLUDE=/tmp/catraca-wine-include-$(id -u)
if ! cmp -s /usr/include/ibase.h "$WINE_INCLUDE/ibase.h" 2>/dev/null; then
  mkdir -p "$WINE_INCLUDE"
  cp /usr/include/ibase.h /usr/include/iberror.h "$WINE_INCLUDE/"
fi

# The marker is written last, so an interrupted wineboot is started over.
wine_prefix_ready() {
  [ -f "$WINEPREFIX/.catraca-ready" ] && return 0
  echo "$(basename "$0"): creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  DISPLAY= timeout -k 10 300 "$WINE" wineboot --init >/dev/null 2>&1 || true
  timeout -k 10 60 "$WINESERVER" -w 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "$(basename "$0"): FAILED: wineboot did not create $WINEPREFIX" >&2
    exit 1
  fi
  touch "$WINEPREFIX/.catraca-ready"
}

# A Windows machine has Arial and Tahoma, the faces the windows were laid out
# for; the prefix has neither. Liberation Sans, made with Arial's metrics,
# takes Arial's name; Wine's own Tahoma (Debian's fonts-wine, which Wine does
# not load by itself) is installed as Windows has it. A Tahoma replacement
# left by earlier runs of wine-app-tests.sh would hide it, so it goes.
wine_design_fonts() {
  "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null 2>&1 || true
  "$WINE" reg delete 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma /f >/dev/null 2>&1 || true
  local file
  for file in tahoma.ttf tahomabd.ttf; do
    [ -f "$WINEPREFIX/drive_c/windows/Fonts/$file" ] || cp "/usr/share/wine/fonts/$file" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  done
}

# Two Firebird clients a 64-bit program cannot use, for the loader's messages:
# $1/fbclient-32bit.dll, a 32-bit DLL (assembled and linked with binutils'
# i386pe support, so no 32-bit compiler is needed), and
# $1/fbclient-sem-dependencia.dll, a 64-bit one importing a DLL nobody has.
wine_unusable_fbclients() { # folder
  local dir=$1 work
  work=$(mktemp -d)
  printf '.text\n.globl _DllMain@12\n_DllMain@12:\n movl $1, %%eax\n ret $12\n' >"$work/entry.s"
  x86_64-w64-mingw32-as --32 "$work/entry.s" -o "$work/entry.o"
  ld -m i386pe --dll -e _DllMain@12 -o "$dir/fbclient-32bit.dll" "$work/entry.o"
  printf 'LIBRARY catraca-ausente.dll\nEXPORTS\n  catraca_ausente\n' >"$work/absent.def"
  x86_64-w64-mingw32-dlltool -d "$work/absent.def" -l "$work/libabsent.a"
  printf 'extern "C" int catraca_ausente(); extern "C" __declspec(dllexport) int usa() { return catraca_ausente(); }\n' \
    >"$work/needs.cpp"
  "$MINGW_CXX" -shared "$work/needs.cpp" "$work/libabsent.a" -o "$dir/fbclient-sem-dependencia.dll" -static
  rm -rf "$work"
}

# A free X display for a private Xvfb, from ${WINE_DISPLAYS:-90-120}
# (first-last): engineers sharing a machine give each run a range of its own.
free_display() {
  local range=${WINE_DISPLAYS:-90-120} n
  for n in $(seq "${range%-*}" "${range#*-}"); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo ":$n"; return 0; }
  done
  echo "$(basename "$0"): no free X display in $range" >&2
  return 1
}

# The Windows version Wine reports to one program (a prefix of this Wine says
# Windows 7); the setup refuses anything older than Windows 10.
wine_windows_version() { # program.exe version (win7, win10, ...)
  "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d "$2" /f >/dev/null 2>&1
}

# The Firebird client the Windows program uses under Wine: a Winelib
# fbclient.dll (tests/wine/fbclient_bridge.c) forwarding to this machine's
# native libfbclient.so.2, made in $1 as fbclient.dll (an ELF file Wine loads
# as a builtin) with the probe beside it. When the private servers' env.sh is
# sourced, the probe proves it against the Firebird server. Any failure ends
# the calling script with a message: a check that claims synchronisation must
# never run on a stand-in instead.
wine_fbclient_bridge() { # folder
  local dir=$1 winegcc=${WINEGCC:-/usr/lib/wine/winegcc} stamp work
  mkdir -p "$dir"
  if [ ! -x "$winegcc" ]; then
    echo "$(basename "$0"): FAILED: no winegcc at $winegcc to build the Firebird bridge (Debian's wine64-tools; scripts/install-deps.sh)" >&2
    exit 1
  fi
  if [ ! -e /usr/lib/x86_64-linux-gnu/libfbclient.so.2 ]; then
    echo "$(basename "$0"): FAILED: the bridge needs the native 64-bit Firebird client libfbclient.so.2 (Debian's libfbclient2)" >&2
    exit 1
  fi
  stamp=$(cat tests/wine/fbclient_bridge.c tests/wine/fbclient_bridge.exports tests/wine/fbclient_bridge_probe.cpp \
            src/erp/fb_library.h src/erp/fb_library_common.cpp src/erp/fb_loader_win.cpp /usr/include/ibase.h | sha256sum)
  if [ "$(cat "$dir/bridge.stamp" 2>/dev/null)" != "$stamp" ] || [ ! -f "$dir/fbclient.dll" ]; then
    work=$(mktemp -d)
    # winegcc knows the export list by the file's ending.
    cp tests/wine/fbclient_bridge.exports "$work/fbclient.spec"
    if ! gcc -c -O2 -fPIC -Wall -Werror tests/wine/fbclient_bridge.c -o "$work/bridge.o" ||
       ! "$winegcc" -shared "$work/fbclient.spec" "$work/bridge.o" -o "$work/fbclient.dll" -ldl ||
       ! "$MINGW_CXX" -std=c++20 -O1 -Wall -Isrc -I"$WINE_INCLUDE" tests/wine/fbclient_bridge_probe.cpp \
           src/erp/fb_library_common.cpp src/erp/fb_loader_win.cpp src/base/wide_text_common.cpp \
           -o "$dir/fbclient_bridge_probe.exe" -static; then
      rm -rf "$work"
      echo "$(basename "$0"): FAILED: the Firebird bridge fbclient.dll could not be built" >&2
      exit 1
    fi
    # winegcc names it fbclient.dll.so; beside a program it goes as fbclient.dll.
    mv "$work/fbclient.dll.so" "$dir/fbclient.dll"
    rm -rf "$work"
    echo "$stamp" >"$dir/bridge.stamp"
  fi
  [ -n "${CATRACA_FB_DATABASE:-}" ] || return 0
  wine_prefix_ready
  local log=$dir/probe.log
  if ! (cd "$dir" && DISPLAY= timeout -k 5 60 "$WINE" fbclient_bridge_probe.exe \
          "$CATRACA_FB_HOST/$CATRACA_FB_PORT:$CATRACA_FB_DATABASE" "$CATRACA_FB_PASSWORD" </dev/null 2>&1) \
       | tr -d '\r' >"$log" || ! grep -q '^bridge probe: OK$' "$log"; then
    cat "$log" >&2
    echo "$(basename "$0"): FAILED: the Firebird bridge does not reach the private server under Wine (see above)" >&2
    exit 1
  fi
  sed 's/^/  /' "$log"
  # The probe ran without a display; Wine's desktop would keep that for the
  # programs started after it.
  "$WINESERVER" -k 2>/dev/null || true
}
