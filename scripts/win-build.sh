#!/usr/bin/env bash
# Cross-builds the Windows program, and the unit tests that need no database
# server, with the Qt and Connector/C that scripts/win-deps.sh keeps in its
# cache; lays them out as they are installed on Windows:
#   ${WIN_BUILD_DIR:-build-win}/install  catraca-sync.exe with every DLL it
#                                        loads (Qt, platforms\qwindows.dll,
#                                        libmariadb.dll, the MinGW runtime)
#   ${WIN_BUILD_DIR:-build-win}/wine-tests  the test programs with theirs
# The Firebird client is not part of it: the program loads the ERP's own.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
BUILD=${WIN_BUILD_DIR:-build-win}
JOBS=${WIN_BUILD_JOBS:-2}
started=$(date +%s)

deps=$(scripts/win-deps.sh | tail -n1)
[ -f "$deps/qt/.complete" ] || { echo "win-build: no complete Windows Qt in $deps" >&2; exit 1; }

# Test programs whose source names none of the private servers, but for two
# that check the POSIX layers through their files (sh scripts, the XDG
# autostart folder); the Windows layers under them have their own checks in
# tests/platform, and the program's Run key is checked by wine-app-tests.sh.
# tst_window_fit makes its own 125 % screen through the offscreen platform's
# configuration, which the Wine run's platform argument replaces: it runs
# natively, at 125 % and at 100 %.
posix_only='^tst_(launch|autostart|window_fit)$'
mapfile -t tests < <(grep -L 'CATRACA_FB_HOST\|CATRACA_MYSQL_HOST\|CATRACA_BINARY' tests/*/tst_*.cpp \
                       | xargs -n1 basename | sed 's/\.cpp$//' | grep -Ev "$posix_only" | sort)

mkdir -p "$BUILD"
# As scripts/build.sh: an earlier run or another checkout compiles only what changed.
export CCACHE_BASEDIR=$project CCACHE_NOHASHDIR=1
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$project/cmake/mingw-w64.cmake" -DCATRACA_WIN_DEPS="$deps" >"$BUILD/configure.log" 2>&1 \
  || { tail -n 30 "$BUILD/configure.log" >&2; exit 1; }
nice -n 19 ionice -c3 cmake --build "$BUILD" -j "$JOBS" --target catraca-sync "${tests[@]}"

# Every DLL an executable imports that one of these folders holds, and theirs.
runtime_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
dll_dirs=("$deps/qt/bin" "$deps/mariadb/lib/mariadb" "$runtime_dir" /usr/x86_64-w64-mingw32/lib)
copy_imports() { # file destination
  local dll dir
  for dll in $(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
    [ -f "$2/$dll" ] && continue
    for dir in "${dll_dirs[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$2/"
        copy_imports "$dir/$dll" "$2"
        break
      fi
    done
  done
}
lay_out() { # destination plugin... ; the executables are already there
  local dest=$1 plugin exe
  shift
  for plugin in "$@"; do
    mkdir -p "$dest/$(dirname "$plugin")"
    cp "$deps/qt/plugins/$plugin" "$dest/$plugin"
    copy_imports "$dest/$plugin" "$dest"
  done
  for exe in "$dest"/*.exe; do copy_imports "$exe" "$dest"; done
}

rm -rf "$BUILD/install" "$BUILD/wine-tests"
mkdir -p "$BUILD/install" "$BUILD/wine-tests"
cp "$BUILD/src/catraca-sync.exe" "$BUILD/install/"
lay_out "$BUILD/install" platforms/qwindows.dll styles/qwindowsvistastyle.dll
# Qt's own texts in Portuguese: Debian's catalogue of the same Qt version.
mkdir -p "$BUILD/install/translations"
cp /usr/share/qt6/translations/qtbase_pt_BR.qm "$BUILD/install/translations/"
# ---- begin: authentication plugins and stripped copies (a shop PC's needs)
# Connector/C loads a login's authentication plugin (client_ed25519,
# caching_sha2_password, ...) at run time from the folder the program names
# on the connection, plugin\ beside it; no executable imports them.
mkdir -p "$BUILD/install/plugin"
for plugin in "$deps/mariadb/lib/mariadb/plugin"/*.dll; do
  case $(basename "$plugin") in pvio_*) continue ;; esac # transports, not logins
  cp "$plugin" "$BUILD/install/plugin/"
  copy_imports "$plugin" "$BUILD/install"
done
# Debug sections are most of the MinGW runtime's size (libstdc++-6.dll alone
# carries 23.7 MB of them); the copies lose them, the cache keeps them.
find "$BUILD/install" \( -name '*.dll' -o -name '*.exe' \) -exec x86_64-w64-mingw32-strip --strip-debug {} +
# ---- end: authentication plugins and stripped copies
for t in "${tests[@]}"; do cp "$BUILD/tests/$t.exe" "$BUILD/wine-tests/"; done
lay_out "$BUILD/wine-tests" platforms/qwindows.dll platforms/qoffscreen.dll
printf '%s\n' "${tests[@]}" >"$BUILD/wine-tests/tests.txt"

# ---- the setup program (begin): made last, from the finished install folder
scripts/win-setup.sh "$BUILD/install" "$BUILD/catraca-sync-setup.exe"
# ---- the setup program (end)
echo "win-build: $BUILD/install and $BUILD/wine-tests (${#tests[@]} tests) in $(( $(date +%s) - started )) s"
